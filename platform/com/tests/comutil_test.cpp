// The COM exception, the functions that raise it, and the shared BSTR.
#include "platform/base/text.h"
#include "platform/com/comutil.h"
#include "platform/com/tests/test_objects.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using vrtest::SupportErrorObject;

constexpr GUID kSomeIid = vr::MakeGuid("0D7E6F51-92B3-4C8A-8E17-5A4C3B2A1908");
constexpr GUID kOtherIid = vr::MakeGuid("0D7E6F51-92B3-4C8A-8E17-5A4C3B2A1909");

// Error information as a failing method leaves it, taken off the thread.
IErrorInfo* MakeErrorInfo(const char16_t* source, const char16_t* description) {
    (void)vr::ReportError(E_FAIL, kSomeIid, source, description);
    IErrorInfo* info = nullptr;
    EXPECT_EQ(GetErrorInfo(0, &info), S_OK);
    return info;
}

// Runs body, which must throw _com_error, and returns the exception.
template <class Body>
_com_error Caught(Body body) {
    try {
        body();
    } catch (const _com_error& error) {
        return error;
    }
    ADD_FAILURE() << "no _com_error was thrown";
    return _com_error(S_OK);
}

// ---- _com_error ----

TEST(ComError, WithoutInformationGivesTheHResultAndItsSystemText) {
    _com_error error(E_FAIL);
    EXPECT_EQ(error.Error(), E_FAIL);
    EXPECT_STREQ(error.ErrorMessage(), "Unspecified error");
    EXPECT_EQ(error.ErrorInfo(), nullptr);
    EXPECT_EQ(error.Description().length(), 0u);
    EXPECT_EQ(error.Source().length(), 0u);
    EXPECT_EQ(error.HelpFile().length(), 0u);
    EXPECT_EQ(error.HelpContext(), 0u);
    EXPECT_EQ(error.GUID(), GUID_NULL);

    EXPECT_STREQ(_com_error(static_cast<HRESULT>(0x80041234u)).ErrorMessage(), "Unknown error 0x80041234");
    // A system error code keeps the system's own text, line break included.
    std::string win32 = _com_error(HRESULT_FROM_WIN32(2)).ErrorMessage();
    EXPECT_EQ(win32, vr::ToUtf8(vr::HResultMessage(HRESULT_FROM_WIN32(2))));
}

TEST(ComError, ReadsItsErrorInformationAndKeepsItAcrossCopies) {
    IErrorInfo* info = MakeErrorInfo(u"Vornic.Log.1", u"Cannot open the log file.");
    ASSERT_NE(info, nullptr);
    auto* original = new _com_error(DISP_E_EXCEPTION, info);
    info->Release(); // the exception holds its own reference

    _com_error copy(*original);
    _com_error assigned(E_FAIL);
    assigned = *original;
    delete original;

    for (const _com_error* error : {&copy, &assigned}) {
        EXPECT_EQ(error->Error(), DISP_E_EXCEPTION);
        EXPECT_EQ(error->Description(), u"Cannot open the log file.");
        EXPECT_EQ(error->Source(), u"Vornic.Log.1");
        EXPECT_EQ(error->HelpFile().length(), 0u);
        EXPECT_EQ(error->GUID(), kSomeIid);
        EXPECT_STREQ(error->ErrorMessage(), vr::ToUtf8(vr::HResultMessage(DISP_E_EXCEPTION)).c_str());
    }
    IErrorInfo* handed = copy.ErrorInfo();
    ASSERT_NE(handed, nullptr);
    handed->Release(); // a new reference: releasing it leaves the exception's own intact
    EXPECT_EQ(copy.Description(), u"Cannot open the log file.");

    assigned = static_cast<const _com_error&>(assigned);
    EXPECT_EQ(assigned.Source(), u"Vornic.Log.1");
}

TEST(ComError, IssueErrorThrowsWithoutInformationEvenWhenTheThreadHasSome) {
    (void)vr::ReportError(E_FAIL, GUID_NULL, u"src", u"stays on the thread");
    _com_error error = Caught([] { _com_issue_error(E_OUTOFMEMORY); });
    EXPECT_EQ(error.Error(), E_OUTOFMEMORY);
    EXPECT_EQ(error.ErrorInfo(), nullptr);
    IErrorInfo* info = nullptr;
    EXPECT_EQ(GetErrorInfo(0, &info), S_OK);
    info->Release();
}

TEST(ComError, IssueErrorExTakesTheInformationOnlyFromAnInterfaceThatSetsIt) {
    SupportErrorObject supporting(true, kSomeIid);
    (void)vr::ReportError(E_FAIL, kSomeIid, u"Vornic.Thing.1", u"Thing failed.");
    _com_error taken = Caught([&] { _com_issue_errorex(E_FAIL, &supporting, kSomeIid); });
    EXPECT_EQ(taken.Description(), u"Thing failed.");
    IErrorInfo* left = nullptr;
    EXPECT_EQ(GetErrorInfo(0, &left), S_FALSE); // consumed by the exception

    // Another interface of the same object, an object without ISupportErrorInfo, and no object at all: the
    // information on the thread belongs to someone else and stays there.
    SupportErrorObject silent(false, kSomeIid);
    (void)vr::ReportError(E_FAIL, GUID_NULL, u"someone", u"else");
    EXPECT_EQ(Caught([&] { _com_issue_errorex(E_FAIL, &supporting, kOtherIid); }).ErrorInfo(), nullptr);
    EXPECT_EQ(Caught([&] { _com_issue_errorex(E_FAIL, &silent, kSomeIid); }).ErrorInfo(), nullptr);
    EXPECT_EQ(Caught([&] { _com_issue_errorex(E_FAIL, nullptr, kSomeIid); }).ErrorInfo(), nullptr);
    EXPECT_EQ(GetErrorInfo(0, &left), S_OK);
    left->Release();

    EXPECT_EQ(supporting.References(), 0u);
    EXPECT_EQ(silent.References(), 0u);
}

