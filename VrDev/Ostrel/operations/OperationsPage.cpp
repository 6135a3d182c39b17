// The Operations page on Qt: rows, buttons and editors over COperationsModel, bound to the sheet's context.
#include "VrDev/Ostrel/operations/OperationsPage.h"

#include "VrDev/Ostrel/managers/NewNameDialog.h"
#include "platform/ui/modal.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>
#include <QVBoxLayout>

#include <cstdio>

namespace ostrel {

namespace {

QString ToQString(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

std::u16string FromQString(const QString& text) {
    return text.toStdU16String();
}

// The element editor's options on this page: the default row is stored as vra:default, enumerations are
// marked with vra:substitution.
constexpr std::u16string_view kElementOptions =
    u"EnumSubstitution=vra:substitution ReplaceElementSchemaAttributes='default=vra:default'";
constexpr std::u16string_view kEnumerationMarker = u"vra:substitution=enumeration";

} // namespace

// The page's message editor as the model drives it.
class OperationsPage::EditorPort final : public MessageEditorPort {
public:
    explicit EditorPort(MsgTypeDefEdit* editor) : editor_(editor) {}
    CMsgEditorModel& Model() override { return editor_->Model(); }
    HRESULT Load(const vr::xml::Node& complexType) override { return editor_->LoadMsgTypeDef(complexType); }
    void New(std::string_view sample, std::string_view messageName, std::string_view termString) override {
        (void)editor_->NewMsgTypeDef(sample, messageName, termString, u"xsd",
                                     kEnumerationMarker); // always starts
    }
    void Clear() override { editor_->ClearMsgTypeDef(); }
    HRESULT SetSample(std::string_view sample) override { return editor_->SetSampleText(sample, true); }
    std::u16string Status() override { return FromQString(editor_->StatusText()); }
    void SetStatus(std::u16string_view text) override { editor_->SetStatusText(ToQString(text)); }

private:
    MsgTypeDefEdit* editor_; // the page's child; outlives the port
};

WarningResponseDialog::WarningResponseDialog(const QString& message, const QString& response, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Warning"));
    auto* group = new QGroupBox(QStringLiteral("Response"), this);
    response_ = new QTextEdit(group);
    response_->setReadOnly(true);
    response_->setPlainText(response);
    (new QVBoxLayout(group))->addWidget(response_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group, 1);
    auto* text = new QLabel(message, this);
    text->setWordWrap(true);
    layout->addWidget(text);
    layout->addWidget(buttons);
}

OperationsPage::OperationsPage(SheetContext& context, QWidget* parent) : SheetPage(context, parent) {
    inputEditor_ = new MsgTypeDefEdit(MsgSide::Query, this);
    outputEditor_ = new MsgTypeDefEdit(MsgSide::Response, this);
    elementEditor_ = new XmlSchemaElementEditor(this);
    inputPort_ = std::make_unique<EditorPort>(inputEditor_);
    outputPort_ = std::make_unique<EditorPort>(outputEditor_);
    OperationsHost& host = *this; // the model reaches the sheet through the page
    model_ = std::make_unique<COperationsModel>(host, *inputPort_, *outputPort_);

    auto* layout = new QGridLayout(this);
    layout->addWidget(BuildOperationGroup(), 0, 0, 1, 2);
    layout->addWidget(BuildMessageGroup(MsgSide::Query), 1, 0);
    layout->addWidget(BuildMessageGroup(MsgSide::Response), 1, 1);
    layout->addWidget(BuildTokenGroup(), 0, 2, 2, 1);
    layout->setColumnStretch(0, 1);
    layout->setColumnStretch(1, 1);
    if (!elementEditor_->Create()) {
        std::fprintf(stderr,
                     "Operations page: the element editor control cannot be made (not registered).\n");
    }
    Connect();
    model_->Init();
    AttachRows();
    ShowModel();
}

OperationsPage::~OperationsPage() = default;

QWidget* OperationsPage::BuildOperationGroup() {
    auto* group = new QGroupBox(QStringLiteral("Operation"), this);
    newOperation_ = new QPushButton(QStringLiteral("New Operation"), group);
    renameOperation_ = new QPushButton(QStringLiteral("Rename Operation"), group);
    removeOperation_ = new QPushButton(QStringLiteral("Remove Operation"), group);
    saveOperation_ = new QPushButton(QStringLiteral("Save Operation"), group);
    name_ = new QComboBox(group);
    timeout_ = new QComboBox(group);
    timeout_->setEditable(true);
    timeout_->setInsertPolicy(QComboBox::NoInsert);
    timeout_->addItem(ToQString(kDefaultTimeout));
    parameters_ = new QLineEdit(group);
    result_ = new QLineEdit(group);
    addParameter_ = new QPushButton(QStringLiteral("Add Token"), group);
    addResult_ = new QPushButton(QStringLiteral("Add Token as Result"), group);
    auto* layout = new QGridLayout(group);
    layout->addWidget(new QLabel(QStringLiteral("Name"), group), 0, 0);
    layout->addWidget(name_, 0, 1);
    layout->addWidget(new QLabel(QStringLiteral("Timeout"), group), 1, 0);
    layout->addWidget(timeout_, 1, 1);
    layout->addWidget(new QLabel(QStringLiteral("Input Parameters :"), group), 0, 2);
    layout->addWidget(parameters_, 0, 3);
    layout->addWidget(addParameter_, 0, 4);
    layout->addWidget(new QLabel(QStringLiteral("Result :"), group), 1, 2);
    layout->addWidget(result_, 1, 3);
    layout->addWidget(addResult_, 1, 4);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* button : {newOperation_, renameOperation_, removeOperation_, saveOperation_}) {
        buttons->addWidget(button);
    }
    layout->addLayout(buttons, 2, 0, 1, 5);
    layout->setColumnStretch(3, 1);
    return group;
}

QWidget* OperationsPage::BuildMessageGroup(MsgSide side) {
    const bool query = side == MsgSide::Query;
    auto* group = new QGroupBox(
        query ? QStringLiteral("Input Message (Query)") : QStringLiteral("Output Message (Response)"), this);
    QComboBox*& row = query ? inName_ : outName_;
    row = new QComboBox(group);
    QPushButton*& newMessage = query ? newInput_ : newOutput_;
    newMessage = new QPushButton(QStringLiteral("New"), group);
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("Name"), group));
    top->addWidget(row, 1);
    top->addWidget(newMessage);
    if (query) {
        send_ = new QPushButton(QStringLiteral("Send"), group);
        top->addWidget(send_);
    }
    MsgTypeDefEdit* editor = query ? inputEditor_ : outputEditor_;
    editor->setParent(group);
    auto* layout = new QVBoxLayout(group);
    layout->addLayout(top);
    layout->addWidget(new QLabel(QStringLiteral("Message Definition :"), group));
    layout->addWidget(editor, 2);
    if (!query) {
        parsed_ = new QTextEdit(group);
        parsed_->setReadOnly(true);
        layout->addWidget(new QLabel(QStringLiteral("Parsed Values :"), group));
        layout->addWidget(parsed_, 1);
    }
    return group;
}

