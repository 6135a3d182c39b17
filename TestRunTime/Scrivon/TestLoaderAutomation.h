// The automation object of the script executive window (IVrTestLoader): Load, Run, Popup, Verdict, Stop and
// SN carried to the window it is bound to. Called only on the window's thread (calls from other processes
// arrive there).
#pragma once

#include "TestRunTime/Scrivon/include/vrtestloader.h"
#include "platform/com/dispatch_table.h"
#include "platform/com/object.h"

#include <string>

namespace scrivon {

// What the object asks of its window, for the client that calls (its process id; 0 for a caller in this
// process). A Load, Run or serial number the window cannot take now (a run is in progress, another client's
// turn holds the window, it is closing) leaves *refusal saying why; the object then fails the call with
// HRESULT_FROM_WIN32(ERROR_BUSY) and that text as its error information.
class TestLoaderTarget {
public:
    using ClientId = int64_t;
    virtual ~TestLoaderTarget() = default;
    virtual bool LoadScript(const std::string& path, ClientId client, std::string* refusal) = 0;
    virtual bool RunScript(ClientId client, std::string* refusal) = 0;
    virtual void Popup(ClientId client) = 0;
    // 1 passed, 2 failed, 7 error; 0 when the client's last Run ran nothing (or another client's turn holds
    // the window).
    virtual int32_t LastVerdict(ClientId client) = 0;
    virtual void StopRun() = 0;
    // The serial number of the client's next run, typed into the window's field; false when refused.
    virtual bool GiveSerialNumber(const std::string& serialNumber, ClientId client, std::string* refusal) = 0;
};

class CVrTestLoaderDlgAutoProxy : public vr::ObjectRoot,
                                  public vr::CoClass<CVrTestLoaderDlgAutoProxy>,
                                  public vr::DispatchImpl<CVrTestLoaderDlgAutoProxy, IVrTestLoader> {
public:
    using Interfaces = vr::InterfaceList<IVrTestLoader, IDispatch>;
    static constexpr bool kAggregatable = false;
    static const vr::DispatchTable<CVrTestLoaderDlgAutoProxy>& GetDispatchTable();

    // Binds the object to its window, or (null) unbinds it when the window goes: an unbound object loads
    // and runs nothing and answers false.
    void Bind(TestLoaderTarget* target) { target_ = target; }

    HRESULT Load(BSTR sFile, VARIANT_BOOL* loaded);
    HRESULT Run(VARIANT_BOOL* completed);
    HRESULT Popup();
    HRESULT get_Verdict(LONG* verdict);
    HRESULT Stop();
    HRESULT put_SN(BSTR serialNumber);

private:
    TestLoaderTarget* target_ = nullptr;
};

} // namespace scrivon
