// The deliverable's diagnostic state (current method, site tag, last error text) and the method conventions.
#include "common/trace/Trace.h"

#include "common/trace/ExpectedRefusal.h"
#include "common/trace/TraceInternal.h"
#include "platform/base/format.h"
#include "platform/base/text.h"
#include "platform/com/activation.h"
#include "platform/com/errorinfo.h"
#include "platform/com/hresult.h"

#include <cstring>
#include <mutex>

namespace {

// One per deliverable: this file is compiled into each with hidden visibility. Every member under lock.
// Methods and sites are set far more often than anything reads them (a site is set before each trace line,
// and nobody may be tracing), so setting one only copies into kept buffers, and the site tag is made from
// what was set when it is first read.
struct DiagnosticState {
    std::mutex lock;
    std::u16string methodName;
    std::u16string siteMethod; // the method name when the site was set
    std::string siteFile;      // the file name of the site's path
    int siteLine = 0;
    bool siteTagMade = true; // siteTag is made from the site set last
    std::u16string siteTag;
    std::u16string lastErrorText;
    // lastErrorText was written since the last method was entered: a failure of that method may report it.
    bool lastErrorTextFresh = false;
};

DiagnosticState& State() {
    // Destroyed with the deliverable: a server library that is unloaded and loaded again leaves nothing
    // behind.
    static DiagnosticState state;
    return state;
}

std::u16string ReadState(std::u16string DiagnosticState::*member) {
    DiagnosticState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    return state.*member;
}

} // namespace

void SetTraceMethodName(const OLECHAR* name) {
    std::u16string_view text = vr::U16View(name);
    DiagnosticState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    state.methodName.assign(text); // into the kept buffer: no allocation once it has grown
    state.lastErrorTextFresh = false;
}

std::u16string TraceMethodName() {
    return ReadState(&DiagnosticState::methodName);
}

std::u16string TraceSiteTag() {
    DiagnosticState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    if (!state.siteTagMade) {
        state.siteTag =
            vrcommon::trace::FormatLimited(FORMAT_BSTR_BUFFER, u"%s: %hs (%d)", state.siteMethod.c_str(),
                                           state.siteFile.c_str(), state.siteLine);
        state.siteTagMade = true;
    }
    return state.siteTag;
}

std::u16string LastErrorText() {
    return ReadState(&DiagnosticState::lastErrorText);
}

const char* SourceFileName(const char* path) {
    if (path == nullptr) {
        return "";
    }
    const char* slash = std::strrchr(path, '/');
    if (slash == nullptr) {
        slash = std::strrchr(path, '\\');
    }
    return slash == nullptr ? path : slash + 1;
}

void SetTraceSiteAt(const char* file, int line) {
    const char* fileName = SourceFileName(file);
    DiagnosticState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    state.siteMethod.assign(state.methodName);
    state.siteFile.assign(fileName);
    state.siteLine = line;
    state.siteTagMade = false;
}

HRESULT TraceInternalErrorAt(const char* file, int line) {
    SetTraceSiteAt(file, line);
    TraceError(u"Vornic Error: A%d (%hs)", line, SourceFileName(file));
    return E_FAIL;
}

HRESULT FailWithErrorInfo(REFCLSID clsid, HRESULT hr) {
    if (SUCCEEDED(hr)) {
        return hr;
    }
    LPOLESTR progId = nullptr;
    std::u16string source;
    if (SUCCEEDED(ProgIDFromCLSID(clsid, &progId))) {
        source = vr::U16View(progId);
    }
    CoTaskMemFree(progId);
    return vr::ReportError(hr, GUID_NULL, source, vrcommon::trace::ErrorTextOfThisFailure(hr));
}

namespace vrcommon::trace {

void StoreLastErrorText(std::u16string_view text) {
    std::u16string copy = CutToBuffer(std::u16string(text), LAST_ERROR_BUFFER);
    DiagnosticState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    state.lastErrorText.swap(copy);
    state.lastErrorTextFresh = true;
}

std::u16string ErrorTextOfThisFailure(HRESULT hr) {
    {
        DiagnosticState& state = State();
        std::lock_guard<std::mutex> guard(state.lock);
        if (state.lastErrorTextFresh && !state.lastErrorText.empty()) {
            return state.lastErrorText;
        }
    }
    // A failure that traced no text of its own: what the call that failed below said, else the HRESULT's own
    // text, never an earlier failure's words.
    std::u16string text = vr::TakeErrorDescription();
    if (text.empty()) {
        text = vr::HResultMessage(hr);
    }
    while (!text.empty() && (text.back() == u'\n' || text.back() == u'\r')) {
        text.pop_back();
    }
    if (text.empty()) {
        text = vr::FormatWString(u"Error 0x%08lx.", static_cast<unsigned long>(hr));
    }
    StoreLastErrorText(text);
    return text;
}

namespace {

thread_local int t_expectedRefusals = 0; // this thread's ExpectedRefusalScope objects

} // namespace

void ReportErrorLine(std::u16string_view text) {
    if (t_expectedRefusals > 0) {
        return; // a refusal a self-test asked for
    }
    SendText(TRACE_LEVEL_ERROR, TraceSiteTag(), text);
    StoreLastErrorText(text);
}

} // namespace vrcommon::trace

ExpectedRefusalScope::ExpectedRefusalScope() {
    ++vrcommon::trace::t_expectedRefusals;
}

ExpectedRefusalScope::~ExpectedRefusalScope() {
    --vrcommon::trace::t_expectedRefusals;
}
