// The windows' logic against the real hardware manager and the loopback instrument: a query through the
// tester, a device that keeps quiet, a record's time-out, a reader that cannot start, and the records' edge
// cases (empty server, missing connection, New, names that would leave the library folder, failed saves,
// quoted adapter paths).
#include "VrDev/Ostrel/managers/ConnectionTester.h"
#include "VrDev/Ostrel/managers/HwManager.h"
#include "VrDev/Ostrel/managers/tests/fixture.h"
#include "platform/base/text.h"
#include "platform/com/comutil.h"

#include <filesystem>
#include <fstream>

namespace ostreltest {
namespace {

namespace fs = std::filesystem;
using ostrel::ConnectionTester;
using ostrel::HwKind;
using ostrel::HwManager;

bool StartsWith(const std::u16string& text, std::u16string_view start) {
    return text.substr(0, start.size()) == start;
}

std::string U8(const std::u16string& text) {
    return vr::ToUtf8(text);
}

class NoThreadTester : public ConnectionTester {
public:
    using ConnectionTester::ConnectionTester;

protected:
    bool StartThread(std::function<void()> /*body*/) override { return false; }
};

class FailingLibraries : public ostrel::DeviceLibraries {
public:
    HRESULT Rebuild(const std::u16string& device, const std::u16string&, std::u16string* error) override {
        *error = u"rebuild of " + device + u" failed";
        return E_FAIL;
    }
    void Remove(const std::u16string&) override {}
};

TEST_F(ManagerTest, TesterShowsTheAnswerAndReadsAQuietDeviceUntilStop) {
    SaveLoopback(u"Loop");
    HwManager connections(HwKind::kConnection, rigmont.Get(), nullptr);
    connections.SelectName(u"Loop");
    ASSERT_EQ(U8(connections.Status()), "OK");
    ASSERT_TRUE(connections.TestConnection());
    {
        ConnectionTester tester(u"Loop", connections.TestConnection().Get());
        // Typed as text: the line end is "\n", as in every value the studio edits. The answer ends at the
        // termination character, which ends the query by itself.
        tester.Send(u"*IDN?\\n");
        EXPECT_TRUE(tester.Reading());
        TickUntil(tester, [&] { return !tester.Reading(); });
        EXPECT_EQ(U8(tester.Response()), "VORNIC,LOOPBACK,0,1.0¶\n");
        // The status is the connection's: its read ended at the time-out (it was asked for no terminator), so
        // the time shown is the read's wait, not the answer's, which came at once; the status says so.
        ASSERT_TRUE(StartsWith(tester.Status(), u"End of Response (within ")) << U8(tester.Status());
        EXPECT_TRUE(tester.Status().ends_with(
            u" msec: the read waited for its time-out). Read Status: 'ReadTimeout'."))
            << U8(tester.Status());

        // An answer without it: a socket has no end indicator, each read ends at the time-out, so the tester
        // reads on until Stop, which reports the time of the answer and how the last read ended.
        tester.Send(u"PARTIAL abc\n");
        TickUntil(tester, [&] { return !tester.Response().empty(); });
        EXPECT_EQ(U8(tester.Response()), "abc");
        ASSERT_TRUE(StartsWith(tester.Status(), u"Receiving ... (")) << U8(tester.Status());
        std::u16string time = tester.Status().substr(15);
        TickUntil(
            tester, [] { return false; }, 3);
        EXPECT_TRUE(tester.Reading());
        tester.Stop();
        EXPECT_EQ(tester.Status(), u"End of Response (" + time + u" Read Status: 'ReadTimeout'.");
        EXPECT_FALSE(tester.Reading());

        // Nothing comes: every read ends empty and the next one starts; the time only moves with data.
        tester.Send(u"SILENT\n");
        TickUntil(
            tester, [] { return false; }, 4); // a read or two, each ending at the time-out
        ASSERT_TRUE(tester.Reading()) << U8(tester.Status());
        EXPECT_EQ(U8(tester.Status()), "Receiving ...");
        tester.Stop();
        EXPECT_FALSE(tester.Reading());
        EXPECT_EQ(U8(tester.Status()), "End of Response (0 msec). Read Status: 'ReadTimeout'.");
    }
    // The texts sent are offered again, per connection name.
    ConnectionTester again(u"Loop", connections.TestConnection().Get());
    EXPECT_EQ(again.RecentTexts(), (std::vector<std::string>{"*IDN?\\n", "PARTIAL abc\n", "SILENT\n"}));
    EXPECT_TRUE(ConnectionTester(u"Other", connections.TestConnection().Get()).RecentTexts().empty());
}

TEST_F(ManagerTest, ARecordsTimeoutShortensTheTestersReads) {
    // The time-out may be named with or without its scope; either way the session's reads must end at it.
    for (const std::u16string setup : {u"Timeout=300", u"VISA:Timeout=300"}) {
        SaveLoopback(u"Quick", setup);
        HwManager connections(HwKind::kConnection, rigmont.Get(), nullptr);
        connections.SelectName(u"Quick");
        vr::ComPtr<IVrConnection> connection = connections.TestConnection();
        ASSERT_TRUE(connection) << U8(connections.Status());
        int32_t written = 0;
        ASSERT_EQ(connection->WriteString(_bstr_t(u"DELAY 1500 late"), &written), S_OK);
        // As the tester reads: the connection's own time-out. The answer comes long after 300 ms and long
        // before the default 2 s, so a read that sees it waited for the default.
        _bstr_t text;
        ASSERT_EQ(connection->ReadString(_bstr_t(u""), -1, -1, text.GetAddress()), S_OK) << U8(setup);
        EXPECT_EQ(U8(std::u16string(text.view())), "") << U8(setup);
        VrReadStatus status = UnknownReason;
        ASSERT_EQ(connection->get_LastReadStatus(&status), S_OK);
        EXPECT_EQ(status, ReadTimeout);
    }
}

TEST_F(ManagerTest, TheServerMustBeARegisteredProgIdAndStoredOnesAreOfferedAgain) {
    SaveLoopback(u"Loop");
    HwManager connections(HwKind::kConnection, rigmont.Get(), nullptr);
    connections.SelectName(u"Loop");
    EXPECT_FALSE(connections.SetServer(u"Vornic.NoSuchServer"));
    EXPECT_EQ(U8(connections.Status()),
              "'Vornic.NoSuchServer' is no registered ProgID: the Connection can't be made by it.");
    EXPECT_EQ(U8(StoredRecord(u"connection", u"Loop")).rfind("Vornic.CnVISA|", 0), 0u);
    EXPECT_TRUE(connections.ServerChoices().empty());

    EXPECT_TRUE(connections.SetServer(kCnVisaProgId));
    EXPECT_EQ(U8(connections.Status()), "OK");
    EXPECT_EQ(connections.ServerChoices(), std::vector<std::u16string>{kCnVisaProgId});
    EXPECT_EQ(HwManager(HwKind::kConnection, rigmont.Get(), nullptr).ServerChoices(),
              std::vector<std::u16string>{kCnVisaProgId});
    EXPECT_TRUE(HwManager(HwKind::kDevice, rigmont.Get(), nullptr).ServerChoices().empty());
    EXPECT_EQ(ostrel::CheckServer(u"<Undefined>"), ostrel::ServerCheck::kUndefined);
}

TEST(ConnectionTesterText, CarriageReturnsAndLineFeedsShow) {
    EXPECT_EQ(U8(ostrel::ShowControlCharacters(u"OK\r\n")), "OK¬¶\n");
}

TEST_F(ManagerTest, AReaderThatCannotStartLeavesNothingToWaitFor) {
    SaveLoopback(u"Loop");
    HwManager connections(HwKind::kConnection, rigmont.Get(), nullptr);
    connections.SelectName(u"Loop");
    NoThreadTester tester(u"Loop", connections.TestConnection().Get());
    tester.Send(u"*IDN?\n");
    EXPECT_FALSE(tester.Reading());
    EXPECT_EQ(U8(tester.Status()), "Can't CreateThread to Read from the Connection.");
    tester.Stop(); // returns at once
    EXPECT_EQ(U8(tester.Status()), "Can't CreateThread to Read from the Connection.");
}

TEST_F(ManagerTest, LoadingShowsWhatIsMissing) {
    HwManager connections(HwKind::kConnection, rigmont.Get(), nullptr);
    ASSERT_EQ(rigmont->SaveRecord(_bstr_t(u"connection"), _bstr_t(u"_default"), _bstr_t(u""), _bstr_t(u""),
                                  _bstr_t(u"")),
              S_OK);
    ASSERT_EQ(rigmont->SaveRecord(_bstr_t(u"connection"), _bstr_t(u"Bare"), _bstr_t(u""), _bstr_t(u"x"),
                                  _bstr_t(u"")),
              S_OK);
    connections.SelectName(u"Bare");
    EXPECT_EQ(U8(connections.Status()), "Specify Server for 'Bare' Connection.");
    EXPECT_TRUE(connections.RecordLoaded());
    EXPECT_FALSE(connections.Object());
    connections.SelectName(u"Absent");
    EXPECT_EQ(U8(connections.Status()), "Error: 'Absent' Connection wasn't found.");

    HwManager devices(HwKind::kDevice, rigmont.Get(), nullptr);
    ASSERT_EQ(rigmont->SaveRecord(_bstr_t(u"socket"), _bstr_t(u"Orphan"), _bstr_t(u"Vornic.Socket"),
                                  _bstr_t(u"NoSuchLink"), _bstr_t(u"")),
              S_OK);
    devices.SelectName(u"Orphan");
    EXPECT_TRUE(StartsWith(devices.Status(), u"Error: Couldn't create 'Orphan' Device, Code: 0x"))
        << U8(devices.Status());
    EXPECT_FALSE(devices.Object());
}

TEST_F(ManagerTest, NewSelectsOrCopiesTheDefaultAndHiddenNamesStayHidden) {
    SaveLoopback(u"Loop");
    SaveLoopback(u"_hidden");
    HwManager connections(HwKind::kConnection, rigmont.Get(), nullptr);
    std::u16string before = StoredRecord(u"connection", u"Loop");
    connections.New(u"Loop");
    EXPECT_EQ(connections.Name(), u"Loop");
    EXPECT_EQ(StoredRecord(u"connection", u"Loop"), before);

    connections.New(u"Fresh");
    EXPECT_EQ(connections.Name(), u"Fresh");
    EXPECT_EQ(U8(StoredRecord(u"connection", u"Fresh")), "Vornic.CnVISA||");
    EXPECT_EQ(connections.RecordNames(u"connection"), (std::vector<std::u16string>{u"Loop", u"Fresh"}));
}

TEST_F(ManagerTest, RemovingADeviceDeletesOnlyItsOwnFiles) {
    SaveLoopback(u"Loop");
    fs::create_directories(folder + "/bin");
    for (const char* file : {"/bin/Dev.dll", "/bin/Dev.tlb", "/victim.tlb"}) {
        std::ofstream(folder + file) << "x";
    }
    ostrel::DeviceLibraryFolder libraries(folder + "/bin");
    HwManager devices(HwKind::kDevice, rigmont.Get(), &libraries);
    for (const char16_t* name : {u"Dev", u"../victim"}) {
        ASSERT_EQ(rigmont->SaveRecord(_bstr_t(u"socket"), _bstr_t(name), _bstr_t(u"Vornic.Socket"),
                                      _bstr_t(u"Loop"), _bstr_t(u"")),
                  S_OK);
    }
    devices.SelectName(u"Dev");
    devices.Remove();
    EXPECT_EQ(U8(devices.Status()), "'Dev' Device has been removed.");
    EXPECT_FALSE(fs::exists(folder + "/bin/Dev.dll"));
    EXPECT_FALSE(fs::exists(folder + "/bin/Dev.tlb"));

    devices.SelectName(u"../victim");
    devices.Remove();
    EXPECT_EQ(U8(StoredRecord(u"socket", u"../victim")), "<missing>");
    EXPECT_TRUE(fs::exists(folder + "/victim.tlb"));

    devices.New(u"../evil");
    EXPECT_EQ(U8(devices.Status()), "Error: '../evil' can't be a Device name: it names the device's files.");
    EXPECT_EQ(U8(StoredRecord(u"socket", u"../evil")), "<missing>");
}

TEST_F(ManagerTest, AdapterFileIsStoredQuotedAndFailuresAreShown) {
    SaveLoopback(u"Loop");
    std::string adapter = folder + "/with blank, comma/meter.daf";
    fs::create_directories(fs::path(adapter).parent_path());
    fs::copy_file(VR_TEST_DATA "/plugmar_multimeter.daf", adapter);
    FailingLibraries libraries;
    HwManager devices(HwKind::kDevice, rigmont.Get(), &libraries);
    ASSERT_EQ(rigmont->SaveRecord(_bstr_t(u"socket"), _bstr_t(u"Dev"), _bstr_t(u"Vornic.Socket"),
                                  _bstr_t(u"Loop"), _bstr_t(u"")),
              S_OK);
    devices.SelectName(u"Dev");
    devices.AttributeChanged(u"Socket:AdapterFile", vr::FromUtf8(adapter));
    EXPECT_EQ(U8(StoredRecord(u"socket", u"Dev")), "Vornic.Socket|Loop|Socket:AdapterFile='" + adapter + "'");
    // The socket is made from the stored path; the library rebuild's failure stays on the status line.
    EXPECT_TRUE(devices.Object());
    EXPECT_EQ(U8(devices.Status()), "rebuild of Dev failed");

    // A store without room for sockets refuses every save: New says so.
    std::ofstream(folder + "/Store.cfs")
        << "<?xml version=\"1.0\"?>\n<ConfigStore><connections/></ConfigStore>\n";
    devices.New(u"Other");
    EXPECT_EQ(U8(devices.Status()), "ERROR while saving configuration data for 'Other' Device.");
}

} // namespace
} // namespace ostreltest
