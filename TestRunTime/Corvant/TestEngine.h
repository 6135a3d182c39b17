// CTestEngine: one test execution's output queue, options, specifications, identity, results and graph.
#pragma once

#include "attributes/include/tabrisk.h"
#include "common/results/ADO.h"
#include "corvant.h"
#include "limitor.h"
#include "platform/com/comptr.h"
#include "platform/com/comutil.h"
#include "platform/com/dispatch_table.h"
#include "platform/com/object.h"
#include "utils.h"

#include <atomic>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace corvant {

// The graph control's class, under which it registers itself in the running object table, and its dispatch
// interface.
inline constexpr CLSID CLSID_PlotvaneCtrl = vr::MakeGuid("AE5323B5-96C1-4046-B7E5-2ACD2900822C");
inline constexpr IID IID_IPlotvane = vr::MakeGuid("89B0D312-2A6C-4160-93A8-5B551BCA98A9");

// How long reading `graph` waits for a graph control to appear when none is running, in milliseconds.
inline constexpr uint32_t kGraphWaitMilliseconds = 5000;

// One queued line of output.
struct OutputEntry {
    std::u16string text;
    int32_t status = TestStatusUnknown;
};

// Threads: apartment-threaded. Every call of IVrTestEngine runs on the creating thread (others come through
// a marshalled proxy, served while the thread pumps, as in Delay). The members of IVrTestEngineMonitor run on
// any thread: they touch only the atomic stop flags and the output queue and its signal, which have a lock of
// their own.
class CTestEngine : public vr::ObjectRoot,
                    public vr::CoClass<CTestEngine>,
                    public vr::DispatchImpl<CTestEngine, IVrTestEngine>,
                    public vr::SupportErrorInfoImpl<IVrTestEngine>,
                    public IVrTestEngineMonitor {
public:
    using Interfaces = vr::InterfaceList<IVrTestEngine, IDispatch, ISupportErrorInfo, IVrTestEngineMonitor>;
    static constexpr bool kAggregatable = false;

    static const vr::DispatchTable<CTestEngine>& GetDispatchTable();

    [[nodiscard]] HRESULT FinalConstruct();
    void FinalRelease();
    ~CTestEngine();

    HRESULT Output(BSTR bsText, VARIANT vTestStatus) override;
    HRESULT get_attributes(IDispatch** ppAttributes) override;
    HRESULT GetOutput(VARIANT* pvTestStatus, BSTR* pbsText) override;
    HRESULT OutputLn(BSTR bsText, VARIANT vTestStatus) override;
    HRESULT get_spec(BSTR bsSpecID, VARIANT* pvSpec) override;
    HRESULT put_spec(BSTR bsSpecID, VARIANT vSpec) override;
    HRESULT IsValid(VARIANT vValue, BSTR bsSpecID, VARIANT vDescription, VARIANT_BOOL* pvbValid) override;
    HRESULT SaveResult(VARIANT vValue, BSTR bsTestResultID, VARIANT vDescription, VARIANT vTestStatus,
                       VARIANT vSpecValue) override;
    HRESULT InitExecution() override;
    HRESULT get_PEC(BSTR* pVal) override;
    HRESULT put_PEC(BSTR newVal) override;
    HRESULT get_Release(BSTR* pVal) override;
    HRESULT put_Release(BSTR newVal) override;
    HRESULT get_SN(BSTR* pVal) override;
    HRESULT put_SN(BSTR newVal) override;
    HRESULT get_TestID(BSTR* pVal) override;
    HRESULT put_TestID(BSTR newVal) override;
    HRESULT get_TestPlanID(BSTR* pVal) override;
    HRESULT put_TestPlanID(BSTR newVal) override;
    HRESULT get_TestPlanVariantID(BSTR* pVal) override;
    HRESULT put_TestPlanVariantID(BSTR newVal) override;
    HRESULT get_TestExecSession(BSTR* pVal) override;
    HRESULT put_TestExecSession(BSTR newVal) override;
    HRESULT SetNextTestExecSession() override;
    HRESULT Delay(uint32_t msec) override;
    HRESULT Stop(VARIANT vParam) override;
    HRESULT get_graph(IDispatch** ppGraph) override;
    HRESULT put_graph(IDispatch* pGraph) override;
    HRESULT get_csv(IDispatch** ppCsv) override;
    HRESULT EndExecution() override;
    HRESULT get_option(BSTR bsName, VARIANT* pvValue) override;
    HRESULT put_option(BSTR bsName, VARIANT vValue) override;
    HRESULT IsOptionEnabled(BSTR bsName, VARIANT_BOOL* pvbVal) override;
    HRESULT SetOptions(BSTR bsOptions) override;

    // IVrTestEngineMonitor, any thread.
    HRESULT RequestStop(BSTR words) override;
    HRESULT TakeOutput(LONG* status, BSTR* text) override;
    HRESULT SetOutputSignal(HANDLE event) override;

private:
    using ValueMap = std::map<std::u16string, _variant_t>;

    // "Test '<TestID>' is interrupted by the User." and E_FAIL while the flag is set; the flag stays.
    HRESULT CheckInterruption();
    // The end of a public method: rich error information for a failure.
    HRESULT Finish(HRESULT hr);
    HRESULT CreateHelpers();
    HRESULT OpenConfiguredDatabase();
    HRESULT PutOptionText(const OLECHAR* name, const OLECHAR* text);
    // Puts StopLoop and StopExit to "true" as RequestStop asked, whatever the interruption flag says.
    void ApplyRequestedStops();
    void StoreOptionText(std::u16string_view name, const OLECHAR* text);
    // Takes the oldest queued line under the queue's lock: S_OK, or S_FALSE when none waits.
    HRESULT TakeOutputLine(int32_t* status, BSTR* text);
    HRESULT GetProperty(const char16_t* method, BSTR member, BSTR* pVal);
    HRESULT PutProperty(const char16_t* method, BSTR* member, BSTR newVal);
    struct VerdictArguments {
        const VARIANT& value;
        BSTR specId;
        const VARIANT& description;
        BSTR descriptionText;
        const VARIANT& spec;
        bool valid;
    };
    HRESULT ReportVerdict(const VerdictArguments& verdict);
    // The held graph while it answers; forgets one that has gone.
    void ProbeHeldGraph();
    // Finds the running graph control, waiting a bounded time for one to appear.
    HRESULT FindRunningGraph(vr::ComPtr<IUnknown>* running);

    static void StoreCopy(ValueMap& map, std::u16string_view key, const VARIANT& value);

    // The members below are the engine thread's, except where a note says otherwise.
    vr::ComPtr<IVrAttributeCollection> attributes_;
    std::atomic<bool> interrupted_{false}; // any thread (Stop, RequestStop)
    // Set by RequestStop on any thread; the engine's thread moves them into options_.
    std::atomic<bool> stopLoopRequested_{false};
    std::atomic<bool> stopExitRequested_{false};
    ValueMap specs_;
    ValueMap options_;
    std::unique_ptr<CADO> database_;
    std::mutex outputMutex_;         // guards output_
    std::deque<OutputEntry> output_; // appended on the engine's thread, taken on any thread
    HANDLE outputSignal_ = nullptr;  // guarded by outputMutex_; set after each line queued, not owned
    vr::ComPtr<IVrSpecValidator> validator_;
    vr::ComPtr<IVrCsvFile> csv_;
    vr::ComPtr<IDispatch> graph_;
    vr::ComPtr<IUnknown> graphHost_;
    BSTR pec_ = nullptr;
    BSTR release_ = nullptr;
    BSTR sn_ = nullptr;
    BSTR testId_ = nullptr;
    BSTR testPlanId_ = nullptr;
    BSTR testPlanVariantId_ = nullptr;
    BSTR testExecSession_ = nullptr;
};

// The display text of a value, at most 1000 characters.
std::u16string DisplayText(const VARIANT& value);

} // namespace corvant
