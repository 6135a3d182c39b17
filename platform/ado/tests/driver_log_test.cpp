// The PostgreSQL driver's communication log, which it writes into a shared folder under a name anyone can
// guess: off unless the data source asks for it, even where the driver's configuration turns it on for every
// connection (as Debian's does). A process of its own, since the driver reads its configuration once.
#include "platform/ado/connection.h"
#include "platform/ado/connection_string.h"
#include "platform/ado/tests/db_servers.h"
#include "platform/base/text.h"
#include "tests/support/test_env.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

namespace fs = std::filesystem;

// The cluster's connection string without the items that turn the logs off.
std::u16string WithoutLogItems(std::u16string text) {
    for (std::u16string_view item : {u"CommLog=0;", u"Debug=0;"}) {
        if (size_t at = text.find(item); at != std::u16string::npos) {
            text.erase(at, item.size());
        }
    }
    return text;
}

void Connect(const std::u16string& connectionString) {
    vr::ado::ConnectionPtr connection = vr::ado::Connection::Create();
    connection->Open(connectionString);
    (void)connection->Execute(u"SELECT 1"); // the rows are not wanted: the statement is what gets logged
    connection->Close();
}

TEST(DriverLog, IsOffUnlessTheDataSourceAsksForIt) {
    std::string config = vrtest::MakeFreshFolder("drivers");
    std::string logs = config + "/logs";
    fs::create_directories(logs);
    std::ofstream(config + "/odbcinst.ini")
        << "[PostgreSQL Unicode]\nDriver=psqlodbcw.so\nDebug=0\nCommLog=1\n"
           "Logdir="
        << logs << "\n";
    std::ofstream(config + "/odbc.ini") << "[Asking]\nDriver=PostgreSQL Unicode\nCommLog=1\n\n"
                                           "[Quiet]\nDriver=PostgreSQL Unicode\n";
    setenv("ODBCSYSINI", config.c_str(), 1);

    // A data source that asks, by the long or the short name or in its odbc.ini entry, keeps what it asks.
    EXPECT_EQ(vr::ado::ToOdbcConnectionString(u"DRIVER=PostgreSQL Unicode;B3=1"),
              "DRIVER=PostgreSQL Unicode;B3=1;Debug=0;");
    EXPECT_EQ(vr::ado::ToOdbcConnectionString(u"Data Source=Asking"), "DSN=Asking;Debug=0;");
    EXPECT_EQ(vr::ado::ToOdbcConnectionString(u"Data Source=Quiet"), "DSN=Quiet;CommLog=0;Debug=0;");

    std::string why;
    dbtest::PostgresCluster* cluster = dbtest::PostgresCluster::Shared(&why);
    if (cluster == nullptr) {
        GTEST_SKIP() << why;
    }
    std::u16string plain = WithoutLogItems(cluster->ConnectionString());
    ASSERT_EQ(plain.find(u"CommLog"), std::u16string::npos);
    Connect(plain);
    // The driver still opens its log for one line when the last connection closes (its configuration's
    // switch counts again by then), but nothing of the communication is written.
    for (const auto& log : fs::directory_iterator(logs)) {
        std::ifstream file(log.path());
        std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        EXPECT_EQ(text.find("SELECT"), std::string::npos) << log.path() << ":\n" << text;
    }
}

} // namespace
