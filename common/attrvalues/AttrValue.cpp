// The attribute value and value list of a form: buffers, offered values, choices and option-string settings.
#include "common/attrvalues/AttrValue.h"

#include "common/options/ParamParser.h"
#include "common/trace/Trace.h"
#include "platform/base/text.h"
#include "platform/com/bstr.h"

#include <algorithm>
#include <cstring>

namespace {

// Copies text into a buffer of capacity + 1 bytes, cutting a longer text at a character boundary so that the
// buffer never ends inside a UTF-8 sequence.
void CopyIntoBuffer(char* buffer, size_t capacity, const char* text) {
    size_t length = text ? std::strlen(text) : 0;
    if (length > capacity) {
        length = capacity;
        while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) {
            --length; // text[length] continues a character: cut before that character's first byte
        }
    }
    if (length > 0) {
        std::memcpy(buffer, text, length);
    }
    buffer[length] = '\0';
}

void AddUnique(std::vector<std::string>& entries, const char* text) {
    std::string entry = text ? text : "";
    if (std::find(entries.begin(), entries.end(), entry) == entries.end()) {
        entries.push_back(std::move(entry));
    }
}

// The value of a name in the settings, when the settings name it.
bool FindSetting(const std::u16string& settings, const std::u16string& name, std::u16string* value) {
    BSTR found = nullptr;
    bool present = GetParam(nullptr, &found, settings.c_str(), name.c_str());
    if (present) {
        *value = found ? std::u16string(found, SysStringLen(found)) : std::u16string();
    }
    SysFreeString(found);
    return present;
}

} // namespace

CAttrValue::CAttrValue(const char* name, const char* options)
    : NameBuffer(new char[kNameCapacity + 1]), ValueBuffer(new char[kValueCapacity + 1]),
      Options(options ? options : "") {
    SetTraceMethodName(u"CAttrValue::CAttrValue()");
    CopyIntoBuffer(NameBuffer.get(), kNameCapacity, name);
    CopyIntoBuffer(ValueBuffer.get(), kValueCapacity, kUndefined);
}

CAttrValue::~CAttrValue() = default;

HRESULT CAttrValue::StoreValue(const char* text) {
    SetValueText(text);
    return S_OK;
}

HRESULT CAttrValue::RetrieveValue() {
    return S_OK;
}

const char* CAttrValue::GetValueText() {
    return ValueBuffer.get();
}

void CAttrValue::SetValueText(const char* text) {
    CopyIntoBuffer(ValueBuffer.get(), kValueCapacity, text);
}

const char* CAttrValue::GetNameText() {
    return NameBuffer.get();
}

void CAttrValue::SetNameText(const char* text) {
    CopyIntoBuffer(NameBuffer.get(), kNameCapacity, text);
}

int CAttrValue::CompareValue(const char* text, std::string* /*completion*/) {
    return text && std::strcmp(text, kUndefined) == 0 ? -1 : 1;
}

void CAttrValue::ClearValues() {
    Values.clear();
}

bool CAttrValue::ValuesChanged() {
    return false;
}

int CAttrValue::GetValueCount() {
    return static_cast<int>(Values.size());
}

std::string CAttrValue::GetValueAt(int index) {
    return Values[static_cast<size_t>(index)];
}

void CAttrValue::AddValue(const char* text) {
    AddUnique(Values, text);
}

int CAttrValue::GetChoiceCount() {
    return static_cast<int>(Choices.size());
}

std::string CAttrValue::GetChoiceAt(int index) {
    return Choices[static_cast<size_t>(index)];
}

void CAttrValue::AddChoice(const char* text) {
    AddUnique(Choices, text);
}

std::string CAttrValue::GetOptions() {
    return Options;
}

void CAttrValue::SetOptions(const char* text) {
    Options = text ? text : "";
}

void CAttrValue::AppendOptions(const char* text) {
    Options += " ";
    Options += text ? text : "";
}

CAttrValueList::~CAttrValueList() {
    Clear();
}

void CAttrValueList::Add(CAttrValue* value) {
    Values.push_back(value);
}

CAttrValue* CAttrValueList::FindByName(const char* name) {
    auto found = std::find_if(Values.begin(), Values.end(), [name](CAttrValue* value) {
        return std::strcmp(value->GetNameText(), name ? name : "") == 0;
    });
    return found == Values.end() ? nullptr : *found;
}

CAttrValue* CAttrValueList::GetAt(int index) {
    return Values[static_cast<size_t>(index)];
}

int CAttrValueList::GetCount() {
    return static_cast<int>(Values.size());
}

CAttrValue* CAttrValueList::RemoveByName(const char* name) {
    CAttrValue* value = FindByName(name);
    if (value) {
        Values.erase(std::find(Values.begin(), Values.end(), value));
    }
    return value;
}

CAttrValue* CAttrValueList::ReplaceByName(const char* name, CAttrValue* value) {
    CAttrValue* old = FindByName(name);
    if (old) {
        *std::find(Values.begin(), Values.end(), old) = value;
    }
    return old;
}

void CAttrValueList::SetNotOwner() {
    NotOwner = true;
}

void CAttrValueList::Clear() {
    if (!NotOwner) {
        for (CAttrValue* value : Values) {
            delete value;
        }
    }
    Values.clear();
}

std::string CAttrValueList::GetSettings() {
    BSTR settings = SysAllocString(u"");
    for (CAttrValue* value : Values) {
        (void)value->RetrieveValue(); // a source that cannot refresh keeps the text it had
        if (std::strcmp(value->GetValueText(), CAttrValue::kUndefined) == 0) {
            continue;
        }
        std::u16string name = vr::FromUtf8(value->GetNameText());
        std::u16string text = vr::FromUtf8(value->GetValueText());
        AppendParam(&settings, name.c_str(), text.c_str(), u" ", false);
    }
    std::string result = vr::ToUtf8(std::u16string_view(settings, SysStringLen(settings)));
    SysFreeString(settings);
    return result;
}

void CAttrValueList::SetSettings(const char* settings) {
    std::u16string text = vr::FromUtf8(settings ? settings : "");
    for (CAttrValue* value : Values) {
        std::u16string name = vr::FromUtf8(value->GetNameText());
        std::u16string found;
        bool present = FindSetting(text, name, &found);
        if (!present && name.find(u':') != std::u16string::npos) {
            present = FindSetting(text, name.substr(name.find(u':') + 1), &found);
        }
        if (present) {
            (void)value->StoreValue(vr::ToUtf8(found).c_str()); // the value's source reports its own failure
        }
    }
}
