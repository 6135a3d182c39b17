// ADO-like commands: prepared statement text run with bound parameter values.
#include "platform/ado/command.h"

#include "platform/ado/ado_errors.h"
#include "platform/ado/command_text.h"
#include "platform/ado/recordset.h"

#include <vector>

namespace vr::ado {
namespace {

odbc::Cell CellOf(const VARIANT& parameter) {
    _variant_t value;
    if (FAILED(VariantCopyInd(&value, &parameter))) {
        RaiseError(adErrInvalidArgument, u"A parameter value cannot be read.");
    }
    odbc::Cell cell;
    using Kind = odbc::Cell::Kind;
    switch (value.vt) {
    case VT_EMPTY:
    case VT_NULL:
        cell.kind = Kind::Null;
        return cell;
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_INT:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UINT:
    case VT_I8:
        cell.kind = Kind::BigInteger;
        cell.integer = static_cast<LONGLONG>(value);
        return cell;
    case VT_R4:
    case VT_R8:
        cell.kind = Kind::Real;
        cell.real = static_cast<DOUBLE>(value);
        return cell;
    default:
        break;
    }
    if (value.vt != VT_BSTR && FAILED(VariantChangeType(&value, &value, 0, VT_BSTR))) {
        RaiseError(adErrInvalidArgument, u"A parameter value has no text.");
    }
    cell.kind = Kind::Text;
    cell.text = BstrView(value.bstrVal);
    return cell;
}

} // namespace

CommandPtr Command::Create() {
    return CommandPtr(new Command());
}

void Command::SetActiveConnection(const ConnectionPtr& connection) {
    connection_ = connection;
}

void Command::SetCommandText(std::u16string_view text) {
    text_ = text;
}

odbc::Statement& Command::PreparedStatement(LONG type) {
    if (!connection_ || connection_->State() != adStateOpen) {
        RaiseError(adErrInvalidConnection, u"The command has no open connection.");
    }
    odbc::Link& link = connection_->OpenLink();
    std::u16string text = CommandTextFor(text_, type, link.UnquotedCase());
    bool reusable =
        statement_ && statement_->Usable() && preparedFor_ == connection_.get() && preparedText_ == text;
    if (!reusable) {
        preparedText_.clear();
        statement_ = link.NewStatement();
        statement_->Prepare(text);
        preparedText_ = std::move(text);
        preparedFor_ = connection_.get();
    }
    return *statement_;
}

RecordsetPtr Command::Execute(LONG* recordsAffected, std::span<const _variant_t> parameters, LONG options) {
    std::vector<odbc::Cell> cells;
    cells.reserve(parameters.size());
    for (const _variant_t& parameter : parameters) {
        cells.push_back(CellOf(parameter));
    }
    odbc::Statement& statement = PreparedStatement(options == adCmdUnspecified ? type_ : options);
    statement.ExecutePrepared(cells);
    if (recordsAffected != nullptr) {
        *recordsAffected = static_cast<LONG>(statement.RowCount());
    }
    return Recordset::FromResult(statement);
}

} // namespace vr::ado
