// The attribute owner: its collection from its own module's resource, members linked through the hookup.
#include "tests/attributes/attribute_owner.h"

#include "common/attrvalues/AttrCollHookup.h"
#include "platform/base/format.h"
#include "platform/base/text.h"
#include "platform/resources/this_module.h"

namespace attrtest {

AttributeOwner::~AttributeOwner() {
    collection_ = nullptr; // the collection goes first: its links point at these members
    SysFreeString(name);
}

HRESULT AttributeOwner::Create(const std::u16string& settings) {
    BSTR path = vr::AllocBstr(vr::ThisModuleResUrl(u"Attributes.xml"));
    BSTR empty = vr::AllocBstr(u"");
    BSTR scope = vr::AllocBstr(u"Owner");
    BSTR setup = vr::AllocBstr(settings);
    VARIANT missing;
    missing.vt = VT_ERROR;
    missing.scode = DISP_E_PARAMNOTFOUND;
    HRESULT hr = CreateAttributeCollection(path, empty, scope, collection_.Put(), nullptr, missing, nullptr,
                                           nullptr, nullptr, setup,
                                           {{u"Owner:Speed", LinkToLong(&speed)},
                                            {u"MODE", LinkToLong(&modeIndex)},
                                            {u"Owner:Name", LinkToText(&name)},
                                            {u"Enabled", LinkToFlag(&enabled)},
                                            {u"Gain", LinkToDouble(&gain)},
                                            {nullptr, {}}});
    SysFreeString(path);
    SysFreeString(empty);
    SysFreeString(scope);
    SysFreeString(setup);
    return hr;
}

std::string AttributeOwner::Describe() const {
    return vr::FormatAString("Speed=%d Mode=%d Name=%s Enabled=%d Gain=%g", speed, modeIndex,
                             vr::ToUtf8(vr::BstrView(name)).c_str(), enabled, gain);
}

} // namespace attrtest
