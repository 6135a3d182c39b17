// The panel objects' small windows: coloured edits, statics and the script edit.
#include "PanelWidgets.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>

namespace {

QString Q(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

QWidget* MakePanelEdit(QWidget* parent, bool multiLine, bool readOnly) {
    QWidget* edit = nullptr;
    if (multiLine) {
        auto* lines = new QPlainTextEdit(parent);
        lines->setReadOnly(readOnly);
        edit = lines;
    } else {
        auto* line = new QLineEdit(parent);
        line->setReadOnly(readOnly);
        line->setAlignment(Qt::AlignRight);
        edit = line;
    }
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::Text, Qt::black);
    edit->setPalette(palette);
    return edit;
}

void SetPanelEditText(QWidget* edit, std::u16string_view text) {
    if (auto* line = qobject_cast<QLineEdit*>(edit)) {
        line->setText(Q(text));
    } else if (auto* lines = qobject_cast<QPlainTextEdit*>(edit)) {
        lines->setPlainText(Q(text));
    }
}

std::u16string PanelEditText(const QWidget* edit) {
    if (auto* line = qobject_cast<const QLineEdit*>(edit)) {
        return line->text().toStdU16String();
    }
    if (auto* lines = qobject_cast<const QPlainTextEdit*>(edit)) {
        return lines->toPlainText().toStdU16String();
    }
    return {};
}

QColor SetPanelEditColor(QWidget* edit, const QColor& color) {
    if (!edit) {
        return {};
    }
    QPalette palette = edit->palette();
    QColor previous = palette.color(QPalette::Text);
    palette.setColor(QPalette::Text, color);
    edit->setPalette(palette);
    return previous;
}

QColor PanelEditColor(const QWidget* edit) {
    return edit ? edit->palette().color(QPalette::Text) : QColor();
}

QLabel* MakePanelStatic(QWidget* parent, std::u16string_view text, const QFont& font) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setText(Q(text));
    label->setFont(font);
    label->show();
    return label;
}

ScriptEdit::ScriptEdit(QWidget* parent) : QPlainTextEdit(parent) {
    setTabChangesFocus(false);
    setLineWrapMode(QPlainTextEdit::NoWrap);
}

void ScriptEdit::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Tab && event->modifiers() == Qt::NoModifier) {
        textCursor().insertText(QStringLiteral("    "));
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}
