// The in-memory tree of one hive: lookups, insertion and removal with case-insensitive names.
#include "platform/registry/hive_tree.h"

#include "platform/base/text.h"

#include <algorithm>
#include <iterator>

namespace vr::registry {

RegKey::RegKey(std::u16string name) : name_(std::move(name)), sortKey_(ToUpper(name_)) {}

const RegValue* RegKey::FindValue(std::u16string_view name) const {
    for (const auto& value : values_) {
        if (EqualsNoCase(value.name, name)) {
            return &value;
        }
    }
    return nullptr;
}

bool RegKey::SetValue(std::u16string_view name, DWORD type, std::vector<BYTE> data) {
    auto* existing = const_cast<RegValue*>(FindValue(name));
    if (existing == nullptr) {
        values_.push_back(RegValue{std::u16string(name), type, std::move(data)});
        return true;
    }
    if (existing->type == type && existing->data == data) {
        return false;
    }
    existing->type = type;
    existing->data = std::move(data);
    return true;
}

bool RegKey::DeleteValue(std::u16string_view name) {
    auto found = std::find_if(values_.begin(), values_.end(),
                              [&](const RegValue& value) { return EqualsNoCase(value.name, name); });
    if (found == values_.end()) {
        return false;
    }
    values_.erase(found);
    return true;
}

std::vector<std::unique_ptr<RegKey>>::const_iterator RegKey::LowerBound(std::u16string_view sortKey) const {
    return std::lower_bound(subKeys_.begin(), subKeys_.end(), sortKey,
                            [](const std::unique_ptr<RegKey>& key, std::u16string_view wanted) {
                                return std::u16string_view(key->sortKey_) < wanted;
                            });
}

const RegKey* RegKey::FindSubKey(std::u16string_view name) const {
    std::u16string sortKey = ToUpper(name);
    auto found = LowerBound(sortKey);
    return found != subKeys_.end() && (*found)->sortKey_ == sortKey ? found->get() : nullptr;
}

RegKey* RegKey::FindSubKey(std::u16string_view name) {
    return const_cast<RegKey*>(static_cast<const RegKey*>(this)->FindSubKey(name));
}

RegKey& RegKey::AddSubKey(std::u16string_view name, bool* created) {
    std::u16string sortKey = ToUpper(name);
    auto position = LowerBound(sortKey);
    bool isNew = position == subKeys_.end() || (*position)->sortKey_ != sortKey;
    if (created != nullptr) {
        *created = isNew;
    }
    if (!isNew) {
        return **position;
    }
    return **subKeys_.insert(position, std::make_unique<RegKey>(std::u16string(name)));
}

bool RegKey::RemoveSubKey(std::u16string_view name) {
    std::u16string sortKey = ToUpper(name);
    auto found = LowerBound(sortKey);
    if (found == subKeys_.end() || (*found)->sortKey_ != sortKey) {
        return false;
    }
    subKeys_.erase(found);
    return true;
}

RegKey& RegKey::AppendSubKeyUnsorted(std::u16string_view name) {
    return *subKeys_.emplace_back(std::make_unique<RegKey>(std::u16string(name)));
}

void RegKey::AppendValueUnchecked(RegValue value) {
    values_.push_back(std::move(value));
}

void RegKey::FinishReading() {
    MergeSameNamedValues();
    MergeSameNamedSubKeys();
    for (auto& subKey : subKeys_) {
        subKey->FinishReading(); // as deep as kMaxKeyDepth at most
    }
}

void RegKey::MergeSameNamedValues() {
    if (values_.size() < 2) {
        return;
    }
    // The values' indices ordered by name, equal names in the order they came.
    std::vector<std::u16string> names;
    names.reserve(values_.size());
    for (const RegValue& value : values_) {
        names.push_back(ToUpper(value.name));
    }
    std::vector<size_t> order(values_.size());
    for (size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return names[a] < names[b]; });
    std::vector<bool> dropped(values_.size(), false);
    for (size_t run = 0; run < order.size();) {
        size_t end = run + 1;
        while (end < order.size() && names[order[end]] == names[order[run]]) {
            dropped[order[end++]] = true;
        }
        if (end - run > 1) {
            RegValue& first = values_[order[run]];
            RegValue& last = values_[order[end - 1]];
            first.type = last.type;
            first.data = std::move(last.data);
        }
        run = end;
    }
    size_t kept = 0;
    for (size_t i = 0; i < values_.size(); ++i) {
        if (!dropped[i]) {
            if (kept != i) {
                values_[kept] = std::move(values_[i]);
            }
            ++kept;
        }
    }
    values_.resize(kept);
}

void RegKey::MergeSameNamedSubKeys() {
    auto bySortKey = [](const std::unique_ptr<RegKey>& a, const std::unique_ptr<RegKey>& b) {
        return a->sortKey_ < b->sortKey_;
    };
    if (!std::is_sorted(subKeys_.begin(), subKeys_.end(), bySortKey)) { // as the registry writes them
        // Sorted on copies of the names side by side (the keys lie all over the heap), same names in the
        // order they came.
        std::vector<std::pair<std::u16string, size_t>> order;
        order.reserve(subKeys_.size());
        for (size_t i = 0; i < subKeys_.size(); ++i) {
            order.emplace_back(subKeys_[i]->sortKey_, i);
        }
        std::sort(order.begin(), order.end());
        std::vector<std::unique_ptr<RegKey>> sorted;
        sorted.reserve(subKeys_.size());
        for (const auto& [sortKey, index] : order) {
            sorted.push_back(std::move(subKeys_[index]));
        }
        subKeys_ = std::move(sorted);
    }
    size_t kept = 0;
    for (size_t i = 0; i < subKeys_.size(); ++i) {
        if (kept > 0 && subKeys_[kept - 1]->sortKey_ == subKeys_[i]->sortKey_) {
            RegKey& first = *subKeys_[kept - 1];
            RegKey& later = *subKeys_[i];
            std::move(later.values_.begin(), later.values_.end(), std::back_inserter(first.values_));
            std::move(later.subKeys_.begin(), later.subKeys_.end(), std::back_inserter(first.subKeys_));
            continue; // the merged key's own values and sub-keys are merged when its turn comes
        }
        if (kept != i) {
            subKeys_[kept] = std::move(subKeys_[i]);
        }
        ++kept;
    }
    subKeys_.resize(kept);
}

void RegKey::Clear() {
    values_.clear();
    subKeys_.clear();
}

const RegKey* RegKey::Find(const KeyPath& path) const {
    const RegKey* key = this;
    for (const auto& name : path) {
        key = key->FindSubKey(name);
        if (key == nullptr) {
            return nullptr;
        }
    }
    return key;
}

RegKey* RegKey::Find(const KeyPath& path) {
    return const_cast<RegKey*>(static_cast<const RegKey*>(this)->Find(path));
}

bool IsStorableName(std::u16string_view name) {
    for (size_t i = 0; i < name.size(); ++i) {
        char16_t c = name[i];
        if (c < 0x20) {
            return false;
        }
        bool high = c >= 0xD800 && c <= 0xDBFF;
        bool low = c >= 0xDC00 && c <= 0xDFFF;
        if (low) {
            return false; // a low surrogate not consumed by the high one before it
        }
        if (high) {
            if (i + 1 >= name.size() || name[i + 1] < 0xDC00 || name[i + 1] > 0xDFFF) {
                return false;
            }
            ++i;
        }
    }
    return true;
}

} // namespace vr::registry
