// An owner of settings as the system's components are: its members mirror its attribute collection, which the
// hookup creates from the Attributes.xml resource of the owner's own module.
#pragma once

#include "attributes/include/tabrisk.h"
#include "platform/com/comptr.h"

#include <string>

namespace attrtest {

class AttributeOwner {
public:
    AttributeOwner() = default;
    ~AttributeOwner();
    AttributeOwner(const AttributeOwner&) = delete;
    AttributeOwner& operator=(const AttributeOwner&) = delete;

    // Creates the collection (scope "Owner") with first values from settings; the members follow it.
    [[nodiscard]] HRESULT Create(const std::u16string& settings = u"");
    IVrAttributeCollection* Collection() const { return collection_.Get(); }
    // Releases the collection, which saves its persistent attributes.
    void Release() { collection_ = nullptr; }

    // "Speed=... Mode=... Name=... Enabled=... Gain=..." from the members.
    std::string Describe() const;

    LONG speed = 0;
    LONG modeIndex = 0;
    BSTR name = nullptr;
    LONG enabled = -1;
    double gain = 0;

private:
    vr::ComPtr<IVrAttributeCollection> collection_;
};

} // namespace attrtest
