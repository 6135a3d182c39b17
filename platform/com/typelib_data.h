// The plain data of a type library: what the builder fills, the file format stores and the readers answer
// from.
#pragma once

#include "platform/com/typeinfo.h"

#include <string>
#include <vector>

namespace vr::typelib {

// A TYPEDESC chain flattened: chain[0] is the outer type, each VT_PTR or VT_SAFEARRAY is followed by the type
// it holds; a VT_USERDEFINED at the end names the referenced type by ref.
struct TypeSpec {
    std::vector<VARTYPE> chain{VT_VARIANT};
    HREFTYPE ref = 0;
};

inline constexpr size_t kMaxTypeDepth = 8;
// The most types one chain of bases may hold, the type itself included (real interfaces hold a handful): a
// reader walking bases stops there, so a chain that comes back to itself cannot run it out of stack.
inline constexpr size_t kMaxInheritanceDepth = 64;

struct ParamData {
    TypeSpec type;
    USHORT flags = PARAMFLAG_FIN;
    OwnedVariant defaultValue; // set when flags has PARAMFLAG_FHASDEFAULT
};

struct FuncData {
    MEMBERID memid = MEMBERID_NIL;
    FUNCKIND funcKind = FUNC_DISPATCH;
    INVOKEKIND invokeKind = INVOKE_FUNC;
    CALLCONV callConv = CC_STDCALL;
    SHORT vtableOffset = 0;
    SHORT optionalCount = 0;
    WORD flags = 0;
    TypeSpec result{{VT_VOID}, 0};
    USHORT resultFlags = PARAMFLAG_NONE;
    std::vector<ParamData> params;
    std::vector<std::u16string> names; // the function's, then its parameters'
    std::u16string doc;
    DWORD helpContext = 0;
};

// A constant of an enumeration.
struct VarData {
    MEMBERID memid = MEMBERID_NIL;
    VARKIND varKind = VAR_CONST;
    WORD flags = 0;
    TypeSpec type{{VT_I4}, 0};
    OwnedVariant value;
    std::u16string name;
    std::u16string doc;
    DWORD helpContext = 0;
};

struct ImplTypeData {
    HREFTYPE ref = 0;
    INT flags = 0;
};

struct TypeData {
    GUID guid = GUID_NULL;
    TYPEKIND kind = TKIND_DISPATCH;
    WORD typeFlags = 0;
    WORD majorVersion = 0;
    WORD minorVersion = 0;
    WORD alignment = alignof(void*);
    std::u16string name;
    std::u16string doc;
    DWORD helpContext = 0;
    std::vector<ImplTypeData> implTypes;
    std::vector<FuncData> funcs;
    std::vector<VarData> vars;
};

// A referenced type: one of the library's own (local) or one of another library, found again by that
// library's LIBID and version and the type's GUID.
struct RefData {
    bool local = true;
    UINT index = 0; // of a local type
    GUID libGuid = GUID_NULL;
    WORD libMajor = 0;
    WORD libMinor = 0;
    GUID typeGuid = GUID_NULL;
};

struct LibData {
    GUID guid = GUID_NULL;
    LCID lcid = 0;
    SYSKIND sysKind = SYS_WIN64;
    WORD majorVersion = 0;
    WORD minorVersion = 0;
    WORD libFlags = 0;
    std::u16string name;
    std::u16string doc;
    std::u16string helpFile;
    DWORD helpContext = 0;
    std::vector<TypeData> types;
    std::vector<RefData> refs; // HREFTYPE = position
};

// The built-in standard library (IUnknown, IDispatch).
LibData StdoleData();

} // namespace vr::typelib
