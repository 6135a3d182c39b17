// Helpers of the results-database tests: a results database of each kind opened through a file data source,
// the stored rows read back, and VARIANT arguments as the engine passes them.
#pragma once

#include "common/results/ADO.h"
#include "common/results/ResultsTable.h"
#include "common/trace/Trace.h"
#include "platform/ado/tests/database_fixture.h"
#include "platform/base/text.h"
#include "tests/support/com_holders.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace resultstest {

using vrtest::Missing;

// The columns of TestResults in their order.
inline constexpr const char16_t* kColumns =
    u"TestID,TestResultID,TestResultValue,SpecValue,TestStatus,Description,SN,TestPlanID,TestPlanVariantID,"
    u"ExecSession,TestDate,TestTime";

using Row = std::vector<std::u16string>;

// The rows of TestResults (twelve texts each, NULL as "<NULL>"), through a connection of their own.
inline std::vector<Row> StoredRows(const std::string& dsnFile, const std::u16string& where = u"") {
    auto connection = vr::ado::Connection::Create();
    connection->Open(u"File Name=" + vr::FromUtf8(dsnFile) + u";");
    auto rows = connection->Execute(std::u16string(u"SELECT ") + kColumns + u" FROM TestResults " + where);
    std::vector<Row> result;
    for (; !rows->IsEOF(); rows->MoveNext()) {
        Row row;
        for (LONG i = 0; i < rows->FieldCount(); ++i) {
            _variant_t value = rows->Fields(i).Value();
            row.push_back(value.vt == VT_NULL ? u"<NULL>" : std::u16string(_bstr_t(value).view()));
        }
        result.push_back(std::move(row));
    }
    return result;
}

// A file data source for a results database of the kind, empty of results: a fresh SQLite file, or the
// test's PostgreSQL cluster with its TestResults and TestExecSessions tables dropped. Empty when the kind
// cannot be had.
inline std::string ResultsDataSource(dbtest::DatabaseKind kind, const std::string& hint) {
    dbtest::UsePrivateDriverConfig();
    if (kind == dbtest::DatabaseKind::Sqlite) {
        return dbtest::WriteFileDataSource(hint, "DRIVER=SQLite3\nDatabase=" + dbtest::NewSqliteFile(hint) +
                                                     "\nTimeout=20000\n");
    }
    dbtest::PostgresCluster* cluster = dbtest::PostgresCluster::Shared(nullptr);
    if (cluster == nullptr) {
        return {};
    }
    std::string dsn = dbtest::WriteFileDataSource(hint, cluster->FileDataSourceLines());
    auto connection = vr::ado::Connection::Create();
    connection->Open(u"File Name=" + vr::FromUtf8(dsn));
    dbtest::ExecuteQuietly(connection, u"DROP TABLE TestResults");
    dbtest::ExecuteQuietly(connection, u"DROP TABLE TestExecSessions");
    return dsn;
}

// A test with an open results database of each kind; without PostgreSQL, skipped or failed as
// dbtest::ReportMissingPostgres says.
class ResultsDatabaseTest : public testing::TestWithParam<dbtest::DatabaseKind> {
protected:
    void SetUp() override {
        dsn_ = ResultsDataSource(GetParam(), "results");
        if (dsn_.empty()) {
            dbtest::ReportMissingPostgres();
            return;
        }
        database_ = std::make_unique<CADO>();
        ASSERT_EQ(OpenResultsDatabase(*database_, vr::FromUtf8(dsn_).c_str()), S_OK)
            << vr::ToUtf8(LastErrorText());
    }

    std::vector<Row> Rows(const std::u16string& where = u"") const { return StoredRows(dsn_, where); }

    std::string dsn_;
    std::unique_ptr<CADO> database_;
};

} // namespace resultstest
