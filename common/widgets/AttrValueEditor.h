// One form row that edits an attribute value on Qt: its name label (or a list of alternative names) and its
// editor combo, storing and retrieving the value through AttrValueEditorModel. A stored change is announced
// by attrValueChanged, the row's notice to its owner; with notifications, every change of the combo's text by
// valueTextChanged. Window thread only.
#pragma once

#include "platform/com/hresult.h"

#include <QWidget>

#include <memory>
#include <string>

class AttrValueCombo;
class AttrValueEditorModel;
class CAttrValue;
class QComboBox;
class QLabel;

class AttrValueEditor : public QWidget {
    Q_OBJECT
public:
    // The value stays the caller's and must outlive the row; notify asks for attrValueChanged.
    AttrValueEditor(CAttrValue& value, const std::string& rowOptions, bool notify, QWidget* parent);
    // A view over a row model its owner keeps (and uses, e.g. to store the value itself); the model must
    // outlive the row.
    AttrValueEditor(AttrValueEditorModel& model, bool notify, QWidget* parent);
    ~AttrValueEditor() override;

    // Refreshes the value from its source and shows it; a failure is shown in a message box.
    [[nodiscard]] HRESULT Retrieve();
    // Stores the combo's text into the value; a failure is shown in a message box.
    [[nodiscard]] HRESULT Store();
    // What typing the text into the row does (AttrValueEditorModel::Type), shown in the row; a failure to
    // store is shown in a message box.
    HRESULT Type(const std::string& text);

    AttrValueEditorModel& Model() { return *model_; }
    AttrValueCombo* Combo() const { return combo_; }
    QLabel* Label() const { return label_; }
    QComboBox* NameChoices() const { return nameChoices_; }

Q_SIGNALS:
    void attrValueChanged(const QString& name, const QString& text);
    // The combo's text changed (typed and checked, or shown anew); only when notifications were asked for.
    void valueTextChanged(const QString& name, const QString& text);

private:
    void MakeLabel();
    void NameChosen(const QString& name);
    void ShowFailure(const std::string& text);

    void Build();

    std::unique_ptr<AttrValueEditorModel> ownedModel_;
    AttrValueEditorModel* model_;
    bool notify_;
    QLabel* label_ = nullptr;
    QComboBox* nameChoices_ = nullptr;
    AttrValueCombo* combo_ = nullptr;
};
