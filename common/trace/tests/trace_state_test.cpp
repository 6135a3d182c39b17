// The deliverable's diagnostic state: site tags, rich error information of failing methods, exception
// reports, and the state's consistency when several threads write and read it at once.
#include "common/trace/Trace.h"
#include "common/trace/tests/trace_sink.h"
#include "tests/support/com_holders.h"

#include "platform/com/activation.h"
#include "platform/com/comutil.h"
#include "platform/com/errorinfo.h"
#include "platform/registry/registry.h"
#include "platform/xml/dom.h"

#include <gtest/gtest.h>
#include <thread>

namespace {

using vrtest::Bstr;
using vrtest::U8;

std::string TagFor(const char* method, const char* file, int line) {
    SetTraceMethodName(vr::FromUtf8(method).c_str());
    SetTraceSiteAt(file, line);
    return U8(TraceSiteTag());
}

TEST(TraceState, SiteTagTakesTheFileNameOfThePath) {
    EXPECT_EQ(TagFor("CA::M()", "/home/build/common/Trace.cpp", 12), "CA::M(): Trace.cpp (12)");
    EXPECT_EQ(TagFor("CA::M()", "C:\\src\\common\\Trace.cpp", 7), "CA::M(): Trace.cpp (7)");
    EXPECT_EQ(TagFor("CA::M()", "Trace.cpp", 1), "CA::M(): Trace.cpp (1)");
    EXPECT_EQ(TagFor("CA::M()", "dir/sub\\x.cpp", 3), "CA::M(): sub\\x.cpp (3)") << "a '/' wins over a '\\'";
    EXPECT_EQ(TagFor("CA::M()", "dir/", 3), "CA::M():  (3)");
    EXPECT_EQ(TagFor("", "a.cpp", -1), ": a.cpp (-1)");
    EXPECT_EQ(TagFor("CA::M()", nullptr, 0), "CA::M():  (0)");
}

TEST(TraceState, SiteTagTakesTheMethodNameOfItsTime) {
    SetTraceMethodName(u"CFirst::One()");
    SetTraceSite();
    std::string first = U8(TraceSiteTag());
    SetTraceMethodName(u"CSecond::Two()");
    EXPECT_EQ(U8(TraceSiteTag()), first) << "the tag is made when the site is set";
    EXPECT_EQ(U8(TraceMethodName()), "CSecond::Two()");
    EXPECT_EQ(first.rfind("CFirst::One(): trace_state_test.cpp (", 0), 0u);
}

TEST(TraceState, LongMethodNamesAreCutInTheTag) {
    std::u16string name(12000, u'N');
    SetTraceMethodName(name.c_str());
    SetTraceSiteAt("f.cpp", 1);
    std::u16string tag = TraceSiteTag();
    EXPECT_EQ(tag.size(), FORMAT_BSTR_BUFFER - 1);
    EXPECT_EQ(tag.substr(tag.size() - 3), u"...");
    EXPECT_EQ(TraceMethodName(), name) << "the name itself is kept whole";
}

// A test class registered with a ProgID in this run's private registry.
constexpr CLSID kTestClsid = vr::MakeGuid("5E1D6A52-3C1B-4F0E-9B7A-2D4C6E8F0A13");

bool RegisterTestProgId() {
    HKEY key = nullptr;
    if (RegCreateKeyEx(HKEY_CLASSES_ROOT, u"CLSID\\{5E1D6A52-3C1B-4F0E-9B7A-2D4C6E8F0A13}\\ProgID", 0,
                       nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const std::u16string progId = u"Vornic.TraceTest.1";
    LONG status = RegSetValueEx(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(progId.c_str()),
                                static_cast<DWORD>((progId.size() + 1) * sizeof(OLECHAR)));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

TEST(TraceState, FailingMethodsLeaveRichErrorInformation) {
    ASSERT_TRUE(RegisterTestProgId());
    SetTraceMethodName(u"CTraceTest::Run()");
    SetTraceSite();
    TraceError(u"The '%s' Connection failed.", u"ASRL1::INSTR");
    EXPECT_EQ(FailWithErrorInfo(kTestClsid, DISP_E_TYPEMISMATCH), DISP_E_TYPEMISMATCH);

    vr::ComPtr<IErrorInfo> info;
    ASSERT_EQ(GetErrorInfo(0, info.Put()), S_OK);
    GUID guid = kTestClsid;
    EXPECT_EQ(info->GetGUID(&guid), S_OK);
    EXPECT_EQ(guid, GUID_NULL);
    Bstr source, description, helpFile;
    EXPECT_EQ(info->GetSource(source.ptr()), S_OK);
    EXPECT_EQ(source.utf8(), "Vornic.TraceTest.1");
    EXPECT_EQ(info->GetDescription(description.ptr()), S_OK);
    EXPECT_EQ(description.utf8(), "The 'ASRL1::INSTR' Connection failed.");
    EXPECT_EQ(info->GetHelpFile(helpFile.ptr()), S_OK);
    EXPECT_EQ(helpFile.utf8(), "");
    DWORD context = 7;
    EXPECT_EQ(info->GetHelpContext(&context), S_OK);
    EXPECT_EQ(context, 0u);
}

TEST(TraceState, SucceedingMethodsLeaveTheErrorInformationAlone) {
    EXPECT_EQ(SetErrorInfo(0, nullptr), S_OK);
    EXPECT_EQ(FailWithErrorInfo(kTestClsid, S_FALSE), S_FALSE);
    vr::ComPtr<IErrorInfo> info;
    EXPECT_EQ(GetErrorInfo(0, info.Put()), S_FALSE);
    EXPECT_FALSE(info);
}

TEST(TraceState, UnregisteredClassesGiveAnEmptySource) {
    SetTraceSite();
    TraceError(u"boom");
    constexpr CLSID unknown = vr::MakeGuid("00000000-1111-2222-3333-444444444444");
    EXPECT_EQ(FailWithErrorInfo(unknown, E_FAIL), E_FAIL);
    vr::ComPtr<IErrorInfo> info;
    ASSERT_EQ(GetErrorInfo(0, info.Put()), S_OK);
    Bstr source, description;
    EXPECT_EQ(info->GetSource(source.ptr()), S_OK);
    EXPECT_EQ(source.utf8(), "");
    EXPECT_EQ(info->GetDescription(description.ptr()), S_OK);
    EXPECT_EQ(description.utf8(), "boom");
}

TEST(TraceState, ComExceptionReport) {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    {
        auto sink = commontest::TraceSinkObject::Create();
        commontest::TracerRegistration registration(sink.Get());
        ASSERT_TRUE(registration.Registered());

        vr::ComPtr<ICreateErrorInfo> create;
        ASSERT_EQ(CreateErrorInfo(create.Put()), S_OK);
        ASSERT_EQ(create->SetDescription(const_cast<LPOLESTR>(u"Bad 50% value")), S_OK);
        ASSERT_EQ(create->SetSource(const_cast<LPOLESTR>(u"Vornic.Socket.1")), S_OK);
        ASSERT_EQ(create->SetHelpFile(const_cast<LPOLESTR>(u"help.chm")), S_OK);
        vr::ComPtr<IErrorInfo> info;
        ASSERT_EQ(create.As(&info), S_OK);
        _com_error error(E_INVALIDARG, info.Get());
        DumpComError(error);

        std::string expected =
            "-- Exception Error --\nError = 80070057\nErrorMessage = " + std::string(error.ErrorMessage()) +
            "\nDescription = Bad 50% value\nSource = Vornic.Socket.1\nHelpFile = help.chm\n";
        EXPECT_EQ(U8(LastErrorText()), expected);
        std::vector<commontest::SinkCall> calls = sink->Calls();
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(U8(calls[0].first), "<UnknownSenderID>");
        EXPECT_EQ(calls[0].level, TRACE_LEVEL_ERROR);
        EXPECT_EQ(U8(calls[0].text), expected);

        DumpComError(_com_error(E_FAIL));
        EXPECT_EQ(U8(LastErrorText()), "-- Exception Error --\nError = 80004005\nErrorMessage = " +
                                           std::string(_com_error(E_FAIL).ErrorMessage()) +
                                           "\nDescription = \nSource = \nHelpFile = \n");
    }
    CoUninitialize();
}

TEST(TraceState, LongReportsAreCutInTheLastErrorText) {
    std::u16string description(8000, u'd');
    vr::ComPtr<ICreateErrorInfo> create;
    ASSERT_EQ(CreateErrorInfo(create.Put()), S_OK);
    ASSERT_EQ(create->SetDescription(description.data()), S_OK);
    vr::ComPtr<IErrorInfo> info;
    ASSERT_EQ(create.As(&info), S_OK);
    DumpComError(_com_error(E_FAIL, info.Get()));
    std::u16string last = LastErrorText();
    EXPECT_EQ(last.size(), LAST_ERROR_BUFFER - 1);
    EXPECT_EQ(last.substr(last.size() - 3), u"...");
}

TEST(TraceState, ParseErrorReport) {
    vr::xml::ParseError error;
    error.errorCode = static_cast<HRESULT>(0xC00CE504u);
    error.url = u"/data/50%.daf";
    error.reason = u"A name contained an invalid character.\r\n";
    error.srcText = u"<a b=%s>";
    error.line = 3;
    error.linepos = 12;
    error.filepos = 40;
    DumpParseError(error);
    EXPECT_EQ(U8(LastErrorText()),
              "-- Parse Error --\nerrorCode = 0xc00ce504\nline = 3; linepos = 12; filepos = 40\n"
              "reason: A name contained an invalid character.\r\n\nurl: /data/50%.daf\n"
              "srcText: <a b=%s>\n");
}

// Writers replace the values whole; readers must only ever see one writer's complete value.
TEST(TraceState, ConcurrentWritersAndReadersNeverSeeTornTexts) {
    constexpr int kWriters = 4;
    constexpr int kRounds = 2000;
    std::atomic<bool> torn{false};
    SetTraceMethodName(u"CW0::Run()");
    SetTraceSiteAt("w0.cpp", 0);
    auto wellFormedTag = [](const std::u16string& tag) {
        // "CW<a>::Run(): w<b>.cpp (<b>)": the name of whichever method was current when the site of
        // writer b was set, or empty before the first site.
        if (tag.empty()) {
            return true;
        }
        if (tag.size() < 3) {
            return false;
        }
        char16_t a = tag[2];
        size_t file = tag.find(u": w");
        if (file == std::u16string::npos || file + 3 >= tag.size()) {
            return false;
        }
        char16_t b = tag[file + 3];
        return tag == std::u16string(u"CW") + a + u"::Run(): w" + b + u".cpp (" + b + u")";
    };
    auto wellFormedError = [](const std::u16string& text) {
        // One writer's text: a single character repeated, as long as that writer makes it.
        if (text.empty()) {
            return true;
        }
        size_t expected = 300 + 50 * static_cast<size_t>(text[0] - u'0');
        return text.size() == expected && text.find_first_not_of(text[0]) == std::u16string::npos;
    };
    std::vector<std::thread> threads;
    for (int w = 0; w < kWriters; ++w) {
        threads.emplace_back([w, &torn, &wellFormedError] {
            char16_t k = static_cast<char16_t>(u'0' + w);
            std::u16string method = std::u16string(u"CW") + k + u"::Run()";
            std::u16string error(300 + 50 * w, k);
            for (int round = 0; round < kRounds; ++round) {
                SetTraceMethodName(method.c_str());
                TraceError(u"%s", error.c_str());
                if (!wellFormedError(LastErrorText())) {
                    torn = true;
                }
            }
        });
    }
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        while (!stop) {
            if (!wellFormedTag(TraceSiteTag())) {
                torn = true;
            }
        }
    });
    std::vector<std::thread> taggers;
    for (int w = 0; w < kWriters; ++w) {
        taggers.emplace_back([w] {
            char16_t k = static_cast<char16_t>(u'0' + w);
            std::u16string method = std::u16string(u"CW") + k + u"::Run()";
            std::string file = "w" + std::to_string(w) + ".cpp";
            for (int round = 0; round < kRounds; ++round) {
                SetTraceMethodName(method.c_str());
                SetTraceSiteAt(file.c_str(), w);
            }
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    for (auto& t : taggers) {
        t.join();
    }
    stop = true;
    reader.join();
    EXPECT_FALSE(torn);
}

} // namespace
