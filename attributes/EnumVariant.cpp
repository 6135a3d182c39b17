// CEnumVariant: Next hands out copies, Skip and Reset move, Clone keeps the position.
#include "attributes/EnumVariant.h"

namespace tabrisk {

HRESULT CEnumVariant::Create(std::vector<Variant> values, IEnumVARIANT** enumerator) {
    return Make(std::make_shared<const std::vector<Variant>>(std::move(values)), 0, enumerator);
}

HRESULT CEnumVariant::Make(std::shared_ptr<const std::vector<Variant>> values, size_t position,
                           IEnumVARIANT** enumerator) {
    if (enumerator == nullptr) {
        return E_POINTER;
    }
    *enumerator = nullptr;
    vr::ComObjectPtr<CEnumVariant> made;
    if (HRESULT hr = vr::ComObject<CEnumVariant>::Create(&made); FAILED(hr)) {
        return hr;
    }
    made->values_ = std::move(values);
    made->position_ = position;
    *enumerator = made.Detach();
    return S_OK;
}

HRESULT CEnumVariant::Next(ULONG count, VARIANT* items, ULONG* fetched) {
    if (items == nullptr && count > 0) {
        return E_POINTER;
    }
    ULONG done = 0;
    while (done < count && position_ < values_->size()) {
        VariantInit(&items[done]);
        if (HRESULT hr = VariantCopy(&items[done], &(*values_)[position_].Get()); FAILED(hr)) {
            for (ULONG i = 0; i < done; ++i) {
                static_cast<void>(VariantClear(&items[i]));
            }
            return hr;
        }
        ++done;
        ++position_;
    }
    if (fetched != nullptr) {
        *fetched = done;
    }
    return done == count ? S_OK : S_FALSE;
}

HRESULT CEnumVariant::Skip(ULONG count) {
    size_t left = values_->size() - position_;
    position_ += std::min<size_t>(count, left);
    return count <= left ? S_OK : S_FALSE;
}

HRESULT CEnumVariant::Reset() {
    position_ = 0;
    return S_OK;
}

HRESULT CEnumVariant::Clone(IEnumVARIANT** copy) {
    return Make(values_, position_, copy);
}

} // namespace tabrisk
