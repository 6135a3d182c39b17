// The Attributes page of the adapter file sheet without widgets: the device's configuration attributes (the
// xsd:element children of the attributes schema), one at a time in the XSD element editor's logic, created,
// edited and removed, each change written into the file at once.
//
// Usage: Init when the page is made (it shows the first attribute); hand every description the element
// editor accepts to OnElementChanged; OnNew and OnRemove for the buttons. The view shows Editor()'s rows and
// status, RemoveEnabled() and DiagnosticText().
// Failures: reported through the host as boxes: "Error during loading/saving/removing '<name>' Attribute."
// for the document's part, "Error during writing the device adapter file '<path>'." when the file cannot be
// written; a removal whose file is not written stays pending in the document and says so in the status.
// Threads: the window thread only.
#pragma once

#include "VrDev/Ostrel/editors/ElementEditorModel.h"
#include "VrDev/Ostrel/pages/AdapterPageHost.h"

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

    explicit AttributesPageModel(AdapterPageHost& host) : host_(host) {}

    // Initialises the editor with the page's rows and shows the first attribute.
    void Init();
    // Shows the attribute of that name ("<Undefined>": none); E_INVALIDARG when there is none of that name.
    // The name becomes the current one in every case, so the next change stores under it.
    [[nodiscard]] HRESULT ShowAttribute(const std::u16string& name);
    void SelectFirstAttribute();
    // A description the element editor accepted: another name shows that attribute, the current one is
    // written into the file and the file saved.
    void OnElementChanged(std::u16string_view description);
    // Asks for a name and makes a fresh integer attribute of it (asking first when the name is taken).
    void OnNew();
    // Removes the shown attribute and writes the file.
    void OnRemove();

    CElementEditorModel& Editor() { return editor_; }
    const std::u16string& CurrentName() const { return current_; }
    bool RemoveEnabled() const { return removeEnabled_; }
    const std::u16string& DiagnosticText() const { return diagnostic_; }

private:
    CDeviceAdapterFile* File() { return host_.AdapterFile(); }
    // Writes the file; false after reporting why not.
    bool Save();
    void RefreshNameChoices();
    std::u16string FileXml();

    // All members: the window thread.
    AdapterPageHost& host_; // the sheet; outlives the page
    CElementEditorModel editor_;
    std::u16string current_{kUndefined};
    bool removeEnabled_ = false;
    std::u16string diagnostic_;
};

} // namespace ostrel
