// Type information: ITypeInfo, ITypeLib and ITypeComp with their records, and an in-memory dispatch-interface
// description built from data (the dispatch tables of platform/com/dispatch_table.h use it).
#pragma once

#include "platform/com/dispatch.h"

#include <string>
#include <vector>

struct ITypeLib;
struct ITypeComp;

using HREFTYPE = DWORD;

inline constexpr MEMBERID MEMBERID_NIL = DISPID_UNKNOWN;

enum TYPEKIND : int32_t {
    TKIND_ENUM = 0,
    TKIND_RECORD,
    TKIND_MODULE,
    TKIND_INTERFACE,
    TKIND_DISPATCH,
    TKIND_COCLASS,
    TKIND_ALIAS,
    TKIND_UNION,
    TKIND_MAX,
};

enum FUNCKIND : int32_t {
    FUNC_VIRTUAL = 0,
    FUNC_PUREVIRTUAL,
    FUNC_NONVIRTUAL,
    FUNC_STATIC,
    FUNC_DISPATCH,
};

enum INVOKEKIND : int32_t {
    INVOKE_FUNC = 1,
    INVOKE_PROPERTYGET = 2,
    INVOKE_PROPERTYPUT = 4,
    INVOKE_PROPERTYPUTREF = 8,
};

enum CALLCONV : int32_t {
    CC_FASTCALL = 0,
    CC_CDECL = 1,
    CC_MSCPASCAL = 2,
    CC_PASCAL = CC_MSCPASCAL,
    CC_MACPASCAL = 3,
    CC_STDCALL = 4,
    CC_FPFASTCALL = 5,
    CC_SYSCALL = 6,
    CC_MPWCDECL = 7,
    CC_MPWPASCAL = 8,
    CC_MAX = 9,
};

enum VARKIND : int32_t {
    VAR_PERINSTANCE = 0,
    VAR_STATIC,
    VAR_CONST,
    VAR_DISPATCH,
};

enum SYSKIND : int32_t {
    SYS_WIN16 = 0,
    SYS_WIN32,
    SYS_MAC,
    SYS_WIN64,
};

enum DESCKIND : int32_t {
    DESCKIND_NONE = 0,
    DESCKIND_FUNCDESC,
    DESCKIND_VARDESC,
    DESCKIND_TYPECOMP,
    DESCKIND_IMPLICITAPPOBJ,
    DESCKIND_MAX,
};

inline constexpr USHORT IDLFLAG_NONE = 0x0;
inline constexpr USHORT IDLFLAG_FIN = 0x1;
inline constexpr USHORT IDLFLAG_FOUT = 0x2;
inline constexpr USHORT IDLFLAG_FLCID = 0x4;
inline constexpr USHORT IDLFLAG_FRETVAL = 0x8;

inline constexpr USHORT PARAMFLAG_NONE = 0x0;
inline constexpr USHORT PARAMFLAG_FIN = 0x1;
inline constexpr USHORT PARAMFLAG_FOUT = 0x2;
inline constexpr USHORT PARAMFLAG_FLCID = 0x4;
inline constexpr USHORT PARAMFLAG_FRETVAL = 0x8;
inline constexpr USHORT PARAMFLAG_FOPT = 0x10;
inline constexpr USHORT PARAMFLAG_FHASDEFAULT = 0x20;
inline constexpr USHORT PARAMFLAG_FHASCUSTDATA = 0x40;

inline constexpr WORD FUNCFLAG_FRESTRICTED = 0x1;
inline constexpr WORD FUNCFLAG_FSOURCE = 0x2;
inline constexpr WORD FUNCFLAG_FBINDABLE = 0x4;
inline constexpr WORD FUNCFLAG_FREQUESTEDIT = 0x8;
inline constexpr WORD FUNCFLAG_FDISPLAYBIND = 0x10;
inline constexpr WORD FUNCFLAG_FDEFAULTBIND = 0x20;
inline constexpr WORD FUNCFLAG_FHIDDEN = 0x40;
inline constexpr WORD FUNCFLAG_FUSESGETLASTERROR = 0x80;
inline constexpr WORD FUNCFLAG_FDEFAULTCOLLELEM = 0x100;
inline constexpr WORD FUNCFLAG_FUIDEFAULT = 0x200;
inline constexpr WORD FUNCFLAG_FNONBROWSABLE = 0x400;
inline constexpr WORD FUNCFLAG_FREPLACEABLE = 0x800;
inline constexpr WORD FUNCFLAG_FIMMEDIATEBIND = 0x1000;

