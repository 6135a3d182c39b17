// Real databases for tests: a private ODBC driver configuration, SQLite files, and a PostgreSQL cluster of
// the test's own on a loopback port.
#pragma once

#include <memory>
#include <string>

namespace dbtest {

// Points ODBCSYSINI at a driver configuration of this test process ("SQLite3" and "PostgreSQL Unicode",
// without the driver logs Debian's configuration turns on). Call before the first connection; repeated
// calls do nothing.
void UsePrivateDriverConfig();

// A new SQLite database file path (not yet made) in a fresh folder of the test.
std::string NewSqliteFile(const std::string& hint);
// The ADO connection string that opens (and makes) a SQLite file.
std::u16string SqliteConnectionString(const std::string& path);

// Writes a file data source with the given [ODBC] lines into a fresh folder and returns its path.
std::string WriteFileDataSource(const std::string& hint, const std::string& odbcLines);

// A PostgreSQL cluster made by initdb in a temporary folder and started by pg_ctl on a free loopback port;
// stopped and removed when the object goes. As root the server runs as the "postgres" user.
class PostgresCluster {
public:
    // The process's cluster, started on first use; null when it cannot be had, with the reason in *why.
    static PostgresCluster* Shared(std::string* why);

    ~PostgresCluster();
    int Port() const { return port_; }
    // "[ODBC]" lines of a file data source for the cluster's "postgres" database.
    std::string FileDataSourceLines() const;
    // The same as an ADO connection string.
    std::u16string ConnectionString() const;

private:
    PostgresCluster() = default;
    bool Start(std::string* why);

    std::string folder_;
    std::string binFolder_;
    int port_ = 0;
    bool running_ = false;
};

} // namespace dbtest
