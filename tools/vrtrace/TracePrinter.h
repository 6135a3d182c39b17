// TracePrinter: the tracer object that the system's modules find in the running object table and send their
// trace lines to; it writes each line, with its level and source, to a stream.
#pragma once

#include "platform/com/dispatch.h"
#include "platform/com/object.h"
#include "platform/com/waithandle.h"

#include <cstdio>
#include <string>

namespace vrtrace {

// How a received line is shown, e.g. "[error] CCsvFile::SaveFile(): CsvFile.cpp (88): Could not ..." and
// "[call +1] CTestEngine::FinalConstruct()". Exposed for the program's tests.
std::string FormatTextLine(int level, std::u16string_view source, std::u16string_view text);
std::string FormatCallLine(std::u16string_view name, std::u16string_view detail, long delta);

// Usage: made with Create, registered under CLSID_TraceSink (RegisterActiveObject), then called by the
// modules through IDispatch::Invoke: WriteText (2: source, level, text) and WriteCall (3: name, detail,
// delta), as methods. Lines whose level is below the lowest level given at Create are dropped; call lines
// count as level 0 (information).
// Threads: the object lives in the single-threaded apartment that made it, and every call runs there, so
// writes to the stream never interleave.
// Failures: arguments of the wrong number or type give DISP_E_BADPARAMCOUNT or DISP_E_TYPEMISMATCH; a write
// the stream refuses gives E_FAIL and signals the stop event given at Create.
class TracePrinter : public vr::ObjectRoot, public IDispatch {
public:
    using Interfaces = vr::InterfaceList<IDispatch>;
    static constexpr bool kAggregatable = false;

    // out and stopEvent stay the caller's and must outlive the object; stopEvent (an event handle) is
    // signalled when out refuses a write, so that the program can end instead of tracing into nothing.
    static HRESULT Create(FILE* out, int lowestLevel, HANDLE stopEvent,
                          vr::ComObjectPtr<TracePrinter>* printer);

    HRESULT GetTypeInfoCount(UINT* count) override;
    HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    HRESULT Invoke(DISPID member, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* excep, UINT* argError) override;

private:
    HRESULT Print(int level, const std::string& line);

    FILE* out_ = nullptr;        // apartment thread only
    int lowestLevel_ = 0;        // set at Create, then read only
    HANDLE stopEvent_ = nullptr; // set at Create; signalled from the apartment thread
};

} // namespace vrtrace
