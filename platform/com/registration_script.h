// Registering and unregistering from a registration script: the keys and values a server's script describes.
//
// The script is the usual registration-script text, in this subset:
//
//     HKCR
//     {
//         'Vornic.Thing.1' = s 'Thing Class'
//         {
//             CLSID = s '{...}'
//         }
//         NoRemove CLSID
//         {
//             ForceRemove {...} = s 'Thing Class'
//             {
//                 InprocServer32 = s '%MODULE%'
//                 {
//                     val ThreadingModel = s 'Apartment'
//                 }
//             }
//         }
//     }
//
// - Tokens are separated by white space ("{", "}" and "=" too). A token is a bare word or a single-quoted
//   string, in which an apostrophe is written doubled (''). Keywords (HKCR, HKCU, HKLM and their long names,
//   NoRemove, ForceRemove, val, s) are case-insensitive and only bare; a quoted 'val' is a key named val.
// - A key: [NoRemove | ForceRemove] name [= s 'default value'] [{ keys and values }].
//   A value: val name = s 'text'. Only string values (s) are known.
// - In any token, %NAME% is replaced by the variable NAME (e.g. %MODULE%, the server's path) and %% stands
//   for one percent sign. The replacement happens after the token is read, so a variable's value may hold
//   apostrophes or blanks.
// - Key names may not hold a backslash (a key is one level of the tree).
// Anything else (other value types, Delete, a missing brace, an unknown variable) is refused before the
// registry is touched, with the line of the fault in the error text.
//
// Registering creates every key and sets its default value and values; a ForceRemove key is deleted with
// everything under it first. A failure while writing unregisters what the script describes, as far as it
// got. Unregistering removes what registering writes: a ForceRemove key with everything under it; another
// key's values that the script names and its default value (when the script gives one), then the key itself
// when nothing of anyone else's is left in it; a NoRemove key is only walked, never removed. Missing keys are
// no error when unregistering.
//
// Threads: any thread; the registry is shared by the station's processes, and two scripts that write the
// same keys at once do not coordinate.
#pragma once

#include "platform/com/hresult.h"

#include <span>
#include <string>
#include <string_view>

namespace vr::registration {

// One %NAME% of a script and the text it stands for.
struct ScriptVariable {
    std::u16string_view name;
    std::u16string_view value;
};

// Registers what script (UTF-8 text) describes. Failures: HRESULT_FROM_WIN32(ERROR_BAD_FORMAT) for a script
// outside the subset above; the registry's error (HRESULT_FROM_WIN32) when a write fails. *error (when not
// null) receives a text for the failure, e.g. "line 4: unknown value type 'd' (only s is known)".
[[nodiscard]] HRESULT RegisterScript(std::string_view script, std::span<const ScriptVariable> variables,
                                     std::u16string* error = nullptr);

// Removes what RegisterScript writes for the same script and variables; the same failures.
[[nodiscard]] HRESULT UnregisterScript(std::string_view script, std::span<const ScriptVariable> variables,
                                       std::u16string* error = nullptr);

} // namespace vr::registration
