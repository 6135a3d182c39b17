// Writing a server's type library from its dispatch tables, so the library a module carries describes
// exactly the members its objects answer.
//
// A server describes its library once and a small build-time program writes it (cmake:
// vr_add_type_library), which the build then embeds into the module as its "TYPELIB" resource 1:
//
//     const vr::typelib::LibrarySpec& vr::typelib::ModuleLibrarySpec() {
//         static const LibrarySpec spec{
//             .libid = LIBID_ThingLib, .name = u"ThingLib", .doc = u"Thing 1.0 Type Library",
//             .interfaces = {{.iid = IID_IThing, .name = u"IThing", .table = &CThing::GetDispatchTable()},
//                            {.iid = IID_IThingEvents, .name = u"IThingEvents"}},
//             .classes = {{.clsid = CLSID_Thing, .name = u"Thing",
//                          .interfaces = {{IID_IThing, IMPLTYPEFLAG_FDEFAULT},
//                                         {IID_IThingEvents, IMPLTYPEFLAG_FDEFAULT |
//                                         IMPLTYPEFLAG_FSOURCE}}}}};
//         return spec;
//     }
//
// Threads: any thread; the tables are immutable.
#pragma once

#include "platform/com/dispatch_table.h"
#include "platform/com/typelib.h"

#include <string>
#include <string_view>
#include <vector>

namespace vr::typelib {

// A dispatch interface (TKIND_DISPATCH, based on IDispatch): the members of a dispatch table, or none (an
// event interface that has no methods).
struct InterfaceSpec {
    IID iid = GUID_NULL;
    std::u16string_view name;
    std::u16string_view doc;
    const DispatchTableBase* table = nullptr; // null: no members
    bool dual = false;
};

// An interface a class implements, by the IID of one of the library's interfaces, with IMPLTYPEFLAG_*.
struct ImplementedSpec {
    IID iid = GUID_NULL;
    INT flags = 0;
};

struct ClassSpec {
    CLSID clsid = GUID_NULL;
    std::u16string_view name;
    std::u16string_view doc;
    WORD typeFlags = TYPEFLAG_FCANCREATE;
    std::vector<ImplementedSpec> interfaces;
};

// An enumeration (TKIND_ENUM) of 32-bit constants.
struct EnumConstantSpec {
    std::u16string_view name;
    LONG value = 0;
};
struct EnumSpec {
    std::u16string_view name;
    std::u16string_view doc;
    std::vector<EnumConstantSpec> constants;
};

struct LibrarySpec {
    GUID libid = GUID_NULL;
    std::u16string_view name;
    std::u16string_view doc;
    WORD majorVersion = 1;
    WORD minorVersion = 0;
    WORD libFlags = 0;
    std::vector<InterfaceSpec> interfaces;
    std::vector<ClassSpec> classes;
    std::vector<EnumSpec> enums{}; // most libraries declare none
};

// Writes the library to path in the library file format (LCID 0). E_INVALIDARG for a class naming an
// interface the library does not hold; the failures of building and saving (a table whose members
// contradict each other, a file that cannot be written).
[[nodiscard]] HRESULT WriteTypeLibrary(const LibrarySpec& spec, const std::string& path);

// The library of the module being built: defined by the module's own source for its build-time writer
// (the writer's main calls WriteTypeLibrary with it).
const LibrarySpec& ModuleLibrarySpec();

} // namespace vr::typelib
