// The device object: its creation from the registration and the hardware manager, and the forwarding calls.
#include "DeviceObject.h"

#include "DeviceLibrary.h"

#include "Rigmont/include/rigmont.h"
#include "platform/base/text.h"
#include "platform/com/activation.h"
#include "platform/com/bstr.h"
#include "platform/com/errorinfo.h"
#include "platform/com/guid.h"
#include "platform/com/module.h"
#include "platform/com/variant.h"
#include "platform/registry/registry.h"

#include <cstdio>

namespace templon {
namespace {

// The hardware manager's member that builds a socket from its record (IVrRigmont, DISPID 2). The manager is
// called through IDispatch so that a library copied away from the program folder needs no typed proxies.
constexpr DISPID kCreateSocket = 2;

std::u16string HexCode(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return vr::FromUtf8(text);
}

// The thread's error description, if the failing call left one.
std::u16string ThreadErrorText() {
    vr::ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.Put()) != S_OK || !info) {
        return {};
    }
    BSTR description = nullptr;
    std::u16string text;
    if (SUCCEEDED(info->GetDescription(&description)) && description) {
        text.assign(description, SysStringLen(description));
    }
    SysFreeString(description);
    return text;
}

// The device name written under the class key by the library's registration.
HRESULT ReadDeviceName(std::u16string* name) {
    std::u16string key = u"CLSID\\" + vr::GuidToString(ThisLibrary().clsid);
    HKEY opened = nullptr;
    LONG status = RegOpenKeyEx(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &opened);
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (status == ERROR_SUCCESS) {
        status = RegQueryValueEx(opened, u"DeviceName", nullptr, &type, nullptr, &size);
    }
    std::u16string text(size / sizeof(char16_t), u'\0');
    if (status == ERROR_SUCCESS && type == REG_SZ) {
        status = RegQueryValueEx(opened, u"DeviceName", nullptr, &type, reinterpret_cast<BYTE*>(text.data()),
                                 &size);
    }
    if (opened) {
        (void)RegCloseKey(opened); // a read-only handle: nothing is lost if closing fails
    }
    if (status != ERROR_SUCCESS || type != REG_SZ) {
        return ReportDeviceError(REGDB_E_CLASSNOTREG, u"The device class " + key.substr(6) +
                                                          u" has no device name in the registry: register "
                                                          u"its library first.");
    }
    *name = text.substr(0, text.find(u'\0')); // the stored terminator, and anything after it, goes
    return S_OK;
}

// The device's socket, built by the hardware manager from the device's socket record.
HRESULT CreateSocket(const std::u16string& device, vr::ComPtr<IDispatch>* socket) {
    vr::ComPtr<IDispatch> manager;
    HRESULT hr =
        CoCreateInstance(CLSID_VrRigmont, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch, manager.PutVoid());
    if (FAILED(hr)) {
        std::u16string why = ThreadErrorText();
        return ReportDeviceError(hr, u"Device '" + device + u"': the hardware manager cannot be reached (" +
                                         (why.empty() ? HexCode(hr) : why) + u").");
    }
    VARIANT arguments[2]; // reversed: the setup string, then the record's name
    VariantInit(&arguments[0]);
    VariantInit(&arguments[1]);
    arguments[0].vt = VT_BSTR;
    arguments[0].bstrVal = SysAllocString(u"");
    arguments[1].vt = VT_BSTR;
    arguments[1].bstrVal = SysAllocStringLen(device.data(), static_cast<UINT>(device.size()));
    DISPPARAMS params{arguments, nullptr, 2, 0};
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO excep{};
    hr = manager->Invoke(kCreateSocket, IID_NULL, 0, DISPATCH_METHOD, &params, &result, &excep, nullptr);
    (void)VariantClear(&arguments[0]); // strings: clearing cannot fail
    (void)VariantClear(&arguments[1]);
    std::u16string why = excep.bstrDescription
                             ? std::u16string(excep.bstrDescription, SysStringLen(excep.bstrDescription))
                             : HexCode(excep.scode ? excep.scode : hr);
    HRESULT cause =
        hr == DISP_E_EXCEPTION && FAILED(excep.scode) ? excep.scode : hr; // the manager's own code
    vr::ClearExcepInfo(&excep);
    if (SUCCEEDED(hr) && (result.vt == VT_DISPATCH || result.vt == VT_UNKNOWN) && result.punkVal) {
        hr = result.punkVal->QueryInterface(IID_IDispatch, socket->PutVoid());
    } else if (SUCCEEDED(hr)) {
        hr = E_UNEXPECTED;
        why = u"the hardware manager gave no socket";
    }
    (void)VariantClear(&result); // drops the reference the result held; the socket keeps its own
    if (FAILED(hr)) {
        return ReportDeviceError(FAILED(cause) ? cause : hr,
                                 u"Device '" + device + u"': its socket cannot be made: " + why);
    }
    return S_OK;
}

} // namespace

