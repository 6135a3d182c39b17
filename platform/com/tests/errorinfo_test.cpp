// The error object, the per-thread error slot, and reporting failures into EXCEPINFO.
#include "platform/com/errorinfo.h"
#include "platform/com/tests/test_objects.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using vrtest::CountedErrorInfo;

constexpr GUID kSomeIid = vr::MakeGuid("6C1A3D2E-0B4F-4E59-9A21-3B7E8C0D1F42");

// Takes the thread's error information (null when there is none).
IErrorInfo* TakeErrorInfo() {
    IErrorInfo* info = nullptr;
    EXPECT_TRUE(SUCCEEDED(GetErrorInfo(0, &info)));
    return info;
}

std::u16string Text(IErrorInfo* info, HRESULT (IErrorInfo::*getter)(BSTR*)) {
    BSTR text = nullptr;
    EXPECT_EQ((info->*getter)(&text), S_OK);
    std::u16string copy(vr::BstrView(text));
    SysFreeString(text);
    return copy;
}

class ErrorInfoTest : public testing::Test {
protected:
    // Every test starts and ends with an empty slot on the test thread.
    void SetUp() override { ASSERT_EQ(SetErrorInfo(0, nullptr), S_OK); }
    void TearDown() override { EXPECT_EQ(SetErrorInfo(0, nullptr), S_OK); }
};

TEST_F(ErrorInfoTest, ErrorObjectKeepsWhatItWasToldUnderOneIdentity) {
    ICreateErrorInfo* create = nullptr;
    ASSERT_EQ(CreateErrorInfo(&create), S_OK);
    EXPECT_EQ(create->SetSource(const_cast<LPOLESTR>(u"Vornic.Thing.1")), S_OK);
    EXPECT_EQ(create->SetHelpFile(nullptr), S_OK); // null text is the empty string
    EXPECT_EQ(create->SetHelpContext(42), S_OK);

    IErrorInfo* info = nullptr;
    ASSERT_EQ(create->QueryInterface(&info), S_OK);
    EXPECT_EQ(Text(info, &IErrorInfo::GetSource), u"Vornic.Thing.1");
    EXPECT_EQ(Text(info, &IErrorInfo::GetHelpFile), u"");
    DWORD context = 0;
    EXPECT_EQ(info->GetHelpContext(&context), S_OK);
    EXPECT_EQ(context, 42u);
    EXPECT_EQ(info->GetSource(nullptr), E_POINTER);

    IUnknown* fromCreate = nullptr;
    IUnknown* fromInfo = nullptr;
    ASSERT_EQ(create->QueryInterface(&fromCreate), S_OK);
    ASSERT_EQ(info->QueryInterface(&fromInfo), S_OK);
    EXPECT_EQ(fromCreate, fromInfo);
    fromCreate->Release();
    fromInfo->Release();
    info->Release();
    EXPECT_EQ(create->Release(), 0u);
}

TEST_F(ErrorInfoTest, SlotHandsOverReplacesAndClearsWithBalancedReferences) {
    IErrorInfo* info = reinterpret_cast<IErrorInfo*>(1);
    EXPECT_EQ(GetErrorInfo(0, &info), S_FALSE);
    EXPECT_EQ(info, nullptr);

    std::atomic<int> destroyed{0};
    auto* first = new CountedErrorInfo(&destroyed);
    auto* second = new CountedErrorInfo(&destroyed);
    EXPECT_EQ(SetErrorInfo(1, first), E_INVALIDARG); // keeps no reference
    ASSERT_EQ(SetErrorInfo(0, first), S_OK);
    first->Release(); // the slot holds the only reference now
    ASSERT_EQ(SetErrorInfo(0, second), S_OK);
    second->Release();
    EXPECT_EQ(destroyed, 1);                  // replaced
    ASSERT_EQ(SetErrorInfo(0, second), S_OK); // setting what the slot holds keeps it alive
    EXPECT_EQ(destroyed, 1);

    ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
    EXPECT_EQ(info, second);
    EXPECT_EQ(GetErrorInfo(0, &info), S_FALSE); // handed over: the slot is empty
    second->Release();
    EXPECT_EQ(destroyed, 2);

    auto* third = new CountedErrorInfo(&destroyed);
    ASSERT_EQ(SetErrorInfo(0, third), S_OK);
    third->Release();
    ASSERT_EQ(SetErrorInfo(0, nullptr), S_OK);
    EXPECT_EQ(destroyed, 3);
}

TEST_F(ErrorInfoTest, EachThreadHasItsOwnSlot) {
    ASSERT_EQ(vr::ReportError(E_FAIL, GUID_NULL, u"main", u"from the main thread"), E_FAIL);

    std::u16string seenByOther;
    bool otherStartedEmpty = false;
    std::thread other([&] {
        IErrorInfo* info = nullptr;
        otherStartedEmpty = GetErrorInfo(0, &info) == S_FALSE;
        (void)vr::ReportError(E_FAIL, GUID_NULL, u"other", u"from the other thread");
        if (GetErrorInfo(0, &info) == S_OK) {
            seenByOther = Text(info, &IErrorInfo::GetDescription);
            info->Release();
        }
    });
    other.join();

    EXPECT_TRUE(otherStartedEmpty);
    EXPECT_EQ(seenByOther, u"from the other thread");
    IErrorInfo* mine = TakeErrorInfo();
    ASSERT_NE(mine, nullptr);
    EXPECT_EQ(Text(mine, &IErrorInfo::GetDescription), u"from the main thread");
    mine->Release();
}

