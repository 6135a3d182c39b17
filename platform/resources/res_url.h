// "res://" URLs: a module's resource addressed by the module's path, and their resolver for the XML layer.
#pragma once

#include "platform/base/types.h"
#include "platform/com/hresult.h"
#include "platform/resources/resource_id.h"

#include <string>
#include <string_view>

namespace vr {

// The forms, with the module path as it is (no percent-decoding: servers put their path in as it is):
//     res://<module path>/<name>            the resource <name> of type RT_HTML (23)
//     res://<module path>/<type>/<name>     type and name as "#<number>", decimal digits or a name
// Both components compare case-insensitively ("Attributes.xml" is the resource "ATTRIBUTES.XML"). The module
// path ends where a regular file is: the first form is taken when the text before the last "/" names one,
// else the second when the text before the last but one "/" does.
struct ResUrl {
    std::string modulePath;
    ResourceId type;
    ResourceId name;
};

// Splits url into its parts. E_INVALIDARG when it is no "res://" URL or a part is empty or invalid;
// HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) when no prefix of it names a regular file. Any thread.
[[nodiscard]] HRESULT ParseResUrl(std::u16string_view url, ResUrl* parts);

// The bytes of the resource a "res://" URL names (in its neutral language, else its lowest one); the failures
// of ParseResUrl and LoadModuleResource. Any thread.
[[nodiscard]] HRESULT LoadResUrl(std::u16string_view url, std::string* bytes);

// Makes the XML layer read "res://" URLs through LoadResUrl. The XML layer already does so when no other
// resolver was set; this call puts LoadResUrl back after a test replaced it. Any thread, any number of times.
void InstallResUrlResolver();

} // namespace vr
