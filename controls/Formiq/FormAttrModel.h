// The logic of the editor control's form without a window: which values it shows (an attribute collection's
// or a host's lent list), the rows' options and places, the "Supplementary Setup" row, a row's change, and
// storing, retrieving and reading back the values. The Qt form (FormAttr.h) is a thin view over it.
// Threads: the window thread of the control only.
#pragma once

#include "AttrCollValue.h"
#include "common/attrvalues/AttrValueEditorModel.h"
#include "platform/com/hresult.h"

#include <memory>
#include <string>
#include <vector>

// A row's place in the form, in pixels: the editor column's left and right, the row's top and bottom.
struct FormRowRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

struct FormRow {
    std::unique_ptr<AttrValueEditorModel> model; // the row's editor logic, over its value
    FormRowRect rect;
    CAttrCollValues* supplementaryOf = nullptr; // the list whose supplementary text the row edits, or null
};

class FormAttrModel {
public:
    static constexpr int kRowHeight = 24;
    static constexpr int kFirstY = 1;
    static constexpr int kEditorGap = 2;        // between the name column and the editor column
    static constexpr int kRightMargin = 3;      // right of the editor without a scroll bar
    static constexpr int kScrollBarMargin = 24; // right of the editor when the rows need a scroll bar
    static constexpr const char* kSupplementaryName = "Supplementary Setup";
    static constexpr const char* kSupplementaryOptions =
        "DynamicallyStoreAttrValue MaxNumOfRecentValues=0 ShowUndefined=false";

    // width, height: the form's client area, in pixels.
    FormAttrModel(int width, int height) : width_(width), height_(height) {}
    ~FormAttrModel();
    FormAttrModel(const FormAttrModel&) = delete;
    FormAttrModel& operator=(const FormAttrModel&) = delete;

    // Adds rows below the present ones: for the collection's attributes when collection is an attribute
    // collection (a list of the form's own, setup applied to the collection first), else for the values of
    // the host's lent list (kept by the host, no supplementary row), else none. childOptions gives a value's
    // editor options by its qualified or local name. Always true: a form without values shows nothing.
    bool Init(IUnknown* collection, CAttrValueList* lent, long nameWidth, const std::string& options,
              const std::string& setup, const std::string& childOptions);
    // Forgets every row and the values the form owns; the form is empty again.
    void Clear();

    const std::vector<FormRow>& Rows() const { return rows_; }
    int NameWidth() const { return nameWidth_; }
    // The height of the rows: the scroll range.
    int NextY() const { return nextY_; }
    const std::string& Options() const { return options_; }
    bool ShowsSupplementary() const { return showSupplementary_; }
    // The supplementary text of the last collection's list ("" without one).
    std::string Supplementary() const;

    // A row's text changed to text: the supplementary row's text becomes the list's supplementary text.
    // Returns the change the control reports: the row's name and text.
    std::pair<std::string, std::string> RowChanged(size_t row, const std::string& text);

    // Applies the supplementary text to its collection, for every supplementary row shown.
    HRESULT ApplySupplementary();
    // Every row's text, "<Undefined>" left out, as one settings string in normal form; the supplementary
    // row's text is appended as it stands.
    std::string GetAttributes() const;

private:
    void AddRow(CAttrValue& value, CAttrCollValues* supplementaryOf);
    // The editor's width for this many rows: narrower when they are taller than the form.
    int EditorWidth(size_t rowCount) const;

    int width_;                      // the client area; fixed once the form exists
    int height_;                     // the same
    int nameWidth_ = 0;              // of the last Init
    int nextY_ = kFirstY;            // where the next row goes
    std::string options_;            // the form's options, also every row's
    bool showSupplementary_ = false; // the last Init shows a "Supplementary Setup" row
    // The lists of the collections shown and the supplementary rows' values, kept until Clear: an Init
    // without Clear adds rows below those of the lists before.
    std::vector<std::unique_ptr<CAttrCollValues>> ownedLists_;
    std::vector<std::unique_ptr<CAttrValue>> supplementaries_;
    std::vector<FormRow> rows_; // in the order shown
};
