// The ADO layer's calls into unixODBC: environment, connections, statements, parameters and rows.
#include "platform/ado/odbc_calls.h"

#include <odbcinst.h>
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <mutex>

namespace vr::ado::odbc {
namespace {

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "the driver manager's wide text must be UTF-16");

// Text read per SQLGetData call; longer values come in several pieces.
constexpr size_t kReadUnits = 1024;

const SQLWCHAR* Wide(const std::u16string& text) {
    return reinterpret_cast<const SQLWCHAR*>(text.c_str());
}

std::u16string FromWide(const SQLWCHAR* text, size_t length) {
    return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}

// Every diagnostic record of a handle, one per line, as the driver manager and the driver wrote them.
std::u16string Diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
    std::u16string text;
    SQLWCHAR state[6] = {};
    SQLWCHAR message[SQL_MAX_MESSAGE_LENGTH + 1] = {};
    SQLINTEGER nativeError = 0;
    SQLSMALLINT length = 0;
    for (SQLSMALLINT record = 1; record <= 16; ++record) {
        SQLRETURN rc = SQLGetDiagRecW(type, handle, record, state, &nativeError, message,
                                      SQL_MAX_MESSAGE_LENGTH, &length);
        if (!SQL_SUCCEEDED(rc)) {
            break;
        }
        if (!text.empty()) {
            text += u'\n';
        }
        size_t units = std::min<size_t>(std::max<SQLSMALLINT>(length, 0), SQL_MAX_MESSAGE_LENGTH);
        text += FromWide(message, units);
    }
    return text.empty() ? u"The ODBC driver reported a failure without a message." : text;
}

void Check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle) {
    if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) {
        RaiseDriverError(Diagnostics(type, handle));
    }
}

// The process's one ODBC 3 environment, made on first use and kept for the life of the process.
SQLHENV Environment() {
    static SQLHENV environment = [] {
        SQLHENV made = SQL_NULL_HENV;
        if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &made))) {
            return SQLHENV(SQL_NULL_HENV);
        }
        SQLSetEnvAttr(made, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        return made;
    }();
    if (environment == SQL_NULL_HENV) {
        RaiseDriverError(u"The ODBC driver manager cannot be started.");
    }
    return environment;
}

IdentifierCase ReadUnquotedCase(SQLHDBC connection) {
    SQLUSMALLINT value = 0;
    if (!SQL_SUCCEEDED(SQLGetInfoW(connection, SQL_IDENTIFIER_CASE, &value, sizeof value, nullptr))) {
        return IdentifierCase::AsWritten;
    }
    switch (value) {
    case SQL_IC_UPPER:
        return IdentifierCase::Upper;
    case SQL_IC_LOWER:
        return IdentifierCase::Lower;
    default:
        return IdentifierCase::AsWritten;
    }
}

Cell::Kind KindOfSqlType(SQLSMALLINT type) {
    switch (type) {
    case SQL_INTEGER:
    case SQL_SMALLINT:
    case SQL_TINYINT:
    case SQL_BIT:
        return Cell::Kind::Integer;
    case SQL_BIGINT:
        return Cell::Kind::BigInteger;
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
        return Cell::Kind::Real;
    default: // text, and everything else read as its text (decimals keep their digits)
        return Cell::Kind::Text;
    }
}

// Where one parameter's value and length live while the statement runs.
struct BoundValue {
    SQLLEN indicator = 0;
    int64_t integer = 0;
    double real = 0;
};

} // namespace

// ---- Link ----

Link::~Link() {
    Disconnect();
}

void Link::Connect(const std::string& utf8ConnectionString) {
    Disconnect();
    SQLHDBC connection = SQL_NULL_HDBC;
    Check(SQLAllocHandle(SQL_HANDLE_DBC, Environment(), &connection), SQL_HANDLE_ENV, Environment());
    std::string text = utf8ConnectionString;
    SQLSMALLINT outLength = 0;
    SQLRETURN rc = SQLDriverConnectA(connection, nullptr, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS,
                                     nullptr, 0, &outLength, SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(rc)) {
        std::u16string message = Diagnostics(SQL_HANDLE_DBC, connection);
        SQLFreeHandle(SQL_HANDLE_DBC, connection);
        RaiseDriverError(message);
    }
    handle_ = connection;
    unquotedCase_ = ReadUnquotedCase(connection);
}

