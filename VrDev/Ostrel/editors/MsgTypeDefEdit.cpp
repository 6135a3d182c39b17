// The message definition editor on Qt: a thin view on CMsgEditorModel.
#include "VrDev/Ostrel/editors/MsgTypeDefEdit.h"

#include "platform/ui/message_box.h"
#include "platform/ui/modal.h"

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QTextCursor>
#include <QTextEdit>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>

namespace {

QString ToQString(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

QColor ColourOf(ostrel::TokenLook look) {
    switch (look) {
    case ostrel::TokenLook::Key:
        return QColor(0, 0, 255);
    case ostrel::TokenLook::Value:
        return QColor(0, 255, 0);
    case ostrel::TokenLook::Failed:
        return QColor(255, 0, 0);
    case ostrel::TokenLook::Group:
        break;
    }
    return QColor(127, 127, 127);
}

} // namespace

MsgTypeDefEdit::MsgTypeDefEdit(ostrel::MsgSide side, QWidget* parent) : QWidget(parent), model_(side) {
    text_ = new QTextEdit(this);
    text_->setObjectName(QStringLiteral("MsgTextWindow"));
    text_->setAcceptRichText(false);
    text_->setAcceptDrops(false);
    text_->setLineWrapMode(side == ostrel::MsgSide::Query ? QTextEdit::WidgetWidth : QTextEdit::NoWrap);
    text_->setReadOnly(side == ostrel::MsgSide::Response);
    text_->setTextInteractionFlags(side == ostrel::MsgSide::Response
                                       ? Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard
                                       : Qt::TextEditorInteraction);
    QFont font(QStringLiteral("Courier New"), 9);
    font.setStyleHint(QFont::Monospace); // another fixed font where Courier New is missing
    text_->setFont(font);
    text_->installEventFilter(this);
    text_->viewport()->installEventFilter(this);

    status_ = new QLineEdit(QStringLiteral("OK"), this);
    status_->setReadOnly(true);
    auto* statusRow = new QHBoxLayout;
    statusRow->addWidget(new QLabel(QStringLiteral("Status :"), this));
    statusRow->addWidget(status_, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(text_, 1);
    layout->addLayout(statusRow);

    model_.SetWarningSink([this](std::u16string_view text) { Warn(text); });
    BuildMenus();
    connect(text_, &QTextEdit::selectionChanged, this, [this] {
        if (redrawing_ || !(QApplication::mouseButtons() & Qt::LeftButton)) {
            return;
        }
        auto [b, e] = SampleSelection();
        if (model_.DragOver(b, e)) {
            Redraw();
            Q_EMIT currentTokenChanged();
        }
    });
    connect(text_, &QTextEdit::textChanged, this, [this] { TakePastedText(); });
}

void MsgTypeDefEdit::BuildMenus() {
    markMenu_ = new QMenu(QStringLiteral("ContextMenu"), this);
    constant_ = markMenu_->addAction(QStringLiteral("&Constant"), this,
                                     [this] { AfterCommand(model_.MarkConstant()); });
    fixedLength_ = markMenu_->addAction(QStringLiteral("&Fixed Length String"), this,
                                        [this] { AfterCommand(model_.MarkFixedLengthString()); });
    markMenu_->addSeparator();
    value_ =
        markMenu_->addAction(QStringLiteral("&Value"), this, [this] { AfterCommand(model_.MarkValue()); });
    enumeration_ = markMenu_->addAction(QStringLiteral("&Enumeration"), this,
                                        [this] { AfterCommand(model_.MarkEnumeration()); });
    sequence_ = markMenu_->addAction(QStringLiteral("&Sequence"), this,
                                     [this] { AfterCommand(model_.MarkSequence()); });
    removeMenu_ = new QMenu(QStringLiteral("ContextMenu"), this);
    removeToken_ = removeMenu_->addAction(QStringLiteral("Remove &Token"), this,
                                          [this] { AfterCommand(model_.RemoveToken()); });
    removeMenu_->addAction(QStringLiteral("Remove &All Tokens"), this,
                           [this] { AfterCommand(model_.RemoveAllTokens()); });
}

HRESULT MsgTypeDefEdit::LoadMsgTypeDef(const vr::xml::Node& complexType) {
    SetStatusText(QStringLiteral("...."));
    const HRESULT hr = model_.Load(complexType);
    ShowSample();
    if (SUCCEEDED(hr)) {
        Q_EMIT currentTokenChanged();
        Q_EMIT definitionChanged();
    }
    SetStatusText(ToQString(model_.StatusText()));
    return hr;
}

bool MsgTypeDefEdit::NewMsgTypeDef(std::string_view sample, std::string_view messageName,
                                   std::string_view termString, std::u16string_view xsdQualifier,
                                   std::u16string_view xmlAttrStructure) {
    SetStatusText(QStringLiteral("....."));
    const bool made = model_.New(sample, messageName, termString, xsdQualifier, xmlAttrStructure);
    ShowSample();
    if (made) {
        Q_EMIT currentTokenChanged();
        Q_EMIT definitionChanged();
    }
    SetStatusText(ToQString(model_.StatusText()));
    return made;
}

void MsgTypeDefEdit::ClearMsgTypeDef() {
    (void)NewMsgTypeDef("", "", "", u"xsd", u"vra:substitution=enumeration"); // an empty one always starts
}

HRESULT MsgTypeDefEdit::SetSampleText(std::string_view sample, bool showBusy) {
    if (showBusy) {
        SetStatusText(QStringLiteral("......."));
    }
    const HRESULT hr = model_.SetSampleText(sample);
    if (SUCCEEDED(hr)) {
        ShowSample();
        Q_EMIT currentTokenChanged();
    }
    if (showBusy) {
        SetStatusText(QStringLiteral("OK."));
    }
    return hr;
}

void MsgTypeDefEdit::OnElementChanged(std::u16string_view description) {
    const ostrel::ElementChangeResult result = model_.TakeElementChange(description);
    if (result == ostrel::ElementChangeResult::Parsed) {
        Redraw();
        Q_EMIT definitionChanged();
    } else if (result == ostrel::ElementChangeResult::Failed) {
        ShowFailedToken();
    }
    if (result == ostrel::ElementChangeResult::Parsed || result == ostrel::ElementChangeResult::Failed) {
        SetStatusText(ToQString(model_.StatusText()));
    }
}

QString MsgTypeDefEdit::StatusText() const {
    return status_->text();
}

void MsgTypeDefEdit::SetStatusText(const QString& text) {
    status_->setText(text);
    status_->repaint();
}

void MsgTypeDefEdit::ShowSample() {
    redrawing_ = true;
    text_->setPlainText(QString::fromLatin1(model_.DisplayText().data(),
                                            static_cast<qsizetype>(model_.DisplayText().size())));
    redrawing_ = false;
    Redraw();
}

void MsgTypeDefEdit::Redraw() {
    redrawing_ = true;
    QTextCursor all(text_->document());
    all.select(QTextCursor::Document);
    QTextCharFormat base;
    base.setForeground(QColor(127, 127, 127));
    base.setFontItalic(false);
    all.mergeCharFormat(base);
    for (const ostrel::TokenSpan& span : model_.TokenSpans()) {
        QTextCursor cursor(text_->document());
        cursor.setPosition(span.begin);
        cursor.setPosition(span.end, QTextCursor::KeepAnchor);
        QTextCharFormat format;
        if (span.look == ostrel::TokenLook::Group) {
            format.setFontItalic(true);
        } else {
            format.setForeground(ColourOf(span.look));
        }
        cursor.mergeCharFormat(format);
    }
    if (std::optional<ostrel::TokenSpan> current = model_.CurrentSpan()) {
        SelectShown(current->begin, current->end);
    } else {
        SelectShown(0, 0);
    }
    redrawing_ = false;
}

void MsgTypeDefEdit::ShowFailedToken() {
    std::optional<ostrel::TokenSpan> failed = model_.FailedSpan();
    if (!failed) {
        return;
    }
    redrawing_ = true;
    QTextCursor cursor(text_->document());
    cursor.setPosition(failed->begin);
    cursor.setPosition(failed->end, QTextCursor::KeepAnchor);
    QTextCharFormat format;
    format.setForeground(ColourOf(ostrel::TokenLook::Failed));
    cursor.mergeCharFormat(format);
    SelectShown(0, 0);
    redrawing_ = false;
}

void MsgTypeDefEdit::AfterCommand(bool changed) {
    if (!changed) {
        return;
    }
    Redraw();
    Q_EMIT currentTokenChanged();
    Q_EMIT definitionChanged();
}

std::pair<int, int> MsgTypeDefEdit::SampleSelection() const {
    const QTextCursor cursor = text_->textCursor();
    int b = cursor.selectionStart();
    int e = cursor.selectionEnd();
    ostrel::MapPositions(model_.DisplayText(), &b, &e, ostrel::MapDirection::ToSample);
    return {b, e};
}

void MsgTypeDefEdit::SelectShown(int begin, int end) {
    const int length = text_->document()->characterCount() - 1; // without the document's own last mark
    QTextCursor cursor(text_->document());
    cursor.setPosition(std::clamp(begin, 0, std::max(length, 0)));
    cursor.setPosition(std::clamp(end, 0, std::max(length, 0)), QTextCursor::KeepAnchor);
    const bool was = redrawing_;
    redrawing_ = true;
    text_->setTextCursor(cursor);
    redrawing_ = was;
}

void MsgTypeDefEdit::OpenMenu(QMenu* menu, const QPoint& viewportPos) {
    const ostrel::MarkMenuState mark = model_.MarkMenu();
    constant_->setEnabled(mark.constant);
    fixedLength_->setEnabled(mark.fixedLengthString);
    value_->setEnabled(mark.value);
    enumeration_->setEnabled(mark.enumeration);
    sequence_->setEnabled(mark.sequence);
    removeToken_->setEnabled(model_.RemoveMenu().removeToken);
    // Shown without a modal loop of its own: a choice arrives as the action's trigger.
    menu->popup(text_->viewport()->mapToGlobal(viewportPos));
}

bool MsgTypeDefEdit::eventFilter(QObject* watched, QEvent* event) {
    if (watched == text_->viewport()) {
        return HandleMouse(event);
    }
    if (watched == text_) {
        return HandleKey(event);
    }
    return QWidget::eventFilter(watched, event);
}

bool MsgTypeDefEdit::HandleMouse(QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease) {
        return false;
    }
    auto* mouse = static_cast<QMouseEvent*>(event);
    const Qt::MouseButton button = mouse->button();
    if (type == QEvent::MouseButtonPress) {
        Q_EMIT tokenSelected();
        if (button != Qt::RightButton) {
            return false; // the text window places its caret or starts a selection
        }
        // A right click first places the caret or picks a token as a left click does.
        QTextCursor caret = text_->cursorForPosition(mouse->position().toPoint());
        SelectShown(caret.position(), caret.position());
    } else if (button == Qt::RightButton) {
        auto [b, e] = SampleSelection();
        model_.RightRelease(b, e);
        OpenMenu(removeMenu_, mouse->position().toPoint());
        return true;
    } else if (button != Qt::LeftButton) {
        return false;
    }
    auto [b, e] = SampleSelection();
    if (b == e) {
        if (model_.ClickAt(b)) {
            Redraw();
            Q_EMIT currentTokenChanged();
        }
    } else if (model_.LeftRelease(b, e) == ostrel::MenuToOpen::Mark) {
        OpenMenu(markMenu_, mouse->position().toPoint());
    }
    return type == QEvent::MouseButtonPress; // a release also ends the text window's own drag
}

bool MsgTypeDefEdit::HandleKey(QEvent* event) {
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease) {
        return false;
    }
    auto* key = static_cast<QKeyEvent*>(event);
    const int code = key->key();
    if (code == Qt::Key_Escape || code == Qt::Key_Delete) {
        return true;
    }
    const bool sampleEmpty = model_.Definition().IsSampleEmpty();
    if (!sampleEmpty && ((key->modifiers() & Qt::ControlModifier) || code == Qt::Key_Insert)) {
        return true;
    }
    if (event->type() == QEvent::KeyRelease) {
        return false;
    }
    if (sampleEmpty) {
        if (!text_->isReadOnly() ||
            (key->modifiers() & Qt::ControlModifier && !key->matches(QKeySequence::Paste))) {
            return false; // the query's window takes typing and pasting itself (TakePastedText)
        }
        if (key->matches(QKeySequence::Paste)) {
            // The response's window is read-only: a sample from the instrument's manual is taken here.
            TakeText(QGuiApplication::clipboard()->text().toLatin1());
            return true;
        }
    }
    // Plain numbers: a cursor would follow the text as the sample is shown again.
    const QTextCursor cursor = text_->textCursor();
    const bool hasSelection = cursor.hasSelection();
    const int selectionStart = cursor.selectionStart();
    const int selectionEnd = cursor.selectionEnd();
    if (code == Qt::Key_Backspace) {
        if (!hasSelection) {
            auto [position, ignored] = SampleSelection();
            if (model_.DeleteCharacterBefore(position)) {
                ShowSample();
                Q_EMIT currentTokenChanged();
            }
            SelectShown(selectionStart, selectionEnd);
        }
        return true;
    }
    const QString typed = key->text();
    if (typed.isEmpty()) {
        return false; // arrows, Home, End, page keys reach the text window
    }
    const char16_t unit = code == Qt::Key_Return || code == Qt::Key_Enter ? u'\n' : typed[0].unicode();
    if (!hasSelection && typed.size() == 1 && unit <= 0xFF) {
        auto [position, ignored] = SampleSelection();
        if (model_.InsertCharacter(position, static_cast<char>(unit))) {
            ShowSample();
            Q_EMIT currentTokenChanged();
            SelectShown(selectionEnd + 1, selectionEnd + 1);
        } else {
            SelectShown(selectionStart, selectionEnd);
        }
    }
    return true; // the text window itself never inserts: the definition decides
}