QWidget* OperationsPage::BuildTokenGroup() {
    auto* group = new QGroupBox(QStringLiteral("Token Definition"), this);
    elementEditor_->setParent(group);
    (new QVBoxLayout(group))->addWidget(elementEditor_);
    group->setMinimumWidth(260);
    return group;
}

void OperationsPage::Connect() {
    connect(name_, &QComboBox::activated, this, [this](int index) {
        if (!model_->ChooseOperation(FromQString(name_->itemText(index)))) {
            // Cancel or a failed save keeps the operation; a failed load shows the page as it now is.
        }
        AfterCommand();
    });
    connect(inName_, &QComboBox::activated, this, [this](int index) {
        (void)model_->ChooseInMessage(FromQString(inName_->itemText(index))); // a failure was shown
        AfterCommand();
    });
    connect(outName_, &QComboBox::activated, this, [this](int index) {
        (void)model_->ChooseOutMessage(FromQString(outName_->itemText(index))); // a failure was shown
        AfterCommand();
    });
    connect(timeout_, &QComboBox::editTextChanged, this, [this](const QString& text) {
        if (!showing_) {
            model_->SetTimeoutText(FromQString(text));
        }
    });
    connect(parameters_, &QLineEdit::textEdited, this,
            [this](const QString& text) { model_->SetParameterOrder(FromQString(text)); });
    connect(result_, &QLineEdit::textEdited, this,
            [this](const QString& text) { model_->SetResult(FromQString(text)); });
    connect(addParameter_, &QPushButton::clicked, this, [this] { AddToken(ParameterField::Parameters); });
    connect(addResult_, &QPushButton::clicked, this, [this] { AddToken(ParameterField::Result); });
    connect(newOperation_, &QPushButton::clicked, this, [this] {
        (void)model_->NewOperation(); // Cancel or a refusal leaves the page as it is
        AfterCommand();
    });
    connect(renameOperation_, &QPushButton::clicked, this, [this] {
        (void)model_->RenameOperation(); // a refusal was shown
        AfterCommand();
    });
    connect(removeOperation_, &QPushButton::clicked, this, [this] {
        (void)model_->RemoveOperation(); // a failure was shown
        AfterCommand();
    });
    connect(saveOperation_, &QPushButton::clicked, this, [this] {
        (void)model_->SaveOperation(); // a failure was shown, by the page or by the sheet
        AfterCommand();
    });
    connect(newInput_, &QPushButton::clicked, this, [this] {
        (void)model_->NewInMessage(); // Cancel leaves the page as it is
        AfterCommand();
    });
    connect(newOutput_, &QPushButton::clicked, this, [this] {
        (void)model_->NewOutMessage(); // Cancel leaves the page as it is
        AfterCommand();
    });
    connect(send_, &QPushButton::clicked, this, [this] {
        (void)model_->Send(); // a failure was shown
        AfterCommand();
    });
    for (MsgSide side : {MsgSide::Query, MsgSide::Response}) {
        MsgTypeDefEdit* editor = side == MsgSide::Query ? inputEditor_ : outputEditor_;
        connect(editor, &MsgTypeDefEdit::tokenSelected, this, [this, side] { OnTokenSelected(side); });
        connect(editor, &MsgTypeDefEdit::currentTokenChanged, this, [this, side] {
            if ((side == MsgSide::Query) == (model_->Side() == ElementSide::Input)) {
                ShowCurrentToken();
            }
        });
    }
    connect(elementEditor_, &XmlSchemaElementEditor::elementChanged, this, &OperationsPage::OnElementChanged);
}

