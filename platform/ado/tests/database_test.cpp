// The data-access layer on both real databases: statements, recordsets, fields, Find, commands with bound
// parameters, and the errors of the driver and of the layer.
#include "platform/ado/tests/database_fixture.h"
#include "platform/base/paths.h"
#include "platform/base/text.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace vr::ado {
namespace {

using dbtest::DatabaseKind;

std::u16string TextOf(const Field& field) {
    return std::u16string(field.Value().operator _bstr_t().view());
}

// Expects the call to raise _com_error with that HRESULT; returns the error's description.
template <class Call>
std::string ExpectRaises(HRESULT expected, Call call) {
    try {
        call();
    } catch (const _com_error& error) {
        EXPECT_EQ(error.Error(), expected) << error.Description().utf8();
        return error.Description().utf8();
    }
    ADD_FAILURE() << "nothing raised";
    return {};
}

class DatabaseTest : public testing::TestWithParam<DatabaseKind> {
protected:
    void SetUp() override {
        std::u16string text = dbtest::ConnectionStringFor(GetParam(), "ado");
        if (text.empty()) {
            dbtest::ReportMissingPostgres();
            return;
        }
        connection_ = Connection::Create();
        connection_->Open(text);
        dbtest::ExecuteQuietly(connection_, u"DROP TABLE Items");
        connection_->Execute(u"CREATE TABLE Items (Name TEXT, Amount INTEGER, Ratio REAL)");
    }

    void Insert(std::u16string_view values) {
        LONG affected = -5;
        RecordsetPtr result = connection_->Execute(
            u"INSERT INTO Items (Name, Amount, Ratio) VALUES " + std::u16string(values), &affected);
        EXPECT_EQ(affected, 1);
        EXPECT_EQ(result->State(), adStateClosed);
    }

