// The test executive's form without widgets: opening, creating and saving a sequence file, the tree built
// from it, adding, inserting and removing tests, and the property rows and configuration code of the
// selected test, written back into the document as they are edited.
//
// Usage: the window makes the form over the document, the tree and the run it also hands the run, calls
// Open, Save and the tree commands, and passes the property pane's and the config pane's edits in. Open,
// Load, AddTest and RemoveTest are refused while the run is in progress, because the run holds the tree's
// items and their elements; a load asks the run's state, and is its loading phase.
// Threads: the window thread.
// Failures: an error box and a status text, as each operation says; the document in memory stays as it was.
#pragma once

#include "TestRunTime/Runvex/SequenceDocument.h"
#include "TestRunTime/Runvex/SequenceTree.h"
#include "common/attrvalues/AttrValue.h"

#include <optional>
#include <string>
#include <vector>

namespace runvex {

class SequenceRun;

// The form's window as the logic sees it.
class FormView {
public:
    virtual ~FormView() = default;
    virtual void ShowStatus(const std::string& text) = 0;
    virtual void ShowError(const std::string& caption, const std::string& text) = 0;
    // The tree was rebuilt: the tree widget shows the items anew.
    virtual void ShowTree() = 0;
    // The item's label changed.
    virtual void ShowLabel(const SequenceItem& item) = 0;
    // The selected item and the rows and config text changed: the panes show them.
    virtual void ShowProperties() = 0;
};

class SequenceForm {
public:
    static constexpr const char* kTextRowOptions =
        "ShowUndefined,DynamicallyStoreAttrValue,MaxNumOfRecentValues=0,EditChangeDelay=0";
    static constexpr const char* kCodeFileRowOptions =
        "ShowUndefined,DynamicallyStoreAttrValue,FileMask=*.*,MaxNumOfRecentValues=0";

    // languages: the script executive's, offered by the Language row before "ControlPanel" and "WinDLL".
    SequenceForm(FormView& view, SequenceDocument& document, SequenceTree& tree, SequenceRun& run,
                 const std::vector<std::string>& languages);

    bool IsLoaded() const { return loaded_; }
    // The rows Name, Description, Code File and Language, for the property editor.
    CAttrValueList& PropertyRows() { return rows_; }
    const std::string& ConfigText() const { return config_; }
    SequenceItem* Selected() const { return selected_; }

    // The Open command after the file dialog: an existing file is loaded; another name becomes a new
    // sequence copied from the blank one.
    bool Open(const std::string& chosenPath);
    bool Load(const std::string& path);
    void Save();

    // Selects the item and fills the rows and the config text from its test (all "<Undefined>" and empty
    // for the root item).
    void ShowProperties(SequenceItem& item);
    // A row of the property editor changed; ignored while the form fills the rows or the root is selected.
    void PropertyEdited(const std::string& rowName, const std::string& value);
    // The config pane's whole text changed; ignored as PropertyEdited.
    void ConfigEdited(const std::string& text);

    // Add Test and Insert Test: a new test before the selected one, or last when the root is selected.
    void AddTest();
    // Takes the selected test out of the document.
    void RemoveTest();
    // The Edit Code command: the selected test's code file (a Windows path mapped onto this machine) when it
    // exists; otherwise an error box and none.
    std::optional<std::string> CodeFileToEdit();

private:
    void MakeTree();
    bool Refused() const;
    void Failed(const std::string& what, const std::string& path);

    FormView& view_;
    SequenceDocument& document_;
    SequenceTree& tree_;
    SequenceRun& run_;
    CAttrValueList rows_;              // window thread
    std::string config_;               // window thread
    SequenceItem* selected_ = nullptr; // window thread: an item of tree_, null before the first tree
    bool loaded_ = false;              // window thread
    bool updating_ = false;            // window thread: set while the rows are filled
};

} // namespace runvex
