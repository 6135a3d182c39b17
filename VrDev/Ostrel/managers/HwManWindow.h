// HwManWindow: the studio's "Connection Management" and "Socket/Device Management" windows, a thin view over
// HwManager: the record's name (chosen, not typed), server (the recent servers offered; a text that is no
// registered ProgID is shown red and not stored) and resource (device: connection) fields, the attributes of
// the object made from the record in the attribute-collection editor control, the buttons and the status
// line.
// Test opens the connection tester on the shown connection.
// Threads: the window thread, in a single-threaded apartment. Failures: shown on the status line.
#pragma once

#include "VrDev/Ostrel/managers/HwManager.h"
#include "VrDev/Ostrel/managers/TesterWindow.h"
#include "common/widgets/Formiq.h"

#include <QComboBox>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>

class QLineEdit;
class QPushButton;

namespace ostrel {

// A combo box whose choices are asked for each time its list opens; editable unless told otherwise.
class ChoiceCombo : public QComboBox {
    Q_OBJECT
public:
    using Choices = std::function<std::vector<std::u16string>()>;
    ChoiceCombo(Choices choices, QWidget* parent, bool editable = true);
    // Fills the list from the choices, keeping the shown text.
    void RefreshChoices();
    void showPopup() override;

private:
    Choices choices_; // fixed at construction
};

class HwManWindow : public QWidget {
    Q_OBJECT
public:
    // libraries: devices' generated libraries (borrowed, may be null).
    HwManWindow(HwKind kind, IVrRigmont* rigmont, DeviceLibraries* libraries, QWidget* parent = nullptr);
    // The fields tell nothing more: their children lose the focus as they go, after the window's own members.
    ~HwManWindow() override;

    HwManager& Logic() { return logic_; }
    ChoiceCombo* NameField() const { return name_; }
    ChoiceCombo* ServerField() const { return server_; }
    ChoiceCombo* ResourceField() const { return resource_; }
    QLineEdit* StatusLine() const { return status_; }
    QPushButton* Button(const QString& text) const;
    CFormiq& Editor() { return editor_; }
    // The tester opened by Test; null when none is open.
    TesterWindow* Tester() const { return tester_.data(); }

    void ChooseName(const QString& name);
    void NewCommand();

private Q_SLOTS:
    void OnAttributeChanged(const QString& name, const QString& value);

private:
    void FieldEdited(QComboBox* field);
    void TestCommand();
    void ShowState();
    void FillEditor();

    HwManager logic_;               // window thread
    ChoiceCombo* name_;             // owned by the window
    ChoiceCombo* server_;           // owned by the window
    ChoiceCombo* resource_;         // owned by the window
    QLineEdit* status_;             // owned by the window
    QWidget* editorPlace_;          // owned by the window
    CFormiq editor_;                // window thread; its widget is editorPlace_'s child
    bool editorMade_ = false;       // window thread
    unsigned shownLoad_ = ~0u;      // window thread: the record load the editor shows
    QPointer<TesterWindow> tester_; // a top-level window that deletes itself on close
};

} // namespace ostrel
