// The editor combo's logic: options, list filling, recent values, escape decoding and the typed-text check.
#include "common/attrvalues/AttrValueComboModel.h"

#include "common/attrvalues/AttrValue.h"
#include "common/options/ParamParser.h"
#include "platform/base/text.h"
#include "platform/com/bstr.h"

#include <algorithm>

namespace {

bool Flag(const std::u16string& options, const char16_t* name) {
    return IsParamTrue(options.c_str(), name);
}

void ReadNumber(const std::u16string& options, const char16_t* name, int* out) {
    LONG number = 0;
    if (GetLongParam(&number, options.c_str(), name)) {
        *out = number;
    }
}

void ReadText(const std::u16string& options, const char16_t* name, std::string* out) {
    BSTR value = nullptr;
    if (GetParam(nullptr, &value, options.c_str(), name) && value) {
        *out = vr::ToUtf8(std::u16string_view(value, SysStringLen(value)));
    }
    SysFreeString(value);
}

} // namespace

AttrValueComboOptions AttrValueComboOptions::Parse(const std::string& text) {
    std::u16string options = vr::FromUtf8(text);
    AttrValueComboOptions parsed;
    parsed.notEditable = Flag(options, u"NotEditable");
    parsed.filePath = Flag(options, u"FilePath");
    parsed.readOnlyValues = Flag(options, u"ReadOnlyValues");
    parsed.showUndefined = Flag(options, u"ShowUndefined");
    parsed.showDefault = Flag(options, u"ShowDefault");
    parsed.notAutoSetInitialSelection = Flag(options, u"NotAutoSetInitialSelection");
    parsed.noStringEscCodes = Flag(options, u"NoStringEscCodes");
    ReadText(options, u"Tips", &parsed.tips);
    ReadNumber(options, u"EditChangeDelay", &parsed.editChangeDelay);
    ReadNumber(options, u"MaxNumOfRecentValues", &parsed.maxNumOfRecentValues);
    ReadText(options, u"RegistryRootKeyForRecentValues", &parsed.registryRootKeyForRecentValues);
    ReadText(options, u"FileMask", &parsed.fileMask);
    ReadText(options, u"RegistryVarNameForRecentValues", &parsed.registryVarNameForRecentValues);
    return parsed;
}

std::string DecodeEscapes(const std::string& text) {
    std::string decoded;
    decoded.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            char next = text[i + 1];
            if (next == 'n' || next == 'r' || next == '\\') {
                decoded += next == 'n' ? '\n' : next == 'r' ? '\r' : '\\';
                ++i;
                continue;
            }
        }
        decoded += text[i];
    }
    return decoded;
}

AttrValueComboModel::AttrValueComboModel(const std::string& options)
    : options_(AttrValueComboOptions::Parse(options)), recent_(std::max(options_.maxNumOfRecentValues, 0)) {
    recent_.Load(options_.registryRootKeyForRecentValues, options_.registryVarNameForRecentValues);
    FillList();
}

AttrValueComboModel::~AttrValueComboModel() {
    recent_.Save();
}

std::string AttrValueComboModel::InitialSelection() const {
    if (options_.notAutoSetInitialSelection) {
        return {};
    }
    std::vector<std::string> items = recent_.Items();
    return items.empty() ? std::string() : items.back();
}

void AttrValueComboModel::InsertAtTop(const std::string& text) {
    RemoveValue(text);
    list_.insert(list_.begin(), text);
}

void AttrValueComboModel::FillList() {
    if (options_.showUndefined) {
        InsertAtTop(CAttrValue::kUndefined);
    }
    if (options_.showDefault) {
        InsertAtTop(kDefault);
    }
    for (const std::string& item : recent_.Items()) {
        InsertAtTop(item);
    }
}

void AttrValueComboModel::AppendListValue(const std::string& text) {
    list_.push_back(text);
}

int AttrValueComboModel::FindValue(const std::string& text) const {
    auto found = std::find(list_.begin(), list_.end(), text);
    return found == list_.end() ? -1 : static_cast<int>(found - list_.begin());
}

void AttrValueComboModel::RemoveValue(const std::string& text) {
    if (int index = FindValue(text); index >= 0) {
        list_.erase(list_.begin() + index);
    }
}

void AttrValueComboModel::ClearList() {
    list_.clear();
    FillList();
}

std::string AttrValueComboModel::ShowValue(const std::string& text) {
    if (options_.notEditable) {
        if (FindValue(text) < 0) {
            InsertAtTop(text);
        }
        current_ = text;
        return text;
    }
    current_ = options_.noStringEscCodes || options_.filePath ? text : DecodeEscapes(text);
    return current_;
}

bool AttrValueComboModel::EditChanged(const std::string& text) {
    pending_ = text;
    if (options_.editChangeDelay == 0) {
        waiting_ = false;
        return true;
    }
    countdown_ = options_.editChangeDelay;
    waiting_ = true;
    return false;
}

bool AttrValueComboModel::TimerTick() {
    if (!waiting_) {
        return false;
    }
    countdown_ -= kTimerMs;
    if (countdown_ > 0) {
        return false;
    }
    waiting_ = false;
    return true;
}

AttrValueComboModel::Check AttrValueComboModel::CheckText(CAttrValue& value, const std::string& text,
                                                          bool lastKeyDeleted, bool dynamicallyStore) {
    current_ = text;
    Check check;
    std::string completion;
    int verdict = value.CompareValue(text.c_str(), &completion);
    check.colour = verdict == 0 ? TextColour::Red : verdict < 0 ? TextColour::Grey : TextColour::Normal;
    if (verdict != 0 && !lastKeyDeleted && completion.size() > text.size() &&
        completion.compare(0, text.size(), text) == 0) {
        check.completion = completion;
        current_ = completion;
    }
    check.storeNow = verdict != 0 && dynamicallyStore;
    return check;
}

void AttrValueComboModel::AddRecentValue() {
    if (options_.maxNumOfRecentValues <= 0) {
        return;
    }
    for (const std::string& item : recent_.Items()) {
        RemoveValue(item);
    }
    recent_.Add(current_);
    for (const std::string& item : recent_.Items()) {
        InsertAtTop(item);
    }
}

std::string AttrValueComboModel::BrowseFilter() const {
    const std::string& mask = options_.fileMask;
    size_t dot = mask.rfind('.');
    std::string extension = dot == std::string::npos ? mask : mask.substr(dot + 1);
    return extension + " Files (" + mask + ")|" + mask + "||";
}

std::string AttrValueComboModel::BrowseInitialName() const {
    return !current_.empty() && current_[0] == '<' ? std::string() : current_;
}
