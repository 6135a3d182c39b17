// The attribute-value editor combo on Qt.
#include "common/widgets/AttrValueCombo.h"

#include "common/attrvalues/AttrValue.h"
#include "common/attrvalues/AttrValueEditorModel.h"
#include "platform/ui/modal.h"

#include <QContextMenuEvent>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QTimer>

namespace {

const QColor kGrey(120, 120, 120);
const QColor kRed(255, 0, 0);

QString FromUtf8(const std::string& text) {
    return QString::fromStdString(text);
}

// The Qt file dialog filter of "csf Files (*.csf)|*.csf||".
QString QtFilter(const std::string& filter) {
    std::string first = filter.substr(0, filter.find('|'));
    return FromUtf8(first);
}

} // namespace

AttrValueCombo::AttrValueCombo(AttrValueEditorModel& row, QWidget* parent)
    : QComboBox(parent), row_(row), timer_(new QTimer(this)) {
    const AttrValueComboOptions& options = row_.Combo().Options();
    setEditable(!options.notEditable);
    setMaxVisibleItems(10);
    if (!options.tips.empty()) {
        setToolTip(FromUtf8(options.tips));
    }
    RefreshList();
    if (std::string initial = row_.Combo().InitialSelection(); !initial.empty()) {
        SetValue(initial);
    }
    if (QLineEdit* edit = lineEdit()) {
        edit->installEventFilter(this);
        connect(edit, &QLineEdit::textEdited, this, &AttrValueCombo::TextEdited);
    }
    connect(this, &QComboBox::textActivated, this, &AttrValueCombo::TextEdited);
    connect(timer_, &QTimer::timeout, this, [this] {
        if (row_.Combo().TimerTick()) {
            CheckNow(row_.Combo().PendingText());
        }
    });
    timer_->start(AttrValueComboModel::kTimerMs);
}

void AttrValueCombo::RefreshList() {
    QString shown = currentText();
    showing_ = true;
    clear();
    for (const std::string& entry : row_.Combo().List()) {
        addItem(FromUtf8(entry));
    }
    if (isEditable()) {
        setEditText(shown);
    } else {
        setCurrentIndex(findText(shown));
    }
    showing_ = false;
}

void AttrValueCombo::SetValue(const std::string& text) {
    std::string before = row_.Combo().CurrentText();
    std::string shown = row_.Combo().ShowValue(text);
    if (!isEditable()) {
        RefreshList(); // the model may have put the text into the list
        setCurrentIndex(findText(FromUtf8(shown)));
    } else {
        showing_ = true;
        setEditText(FromUtf8(shown));
        showing_ = false;
        ShowColour(shown == CAttrValue::kUndefined || shown == AttrValueComboModel::kDefault ? kGrey
                                                                                             : QColor());
    }
    if (shown != before) {
        Announce();
    }
}

void AttrValueCombo::Announce() {
    if (notices_) {
        Q_EMIT changeNotice(QString::fromUtf8(row_.Value().GetNameText()),
                            FromUtf8(row_.Combo().CurrentText()));
    }
}

void AttrValueCombo::TextEdited(const QString& text) {
    if (showing_) {
        return;
    }
    std::string typed = text.toStdString();
    if (row_.Combo().EditChanged(typed)) {
        CheckNow(typed);
    } else {
        ShowColour(kGrey); // waits for the delay
    }
}

void AttrValueCombo::CheckNow(const std::string& text) {
    AttrValueComboModel::Check check =
        row_.Combo().CheckText(row_.Value(), text, lastKeyDeleted_, row_.Flags().dynamicallyStoreAttrValue);
    ShowColour(check.colour == TextColour::Red ? kRed : check.colour == TextColour::Grey ? kGrey : QColor());
    if (!check.completion.empty() && isEditable()) {
        showing_ = true;
        setEditText(FromUtf8(check.completion));
        QString typed = FromUtf8(text);
        lineEdit()->setSelection(typed.size(), FromUtf8(check.completion).size() - typed.size());
        showing_ = false;
    }
    Announce();
    if (check.storeNow) {
        Q_EMIT storeRequested();
    }
}

void AttrValueCombo::TakeTypedText() {
    std::string shown = currentText().toStdString();
    if (isEditable() && shown != row_.Combo().CurrentText()) {
        (void)row_.Combo().CheckText(row_.Value(), shown, true, false);
    }
}

void AttrValueCombo::ShowColour(const QColor& colour) {
    QWidget* target = lineEdit() ? static_cast<QWidget*>(lineEdit()) : this;
    QPalette palette = target->palette();
    palette.setColor(QPalette::Text, colour.isValid() ? colour : QPalette().color(QPalette::Text));
    target->setPalette(palette);
}

QColor AttrValueCombo::TextColour() const {
    const QWidget* target = lineEdit() ? static_cast<const QWidget*>(lineEdit()) : this;
    return target->palette().color(QPalette::Text);
}

bool AttrValueCombo::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lineEdit() && event->type() == QEvent::KeyPress) {
        int key = static_cast<QKeyEvent*>(event)->key();
        lastKeyDeleted_ = key == Qt::Key_Backspace || key == Qt::Key_Delete;
    }
    return QComboBox::eventFilter(watched, event);
}

void AttrValueCombo::contextMenuEvent(QContextMenuEvent* event) {
    if (!row_.Combo().Options().filePath) {
        QComboBox::contextMenuEvent(event);
        return;
    }
    QMenu menu(this);
    menu.addAction(tr("&Browse File ..."), this, &AttrValueCombo::BrowseFile);
    menu.exec(event->globalPos());
}

void AttrValueCombo::BrowseFile() {
    QFileDialog dialog(this, QString(), FromUtf8(row_.Combo().BrowseInitialName()),
                       QtFilter(row_.Combo().BrowseFilter()));
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (vr::ui::ExecModal(dialog) == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        std::string chosen = dialog.selectedFiles().front().toStdString();
        SetValue(chosen);
        CheckNow(chosen);
    }
}
