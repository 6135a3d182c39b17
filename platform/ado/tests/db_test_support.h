// Real databases for tests: a private ODBC driver configuration, SQLite files and file data sources in the
// test's own folders (and, from db_servers.h, a PostgreSQL cluster of the test's own).
#pragma once

#include "platform/ado/tests/db_servers.h"

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

} // namespace dbtest
