// Database servers and drivers for tests and benchmarks: a driver configuration of their own, and a
// PostgreSQL cluster on a free loopback port. Free of GoogleTest, so that the benchmarks use them too.
#pragma once

#include <memory>
#include <string>

namespace dbtest {

// Writes odbcinst.ini ("SQLite3" and "PostgreSQL Unicode", without the driver logs Debian's configuration
// turns on) into the folder and points ODBCSYSINI at it. Call before the first connection.
void UseDriverConfigIn(const std::string& folder);

// A PostgreSQL cluster made by initdb in a temporary folder and started by pg_ctl on a free loopback port;
// stopped and removed when the object goes. As root the server runs as the "postgres" user.
class PostgresCluster {
public:
    // The process's cluster, started on first use; null when it cannot be had, with the reason in *why.
    static PostgresCluster* Shared(std::string* why);
    // Whether PostgreSQL's server programs are installed here at all.
    static bool ServerInstalled();
    // A cluster of its own; null when it cannot be had, with the reason in *why.
    static std::unique_ptr<PostgresCluster> Start(std::string* why);

    ~PostgresCluster();
    int Port() const { return port_; }
    // "[ODBC]" lines of a file data source for the cluster's "postgres" database.
    std::string FileDataSourceLines() const;
    // The same as an ADO connection string.
    std::u16string ConnectionString() const;

private:
    PostgresCluster() = default;
    bool Launch(std::string* why);

    std::string folder_;
    std::string binFolder_;
    int port_ = 0;
    bool running_ = false;
};

} // namespace dbtest
