// The type information of one type of a library (ITypeInfo), and its building face (ICreateTypeInfo).
#pragma once

#include "platform/com/typelib_objects.h"

#include <deque>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace vr::typelib {

// The records a GetFuncDesc or GetVarDesc hands out, with everything they point to; freed by the matching
// Release call.
struct DescRecord {
    FUNCDESC func{};
    VARDESC var{};
    std::vector<ELEMDESC> params;
    std::deque<TYPEDESC> nested;
    std::deque<PARAMDESCEX> defaults;
    VARIANT value{};

    DescRecord() = default;
    DescRecord(const DescRecord&) = delete;
    DescRecord& operator=(const DescRecord&) = delete;
    ~DescRecord();
};

// Threads: as its library (typelib_objects.h); the records handed out are kept under a lock, so several
// threads may read a loaded type at once.
class TypeInfoObject : public ObjectRoot, public ITypeInfo, public ICreateTypeInfo {
public:
    static constexpr bool kLocksModule = false;
    static constexpr bool kAggregatable = false;
    using Interfaces = InterfaceList<ITypeInfo>;

    void Init(TypeLibObject* lib, UINT index);
    TypeLibObject* Library() const { return libObject_; }
    UINT Index() const { return index_; }

    // ICreateTypeInfo is answered only while the library is being built.
    HRESULT QueryUnlistedInterface(REFIID riid, void** ppv);

    // ITypeInfo
    HRESULT GetTypeAttr(TYPEATTR** attr) override;
    HRESULT GetTypeComp(ITypeComp** comp) override;
    HRESULT GetFuncDesc(UINT index, FUNCDESC** desc) override;
    HRESULT GetVarDesc(UINT index, VARDESC** desc) override;
    HRESULT GetNames(MEMBERID id, BSTR* names, UINT maxNames, UINT* count) override;
    HRESULT GetRefTypeOfImplType(UINT index, HREFTYPE* ref) override;
    HRESULT GetImplTypeFlags(UINT index, INT* flags) override;
    HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) override;
    HRESULT Invoke(void* instance, MEMBERID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* excep, UINT* argError) override;
    HRESULT GetDocumentation(MEMBERID id, BSTR* name, BSTR* docString, DWORD* helpContext,
                             BSTR* helpFile) override;
    HRESULT GetDllEntry(MEMBERID, INVOKEKIND, BSTR*, BSTR*, WORD*) override { return TYPE_E_ELEMENTNOTFOUND; }
    HRESULT GetRefTypeInfo(HREFTYPE ref, ITypeInfo** info) override;
    HRESULT AddressOfMember(MEMBERID, INVOKEKIND, void**) override { return E_NOTIMPL; }
    HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override;
    HRESULT GetMops(MEMBERID, BSTR* mops) override;
    HRESULT GetContainingTypeLib(ITypeLib** lib, UINT* index) override;
    void ReleaseTypeAttr(TYPEATTR* attr) override { delete attr; }
    void ReleaseFuncDesc(FUNCDESC* desc) override { ReleaseRecord(desc); }
    void ReleaseVarDesc(VARDESC* desc) override { ReleaseRecord(desc); }

    // ICreateTypeInfo
    HRESULT SetGuid(REFGUID guid) override;
    HRESULT SetTypeFlags(UINT flags) override;
    HRESULT SetDocString(LPOLESTR doc) override;
    HRESULT SetHelpContext(DWORD context) override;
    HRESULT SetVersion(WORD major, WORD minor) override;
    HRESULT AddRefTypeInfo(ITypeInfo* info, HREFTYPE* ref) override;
    HRESULT AddFuncDesc(UINT index, FUNCDESC* desc) override;
    HRESULT AddImplType(UINT index, HREFTYPE ref) override;
    HRESULT SetImplTypeFlags(UINT index, INT flags) override;
    HRESULT SetAlignment(WORD alignment) override;
    HRESULT SetSchema(LPOLESTR) override { return S_OK; }
    HRESULT AddVarDesc(UINT index, VARDESC* desc) override;
    HRESULT SetFuncAndParamNames(UINT index, LPOLESTR* names, UINT count) override;
    HRESULT SetVarName(UINT index, LPOLESTR name) override;
    HRESULT SetTypeDescAlias(TYPEDESC*) override { return E_NOTIMPL; }
    HRESULT DefineFuncAsDllEntry(UINT, LPOLESTR, LPOLESTR) override { return E_NOTIMPL; }
    HRESULT SetFuncDocString(UINT index, LPOLESTR doc) override;
    HRESULT SetVarDocString(UINT index, LPOLESTR doc) override;
    HRESULT SetFuncHelpContext(UINT index, DWORD context) override;
    HRESULT SetVarHelpContext(UINT index, DWORD context) override;
    HRESULT SetMops(UINT, BSTR) override { return S_OK; }
    HRESULT SetTypeIdldesc(IDLDESC*) override { return S_OK; }
    HRESULT LayOut() override;

private:
    const TypeData& Data() const { return libObject_->Data().types[index_]; }
    TypeData& MutableData() { return libObject_->MutableData().types[index_]; }
    const FuncData* FindFunc(MEMBERID id) const;
    const FuncData* FindFunc(std::u16string_view name) const;
    const VarData* FindVar(MEMBERID id) const;
    // TYPE_E_CIRCULARTYPE when the chain of bases does not end within kMaxInheritanceDepth types.
    [[nodiscard]] HRESULT VtableSize(WORD* size) const;
    [[nodiscard]] HRESULT Keep(std::unique_ptr<DescRecord> record, const void* key);
    void ReleaseRecord(const void* key);

    ComPtr<ITypeLib> lib_; // keeps the library, and so the data, alive
    TypeLibObject* libObject_ = nullptr;
    UINT index_ = 0;
    std::mutex recordsMutex_;
    std::unordered_map<const void*, std::unique_ptr<DescRecord>> records_;
};

} // namespace vr::typelib
