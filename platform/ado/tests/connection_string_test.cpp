// ADO connection strings and file data sources turned into ODBC connection strings.
#include "platform/ado/ado_errors.h"
#include "platform/ado/connection_string.h"
#include "platform/ado/tests/db_test_support.h"
#include "platform/base/paths.h"
#include "platform/base/text.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace vr::ado {
namespace {

using Items = ConnectionItems;

TEST(ConnectionItemsTest, ReadsPlainQuotedAndBracedValues) {
    Items items = ParseConnectionItems(u" Provider = MSDASQL ; Password='it''s;here' ; Driver={Odd}}Name};"
                                       u"Extra=\"a;b\";Flag;;Last=1");
    Items expected = {{u"Provider", u"MSDASQL"},
                      {u"Password", u"it's;here"},
                      {u"Driver", u"Odd}Name"},
                      {u"Extra", u"a;b"},
                      {u"Flag", u""},
                      {u"Last", u"1"}};
    EXPECT_EQ(items, expected);
}

TEST(ConnectionItemsTest, EmptyTextHasNoItems) {
    EXPECT_TRUE(ParseConnectionItems(u"").empty());
    EXPECT_TRUE(ParseConnectionItems(u" ; ;").empty());
}

TEST(ConnectionStringTest, MapsAdoKeysAndBracesValuesThatNeedIt) {
    std::string odbc = ToOdbcConnectionString(u"Provider=MSDASQL;Data Source=results;User ID=me;"
                                              u"Password='a;b';Timeout= 5 ",
                                              u"", u"");
    EXPECT_EQ(odbc, "DSN=results;UID=me;PWD={a;b};Timeout=5;");
    EXPECT_EQ(ToOdbcConnectionString(u"DSN=x", u"user", u"p}w"), "DSN=x;UID=user;PWD={p}}w};");
}

TEST(ConnectionStringTest, FileDataSourceGivesItsOdbcSectionInOrder) {
    std::string path = dbtest::WriteFileDataSource("plain", "DRIVER=SQLite3\n; a comment\n# another\n"
                                                            "Database = /tmp/x.db \n\n[Other]\nIgnored=1\n");
    std::string odbc = ToOdbcConnectionString(u"File Name=" + FromUtf8(path) + u";");
    EXPECT_EQ(odbc, "DRIVER=SQLite3;Database=/tmp/x.db;");
}

TEST(ConnectionStringTest, DataHomeTokenIsExpandedAndItsFolderMade) {
    std::string path =
        dbtest::WriteFileDataSource("home", "DRIVER=SQLite3\r\nDatabase=%VORNIC_HOME%/Deep/Er/r.db\r\n");
    std::string odbc = ToOdbcConnectionString(u"File Name='" + FromUtf8(path) + u"'");
    EXPECT_EQ(odbc, "DRIVER=SQLite3;Database=" + DataHome() + "/Deep/Er/r.db;");
    EXPECT_TRUE(std::filesystem::is_directory(DataHome() + "/Deep/Er"));
}

TEST(ConnectionStringTest, WindowsPathOfTheFileIsMapped) {
    std::filesystem::create_directories(DataHome() + "/Results");
    std::ofstream(DataHome() + "/Results/station.dsn") << "[odbc]\nDRIVER=SQLite3\n";
    EXPECT_EQ(ToOdbcConnectionString(u"File Name=C:\\Ostrel\\Results\\station.dsn"), "DRIVER=SQLite3;");
}

TEST(ConnectionStringTest, UnreadableOrSectionlessFileRaisesWithItsName) {
    std::string sectionless = dbtest::WriteFileDataSource("nosection", "");
    std::filesystem::resize_file(sectionless, 0);
    for (const std::string& path : {std::string("/nonexistent/x.dsn"), sectionless}) {
        try {
            static_cast<void>(ToOdbcConnectionString(u"File Name=" + FromUtf8(path)));
            ADD_FAILURE() << "no error for " << path;
        } catch (const _com_error& error) {
            EXPECT_EQ(error.Error(), E_FAIL);
            EXPECT_NE(error.Description().utf8().find(path), std::string::npos) << error.Description().utf8();
            EXPECT_EQ(error.Source().utf8(), "ADODB");
        }
    }
}

} // namespace
} // namespace vr::ado