void OperationsPage::AfterCommand() {
    ShowModel();
}

void OperationsPage::FillNames(QComboBox* row, const std::vector<std::u16string>& names,
                               const std::u16string& current, std::u16string_view undefined) {
    row->clear();
    row->addItem(ToQString(undefined));
    for (const std::u16string& name : names) {
        row->addItem(ToQString(name));
    }
    if (row->findText(ToQString(current)) < 0) {
        row->addItem(ToQString(current)); // a name not saved yet
    }
    row->setCurrentIndex(row->findText(ToQString(current)));
}

void OperationsPage::ShowModel() {
    showing_ = true;
    FillNames(name_, model_->OperationNames(), model_->Operation(), kUndefinedName);
    FillNames(inName_, model_->MessageNames(MsgSide::Query), model_->InName(), kUndefinedName);
    FillNames(outName_, model_->MessageNames(MsgSide::Response), model_->OutName(), kUndefinedName);
    if (timeout_->currentText() != ToQString(model_->Timeout())) {
        timeout_->setEditText(ToQString(model_->Timeout()));
    }
    if (parameters_->text() != ToQString(model_->ParameterOrder())) {
        parameters_->setText(ToQString(model_->ParameterOrder()));
    }
    if (result_->text() != ToQString(model_->Result())) {
        result_->setText(ToQString(model_->Result()));
    }
    parsed_->setPlainText(ToQString(model_->ParsedValues()));
    const OperationButtons buttons = model_->Buttons();
    removeOperation_->setEnabled(buttons.remove);
    renameOperation_->setEnabled(buttons.rename);
    saveOperation_->setEnabled(buttons.save);
    newInput_->setEnabled(buttons.newInput);
    newOutput_->setEnabled(buttons.newOutput);
    send_->setEnabled(buttons.send);
    showing_ = false;
}

void OperationsPage::AttachRows() {
    const MsgSide side = model_->Side() == ElementSide::Input ? MsgSide::Query : MsgSide::Response;
    elementEditor_->Init(kElementOptions, u"xsd", kEnumerationMarker,
                         OperationElementRows(side, model_->AttributeNames()));
}

