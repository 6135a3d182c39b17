// CTestExecutive::Set: preparing the next test from its language, code, configuration and parameters,
// reading its code file, without the worker.
#include "TestExecutive.h"

#include "BstrText.h"
#include "ParamParser.h"
#include "TestExecutiveShared.h"
#include "Trace.h"

#include "platform/base/file_read.h"
#include "platform/base/paths.h"
#include "platform/base/text.h"

#include <filesystem>
#include <functional>
#include <sys/stat.h>

using vrcommon::ReplaceBstr;

namespace {

// Source lines the trace sites of Set's failures name.
constexpr int kNoLanguageLine = 397;
constexpr int kUnknownLanguageLine = 409;
constexpr int kCodeFileLine = 433;
constexpr int kNothingLine = 451;

// The value of an option item, empty when the item is absent.
std::u16string ParamValue(BSTR parameters, const OLECHAR* name) {
    BSTR value = nullptr;
    std::u16string text;
    if (GetParam(nullptr, &value, parameters, name)) {
        text = vr::BstrView(value);
    }
    SysFreeString(value);
    return text;
}

void PutText(IVrTestEngine* engine, HRESULT (IVrTestEngine::*put)(BSTR), std::u16string_view text) {
    BSTR value = vrcommon::NewBstr(text);
    (void)(engine->*put)(value);
    SysFreeString(value);
}

} // namespace

HRESULT CTestExecutive::Set(BSTR language, BSTR code, BSTR config, BSTR parameters) {
    return Set(language, code, config, parameters, nullptr);
}

HRESULT CTestExecutive::Set(BSTR language, BSTR code, BSTR config, BSTR parameters,
                            const std::function<void(IVrTestEngine*)>& first) {
    SetTraceMethodName(u"CTestExecutive::Set()");
    ReplaceBstr(&Language, vr::BstrView(language));
    ReplaceBstr(&Code, vr::BstrView(code));
    ReplaceBstr(&Config, vr::BstrView(config));
    ReplaceBstr(&CodeFile, ParamValue(parameters, u"file"));
    PrepareEngine(parameters, first);
    SysFreeString(language);
    SysFreeString(code);
    SysFreeString(config);
    SysFreeString(parameters);

    if (!IsKnownLanguage()) {
        if (vr::EqualsNoCase(vr::BstrView(Language), u"ControlPanel")) {
            FinishAtOnce(S_OK, u"");
            return S_OK;
        }
        if (SysStringLen(Language) == 0) {
            return FailSet(kNoLanguageLine, FormatBstr(u"Executing Language is not provided."));
        }
        return FailSet(kUnknownLanguageLine, FormatBstr(u"'%s' is unrecognized Language.", Language));
    }
    if (SysStringLen(CodeFile) > 0) {
        if (HRESULT hr = ReadCodeFile(); FAILED(hr)) {
            return hr;
        }
    } else if (SysStringLen(Code) == 0 && SysStringLen(Config) == 0) {
        return FailSet(
            kNothingLine,
            FormatBstr(u"Nothing to execute: Code file and Script/Code and Config are not provided."));
    }
    FinishAtOnce(S_OK, u"");
    return S_OK;
}

// The engine's identity of the test: SN when given, the test's name or else its code file's name, and a new
// execution session to be found. The puts run on the worker's thread in one round trip, after the calls
// given first, done when Set returns.
void CTestExecutive::PrepareEngine(BSTR parameters, const std::function<void(IVrTestEngine*)>& first) {
    if (!EngineProxy) {
        return;
    }
    std::u16string sn = ParamValue(parameters, u"sn");
    std::u16string name = ParamValue(parameters, u"name");
    if (name.empty()) {
        name =
            vr::FromUtf8(std::filesystem::path(vr::MapWindowsPath(vr::BstrToUtf8(CodeFile))).stem().string());
    }
    // A put the engine refuses leaves its property as it was; the test is set all the same, and a worker
    // that has ended fails the requests that follow.
    (void)CallOnEngine([&sn, &name, &first](IVrTestEngine* engine) {
        if (first) {
            first(engine);
        }
        if (!sn.empty()) {
            PutText(engine, &IVrTestEngine::put_SN, sn);
        }
        PutText(engine, &IVrTestEngine::put_TestID, name);
        PutText(engine, &IVrTestEngine::put_TestExecSession, u"");
        return S_OK;
    });
}

bool CTestExecutive::IsKnownLanguage() const {
    if (!Languages || SafeArrayGetDim(Languages) != 1) {
        return false;
    }
    LONG lower = 0;
    LONG upper = -1;
    (void)SafeArrayGetLBound(Languages, 1, &lower);
    (void)SafeArrayGetUBound(Languages, 1, &upper);
    for (LONG i = lower; i <= upper; ++i) {
        VARIANT element;
        VariantInit(&element);
        bool match = SUCCEEDED(SafeArrayGetElement(Languages, &i, &element)) && element.vt == VT_BSTR &&
                     vr::EqualsNoCase(vr::BstrView(element.bstrVal), vr::BstrView(Language));
        (void)VariantClear(&element);
        if (match) {
            return true;
        }
    }
    return false;
}

// The whole file is decoded at once, so a character whose bytes straddle any boundary stays whole. Only a
// regular file within the input limit is read: a FIFO or a device would block the worker or never end.
HRESULT CTestExecutive::ReadCodeFile() {
    std::string path = vr::MapWindowsPath(vr::BstrToUtf8(CodeFile));
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        return FailSet(kCodeFileLine, FormatBstr(u"Couldn't find code file '%s'.", CodeFile));
    }
    std::string bytes;
    if (vr::FileReadResult read = vr::ReadInputFile(path, &bytes); !read) {
        std::u16string message = u"Couldn't open code file '" + std::u16string(vr::BstrView(CodeFile)) +
                                 u"'. " + vr::FromUtf8(read.reason);
        return FailSet(kCodeFileLine, vr::AllocBstr(message));
    }
    ReplaceBstr(&Code, vr::FromUtf8(bytes));
    return S_OK;
}

// Takes the message.
HRESULT CTestExecutive::FailSet(int line, BSTR message) {
    ReplaceBstr(&ErrorText, vr::BstrView(message));
    SetTraceSiteAt("TestExecutive", line);
    TraceError(u"%s", message ? message : u"");
    SysFreeString(message);
    RequestHResult = E_FAIL;
    State.store(kDone, std::memory_order_release);
    return E_FAIL;
}
