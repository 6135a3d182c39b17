// Several processes storing results into one database at the same time: every row arrives once.
#include "common/Trace.h"
#include "common/tests/ResultsTestSupport.h"
#include "tests/support/test_env.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <set>

extern char** environ;

namespace {

using resultstest::Missing;
using resultstest::ResultsDatabaseTest;

constexpr const char* kDataSourceVariable = "VR_RESULTS_CHILD_DSN";
constexpr const char* kIndexVariable = "VR_RESULTS_CHILD_INDEX";
constexpr int kChildren = 6;
constexpr int kRowsPerChild = 40;

std::u16string ResultId(int child, int row) {
    return vr::FromUtf8("child" + std::to_string(child) + "-" + std::to_string(row));
}

// Starts this binary's disabled child test with the data source and its number; -1 when it cannot start.
pid_t StartChild(const std::string& dsn, int index, const std::string& log) {
    setenv(kDataSourceVariable, dsn.c_str(), 1);
    setenv(kIndexVariable, std::to_string(index).c_str(), 1);
    std::string executable = "/proc/self/exe";
    std::string filter = "--gtest_filter=ResultsChild.DISABLED_StoresItsRows";
    std::string alsoDisabled = "--gtest_also_run_disabled_tests";
    char* argv[] = {executable.data(), filter.data(), alsoDisabled.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    pid_t pid = -1;
    int error = posix_spawn(&pid, executable.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    unsetenv(kDataSourceVariable);
    unsetenv(kIndexVariable);
    return error == 0 ? pid : -1;
}

int ExitStatusOf(pid_t pid) {
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

TEST_P(ResultsDatabaseTest, ProcessesStoringAtOnceLoseAndDoubleNothing) {
    std::string logs = vrtest::MakeFreshFolder("children");
    pid_t children[kChildren];
    for (int i = 0; i < kChildren; ++i) {
        children[i] = StartChild(dsn_, i, logs + "/child" + std::to_string(i) + ".log");
    }
    for (int i = 0; i < kChildren; ++i) {
        EXPECT_EQ(ExitStatusOf(children[i]), 0)
            << "see " << logs << "/child" << i << ".log (VR_TEST_KEEP=1 keeps it)";
    }

    std::vector<resultstest::Row> rows = Rows();
    std::set<std::u16string> ids;
    for (const resultstest::Row& row : rows) {
        ids.insert(row[1]);
    }
    EXPECT_EQ(rows.size(), static_cast<size_t>(kChildren * kRowsPerChild));
    EXPECT_EQ(ids.size(), rows.size());
    for (int i = 0; i < kChildren; ++i) {
        EXPECT_TRUE(ids.count(ResultId(i, 0)) == 1 && ids.count(ResultId(i, kRowsPerChild - 1)) == 1) << i;
    }
}

// Run only by ProcessesStoringAtOnceLoseAndDoubleNothing, in processes of their own.
TEST(ResultsChild, DISABLED_StoresItsRows) {
    const char* dsn = std::getenv(kDataSourceVariable);
    const char* index = std::getenv(kIndexVariable);
    ASSERT_TRUE(dsn != nullptr && index != nullptr);
    dbtest::UsePrivateDriverConfig();
    CADO database;
    ASSERT_EQ(OpenResultsDatabase(database, vr::FromUtf8(dsn).c_str()), S_OK) << vr::ToUtf8(LastErrorText());
    TestResultOwner owner;
    owner.testId = u"Parallel";
    owner.sn = u"SN";
    int child = std::atoi(index);
    for (int row = 0; row < kRowsPerChild; ++row) {
        std::u16string id = ResultId(child, row);
        ASSERT_EQ(SaveTestResult(&database, owner, _variant_t(LONG{row}), id.c_str(), Missing(), Missing(),
                                 Missing()),
                  S_OK)
            << vr::ToUtf8(LastErrorText());
    }
}

} // namespace
