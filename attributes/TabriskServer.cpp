// The server's class table, its exported entry points, and the registration of the type library it carries.
#include "attributes/AttributeCollection.h"
#include "attributes/include/tabrisk.h"
#include "platform/base/text.h"
#include "platform/com/server.h"

#include <string>

namespace {

constexpr vr::server::ClassEntry kClasses[] = {
    {.clsid = CLSID_AttributeCollection,
     .createInstance = &tabrisk::CAttributeCollection::CreateInstance,
     .progId = kAttributeCollectionProgId,
     .versionIndependentProgId = kAttributeCollectionIndependentProgId,
     .description = u"AttributeCollection Class",
     .threadingModel = vr::server::ThreadingModel::Apartment,
     .typeLib = LIBID_TABRISKLib},
    // Registered so that its ProgID and type library are known; made only by the collection's Item.
    {.clsid = CLSID_Attribute,
     .createInstance = nullptr,
     .progId = kAttributeProgId,
     .versionIndependentProgId = kAttributeIndependentProgId,
     .description = u"Attribute Class",
     .threadingModel = vr::server::ThreadingModel::Apartment,
     .typeLib = LIBID_TABRISKLib},
};

HRESULT UnregisterTypeLibKey(std::u16string_view) {
    return vr::server::UnregisterTypeLibKey(LIBID_TABRISKLib, kTabriskLibMajorVersion,
                                            kTabriskLibMinorVersion);
}

// The library the module carries (TabriskTypeLib.cpp), registered with the module's path as its file.
constexpr vr::server::RegistrationHooks kHooks{.afterRegister = &vr::server::RegisterEmbeddedTypeLib,
                                               .beforeUnregister = &UnregisterTypeLibKey};

} // namespace

VR_SERVER_EXPORTS_WITH_HOOKS(kClasses, kHooks)
