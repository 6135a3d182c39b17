// The statement a driver runs for a text of a given command type, brackets rewritten for the driver.
#pragma once

#include "platform/ado/odbc_calls.h"
#include "platform/base/types.h"

#include <string>
#include <string_view>

namespace vr::ado {

// adCmdTable: "SELECT * FROM <text>"; adCmdStoredProc: the ODBC call escape "{call <text>}"; any other type
// (text, unknown, unspecified): the text itself. Option flags above the type bits are ignored.
std::u16string CommandTextFor(std::u16string_view text, LONG commandType, odbc::IdentifierCase unquotedCase);

} // namespace vr::ado
