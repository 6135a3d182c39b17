// CTestExecutive::Set: preparing the next test from its language, code, configuration and parameters,
// reading its code file, without the worker.
#include "TestExecutive.h"

#include "TestExecutiveShared.h"
#include "common/comtext/BstrText.h"
#include "common/options/ParamParser.h"
#include "common/trace/Trace.h"

#include "platform/base/file_read.h"
#include "platform/base/paths.h"
#include "platform/base/text.h"
#include "platform/base/win32errors.h"
#include "platform/com/comutil.h"
#include "platform/com/hresult.h"

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

HRESULT PutText(IVrTestEngine* engine, HRESULT (IVrTestEngine::*put)(BSTR), std::u16string_view text) {
    BSTR value = vrcommon::NewBstr(text);
    HRESULT hr = (engine->*put)(value);
    SysFreeString(value);
    return hr;
}

// SN (when given), TestID and an empty TestExecSession; the first failure.
HRESULT BeginTestOn(IVrTestEngine* engine, const std::u16string* sn, std::u16string_view testId) {
    if (sn) {
        if (HRESULT hr = PutText(engine, &IVrTestEngine::put_SN, *sn); FAILED(hr)) {
            return hr;
        }
    }
    if (HRESULT hr = PutText(engine, &IVrTestEngine::put_TestID, testId); FAILED(hr)) {
        return hr;
    }
    return PutText(engine, &IVrTestEngine::put_TestExecSession, u"");
}

// Ends an interruption of the engine: the script it was meant for has ended.
HRESULT EndInterruption(IVrTestEngine* engine) {
    VARIANT words;
    VariantInit(&words);
    words.vt = VT_BSTR;
    words.bstrVal = vrcommon::NewBstr(u"continue");
    HRESULT hr = engine->Stop(words);
    (void)VariantClear(&words); // a BSTR: clearing it cannot fail
    return hr;
}

// The description of the error information a failed call left on this thread (which it consumes), else the
// HRESULT's text.
std::u16string FailureDescription(HRESULT hr) {
    _com_error failure = vrcommon::ComErrorOf(hr);
    _bstr_t description = failure.Description();
    return description.length() ? std::u16string(vr::BstrView(description.GetBSTR()))
                                : std::u16string(vr::HResultMessage(hr));
}

} // namespace

HRESULT ClaimTestSession(IVrTestEngine* engine, std::u16string* error) {
    BSTR session = nullptr;
    HRESULT hr = engine->get_TestExecSession(&session);
    bool held = SUCCEEDED(hr) && SysStringLen(session) > 0;
    SysFreeString(session);
    if (SUCCEEDED(hr) && !held) {
        hr = engine->SetNextTestExecSession();
    }
    if (FAILED(hr) && error) {
        *error = FailureDescription(hr);
    }
    return hr;
}

HRESULT CTestExecutive::Set(BSTR language, BSTR code, BSTR config, BSTR parameters) {
    return Set(language, code, config, parameters, nullptr);
}

