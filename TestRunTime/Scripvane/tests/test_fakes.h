// Stand-ins for the test engine and the hardware manager (with a connection and a socket), registered as
// class objects in the test process, so the script executive and the worker run against them.
#pragma once

#include "Rigmont/include/rigmont.h"
#include "TestRunTime/Corvant/include/corvant.h"
#include "platform/com/comptr.h"
#include "platform/com/dispatch_table.h"
#include "platform/com/object.h"
#include "platform/com/server.h"

#include <atomic>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace scripvanetest {

// What the stand-in hardware manager answers, shared by every instance in the process.
// Threads: guarded by its mutex; tests set it up before the objects use it.
struct HardwareScene {
    std::mutex mutex;
    std::vector<std::u16string> connections;
    std::vector<std::u16string> sockets;
    std::set<std::u16string> failing; // records whose creation fails
    bool namesFail = false;           // GetRecordNames fails
    std::map<std::u16string, int> created;
    std::vector<std::u16string> written; // every text written through a stand-in connection

    void Reset();
    static HardwareScene& Get();
};

// The test engine's stand-in: output queue, options, identity and counters.
// Threads: apartment-threaded like the real engine; the counters are atomics for tests that read them from
// another thread after the fact.
class FakeTestEngine : public vr::ObjectRoot,
                       public vr::CoClass<FakeTestEngine>,
                       public vr::DispatchImpl<FakeTestEngine, IVrTestEngine> {
public:
    using Interfaces = vr::InterfaceList<IVrTestEngine, IDispatch>;
    static const vr::DispatchTable<FakeTestEngine>& GetDispatchTable();

    // The last engine made through the class object (one per test).
    static std::atomic<FakeTestEngine*> last;
    // Set to make InitExecution fail.
    static std::atomic<bool> failInit;

    HRESULT FinalConstruct();
    void FinalRelease();

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

    std::atomic<int> initExecutions{0};
    std::atomic<int> endExecutions{0};
    std::atomic<bool> interrupted{false};
    std::u16string sn, testId, session = u"1";
    std::vector<std::u16string> stops;
    std::deque<std::pair<int32_t, std::u16string>> output;
};

// A connection whose reads answer "echo:" and the last text written.
class FakeConnection : public vr::ObjectRoot, public vr::DispatchImpl<FakeConnection, IVrConnection> {
public:
    using Interfaces = vr::InterfaceList<IVrConnection, IDispatch>;
    static const vr::DispatchTable<FakeConnection>& GetDispatchTable();

    HRESULT FindResources(BSTR bstrExpression, VARIANT* pvResources) override;
    HRESULT Init(BSTR bsResource, BSTR bsOptionString, int32_t lInitTimeout, VrAccessMode mode) override;
    HRESULT Close() override;
    HRESULT LockRsrc(VrAccessMode mode, int32_t lLockTimeout, BSTR bsRequestedKey,
                     BSTR* pbsAccessKey) override;
    HRESULT UnlockRsrc() override;
    HRESULT Clear() override;
    HRESULT ReadString(BSTR bsTerm, int32_t lTimeout, int32_t lCount, BSTR* pbsData) override;
    HRESULT WriteString(BSTR bsData, int32_t* plRetCount) override;
    HRESULT Write(VARIANT vData, VARIANT vlCount, int32_t* plRetCount) override;
    HRESULT Handle(BSTR bsResource, BSTR bsOptionString, VARIANT_BOOL* pbIsHandled) override;
    HRESULT get_LastReadStatus(VrReadStatus* pStatus) override;
    HRESULT get_Attributes(IVrAttributeCollection** ppAttributes) override;

private:
    std::u16string last_;
};

// A socket whose QueryString answers "<name>:" and the text sent.
class FakeSocket : public vr::ObjectRoot, public vr::DispatchImpl<FakeSocket, IVrSocket> {
public:
    using Interfaces = vr::InterfaceList<IVrSocket, IDispatch>;
    static const vr::DispatchTable<FakeSocket>& GetDispatchTable();

    HRESULT Init(BSTR bsOptionString, VARIANT vpIVrConnection) override;
    HRESULT Close() override;
    HRESULT Handle(BSTR bsOptionString, VARIANT_BOOL* pbIsHandled) override;
    HRESULT QueryString(BSTR bsInData, VARIANT vbsTerm, VARIANT vlTimeout, VARIANT vlCount,
                        BSTR* pbsOutData) override;
    HRESULT get_Connection(IVrConnection** ppVrConnection) override;
    HRESULT get_Attributes(IVrAttributeCollection** ppVrAttributeCollection) override;

    std::u16string name;
};

// The hardware manager's stand-in, answering from the HardwareScene.
class FakeRigmont : public vr::ObjectRoot,
                    public vr::CoClass<FakeRigmont>,
                    public vr::DispatchImpl<FakeRigmont, IVrRigmont> {
public:
    using Interfaces = vr::InterfaceList<IVrRigmont, IDispatch>;
    static const vr::DispatchTable<FakeRigmont>& GetDispatchTable();

    HRESULT CreateConnection(BSTR bsResource, VARIANT vbsSetupString, IVrConnection** ppConnection) override;
    HRESULT CreateSocket(BSTR bsResource, VARIANT vbsSetupString, IVrSocket** ppSocket) override;
    HRESULT LoadRecord(BSTR bsRecordType, BSTR bsRecordName, BSTR bsSupplementarySetupString, BSTR* pbsServer,
                       BSTR* pbsResource, BSTR* pbsSetupString) override;
    HRESULT SaveRecord(BSTR bsRecordType, BSTR bsRecordName, BSTR bsServer, BSTR bsResource,
                       BSTR bsSetupString) override;
    HRESULT RemoveRecord(BSTR bsRecordType, BSTR bsRecordName) override;
    HRESULT GetRecordNames(BSTR bsRecordType, VARIANT* pvNames) override;
    HRESULT FindResources(BSTR bsServer, BSTR bsResourceType, VARIANT* pvResources) override;
};

// Registers a class object for clsid in this process for the life of the object (the registering thread
// must stay initialised meanwhile).
class ClassRegistration {
public:
    ClassRegistration(REFCLSID clsid, vr::server::CreateInstanceFn create);
    ~ClassRegistration();
    ClassRegistration(const ClassRegistration&) = delete;
    ClassRegistration& operator=(const ClassRegistration&) = delete;
    bool Registered() const { return cookie_ != 0; }

private:
    DWORD cookie_ = 0;
};

} // namespace scripvanetest
