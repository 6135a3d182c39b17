// The senders: bounded formatting and the calls of the outside tracer found in the running object table.
#include "common/Trace.h"

#include "common/BstrText.h"
#include "common/TraceInternal.h"
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

// Looks the tracer up afresh and calls one of its methods; the arguments are in call order and are cleared.
void CallTracer(DISPID member, std::array<VARIANT, 3> args) {
    std::array<VARIANT, 3> reversed{args[2], args[1], args[0]};
    HRESULT init = CoInitialize(nullptr);
    {
        vr::ComPtr<IUnknown> object;
        vr::ComPtr<IDispatch> tracer;
        if (SUCCEEDED(GetActiveObject(CLSID_TraceSink, nullptr, object.Put())) &&
            SUCCEEDED(object.As(&tracer))) {
            InvokeTracer(tracer.Get(), member, reversed);
        }
    }
    if (SUCCEEDED(init)) {
        CoUninitialize();
    }
    for (VARIANT& arg : reversed) {
        (void)VariantClear(&arg);
    }
}

// A thread's formatting buffer, reused line after line so that a line costs what its text costs. Every unit
// is zero between lines, as in a fresh zero-filled buffer, so that a format the formatter rejects half-way
// leaves no stale units behind its output; after a line only the units it may have written are cleared.
struct ThreadLineBuffer {
    std::unique_ptr<OLECHAR[]> units;
    size_t size = 0;
    bool busy = false;
    ~ThreadLineBuffer();
};

// Trivially destructible, so that it can still be read while the thread's other objects are destroyed.
enum class LineBufferState : unsigned char { Unused, Live, Gone };
constinit thread_local LineBufferState t_lineBufferState = LineBufferState::Unused;

ThreadLineBuffer::~ThreadLineBuffer() {
    t_lineBufferState = LineBufferState::Gone;
}

// The calling thread's buffer; null once the thread's objects are being destroyed and the buffer with them
// (a destructor that traces then).
ThreadLineBuffer* ThisThreadsLineBuffer() {
    if (t_lineBufferState == LineBufferState::Gone) {
        return nullptr;
    }
    thread_local ThreadLineBuffer buffer;
    t_lineBufferState = LineBufferState::Live;
    return &buffer;
}

// Zero-filled units for one line: the thread's buffer, or a buffer of the line's own while the thread's is
// in use or gone. Clears the units the line may have written when the line is done.
class LineUnits {
public:
    explicit LineUnits(size_t size) : size_(size), dirty_(size) {
        thread_ = ThisThreadsLineBuffer();
        if (thread_ == nullptr || thread_->busy) {
            thread_ = nullptr;
            own_ = std::make_unique<OLECHAR[]>(size); // zero-filled
            units_ = own_.get();
            return;
        }
        if (thread_->size < size) {
            thread_->units = std::make_unique<OLECHAR[]>(size);
            thread_->size = size;
        }
        thread_->busy = true;
        units_ = thread_->units.get();
    }
    LineUnits(const LineUnits&) = delete;
    LineUnits& operator=(const LineUnits&) = delete;
    ~LineUnits() {
        if (thread_ != nullptr) {
            std::fill_n(units_, dirty_, u'\0');
            thread_->busy = false;
        }
    }

    OLECHAR* Units() const { return units_; }
    // What the formatter reported: a text that fitted wrote its units and a terminator; one that did not, or
    // a rejected format, may have written every unit (and the cut writes the last four).
    void Wrote(int written) {
        dirty_ =
            written >= 0 && static_cast<size_t>(written) < size_ ? static_cast<size_t>(written) + 1 : size_;
    }

private:
    size_t size_;
    size_t dirty_; // every unit until the formatter reports
    ThreadLineBuffer* thread_ = nullptr;
    std::unique_ptr<OLECHAR[]> own_;
    OLECHAR* units_ = nullptr;
};

} // namespace

namespace vrcommon::trace {

std::u16string VFormatLimited(size_t size, const OLECHAR* format, va_list args) {
    LineUnits buffer(size);
    OLECHAR* units = buffer.Units();
    int written = vr::VFormatW(units, size, format ? format : u"", args);
    buffer.Wrote(written);
    if (written < 0 || static_cast<size_t>(written) >= size) {
        std::copy_n(u"...", 4, units + size - 4); // with its terminator
    }
    return std::u16string(units, vr::U16Length(units));
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
    CallTracer(DISPID_TRACESINK_WRITETEXT,
               {TextArgument(source), ShortArgument(static_cast<SHORT>(level)), TextArgument(text)});
}

} // namespace vrcommon::trace

using vrcommon::trace::ReportErrorLine;
using vrcommon::trace::SendText;
using vrcommon::trace::VFormatLimited;

void TracePrintf(int level, const OLECHAR* source, const OLECHAR* format, ...) {
    va_list args;
    va_start(args, format);
    std::u16string text = VFormatLimited(TRACE_PRINTF_BUFFER, format, args);
    va_end(args);
    SendText(level, vr::U16View(source), text);
}

void TraceCall(const OLECHAR* name, const OLECHAR* detail, LONG delta) {
    CallTracer(DISPID_TRACESINK_WRITECALL,
               {TextArgument(vr::U16View(name)), TextArgument(vr::U16View(detail)), LongArgument(delta)});
}

void TraceFunction(const OLECHAR* name, LONG delta) {
    TraceCall(name, u"", delta);
}

void TraceInfo(const OLECHAR* format, ...) {
    va_list args;
    va_start(args, format);
    std::u16string text = VFormatLimited(TRACE_MESSAGE_BUFFER, format, args);
    va_end(args);
    SendText(TRACE_LEVEL_INFO, TraceSiteTag(), text);
}

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
    std::u16string text = VFormatLimited(TRACE_MESSAGE_BUFFER, format, args);
    va_end(args);
    SendText(TRACE_LEVEL_TRAFFIC, u"", text);
}
