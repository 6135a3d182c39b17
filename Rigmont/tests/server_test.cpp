// The server's parts: the switches, the one shared manager object, the shutdown monitor, and the program as
// a real process (registration and its end when no client comes).
#include "Rigmont/CommandLine.h"
#include "Rigmont/ShutdownMonitor.h"
#include "Rigmont/SingletonFactory.h"
#include "rigmont_fixture.h"

#include "platform/base/text.h"
#include "platform/registry/registry.h"
#include "tests/activation/process.h"
#include "tests/support/test_env.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <future>

namespace rigmonttest {
namespace {

using namespace std::chrono_literals;

rigmont::ServerAction Action(std::initializer_list<std::string_view> arguments) {
    return rigmont::ActionOf(std::span<const std::string_view>(arguments.begin(), arguments.size()));
}

TEST(CommandLineTest, SwitchesAreFoundAfterDashOrSlashInAnyCase) {
    using rigmont::ServerAction;
    EXPECT_EQ(Action({}), ServerAction::Serve);
    EXPECT_EQ(Action({"-Embedding"}), ServerAction::Serve);
    EXPECT_EQ(Action({"/RegServer"}), ServerAction::Register);
    EXPECT_EQ(Action({"-regserver"}), ServerAction::Register);
    EXPECT_EQ(Action({"-Embedding", "/UNREGSERVER"}), ServerAction::Unregister);
    EXPECT_EQ(Action({"/Automation", "-RegServer", "/UnregServer"}), ServerAction::Register);
    EXPECT_EQ(Action({"/RegServer", "--help"}), ServerAction::Help);
    EXPECT_EQ(Action({"-?"}), ServerAction::Help);
    EXPECT_EQ(Action({"RegServer"}), ServerAction::BadArgument)
        << "a word without a switch mark is no switch";
    EXPECT_EQ(Action({"--help", "--RegServer"}), ServerAction::BadArgument);
    std::string_view offending;
    std::initializer_list<std::string_view> arguments{"-Embedding", "/Reg"};
    EXPECT_EQ(rigmont::ActionOf(std::span(arguments.begin(), arguments.size()), &offending),
              ServerAction::BadArgument);
    EXPECT_EQ(offending, "/Reg");
}

using SingletonTest = RigmontTest;

TEST_F(SingletonTest, EveryCreatorGetsTheSameManagerAndNoneAggregates) {
    UseStore(StandardStore());
    vr::ComPtr<IClassFactory> factory;
    ASSERT_EQ(rigmont::CreateSingletonFactory(factory.Put()), S_OK);
    vr::ComPtr<IVrRigmont> first, second;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IVrRigmont, first.PutVoid()), S_OK);
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IVrRigmont, second.PutVoid()), S_OK);
    EXPECT_EQ(first.Get(), second.Get());
    vr::ComPtr<IUnknown> aggregated;
    EXPECT_EQ(factory->CreateInstance(first.Get(), IID_IUnknown, aggregated.PutVoid()),
              CLASS_E_NOAGGREGATION);
    EXPECT_FALSE(aggregated);
    // The manager outlives its creators' references while the class object lives.
    first = nullptr;
    second = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, first.PutVoid()), S_OK);
}

// A lock count the tests move by hand.
struct Monitored {
    using Clock = std::chrono::steady_clock;
    std::atomic<unsigned long> locks{0};
    std::atomic<int> polls{0};             // looks at the count so far
    std::atomic<int> seenHeld{0};          // looks that found a lock held
    std::atomic<Clock::time_point> second; // when the monitor looked the second time
    std::atomic<Clock::time_point> idleAt; // when it called the server idle
    std::promise<void> idle;
    std::atomic<int> idleCalls{0};

    rigmont::ShutdownMonitor Start(std::chrono::milliseconds period) {
        return rigmont::ShutdownMonitor(
            [this] {
                unsigned long held = locks.load();
                if (++polls == 2) {
                    second = Clock::now();
                }
                seenHeld += held > 0 ? 1 : 0;
                return held;
            },
            [this] {
                idleAt = Clock::now();
                if (idleCalls.fetch_add(1) == 0) {
                    idle.set_value();
                }
            },
            {.idlePeriod = period, .pollInterval = 2ms});
    }
    // Waits until check holds; false after 10 s.
    template <class Check>
    static bool Until(Check check) {
        auto deadline = Clock::now() + 10s;
        while (!check() && Clock::now() < deadline) {
            std::this_thread::yield();
        }
        return check();
    }
};

