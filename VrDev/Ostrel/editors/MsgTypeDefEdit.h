// The message definition editor on Qt: the sample in a text window with marked tokens coloured by kind, the
// marking and removing menus, typing into the sample, a status line. A thin view on CMsgEditorModel.
//
// An empty sample takes typed and pasted text, also in the response's window, which is otherwise read-only.
//
// Usage: the Operations page makes one per message (MsgSide::Query for the command sent, Response for the
// answer parsed), calls NewMsgTypeDef or LoadMsgTypeDef, shows CurrentToken() in its element editor on
// currentTokenChanged, and hands the element editor's descriptions to OnElementChanged.
// Failures: a key the marking commands cannot determine is told in a "Warning" box; without a display (the
// offscreen platform) and with no answer queued by a test, the warning goes to the status line and standard
// error instead, so nothing waits for an answer nobody can give.
// Threads: the window thread only.
#pragma once

#include "VrDev/Ostrel/editors/MsgEditorModel.h"

#include <QWidget>

class QLineEdit;
class QMenu;
class QTextEdit;

class MsgTypeDefEdit : public QWidget {
    Q_OBJECT
public:
    explicit MsgTypeDefEdit(ostrel::MsgSide side, QWidget* parent = nullptr);

    // ---- Definitions (status texts as the editor shows them) ----
    [[nodiscard]] HRESULT LoadMsgTypeDef(const vr::xml::Node& complexType);
    bool NewMsgTypeDef(std::string_view sample, std::string_view messageName, std::string_view termString,
                       std::u16string_view xsdQualifier, std::u16string_view xmlAttrStructure);
    void ClearMsgTypeDef();
    [[nodiscard]] HRESULT SetSampleText(std::string_view sample, bool showBusy);
    // A description from the element editor for the current token.
    void OnElementChanged(std::u16string_view description);

    ostrel::CMsgEditorModel& Model() { return model_; }
    QTextEdit* TextWindow() const { return text_; }
    QMenu* MarkMenu() const { return markMenu_; }
    QMenu* RemoveMenu() const { return removeMenu_; }
    QString StatusText() const;
    void SetStatusText(const QString& text);

Q_SIGNALS:
    // The definition changed (a command, a taken element change, a load or a new definition).
    void definitionChanged();
    // A mouse button went down in the text window.
    void tokenSelected();
    // The current token changed: show model.CurrentToken() in the element editor (clear it for none).
    void currentTokenChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildMenus();
    void ShowSample();
    // Grey text, tokens coloured by kind, groups italic, the current token selected.
    void Redraw();
    void ShowFailedToken();
    void AfterCommand(bool changed);
    // The text window's selection in sample positions.
    std::pair<int, int> SampleSelection() const;
    void SelectShown(int begin, int end);
    void OpenMenu(QMenu* menu, const QPoint& viewportPos);
    bool HandleMouse(QEvent* event);
    bool HandleKey(QEvent* event);
    void TakePastedText();
    // Text put into the empty sample, character by character through the definition.
    void TakeText(const QByteArray& pasted);
    void Warn(std::u16string_view text);

    // All members: the window thread.
    ostrel::CMsgEditorModel model_;
    QTextEdit* text_ = nullptr;      // child
    QLineEdit* status_ = nullptr;    // child
    QMenu* markMenu_ = nullptr;      // child
    QMenu* removeMenu_ = nullptr;    // child
    QAction* constant_ = nullptr;    // owned by markMenu_
    QAction* fixedLength_ = nullptr; // owned by markMenu_
    QAction* value_ = nullptr;       // owned by markMenu_
    QAction* enumeration_ = nullptr; // owned by markMenu_
    QAction* sequence_ = nullptr;    // owned by markMenu_
    QAction* removeToken_ = nullptr; // owned by removeMenu_
    bool redrawing_ = false;         // our own selection changes are no drags
};
