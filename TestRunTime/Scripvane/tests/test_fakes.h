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

// Text out-arguments and arguments of the stand-ins: a copy of the text into *out (E_POINTER for none), and
// the text of a BSTR kept in member.
HRESULT CopyText(const std::u16string& text, BSTR* out);
HRESULT KeepText(std::u16string& member, BSTR text);

// clang-format off
// The get/put pair of a text property the stand-in keeps in member.
#define SCRIPVANETEST_TEXT_PROPERTY(Name, member)                                   \
    HRESULT get_##Name(BSTR* pVal) override { return CopyText(member, pVal); }      \
    HRESULT put_##Name(BSTR newVal) override { return KeepText(member, newVal); }

// The get/put pair of a property the stand-in does not have.
#define SCRIPVANETEST_ABSENT_PROPERTY(Name, Type)                                   \
    HRESULT get_##Name(Type*) override { return E_NOTIMPL; }                        \
    HRESULT put_##Name(Type) override { return E_NOTIMPL; }
// clang-format on

// The test engine's stand-in: output queue, identity, interruption and counters; results are accepted and
// dropped, and what the tests never reach is not implemented.
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
    HRESULT OutputLn(BSTR bsText, VARIANT vTestStatus) override;
    HRESULT GetOutput(VARIANT* pvTestStatus, BSTR* pbsText) override;
    HRESULT InitExecution() override;
    HRESULT EndExecution() override;
    HRESULT SetNextTestExecSession() override;
    HRESULT Delay(uint32_t msec) override;
    HRESULT Stop(VARIANT vParam) override;
    SCRIPVANETEST_TEXT_PROPERTY(SN, sn)
    SCRIPVANETEST_TEXT_PROPERTY(TestID, testId)
    SCRIPVANETEST_TEXT_PROPERTY(TestExecSession, session)
    HRESULT SaveResult(VARIANT, BSTR, VARIANT, VARIANT, VARIANT) override { return S_OK; }

    SCRIPVANETEST_ABSENT_PROPERTY(PEC, BSTR)
    SCRIPVANETEST_ABSENT_PROPERTY(Release, BSTR)
    SCRIPVANETEST_ABSENT_PROPERTY(TestPlanID, BSTR)
    SCRIPVANETEST_ABSENT_PROPERTY(TestPlanVariantID, BSTR)
    SCRIPVANETEST_ABSENT_PROPERTY(graph, IDispatch*)
    HRESULT get_attributes(IDispatch**) override { return E_NOTIMPL; }
    HRESULT get_spec(BSTR, VARIANT*) override { return E_NOTIMPL; }
    HRESULT put_spec(BSTR, VARIANT) override { return E_NOTIMPL; }
    HRESULT IsValid(VARIANT, BSTR, VARIANT, VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT get_csv(IDispatch**) override { return E_NOTIMPL; }
    HRESULT get_option(BSTR, VARIANT*) override { return E_NOTIMPL; }
    HRESULT put_option(BSTR, VARIANT) override { return E_NOTIMPL; }
    HRESULT IsOptionEnabled(BSTR, VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT SetOptions(BSTR) override { return E_NOTIMPL; }

    std::atomic<int> initExecutions{0};
    std::atomic<int> endExecutions{0};
    std::atomic<bool> interrupted{false};
    std::u16string sn, testId, session = u"1";
    std::vector<std::u16string> stops;
    std::deque<std::pair<int32_t, std::u16string>> output;

private:
    HRESULT Queue(VARIANT status, std::u16string text);
};

// A connection whose reads answer "echo:" and the last text written; opening, closing and clearing succeed.
class FakeConnection : public vr::ObjectRoot, public vr::DispatchImpl<FakeConnection, IVrConnection> {
public:
    using Interfaces = vr::InterfaceList<IVrConnection, IDispatch>;
    static const vr::DispatchTable<FakeConnection>& GetDispatchTable();

    HRESULT ReadString(BSTR bsTerm, int32_t lTimeout, int32_t lCount, BSTR* pbsData) override;
    HRESULT WriteString(BSTR bsData, int32_t* plRetCount) override;
    HRESULT Init(BSTR, BSTR, int32_t, VrAccessMode) override { return S_OK; }
    HRESULT Close() override { return S_OK; }
    HRESULT Clear() override { return S_OK; }

    HRESULT FindResources(BSTR, VARIANT*) override { return E_NOTIMPL; }
    HRESULT LockRsrc(VrAccessMode, int32_t, BSTR, BSTR*) override { return E_NOTIMPL; }
    HRESULT UnlockRsrc() override { return E_NOTIMPL; }
    HRESULT Write(VARIANT, VARIANT, int32_t*) override { return E_NOTIMPL; }
    HRESULT Handle(BSTR, BSTR, VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT get_LastReadStatus(VrReadStatus*) override { return E_NOTIMPL; }
    HRESULT get_Attributes(IVrAttributeCollection**) override { return E_NOTIMPL; }

private:
    std::u16string last_;
};

// A socket whose QueryString answers "<name>:" and the text sent; opening and closing succeed.
class FakeSocket : public vr::ObjectRoot, public vr::DispatchImpl<FakeSocket, IVrSocket> {
public:
    using Interfaces = vr::InterfaceList<IVrSocket, IDispatch>;
    static const vr::DispatchTable<FakeSocket>& GetDispatchTable();

    HRESULT QueryString(BSTR bsInData, VARIANT vbsTerm, VARIANT vlTimeout, VARIANT vlCount,
                        BSTR* pbsOutData) override;
    HRESULT Init(BSTR, VARIANT) override { return S_OK; }
    HRESULT Close() override { return S_OK; }

    HRESULT Handle(BSTR, VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT get_Connection(IVrConnection**) override { return E_NOTIMPL; }
    HRESULT get_Attributes(IVrAttributeCollection**) override { return E_NOTIMPL; }

    std::u16string name;
};

// The hardware manager's stand-in, answering from the HardwareScene; it has no records to load or save.
class FakeRigmont : public vr::ObjectRoot,
                    public vr::CoClass<FakeRigmont>,
                    public vr::DispatchImpl<FakeRigmont, IVrRigmont> {
public:
    using Interfaces = vr::InterfaceList<IVrRigmont, IDispatch>;
    static const vr::DispatchTable<FakeRigmont>& GetDispatchTable();

    HRESULT CreateConnection(BSTR bsResource, VARIANT vbsSetupString, IVrConnection** ppConnection) override;
    HRESULT CreateSocket(BSTR bsResource, VARIANT vbsSetupString, IVrSocket** ppSocket) override;
    HRESULT GetRecordNames(BSTR bsRecordType, VARIANT* pvNames) override;

    HRESULT LoadRecord(BSTR, BSTR, BSTR, BSTR*, BSTR*, BSTR*) override { return E_NOTIMPL; }
    HRESULT SaveRecord(BSTR, BSTR, BSTR, BSTR, BSTR) override { return E_NOTIMPL; }
    HRESULT RemoveRecord(BSTR, BSTR) override { return E_NOTIMPL; }
    HRESULT FindResources(BSTR, BSTR, VARIANT*) override { return E_NOTIMPL; }

private:
    // Counts the creation of the named record, or fails it when the scene says so.
    static HRESULT NoteCreation(const std::u16string& name);
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
