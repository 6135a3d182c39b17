// The schema declaration of an attribute as the filter receives it: an IDispatch object over the element.
#pragma once

#include "platform/com/dispatch_table.h"
#include "platform/com/object.h"
#include "platform/xml/schema.h"

namespace tabrisk {

// Members by name: `name`, `namespaceURI` and `itemType` (the SOMITEMTYPE of the declaration's type).
// Threads: the element is immutable; any thread may read it.
class CSchemaElementObject : public vr::ObjectRoot, public vr::DispatchImpl<CSchemaElementObject> {
public:
    using Interfaces = vr::InterfaceList<IDispatch>;
    static constexpr bool kAggregatable = false;

    static const vr::DispatchTable<CSchemaElementObject>& GetDispatchTable();

    [[nodiscard]] static HRESULT Create(const vr::xml::SchemaElement& element, IDispatch** object);

    HRESULT get_name(BSTR* name);
    HRESULT get_namespaceURI(BSTR* uri);
    HRESULT get_itemType(LONG* type);

private:
    vr::xml::SchemaElement element_;
};

} // namespace tabrisk
