// An ADO-like command: statement text on a connection, run with parameter values bound to its "?" markers.
//
// The text is prepared once and run again as long as the text, the type and the connection stay the same,
// so a statement run many times (one INSERT per result) is parsed once. Data goes to the driver as bound
// values, never into the text.
// Errors raise _com_error (ado_errors.h); adErrInvalidConnection without an open connection.
// Threads: one thread at a time, as its connection.
#pragma once

#include "platform/ado/connection.h"
#include "platform/com/comutil.h"

#include <span>

namespace vr::ado {

class Command;
using CommandPtr = std::shared_ptr<Command>;

class Command {
public:
    static CommandPtr Create();
    Command(const Command&) = delete;
    Command& operator=(const Command&) = delete;

    void SetActiveConnection(const ConnectionPtr& connection);
    const ConnectionPtr& ActiveConnection() const { return connection_; }
    void SetCommandText(std::u16string_view text);
    const std::u16string& CommandText() const { return text_; }
    // adCmdText unless set; an Execute option other than adCmdUnspecified overrides it for that run.
    void SetCommandType(LONG type) { type_ = type; }
    LONG CommandType() const { return type_; }

    // Runs the text with one value per marker, in order: VT_EMPTY and VT_NULL as NULL, integers, VT_R4 and
    // VT_R8 as numbers, VT_BSTR as text, any other value as its text (VariantChangeType); a value that has
    // none raises adErrInvalidArgument. Returns an open recordset, or a closed one for a statement without
    // rows.
    RecordsetPtr Execute(LONG* recordsAffected = nullptr, std::span<const _variant_t> parameters = {},
                         LONG options = adCmdUnspecified);

private:
    Command() = default;
    odbc::Statement& PreparedStatement(LONG type);

    ConnectionPtr connection_;
    std::u16string text_;
    LONG type_ = adCmdText;
    std::shared_ptr<odbc::Statement> statement_;
    // What statement_ was prepared from: the command text and type, on that connection.
    std::u16string preparedSource_;
    LONG preparedType_ = adCmdText;
    const Connection* preparedFor_ = nullptr;
};

} // namespace vr::ado