inline constexpr WORD VARFLAG_FREADONLY = 0x1;
inline constexpr WORD VARFLAG_FSOURCE = 0x2;
inline constexpr WORD VARFLAG_FBINDABLE = 0x4;
inline constexpr WORD VARFLAG_FREQUESTEDIT = 0x8;
inline constexpr WORD VARFLAG_FDISPLAYBIND = 0x10;
inline constexpr WORD VARFLAG_FDEFAULTBIND = 0x20;
inline constexpr WORD VARFLAG_FHIDDEN = 0x40;
inline constexpr WORD VARFLAG_FRESTRICTED = 0x80;
inline constexpr WORD VARFLAG_FDEFAULTCOLLELEM = 0x100;
inline constexpr WORD VARFLAG_FUIDEFAULT = 0x200;
inline constexpr WORD VARFLAG_FNONBROWSABLE = 0x400;
inline constexpr WORD VARFLAG_FREPLACEABLE = 0x800;
inline constexpr WORD VARFLAG_FIMMEDIATEBIND = 0x1000;

inline constexpr WORD TYPEFLAG_FAPPOBJECT = 0x1;
inline constexpr WORD TYPEFLAG_FCANCREATE = 0x2;
inline constexpr WORD TYPEFLAG_FLICENSED = 0x4;
inline constexpr WORD TYPEFLAG_FPREDECLID = 0x8;
inline constexpr WORD TYPEFLAG_FHIDDEN = 0x10;
inline constexpr WORD TYPEFLAG_FCONTROL = 0x20;
inline constexpr WORD TYPEFLAG_FDUAL = 0x40;
inline constexpr WORD TYPEFLAG_FNONEXTENSIBLE = 0x80;
inline constexpr WORD TYPEFLAG_FOLEAUTOMATION = 0x100;
inline constexpr WORD TYPEFLAG_FRESTRICTED = 0x200;
inline constexpr WORD TYPEFLAG_FAGGREGATABLE = 0x400;
inline constexpr WORD TYPEFLAG_FREPLACEABLE = 0x800;
inline constexpr WORD TYPEFLAG_FDISPATCHABLE = 0x1000;
inline constexpr WORD TYPEFLAG_FREVERSEBIND = 0x2000;
inline constexpr WORD TYPEFLAG_FPROXY = 0x4000;

inline constexpr INT IMPLTYPEFLAG_FDEFAULT = 0x1;
inline constexpr INT IMPLTYPEFLAG_FSOURCE = 0x2;
inline constexpr INT IMPLTYPEFLAG_FRESTRICTED = 0x4;
inline constexpr INT IMPLTYPEFLAG_FDEFAULTVTABLE = 0x8;

inline constexpr WORD LIBFLAG_FRESTRICTED = 0x1;
inline constexpr WORD LIBFLAG_FCONTROL = 0x2;
inline constexpr WORD LIBFLAG_FHIDDEN = 0x4;
inline constexpr WORD LIBFLAG_FHASDISKIMAGE = 0x8;

struct ARRAYDESC;

// A type: vt, and for VT_PTR/VT_SAFEARRAY the type pointed to, for VT_CARRAY the array, for VT_USERDEFINED
// the referenced type.
struct TYPEDESC {
    union {
        TYPEDESC* lptdesc;
        ARRAYDESC* lpadesc;
        HREFTYPE hreftype;
    };
    VARTYPE vt;
};

struct ARRAYDESC {
    TYPEDESC tdescElem;
    USHORT cDims;
    SAFEARRAYBOUND rgbounds[1]; // cDims entries
};

struct PARAMDESCEX {
    ULONG cBytes; // size of this record
    VARIANTARG varDefaultValue;
};

struct PARAMDESC {
    PARAMDESCEX* pparamdescex; // set when wParamFlags has PARAMFLAG_FHASDEFAULT
    USHORT wParamFlags;
};

struct IDLDESC {
    UINT_PTR dwReserved;
    USHORT wIDLFlags;
};

struct ELEMDESC {
    TYPEDESC tdesc;
    union {
        IDLDESC idldesc;
        PARAMDESC paramdesc;
    };
};

