// The logic of an attribute value's editor combo, without a window: its options, its list with the recent
// values, escape decoding, and the delayed check of typed text with its colours and completion. The Qt combo
// is a thin view over it. Window thread only.
#pragma once

#include "common/attrvalues/RecentValues.h"

#include <string>
#include <vector>

class CAttrValue;

struct AttrValueComboOptions {
    bool notEditable = false;
    bool filePath = false;
    bool readOnlyValues = false;
    bool showUndefined = false;
    bool showDefault = false;
    bool notAutoSetInitialSelection = false;
    bool noStringEscCodes = false;
    std::string tips;
    int editChangeDelay = 700; // ms; 0 checks at once
    int maxNumOfRecentValues = 7;
    std::string registryRootKeyForRecentValues = "Software\\Vornic\\UserValues\\ListOfRecentValues\\";
    std::string fileMask = "*.*";
    std::string registryVarNameForRecentValues = "TestEditValue";

    static AttrValueComboOptions Parse(const std::string& options);
};

enum class TextColour { Normal, Grey, Red };

class AttrValueComboModel {
public:
    static constexpr int kTimerMs = 300;
    static constexpr const char* kDefault = "<Default>";

    // Reads the options and, when recent values are kept, loads them from the registry; fills the list.
    explicit AttrValueComboModel(const std::string& options);
    // Writes the recent values back.
    ~AttrValueComboModel();
    AttrValueComboModel(const AttrValueComboModel&) = delete;
    AttrValueComboModel& operator=(const AttrValueComboModel&) = delete;

    const AttrValueComboOptions& Options() const { return options_; }
    // The list from the top: the newest recent value ... the oldest, "<Default>", "<Undefined>", then the
    // values appended by the row.
    const std::vector<std::string>& List() const { return list_; }
    // The entry to select at creation, or "" when none.
    std::string InitialSelection() const;

    void AppendListValue(const std::string& text);
    int FindValue(const std::string& text) const;
    void RemoveValue(const std::string& text);
    // Removes every entry and fills the list again.
    void ClearList();

    // The text a value shows for editing: "\n", "\r" and "\\" decoded unless the options forbid it. With
    // NotEditable the text is also put into the list when missing.
    std::string ShowValue(const std::string& text);

    // Typing: with a delay the text waits (drawn grey) until enough timer ticks passed; returns true when the
    // text is to be checked now.
    bool EditChanged(const std::string& text);
    // One 300 ms tick; returns true when the pending text is now due for checking.
    bool TimerTick();
    const std::string& PendingText() const { return pending_; }

    // The check of a typed text against its value.
    struct Check {
        TextColour colour = TextColour::Normal; // of the text in the edit field
        std::string completion;                 // the completed edit text, or "" when nothing is completed
        bool storeNow = false;                  // the row stores at once (DynamicallyStoreAttrValue)
    };
    Check CheckText(CAttrValue& value, const std::string& text, bool lastKeyDeleted, bool dynamicallyStore);
    const std::string& CurrentText() const { return current_; }

    // After a successful store: the current text becomes the newest recent value and is selected.
    void AddRecentValue();
    const RecentValues& Recent() const { return recent_; }

    // The file dialog's filter: "csf Files (*.csf)|*.csf||" for the mask "*.csf".
    std::string BrowseFilter() const;
    // The dialog's initial file name: the current text unless it begins with "<".
    std::string BrowseInitialName() const;

private:
    void FillList();
    void InsertAtTop(const std::string& text);

    AttrValueComboOptions options_;
    RecentValues recent_;
    std::vector<std::string> list_;
    std::string current_;
    std::string pending_;
    int countdown_ = 0;
    bool waiting_ = false;
};

// Decodes "\n", "\r" and "\\" in a value shown for editing.
std::string DecodeEscapes(const std::string& text);
