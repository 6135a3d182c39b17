// The XSD element editor on Qt: the element's rows in the attribute-collection editor control, rebuilt when
// the type or kind of token changes the rows; each accepted change is handed on as elementChanged. A thin
// view on CElementEditorModel.
//
// Usage: Create once (false when the control cannot be made), Init with the options, then SetElement for
// every token shown and Clear when none; connect elementChanged to the message editor's OnElementChanged.
// Failures: a change the element check refuses shows the check's text in the status line and sends nothing.
// Threads: the window thread only.
#pragma once

#include "VrDev/Ostrel/editors/ElementEditorModel.h"
#include "common/attrvalues/AttrValue.h"
#include "common/widgets/Formiq.h"

#include <QWidget>

class QLineEdit;

class XmlSchemaElementEditor : public QWidget {
    Q_OBJECT
public:
    explicit XmlSchemaElementEditor(QWidget* parent = nullptr);
    ~XmlSchemaElementEditor() override;

    // Makes the hosted control; false when it cannot be made (not registered).
    bool Create();
    void Init(std::u16string_view options, std::u16string_view xsdQualifier,
              std::u16string_view xmlAttrStructure,
              std::vector<ostrel::ElementRowDef> sourceRows = ostrel::StandardElementRows());
    [[nodiscard]] HRESULT SetElement(std::u16string_view type, std::u16string_view name,
                                     std::u16string_view description);
    void Clear();
    // Shows what an owner changed on Model() directly: its rows when rebuilt, and its status.
    void Refresh();

    ostrel::CElementEditorModel& Model() { return model_; }
    CFormiq& Control() { return control_; }
    QString StatusText() const;

Q_SIGNALS:
    // An accepted description for the current token.
    void elementChanged(const QString& description);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Shows the model's rows in the control when they were rebuilt.
    void ShowRows();
    // The control changed the row of that name: its value as the control shows it goes to the model.
    void TakeControlRow(const std::u16string& name);
    void ShowStatus();
    bool SameRowNames();

    // All members: the window thread.
    ostrel::CElementEditorModel model_;
    QWidget* place_ = nullptr;    // child: the control's parent, which receives its notices
    QLineEdit* status_ = nullptr; // child
    CFormiq control_;
    CAttrValueList rows_;      // lent to the control, which edits it in place
    int shownGeneration_ = -1; // the model's rows generation the control shows
    bool filling_ = false;     // notices of our own filling are no edits
    bool takingEdit_ = false;  // the rows change by an edit in the control, which already shows it
};
