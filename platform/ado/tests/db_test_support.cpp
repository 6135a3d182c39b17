// Real databases for tests: driver configuration, SQLite files and file data sources in the test's folders.
#include "platform/ado/tests/db_test_support.h"

#include "platform/base/text.h"
#include "tests/support/test_env.h"

#include <fstream>

namespace dbtest {

void UsePrivateDriverConfig() {
    static const bool done = [] {
        UseDriverConfigIn(vrtest::MakeFreshFolder("odbc"));
        return true;
    }();
    static_cast<void>(done);
}

std::string NewSqliteFile(const std::string& hint) {
    return vrtest::MakeFreshFolder(hint) + "/" + hint + ".db";
}

std::u16string SqliteConnectionString(const std::string& path) {
    return vr::FromUtf8("Driver=SQLite3;Database=" + path + ";Timeout=20000;");
}

std::string WriteFileDataSource(const std::string& hint, const std::string& odbcLines) {
    std::string path = vrtest::MakeFreshFolder(hint) + "/" + hint + ".dsn";
    std::ofstream(path, std::ios::binary | std::ios::trunc) << "[ODBC]\n" << odbcLines;
    return path;
}

} // namespace dbtest

// LeakSanitizer (sanitizer builds) reads this: the PostgreSQL driver keeps about 340 bytes for good when a
// statement it prepared on the server fails to run (seen with psqlODBC 13 and a missing table, with no layer
// of ours involved), which the tests of failing statements do on purpose.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:psqlodbcw.so\n";
}
