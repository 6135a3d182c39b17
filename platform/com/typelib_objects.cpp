// The type library object: answering ITypeLib from the library's data, and building it (ICreateTypeLib).
#include "platform/com/typelib_objects.h"

#include "platform/base/file_write.h"
#include "platform/base/syserror.h"
#include "platform/base/text.h"
#include "platform/com/typelib_format.h"
#include "platform/com/typelib_typeinfo.h"

namespace vr::typelib {

HRESULT GiveText(std::u16string_view text, BSTR* out) {
    if (!out) {
        return S_OK;
    }
    *out = nullptr;
    if (text.empty()) {
        return S_OK;
    }
    *out = AllocBstr(text);
    return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT GiveDocumentation(std::u16string_view name, std::u16string_view doc, DWORD context,
                          std::u16string_view helpFile, BSTR* nameOut, BSTR* docOut, DWORD* contextOut,
                          BSTR* helpFileOut) {
    BSTR texts[3] = {};
    BSTR* outs[3] = {nameOut, docOut, helpFileOut};
    std::u16string_view values[3] = {name, doc, helpFile};
    for (int k = 0; k < 3; ++k) {
        if (HRESULT hr = GiveText(values[k], outs[k] ? &texts[k] : nullptr); FAILED(hr)) {
            for (BSTR text : texts) {
                SysFreeString(text);
            }
            return hr;
        }
    }
    for (int k = 0; k < 3; ++k) {
        if (outs[k]) {
            *outs[k] = texts[k];
        }
    }
    if (contextOut) {
        *contextOut = context;
    }
    return S_OK;
}

HRESULT MakeLoadedLibrary(LibData data, ITypeLib** lib) {
    ComObjectPtr<TypeLibObject> made;
    if (HRESULT hr = ComObject<TypeLibObject>::Create(&made); FAILED(hr)) {
        return hr;
    }
    made->InitLoaded(std::move(data));
    *lib = static_cast<ITypeLib*>(made.Detach());
    return S_OK;
}

namespace {

// Writes bytes to path in one step (platform/base/file_write.h), readable by everyone as a library file is.
HRESULT ReplaceFile(const std::string& path, std::string_view bytes) {
    vr::FileWriteResult saved = vr::WriteFileWhole(path, bytes, {vr::FileWriteMode::Replace, 0644});
    return saved ? S_OK : HResultFromErrno(saved.error);
}

} // namespace

// ---- the library's own parts ----

void TypeLibObject::InitCreated(SYSKIND sysKind, std::string path) {
    data_.sysKind = sysKind;
    path_ = std::move(path);
    writable_ = true;
}

HRESULT TypeLibObject::QueryUnlistedInterface(REFIID riid, void** ppv) {
    *ppv = nullptr;
    if (riid != uuidof<ICreateTypeLib>() || !writable_) {
        return E_NOINTERFACE;
    }
    *ppv = static_cast<ICreateTypeLib*>(this);
    static_cast<ICreateTypeLib*>(this)->AddRef();
    return S_OK;
}

HRESULT TypeLibObject::TypeInfoAt(UINT index, ITypeInfo** info) {
    if (index >= data_.types.size()) {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    ComObjectPtr<TypeInfoObject> made;
    if (HRESULT hr = ComObject<TypeInfoObject>::Create(&made); FAILED(hr)) {
        return hr;
    }
    made->Init(this, index);
    *info = static_cast<ITypeInfo*>(made.Detach());
    return S_OK;
}

bool TypeLibObject::IsOwnType(ITypeInfo* info, UINT* index) const {
    auto* object = dynamic_cast<TypeInfoObject*>(info);
    if (!object || object->Library() != this) {
        return false;
    }
    *index = object->Index();
    return true;
}

HRESULT TypeLibObject::ResolveRef(HREFTYPE ref, ITypeInfo** info) {
    if (!info) {
        return E_INVALIDARG;
    }
    *info = nullptr;
    if (ref >= data_.refs.size()) {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    const RefData& target = data_.refs[ref];
    if (target.local) {
        return TypeInfoAt(target.index, info);
    }
    if (ref < liveRefs_.size() && liveRefs_[ref]) {
        return liveRefs_[ref].CopyTo(info);
    }
    ComPtr<ITypeLib> other;
    if (HRESULT hr =
            LoadRegTypeLib(target.libGuid, target.libMajor, target.libMinor, data_.lcid, other.Put());
        FAILED(hr)) {
        return hr;
    }
    return other->GetTypeInfoOfGuid(target.typeGuid, info);
}

HRESULT TypeLibObject::AddReference(ITypeInfo* info, HREFTYPE* ref) {
    if (!info || !ref) {
        return E_INVALIDARG;
    }
    RefData wanted;
    UINT ownIndex = 0;
    if (IsOwnType(info, &ownIndex)) {
        wanted.index = ownIndex;
    } else {
        wanted.local = false;
        TYPEATTR* attr = nullptr;
        if (HRESULT hr = info->GetTypeAttr(&attr); FAILED(hr)) {
            return hr;
        }
        wanted.typeGuid = attr->guid;
        info->ReleaseTypeAttr(attr);
        ComPtr<ITypeLib> other;
        UINT unused = 0;
        if (SUCCEEDED(info->GetContainingTypeLib(other.Put(), &unused)) && other) {
            TLIBATTR* libAttr = nullptr;
            if (SUCCEEDED(other->GetLibAttr(&libAttr))) {
                wanted.libGuid = libAttr->guid;
                wanted.libMajor = libAttr->wMajorVerNum;
                wanted.libMinor = libAttr->wMinorVerNum;
                other->ReleaseTLibAttr(libAttr);
            }
        }
    }
    for (size_t k = 0; k < data_.refs.size(); ++k) {
        const RefData& known = data_.refs[k];
        bool same = known.local == wanted.local &&
                    (wanted.local ? known.index == wanted.index
                                  : known.typeGuid == wanted.typeGuid && known.libGuid == wanted.libGuid);
        if (same) {
            *ref = static_cast<HREFTYPE>(k);
            return S_OK;
        }
    }
    data_.refs.push_back(wanted);
    liveRefs_.resize(data_.refs.size());
    if (!wanted.local) {
        liveRefs_.back() = info;
    }
    *ref = static_cast<HREFTYPE>(data_.refs.size() - 1);
    return S_OK;
}

// ---- ITypeLib ----

HRESULT TypeLibObject::GetTypeInfo(UINT index, ITypeInfo** info) {
    if (!info) {
        return E_INVALIDARG;
    }
    *info = nullptr;
    return TypeInfoAt(index, info);
}

HRESULT TypeLibObject::GetTypeInfoType(UINT index, TYPEKIND* kind) {
    if (!kind) {
        return E_INVALIDARG;
    }
    if (index >= data_.types.size()) {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    *kind = data_.types[index].kind;
    return S_OK;
}

HRESULT TypeLibObject::GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** info) {
    if (!info) {
        return E_INVALIDARG;
    }
    *info = nullptr;
    for (size_t k = 0; k < data_.types.size(); ++k) {
        if (data_.types[k].guid == guid) {
            return TypeInfoAt(static_cast<UINT>(k), info);
        }
    }
    return TYPE_E_ELEMENTNOTFOUND;
}

HRESULT TypeLibObject::GetLibAttr(TLIBATTR** attr) {
    if (!attr) {
        return E_INVALIDARG;
    }
    *attr = new (std::nothrow) TLIBATTR{data_.guid,         data_.lcid,         data_.sysKind,
                                        data_.majorVersion, data_.minorVersion, data_.libFlags};
    return *attr ? S_OK : E_OUTOFMEMORY;
}

HRESULT TypeLibObject::GetTypeComp(ITypeComp** comp) {
    if (comp) {
        *comp = nullptr;
    }
    return E_NOTIMPL;
}

HRESULT TypeLibObject::GetDocumentation(INT index, BSTR* name, BSTR* docString, DWORD* helpContext,
                                        BSTR* helpFile) {
    if (index == -1) {
        return GiveDocumentation(data_.name, data_.doc, data_.helpContext, data_.helpFile, name, docString,
                                 helpContext, helpFile);
    }
    if (index < 0 || static_cast<size_t>(index) >= data_.types.size()) {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    const TypeData& type = data_.types[index];
    return GiveDocumentation(type.name, type.doc, type.helpContext, data_.helpFile, name, docString,
                             helpContext, helpFile);
}

namespace {

// Calls found(type index, member id, spelling) for each type and member named name (any case) until it
// answers false.
template <class Found>
void ForEachNamed(const LibData& lib, std::u16string_view name, Found found) {
    for (size_t t = 0; t < lib.types.size(); ++t) {
        const TypeData& type = lib.types[t];
        if (EqualsNoCase(type.name, name) && !found(t, MEMBERID_NIL, type.name)) {
            return;
        }
        for (const FuncData& func : type.funcs) {
            if (!func.names.empty() && EqualsNoCase(func.names[0], name) &&
                !found(t, func.memid, func.names[0])) {
                return;
            }
        }
        for (const VarData& var : type.vars) {
            if (EqualsNoCase(var.name, name) && !found(t, var.memid, var.name)) {
                return;
            }
        }
    }
}

} // namespace

HRESULT TypeLibObject::IsName(LPOLESTR name, ULONG, BOOL* found) {
    if (!name || !found) {
        return E_INVALIDARG;
    }
    *found = FALSE;
    ForEachNamed(data_, U16View(name), [&](size_t, MEMBERID, const std::u16string& spelling) {
        spelling.copy(name, spelling.size()); // the library's spelling, as callers expect it back
        *found = TRUE;
        return false;
    });
    return S_OK;
}

HRESULT TypeLibObject::FindName(LPOLESTR name, ULONG, ITypeInfo** infos, MEMBERID* ids, USHORT* found) {
    if (!name || !infos || !ids || !found) {
        return E_INVALIDARG;
    }
    USHORT wanted = *found;
    USHORT given = 0;
    HRESULT result = S_OK;
    ForEachNamed(data_, U16View(name), [&](size_t type, MEMBERID id, const std::u16string&) {
        if (given >= wanted) {
            return false;
        }
        if (HRESULT hr = TypeInfoAt(static_cast<UINT>(type), &infos[given]); FAILED(hr)) {
            result = hr;
            return false;
        }
        ids[given++] = id;
        return true;
    });
    if (FAILED(result)) {
        for (USHORT k = 0; k < given; ++k) {
            infos[k]->Release();
            infos[k] = nullptr;
        }
        given = 0;
    }
    *found = given;
    return result;
}

// ---- ICreateTypeLib ----

HRESULT TypeLibObject::CreateTypeInfo(LPOLESTR name, TYPEKIND kind, ICreateTypeInfo** info) {
    if (!name || !*name || !info) {
        return E_INVALIDARG;
    }
    *info = nullptr;
    if (kind != TKIND_ENUM && kind != TKIND_INTERFACE && kind != TKIND_DISPATCH && kind != TKIND_COCLASS) {
        return E_NOTIMPL;
    }
    for (const TypeData& type : data_.types) {
        if (EqualsNoCase(type.name, U16View(name))) {
            return TYPE_E_NAMECONFLICT;
        }
    }
    TypeData& added = data_.types.emplace_back();
    added.name = U16View(name);
    added.kind = kind;
    ComPtr<ITypeInfo> made;
    if (HRESULT hr = TypeInfoAt(static_cast<UINT>(data_.types.size() - 1), made.Put()); FAILED(hr)) {
        data_.types.pop_back();
        return hr;
    }
    return made->QueryInterface(uuidof<ICreateTypeInfo>(), reinterpret_cast<void**>(info));
}

HRESULT TypeLibObject::SetName(LPOLESTR name) {
    if (!name) {
        return E_INVALIDARG;
    }
    data_.name = U16View(name);
    return S_OK;
}

HRESULT TypeLibObject::SetVersion(WORD major, WORD minor) {
    data_.majorVersion = major;
    data_.minorVersion = minor;
    return S_OK;
}

HRESULT TypeLibObject::SetGuid(REFGUID guid) {
    data_.guid = guid;
    return S_OK;
}

HRESULT TypeLibObject::SetDocString(LPOLESTR doc) {
    data_.doc = U16View(doc);
    return S_OK;
}

HRESULT TypeLibObject::SetHelpFileName(LPOLESTR helpFile) {
    data_.helpFile = U16View(helpFile);
    return S_OK;
}

HRESULT TypeLibObject::SetHelpContext(DWORD context) {
    data_.helpContext = context;
    return S_OK;
}

HRESULT TypeLibObject::SetLcid(LCID lcid) {
    data_.lcid = lcid;
    return S_OK;
}

HRESULT TypeLibObject::SetLibFlags(UINT flags) {
    if (flags > 0xFFFF) {
        return E_INVALIDARG;
    }
    data_.libFlags = static_cast<WORD>(flags);
    return S_OK;
}

HRESULT TypeLibObject::SaveAllChanges() {
    if (!IsConsistent(data_)) {
        return TYPE_E_INVDATAREAD;
    }
    if (HRESULT hr = CheckInheritance(data_); FAILED(hr)) {
        return hr;
    }
    std::string bytes;
    if (HRESULT hr = EncodeLibrary(data_, &bytes); FAILED(hr)) {
        return hr;
    }
    return ReplaceFile(path_, bytes);
}

} // namespace vr::typelib
