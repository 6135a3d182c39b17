// The description of the attribute-collection server's type library TABRISKLib, written at build time from
// its dispatch tables and embedded into libtabrisk.so.
#include "attributes/Attribute.h"
#include "attributes/AttributeCollection.h"
#include "attributes/include/tabrisk.h"
#include "platform/com/typelib_writer.h"

namespace vr::typelib {

const LibrarySpec& ModuleLibrarySpec() {
    static const LibrarySpec spec{
        .libid = LIBID_TABRISKLib,
        .name = u"TABRISKLib",
        .doc = u"Tabrisk 1.0 Type Library",
        .majorVersion = kTabriskLibMajorVersion,
        .minorVersion = kTabriskLibMinorVersion,
        .interfaces = {{.iid = vr::uuidof<IVrAttributeCollection>(),
                        .name = u"IVrAttributeCollection",
                        .doc = u"IVrAttributeCollection Interface",
                        .table = &tabrisk::CAttributeCollection::GetDispatchTable(),
                        .dual = true},
                       {.iid = vr::uuidof<IVrAttribute>(),
                        .name = u"IVrAttribute",
                        .doc = u"IVrAttribute Interface",
                        .table = &tabrisk::CAttribute::GetDispatchTable(),
                        .dual = true}},
        .classes = {{.clsid = CLSID_AttributeCollection,
                     .name = u"_AttributeCollection",
                     .doc = u"AttributeCollection Class",
                     .interfaces = {{vr::uuidof<IVrAttributeCollection>(), IMPLTYPEFLAG_FDEFAULT}}},
                    {.clsid = CLSID_Attribute,
                     .name = u"Attribute",
                     .doc = u"Attribute Class",
                     .typeFlags = 0, // made only by the collection's Item
                     .interfaces = {{vr::uuidof<IVrAttribute>(), IMPLTYPEFLAG_FDEFAULT}}}},
    };
    return spec;
}

} // namespace vr::typelib
