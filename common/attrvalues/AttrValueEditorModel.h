// The logic of one form row that edits an attribute value, without a window: the options its combo gets, its
// label, and storing and retrieving the value with the error texts the row shows. The Qt row is a thin view
// over it. Window thread only.
#pragma once

#include "common/attrvalues/AttrValueComboModel.h"
#include "platform/com/hresult.h"

#include <memory>
#include <string>

class CAttrValue;

struct AttrValueRowFlags {
    bool showNameAsStandardStatic = false;
    bool showLocalNameOnly = false;
    bool dynamicallyStoreAttrValue = false;
    bool notAutoSetRecentValue = false;

    static AttrValueRowFlags Parse(const std::string& options);
};

class AttrValueEditorModel {
public:
    // The value stays the caller's; it must outlive the row.
    AttrValueEditorModel(CAttrValue& value, const std::string& rowOptions);

    // The options the row hands its combo: the row options, NotAutoSetInitialSelection, then either the
    // recent values named after the value or (for a value with offered values) no recent values and a list
    // without typing, and last the value's own options (so they win).
    static std::string ChildOptions(CAttrValue& value, const std::string& rowOptions);

    const AttrValueRowFlags& Flags() const { return flags_; }
    AttrValueComboModel& Combo() { return *combo_; }
    CAttrValue& Value() { return value_; }

    // "name :" for a plain label, else the name; the part after the first ":" with ShowLocalNameOnly.
    std::string LabelText() const;
    // Renames the value to a chosen alternative name.
    void ChooseName(const std::string& name);

    struct Outcome {
        HRESULT hr = S_OK;
        std::string errorText; // the message box text on failure
    };
    // Refreshes the value from its source; on success the combo shows its text (returned in shownText).
    Outcome Retrieve(std::string* shownText);
    // Stores the combo's current text; on success adds it to the recent values (not "<Undefined>", not with
    // NotAutoSetRecentValue).
    Outcome Store();
    // What typing the text into the row does, with nothing completed from the recent values: it becomes the
    // combo's current text and, for a row that stores as it is typed (DynamicallyStoreAttrValue), is stored.
    Outcome Type(const std::string& text);

private:
    CAttrValue& value_;
    AttrValueRowFlags flags_;
    std::unique_ptr<AttrValueComboModel> combo_;
};

// "Error while <action> \"<name>\" attribute value!" with the thread's error information (source and
// description) when there is any, and the HRESULT.
std::string AttrValueErrorText(const char* action, const std::string& name, HRESULT hr);
