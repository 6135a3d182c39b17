// ADO-like connections over unixODBC.
#include "platform/ado/connection.h"

#include "platform/ado/ado_errors.h"
#include "platform/ado/command_text.h"
#include "platform/ado/connection_string.h"
#include "platform/ado/recordset.h"

namespace vr::ado {

ConnectionPtr Connection::Create() {
    return ConnectionPtr(new Connection());
}

Connection::~Connection() = default;

void Connection::Open(std::u16string_view connectionString, std::u16string_view user,
                      std::u16string_view password, LONG /*options*/) {
    if (link_.Connected()) {
        link_.Disconnect();
    }
    link_.Connect(ToOdbcConnectionString(connectionString, user, password));
    connectionString_ = connectionString;
}

void Connection::Close() {
    if (!link_.Connected()) {
        RaiseError(adErrObjectClosed, u"The connection is closed.");
    }
    link_.Disconnect();
}

LONG Connection::State() const {
    return link_.Connected() ? adStateOpen : adStateClosed;
}

odbc::Link& Connection::OpenLink() {
    if (!link_.Connected()) {
        RaiseError(adErrObjectClosed, u"The connection is closed.");
    }
    return link_;
}

RecordsetPtr Connection::Execute(std::u16string_view commandText, LONG* recordsAffected, LONG options) {
    odbc::Link& link = OpenLink();
    std::shared_ptr<odbc::Statement> statement = link.NewStatement();
    statement->ExecuteDirect(CommandTextFor(commandText, options, link.UnquotedCase()));
    if (recordsAffected != nullptr) {
        *recordsAffected = static_cast<LONG>(statement->RowCount());
    }
    return Recordset::FromResult(*statement);
}

} // namespace vr::ado
