// Reading the copy's own type library: its class, the class's default dispatch interface and its members.
#include "DeviceLibrary.h"

#include "platform/base/text.h"
#include "platform/com/errorinfo.h"
#include "platform/resources/this_module.h"

namespace templon {
namespace {

// The first coclass of the library (a device library holds one), and its default interface.
HRESULT FindClass(DeviceLibrary& library) {
    UINT count = library.library->GetTypeInfoCount();
    for (UINT i = 0; i < count; ++i) {
        TYPEKIND kind = TKIND_MAX;
        if (FAILED(library.library->GetTypeInfoType(i, &kind)) || kind != TKIND_COCLASS) {
            continue;
        }
        vr::ComPtr<ITypeInfo> classInfo;
        if (HRESULT hr = library.library->GetTypeInfo(i, classInfo.Put()); FAILED(hr)) {
            return hr;
        }
        TYPEATTR* attr = nullptr;
        if (HRESULT hr = classInfo->GetTypeAttr(&attr); FAILED(hr)) {
            return hr;
        }
        library.clsid = attr->guid;
        WORD interfaces = attr->cImplTypes;
        classInfo->ReleaseTypeAttr(attr);
        for (UINT impl = 0; impl < interfaces; ++impl) {
            INT flags = 0;
            HREFTYPE ref = 0;
            if (SUCCEEDED(classInfo->GetImplTypeFlags(impl, &flags)) && (flags & IMPLTYPEFLAG_FDEFAULT) &&
                SUCCEEDED(classInfo->GetRefTypeOfImplType(impl, &ref))) {
                return classInfo->GetRefTypeInfo(ref, library.dispatchInfo.Put());
            }
        }
        HREFTYPE first = 0;
        if (interfaces > 0 && SUCCEEDED(classInfo->GetRefTypeOfImplType(0, &first))) {
            return classInfo->GetRefTypeInfo(first, library.dispatchInfo.Put());
        }
        library.failure = u"the class of the type library implements no interface";
        return TYPE_E_ELEMENTNOTFOUND;
    }
    library.failure = u"the type library holds no class";
    return TYPE_E_ELEMENTNOTFOUND;
}

HRESULT ReadMembers(DeviceLibrary& library) {
    TYPEATTR* attr = nullptr;
    if (HRESULT hr = library.dispatchInfo->GetTypeAttr(&attr); FAILED(hr)) {
        return hr;
    }
    library.iid = attr->guid;
    WORD functions = attr->cFuncs;
    library.dispatchInfo->ReleaseTypeAttr(attr);
    for (UINT i = 0; i < functions; ++i) {
        FUNCDESC* function = nullptr;
        if (HRESULT hr = library.dispatchInfo->GetFuncDesc(i, &function); FAILED(hr)) {
            return hr;
        }
        MEMBERID id = function->memid;
        library.dispatchInfo->ReleaseFuncDesc(function);
        BSTR name = nullptr;
        UINT count = 0;
        if (HRESULT hr = library.dispatchInfo->GetNames(id, &name, 1, &count); FAILED(hr)) {
            return hr;
        }
        if (count == 1 && name) {
            library.memberNames[id] = std::u16string(name, SysStringLen(name));
        }
        SysFreeString(name);
    }
    return S_OK;
}

HRESULT ReadIdentity(DeviceLibrary& library) {
    TLIBATTR* attr = nullptr;
    if (HRESULT hr = library.library->GetLibAttr(&attr); FAILED(hr)) {
        return hr;
    }
    library.libid = attr->guid;
    library.majorVersion = attr->wMajorVerNum;
    library.minorVersion = attr->wMinorVerNum;
    library.library->ReleaseTLibAttr(attr);
    return S_OK;
}

DeviceLibrary Load() {
    DeviceLibrary library;
    library.modulePath = vr::FromUtf8(vr::ThisModulePath());
    HRESULT hr = LoadTypeLib(library.modulePath.c_str(), library.library.Put());
    if (FAILED(hr)) {
        library.failure = u"the library's type library cannot be read";
    } else {
        hr = ReadIdentity(library);
    }
    if (SUCCEEDED(hr)) {
        hr = FindClass(library);
    }
    if (SUCCEEDED(hr)) {
        hr = ReadMembers(library);
    }
    if (FAILED(hr) && library.failure.empty()) {
        library.failure = u"the library's type library cannot be read";
    }
    library.status = hr;
    return library;
}

} // namespace

const DeviceLibrary& ThisLibrary() {
    static const DeviceLibrary library = Load();
    return library;
}

HRESULT ReportDeviceError(HRESULT hr, const std::u16string& description) {
    return vr::ReportError(hr, IID_IDispatch, u"Templon", description);
}

} // namespace templon
