// The statement text a driver runs for a command text and its type.
#include "platform/ado/command_text.h"

#include "platform/ado/ado_types.h"
#include "platform/ado/sql_text.h"

namespace vr::ado {

std::u16string CommandTextFor(std::u16string_view text, LONG commandType, odbc::IdentifierCase unquotedCase) {
    std::u16string statement;
    // The type is in the low bits; execution flags (adExecuteNoRecords, ...) lie above them.
    LONG type = commandType < 0 ? commandType : (commandType & 0x0F);
    if (type == adCmdTable) {
        statement = u"SELECT * FROM ";
        statement += text;
    } else if (type == adCmdStoredProc) {
        statement = u"{call ";
        statement += text;
        statement += u"}";
    } else {
        statement = text;
    }
    return RewriteBracketNames(statement, unquotedCase);
}

} // namespace vr::ado
