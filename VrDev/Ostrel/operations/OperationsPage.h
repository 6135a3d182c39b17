// The Operations page of the adapter file sheet on Qt: the operation's rows and buttons, the input (query)
// and output (response) message editors, the element editor for the token under the caret, and the parsed
// values of the last answer. A thin view on COperationsModel, bound to the sheet's SheetContext.
//
// Usage: the sheet makes it through MakeOperationsPage and calls Enter, Leave (false after Cancel of the
// question to save, or a failed save) and FileShown. "Add Token" and "Add Token as Result" add the token the
// element editor shows to the Input Parameters or the Result field.
// Failures: boxes go through the sheet's messages; the warning-response dialog, without a display and
// without an answer queued by a test, goes to standard error instead, so nothing waits for an answer nobody
// can give.
// Threads: the window thread only.
#pragma once

#include "VrDev/Ostrel/editors/MsgTypeDefEdit.h"
#include "VrDev/Ostrel/editors/XmlSchemaElementEditor.h"
#include "VrDev/Ostrel/operations/OperationsModel.h"
#include "VrDev/Ostrel/sheet/SheetPage.h"

#include <QDialog>

#include <memory>

class QComboBox;
class QLineEdit;
class QPushButton;
class QTextEdit;

namespace ostrel {

// The modal "Warning" dialog that shows an answer the response definition cannot parse, with a message.
class WarningResponseDialog : public QDialog {
    Q_OBJECT
public:
    WarningResponseDialog(const QString& message, const QString& response, QWidget* parent);
    QTextEdit* ResponseText() const { return response_; }

private:
    QTextEdit* response_; // child
};

class OperationsPage : public SheetPage, private OperationsHost {
    Q_OBJECT
public:
    explicit OperationsPage(SheetContext& context, QWidget* parent = nullptr);
    ~OperationsPage() override;

    QString Caption() const override { return QStringLiteral("Operations"); }
    void Enter() override;
    bool Leave() override;
    void FileShown() override;
    // As Leave: a changed operation is offered for saving.
    bool QueryClose() override;

    COperationsModel& Model() { return *model_; }
    // The widgets, for tests and screenshots.
    QComboBox* NameRow() const { return name_; }
    QComboBox* TimeoutRow() const { return timeout_; }
    QComboBox* InNameRow() const { return inName_; }
    QComboBox* OutNameRow() const { return outName_; }
    QLineEdit* ParametersField() const { return parameters_; }
    QLineEdit* ResultField() const { return result_; }
    QTextEdit* ParsedValues() const { return parsed_; }
    MsgTypeDefEdit* InputEditor() const { return inputEditor_; }
    MsgTypeDefEdit* OutputEditor() const { return outputEditor_; }
    XmlSchemaElementEditor* ElementEditor() const { return elementEditor_; }
    QPushButton* Button(const QString& text) const;

private:
    // OperationsHost, over the sheet's context.
    CDeviceAdapterFile* Document() override;
    bool CanUseDevice() override;
    IVrConnection* Connection() override;
    HRESULT SaveFile() override;
    void ShowError(std::u16string_view text) override;
    void ShowWarning(std::u16string_view text) override;
    SaveAnswer AskSave(std::u16string_view text) override;
    bool Confirm(std::u16string_view text) override;
    std::optional<std::u16string> AskNewName(std::u16string_view kind, std::u16string_view initial) override;
    void ShowUnparsedResponse(std::u16string_view text, std::u16string_view response) override;

    QWidget* BuildOperationGroup();
    QWidget* BuildMessageGroup(MsgSide side);
    QWidget* BuildTokenGroup();
    void Connect();
    // Shows the model's rows, lists and buttons anew.
    void ShowModel();
    void FillNames(QComboBox* row, const std::vector<std::u16string>& names, const std::u16string& current,
                   std::u16string_view undefined);
    // Gives the element editor the rows of the side it is attached to (empties it).
    void AttachRows();
    // Shows the current token of the side the element editor is attached to.
    void ShowCurrentToken();
    void OnTokenSelected(MsgSide side);
    void OnElementChanged(const QString& description);
    void AfterCommand();
    void AddToken(ParameterField field);

    class EditorPort;

    // All members: the window thread. Widgets are children of the page.
    MsgTypeDefEdit* inputEditor_ = nullptr;
    MsgTypeDefEdit* outputEditor_ = nullptr;
    XmlSchemaElementEditor* elementEditor_ = nullptr;
    QComboBox* name_ = nullptr;
    QComboBox* timeout_ = nullptr;
    QComboBox* inName_ = nullptr;
    QComboBox* outName_ = nullptr;
    QLineEdit* parameters_ = nullptr;
    QLineEdit* result_ = nullptr;
    QTextEdit* parsed_ = nullptr;
    QPushButton* addParameter_ = nullptr;
    QPushButton* addResult_ = nullptr;
    QPushButton* newOperation_ = nullptr;
    QPushButton* renameOperation_ = nullptr;
    QPushButton* removeOperation_ = nullptr;
    QPushButton* saveOperation_ = nullptr;
    QPushButton* newInput_ = nullptr;
    QPushButton* send_ = nullptr;
    QPushButton* newOutput_ = nullptr;
    std::unique_ptr<EditorPort> inputPort_;
    std::unique_ptr<EditorPort> outputPort_;
    std::unique_ptr<COperationsModel> model_;
    bool showing_ = false; // our own filling of the rows is no choice of the engineer
};

} // namespace ostrel
