// ADO-like commands: prepared statement text run with bound parameter values.
#include "platform/ado/command.h"

#include "platform/ado/ado_errors.h"
#include "platform/ado/command_text.h"
#include "platform/ado/recordset.h"

#include <vector>

namespace vr::ado {
namespace {

// The value of one parameter for the driver. Texts are borrowed: a VT_BSTR's own, else the text of a
// converted copy kept in *kept for the length of the run (its BSTR stays where it is when *kept grows).
odbc::Parameter ParameterOf(const VARIANT& parameter, std::vector<_variant_t>* kept) {
    const VARIANT* value = &parameter;
    if ((parameter.vt & VT_BYREF) != 0) {
        kept->emplace_back();
        if (FAILED(VariantCopyInd(&kept->back(), &parameter))) {
            RaiseError(adErrInvalidArgument, u"A parameter value cannot be read.");
        }
        value = &kept->back();
    }
    odbc::Parameter result;
    using Kind = odbc::Cell::Kind;
    switch (value->vt) {
    case VT_EMPTY:
    case VT_NULL:
        result.kind = Kind::Null;
        return result;
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_INT:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UINT:
    case VT_I8:
        result.kind = Kind::BigInteger;
        result.integer = static_cast<LONGLONG>(_variant_t(*value));
        return result;
    case VT_R4:
    case VT_R8:
        result.kind = Kind::Real;
        result.real = static_cast<DOUBLE>(_variant_t(*value));
        return result;
    case VT_BSTR:
        result.kind = Kind::Text;
        result.text = BstrView(value->bstrVal);
        return result;
    default:
        break;
    }
    _variant_t text;
    if (FAILED(VariantChangeType(&text, value, 0, VT_BSTR))) {
        RaiseError(adErrInvalidArgument, u"A parameter value has no text.");
    }
    kept->push_back(std::move(text));
    result.kind = Kind::Text;
    result.text = BstrView(kept->back().bstrVal);
    return result;
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
    // The same text and type on the same connection make the same statement: neither rewritten nor
    // prepared again. (A statement outlives no connection: the link frees it on disconnect.)
    const bool reusable = statement_ && statement_->Usable() && preparedFor_ == connection_.get() &&
                          preparedType_ == type && preparedSource_ == text_;
    if (!reusable) {
        preparedSource_.clear();
        statement_ = link.NewStatement();
        statement_->Prepare(CommandTextFor(text_, type, link.UnquotedCase()));
        preparedSource_ = text_;
        preparedType_ = type;
        preparedFor_ = connection_.get();
    }
    return *statement_;
}

RecordsetPtr Command::Execute(LONG* recordsAffected, std::span<const _variant_t> parameters, LONG options) {
    std::vector<_variant_t> kept; // converted values whose texts are bound
    std::vector<odbc::Parameter> values;
    values.reserve(parameters.size());
    for (const _variant_t& parameter : parameters) {
        values.push_back(ParameterOf(parameter, &kept));
    }
    odbc::Statement& statement = PreparedStatement(options == adCmdUnspecified ? type_ : options);
    statement.ExecutePrepared(values);
    if (recordsAffected != nullptr) {
        *recordsAffected = static_cast<LONG>(statement.RowCount());
    }
    return Recordset::FromResult(statement);
}

} // namespace vr::ado
