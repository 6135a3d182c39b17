// Lookups within one attribute's enumeration.
#include "attributes/AttributeRecord.h"

#include "attributes/include/tabrisk.h"
#include "platform/base/text.h"

namespace tabrisk {

bool AttributeRecord::IsRegistryRootKey() const {
    return vr::EqualsNoCase(name, kRegistryRootKeyName);
}

int AttributeRecord::FindEnumeration(const VARIANT& candidate) const {
    if (!hasEnumeration) {
        return -1;
    }
    for (size_t i = 0; i < validValues.size(); ++i) {
        if (ValuesEqual(candidate, validValues[i].Get())) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int AttributeRecord::FindEnumerationIndex(LONG number) const {
    if (!hasEnumeration) {
        return -1;
    }
    for (size_t i = 0; i < enumIndexes.size(); ++i) {
        if (enumIndexes[i] == number) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

} // namespace tabrisk