void OperationsPage::ShowCurrentToken() {
    MsgTypeDefEdit* editor = model_->Side() == ElementSide::Input ? inputEditor_ : outputEditor_;
    if (std::optional<ShownToken> token = editor->Model().CurrentToken()) {
        // The file's attributes may have changed on the Attributes page since the rows were attached.
        elementEditor_->Model().SetRowChoices(u"default", AttributeChoices(model_->AttributeNames()));
        elementEditor_->Model().SetSchemaTypes(editor->Model().Definition().SchemaTypes());
        (void)elementEditor_->SetElement(token->type, token->name, token->description); // its status tells
    } else {
        elementEditor_->Clear();
    }
}

void OperationsPage::OnTokenSelected(MsgSide side) {
    if (model_->TokenSelected(side)) {
        AttachRows();
        ShowCurrentToken();
    }
}

void OperationsPage::OnElementChanged(const QString& description) {
    switch (model_->Side()) {
    case ElementSide::Input:
        inputEditor_->OnElementChanged(FromQString(description));
        break;
    case ElementSide::Output:
        outputEditor_->OnElementChanged(FromQString(description));
        model_->OutputElementChanged();
        ShowModel();
        break;
    case ElementSide::None:
        break;
    }
}

void OperationsPage::AddToken(ParameterField field) {
    // The token shown in the element editor, of the side it came from.
    const ElementSide side = model_->Side();
    if (side != ElementSide::None) {
        (void)model_->AddParameter(side == ElementSide::Input ? MsgSide::Query : MsgSide::Response,
                                   field); // constants and groups add nothing
    }
    ShowModel();
}

void OperationsPage::Enter() {
    ShowModel();
}

bool OperationsPage::Leave() {
    return model_->QuerySave();
}

bool OperationsPage::QueryClose() {
    const bool agreed = model_->QuerySave();
    ShowModel();
    return agreed;
}

void OperationsPage::FileShown() {
    ShowModel();
}

QPushButton* OperationsPage::Button(const QString& text) const {
    for (QPushButton* button : findChildren<QPushButton*>()) {
        if (button->text() == text) {
            return button;
        }
    }
    return nullptr;
}

// ---- OperationsHost ----

CDeviceAdapterFile* OperationsPage::Document() {
    return Context().HasFile() ? &Context().Document() : nullptr;
}

bool OperationsPage::CanUseDevice() {
    return Context().CanUseDevice();
}

IVrConnection* OperationsPage::Connection() {
    return Context().Connection();
}

HRESULT OperationsPage::SaveFile() {
    return Context().SaveFile();
}

void OperationsPage::ShowError(std::u16string_view text) {
    (void)Context().Message(text, u"Error", MB_OK | MB_ICONSTOP); // one button: the answer is OK
}

void OperationsPage::ShowWarning(std::u16string_view text) {
    (void)Context().Message(text, u"Warning", MB_OK | MB_ICONEXCLAMATION); // one button: the answer is OK
}

SaveAnswer OperationsPage::AskSave(std::u16string_view text) {
    switch (Context().Message(text, u"Warning", MB_YESNOCANCEL | MB_ICONQUESTION)) {
    case IDYES:
        return SaveAnswer::Yes;
    case IDNO:
        return SaveAnswer::No;
    default:
        return SaveAnswer::Cancel;
    }
}

bool OperationsPage::Confirm(std::u16string_view text) {
    return Context().Message(text, u"Warning", MB_YESNO | MB_ICONQUESTION) == IDYES;
}

std::optional<std::u16string> OperationsPage::AskNewName(std::u16string_view kind,
                                                         std::u16string_view initial) {
    std::u16string name;
    if (!ostrel::AskNewName(std::u16string(kind), std::u16string(initial), this, &name)) {
        return std::nullopt;
    }
    return name;
}

void OperationsPage::ShowUnparsedResponse(std::u16string_view text, std::u16string_view response) {
    if (QGuiApplication::platformName() == QStringLiteral("offscreen") &&
        vr::ui::PendingModalAnswers() == 0) {
        // Nobody can answer a dialog here: the warning and the answer go where they can be read.
        std::fprintf(stderr, "Warning: %s\nResponse: %s\n", ToQString(text).toLocal8Bit().constData(),
                     ToQString(response).toLocal8Bit().constData());
        return;
    }
    WarningResponseDialog dialog(ToQString(text), ToQString(response), this);
    (void)vr::ui::ExecModal(dialog); // OK is its only answer
}

std::unique_ptr<SheetPage> MakeOperationsPage(SheetContext& context) {
    return std::make_unique<OperationsPage>(context);
}

} // namespace ostrel
