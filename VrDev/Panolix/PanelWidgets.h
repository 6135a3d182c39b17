// The small windows of the panel objects and their dialogs: the coloured edit (one line or several), the
// caption statics, and the script edit in which Tab inserts blanks.
//
// Threads: window thread only.
#pragma once

#include <QColor>
#include <QPlainTextEdit>

#include <string>
#include <string_view>

class QFont;
class QLabel;
class QWidget;

// An edit with a frame and a white background: several lines (a QPlainTextEdit) or one, right-aligned (a
// QLineEdit). The functions below take either; other widgets are left alone (an empty text).
QWidget* MakePanelEdit(QWidget* parent, bool multiLine, bool readOnly);
void SetPanelEditText(QWidget* edit, std::u16string_view text);
std::u16string PanelEditText(const QWidget* edit);
// The text colour; returns the previous one.
QColor SetPanelEditColor(QWidget* edit, const QColor& color);
QColor PanelEditColor(const QWidget* edit);

// A shown static with the plain text (no mnemonics, no markup) in the font.
QLabel* MakePanelStatic(QWidget* parent, std::u16string_view text, const QFont& font);

// A plain-text script edit: Tab inserts four blanks (one undo step) and the focus stays.
class ScriptEdit : public QPlainTextEdit {
public:
    explicit ScriptEdit(QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};