HRESULT DeviceObject::Create(IUnknown* outer, REFIID riid, void** ppv) {
    if (!ppv) {
        return E_POINTER;
    }
    *ppv = nullptr;
    if (outer) {
        return CLASS_E_NOAGGREGATION;
    }
    const DeviceLibrary& library = ThisLibrary();
    if (FAILED(library.status)) {
        return ReportDeviceError(library.status, u"The device library " + library.modulePath +
                                                     u" is damaged: " + library.failure);
    }
    std::u16string device;
    if (HRESULT hr = ReadDeviceName(&device); FAILED(hr)) {
        return hr;
    }
    vr::ComPtr<IDispatch> socket;
    if (HRESULT hr = CreateSocket(device, &socket); FAILED(hr)) {
        return hr;
    }
    auto* object = new (std::nothrow) DeviceObject(std::move(socket));
    if (!object) {
        return E_OUTOFMEMORY;
    }
    HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
}

DeviceObject::DeviceObject(vr::ComPtr<IDispatch> socket) : socket_(std::move(socket)) {
    vr::module::Lock();
}

DeviceObject::~DeviceObject() {
    socket_ = nullptr; // the socket goes before the library may be unloaded
    vr::module::Unlock();
}

HRESULT DeviceObject::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) {
        return E_POINTER;
    }
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == ThisLibrary().iid) {
        *ppv = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG DeviceObject::AddRef() {
    return refs_.fetch_add(1, std::memory_order_relaxed) + 1;
}

ULONG DeviceObject::Release() {
    ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) {
        delete this;
    }
    return left;
}

HRESULT DeviceObject::GetTypeInfoCount(UINT* count) {
    if (!count) {
        return E_POINTER;
    }
    *count = 1;
    return S_OK;
}

HRESULT DeviceObject::GetTypeInfo(UINT index, LCID /*lcid*/, ITypeInfo** info) {
    if (!info) {
        return E_POINTER;
    }
    *info = nullptr;
    if (index != 0) {
        return DISP_E_BADINDEX;
    }
    *info = ThisLibrary().dispatchInfo.Get();
    (*info)->AddRef();
    return S_OK;
}

HRESULT DeviceObject::GetIDsOfNames(REFIID /*riid*/, LPOLESTR* names, UINT count, LCID /*lcid*/,
                                    DISPID* ids) {
    return ThisLibrary().dispatchInfo->GetIDsOfNames(names, count, ids);
}

HRESULT DeviceObject::SocketIdOf(DISPID id, DISPID* socketId) {
    if (auto known = socketIds_.find(id); known != socketIds_.end()) {
        *socketId = known->second;
        return S_OK;
    }
    const auto& names = ThisLibrary().memberNames;
    auto member = names.find(id);
    if (member == names.end()) {
        return DISP_E_MEMBERNOTFOUND;
    }
    std::u16string name = member->second;
    LPOLESTR nameText = name.data();
    HRESULT hr = socket_->GetIDsOfNames(IID_NULL, &nameText, 1, 0, socketId);
    if (hr == DISP_E_UNKNOWNNAME) {
        return ReportDeviceError(DISP_E_MEMBERNOTFOUND, u"The device's socket has no member '" + name +
                                                            u"': the device library is older than its "
                                                            u"adapter file, generate it again.");
    }
    if (SUCCEEDED(hr)) {
        socketIds_[id] = *socketId;
    }
    return hr;
}

HRESULT DeviceObject::Invoke(DISPID id, REFIID /*riid*/, LCID lcid, WORD flags, DISPPARAMS* params,
                             VARIANT* result, EXCEPINFO* excep, UINT* argError) {
    DISPID socketId = DISPID_UNKNOWN;
    HRESULT hr = SocketIdOf(id, &socketId);
    if (FAILED(hr)) {
        if (excep && hr != DISP_E_MEMBERNOTFOUND) {
            vr::FillExcepInfo(excep, hr);
            return DISP_E_EXCEPTION;
        }
        return hr;
    }
    return socket_->Invoke(socketId, IID_NULL, lcid, flags, params, result, excep, argError);
}

} // namespace templon
