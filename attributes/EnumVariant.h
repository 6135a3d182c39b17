// An IEnumVARIANT over copies of a list of values (what _NewEnum hands out).
#pragma once

#include "attributes/Variant.h"
#include "platform/com/object.h"

#include <memory>
#include <vector>

namespace tabrisk {

// Threads: one thread at a time; clones share the immutable list.
class CEnumVariant : public vr::ObjectRoot, public IEnumVARIANT {
public:
    using Interfaces = vr::InterfaceList<IEnumVARIANT>;
    static constexpr bool kAggregatable = false;

    // A new enumerator over the values (taken over), positioned at the start.
    [[nodiscard]] static HRESULT Create(std::vector<Variant> values, IEnumVARIANT** enumerator);

    HRESULT Next(ULONG count, VARIANT* items, ULONG* fetched) override;
    HRESULT Skip(ULONG count) override;
    HRESULT Reset() override;
    HRESULT Clone(IEnumVARIANT** copy) override;

private:
    [[nodiscard]] static HRESULT Make(std::shared_ptr<const std::vector<Variant>> values, size_t position,
                                      IEnumVARIANT** enumerator);

    std::shared_ptr<const std::vector<Variant>> values_;
    size_t position_ = 0;
};

} // namespace tabrisk
