// The test server end to end: registered by the tool in a fresh registry, created by CLSID and ProgID, called
// by name through IDispatch, failing with rich error information, unloaded when unused, unregistered again.
#include "platform/base/text.h"
#include "platform/com/activation.h"
#include "platform/com/comptr.h"
#include "platform/com/errorinfo.h"
#include "platform/com/rot.h"
#include "platform/registry/registry.h"
#include "process.h"
#include "tests/support/test_env.h"
#include "vrtestserver.h"

#include <chrono>
#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace {

using vr::ComPtr;

// An owned VARIANT for arguments and results.
struct Value {
    VARIANT v;
    Value() { VariantInit(&v); }
    explicit Value(LONG number) : Value() {
        v.vt = VT_I4;
        v.lVal = number;
    }
    explicit Value(const char16_t* text) : Value() {
        v.vt = VT_BSTR;
        v.bstrVal = vr::AllocBstr(text);
    }
    Value(const Value& other) : Value() { EXPECT_EQ(VariantCopy(&v, &other.v), S_OK); }
    ~Value() { (void)VariantClear(&v); }
    std::u16string Text() const {
        return v.vt == VT_BSTR ? std::u16string(vr::BstrView(v.bstrVal)) : u"<not text>";
    }
};

struct NamedArgument {
    const char16_t* name;
    Value value;
};

// What one call by name gave back.
struct Call {
    HRESULT hr = E_UNEXPECTED;
    Value result;
    EXCEPINFO excep{};
    ~Call() { vr::ClearExcepInfo(&excep); }
};

// Calls a member by name: positional arguments in their natural order, then named ones.
void Invoke(IDispatch* object, const char16_t* member, WORD flags, const std::vector<Value>& positional,
            const std::vector<NamedArgument>& named, Call& call) {
    std::vector<std::u16string> names{member};
    for (const auto& argument : named) {
        names.emplace_back(argument.name);
    }
    std::vector<LPOLESTR> namePointers;
    for (auto& name : names) {
        namePointers.push_back(name.data());
    }
    std::vector<DISPID> ids(names.size());
    call.hr =
        object->GetIDsOfNames(IID_NULL, namePointers.data(), static_cast<UINT>(names.size()), 0, ids.data());
    if (FAILED(call.hr)) {
        return;
    }
    // rgvarg holds the named arguments first, then the positional ones last to first.
    std::vector<VARIANT> arguments;
    std::vector<DISPID> namedIds(ids.begin() + 1, ids.end());
    for (const auto& argument : named) {
        arguments.push_back(argument.value.v);
    }
    for (auto it = positional.rbegin(); it != positional.rend(); ++it) {
        arguments.push_back(it->v);
    }
    // A put's value is its last positional argument, named DISPID_PROPERTYPUT (puts take no other names
    // here).
    if (flags == DISPATCH_PROPERTYPUT) {
        namedIds = {DISPID_PROPERTYPUT};
    }
    DISPPARAMS params{arguments.data(), namedIds.data(), static_cast<UINT>(arguments.size()),
                      static_cast<UINT>(namedIds.size())};
    UINT argError = 0;
    call.hr = object->Invoke(ids[0], IID_NULL, 0, flags, &params, &call.result.v, &call.excep, &argError);
}