void Link::Disconnect() {
    if (handle_ == nullptr) {
        return;
    }
    // The driver manager would free the statements itself on disconnect; freeing them here first keeps
    // their owners from freeing a handle twice.
    for (auto& weak : statements_) {
        if (auto statement = weak.lock()) {
            statement->Free();
        }
    }
    statements_.clear();
    SQLDisconnect(handle_);
    SQLFreeHandle(SQL_HANDLE_DBC, handle_);
    handle_ = nullptr;
}

std::shared_ptr<Statement> Link::NewStatement() {
    if (handle_ == nullptr) {
        RaiseDriverError(u"The connection is closed.");
    }
    SQLHSTMT statement = SQL_NULL_HSTMT;
    Check(SQLAllocHandle(SQL_HANDLE_STMT, handle_, &statement), SQL_HANDLE_DBC, handle_);
    auto made = std::make_shared<Statement>(statement);
    std::erase_if(statements_, [](const std::weak_ptr<Statement>& weak) { return weak.expired(); });
    statements_.push_back(made);
    return made;
}

// ---- Statement ----

Statement::~Statement() {
    Free();
}

void Statement::Free() {
    if (handle_ != nullptr) {
        SQLFreeHandle(SQL_HANDLE_STMT, handle_);
        handle_ = nullptr;
    }
}

void Statement::PrepareToRun(size_t parameterCount) {
    if (cursorMayBeOpen_) {
        SQLFreeStmt(handle_, SQL_CLOSE);
        cursorMayBeOpen_ = false;
    }
    if (boundParameters_ != parameterCount && boundParameters_ != 0) {
        SQLFreeStmt(handle_, SQL_RESET_PARAMS);
    }
    boundParameters_ = 0;
}

void Statement::ExecuteDirect(const std::u16string& sql) {
    if (handle_ == nullptr) {
        RaiseDriverError(u"The connection is closed.");
    }
    PrepareToRun(0);
    cursorMayBeOpen_ = true;
    Check(SQLExecDirectW(handle_, const_cast<SQLWCHAR*>(Wide(sql)), SQL_NTS), SQL_HANDLE_STMT, handle_);
}

void Statement::Prepare(const std::u16string& sql) {
    if (handle_ == nullptr) {
        RaiseDriverError(u"The connection is closed.");
    }
    if (cursorMayBeOpen_) {
        SQLFreeStmt(handle_, SQL_CLOSE);
        cursorMayBeOpen_ = false;
    }
    Check(SQLPrepareW(handle_, const_cast<SQLWCHAR*>(Wide(sql)), SQL_NTS), SQL_HANDLE_STMT, handle_);
}

void Statement::ExecutePrepared(std::span<const Parameter> parameters) {
    if (handle_ == nullptr) {
        RaiseDriverError(u"The connection is closed.");
    }
    PrepareToRun(parameters.size());
    std::vector<BoundValue> bound(parameters.size());
    for (size_t i = 0; i < parameters.size(); ++i) {
        const Parameter& cell = parameters[i];
        BoundValue& value = bound[i];
        auto number = static_cast<SQLUSMALLINT>(i + 1);
        SQLRETURN rc = SQL_SUCCESS;
        switch (cell.kind) {
        case Cell::Kind::Integer:
        case Cell::Kind::BigInteger:
            value.integer = cell.integer;
            rc = SQLBindParameter(handle_, number, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT, 0, 0,
                                  &value.integer, 0, &value.indicator);
            break;
        case Cell::Kind::Real:
            value.real = cell.real;
            rc = SQLBindParameter(handle_, number, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0,
                                  &value.real, 0, &value.indicator);
            break;
        case Cell::Kind::Text:
        case Cell::Kind::Null: {
            auto bytes = static_cast<SQLLEN>(cell.text.size() * sizeof(SQLWCHAR));
            value.indicator = cell.kind == Cell::Kind::Null ? SQL_NULL_DATA : bytes;
            // A column size of 0 is refused by some drivers, also for the empty text.
            SQLULEN size = std::max<SQLULEN>(cell.text.size(), 1);
            // Never a null buffer, which some drivers take for a missing value.
            const char16_t* text = cell.text.empty() ? u"" : cell.text.data();
            rc = SQLBindParameter(handle_, number, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, size, 0,
                                  const_cast<char16_t*>(text), bytes, &value.indicator);
            break;
        }
        }
        boundParameters_ = std::max<size_t>(boundParameters_, i + 1); // a failed bind may have bound it
        Check(rc, SQL_HANDLE_STMT, handle_);
    }
    cursorMayBeOpen_ = true;
    Check(SQLExecute(handle_), SQL_HANDLE_STMT, handle_);
}

