// One named, editable setting of a form (CAttrValue) and the values of one form (CAttrValueList), turned into
// an option string and back. Shared in process between a program and the editor control it lends its list
// to, so the members and the virtual operations keep their order. Used on the window thread of the form only.
#pragma once

#include "platform/com/hresult.h"

#include <memory>
#include <string>
#include <vector>

// 8-bit text throughout is UTF-8; the buffers never split a character when they cut a long text.
class CAttrValue {
public:
    static constexpr size_t kNameCapacity = 500;   // characters a name holds, terminator excluded
    static constexpr size_t kValueCapacity = 5000; // the same for a value
    static constexpr const char* kUndefined = "<Undefined>";

    CAttrValue(const char* name, const char* options);
    virtual ~CAttrValue();
    CAttrValue(const CAttrValue&) = delete;
    CAttrValue& operator=(const CAttrValue&) = delete;

    // Overridable: writes the edited text to the value's data source (here: the buffer).
    [[nodiscard]] virtual HRESULT StoreValue(const char* text);
    // Overridable: refreshes the buffer from the data source (here: nothing to do).
    [[nodiscard]] virtual HRESULT RetrieveValue();
    virtual const char* GetValueText();
    virtual void SetValueText(const char* text);
    virtual const char* GetNameText();
    virtual void SetNameText(const char* text);
    // Overridable: 1 the typed text is acceptable, 0 it is not, -1 it is the undefined marker. A subclass may
    // put a longer acceptable text that starts with the typed one into *completion.
    virtual int CompareValue(const char* text, std::string* completion);
    virtual void ClearValues();
    // Overridable: true when Values changed since the editor filled its list.
    virtual bool ValuesChanged();
    virtual int GetValueCount();
    virtual std::string GetValueAt(int index);
    // Appends the text unless an entry is byte-for-byte equal to it.
    virtual void AddValue(const char* text);
    virtual int GetChoiceCount();
    virtual std::string GetChoiceAt(int index);
    virtual void AddChoice(const char* text);
    virtual std::string GetOptions();
    virtual void SetOptions(const char* text);
    // Appends " " and the text.
    virtual void AppendOptions(const char* text);

    std::vector<std::string> Values;
    std::vector<std::string> Choices;
    std::unique_ptr<char[]> NameBuffer;
    std::unique_ptr<char[]> ValueBuffer;
    std::string Options;
};

class CAttrValueList {
public:
    CAttrValueList() = default;
    virtual ~CAttrValueList();
    CAttrValueList(const CAttrValueList&) = delete;
    CAttrValueList& operator=(const CAttrValueList&) = delete;

    virtual void Add(CAttrValue* value);
    // The first value of exactly this name (case counts), or null.
    virtual CAttrValue* FindByName(const char* name);
    // No bounds check: index must be below GetCount().
    virtual CAttrValue* GetAt(int index);
    virtual int GetCount();
    // Takes the first value of the name out of the list, without deleting it; null when none.
    virtual CAttrValue* RemoveByName(const char* name);
    // Puts value in the place of the first value of the name and returns the old one (not deleted); null and
    // no change when none.
    virtual CAttrValue* ReplaceByName(const char* name, CAttrValue* value);
    // The list no longer deletes its values (a host lends its list and keeps ownership).
    virtual void SetNotOwner();
    // Deletes every value unless the list is not their owner, then empties the list.
    virtual void Clear();
    // "Name=Value" items of every defined value, separated by blanks, quoted by the option-string rules.
    virtual std::string GetSettings();
    // Stores into each value its setting: by its whole name first, else by the part after its first ":".
    virtual void SetSettings(const char* settings);

    std::vector<CAttrValue*> Values;
    bool NotOwner = false;
};