std::u16string Registered(const std::u16string& key, const char16_t* value = u"") {
    HKEY handle = nullptr;
    if (RegOpenKeyEx(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) {
        return u"<missing>";
    }
    OLECHAR buffer[1024] = {};
    DWORD size = sizeof buffer - sizeof(OLECHAR);
    LONG status = RegQueryValueEx(handle, value, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(handle);
    return status == ERROR_SUCCESS ? std::u16string(buffer) : u"<missing>";
}

bool ServerLoaded() {
    void* handle = dlopen(VR_TEST_SERVER_PATH, RTLD_NOW | RTLD_NOLOAD);
    if (handle) {
        dlclose(handle);
    }
    return handle != nullptr;
}

vrtest::ProcessResult RunRegsvr(const std::vector<std::string>& arguments, const std::string& folder = "") {
    return vrtest::RunProcess(VR_REGSVR_PATH, arguments, folder);
}

class TestServerTest : public testing::Test {
protected:
    void SetUp() override {
        previousRoot_ = std::getenv("VORNIC_REGISTRY");
        setenv("VORNIC_REGISTRY", vrtest::MakeFreshFolder("registry").c_str(), 1);
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
        auto registration = RunRegsvr({"/s", VR_TEST_SERVER_PATH});
        ASSERT_EQ(registration.exitCode, 0) << registration.output;
        EXPECT_EQ(registration.output, "") << "silent on success";
    }
    void TearDown() override {
        CoFreeUnusedLibrariesEx(0, 0);
        CoUninitialize();
        setenv("VORNIC_REGISTRY", previousRoot_.c_str(), 1);
    }

    static ComPtr<IDispatch> Create(const char16_t* progId) {
        CLSID clsid{};
        EXPECT_EQ(CLSIDFromProgID(progId, &clsid), S_OK) << vr::ToUtf8(progId);
        EXPECT_EQ(clsid, CLSID_VrTestServer);
        ComPtr<IDispatch> object;
        EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IDispatch, object.PutVoid()), S_OK);
        return object;
    }

    const std::u16string classKey_ = u"CLSID\\" + vr::GuidToString(CLSID_VrTestServer);

private:
    std::string previousRoot_;
};

TEST_F(TestServerTest, ToolRegistersTheLibraryForCreationByClsidAndProgIds) {
    EXPECT_EQ(Registered(classKey_ + u"\\InprocServer32"),
              vr::FromUtf8(std::filesystem::canonical(VR_TEST_SERVER_PATH).string()));
    EXPECT_EQ(Registered(classKey_ + u"\\InprocServer32", u"ThreadingModel"), u"Apartment");
    EXPECT_TRUE(Create(kVrTestServerProgId));
    EXPECT_TRUE(Create(kVrTestServerIndependentProgId));
    ComPtr<IVrTestServer> byClsid;
    ASSERT_EQ(CoCreateInstance(CLSID_VrTestServer, nullptr, CLSCTX_INPROC_SERVER, IID_IVrTestServer,
                               byClsid.PutVoid()),
              S_OK);
    LONG sum = 0;
    EXPECT_EQ(byClsid->Add(2, 3, &sum), S_OK);
    EXPECT_EQ(sum, 5);
    LPOLESTR progId = nullptr;
    ASSERT_EQ(ProgIDFromCLSID(CLSID_VrTestServer, &progId), S_OK);
    EXPECT_EQ(std::u16string(progId), kVrTestServerProgId);
    CoTaskMemFree(progId);
}

TEST_F(TestServerTest, MembersAreCalledByName) {
    ComPtr<IDispatch> server = Create(kVrTestServerProgId);
    ASSERT_TRUE(server);
    Call add;
    Invoke(server.Get(), u"add", DISPATCH_METHOD, {Value(40), Value(2)}, {}, add);
    ASSERT_EQ(add.hr, S_OK);
    EXPECT_EQ(add.result.v.vt, VT_I4);
    EXPECT_EQ(add.result.v.lVal, 42);

    Call put, get;
    Invoke(server.Get(), u"Name", DISPATCH_PROPERTYPUT, {Value(u"bench 3")}, {}, put);
    EXPECT_EQ(put.hr, S_OK);
    Invoke(server.Get(), u"NAME", DISPATCH_PROPERTYGET, {}, {}, get);
    EXPECT_EQ(get.result.Text(), u"bench 3");

    Call putItem, getItem, getOther;
    Invoke(server.Get(), u"Item", DISPATCH_PROPERTYPUT, {Value(2), Value(u"third")}, {}, putItem);
    EXPECT_EQ(putItem.hr, S_OK);
    Invoke(server.Get(), u"Item", DISPATCH_PROPERTYGET, {Value(2)}, {}, getItem);
    EXPECT_EQ(getItem.result.Text(), u"third");
    Invoke(server.Get(), u"Item", DISPATCH_PROPERTYGET, {Value(1)}, {}, getOther);
    EXPECT_EQ(getOther.result.Text(), u"");
}

