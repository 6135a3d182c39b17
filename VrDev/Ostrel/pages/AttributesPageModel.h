// The Attributes page of the adapter file sheet without widgets: the device's configuration attributes (the
// xsd:element children of the attributes schema), one at a time in the XSD element editor's logic, created,
// edited and removed, each change written into the file at once.
//
// Usage: Init once the sheet's file is loaded (it shows the first attribute); hand every description the
// element editor accepts to OnElementChanged; OnNew with the name the new-name dialog gave, OnRemove for the
// Remove button. The view shows Editor()'s rows and status, RemoveEnabled() and DiagnosticText().
// Failures: boxes through the sheet's context: "Error during loading/saving/removing '<name>' Attribute." for
// the document's part, the context's own when the file cannot be written; a removal whose file could not be
// written stays pending in the document and the status line says so.
// Threads: the window thread only.
#pragma once

#include "VrDev/Ostrel/editors/ElementEditorModel.h"
#include "VrDev/Ostrel/sheet/SheetContext.h"

#include <string>
#include <string_view>
#include <vector>

namespace ostrel {

// The rows the page offers the element editor: name (the file's attribute names), type, the editor's own
// rows, the class (a selector only for integers) and whether the socket caches the value.
std::vector<ElementRowDef> AttributeRows();

class AttributesPageModel {
public:
    static constexpr std::u16string_view kUndefined = u"<Undefined>";

    // context: the sheet's; editor: the element editor's logic (its view's); both outlive the page.
    AttributesPageModel(SheetContext& context, CElementEditorModel& editor)
        : context_(context), editor_(editor) {}

    // Initialises the editor with the page's rows and shows the first attribute.
    void Init();
    // Shows the attribute of that name ("<Undefined>": none); E_INVALIDARG when there is none of that name.
    // The name becomes the current one in every case, so the next change stores under it.
    [[nodiscard]] HRESULT ShowAttribute(const std::u16string& name);
    void SelectFirstAttribute();
    // A description the element editor accepted: another name shows that attribute; for the current one
    // what the engineer changed is written into its element (the rest of the element stays as it is) and
    // the file saved.
    void OnElementChanged(std::u16string_view description);
    // Makes a fresh integer attribute of that name and shows it; a name that is taken is replaced only when
    // the engineer says yes.
    void OnNew(const std::u16string& name);
    // Removes the shown attribute and writes the file.
    void OnRemove();

    CElementEditorModel& Editor() { return editor_; }
    const std::u16string& CurrentName() const { return current_; }
    bool RemoveEnabled() const { return removeEnabled_; }
    const std::u16string& DiagnosticText() const { return diagnostic_; }

private:
    CDeviceAdapterFile* File() { return context_.HasFile() ? &context_.Document() : nullptr; }
    // Writes the file; false after the context reported why not.
    bool Save();
    // Writes what the description changes of the rows as shown into the attribute's element.
    HRESULT WriteEdit(const std::u16string& name, std::u16string_view description);
    void RefreshNameChoices();
    std::u16string FileXml();

    // All members: the window thread.
    SheetContext& context_;       // the sheet's; outlives the page
    CElementEditorModel& editor_; // borrowed: its view shows it
    std::u16string current_{kUndefined};
    bool removeEnabled_ = false;
    std::u16string diagnostic_;
    std::u16string shown_; // the rows' description as last shown or written
};

} // namespace ostrel
