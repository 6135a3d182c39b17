// Panel objects made by the type named in the panel file.
#include "PanelObjectControl.h"
#include "PanelObjectKinds.h"

#include "platform/base/text.h"

std::unique_ptr<CPObject> CreatePanelObject(std::u16string_view type, IPanelHost& host,
                                            CTestExecutive* worker) {
    if (vr::EqualsNoCase(type, u"control")) {
        return std::make_unique<CPObjectControl>(host, worker);
    }
    if (vr::EqualsNoCase(type, u"group")) {
        return std::make_unique<CPObjectGroup>(host, worker);
    }
    if (vr::EqualsNoCase(type, u"graph")) {
        return std::make_unique<CPObjectGraph>(host, worker);
    }
    if (vr::EqualsNoCase(type, u"picture")) {
        return std::make_unique<CPObjectPicture>(host, worker);
    }
    return nullptr;
}
