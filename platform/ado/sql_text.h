// Statement text as a driver takes it: [bracketed] names rewritten into the standard quoted form.
//
// Statements of the system quote names with brackets ("MAX([ExecSession])"); some drivers read brackets,
// others do not, while every driver takes the standard double quote. A bracketed name means the same name
// written bare, so it is quoted in the letter case the driver gives names written bare (PostgreSQL folds
// them to lower case): "[ExecSession]" becomes "\"execsession\"" there and "\"ExecSession\"" elsewhere.
// Brackets inside 'literals' and "quoted names" are left alone, as is an unclosed bracket.
//
// Threads: no shared state; any thread.
#pragma once

#include "platform/ado/odbc_calls.h"

#include <string>
#include <string_view>

namespace vr::ado {

std::u16string RewriteBracketNames(std::u16string_view sql, odbc::IdentifierCase unquotedCase);

} // namespace vr::ado
