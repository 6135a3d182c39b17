// Type libraries: building them (ICreateTypeLib, ICreateTypeInfo), saving and loading our own file format,
// finding them through the registry, and the built-in standard library of IUnknown and IDispatch.
//
// A library file is written by SaveAllChanges and read by LoadTypeLib; the layout is written down in
// typelib_format.h. Libraries may also travel inside a module file as a "TYPELIB" resource (name 1 by
// default), which LoadTypeLib reads when given the module's path, or the path followed by "\<n>" for the
// resource named n.
//
// ITypeInfo::Invoke of a dispatch or dual interface calls the instance's IDispatch::Invoke (calls through a
// plain virtual table are not made from type information): an IDispatch implementation therefore never
// answers its own Invoke through its type information, which would call itself without end.
//
// Threads: a library being built belongs to the thread that builds it. A loaded library, and the type
// information it hands out, never changes: any thread may use it.
#pragma once

#include "platform/com/typeinfo.h"

// The standard library: "stdole", version 2.0, holding IUnknown and IDispatch (both TKIND_INTERFACE).
inline constexpr GUID LIBID_STDOLE = vr::MakeGuid("00020430-0000-0000-C000-000000000046");
inline constexpr WORD kStdoleMajorVersion = 2;
inline constexpr WORD kStdoleMinorVersion = 0;

struct ICreateTypeInfo : IUnknown {
    [[nodiscard]] virtual HRESULT SetGuid(REFGUID guid) = 0;
    [[nodiscard]] virtual HRESULT SetTypeFlags(UINT flags) = 0;
    [[nodiscard]] virtual HRESULT SetDocString(LPOLESTR doc) = 0;
    [[nodiscard]] virtual HRESULT SetHelpContext(DWORD context) = 0;
    [[nodiscard]] virtual HRESULT SetVersion(WORD major, WORD minor) = 0;
    // Adds a reference to another type (of this library or another one) and gives its handle.
    [[nodiscard]] virtual HRESULT AddRefTypeInfo(ITypeInfo* info, HREFTYPE* ref) = 0;
    // Inserts a function at index (0..count); its types, flags and default values are copied.
    [[nodiscard]] virtual HRESULT AddFuncDesc(UINT index, FUNCDESC* desc) = 0;
    // The base interface (TKIND_INTERFACE, TKIND_DISPATCH) or an implemented interface (TKIND_COCLASS).
    [[nodiscard]] virtual HRESULT AddImplType(UINT index, HREFTYPE ref) = 0;
    [[nodiscard]] virtual HRESULT SetImplTypeFlags(UINT index, INT flags) = 0;
    [[nodiscard]] virtual HRESULT SetAlignment(WORD alignment) = 0;
    [[nodiscard]] virtual HRESULT SetSchema(LPOLESTR schema) = 0;
    // A constant of an enumeration (VAR_CONST with its value).
    [[nodiscard]] virtual HRESULT AddVarDesc(UINT index, VARDESC* desc) = 0;
    // The function's name followed by its parameters' names; a property put may leave its value unnamed.
    [[nodiscard]] virtual HRESULT SetFuncAndParamNames(UINT index, LPOLESTR* names, UINT count) = 0;
    [[nodiscard]] virtual HRESULT SetVarName(UINT index, LPOLESTR name) = 0;
    [[nodiscard]] virtual HRESULT SetTypeDescAlias(TYPEDESC* alias) = 0;
    [[nodiscard]] virtual HRESULT DefineFuncAsDllEntry(UINT index, LPOLESTR dllName, LPOLESTR procName) = 0;
    [[nodiscard]] virtual HRESULT SetFuncDocString(UINT index, LPOLESTR doc) = 0;
    [[nodiscard]] virtual HRESULT SetVarDocString(UINT index, LPOLESTR doc) = 0;
    [[nodiscard]] virtual HRESULT SetFuncHelpContext(UINT index, DWORD context) = 0;
    [[nodiscard]] virtual HRESULT SetVarHelpContext(UINT index, DWORD context) = 0;
    [[nodiscard]] virtual HRESULT SetMops(UINT index, BSTR mops) = 0;
    [[nodiscard]] virtual HRESULT SetTypeIdldesc(IDLDESC* idl) = 0;
    // Checks the type (every function named, references resolvable, no member id used twice for the same
    // kind of call) and fixes its layout.
    [[nodiscard]] virtual HRESULT LayOut() = 0;

protected:
    ~ICreateTypeInfo() = default;
};
VR_DECLARE_INTERFACE_ID(ICreateTypeInfo, "00020405-0000-0000-C000-000000000046")

