// AttributesPage: the sheet's "Attributes" page, a thin view over AttributesPageModel: the shown attribute in
// the XSD element editor, New and Remove, and a hidden diagnostic view of the element's and the file's XML.
// Threads: the window thread. Failures: boxes through the sheet's context.
#pragma once

#include "VrDev/Ostrel/pages/AttributesPageModel.h"
#include "VrDev/Ostrel/sheet/SheetPage.h"

class QPlainTextEdit;
class QPushButton;
class XmlSchemaElementEditor;

namespace ostrel {

class AttributesPage final : public SheetPage {
    Q_OBJECT
public:
    explicit AttributesPage(SheetContext& context);

    QString Caption() const override;
    // Shows the file's first attribute.
    void FileShown() override;

    // New's command: the new-name dialog, then the model's OnNew.
    void NewCommand();
    void RemoveCommand();

    XmlSchemaElementEditor* Editor() const { return editor_; }
    QPushButton* NewButton() const { return new_; }
    QPushButton* RemoveButton() const { return remove_; }
    QPlainTextEdit* Diagnostics() const { return diagnostics_; }
    AttributesPageModel& Model() { return model_; }

private:
    void ElementChanged(const QString& description);
    void ShowModel();

    // All members: the window thread.
    XmlSchemaElementEditor* editor_; // owned by the page
    AttributesPageModel model_;      // on the editor's logic
    QPushButton* new_;               // owned by the page
    QPushButton* remove_;            // owned by the page
    QPlainTextEdit* diagnostics_;    // owned by the page; hidden
};

} // namespace ostrel