// ---- _bstr_t ----

TEST(BstrT, NullAndEmptyAreBothEmptyButOnlyOneIsNull) {
    _bstr_t none;
    _bstr_t fromNull(static_cast<const OLECHAR*>(nullptr));
    _bstr_t fromNullUtf8(static_cast<const char*>(nullptr));
    _bstr_t empty(u"");
    EXPECT_EQ(static_cast<const OLECHAR*>(none), nullptr);
    EXPECT_EQ(static_cast<const OLECHAR*>(fromNull), nullptr);
    EXPECT_EQ(static_cast<const OLECHAR*>(fromNullUtf8), nullptr);
    EXPECT_NE(static_cast<const OLECHAR*>(empty), nullptr);
    EXPECT_EQ(none, empty);
    EXPECT_TRUE(!none);
    EXPECT_TRUE(!empty);
    EXPECT_FALSE(!_bstr_t(u"x"));
    EXPECT_EQ(none.length(), 0u);
    EXPECT_EQ(none.copy(), nullptr);
    EXPECT_EQ(none.utf8(), "");
    EXPECT_EQ(none.Detach(), nullptr);
}

TEST(BstrT, ConvertsUtf8BothWays) {
    _bstr_t text("Ohm \xCE\xA9, clef \xF0\x9D\x84\x9E");
    EXPECT_EQ(text.length(), 14u); // the clef takes two UTF-16 units
    EXPECT_EQ(text, u"Ohm \u03A9, clef \U0001D11E");
    EXPECT_EQ(text.utf8(), "Ohm \xCE\xA9, clef \xF0\x9D\x84\x9E");
}

TEST(BstrT, CopiesShareOneStringThatOutlivesTheFirstHolder) {
    auto* first = new _bstr_t(u"shared");
    _bstr_t second(*first);
    _bstr_t third;
    third = second;
    EXPECT_EQ(static_cast<const OLECHAR*>(third), static_cast<const OLECHAR*>(*first));
    delete first;
    EXPECT_EQ(third, u"shared");
    third = third;
    EXPECT_EQ(third, u"shared");

    BSTR mine = third.copy(); // an independent string, freed by its caller
    EXPECT_NE(mine, static_cast<const OLECHAR*>(third));
    EXPECT_EQ(vr::BstrView(mine), u"shared");
    SysFreeString(mine);
}

TEST(BstrT, OwnershipMovesInAndOutWithoutRobbingOtherHolders) {
    _bstr_t text(SysAllocString(u"owned"), false);
    text.Attach(SysAllocString(u"next")); // frees "owned"
    const OLECHAR* inside = text;
    BSTR detached = text.Detach();
    EXPECT_EQ(detached, inside); // the only holder hands over its own string
    EXPECT_EQ(static_cast<const OLECHAR*>(text), nullptr);
    SysFreeString(detached);

    _bstr_t one(u"shared");
    _bstr_t other(one);
    BSTR copy = one.Detach();
    EXPECT_NE(copy, static_cast<const OLECHAR*>(other));
    EXPECT_EQ(vr::BstrView(copy), u"shared");
    EXPECT_EQ(other, u"shared");
    SysFreeString(copy);

    // An out-argument slot and an in-place edit leave the other holder's text alone.
    _bstr_t keeper(other);
    BSTR* slot = other.GetAddress();
    EXPECT_EQ(*slot, nullptr);
    *slot = SysAllocString(u"from the callee");
    EXPECT_EQ(other, u"from the callee");
    _bstr_t sharing(keeper);
    keeper.GetBSTR()[0] = u'X';
    EXPECT_EQ(keeper, u"Xhared");
    EXPECT_EQ(sharing, u"shared");
}

TEST(BstrT, JoinsAndCompares) {
    _bstr_t a(u"ab");
    _bstr_t none;
    EXPECT_EQ(a + u"cd", u"abcd");
    EXPECT_EQ(_bstr_t(u"x") + a, u"xab");
    EXPECT_EQ(none + none, none);
    EXPECT_EQ(static_cast<const OLECHAR*>(none + none), nullptr);
    EXPECT_EQ(none + a, u"ab");

    _bstr_t shared(a);
    a += u"c";
    a += none;
    EXPECT_EQ(a, u"abc");
    EXPECT_EQ(shared, u"ab"); // the other holder keeps its text
    a += a;
    EXPECT_EQ(a, u"abcabc");

    EXPECT_TRUE(_bstr_t(u"abc") < _bstr_t(u"abd"));
    EXPECT_TRUE(_bstr_t(u"ab") < u"abc");
    EXPECT_TRUE(none < u"a");
    EXPECT_FALSE(_bstr_t(u"b") < u"a");
    EXPECT_TRUE(_bstr_t(u"a") != u"A"); // case counts
    EXPECT_TRUE(none == static_cast<const OLECHAR*>(nullptr));
    EXPECT_TRUE(_bstr_t("abc") == _bstr_t(u"abc"));
}

} // namespace
