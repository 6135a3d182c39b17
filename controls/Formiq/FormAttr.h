// The editor control's widgets: FormiqWidget, the control's window, and CFormAttr, the scrolling form in it
// whose rows are attribute-value editors over FormAttrModel's rows. A row's change goes from the form to the
// control, which emits attributeChanged and posts WM_ATTRIBUTE_CHANGED to its parent.
// Threads: the window thread only.
#pragma once

#include "FormAttrModel.h"

#include <QPointer>
#include <QScrollArea>
#include <QWidget>

#include <string>
#include <vector>

class AttrValueEditor;

class CFormAttr : public QScrollArea {
    Q_OBJECT
public:
    // A form of this size that keeps it (resizing the control leaves the form alone).
    CFormAttr(const QSize& size, QWidget* parent);
    ~CFormAttr() override;

    // See FormAttrModel::Init; makes the new rows' editors.
    bool Init(IUnknown* collection, CAttrValueList* lent, long nameWidth, const std::string& options,
              const std::string& setup, const std::string& childOptions);
    // Every row reads its value again and shows it.
    void RetrieveAttributeValues();
    // The supplementary setup (when shown), then every row stores its value (a failure is shown by its row).
    void StoreAttributeValues();
    std::string GetAttributes() { return model_.GetAttributes(); }
    void Clear();

Q_SIGNALS:
    // A row's value changed: its name and the text it shows.
    void rowChanged(const QString& name, const QString& value);

private:
    void AddEditor(size_t row);
    void RowTextChanged(AttrValueEditor* editor, const QString& text);

    // All of them on the window thread only, as the whole form.
    FormAttrModel model_;                   // the rows' logic and values
    QWidget* content_;                      // the scrolled surface the rows sit on
    std::vector<AttrValueEditor*> editors_; // parallel to the model's rows; children of content_
};

class FormiqWidget : public QWidget {
    Q_OBJECT
public:
    // Makes the form at (0, 0), 4 pixels narrower and lower than geometry.
    FormiqWidget(QWidget* parent, const QRect& geometry);

    CFormAttr* Form() const { return form_; }
    // The attribute that changed last and its value.
    const QString& LastName() const { return lastName_; }
    const QString& LastValue() const { return lastValue_; }

Q_SIGNALS:
    // The event AttributeChanged.
    void attributeChanged(const QString& name, const QString& value);

private:
    void FormChanged(const QString& name, const QString& value);

    CFormAttr* form_ = nullptr; // a child, made with the widget; window thread only as the rest
    QString lastName_;          // filled before the change is reported
    QString lastValue_;         // the same
};