void MsgTypeDefEdit::TakePastedText() {
    if (redrawing_ || !model_.Definition().IsSampleEmpty()) {
        return;
    }
    TakeText(text_->toPlainText().toLatin1());
}

void MsgTypeDefEdit::TakeText(const QByteArray& pasted) {
    if (pasted.isEmpty()) {
        return;
    }
    for (qsizetype i = 0; i < pasted.size(); ++i) {
        // An empty sample takes any character; each later one is taken while the sample still parses.
        (void)model_.InsertCharacter(static_cast<int>(i), pasted[i]);
    }
    ShowSample();
    // Typing goes on after what was taken, as in any text window.
    const int end = static_cast<int>(model_.DisplayText().size());
    SelectShown(end, end);
    SetStatusText(QStringLiteral("OK."));
}

void MsgTypeDefEdit::Warn(std::u16string_view text) {
    if (QGuiApplication::platformName() == QStringLiteral("offscreen") &&
        vr::ui::PendingModalAnswers() == 0) {
        // Nobody can answer a box here: the warning goes where it can be read.
        std::fprintf(stderr, "Warning: %s\n", ToQString(text).toLocal8Bit().constData());
        SetStatusText(ToQString(text));
        return;
    }
    (void)vr::ui::MessageBox(this, text, u"Warning", MB_OK | MB_ICONWARNING); // the one answer is OK
}
