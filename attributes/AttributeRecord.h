// One own attribute of a collection: its names, type, schema facts, persistence and value.
#pragma once

#include "attributes/Variant.h"
#include "platform/com/comptr.h"
#include "platform/com/dispatch.h"
#include "platform/xml/schema.h"

#include <string>
#include <vector>

namespace tabrisk {

struct AttributeRecord {
    // "<scope>:<name>" (the name alone without a scope) in the letter case given at creation; the map key is
    // this text upper-cased, and registry values are named by it.
    std::u16string qName;
    // The local name, which short-name lookup compares.
    std::u16string name;
    // Set until the attribute first receives a value; the value then reads as VT_EMPTY.
    bool valueIsEmpty = true;
    // The owner's variable: VT_BYREF with VT_I4, VT_R8, VT_BSTR or VT_BOOL (a 32-bit integer), or VT_EMPTY.
    // It refers to the owner's memory and owns nothing.
    VARIANT linkedLocalVariable{};
    LONG persistentMode = 3;
    bool validate = true;
    bool cache = true;
    LONG numId = 0;
    std::u16string className;
    SOMITEMTYPE itemType = SOMITEM_NULL;
    // The schema declaration (empty for an added attribute) and the object that shows it to the filter.
    vr::xml::SchemaElement schemaElement;
    vr::ComPtr<IDispatch> schemaElementObject;
    // The enumeration values in schema order, or one empty value of the attribute's type (an added
    // attribute's initial value) when there are none.
    std::vector<Variant> validValues;
    // Only for string attributes whose schema type has enumeration values: each value's numeric index.
    bool hasEnumeration = false;
    std::vector<LONG> enumIndexes;
    // The stored value; its type is the attribute's type.
    Variant value;
    // The first value the filter supplied for this attribute, still to be compared with the first set (the
    // set does not go back to the filter with the filter's own value). Kept per attribute, so creating one
    // attribute never cancels or inherits the comparison of another.
    bool initialValuePending = false;
    Variant initialValue;

    // The attribute's type: the base type of the stored value.
    VARTYPE Type() const { return value.Type() & VT_TYPEMASK; }
    bool IsRegistryRootKey() const;
    // The index of an enumeration value equal to value (VarCmp), -1 when none.
    int FindEnumeration(const VARIANT& value) const;
    // The position of the enumeration value whose index is number, -1 when none.
    int FindEnumerationIndex(LONG number) const;
};

} // namespace tabrisk