std::vector<Column> Statement::Columns() {
    SQLSMALLINT count = 0;
    Check(SQLNumResultCols(handle_, &count), SQL_HANDLE_STMT, handle_);
    std::vector<Column> columns;
    for (SQLSMALLINT i = 1; i <= count; ++i) {
        SQLWCHAR name[256] = {};
        SQLSMALLINT nameLength = 0;
        SQLSMALLINT type = 0;
        SQLULEN size = 0;
        SQLSMALLINT digits = 0;
        SQLSMALLINT nullable = 0;
        Check(SQLDescribeColW(handle_, i, name, 256, &nameLength, &type, &size, &digits, &nullable),
              SQL_HANDLE_STMT, handle_);
        columns.push_back({FromWide(name, std::clamp<SQLSMALLINT>(nameLength, 0, 255)), KindOfSqlType(type)});
    }
    return columns;
}

int64_t Statement::RowCount() {
    SQLLEN count = -1;
    if (!SQL_SUCCEEDED(SQLRowCount(handle_, &count))) {
        return -1;
    }
    return count;
}

std::vector<std::vector<Cell>> Statement::FetchAll(const std::vector<Column>& columns) {
    std::vector<std::vector<Cell>> rows;
    for (;;) {
        SQLRETURN rc = SQLFetch(handle_);
        if (rc == SQL_NO_DATA) {
            break;
        }
        Check(rc, SQL_HANDLE_STMT, handle_);
        std::vector<Cell> row;
        row.reserve(columns.size());
        for (size_t i = 0; i < columns.size(); ++i) {
            row.push_back(Read(static_cast<int>(i + 1), columns[i].kind));
        }
        rows.push_back(std::move(row));
    }
    CloseCursor();
    return rows;
}

void Statement::CloseCursor() {
    if (handle_ != nullptr) {
        SQLFreeStmt(handle_, SQL_CLOSE);
        cursorMayBeOpen_ = false;
    }
}

Cell Statement::Read(int column, Cell::Kind kind) {
    Cell cell;
    SQLLEN indicator = 0;
    auto number = static_cast<SQLUSMALLINT>(column);
    if (kind == Cell::Kind::Integer || kind == Cell::Kind::BigInteger) {
        SQLBIGINT value = 0;
        Check(SQLGetData(handle_, number, SQL_C_SBIGINT, &value, 0, &indicator), SQL_HANDLE_STMT, handle_);
        cell.integer = value;
    } else if (kind == Cell::Kind::Real) {
        Check(SQLGetData(handle_, number, SQL_C_DOUBLE, &cell.real, 0, &indicator), SQL_HANDLE_STMT, handle_);
    } else {
        // Long text arrives in pieces: each call returns what fits and reports truncation until the last.
        SQLWCHAR piece[kReadUnits + 1];
        for (;;) {
            SQLRETURN rc = SQLGetData(handle_, number, SQL_C_WCHAR, piece, sizeof piece, &indicator);
            if (rc == SQL_NO_DATA) {
                break;
            }
            Check(rc, SQL_HANDLE_STMT, handle_);
            if (indicator == SQL_NULL_DATA) {
                break;
            }
            size_t available = indicator == SQL_NO_TOTAL ? kReadUnits : indicator / sizeof(SQLWCHAR);
            cell.text += FromWide(piece, std::min(available, kReadUnits));
            if (rc == SQL_SUCCESS) {
                break;
            }
        }
    }
    cell.kind = indicator == SQL_NULL_DATA ? Cell::Kind::Null : kind;
    return cell;
}

std::string ConfigurationValue(const std::string& section, const std::string& key, const char* file) {
    char value[1024] = {};
    int length = SQLGetPrivateProfileString(section.c_str(), key.c_str(), "", value, sizeof value, file);
    return length > 0 ? std::string(value) : std::string();
}

} // namespace vr::ado::odbc
