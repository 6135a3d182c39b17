// The in-memory tree of one hive: keys with case-insensitive names, each holding typed values.
#pragma once

#include "platform/base/types.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vr::registry {

// A path of key names below a hive's root, as the caller spelled them.
using KeyPath = std::vector<std::u16string>;

struct RegValue {
    std::u16string name; // the case it was first set with; empty for the key's default value
    DWORD type = 0;
    std::vector<BYTE> data; // exactly the bytes the caller stored
};

// One key. Not thread-safe: the hive store serializes every access to its tree.
class RegKey {
public:
    explicit RegKey(std::u16string name = {});

    const std::u16string& Name() const { return name_; }

    // Values in the order they were first set, which is the order RegEnumValue reports.
    const std::vector<RegValue>& Values() const { return values_; }
    const RegValue* FindValue(std::u16string_view name) const;
    // Replaces an existing value in place (keeping its name's case and position); returns false when the
    // value already held exactly this type and data, so the caller can skip rewriting the hive.
    bool SetValue(std::u16string_view name, DWORD type, std::vector<BYTE> data);
    bool DeleteValue(std::u16string_view name);

    // Sub-keys sorted by upper-cased name, the order RegEnumKeyEx reports.
    size_t SubKeyCount() const { return subKeys_.size(); }
    const RegKey& SubKeyAt(size_t index) const { return *subKeys_[index]; }
    RegKey* FindSubKey(std::u16string_view name);
    const RegKey* FindSubKey(std::u16string_view name) const;
    // The existing sub-key of that name, or a new one; `created` tells which.
    RegKey& AddSubKey(std::u16string_view name, bool* created = nullptr);
    bool RemoveSubKey(std::u16string_view name);

    // For reading a whole hive in time that grows in step with its text (hive_text.cpp): AppendSubKeyUnsorted
    // and AppendValueUnchecked add at the end without looking for the name, and FinishReading then, once for
    // this key and every key below it, sorts the sub-keys and merges what has the same name as
    // AddSubKey and SetValue would have (the first keeps its name's case and place, the last value's data
    // wins). Sub-keys must not be looked up until then.
    RegKey& AppendSubKeyUnsorted(std::u16string_view name);
    void AppendValueUnchecked(RegValue value);
    void FinishReading();

    // Removes every value and sub-key, keeping the key itself.
    void Clear();

    // The key at `path` below this one (this key for an empty path), or null.
    RegKey* Find(const KeyPath& path);
    const RegKey* Find(const KeyPath& path) const;

private:
    std::u16string name_;
    std::u16string sortKey_;
    std::vector<RegValue> values_;
    std::vector<std::unique_ptr<RegKey>> subKeys_;

    std::vector<std::unique_ptr<RegKey>>::const_iterator LowerBound(std::u16string_view sortKey) const;
    void MergeSameNamedValues();
    void MergeSameNamedSubKeys();
};

// Whether a key or value name can be stored: the hive file keeps one entry per line as UTF-8, so control
// characters and unpaired surrogates are refused rather than written in a form that would not read back.
bool IsStorableName(std::u16string_view name);

// Key names are at most 255 characters, value names at most 16383, as callers size their buffers by.
inline constexpr size_t kMaxKeyNameLength = 255;
inline constexpr size_t kMaxValueNameLength = 16383;
// Keys nest at most this deep below a hive's root, which also bounds the recursion over the tree.
inline constexpr size_t kMaxKeyDepth = 512;

} // namespace vr::registry