TEST(ShutdownMonitorTest, EndsOneQuietPeriodAfterTheLastLockIsGone) {
    Monitored m;
    m.locks = 1;
    auto started = std::chrono::steady_clock::now();
    rigmont::ShutdownMonitor monitor = m.Start(100ms);
    std::future<void> idle = m.idle.get_future();
    EXPECT_EQ(idle.wait_for(300ms), std::future_status::timeout) << "a held lock keeps the server";
    m.locks = 0;
    ASSERT_EQ(idle.wait_for(5s), std::future_status::ready);
    EXPECT_GE(std::chrono::steady_clock::now() - started, 400ms);
    monitor.Stop();
    EXPECT_EQ(m.idleCalls.load(), 1);
}

// The monitor's first period starts as it first looks with no lock held, just before its second look; a
// client that comes and goes after that look is in the first period or a later one.
TEST(ShutdownMonitorTest, ClientThatComesAndGoesDuringAPeriodKeepsTheServerAnotherPeriod) {
    Monitored m;
    rigmont::ShutdownMonitor monitor = m.Start(1000ms);
    std::future<void> idle = m.idle.get_future();
    ASSERT_TRUE(Monitored::Until([&] { return m.polls >= 2; })) << "the monitor never looked";
    m.locks = 1; // a client comes and goes, once the monitor has seen it
    ASSERT_TRUE(Monitored::Until([&] { return m.seenHeld > 0; })) << "the monitor never saw the client";
    m.locks = 0;
    ASSERT_EQ(idle.wait_for(10s), std::future_status::ready);
    // The period that saw the client does not end the server: a whole quiet one follows it, so the end
    // comes two periods after the first one's start (2 s) at the soonest; without it, one period (1 s).
    EXPECT_GE(m.idleAt.load() - m.second.load(), 1500ms);
}

TEST(ShutdownMonitorTest, StoppedMonitorNeverReportsIdle) {
    Monitored m;
    {
        rigmont::ShutdownMonitor monitor = m.Start(200ms);
        monitor.Stop();
    }
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(m.idleCalls.load(), 0);
}

// Reads HKCR\<path> default value; "<missing>" when absent.
std::u16string ClassesValue(const std::u16string& path, const char16_t* name = u"") {
    HKEY key = nullptr;
    if (RegOpenKeyEx(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return u"<missing>";
    }
    char16_t buffer[1024] = {};
    DWORD size = sizeof(buffer);
    DWORD type = 0;
    LONG status = RegQueryValueEx(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? std::u16string(buffer) : u"<missing>";
}

TEST(ProgramTest, RegistersAndUnregistersWithEitherSwitchMark) {
    // A registry of its own, so the build's registration of the program stays as it is for other tests.
    std::string registry = vrtest::MakeFreshFolder("registry");
    std::string previous = std::getenv("VORNIC_REGISTRY");
    setenv("VORNIC_REGISTRY", registry.c_str(), 1);
    vrtest::ProcessResult registered = vrtest::RunProcess(RIGMONT_PATH, {"-regserver"});
    EXPECT_EQ(registered.exitCode, 0) << registered.output;
    std::u16string clsid = vr::GuidToString(CLSID_VrRigmont);
    EXPECT_EQ(ClassesValue(u"CLSID\\" + clsid + u"\\LocalServer32"), vr::FromUtf8(RIGMONT_PATH));
    EXPECT_EQ(ClassesValue(u"CLSID\\" + clsid), u"VrRigmont Class");
    EXPECT_EQ(ClassesValue(u"Vornic.Rigmont\\CurVer"), u"Vornic.Rigmont.1");
    EXPECT_EQ(ClassesValue(u"AppID\\rigmont", u"AppID"), vr::GuidToString(APPID_Rigmont));

    vrtest::ProcessResult unregistered = vrtest::RunProcess(RIGMONT_PATH, {"/UnregServer"});
    EXPECT_EQ(unregistered.exitCode, 0) << unregistered.output;
    EXPECT_EQ(ClassesValue(u"CLSID\\" + clsid + u"\\LocalServer32"), u"<missing>");
    EXPECT_EQ(ClassesValue(u"Vornic.Rigmont.1\\CLSID"), u"<missing>");
    setenv("VORNIC_REGISTRY", previous.c_str(), 1);
}

TEST(ProgramTest, ServerThatNoClientUsesEndsByItself) {
    auto started = std::chrono::steady_clock::now();
    vrtest::ProcessResult served = vrtest::RunProcess(RIGMONT_PATH, {"-Embedding"});
    auto took = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(served.exitCode, 0) << served.output;
    // One idle period of 1500 ms, then the pause of 1000 ms before the exit.
    EXPECT_GE(took, 2500ms);
}

} // namespace
} // namespace rigmonttest
