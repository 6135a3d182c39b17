// TracePrinter: receiving the tracer calls of the system's modules and writing them as text lines.
#include "TracePrinter.h"

#include "common/trace/Trace.h"
#include "platform/base/text.h"

namespace vrtrace {

namespace {

// The names of the levels the system sends; other levels are shown by number.
std::string LevelName(int level) {
    switch (level) {
    case TRACE_LEVEL_INFO:
        return "info";
    case TRACE_LEVEL_ERROR:
        return "error";
    case TRACE_LEVEL_TRAFFIC:
        return "traffic";
    default:
        return "level " + std::to_string(level);
    }
}

// A line ends with exactly one line feed, whether or not its text brought one (error dumps do).
std::string Terminated(std::string line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.pop_back();
    }
    return line + '\n';
}

// The argument at position index in call order (DISPPARAMS holds them last first), by reference or not.
const VARIANT* Argument(const DISPPARAMS& params, UINT index) {
    const VARIANT* arg = &params.rgvarg[params.cArgs - 1 - index];
    return arg->vt == (VT_VARIANT | VT_BYREF) && arg->pvarVal ? arg->pvarVal : arg;
}

HRESULT TextArgument(const DISPPARAMS& params, UINT index, std::u16string* text) {
    const VARIANT* arg = Argument(params, index);
    if (arg->vt != VT_BSTR) {
        return DISP_E_TYPEMISMATCH;
    }
    *text = std::u16string(vr::BstrView(arg->bstrVal));
    return S_OK;
}

HRESULT NumberArgument(const DISPPARAMS& params, UINT index, long* number) {
    VARIANT converted;
    VariantInit(&converted);
    if (FAILED(VariantChangeType(&converted, Argument(params, index), 0, VT_I4))) {
        return DISP_E_TYPEMISMATCH;
    }
    *number = converted.lVal;
    return S_OK;
}

} // namespace

std::string FormatTextLine(int level, std::u16string_view source, std::u16string_view text) {
    std::string line = "[" + LevelName(level) + "] ";
    if (!source.empty()) { // instrument traffic comes without a source
        line += vr::ToUtf8(source) + ": ";
    }
    return Terminated(line + vr::ToUtf8(text));
}

std::string FormatCallLine(std::u16string_view name, std::u16string_view detail, long delta) {
    std::string line =
        "[call " + std::string(delta > 0 ? "+" : "") + std::to_string(delta) + "] " + vr::ToUtf8(name);
    if (!detail.empty()) {
        line += " " + vr::ToUtf8(detail);
    }
    return Terminated(line);
}

HRESULT TracePrinter::Create(FILE* out, int lowestLevel, HANDLE stopEvent,
                             vr::ComObjectPtr<TracePrinter>* printer) {
    HRESULT hr = vr::ComObject<TracePrinter>::Create(printer);
    if (SUCCEEDED(hr)) {
        (*printer)->out_ = out;
        (*printer)->lowestLevel_ = lowestLevel;
        (*printer)->stopEvent_ = stopEvent;
    }
    return hr;
}

HRESULT TracePrinter::GetTypeInfoCount(UINT* count) {
    if (!count) {
        return E_POINTER;
    }
    *count = 0; // reached by dispatch identifier only
    return S_OK;
}

HRESULT TracePrinter::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info) {
        *info = nullptr;
    }
    return E_NOTIMPL;
}

HRESULT TracePrinter::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
    return E_NOTIMPL;
}

HRESULT TracePrinter::Invoke(DISPID member, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                             UINT*) {
    if (member != DISPID_TRACESINK_WRITETEXT && member != DISPID_TRACESINK_WRITECALL) {
        return DISP_E_MEMBERNOTFOUND;
    }
    if (!params || params->cArgs != 3 || params->cNamedArgs != 0) {
        return DISP_E_BADPARAMCOUNT;
    }
    std::u16string first;
    std::u16string third;
    long number = 0;
    if (member == DISPID_TRACESINK_WRITETEXT) {
        if (FAILED(TextArgument(*params, 0, &first)) || FAILED(NumberArgument(*params, 1, &number)) ||
            FAILED(TextArgument(*params, 2, &third))) {
            return DISP_E_TYPEMISMATCH;
        }
        return Print(static_cast<int>(number), FormatTextLine(static_cast<int>(number), first, third));
    }
    std::u16string detail;
    if (FAILED(TextArgument(*params, 0, &first)) || FAILED(TextArgument(*params, 1, &detail)) ||
        FAILED(NumberArgument(*params, 2, &number))) {
        return DISP_E_TYPEMISMATCH;
    }
    return Print(TRACE_LEVEL_INFO, FormatCallLine(first, detail, number));
}

HRESULT TracePrinter::Print(int level, const std::string& line) {
    if (level < lowestLevel_) {
        return S_OK;
    }
    // Flushed line by line, so that a reader of the file sees each line as soon as its sender goes on.
    if (std::fputs(line.c_str(), out_) == EOF || std::fflush(out_) != 0) {
        (void)SetEvent(stopEvent_); // the program reports the failure as it ends
        return E_FAIL;
    }
    return S_OK;
}

} // namespace vrtrace
