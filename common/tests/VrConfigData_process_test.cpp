// Configuration items seen from a second process: this test binary runs itself again on the same registry.
#include "common/VrConfigData.h"
#include "common/tests/VrConfigData_test_support.h"

#include "common/tests/bstr_holder.h"
#include "tests/support/test_env.h"

#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using commontest::Bstr;
using configtest::ConfigDataTest;
using configtest::FileSnapshot;

// Tells the child run which registry root to use: its own test main points VORNIC_REGISTRY elsewhere.
constexpr const char* kChildRegistryVariable = "VR_CONFIG_CHILD_REGISTRY";

// Runs this binary's disabled child test; returns its exit status (-1 when it could not run), its output
// in `log`.
int RunChild(const std::string& registry, const std::string& log) {
    setenv(kChildRegistryVariable, registry.c_str(), 1);
    std::string executable = "/proc/self/exe";
    std::string filter = "--gtest_filter=ConfigDataChild.DISABLED_SeesTheParentsItems";
    std::string alsoDisabled = "--gtest_also_run_disabled_tests";
    char* argv[] = {executable.data(), filter.data(), alsoDisabled.data(), nullptr};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    pid_t pid = 0;
    int error = posix_spawn(&pid, executable.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    unsetenv(kChildRegistryVariable);
    if (error != 0) {
        return -1;
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

TEST_F(ConfigDataTest, SecondProcessSeesTheItems) {
    {
        CVrConfigData config;
        Bstr edited(u"VISA.OtherRM");
        ASSERT_TRUE(config.StoreItem("VISAResourceManagerProgID", edited.get()));
    }
    std::string log = vrtest::MakeFreshFolder("config-child") + "/child.log";
    ASSERT_EQ(RunChild(RegistryRootFolder(), log), 0) << FileSnapshot::Of(log).text;

    // The child's construction added nothing; its own store is seen here.
    CVrConfigData config;
    Bstr mark;
    ASSERT_TRUE(config.GetItem("ChildMark", mark.ptr(), false));
    EXPECT_EQ(mark.utf8(), "seen VISA.OtherRM");
    EXPECT_EQ(ConfigValues(HKEY_LOCAL_MACHINE).size(), 11u);
}

// Run only by SecondProcessSeesTheItems, in a process of its own.
TEST(ConfigDataChild, DISABLED_SeesTheParentsItems) {
    const char* registry = std::getenv(kChildRegistryVariable);
    ASSERT_NE(registry, nullptr);
    setenv("VORNIC_REGISTRY", registry, 1);
    FileSnapshot before = FileSnapshot::Of(std::string(registry) + "/HKEY_LOCAL_MACHINE.reg");
    CVrConfigData config;
    EXPECT_TRUE(FileSnapshot::Of(std::string(registry) + "/HKEY_LOCAL_MACHINE.reg") == before)
        << "the items were all there already";
    Bstr manager;
    ASSERT_TRUE(config.GetItem("VISAResourceManagerProgID", manager.ptr(), false));
    Bstr mark(u"seen " + manager.str());
    EXPECT_TRUE(config.StoreItem("ChildMark", mark.get()));
}

} // namespace
