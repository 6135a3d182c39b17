// The editor combo of an attribute-value row on Qt: a thin view over AttrValueComboModel that shows its list,
// checks typed text after the model's delay, colours the text and completes it, and announces changes of its
// text when its row asks for notifications. Window thread only.
#pragma once

#include <QComboBox>

#include <string>

class AttrValueEditorModel;
class QTimer;

class AttrValueCombo : public QComboBox {
    Q_OBJECT
public:
    // The row model stays the caller's and must outlive the combo.
    AttrValueCombo(AttrValueEditorModel& row, QWidget* parent);

    // Shows a value (escape-decoded for editing, or selected in a list that cannot be typed into).
    void SetValue(const std::string& text);
    // Puts the model's list into the window again (after the recent values changed).
    void RefreshList();
    // Makes a typed text still waiting for its check the current text (before a store).
    void TakeTypedText();
    // The colour the edit text is drawn in now.
    QColor TextColour() const;
    // Whether the combo announces changes of its text by changeNotice (the row asks for notifications).
    void SetChangeNotices(bool on) { notices_ = on; }

Q_SIGNALS:
    // An accepted text is to be stored at once (DynamicallyStoreAttrValue).
    void storeRequested();
    // The text changed (typed and checked, or shown by the program); only with change notices on. A receiver
    // that acts on it later connects queued: it is a notice, not a request.
    void changeNotice(const QString& rowName, const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void TextEdited(const QString& text);
    void CheckNow(const std::string& text);
    void ShowColour(const QColor& colour);
    void BrowseFile();
    void Announce();

    AttrValueEditorModel& row_;
    QTimer* timer_;
    bool lastKeyDeleted_ = false;
    bool showing_ = false; // a text set by the program, not typed
    bool notices_ = false; // changeNotice is emitted
};