HRESULT CTestExecutive::Set(BSTR language, BSTR code, BSTR config, BSTR parameters,
                            const std::function<void(IVrTestEngine*)>& first) {
    SetTraceMethodName(u"CTestExecutive::Set()");
    if (State.load(std::memory_order_acquire) == kPosted) {
        // The pending request's caller waits for its end and reads its result: both stay its own.
        SetTraceSite();
        TraceError(u"A test was set while a request is still running; it is refused.");
        for (BSTR text : {language, code, config, parameters}) {
            SysFreeString(text);
        }
        return HRESULT_FROM_WIN32(ERROR_BUSY);
    }
    ReplaceBstr(&Language, vr::BstrView(language));
    ReplaceBstr(&Code, vr::BstrView(code));
    ReplaceBstr(&Config, vr::BstrView(config));
    ReplaceBstr(&CodeFile, ParamValue(parameters, u"file"));
    HRESULT prepared = PrepareEngine(parameters, first);
    SysFreeString(language);
    SysFreeString(code);
    SysFreeString(config);
    SysFreeString(parameters);
    if (FAILED(prepared)) {
        return prepared;
    }

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
// execution session to be found. The calls run on the worker's thread in one round trip, after the calls
// given first, done when Set returns. A test the engine cannot be given fails as Set fails, with the engine's
// reason: its rows would otherwise carry the test before's identity.
HRESULT CTestExecutive::PrepareEngine(BSTR parameters, const std::function<void(IVrTestEngine*)>& first) {
    if (!EngineProxy) {
        return S_OK; // the load request that follows fails with the reason the worker could not start
    }
    std::u16string sn = ParamValue(parameters, u"sn");
    std::u16string name = ParamValue(parameters, u"name");
    if (name.empty()) {
        name =
            vr::FromUtf8(std::filesystem::path(vr::MapWindowsPath(vr::BstrToUtf8(CodeFile))).stem().string());
    }
    std::u16string error;
    HRESULT hr = CallOnEngineFor(
        [&](IVrTestEngine* engine) {
            // An interruption the last test left must not fail this test's calls.
            HRESULT ended = EndInterruption(engine);
            if (first) {
                first(engine);
            }
            return FAILED(ended) ? ended : BeginTestOn(engine, sn.empty() ? nullptr : &sn, name);
        },
        &error);
    if (FAILED(hr)) {
        ReplaceBstr(&ErrorText, u"The test '" + name + u"' couldn't be prepared: " + error);
        SetTraceSite();
        TraceHResultError(hr, u"%s", ErrorText ? ErrorText : u"");
        RequestHResult = hr;
        State.store(kDone, std::memory_order_release);
    }
    return hr;
}

HRESULT CTestExecutive::BeginTest(const std::u16string* sn, std::u16string_view testId,
                                  std::u16string* error) {
    return CallOnEngineFor(
        [&](IVrTestEngine* engine) {
            HRESULT ended = EndInterruption(engine);
            return FAILED(ended) ? ended : BeginTestOn(engine, sn, testId);
        },
        error);
}

HRESULT CTestExecutive::StoreVerdictRow(std::u16string_view value, std::u16string_view description,
                                        LONG status, std::u16string* error) {
    return CallOnEngineFor(
        [&](IVrTestEngine* engine) {
            if (HRESULT hr = EndInterruption(engine); FAILED(hr)) {
                return hr;
            }
            if (HRESULT hr = ClaimTestSession(engine); FAILED(hr)) {
                return hr;
            }
            VARIANT valueText;
            VariantInit(&valueText);
            valueText.vt = VT_BSTR;
            valueText.bstrVal = vrcommon::NewBstr(value);
            VARIANT descriptionText;
            VariantInit(&descriptionText);
            descriptionText.vt = VT_BSTR;
            descriptionText.bstrVal = vrcommon::NewBstr(description);
            VARIANT statusNumber;
            VariantInit(&statusNumber);
            statusNumber.vt = VT_I4;
            statusNumber.lVal = status;
            VARIANT missing;
            VariantInit(&missing);
            missing.vt = VT_ERROR;
            missing.scode = DISP_E_PARAMNOTFOUND;
            BSTR noId = vrcommon::NewBstr(u"");
            HRESULT hr = engine->SaveResult(valueText, noId, descriptionText, statusNumber, missing);
            SysFreeString(noId);
            (void)VariantClear(&valueText);       // a BSTR: clearing it cannot fail
            (void)VariantClear(&descriptionText); // as above
            return hr;
        },
        error);
}

// The work's failure with the description of the error information it left (the HRESULT's text without).
HRESULT CTestExecutive::CallOnEngineFor(const std::function<HRESULT(IVrTestEngine*)>& work,
                                        std::u16string* error) {
    HRESULT hr = CallOnEngine(work);
    if (FAILED(hr) && error) {
        *error = FailureDescription(hr);
    }
    return hr;
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
