// The benchmark's baseline: a prepared ODBC INSERT with twelve bound texts.
#include "bench/results_bench_odbc.h"

#include <sql.h>
#include <sqlext.h>

namespace vrbench {
namespace {

constexpr char16_t kInsert[] =
    u"INSERT INTO TestResults (TestID,TestResultID,TestResultValue,SpecValue,TestStatus,Description,SN,"
    u"TestPlanID,TestPlanVariantID,ExecSession,TestDate,TestTime) VALUES (?,?,?,?,?,?,?,?,?,?,?,?)";

std::string Diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
    SQLCHAR state[6] = {};
    SQLCHAR message[SQL_MAX_MESSAGE_LENGTH] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    SQLGetDiagRecA(type, handle, 1, state, &native, message, sizeof message, &length);
    return reinterpret_cast<const char*>(message);
}

} // namespace

BareOdbcInserter::~BareOdbcInserter() {
    if (statement_ != nullptr) {
        SQLFreeHandle(SQL_HANDLE_STMT, statement_);
    }
    if (connection_ != nullptr) {
        SQLDisconnect(connection_);
        SQLFreeHandle(SQL_HANDLE_DBC, connection_);
    }
    if (environment_ != nullptr) {
        SQLFreeHandle(SQL_HANDLE_ENV, environment_);
    }
}

bool BareOdbcInserter::Open(const std::string& utf8ConnectionString, std::string* why) {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &environment_);
    SQLSetEnvAttr(environment_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, environment_, &connection_);
    std::string text = utf8ConnectionString;
    SQLSMALLINT length = 0;
    if (!SQL_SUCCEEDED(SQLDriverConnectA(connection_, nullptr, reinterpret_cast<SQLCHAR*>(text.data()),
                                         SQL_NTS, nullptr, 0, &length, SQL_DRIVER_NOPROMPT))) {
        *why = Diagnostics(SQL_HANDLE_DBC, connection_);
        return false;
    }
    SQLAllocHandle(SQL_HANDLE_STMT, connection_, &statement_);
    auto* sql = reinterpret_cast<SQLWCHAR*>(const_cast<char16_t*>(kInsert));
    if (!SQL_SUCCEEDED(SQLPrepareW(statement_, sql, SQL_NTS))) {
        *why = Diagnostics(SQL_HANDLE_STMT, statement_);
        return false;
    }
    return true;
}

bool BareOdbcInserter::Insert(const std::vector<std::u16string>& row) {
    SQLLEN lengths[12] = {};
    for (size_t i = 0; i < row.size() && i < 12; ++i) {
        lengths[i] = static_cast<SQLLEN>(row[i].size() * sizeof(SQLWCHAR));
        SQLULEN size = row[i].empty() ? 1 : row[i].size();
        SQLBindParameter(statement_, static_cast<SQLUSMALLINT>(i + 1), SQL_PARAM_INPUT, SQL_C_WCHAR,
                         SQL_WVARCHAR, size, 0, const_cast<char16_t*>(row[i].c_str()), lengths[i],
                         &lengths[i]);
    }
    return SQL_SUCCEEDED(SQLExecute(statement_));
}

} // namespace vrbench
