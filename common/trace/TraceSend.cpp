// The senders: bounded formatting and the calls of the outside tracer found in the running object table.
#include "common/trace/Trace.h"

#include "common/comtext/BstrText.h"
#include "common/trace/TraceInternal.h"
#include "platform/base/format.h"
#include "platform/base/text.h"
#include "platform/com/activation.h"
#include "platform/com/comptr.h"
#include "platform/com/dispatch.h"
#include "platform/com/errorinfo.h"
#include "platform/com/rot.h"

#include <algorithm>
#include <array>
#include <memory>

namespace {

VARIANT TextArgument(std::u16string_view text) {
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_BSTR;
    arg.bstrVal = vrcommon::NewBstr(text);
    return arg;
}

VARIANT ShortArgument(SHORT value) {
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_I2;
    arg.iVal = value;
    return arg;
}

VARIANT LongArgument(LONG value) {
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_I4;
    arg.lVal = value;
    return arg;
}

void InvokeTracer(IDispatch* tracer, DISPID member, std::array<VARIANT, 3>& reversedArgs) {
    DISPPARAMS params{reversedArgs.data(), nullptr, static_cast<UINT>(reversedArgs.size()), 0};
    EXCEPINFO excep{};
    UINT argError = 0;
    try {
        // A failing tracer costs the line and nothing more.
        (void)tracer->Invoke(member, GUID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr,
                             &excep, &argError);
    } catch (...) {
    }
    vr::ClearExcepInfo(&excep);
}

// The tracer as the running object table answers now (null when none runs), with COM initialised on this
// thread while the lookup lives. Each line makes its own lookup; one that is known to find nothing (the
// usual case, answered from memory) initialises nothing, so a thread without COM makes no apartment for a
// line nobody receives.
class TracerLookup {
public:
    TracerLookup() {
        if (vr::ActiveObjectKnownAbsent(CLSID_TraceSink)) {
            return;
        }
        init_ = CoInitialize(nullptr);
        vr::ComPtr<IUnknown> object;
        if (SUCCEEDED(GetActiveObject(CLSID_TraceSink, nullptr, object.Put()))) {
            (void)object.As(&tracer_); // a tracer without IDispatch takes no lines
        }
    }
    ~TracerLookup() {
        tracer_ = nullptr;
        if (SUCCEEDED(init_)) {
            CoUninitialize();
        }
    }
    TracerLookup(const TracerLookup&) = delete;
    TracerLookup& operator=(const TracerLookup&) = delete;

    bool Found() const { return tracer_ != nullptr; }

    // Calls one of the tracer's methods (when one was found); the arguments are in call order and are
    // cleared.
    void Call(DISPID member, std::array<VARIANT, 3> args) {
        std::array<VARIANT, 3> reversed{args[2], args[1], args[0]};
        if (tracer_) {
            InvokeTracer(tracer_.Get(), member, reversed);
        }
        for (VARIANT& arg : reversed) {
            (void)VariantClear(&arg);
        }
    }

private:
    HRESULT init_ = E_FAIL;        // this thread's CoInitialize, undone last; E_FAIL when none was made
    vr::ComPtr<IDispatch> tracer_; // the calling thread's only
};

// Most lines are short: they are formatted in a small buffer on the stack, and only a line that
// does not fit there (or a format the formatter rejects) is formatted again in a zero-filled buffer of the
// whole limit. So a line costs what its text costs, with no buffer kept per thread.
constexpr size_t kShortLine = 512;

// Formats into zero-filled units; a text that does not fit is cut and ends in "...". Zero-filled, so that a
// format the formatter rejects half-way leaves no stale units behind its output.
std::u16string FormatIntoZeroed(OLECHAR* units, size_t size, const OLECHAR* format, va_list args) {
    int written = vr::VFormatW(units, size, format, args);
    if (written < 0 || static_cast<size_t>(written) >= size) {
        std::copy_n(u"...", 4, units + size - 4); // with its terminator
    }
    return std::u16string(units, vr::U16Length(units));
}

} // namespace

namespace vrcommon::trace {

std::u16string VFormatLimited(size_t size, const OLECHAR* format, va_list args) {
    format = format ? format : u"";
    if (size > kShortLine) {
        std::array<OLECHAR, kShortLine> shortUnits; // a text that fits is written with its terminator
        va_list attempt;
        va_copy(attempt, args);
        int written = vr::VFormatW(shortUnits.data(), shortUnits.size(), format, attempt);
        va_end(attempt);
        if (written >= 0 && static_cast<size_t>(written) < shortUnits.size()) {
            return std::u16string(shortUnits.data(), vr::U16Length(shortUnits.data()));
        }
    }
    std::unique_ptr<OLECHAR[]> units = std::make_unique<OLECHAR[]>(size); // zero-filled
    return FormatIntoZeroed(units.get(), size, format, args);
}

std::u16string FormatLimited(size_t size, const OLECHAR* format, ...) {
    va_list args;
    va_start(args, format);
    std::u16string text = VFormatLimited(size, format, args);
    va_end(args);
    return text;
}

std::u16string CutToBuffer(std::u16string text, size_t size) {
    if (text.size() >= size) {
        text.resize(size - 4);
        text += u"...";
    }
    return text;
}

void SendText(int level, std::u16string_view source, std::u16string_view text) {
    TracerLookup lookup;
    if (lookup.Found()) {
        lookup.Call(DISPID_TRACESINK_WRITETEXT,
                    {TextArgument(source), ShortArgument(static_cast<SHORT>(level)), TextArgument(text)});
    }
}

} // namespace vrcommon::trace

