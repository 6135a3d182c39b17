// The connection and device management windows on Qt.
#include "VrDev/Ostrel/managers/HwManWindow.h"

#include "VrDev/Ostrel/managers/NewNameDialog.h"
#include "platform/base/text.h"
#include "platform/com/comutil.h"

#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace ostrel {

namespace {

constexpr long kNameColumnWidth = 190;

QString Q(const std::u16string& text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

std::u16string U(const QString& text) {
    return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size()));
}

} // namespace

ChoiceCombo::ChoiceCombo(Choices choices, QWidget* parent, bool editable)
    : QComboBox(parent), choices_(std::move(choices)) {
    setEditable(editable);
    setInsertPolicy(QComboBox::NoInsert);
}

void ChoiceCombo::RefreshChoices() {
    QString shown = currentText();
    blockSignals(true);
    clear();
    addItem(Q(kUndefined));
    for (const std::u16string& choice : choices_()) {
        addItem(Q(choice));
    }
    setCurrentText(shown);
    blockSignals(false);
}

void ChoiceCombo::showPopup() {
    RefreshChoices();
    QComboBox::showPopup();
}

HwManWindow::HwManWindow(HwKind kind, IVrRigmont* rigmont, DeviceLibraries* libraries, QWidget* parent)
    : QWidget(parent), logic_(kind, rigmont, libraries),
      name_(new ChoiceCombo([this] { return logic_.RecordNames(logic_.RecordType()); }, this, false)),
      server_(new ChoiceCombo([this] { return logic_.ServerChoices(); }, this)),
      resource_(new ChoiceCombo([this] { return logic_.ResourceChoices(); }, this)),
      status_(new QLineEdit(this)), editorPlace_(new QWidget(this)) {
    QString word = Q(logic_.CaptionWord());
    setWindowTitle(kind == HwKind::kConnection ? tr("Connection Management")
                                               : tr("Socket/Device Management"));
    status_->setReadOnly(true);

    auto* group = new QGroupBox(word, this);
    auto* fields = new QFormLayout(group);
    fields->addRow(tr("Name"), name_);
    fields->addRow(tr("Server"), server_);
    fields->addRow(Q(logic_.ResourceLabel()), resource_);
    auto* attributes = new QGroupBox(tr("Attributes"), this);
    auto* attributesLayout = new QVBoxLayout(attributes);
    attributesLayout->addWidget(editorPlace_, 1);
    auto* attributeButtons = new QHBoxLayout;
    auto* retrieve = new QPushButton(tr("Retrieve Attributes"), this);
    auto* store = new QPushButton(tr("Store Attributes"), this);
    attributeButtons->addWidget(retrieve);
    attributeButtons->addWidget(store);
    attributesLayout->addLayout(attributeButtons);

    auto* buttons = new QHBoxLayout;
    for (const QString& text : {tr("Save"), tr("Remove"), tr("New"), tr("Test"), tr("Exit")}) {
        buttons->addWidget(new QPushButton(text, this));
    }
    auto* statusRow = new QHBoxLayout;
    statusRow->addWidget(new QLabel(tr("Status :"), this));
    statusRow->addWidget(status_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(attributes, 1);
    layout->addLayout(statusRow);
    layout->addLayout(buttons);
    resize(560, 600);

    auto* editorLayout = new QVBoxLayout(editorPlace_);
    editorLayout->setContentsMargins(0, 0, 0, 0);
    editorMade_ = editor_.Create("Attributes", QRect(0, 0, 500, 300), editorPlace_, 1005);
    if (editorMade_) {
        editorLayout->addWidget(editor_.Widget());
        // The control's widget class is the control's own: its signal is known by signature only.
        connect(editor_.Widget(), SIGNAL(attributeChanged(QString, QString)), this,
                SLOT(OnAttributeChanged(QString, QString)));
    }

    connect(name_, &QComboBox::activated, this, [this] { ChooseName(name_->currentText()); });
    connect(server_, &QComboBox::activated, this, [this] { FieldEdited(server_); });
    connect(server_->lineEdit(), &QLineEdit::editingFinished, this, [this] { FieldEdited(server_); });
    connect(resource_, &QComboBox::activated, this, [this] { FieldEdited(resource_); });
    connect(resource_->lineEdit(), &QLineEdit::editingFinished, this, [this] { FieldEdited(resource_); });
    connect(Button(tr("Save")), &QPushButton::clicked, this, [this] {
        logic_.Save(editorMade_ ? vr::FromUtf8(editor_.GetAttributes()) : logic_.Setup());
        ShowState();
    });
    connect(Button(tr("Remove")), &QPushButton::clicked, this, [this] {
        logic_.Remove();
        ShowState();
    });
    connect(Button(tr("New")), &QPushButton::clicked, this, &HwManWindow::NewCommand);
    connect(Button(tr("Test")), &QPushButton::clicked, this, &HwManWindow::TestCommand);
    connect(Button(tr("Exit")), &QPushButton::clicked, this, &QWidget::close);
    connect(retrieve, &QPushButton::clicked, this, [this] { editor_.RetrieveAttributeValues(); });
    connect(store, &QPushButton::clicked, this, [this] { editor_.StoreAttributeValues(); });
    Button(tr("Test"))->setVisible(kind == HwKind::kConnection); // a device has no test window
    name_->RefreshChoices();
    server_->RefreshChoices();
    ShowState();
}

QPushButton* HwManWindow::Button(const QString& text) const {
    for (QPushButton* button : findChildren<QPushButton*>()) {
        if (button->text() == text) {
            return button;
        }
    }
    return nullptr;
}

void HwManWindow::ChooseName(const QString& name) {
    logic_.SelectName(U(name));
    ShowState();
}

void HwManWindow::NewCommand() {
    std::u16string name;
    if (!AskNewName(logic_.CaptionWord(), u"", this, &name)) {
        return;
    }
    logic_.New(name);
    name_->RefreshChoices();
    ShowState();
}

HwManWindow::~HwManWindow() {
    for (QComboBox* field : {server_, resource_}) {
        field->lineEdit()->disconnect(this); // an edit ended by the children's going writes to no record
        field->disconnect(this);
    }
}

void HwManWindow::FieldEdited(QComboBox* field) {
    std::u16string text = U(field->currentText());
    if (field == server_ && text != logic_.Server()) {
        const bool taken = logic_.SetServer(text);
        QPalette colours = server_->lineEdit()->palette();
        colours.setColor(QPalette::Text, taken ? palette().color(QPalette::Text) : QColor(255, 0, 0));
        server_->lineEdit()->setPalette(colours);
        if (!taken) {
            status_->setText(Q(logic_.Status())); // the typed text stays, red, to be mended
            status_->setCursorPosition(0);
            return;
        }
    } else if (field == resource_ && text != logic_.Resource()) {
        logic_.SetResource(text);
    } else {
        return;
    }
    ShowState();
}

void HwManWindow::OnAttributeChanged(const QString& name, const QString& value) {
    logic_.AttributeChanged(U(name), U(value));
    ShowState();
}

void HwManWindow::TestCommand() {
    vr::ComPtr<IVrConnection> connection = logic_.TestConnection();
    if (!connection) {
        return;
    }
    if (tester_) {
        tester_->close(); // one tester at a time: it waits for its pending read
    }
    tester_ = new TesterWindow(logic_.Name(), connection.Get());
    tester_->setAttribute(Qt::WA_DeleteOnClose);
    tester_->show();
}

void HwManWindow::FillEditor() {
    if (!editorMade_ || shownLoad_ == logic_.LoadCount()) {
        return;
    }
    shownLoad_ = logic_.LoadCount();
    try {
        editor_.Clear();
        vr::ComPtr<IVrAttributeCollection> attributes = logic_.Attributes();
        if (logic_.Object() &&
            (!attributes || !editor_.Init(attributes.Get(), nullptr, kNameColumnWidth, logic_.EditorOptions(),
                                          vr::ToUtf8(logic_.Setup()).c_str(), logic_.AttributeOptions()))) {
            logic_.AttributesNotShown();
        }
    } catch (const _com_error&) {
        logic_.AttributesNotShown(); // the control's own error text is traced by the control
    }
}

void HwManWindow::ShowState() {
    FillEditor();
    name_->setCurrentText(Q(logic_.Name()));
    server_->setCurrentText(Q(logic_.Server()));
    server_->lineEdit()->setPalette(palette()); // what is stored is never red
    resource_->setCurrentText(Q(logic_.Resource()));
    bool loaded = logic_.RecordLoaded();
    bool made = logic_.Object() != nullptr;
    Button(tr("Save"))->setEnabled(loaded);
    Button(tr("Remove"))->setEnabled(loaded);
    Button(tr("Test"))->setEnabled(made);
    Button(tr("Retrieve Attributes"))->setEnabled(made);
    Button(tr("Store Attributes"))->setEnabled(made);
    status_->setText(Q(logic_.Status()));
    status_->setCursorPosition(0); // a long status shows its beginning
}

} // namespace ostrel
