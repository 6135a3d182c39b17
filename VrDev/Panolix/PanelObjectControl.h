// CPObjectControl: the working element of a panel. It shows the value a script expression computes,
// formatted and coloured by its validity against a spec, stops the auto-refresh loop on a bad value when
// the engine asks for it, and offers parameter rows and a "Set" button that run its 'Set' script.
//
// Its scripts: the get template (configuration item PnxGetScript_<language>) turns the value expression into
// refresh text that assigns the script variables rt_value<name> and rt_valid<name>; the set template
// (PnxSetScript_<language>) turns each parameter row into a line of the 'Set' script.
//
// Threads: window thread only. Failures: as CPObject; script failures show a "Run-Time Error" box.
#pragma once

#include "ControlLogic.h"
#include "PanelObject.h"

#include "platform/com/comptr.h"

#include <QColor>
#include <QLabel>
#include <QPointer>
#include <QPushButton>

#include <vector>

struct IVrSpecValidator;

class CPObjectControl : public CPObject {
public:
    // Also creates the spec validator; when that fails the object works without one (no info texts, and
    // every entered parameter is refused), recording "Couldn't instantiate SpecValidator object.".
    CPObjectControl(IPanelHost& host, CTestExecutive* worker);
    ~CPObjectControl() override;

    const char16_t* GetType() const override { return u"control"; }
    [[nodiscard]] HRESULT Load(CXmlFile& file, const vr::xml::Node& element) override;
    [[nodiscard]] HRESULT Save(CXmlFile& file, const vr::xml::Node& element) override;
    std::unique_ptr<CPObject> CreateOfSameType(IPanelHost& host, CTestExecutive* worker) const override;
    void CopyTo(CPObject& target) const override;
    void Show(bool hide) override;
    // Reads the templates of the language (missing: "Configuration data for '%ls' Script Language is not
    // found." and E_FAIL), lays out the windows and runs the 'Initialize' script.
    [[nodiscard]] HRESULT Initialize(bool create) override;
    void DestroyWindows() override;
    // Reads rt_value<name> (and rt_valid<name> when the spec checks) from the script and shows it; false
    // when the value could not be read or the display format is not a valid number format.
    bool ShowValue() override;
    // "<description, or the name without one>: '<value read>' <valid | NOT valid | unchecked | unreadable>,
    // shown as '<text>'".
    std::optional<std::u16string> ShownValueLine() const override;
    [[nodiscard]] HRESULT ComposeRefreshScript(std::u16string& script) override;
    void Edit() override;
    // The "Set" button: checks every row's entry, runs the set lines and the 'Set' script (queued while a
    // refresh runs), then refreshes this object. paramvalues keeps every row's entry, also after a refusal.
    void ExecuteSet() override;
    // The Set with its script queued for the next refresh (true) or run now.
    void ExecuteSet(bool queueForRefresh);
    void OnLayout() override {}

    const std::u16string& Format() const { return format_; }
    void SetFormat(std::u16string text) { format_ = std::move(text); }
    const std::u16string& Spec() const { return spec_; }
    void SetSpec(std::u16string text) { spec_ = std::move(text); }
    const std::u16string& ValueExpression() const { return value_; }
    void SetValueExpression(std::u16string text) { value_ = std::move(text); }
    const std::u16string& Parameters() const { return parameters_; }
    void SetParameters(std::u16string text) { parameters_ = std::move(text); }
    const std::u16string& ParamValues() const { return paramValues_; }
    void SetParamValues(std::u16string text) { paramValues_ = std::move(text); }

    // A plain button: no value expression and no parameters, but a 'Set' script.
    bool IsPlainButton() const;

    // What the windows show (for the dialog's tests and the panel's own): the value window's text and
    // colour, the parameter rows' edits (null where none was made) and the button.
    std::u16string ValueText() const;
    QColor ValueColor() const;
    QWidget* ValueWindow() const { return valueWindow_; }
    QLabel* InfoStatic() const { return infoStatic_; }
    QPushButton* SetButton() const { return button_; }
    size_t RowCount() const { return rows_.size(); }
    QWidget* RowEdit(size_t index) const;

private:
    struct Row {
        SetParameter parameter;
        std::u16string info;
        QPointer<QLabel> nameLabel; // owned (child of the host's parent)
        QPointer<QWidget> edit;     // owned; null when too narrow
        QPointer<QLabel> infoLabel; // owned
    };

    bool ReadTemplates();
    std::u16string InfoOf(const std::u16string& spec) const;
    void MakeWindows(bool plainButton);
    void ShowValueText(const std::u16string& text, const QColor& color);
    // Reads a global of the loaded script as text; false when it cannot be read (recorded).
    bool ReadScriptVariable(const std::u16string& name, std::u16string* text);
    bool EntryIsValid(const SetParameter& row);
    void StopLoopWhenAsked();

    std::u16string format_;
    std::u16string spec_;
    std::u16string value_;
    std::u16string parameters_;
    std::u16string paramValues_;
    std::vector<Row> rows_;
    std::u16string getTemplate_; // with CR LF in place
    std::u16string setTemplate_;
    vr::ComPtr<IVrSpecValidator> validator_; // null when it could not be made
    QPointer<QWidget> valueWindow_;          // owned (child of the host's parent)
    QPointer<QLabel> infoStatic_;            // owned
    QPointer<QPushButton> button_;           // owned
    std::u16string shownText_;               // what the value window shows (also without windows)
    QColor shownColor_ = Qt::black;
    std::u16string readValue_;           // the value the last ShowValue read, before its format
    const char16_t* validity_ = nullptr; // what the last ShowValue found; null before the first
};