namespace {

// A line that is only sent, never kept: formatted, and its source taken (sourceOf()), only when the lookup
// found a tracer to receive it, so a long text (a megabyte answer) costs nothing while nobody traces.
template <class SourceOf>
void SendFormatted(int level, SourceOf sourceOf, size_t size, const OLECHAR* format, va_list args) {
    TracerLookup lookup;
    if (!lookup.Found()) {
        return;
    }
    std::u16string text = vrcommon::trace::VFormatLimited(size, format, args);
    lookup.Call(DISPID_TRACESINK_WRITETEXT,
                {TextArgument(sourceOf()), ShortArgument(static_cast<SHORT>(level)), TextArgument(text)});
}

// A line whose text a builder makes, called only when a tracer receives it; formatted as "%s" with that
// text would be (the same buffer, cut and end at a zero unit), so the tracer gets what an eager line sends.
template <class SourceOf>
void SendBuilt(int level, SourceOf sourceOf, size_t size, vrcommon::trace::LineBuilder builder) {
    TracerLookup lookup;
    if (!lookup.Found()) {
        return;
    }
    std::u16string text = vrcommon::trace::FormatLimited(size, u"%s", builder.build(builder.context).c_str());
    lookup.Call(DISPID_TRACESINK_WRITETEXT,
                {TextArgument(sourceOf()), ShortArgument(static_cast<SHORT>(level)), TextArgument(text)});
}

} // namespace

using vrcommon::trace::ReportErrorLine;
using vrcommon::trace::SendText;
using vrcommon::trace::VFormatLimited;

void TracePrintf(int level, const OLECHAR* source, const OLECHAR* format, ...) {
    va_list args;
    va_start(args, format);
    SendFormatted(
        level, [source] { return vr::U16View(source); }, TRACE_PRINTF_BUFFER, format, args);
    va_end(args);
}

void TraceCall(const OLECHAR* name, const OLECHAR* detail, LONG delta) {
    TracerLookup lookup;
    if (lookup.Found()) { // the texts are copied only for a tracer: objects are made and ended all the time
        lookup.Call(DISPID_TRACESINK_WRITECALL, {TextArgument(vr::U16View(name)),
                                                 TextArgument(vr::U16View(detail)), LongArgument(delta)});
    }
}

void TraceFunction(const OLECHAR* name, LONG delta) {
    TraceCall(name, u"", delta);
}

void TraceInfo(const OLECHAR* format, ...) {
    va_list args;
    va_start(args, format);
    SendFormatted(TRACE_LEVEL_INFO, &TraceSiteTag, TRACE_MESSAGE_BUFFER, format, args);
    va_end(args);
}

namespace vrcommon::trace {

void SendInfoBuilt(LineBuilder text) {
    SendBuilt(TRACE_LEVEL_INFO, &TraceSiteTag, TRACE_MESSAGE_BUFFER, text);
}

void SendPrintfBuilt(int level, const OLECHAR* source, LineBuilder text) {
    SendBuilt(
        level, [source] { return vr::U16View(source); }, TRACE_PRINTF_BUFFER, text);
}

} // namespace vrcommon::trace

void TraceError(const OLECHAR* format, ...) {
    va_list args;
    va_start(args, format);
    std::u16string text = VFormatLimited(TRACE_MESSAGE_BUFFER, format, args);
    va_end(args);
    ReportErrorLine(text);
}

void TraceHResultError(HRESULT hr, const OLECHAR* format, ...) {
    va_list args;
    va_start(args, format);
    std::u16string message = VFormatLimited(TRACE_MESSAGE_BUFFER, format, args);
    va_end(args);
    std::u16string text = hr != 0 ? HResultText(hr) : std::u16string();
    text += message;
    ReportErrorLine(vrcommon::trace::CutToBuffer(std::move(text), TRACE_HRESULT_BUFFER));
}

void TracePrintfLevel3(const OLECHAR* format, ...) {
    va_list args;
    va_start(args, format);
    SendFormatted(
        TRACE_LEVEL_TRAFFIC, [] { return std::u16string_view(); }, TRACE_MESSAGE_BUFFER, format, args);
    va_end(args);
}
