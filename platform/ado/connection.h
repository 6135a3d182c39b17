// An ADO-like connection to a database through unixODBC: opened with an ADO connection string
// ("File Name=<file data source>;" and the like, see connection_string.h), running statement text.
//
// Errors raise _com_error (ado_errors.h): the driver's failures as E_FAIL with the driver's messages as the
// description, the layer's own as its adErr... codes.
// Threads: a connection, and the recordsets and commands that use it, are used by one thread at a time;
// separate connections may be used on separate threads.
#pragma once

#include "platform/ado/ado_types.h"
#include "platform/ado/odbc_calls.h"

#include <memory>
#include <string>
#include <string_view>

namespace vr::ado {

class Recordset;
using RecordsetPtr = std::shared_ptr<Recordset>;
class Connection;
using ConnectionPtr = std::shared_ptr<Connection>;

class Connection {
public:
    static ConnectionPtr Create();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection();

    // Connects (closing an open connection first); user and password, when given, are added to the
    // string's own. Statements then commit one by one (the driver's automatic commit).
    void Open(std::u16string_view connectionString, std::u16string_view user = {},
              std::u16string_view password = {}, LONG options = -1);
    // Disconnects; commands prepared on it prepare again after the next Open. Closing a closed
    // connection raises adErrObjectClosed.
    void Close();
    LONG State() const;
    const std::u16string& ConnectionString() const { return connectionString_; }

    // Runs the text (options: a CommandTypeEnum, adCmdText when unspecified) and returns its result as an
    // open recordset, or a closed one for a statement without rows. recordsAffected may be null.
    RecordsetPtr Execute(std::u16string_view commandText, LONG* recordsAffected = nullptr,
                         LONG options = adCmdText);

    // For the layer's recordsets and commands: the open driver connection (adErrObjectClosed when closed).
    odbc::Link& OpenLink();

private:
    Connection() = default;

    odbc::Link link_;
    std::u16string connectionString_;
};

} // namespace vr::ado