struct ICreateTypeLib : IUnknown {
    // A new type of kind TKIND_ENUM, TKIND_INTERFACE, TKIND_DISPATCH or TKIND_COCLASS; its ICreateTypeInfo
    // also answers ITypeInfo. TYPE_E_NAMECONFLICT when the library has a type of that name already.
    [[nodiscard]] virtual HRESULT CreateTypeInfo(LPOLESTR name, TYPEKIND kind, ICreateTypeInfo** info) = 0;
    [[nodiscard]] virtual HRESULT SetName(LPOLESTR name) = 0;
    [[nodiscard]] virtual HRESULT SetVersion(WORD major, WORD minor) = 0;
    [[nodiscard]] virtual HRESULT SetGuid(REFGUID guid) = 0;
    [[nodiscard]] virtual HRESULT SetDocString(LPOLESTR doc) = 0;
    [[nodiscard]] virtual HRESULT SetHelpFileName(LPOLESTR helpFile) = 0;
    [[nodiscard]] virtual HRESULT SetHelpContext(DWORD context) = 0;
    [[nodiscard]] virtual HRESULT SetLcid(LCID lcid) = 0;
    [[nodiscard]] virtual HRESULT SetLibFlags(UINT flags) = 0;
    // Writes the library to the file named at creation, in one step (a temporary file renamed over it).
    [[nodiscard]] virtual HRESULT SaveAllChanges() = 0;

protected:
    ~ICreateTypeLib() = default;
};
VR_DECLARE_INTERFACE_ID(ICreateTypeLib, "00020406-0000-0000-C000-000000000046")

// A new, empty library that SaveAllChanges writes to file (a Linux path, or a Windows path of the system,
// mapped). The library also answers ITypeLib.
[[nodiscard]] HRESULT CreateTypeLib(SYSKIND syskind, LPCOLESTR file, ICreateTypeLib** lib);

// Loads a library: the built-in standard library for "stdole32.tlb" or "stdole2.tlb" (unless such a file
// exists), a library file, a module file's "TYPELIB" resource 1, or with "<module>\<n>" its resource n.
// Failures: TYPE_E_CANTLOADLIBRARY when the file is missing or holds no library, TYPE_E_INVDATAREAD when it
// is damaged or truncated, TYPE_E_UNSUPFORMAT when a newer version of the format wrote it.
[[nodiscard]] HRESULT LoadTypeLib(LPCOLESTR file, ITypeLib** lib);

// Loads the registered library of that LIBID: the version key "<major>.<minor>" with this major version and
// the highest minor version not below the one asked for, then its path under "<lcid>\win64" or "win32"
// (this LCID, its primary language, or 0). TYPE_E_LIBNOTREGISTERED when none fits.
[[nodiscard]] HRESULT LoadRegTypeLib(REFGUID libid, WORD major, WORD minor, LCID lcid, ITypeLib** lib);

// Registers a loaded library: "TypeLib\{libid}\<major>.<minor>" (default = the library's doc string, or its
// name without one; FLAGS = its library flags; HELPDIR = helpDir, or the library file's folder) and
// "<lcid>\win32" or "win64" = fullPath. TYPE_E_REGISTRYACCESS when a write fails.
[[nodiscard]] HRESULT RegisterTypeLib(ITypeLib* lib, LPCOLESTR fullPath, LPCOLESTR helpDir);

// Removes that version's key, and the LIBID's key when no other version is left in it.
[[nodiscard]] HRESULT UnRegisterTypeLib(REFGUID libid, WORD major, WORD minor, LCID lcid, SYSKIND syskind);