TEST_F(TestServerTest, OptionalArgumentsTakeTheirDefaultsOrStayMissing) {
    ComPtr<IDispatch> server = Create(kVrTestServerIndependentProgId);
    ASSERT_TRUE(server);
    struct Case {
        std::vector<Value> positional;
        std::vector<NamedArgument> named;
        std::u16string expected;
    };
    std::vector<Case> cases;
    cases.push_back({{Value(u"Ada")}, {}, u"Hello, Ada"});
    cases.push_back({{Value(u"Ada"), Value(u"Dr.")}, {}, u"Hello, Dr. Ada"});
    cases.push_back({{Value(u"Ada"), Value(u"Dr."), Value(2)}, {}, u"Hello, Dr. Ada Hello, Dr. Ada"});
    cases.push_back({{Value(u"Ada")}, {{u"times", Value(2)}}, u"Hello, Ada Hello, Ada"});
    cases.push_back({{Value(u"Ada")}, {{u"Title", Value(7)}}, u"Hello, 7 Ada"});
    for (const Case& c : cases) {
        Call greet;
        Invoke(server.Get(), u"Greet", DISPATCH_METHOD, c.positional, c.named, greet);
        EXPECT_EQ(greet.hr, S_OK);
        EXPECT_EQ(greet.result.Text(), c.expected);
    }
}

TEST_F(TestServerTest, FailureCarriesRichErrorInformationToTheCaller) {
    ComPtr<IDispatch> server = Create(kVrTestServerProgId);
    ASSERT_TRUE(server);
    Call fail;
    Invoke(server.Get(), u"Fail", DISPATCH_METHOD, {Value(u"Broken on purpose")}, {}, fail);
    EXPECT_EQ(fail.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(fail.excep.scode, E_FAIL);
    EXPECT_EQ(vr::BstrView(fail.excep.bstrDescription), u"Broken on purpose");
    EXPECT_EQ(vr::BstrView(fail.excep.bstrSource), kVrTestServerProgId);

    Call badIndex;
    Invoke(server.Get(), u"Item", DISPATCH_PROPERTYGET, {Value(7)}, {}, badIndex);
    EXPECT_EQ(badIndex.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(badIndex.excep.scode, DISP_E_BADINDEX);
    EXPECT_EQ(vr::BstrView(badIndex.excep.bstrDescription), u"Index 7 is out of range.");

    // Through the dual interface the caller reads the thread's error information.
    ComPtr<IVrTestServer> dual;
    ASSERT_EQ(server.As(&dual), S_OK);
    ComPtr<ISupportErrorInfo> support;
    ASSERT_EQ(server.As(&support), S_OK);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IVrTestServer), S_OK);
    BSTR text = nullptr;
    Value name(u"x");
    EXPECT_EQ(dual->Greet(name.v.bstrVal, Value().v, 11, &text), E_INVALIDARG);
    ComPtr<IErrorInfo> info;
    ASSERT_EQ(GetErrorInfo(0, info.Put()), S_OK);
    BSTR description = nullptr;
    ASSERT_EQ(info->GetDescription(&description), S_OK);
    EXPECT_EQ(vr::BstrView(description), u"Times must be 1 to 10, not 11.");
    SysFreeString(description);
}

TEST_F(TestServerTest, LibraryIsUnloadedOnceNothingOfItIsUsed) {
    ComPtr<IDispatch> server = Create(kVrTestServerProgId);
    ASSERT_TRUE(server);
    ASSERT_TRUE(ServerLoaded());
    CoFreeUnusedLibraries();
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    CoFreeUnusedLibraries();
    EXPECT_TRUE(ServerLoaded()) << "an object is alive";

    server = nullptr;
    CoFreeUnusedLibraries(); // finds it idle
    EXPECT_TRUE(ServerLoaded()) << "unloaded only after the delay";
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    CoFreeUnusedLibraries();
    EXPECT_FALSE(ServerLoaded());
}

