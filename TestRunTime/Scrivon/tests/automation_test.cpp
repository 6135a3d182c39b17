// The automation object as a second start calls it (IDispatch by DISPID), bound and unbound, and the
// command-line switches that decide what a start does.
#include "TestRunTime/Scrivon/ScrivonCommandLine.h"
#include "TestRunTime/Scrivon/ScrivonStart.h"
#include "TestRunTime/Scrivon/TestLoaderAutomation.h"
#include "platform/base/paths.h"
#include "platform/com/comutil.h"
#include "platform/com/rot.h"

#include <gtest/gtest.h>

namespace scrivon {
namespace {

class RecordingTarget : public TestLoaderTarget {
public:
    std::string loaded;
    int popups = 0;
    bool LoadScript(const std::string& path, ClientId, std::string*) override {
        loaded = path;
        return path.ends_with(".ts");
    }
    bool RunScript(ClientId, std::string*) override { return true; }
    void Popup(ClientId) override { ++popups; }
    int32_t LastVerdict(ClientId) override { return 2; }
    void StopRun() override {}
    bool GiveSerialNumber(const std::string&, ClientId, std::string*) override { return true; }
};

HRESULT CallByDispid(IDispatch* object, DISPID member, VARIANT* argument, VARIANT* result) {
    DISPPARAMS params{argument, nullptr, argument ? 1u : 0u, 0};
    return object->Invoke(member, IID_NULL, 0, DISPATCH_METHOD, &params, result, nullptr, nullptr);
}

TEST(TestLoaderAutomation, CarriesLoadRunAndPopupToItsWindow) {
    vr::ComObjectPtr<CVrTestLoaderDlgAutoProxy> proxy;
    ASSERT_EQ(vr::ComObject<CVrTestLoaderDlgAutoProxy>::Create(&proxy), S_OK);
    RecordingTarget window;
    proxy->Bind(&window);
    vr::ComPtr<IDispatch> dispatch;
    ASSERT_EQ(proxy->QueryInterface(__uuidof(IVrTestLoader), dispatch.PutVoid()), S_OK);

    _variant_t file(_bstr_t(u"/data/demo.JScript.ts"));
    _variant_t result;
    ASSERT_EQ(CallByDispid(dispatch.Get(), DISPID_TestLoaderLoad, &file, &result), S_OK);
    EXPECT_EQ(window.loaded, "/data/demo.JScript.ts");
    EXPECT_EQ(result.vt, VT_BOOL);
    EXPECT_EQ(result.boolVal, VARIANT_TRUE);
    ASSERT_EQ(CallByDispid(dispatch.Get(), DISPID_TestLoaderPopup, nullptr, nullptr), S_OK);
    EXPECT_EQ(window.popups, 1);

    proxy->Bind(nullptr); // the window is gone: nothing is acted on
    result.Clear();
    ASSERT_EQ(CallByDispid(dispatch.Get(), DISPID_TestLoaderRun, nullptr, &result), S_OK);
    EXPECT_EQ(result.boolVal, VARIANT_FALSE);
    EXPECT_EQ(CallByDispid(dispatch.Get(), DISPID_TestLoaderPopup, nullptr, nullptr), S_OK);
    EXPECT_EQ(window.popups, 1);
}

// A second start during a run is refused by the running window: the start says the window's reason, not
// only the system's words for the code.
TEST(TestLoaderAutomation, ARefusedForwardTellsTheRunningWindowsReason) {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    class BusyTarget : public RecordingTarget {
    public:
        bool LoadScript(const std::string&, ClientId, std::string* refusal) override {
            *refusal = "A run is in progress: nothing can be loaded until it has ended.";
            return false;
        }
    } window;
    vr::ComObjectPtr<CVrTestLoaderDlgAutoProxy> proxy;
    ASSERT_EQ(vr::ComObject<CVrTestLoaderDlgAutoProxy>::Create(&proxy), S_OK);
    proxy->Bind(&window);
    DWORD cookie = 0;
    IUnknown* object = static_cast<IVrTestLoader*>(proxy.Get());
    ASSERT_EQ(RegisterActiveObject(object, CLSID_VrTestLoader, ACTIVEOBJECT_STRONG, &cookie), S_OK);
    std::string error;
    pid_t running = 0;
    EXPECT_EQ(ForwardToRunningInstance("/data/second.JScript.ts", nullptr, &error, &running),
              ForwardOutcome::Failed);
    EXPECT_NE(error.find("A run is in progress: nothing can be loaded until it has ended."), std::string::npos)
        << error;
    (void)RevokeActiveObject(cookie, nullptr); // our own registration
    proxy->Bind(nullptr);
    CoUninitialize();
}

TEST(ScrivonCommandLine, RegistrationSwitchesComeBeforeForwarding) {
    auto line = ScrivonCommandLine::Parse({"-REGSERVER", "demo.ts"});
    EXPECT_EQ(StartActionOf(line), StartAction::Register);
    EXPECT_EQ(line.file, "demo.ts");
    EXPECT_EQ(StartActionOf(ScrivonCommandLine::Parse({"/UnregServer"})), StartAction::Unregister);
    auto served = ScrivonCommandLine::Parse({"/Embedding", "/home/me/a b.ts", "other.ts"});
    EXPECT_TRUE(served.embedding);
    EXPECT_EQ(served.file, "/home/me/a b.ts") << "a path is no switch";
    EXPECT_EQ(StartActionOf(served), StartAction::ForwardOrServe);
    auto serial = ScrivonCommandLine::Parse({"--sn", "-42", "demo.ts"});
    EXPECT_TRUE(serial.serialNumberGiven);
    EXPECT_EQ(serial.serialNumber, "-42") << "the value is taken whatever it looks like";
    EXPECT_EQ(serial.file, "demo.ts");
    EXPECT_EQ(ScrivonCommandLine::Parse({"~/demo.ts"}).file, vr::ExpandHomeFolder("~") + "/demo.ts");
    EXPECT_EQ(StartActionOf(ScrivonCommandLine::Parse({"demo.ts", "--sn"})), StartAction::BadArgument);
}

TEST(ScrivonCommandLine, HelpAndUnknownSwitchesComeFirst) {
    EXPECT_EQ(StartActionOf(ScrivonCommandLine::Parse({"/RegServer", "--help"})), StartAction::Help);
    EXPECT_EQ(StartActionOf(ScrivonCommandLine::Parse({"/?"})), StartAction::Help);
    auto bad = ScrivonCommandLine::Parse({"--help", "-Embeding", "-other"});
    EXPECT_EQ(bad.unknownArgument, "-Embeding");
    EXPECT_EQ(StartActionOf(bad), StartAction::BadArgument);
}

TEST(ScrivonCommandLine, ForwardErrorShowsTwentyHexDigits) {
    EXPECT_EQ(ForwardErrorText(static_cast<HRESULT>(0x80004005), "Unspecified error"),
              "Got an existing VrTestLoader object, but could not act on it.\n"
              "Error Code = 00000000000080004005\n Code meaning = Unspecified error\n");
}

} // namespace
} // namespace scrivon