struct TYPEATTR {
    GUID guid;
    LCID lcid;
    DWORD dwReserved;
    MEMBERID memidConstructor;
    MEMBERID memidDestructor;
    LPOLESTR lpstrSchema;
    ULONG cbSizeInstance;
    TYPEKIND typekind;
    WORD cFuncs;
    WORD cVars;
    WORD cImplTypes;
    WORD cbSizeVft;
    WORD cbAlignment;
    WORD wTypeFlags;
    WORD wMajorVerNum;
    WORD wMinorVerNum;
    TYPEDESC tdescAlias;
    IDLDESC idldescType;
};

struct FUNCDESC {
    MEMBERID memid;
    SCODE* lprgscode;
    ELEMDESC* lprgelemdescParam; // cParams entries
    FUNCKIND funckind;
    INVOKEKIND invkind;
    CALLCONV callconv;
    SHORT cParams;
    SHORT cParamsOpt;
    SHORT oVft;
    SHORT cScodes;
    ELEMDESC elemdescFunc; // the result
    WORD wFuncFlags;
};

struct VARDESC {
    MEMBERID memid;
    LPOLESTR lpstrSchema;
    union {
        ULONG oInst;
        VARIANT* lpvarValue;
    };
    ELEMDESC elemdescVar;
    WORD wVarFlags;
    VARKIND varkind;
};

struct TLIBATTR {
    GUID guid;
    LCID lcid;
    SYSKIND syskind;
    WORD wMajorVerNum;
    WORD wMinorVerNum;
    WORD wLibFlags;
};

union BINDPTR {
    FUNCDESC* lpfuncdesc;
    VARDESC* lpvardesc;
    ITypeComp* lptcomp;
};

struct ITypeInfo : IUnknown {
    [[nodiscard]] virtual HRESULT GetTypeAttr(TYPEATTR** attr) = 0;
    [[nodiscard]] virtual HRESULT GetTypeComp(ITypeComp** comp) = 0;
    [[nodiscard]] virtual HRESULT GetFuncDesc(UINT index, FUNCDESC** desc) = 0;
    [[nodiscard]] virtual HRESULT GetVarDesc(UINT index, VARDESC** desc) = 0;
    [[nodiscard]] virtual HRESULT GetNames(MEMBERID id, BSTR* names, UINT maxNames, UINT* count) = 0;
    [[nodiscard]] virtual HRESULT GetRefTypeOfImplType(UINT index, HREFTYPE* ref) = 0;
    [[nodiscard]] virtual HRESULT GetImplTypeFlags(UINT index, INT* flags) = 0;
    [[nodiscard]] virtual HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) = 0;
    [[nodiscard]] virtual HRESULT Invoke(void* instance, MEMBERID id, WORD flags, DISPPARAMS* params,
                                         VARIANT* result, EXCEPINFO* excep, UINT* argError) = 0;
    [[nodiscard]] virtual HRESULT GetDocumentation(MEMBERID id, BSTR* name, BSTR* docString,
                                                   DWORD* helpContext, BSTR* helpFile) = 0;
    [[nodiscard]] virtual HRESULT GetDllEntry(MEMBERID id, INVOKEKIND kind, BSTR* dllName, BSTR* name,
                                              WORD* ordinal) = 0;
    [[nodiscard]] virtual HRESULT GetRefTypeInfo(HREFTYPE ref, ITypeInfo** info) = 0;
    [[nodiscard]] virtual HRESULT AddressOfMember(MEMBERID id, INVOKEKIND kind, void** address) = 0;
    [[nodiscard]] virtual HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) = 0;
    [[nodiscard]] virtual HRESULT GetMops(MEMBERID id, BSTR* mops) = 0;
    [[nodiscard]] virtual HRESULT GetContainingTypeLib(ITypeLib** lib, UINT* index) = 0;
    virtual void ReleaseTypeAttr(TYPEATTR* attr) = 0;
    virtual void ReleaseFuncDesc(FUNCDESC* desc) = 0;
    virtual void ReleaseVarDesc(VARDESC* desc) = 0;

protected:
    ~ITypeInfo() = default;
};
VR_DECLARE_INTERFACE_ID(ITypeInfo, "00020401-0000-0000-C000-000000000046")

