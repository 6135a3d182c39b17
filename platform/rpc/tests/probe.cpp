// The probe object of the cross-process tests.
#include "platform/rpc/tests/probe.h"

#include "platform/com/dispatch_table.h"
#include "platform/com/object.h"
#include "platform/com/server.h"
#include "platform/rpc/channel.h"
#include "platform/rpc/local_server.h"

#include <chrono>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace rpctest {

namespace {

class CProbe : public vr::ObjectRoot, public vr::CoClass<CProbe>, public vr::DispatchImpl<CProbe, IDispatch> {
public:
    using Interfaces = vr::InterfaceList<IDispatch>;
    static const vr::DispatchTable<CProbe>& GetDispatchTable();

    HRESULT Echo(VARIANT value, VARIANT* copy) { return VariantCopy(copy, &value); }
    HRESULT Turn(BSTR* text, LONG* number, LONG* length) {
        std::u16string turned(*text ? *text : u"", *text ? SysStringLen(*text) : 0);
        std::reverse(turned.begin(), turned.end());
        SysFreeString(*text);
        *text = SysAllocStringLen(turned.data(), static_cast<UINT>(turned.size()));
        *number *= 2;
        *length = static_cast<LONG>(turned.size());
        return S_OK;
    }
    HRESULT Fail(LONG hr, BSTR description) {
        return vr::ReportError(hr, CLSID_RpcProbe, u"Probe", description ? description : u"");
    }
    HRESULT Bounce(IDispatch* peer, LONG depth, LONG* reached) {
        bounceThread_ = ThisThreadId();
        if (depth <= 0 || !peer) {
            *reached = 0;
            return S_OK;
        }
        VARIANT self;
        self.vt = VT_DISPATCH;
        self.pdispVal = this;
        VARIANT next;
        next.vt = VT_I4;
        next.lVal = depth - 1;
        VARIANT result;
        VariantInit(&result);
        HRESULT hr = CallProbe(peer, kBounce, {self, next}, &result);
        *reached = SUCCEEDED(hr) ? result.lVal + 1 : 0;
        return hr;
    }
    HRESULT MakeChild(LONG tag, IDispatch** child) {
        *child = MakeProbe(tag).Detach();
        return S_OK;
    }
    HRESULT Tag(LONG* tag) {
        *tag = tag_;
        return S_OK;
    }
    HRESULT Thread(LONGLONG* thread) {
        *thread = ThisThreadId();
        return S_OK;
    }
    HRESULT ProcessId(LONG* pid) {
        *pid = static_cast<LONG>(getpid());
        return S_OK;
    }
    HRESULT Sleep(LONG ms) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        return S_OK;
    }
    HRESULT Locks(LONG* locks) {
        *locks = static_cast<LONG>(vr::rpc::ServerProcessLocks());
        return S_OK;
    }
    HRESULT Keep(IDispatch* object) {
        kept_ = object;
        return S_OK;
    }
    HRESULT Kept(IDispatch** object) { return kept_.CopyTo(object); }
    HRESULT BounceThread(LONGLONG* thread) {
        *thread = bounceThread_;
        return S_OK;
    }
    HRESULT HandOffs(LONGLONG* count) {
        *count = static_cast<LONGLONG>(vr::rpc::ReaderHandOffs());
        return S_OK;
    }

    LONG tag_ = 0;

private:
    vr::ComPtr<IDispatch> kept_;
    LONGLONG bounceThread_ = 0;
};

const vr::DispatchTable<CProbe>& CProbe::GetDispatchTable() {
    using C = CProbe;
    using D = vr::DispatchTable<C>;
    static const D table(u"IProbe",
                         {
                             D::Method<&C::Echo>(kEcho, u"Echo", {u"value", u"copy"}),
                             D::Method<&C::Turn>(kTurn, u"Turn", {u"text", u"number", u"length"}),
                             D::Method<&C::Fail>(kFail, u"Fail", {u"hr", u"description"}),
                             D::Method<&C::Bounce>(kBounce, u"Bounce", {u"peer", u"depth", u"reached"}),
                             D::Method<&C::MakeChild>(kMakeChild, u"MakeChild", {u"tag", u"child"}),
                             D::PropGet<&C::Tag>(kTag, u"Tag", {u"tag"}),
                             D::PropGet<&C::Thread>(kThread, u"Thread", {u"thread"}),
                             D::PropGet<&C::ProcessId>(kProcessId, u"ProcessId", {u"pid"}),
                             D::Method<&C::Sleep>(kSleep, u"Sleep", {u"ms"}),
                             D::PropGet<&C::Locks>(kLocks, u"Locks", {u"locks"}),
                             D::Method<&C::Keep>(kKeep, u"Keep", {u"object"}),
                             D::PropGet<&C::Kept>(kKept, u"Kept", {u"object"}),
                             D::PropGet<&C::BounceThread>(kBounceThread, u"BounceThread", {u"thread"}),
                             D::PropGet<&C::HandOffs>(kHandOffs, u"HandOffs", {u"count"}),
                         });
    return table;
}

} // namespace

vr::ComPtr<IDispatch> MakeProbe(LONG tag) {
    vr::ComPtr<vr::ComObject<CProbe>> made;
    static_cast<void>(vr::ComObject<CProbe>::Create(&made));
    made->tag_ = tag;
    vr::ComPtr<IDispatch> probe;
    static_cast<void>(made.As(&probe));
    return probe;
}

LONGLONG ThisThreadId() {
    return static_cast<LONGLONG>(syscall(SYS_gettid));
}

HRESULT CallProbe(IDispatch* probe, DISPID member, std::initializer_list<VARIANT> args, VARIANT* result,
                  EXCEPINFO* excep) {
    std::vector<VARIANT> reversed(args.begin(), args.end());
    std::reverse(reversed.begin(), reversed.end());
    DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr,
                      static_cast<UINT>(reversed.size()), 0};
    WORD flags = DISPATCH_METHOD | DISPATCH_PROPERTYGET;
    return probe->Invoke(member, IID_NULL, 0, flags, &params, result, excep, nullptr);
}

// The factory of the probe class, for the server program.
HRESULT CreateProbeFactory(REFIID riid, void** ppv) {
    return vr::server::CreateClassFactory<CProbe>(riid, ppv);
}

} // namespace rpctest