    ConnectionPtr connection_;
};

TEST_P(DatabaseTest, RowsComeBackTypedWithSizes) {
    Insert(u"('first', 7, 2.5)");
    Insert(u"(NULL, NULL, NULL)");
    RecordsetPtr rows =
        connection_->Execute(u"SELECT Name, Amount, Ratio FROM Items ORDER BY COALESCE(Amount, 99)");
    ASSERT_EQ(rows->State(), adStateOpen);
    EXPECT_EQ(rows->RecordCount(), 2);
    EXPECT_EQ(rows->FieldCount(), 3);
    // Names are found without regard to case (PostgreSQL hands them back folded).
    EXPECT_EQ(TextOf(rows->Fields(u"NAME")), u"first");
    EXPECT_EQ(rows->Fields(u"name").ActualSize(), 10);
    _variant_t amount = rows->Fields(u"Amount").Value();
    EXPECT_EQ(amount.vt, VT_I4);
    EXPECT_EQ(amount.lVal, 7);
    _variant_t ratio = rows->Fields(2).Value();
    EXPECT_EQ(ratio.vt, VT_R8);
    EXPECT_EQ(ratio.dblVal, 2.5);

    rows->MoveNext();
    EXPECT_EQ(rows->Fields(u"Name").Value().vt, VT_NULL);
    EXPECT_EQ(rows->Fields(u"Name").ActualSize(), 0);
    rows->MoveNext();
    EXPECT_TRUE(rows->IsEOF());
    ExpectRaises(adErrNoCurrentRecord, [&] { rows->Fields(u"Name").Value(); });
    ExpectRaises(adErrNoCurrentRecord, [&] { rows->MoveNext(); });
    ExpectRaises(adErrItemNotFound, [&] { rows->Fields(u"Missing"); });
    ExpectRaises(adErrItemNotFound, [&] { rows->Fields(LONG{3}); });
}

TEST_P(DatabaseTest, BracketedNamesWorkOnEveryDriver) {
    Insert(u"('a', 9, 0)");
    Insert(u"('b', 10, 0)");
    RecordsetPtr rows =
        connection_->Execute(u"SELECT MAX([Amount]) AS [Top] FROM [Items] WHERE [Name] <> '[x]'");
    EXPECT_EQ(rows->Fields(u"Top").Value().operator LONG(), 10);
}

TEST_P(DatabaseTest, ParametersAreStoredAsTheyAre) {
    CommandPtr command = Command::Create();
    command->SetActiveConnection(connection_);
    command->SetCommandText(u"INSERT INTO Items (Name, Amount, Ratio) VALUES (?, ?, ?)");
    std::u16string awkward = u"O'Brien said \"hi\"; DROP TABLE Items; -- \u00e9\u20ac\U0001F600";
    std::u16string longText(5000, u'x');
    _variant_t rows[][3] = {
        {_variant_t(awkward.c_str()), _variant_t(LONG{1}), _variant_t(0.1)},
        {_variant_t(longText.c_str()), _variant_t(LONG{2}), _variant_t(FLOAT{1.5f})},
        {_variant_t(u""), _variant_t(LONG{3}), _variant_t()},
    };
    for (auto& values : rows) {
        LONG affected = 0;
        RecordsetPtr result = command->Execute(&affected, std::span<const _variant_t>(values, 3));
        EXPECT_EQ(affected, 1);
        EXPECT_EQ(result->State(), adStateClosed);
    }

    command->SetCommandText(u"SELECT Name, Ratio FROM Items WHERE Amount >= ? ORDER BY Amount");
    _variant_t from(LONG{1});
    RecordsetPtr read = command->Execute(nullptr, std::span<const _variant_t>(&from, 1));
    ASSERT_EQ(read->RecordCount(), 3);
    EXPECT_EQ(TextOf(read->Fields(u"Name")), awkward);
    EXPECT_EQ(read->Fields(u"Ratio").Value().dblVal, 0.1);
    read->MoveNext();
    EXPECT_EQ(TextOf(read->Fields(u"Name")), longText);
    read->MoveNext();
    EXPECT_EQ(TextOf(read->Fields(u"Name")), u"");
    EXPECT_EQ(read->Fields(u"Ratio").Value().vt, VT_NULL);
}

TEST_P(DatabaseTest, CommandRunsAgainAfterTheConnectionReopens) {
    CommandPtr command = Command::Create();
    command->SetActiveConnection(connection_);
    command->SetCommandText(u"INSERT INTO Items (Name) VALUES (?)");
    _variant_t name(u"one");
    command->Execute(nullptr, std::span<const _variant_t>(&name, 1));
    std::u16string text = connection_->ConnectionString();
    connection_->Close();
    ExpectRaises(adErrInvalidConnection,
                 [&] { command->Execute(nullptr, std::span<const _variant_t>(&name, 1)); });
    connection_->Open(text);
    command->Execute(nullptr, std::span<const _variant_t>(&name, 1));
    EXPECT_EQ(connection_->Execute(u"SELECT Name FROM Items")->RecordCount(), 2);
}

TEST_P(DatabaseTest, FindMovesToTheMatchOrToTheEnd) {
    Insert(u"('a', 1, 0)");
    Insert(u"('b', 2, 0)");
    Insert(u"('c', 3, 0)");
    RecordsetPtr rows = Recordset::Create();
    rows->Open(u"(SELECT * FROM Items ORDER BY Amount) AS Sorted", connection_, adOpenKeyset,
               adLockBatchOptimistic, adCmdTable);
    EXPECT_EQ(rows->AbsolutePosition(), 1);
    rows->Find(u"Name = 'B'");
    EXPECT_EQ(rows->AbsolutePosition(), 2);
    rows->Find(u"Amount > 1", 1);
    EXPECT_EQ(rows->AbsolutePosition(), 3);
    rows->Find(u"Name = 'a'", 0, adSearchBackward);
    EXPECT_EQ(rows->AbsolutePosition(), 1);
    rows->Find(u"Name = 'z'");
    EXPECT_EQ(rows->AbsolutePosition(), adPosEOF);
    ExpectRaises(adErrNoCurrentRecord, [&] { rows->Find(u"Name = 'a'"); });
    rows->MoveFirst();
    rows->Find(u"Name = 'z'", 0, adSearchBackward);
    EXPECT_EQ(rows->AbsolutePosition(), adPosBOF);
    ExpectRaises(adErrObjectOpen,
                 [&] { rows->Open(u"Items", connection_, adOpenKeyset, adLockBatchOptimistic, adCmdTable); });
    rows->Close();
    EXPECT_EQ(rows->State(), adStateClosed);
    ExpectRaises(adErrObjectClosed, [&] { rows->AbsolutePosition(); });
    ExpectRaises(adErrObjectClosed, [&] { rows->Close(); });
}

TEST_P(DatabaseTest, EmptyResultHasNoRecordToMoveTo) {
    RecordsetPtr rows = Recordset::Create();
    rows->Open(u"Items", connection_, adOpenKeyset, adLockBatchOptimistic, adCmdTable);
    EXPECT_TRUE(rows->IsBOF());
    EXPECT_TRUE(rows->IsEOF());
    EXPECT_EQ(rows->AbsolutePosition(), adPosUnknown);
    ExpectRaises(adErrNoCurrentRecord, [&] { rows->MoveFirst(); });
    ExpectRaises(adErrNoCurrentRecord, [&] { rows->Find(u"Name = 'a'"); });
}

TEST_P(DatabaseTest, DriverFailuresRaiseTheDriversMessage) {
    std::string message = ExpectRaises(E_FAIL, [&] { connection_->Execute(u"SELECT * FROM NoSuchTable"); });
    EXPECT_NE(ToLower(FromUtf8(message)).find(u"nosuchtable"), std::u16string::npos) << message;
    // The connection stays usable after a failed statement.
    Insert(u"('after', 1, 1)");
}

TEST_P(DatabaseTest, ClosedObjectsRaiseTheLayersErrors) {
    connection_->Close();
    EXPECT_EQ(connection_->State(), adStateClosed);
    ExpectRaises(adErrObjectClosed, [&] { connection_->Execute(u"SELECT 1"); });
    ExpectRaises(adErrObjectClosed, [&] { connection_->Close(); });
    ExpectRaises(adErrInvalidConnection, [&] { Recordset::Create()->Open(u"Items", connection_); });
    ExpectRaises(adErrInvalidConnection, [&] { Recordset::Create()->Open(u"Items", nullptr); });
    ExpectRaises(adErrInvalidConnection, [&] { Command::Create()->Execute(); });
}

INSTANTIATE_TEST_SUITE_P(Databases, DatabaseTest,
                         testing::Values(DatabaseKind::Sqlite, DatabaseKind::Postgres), dbtest::KindName);

TEST(SqliteFileDataSourceTest, DatabaseLivesUnderTheDataHome) {
    dbtest::UsePrivateDriverConfig();
    std::string dsn =
        dbtest::WriteFileDataSource("home", "DRIVER=SQLite3\nDatabase=%VORNIC_HOME%/Fresh/t.db\n");
    ConnectionPtr connection = Connection::Create();
    connection->Open(u"File Name=" + FromUtf8(dsn) + u";");
    connection->Execute(u"CREATE TABLE t (x TEXT)");
    EXPECT_TRUE(std::filesystem::is_regular_file(DataHome() + "/Fresh/t.db"));
}

TEST(SqliteFileDataSourceTest, UnknownDriverFailsToOpen) {
    dbtest::UsePrivateDriverConfig();
    ConnectionPtr connection = Connection::Create();
    ExpectRaises(E_FAIL, [&] { connection->Open(u"Driver=NoSuchDriver;Database=x"); });
    EXPECT_EQ(connection->State(), adStateClosed);
}

// Two users of one station, everything made under umask 000.
namespace fs = std::filesystem;

mode_t ModeOf(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

// The user's id, made with useradd when missing; 0 when it cannot be had.
uid_t TestUser(const std::string& name) {
    if (getpwnam(name.c_str()) == nullptr) {
        // Another test process may make it at the same moment: the look below decides.
        (void)std::system(("useradd -M -N -s /usr/sbin/nologin " + name + " >/dev/null 2>&1").c_str());
    }
    const passwd* user = getpwnam(name.c_str());
    return user ? user->pw_uid : 0;
}

// Runs the command as the user (runuser, the environment kept, umask 000); its exit status.
int RunAs(const std::string& user, std::vector<std::string> command) {
    command.insert(command.begin(), {"/usr/sbin/runuser", "-u", user, "--"});
    std::vector<char*> argv;
    for (std::string& word : command) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    mode_t saved = umask(0);
    pid_t pid = -1;
    int failed = posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
    umask(saved);
    int status = 0;
    if (failed || waitpid(pid, &status, 0) != pid) {
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The first user's own steps (run as that user by the test below): the data home, its Results folder and
// the database are the user's alone, and a database another user planted is refused by its path.
TEST(SqliteFileDataSourceTest, DISABLED_OwnerStepsUnderUmask000) {
    umask(0);
    setenv("VORNIC_HOME", std::getenv("VR_TEST_DATA_HOME"), 1);
    ConnectionPtr own = Connection::Create();
    own->Open(u"File Name=" + FromUtf8(std::getenv("VR_TEST_OWN_DSN")) + u";");
    own->Execute(u"CREATE TABLE TestResults (SN TEXT)");
    own->Execute(u"INSERT INTO TestResults VALUES ('SE1')");
    EXPECT_EQ(ModeOf(DataHome()), 0700u);
    EXPECT_EQ(ModeOf(DataHome() + "/Results"), 0700u);
    EXPECT_EQ(ModeOf(DataHome() + "/Results/TestResults.db"), 0600u);
    std::string planted = std::getenv("VR_TEST_PLANTED");
    std::string dsn = dbtest::WriteFileDataSource("planted", "DRIVER=SQLite3\nDatabase=" + planted + "\n");
    std::string refusal = ExpectRaises(
        E_ACCESSDENIED, [&] { Connection::Create()->Open(u"File Name=" + FromUtf8(dsn) + u";"); });
    EXPECT_NE(refusal.find("The results database '" + planted + "' is refused: "), std::string::npos)
        << refusal;
    EXPECT_NE(refusal.find("belongs to another user"), std::string::npos) << refusal;
}

TEST(SqliteFileDataSourceTest, AnotherUserCanNeitherReplaceNorWriteTheDatabaseAndAPlantedOneIsRefused) {
    if (geteuid() != 0 || access("/usr/sbin/useradd", X_OK) != 0 || access("/usr/sbin/runuser", X_OK) != 0) {
        GTEST_SKIP() << "two users are made with useradd and run with runuser, which takes the superuser";
    }
    uid_t owner = TestUser("vrtest-owner");
    uid_t other = TestUser("vrtest-other");
    ASSERT_TRUE(owner && other) << "useradd made no test users";
    // A folder both may pass through, with a home of each user's own (as /home is).
    std::string base = "/tmp/vrtest-users.XXXXXX";
    ASSERT_NE(mkdtemp(base.data()), nullptr);
    ASSERT_EQ(chmod(base.c_str(), 0755), 0);
    for (auto [name, uid] : {std::pair{"owner", owner}, std::pair{"other", other}}) {
        fs::create_directory(base + "/" + name);
        ASSERT_EQ(chown((base + "/" + name).c_str(), uid, static_cast<gid_t>(-1)), 0);
        ASSERT_EQ(chmod((base + "/" + name).c_str(), 0755), 0);
    }
    fs::create_directory(base + "/odbc");
    dbtest::UseDriverConfigIn(base + "/odbc");
    std::string dsn = base + "/results.dsn";
    std::ofstream(dsn) << "[ODBC]\nDRIVER=SQLite3\nDatabase=%VORNIC_HOME%/Results/TestResults.db\n";
    fs::permissions(base + "/odbc", fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                        fs::perms::others_read | fs::perms::others_exec);
    for (const auto& entry : fs::directory_iterator(base + "/odbc")) {
        fs::permissions(entry.path(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                          fs::perms::others_read);
    }
    std::string home = base + "/owner/vornic";
    std::string planted = base + "/other/planted.db";
    ASSERT_EQ(RunAs("vrtest-other", {"/bin/sh", "-c", ": > " + planted}), 0);
    setenv("VR_TEST_DATA_HOME", home.c_str(), 1);
    setenv("VR_TEST_OWN_DSN", dsn.c_str(), 1);
    setenv("VR_TEST_PLANTED", planted.c_str(), 1);
    EXPECT_EQ(
        RunAs("vrtest-owner", {fs::read_symlink("/proc/self/exe").string(), "--gtest_also_run_disabled_tests",
                               "--gtest_filter=SqliteFileDataSourceTest.DISABLED_OwnerStepsUnderUmask000"}),
        0);
    // The second user can neither replace, nor write, nor read the first one's database.
    std::string database = home + "/Results/TestResults.db";
    ASSERT_EQ(ModeOf(database), 0600u);
    EXPECT_NE(RunAs("vrtest-other", {"/bin/cp", planted, database}), 0);
    EXPECT_NE(RunAs("vrtest-other", {"/bin/mv", "-f", planted, database}), 0);
    EXPECT_NE(RunAs("vrtest-other", {"/bin/sh", "-c", "echo x >> " + database}), 0);
    EXPECT_NE(RunAs("vrtest-other", {"/bin/cat", database}), 0);
    EXPECT_NE(RunAs("vrtest-other", {"/bin/mv", "-f", home + "/Results", base + "/other/taken"}), 0);
    std::error_code ignored;
    fs::remove_all(base, ignored);
}

} // namespace
} // namespace vr::ado
