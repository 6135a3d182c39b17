// The objects of a type library over its data: the library (ITypeLib, and ICreateTypeLib while it is built)
// and its types (ITypeInfo, and ICreateTypeInfo while the library is built).
#pragma once

#include "platform/com/object.h"
#include "platform/com/typelib.h"
#include "platform/com/typelib_data.h"

#include <string>

namespace vr::typelib {

// Threads: a library being built belongs to one thread. A loaded one never changes, so its data is read
// without a lock; only the records handed out (TYPEATTR, FUNCDESC, ...) are kept under one.
class TypeLibObject : public ObjectRoot, public ITypeLib, public ICreateTypeLib {
public:
    static constexpr bool kLocksModule = false;
    static constexpr bool kAggregatable = false;
    using Interfaces = InterfaceList<ITypeLib>;

    // A loaded library.
    void InitLoaded(LibData data) { data_ = std::move(data); }
    // A library being built, saved to path.
    void InitCreated(SYSKIND sysKind, std::string path);

    const LibData& Data() const { return data_; }
    LibData& MutableData() { return data_; }
    bool IsWritable() const { return writable_; }
    const std::string& Path() const { return path_; }

    // The type information of the type at index, a new object over the library's data.
    [[nodiscard]] HRESULT TypeInfoAt(UINT index, ITypeInfo** info);
    // The type a reference names: one of this library's, or one of a loaded or registered library.
    [[nodiscard]] HRESULT ResolveRef(HREFTYPE ref, ITypeInfo** info);
    // A reference to info (the same one when it is referenced already); the library is building.
    [[nodiscard]] HRESULT AddReference(ITypeInfo* info, HREFTYPE* ref);
    // Whether info is a type of this library, and which.
    bool IsOwnType(ITypeInfo* info, UINT* index) const;

    // ICreateTypeLib is answered only while the library is being built.
    HRESULT QueryUnlistedInterface(REFIID riid, void** ppv);

    // ITypeLib
    UINT GetTypeInfoCount() override { return static_cast<UINT>(data_.types.size()); }
    HRESULT GetTypeInfo(UINT index, ITypeInfo** info) override;
    HRESULT GetTypeInfoType(UINT index, TYPEKIND* kind) override;
    HRESULT GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** info) override;
    HRESULT GetLibAttr(TLIBATTR** attr) override;
    HRESULT GetTypeComp(ITypeComp** comp) override;
    HRESULT GetDocumentation(INT index, BSTR* name, BSTR* docString, DWORD* helpContext,
                             BSTR* helpFile) override;
    HRESULT IsName(LPOLESTR name, ULONG hash, BOOL* found) override;
    HRESULT FindName(LPOLESTR name, ULONG hash, ITypeInfo** infos, MEMBERID* ids, USHORT* found) override;
    void ReleaseTLibAttr(TLIBATTR* attr) override { delete attr; }

    // ICreateTypeLib
    HRESULT CreateTypeInfo(LPOLESTR name, TYPEKIND kind, ICreateTypeInfo** info) override;
    HRESULT SetName(LPOLESTR name) override;
    HRESULT SetVersion(WORD major, WORD minor) override;
    HRESULT SetGuid(REFGUID guid) override;
    HRESULT SetDocString(LPOLESTR doc) override;
    HRESULT SetHelpFileName(LPOLESTR helpFile) override;
    HRESULT SetHelpContext(DWORD context) override;
    HRESULT SetLcid(LCID lcid) override;
    HRESULT SetLibFlags(UINT flags) override;
    HRESULT SaveAllChanges() override;

private:
    LibData data_;
    std::string path_;
    bool writable_ = false;
    // Types of other libraries referenced while building, so that references to a library not saved or
    // registered yet resolve. Parallel to data_.refs (null for local ones).
    std::vector<ComPtr<ITypeInfo>> liveRefs_;
};

// Fills the out-texts of GetDocumentation-style calls; null out pointers are skipped, empty text gives null.
[[nodiscard]] HRESULT GiveText(std::u16string_view text, BSTR* out);
// The texts of a library, a type or a member for GetDocumentation; on failure nothing is handed out.
[[nodiscard]] HRESULT GiveDocumentation(std::u16string_view name, std::u16string_view doc, DWORD context,
                                        std::u16string_view helpFile, BSTR* nameOut, BSTR* docOut,
                                        DWORD* contextOut, BSTR* helpFileOut);

// A new library object over data.
[[nodiscard]] HRESULT MakeLoadedLibrary(LibData data, ITypeLib** lib);

} // namespace vr::typelib
