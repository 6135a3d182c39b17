// Several processes storing results into one database at the same time: every row arrives once.
#include "common/results/tests/ResultsTestSupport.h"
#include "common/trace/Trace.h"
#include "tests/support/test_env.h"

#include <cstdlib>
#include <set>

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

TEST_P(ResultsDatabaseTest, ProcessesStoringAtOnceLoseAndDoubleNothing) {
    std::string logs = vrtest::MakeFreshFolder("children");
    pid_t children[kChildren];
    for (int i = 0; i < kChildren; ++i) {
        children[i] =
            vrtest::StartSelfTest("ResultsChild.DISABLED_StoresItsRows",
                                  {{kDataSourceVariable, dsn_}, {kIndexVariable, std::to_string(i)}},
                                  logs + "/child" + std::to_string(i) + ".log");
    }
    for (int i = 0; i < kChildren; ++i) {
        EXPECT_EQ(vrtest::WaitForChild(children[i]), 0)
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
