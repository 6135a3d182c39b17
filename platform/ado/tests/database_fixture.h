// A test fixture connected to a real database of each kind: a fresh SQLite file, or the test's own
// PostgreSQL cluster (see ReportMissingPostgres for when none can be had).
#pragma once

#include "platform/ado/ado.h"
#include "platform/ado/tests/db_test_support.h"

#include <gtest/gtest.h>

namespace dbtest {

enum class DatabaseKind { Sqlite, Postgres };

inline std::string KindName(const testing::TestParamInfo<DatabaseKind>& info) {
    return info.param == DatabaseKind::Sqlite ? "Sqlite" : "Postgres";
}

// The connection string of a database of that kind for this test alone; empty when the kind cannot be had.
inline std::u16string ConnectionStringFor(DatabaseKind kind, const std::string& hint) {
    UsePrivateDriverConfig();
    if (kind == DatabaseKind::Sqlite) {
        return SqliteConnectionString(NewSqliteFile(hint));
    }
    std::string why;
    PostgresCluster* cluster = PostgresCluster::Shared(&why);
    if (cluster == nullptr) {
        return {};
    }
    return cluster->ConnectionString();
}

// For a test that found no cluster: skipped where PostgreSQL is not installed, failed where it is but its
// cluster did not start. The caller returns at once.
inline void ReportMissingPostgres() {
    std::string why;
    PostgresCluster::Shared(&why);
    if (!PostgresCluster::ServerInstalled()) {
        GTEST_SKIP() << "PostgreSQL is not installed here: " << why;
    }
    FAIL() << "the PostgreSQL cluster did not start: " << why;
}

// Runs a statement whose failure does not matter (dropping what an earlier test of the same cluster left).
inline void ExecuteQuietly(const vr::ado::ConnectionPtr& connection, std::u16string_view sql) {
    try {
        connection->Execute(sql);
    } catch (const _com_error&) {
    }
}

} // namespace dbtest
