// CAttribute: one attribute as the collection's Item hands it out (its names and a copy of its value).
#pragma once

#include "attributes/Variant.h"
#include "attributes/include/tabrisk.h"
#include "platform/com/dispatch_table.h"
#include "platform/com/object.h"

#include <string>

namespace tabrisk {

// Threads: apartment-threaded like the collection that made it; immutable after Init.
class CAttribute : public vr::ObjectRoot,
                   public vr::DispatchImpl<CAttribute, IVrAttribute>,
                   public vr::SupportErrorInfoImpl<IVrAttribute> {
public:
    using Interfaces = vr::InterfaceList<IVrAttribute, IDispatch, ISupportErrorInfo>;
    static constexpr bool kAggregatable = false;

    static const vr::DispatchTable<CAttribute>& GetDispatchTable();

    // A new attribute object holding the names and a copy of the value.
    [[nodiscard]] static HRESULT Create(std::u16string_view name, std::u16string_view qName,
                                        const VARIANT& value, IVrAttribute** attribute);

    HRESULT get_Name(BSTR* name) override;

private:
    std::u16string name_;
    std::u16string qName_;
    Variant value_;
};

} // namespace tabrisk
