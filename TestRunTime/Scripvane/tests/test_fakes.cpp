// The stand-in test engine, hardware manager, connection and socket.
#include "test_fakes.h"

#include "platform/com/activation.h"
#include "platform/com/apartment.h"

#include <chrono>
#include <thread>
#include <utility>

namespace scripvanetest {

namespace {

std::u16string TextOf(const VARIANT& value) {
    VARIANT text;
    VariantInit(&text);
    if (value.vt == VT_ERROR || FAILED(VariantChangeType(&text, &value, 0, VT_BSTR))) {
        return u"";
    }
    std::u16string result(vr::BstrView(text.bstrVal));
    (void)VariantClear(&text);
    return result;
}

int32_t StatusOf(const VARIANT& value) {
    VARIANT number;
    VariantInit(&number);
    if (value.vt == VT_ERROR || FAILED(VariantChangeType(&number, &value, 0, VT_I4))) {
        return 0;
    }
    return number.lVal;
}

} // namespace

HRESULT CopyText(const std::u16string& text, BSTR* out) {
    if (!out) {
        return E_POINTER;
    }
    *out = vr::AllocBstr(text);
    return S_OK;
}

HRESULT KeepText(std::u16string& member, BSTR text) {
    member = vr::BstrView(text);
    return S_OK;
}

// ---- HardwareScene ----

HardwareScene& HardwareScene::Get() {
    static HardwareScene scene;
    return scene;
}

void HardwareScene::Reset() {
    std::lock_guard lock(mutex);
    connections.clear();
    sockets.clear();
    failing.clear();
    namesFail = false;
    created.clear();
    written.clear();
}

// ---- FakeTestEngine ----

std::atomic<FakeTestEngine*> FakeTestEngine::last{nullptr};
std::atomic<bool> FakeTestEngine::failInit{false};

const vr::DispatchTable<FakeTestEngine>& FakeTestEngine::GetDispatchTable() {
    using D = vr::DispatchTable<FakeTestEngine>;
    using E = FakeTestEngine;
    static const D table(
        u"IVrTestEngine",
        {
            D::Method<&E::Output>(1, u"Output", {u"bsText", vr::Param(u"vTestStatus").Optional()}),
            D::Method<&E::GetOutput>(3, u"GetOutput", {u"pvTestStatus", u"pbsText"}),
            D::Method<&E::OutputLn>(4, u"OutputLn", {u"bsText", vr::Param(u"vTestStatus").Optional()}),
            D::Method<&E::SaveResult>(7, u"SaveResult",
                                      {u"vValue", u"bsTestResultID", vr::Param(u"vDescription").Optional(),
                                       vr::Param(u"vTestStatus").Optional(),
                                       vr::Param(u"vSpecValue").Optional()}),
            D::Method<&E::InitExecution>(8, u"InitExecution"),
            D::PropGet<&E::get_SN>(11, u"SN", {u"pVal"}),
            D::PropPut<&E::put_SN>(11, u"SN", {u"newVal"}),
            D::PropGet<&E::get_TestID>(12, u"TestID", {u"pVal"}),
            D::PropPut<&E::put_TestID>(12, u"TestID", {u"newVal"}),
            D::PropGet<&E::get_TestExecSession>(15, u"TestExecSession", {u"pVal"}),
            D::PropPut<&E::put_TestExecSession>(15, u"TestExecSession", {u"newVal"}),
            D::Method<&E::SetNextTestExecSession>(16, u"SetNextTestExecSession"),
            D::Method<&E::Delay>(17, u"Delay", {u"msec"}),
            D::Method<&E::Stop>(18, u"Stop", {vr::Param(u"vParam").Optional()}),
            D::Method<&E::EndExecution>(21, u"EndExecution"),
        });
    return table;
}

HRESULT FakeTestEngine::FinalConstruct() {
    last.store(this);
    return S_OK;
}

void FakeTestEngine::FinalRelease() {
    FakeTestEngine* self = this;
    last.compare_exchange_strong(self, nullptr);
}

HRESULT FakeTestEngine::Queue(VARIANT status, std::u16string text) {
    if (interrupted) {
        return E_ABORT;
    }
    output.emplace_back(StatusOf(status), std::move(text));
    return S_OK;
}

HRESULT FakeTestEngine::Output(BSTR bsText, VARIANT vTestStatus) {
    return Queue(vTestStatus, std::u16string(vr::BstrView(bsText)));
}

HRESULT FakeTestEngine::OutputLn(BSTR bsText, VARIANT vTestStatus) {
    return Queue(vTestStatus, std::u16string(vr::BstrView(bsText)) + u"\n");
}

HRESULT FakeTestEngine::GetOutput(VARIANT* pvTestStatus, BSTR* pbsText) {
    if (!pbsText) {
        return E_POINTER;
    }
    *pbsText = nullptr;
    if (output.empty()) {
        return S_FALSE;
    }
    if (pvTestStatus) {
        (void)VariantClear(pvTestStatus);
        pvTestStatus->vt = VT_I4;
        pvTestStatus->lVal = output.front().first;
    }
    *pbsText = vr::AllocBstr(output.front().second);
    output.pop_front();
    return S_OK;
}

HRESULT FakeTestEngine::InitExecution() {
    ++initExecutions;
    interrupted = false;
    return failInit ? E_FAIL : S_OK;
}

HRESULT FakeTestEngine::EndExecution() {
    ++endExecutions;
    return S_OK;
}

HRESULT FakeTestEngine::Stop(VARIANT vParam) {
    std::u16string word = TextOf(vParam);
    stops.push_back(word);
    interrupted = word != u"continue";
    return S_OK;
}

// Waits serving the thread's queued calls, as the real engine's Delay does.
HRESULT FakeTestEngine::Delay(uint32_t msec) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(msec);
    while (std::chrono::steady_clock::now() < end) {
        if (interrupted) {
            return E_ABORT;
        }
        vr::PumpMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return S_OK;
}

HRESULT FakeTestEngine::SetNextTestExecSession() {
    session = u"2";
    return S_OK;
}

// ---- FakeConnection ----

const vr::DispatchTable<FakeConnection>& FakeConnection::GetDispatchTable() {
    using D = vr::DispatchTable<FakeConnection>;
    static const D table(
        u"IVrConnection",
        {
            D::Method<&FakeConnection::ReadString>(0x60020006, u"ReadString",
                                                   {vr::Param(u"bsTerm").Optional(u""),
                                                    vr::Param(u"lTimeout").Optional(-1),
                                                    vr::Param(u"lCount").Optional(-1), u"pbsData"}),
            D::Method<&FakeConnection::WriteString>(0x60020007, u"WriteString", {u"bsData", u"plRetCount"}),
        });
    return table;
}

HRESULT FakeConnection::ReadString(BSTR, int32_t, int32_t, BSTR* pbsData) {
    return CopyText(u"echo:" + last_, pbsData);
}

HRESULT FakeConnection::WriteString(BSTR bsData, int32_t* plRetCount) {
    last_ = vr::BstrView(bsData);
    {
        HardwareScene& scene = HardwareScene::Get();
        std::lock_guard lock(scene.mutex);
        scene.written.push_back(last_);
    }
    if (plRetCount) {
        *plRetCount = static_cast<int32_t>(last_.size());
    }
    return S_OK;
}

// ---- FakeSocket ----

const vr::DispatchTable<FakeSocket>& FakeSocket::GetDispatchTable() {
    using D = vr::DispatchTable<FakeSocket>;
    static const D table(u"IVrSocket", {
                                           D::Method<&FakeSocket::QueryString>(
                                               4, u"QueryString",
                                               {u"bsInData", vr::Param(u"vbsTerm").Optional(),
                                                vr::Param(u"vlTimeout").Optional(),
                                                vr::Param(u"vlCount").Optional(), u"pbsOutData"}),
                                       });
    return table;
}

HRESULT FakeSocket::QueryString(BSTR bsInData, VARIANT, VARIANT, VARIANT, BSTR* pbsOutData) {
    return CopyText(name + u":" + std::u16string(vr::BstrView(bsInData)), pbsOutData);
}

// ---- FakeRigmont ----

const vr::DispatchTable<FakeRigmont>& FakeRigmont::GetDispatchTable() {
    using D = vr::DispatchTable<FakeRigmont>;
    static const D table(u"IVrRigmont", {
                                            D::Method<&FakeRigmont::GetRecordNames>(
                                                6, u"GetRecordNames", {u"bsRecordType", u"pvNames"}),
                                        });
    return table;
}

HRESULT FakeRigmont::NoteCreation(const std::u16string& name) {
    HardwareScene& scene = HardwareScene::Get();
    std::lock_guard lock(scene.mutex);
    if (scene.failing.count(name)) {
        return E_FAIL;
    }
    ++scene.created[name];
    return S_OK;
}

HRESULT FakeRigmont::CreateConnection(BSTR bsResource, VARIANT, IVrConnection** ppConnection) {
    std::u16string name(vr::BstrView(bsResource));
    if (HRESULT hr = NoteCreation(name); FAILED(hr)) {
        return hr;
    }
    vr::ComObjectPtr<FakeConnection> connection;
    if (HRESULT hr = vr::ComObject<FakeConnection>::Create(&connection); FAILED(hr)) {
        return hr;
    }
    return connection->QueryInterface(vr::uuidof<IVrConnection>(), reinterpret_cast<void**>(ppConnection));
}

HRESULT FakeRigmont::CreateSocket(BSTR bsResource, VARIANT, IVrSocket** ppSocket) {
    std::u16string name(vr::BstrView(bsResource));
    if (HRESULT hr = NoteCreation(name); FAILED(hr)) {
        return hr;
    }
    vr::ComObjectPtr<FakeSocket> socket;
    if (HRESULT hr = vr::ComObject<FakeSocket>::Create(&socket); FAILED(hr)) {
        return hr;
    }
    socket->name = name;
    return socket->QueryInterface(vr::uuidof<IVrSocket>(), reinterpret_cast<void**>(ppSocket));
}

HRESULT FakeRigmont::GetRecordNames(BSTR bsRecordType, VARIANT* pvNames) {
    HardwareScene& scene = HardwareScene::Get();
    std::lock_guard lock(scene.mutex);
    if (scene.namesFail) {
        return E_FAIL;
    }
    std::u16string_view type = vr::BstrView(bsRecordType);
    const std::vector<std::u16string>& names = type == u"socket" ? scene.sockets : scene.connections;
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(names.size()));
    for (LONG i = 0; i < static_cast<LONG>(names.size()); ++i) {
        VARIANT element;
        VariantInit(&element);
        element.vt = VT_BSTR;
        element.bstrVal = vr::AllocBstr(names[i]);
        (void)SafeArrayPutElement(array, &i, &element);
        (void)VariantClear(&element);
    }
    VariantInit(pvNames);
    pvNames->vt = VT_ARRAY | VT_VARIANT;
    pvNames->parray = array;
    return S_OK;
}

// ---- ClassRegistration ----

ClassRegistration::ClassRegistration(REFCLSID clsid, vr::server::CreateInstanceFn create) {
    vr::ComPtr<IClassFactory> factory;
    if (SUCCEEDED(vr::server::CreateClassFactory(create, IID_IClassFactory, factory.PutVoid()))) {
        (void)CoRegisterClassObject(clsid, factory.Get(), CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                    REGCLS_MULTIPLEUSE, &cookie_);
    }
}

ClassRegistration::~ClassRegistration() {
    if (cookie_) {
        (void)CoRevokeClassObject(cookie_);
    }
}

} // namespace scripvanetest