TEST_F(ErrorInfoTest, AThreadThatEndsReleasesWhatItsSlotHolds) {
    std::atomic<int> destroyed{0};
    std::thread worker([&] {
        auto* object = new CountedErrorInfo(&destroyed);
        (void)SetErrorInfo(0, object);
        object->Release();
        // The platform's own error object, left behind too: the leak checker of the sanitizer build sees it.
        (void)vr::ReportError(E_FAIL, GUID_NULL, u"worker", u"left behind");
    });
    worker.join();
    EXPECT_EQ(destroyed, 1); // replaced by ReportError's object, which went at thread end

    std::thread leaver([&] {
        auto* object = new CountedErrorInfo(&destroyed);
        (void)SetErrorInfo(0, object);
        object->Release();
    });
    leaver.join();
    EXPECT_EQ(destroyed, 2);
}

TEST_F(ErrorInfoTest, AnObjectThatSetsNewInformationWhileGoingIsHandledToo) {
    std::atomic<int> destroyed{0};
    // Replacing the outer object destroys it, which sets the inner one: the slot must end up with the inner.
    auto* inner = new CountedErrorInfo(&destroyed);
    auto* outer = new CountedErrorInfo(&destroyed, inner);
    ASSERT_EQ(SetErrorInfo(0, outer), S_OK);
    outer->Release();
    ASSERT_EQ(SetErrorInfo(0, nullptr), S_OK);
    EXPECT_EQ(destroyed, 1);
    IErrorInfo* left = TakeErrorInfo();
    EXPECT_EQ(left, inner);
    left->Release();
    EXPECT_EQ(destroyed, 2);

    // The same at thread end: both objects go.
    std::thread worker([&] {
        auto* innerOfWorker = new CountedErrorInfo(&destroyed);
        auto* outerOfWorker = new CountedErrorInfo(&destroyed, innerOfWorker);
        (void)SetErrorInfo(0, outerOfWorker);
        outerOfWorker->Release();
    });
    worker.join();
    EXPECT_EQ(destroyed, 4);
}

TEST_F(ErrorInfoTest, FillExcepInfoTakesWhatReportErrorLeft) {
    // The texts come as views that need not be terminated.
    std::u16string_view source = std::u16string_view(u"Vornic.Socket.1 and more").substr(0, 15);
    EXPECT_EQ(vr::ReportError(DISP_E_TYPEMISMATCH, kSomeIid, source, u"No such command."),
              DISP_E_TYPEMISMATCH);

    EXCEPINFO excep;
    excep.wCode = 99; // whatever the caller had there is overwritten
    vr::FillExcepInfo(&excep, E_FAIL);
    EXPECT_EQ(excep.scode, E_FAIL);
    EXPECT_EQ(excep.wCode, 0);
    EXPECT_EQ(vr::BstrView(excep.bstrSource), u"Vornic.Socket.1");
    EXPECT_EQ(vr::BstrView(excep.bstrDescription), u"No such command.");
    EXPECT_EQ(vr::BstrView(excep.bstrHelpFile), u"");
    EXPECT_EQ(excep.dwHelpContext, 0u);

    IErrorInfo* info = reinterpret_cast<IErrorInfo*>(1);
    EXPECT_EQ(GetErrorInfo(0, &info), S_FALSE); // consumed
    vr::ClearExcepInfo(&excep);
    EXPECT_EQ(excep.bstrSource, nullptr);
    EXPECT_EQ(excep.scode, 0);
    vr::ClearExcepInfo(nullptr);
}

TEST_F(ErrorInfoTest, FillExcepInfoWithoutInformationUsesTheHResultsTextOrNothing) {
    EXCEPINFO excep;
    vr::FillExcepInfo(&excep, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(excep.scode, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(excep.bstrSource, nullptr);
    EXPECT_EQ(vr::BstrView(excep.bstrDescription), u"Type mismatch.");
    vr::ClearExcepInfo(&excep);

    vr::FillExcepInfo(&excep, static_cast<HRESULT>(0x80047777u)); // a code without text
    EXPECT_EQ(excep.bstrDescription, nullptr);
    vr::ClearExcepInfo(&excep);

    // Without a record the information stays for the caller's GetErrorInfo.
    (void)vr::ReportError(E_FAIL, GUID_NULL, u"src", u"kept");
    vr::FillExcepInfo(nullptr, E_FAIL);
    IErrorInfo* info = TakeErrorInfo();
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(Text(info, &IErrorInfo::GetDescription), u"kept");
    info->Release();
}

} // namespace