TEST_F(TestServerTest, UnregisteredClassCannotBeCreated) {
    auto unregistration = RunRegsvr({"/u", VR_TEST_SERVER_PATH});
    ASSERT_EQ(unregistration.exitCode, 0) << unregistration.output;
    EXPECT_NE(unregistration.output.find("DllUnregisterServer succeeded"), std::string::npos);
    ComPtr<IDispatch> object;
    EXPECT_EQ(CoCreateInstance(CLSID_VrTestServer, nullptr, CLSCTX_ALL, IID_IDispatch, object.PutVoid()),
              REGDB_E_CLASSNOTREG);
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID(kVrTestServerIndependentProgId, &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(Registered(classKey_), u"<missing>");
}

TEST_F(TestServerTest, ToolRecordsTheAbsolutePathOfARelativeArgument) {
    ASSERT_EQ(RunRegsvr({"/u", "/s", VR_TEST_SERVER_PATH}).exitCode, 0);
    std::filesystem::path library(VR_TEST_SERVER_PATH);
    auto registration = RunRegsvr({"-S", "./" + library.filename().string()}, library.parent_path().string());
    ASSERT_EQ(registration.exitCode, 0) << registration.output;
    EXPECT_EQ(Registered(classKey_ + u"\\InprocServer32"),
              vr::FromUtf8(std::filesystem::canonical(library).string()));
}

TEST_F(TestServerTest, ToolReportsEveryFailureAndExitsNonZero) {
    auto noEntry = RunRegsvr({VR_NO_ENTRY_LIBRARY_PATH});
    EXPECT_EQ(noEntry.exitCode, 4);
    EXPECT_NE(noEntry.output.find("exports no DllRegisterServer"), std::string::npos) << noEntry.output;

    auto missing = RunRegsvr({"/s", "/nowhere/libmissing.so", VR_TEST_SERVER_PATH});
    EXPECT_EQ(missing.exitCode, 3) << "the first failure decides";
    EXPECT_NE(missing.output.find("/nowhere/libmissing.so"), std::string::npos) << missing.output;

    EXPECT_EQ(RunRegsvr({}).exitCode, 64); // every program's bad command line
    EXPECT_EQ(RunRegsvr({"/q", VR_TEST_SERVER_PATH}).exitCode, 64);

    // A registry root that is a file: the server's registration fails, and the tool says with which HRESULT.
    std::string notAFolder = vrtest::MakeFreshFolder("root") + "/file";
    std::ofstream(notAFolder) << "x";
    std::string previous = std::getenv("VORNIC_REGISTRY");
    setenv("VORNIC_REGISTRY", notAFolder.c_str(), 1);
    auto failing = RunRegsvr({VR_TEST_SERVER_PATH});
    setenv("VORNIC_REGISTRY", previous.c_str(), 1);
    EXPECT_EQ(failing.exitCode, 5);
    EXPECT_NE(failing.output.find("DllRegisterServer failed: 0x80040201"), std::string::npos)
        << failing.output;
}

TEST_F(TestServerTest, ActiveServerIsCalledByNameUntilDisconnected) {
    ComPtr<IDispatch> server = Create(kVrTestServerProgId);
    ASSERT_TRUE(server);
    DWORD cookie = 0;
    ASSERT_EQ(RegisterActiveObject(server.Get(), CLSID_VrTestServer, ACTIVEOBJECT_WEAK, &cookie), S_OK);
    ComPtr<IUnknown> active;
    ASSERT_EQ(GetActiveObject(CLSID_VrTestServer, nullptr, active.Put()), S_OK);
    ComPtr<IDispatch> dispatch;
    ASSERT_EQ(active.As(&dispatch), S_OK);
    Call add;
    Invoke(dispatch.Get(), u"Add", DISPATCH_METHOD, {Value(1), Value(2)}, {}, add);
    EXPECT_EQ(add.hr, S_OK);
    EXPECT_EQ(add.result.v.lVal, 3);

    ASSERT_EQ(CoDisconnectObject(server.Get(), 0), S_OK);
    Call again;
    Invoke(dispatch.Get(), u"Add", DISPATCH_METHOD, {Value(1), Value(2)}, {}, again);
    EXPECT_EQ(again.hr, RPC_E_DISCONNECTED);
    EXPECT_EQ(RevokeActiveObject(cookie, nullptr), S_OK);
}

} // namespace
