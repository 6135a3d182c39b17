// Configuration items seen from a second process: this test binary runs itself again on the same registry.
#include "common/config/VrConfigData.h"
#include "common/config/tests/VrConfigData_test_support.h"

#include "tests/support/com_holders.h"
#include "tests/support/test_env.h"

#include <cstdlib>

namespace {

using configtest::ConfigDataTest;
using configtest::FileSnapshot;
using vrtest::Bstr;

// Tells the child run which registry root to use: its own test main points VORNIC_REGISTRY elsewhere.
constexpr const char* kChildRegistryVariable = "VR_CONFIG_CHILD_REGISTRY";

TEST_F(ConfigDataTest, SecondProcessSeesTheItems) {
    {
        CVrConfigData config;
        Bstr edited(u"VISA.OtherRM");
        ASSERT_TRUE(config.StoreItem("VISAResourceManagerProgID", edited.get()));
    }
    std::string log = vrtest::MakeFreshFolder("config-child") + "/child.log";
    pid_t child = vrtest::StartSelfTest("ConfigDataChild.DISABLED_SeesTheParentsItems",
                                        {{kChildRegistryVariable, RegistryRootFolder()}}, log);
    ASSERT_EQ(vrtest::WaitForChild(child), 0) << FileSnapshot::Of(log).text;

    // The child's construction added nothing; its own store is seen here.
    CVrConfigData config;
    Bstr mark;
    ASSERT_TRUE(config.GetItem("ChildMark", mark.ptr(), false));
    EXPECT_EQ(mark.utf8(), "seen VISA.OtherRM");
    EXPECT_EQ(ConfigValues(HKEY_LOCAL_MACHINE).size(), configtest::ExpectedDefaults().size() + 1);
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
