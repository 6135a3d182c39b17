// The sheet's General page on Qt.
#include "VrDev/Ostrel/sheet/GeneralPage.h"

#include "platform/ui/modal.h"

#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

namespace ostrel {

namespace {

QString Q(const std::u16string& text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

std::u16string U(const QString& text) {
    return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size()));
}

} // namespace

GeneralPage::GeneralPage(SheetContext& context, std::function<void()> fileChosen)
    : SheetPage(context), model_(context), fileChosen_(std::move(fileChosen)), path_(new QLineEdit(this)),
      browse_(new QPushButton(QStringLiteral("..."), this)), connection_(new QComboBox(this)) {
    auto* layout = new QGridLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Device Adapter File:"), this), 0, 0, 1, 2);
    path_->setReadOnly(true);
    layout->addWidget(path_, 1, 0);
    layout->addWidget(browse_, 1, 1);
    layout->addWidget(new QLabel(QStringLiteral("Device Connection:"), this), 2, 0, 1, 2);
    layout->addWidget(connection_, 3, 0, 1, 2);
    layout->setRowStretch(4, 1);
    connect(browse_, &QPushButton::clicked, this, [this] { BrowseCommand(); });
    connect(connection_, &QComboBox::activated, this,
            [this](int index) { (void)model_.ConnectionChanged(U(connection_->itemText(index))); }); // boxed
    FillConnections();
}

QString GeneralPage::Caption() const {
    return QStringLiteral("General");
}

bool GeneralPage::Leave() {
    return model_.CanLeave();
}

void GeneralPage::FileShown() {
    path_->setText(Q(model_.PathText()));
    browse_->setEnabled(model_.CanBrowse());
}

void GeneralPage::FillConnections() {
    std::vector<std::u16string> names = model_.ConnectionNames();
    std::sort(names.begin(), names.end()); // the list is sorted, as the engineer looks names up
    for (const std::u16string& name : names) {
        connection_->addItem(Q(name));
    }
    connection_->setCurrentIndex(-1); // no connection until the engineer chooses one
}

void GeneralPage::BrowseCommand() {
    if (!model_.CanBrowse()) {
        browse_->setEnabled(false);
        return;
    }
    QFileDialog dialog(this, QString(), Q(GeneralPageModel::AdapterFolder()),
                       QStringLiteral("Device Adapter Files (*.daf)"));
    dialog.setDefaultSuffix(QStringLiteral("daf"));
    dialog.setFileMode(QFileDialog::AnyFile); // a new name is made from the blank template
    if (vr::ui::ExecModal(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return;
    }
    ChooseFile(dialog.selectedFiles().front());
}

void GeneralPage::ChooseFile(const QString& path) {
    BrowseResult result = model_.Browse(U(path));
    if (result == BrowseResult::kChosen && fileChosen_) {
        fileChosen_();
    }
    FileShown(); // a file that failed leaves the path empty and the button usable
}

} // namespace ostrel