struct ITypeLib : IUnknown {
    virtual UINT GetTypeInfoCount() = 0;
    [[nodiscard]] virtual HRESULT GetTypeInfo(UINT index, ITypeInfo** info) = 0;
    [[nodiscard]] virtual HRESULT GetTypeInfoType(UINT index, TYPEKIND* kind) = 0;
    [[nodiscard]] virtual HRESULT GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** info) = 0;
    [[nodiscard]] virtual HRESULT GetLibAttr(TLIBATTR** attr) = 0;
    [[nodiscard]] virtual HRESULT GetTypeComp(ITypeComp** comp) = 0;
    [[nodiscard]] virtual HRESULT GetDocumentation(INT index, BSTR* name, BSTR* docString, DWORD* helpContext,
                                                   BSTR* helpFile) = 0;
    [[nodiscard]] virtual HRESULT IsName(LPOLESTR name, ULONG hash, BOOL* found) = 0;
    [[nodiscard]] virtual HRESULT FindName(LPOLESTR name, ULONG hash, ITypeInfo** infos, MEMBERID* ids,
                                           USHORT* found) = 0;
    virtual void ReleaseTLibAttr(TLIBATTR* attr) = 0;

protected:
    ~ITypeLib() = default;
};
VR_DECLARE_INTERFACE_ID(ITypeLib, "00020402-0000-0000-C000-000000000046")

struct ITypeComp : IUnknown {
    [[nodiscard]] virtual HRESULT Bind(LPOLESTR name, ULONG hash, WORD flags, ITypeInfo** info,
                                       DESCKIND* kind, BINDPTR* bound) = 0;
    [[nodiscard]] virtual HRESULT BindType(LPOLESTR name, ULONG hash, ITypeInfo** info, ITypeComp** comp) = 0;

protected:
    ~ITypeComp() = default;
};
VR_DECLARE_INTERFACE_ID(ITypeComp, "00020403-0000-0000-C000-000000000046")

namespace vr {

// A VARIANT that owns its value: copies with VariantCopy, clears on destruction.
class OwnedVariant {
public:
    OwnedVariant() { VariantInit(&value_); }
    explicit OwnedVariant(const VARIANT& value);
    OwnedVariant(const OwnedVariant& other) : OwnedVariant(other.value_) {}
    OwnedVariant& operator=(const OwnedVariant& other);
    ~OwnedVariant();

    const VARIANT& Get() const { return value_; }
    VARIANT* Put(); // clears, then hands out the VARIANT to be filled
    bool IsEmpty() const { return value_.vt == VT_EMPTY; }

private:
    VARIANT value_;
};

// One parameter of a function in an in-memory type description. vt with VT_BYREF is a pointer to that type,
// with VT_ARRAY a SAFEARRAY of it.
struct TypeParam {
    std::u16string name;
    VARTYPE vt = VT_VARIANT;
    USHORT flags = PARAMFLAG_FIN; // PARAMFLAG_*; FHASDEFAULT is set from defaultValue
    OwnedVariant defaultValue;    // VT_EMPTY when the parameter has none
};

// One function: for a dispatch interface, the result is the [out, retval] parameter's type (VT_VOID when
// none).
struct TypeFunc {
    MEMBERID id = MEMBERID_NIL;
    INVOKEKIND invokeKind = INVOKE_FUNC;
    std::u16string name;
    std::u16string doc;
    VARTYPE resultVt = VT_VOID;
    WORD funcFlags = 0;
    std::vector<TypeParam> params;
};

// A dispatch interface (TKIND_DISPATCH): what GetTypeInfo of an object's IDispatch describes.
struct DispatchTypeDescription {
    GUID guid = GUID_NULL;
    std::u16string name;
    std::u16string doc;
    WORD typeFlags = TYPEFLAG_FDISPATCHABLE;
    std::vector<TypeFunc> funcs;
};

// Makes an ITypeInfo from a copy of the description: type attributes, one FUNCDESC per function (in order),
// names, documentation, name lookup (case-insensitive), Invoke through the instance's IDispatch, and a small
// ITypeLib holding the type for GetContainingTypeLib. Members the description cannot answer give E_NOTIMPL.
// Threads: the type information is immutable; any thread may use it.
[[nodiscard]] HRESULT CreateDispatchTypeInfo(const DispatchTypeDescription& description, ITypeInfo** info);

} // namespace vr
