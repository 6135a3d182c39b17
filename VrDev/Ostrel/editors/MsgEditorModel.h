// The message definition editor without widgets: one definition, the selection, the marking commands of
// the two context menus, typing into the sample and taking back the element editor's changes.
//
// Usage: the editor view (MsgTypeDefEdit) forwards mouse, keys and menu choices here with sample positions,
// then redraws from DisplayText() and TokenSpans() and shows the current token (CurrentToken) in the element
// editor. A query editor (input message) writes fixed gaps and adds no keys on its own; a response editor
// writes pattern gaps and adds the constant keys around a new value.
// Failures: a command that cannot add what it should adds nothing and returns false; a key that cannot be
// determined is told through the warning callback (a message box in the view, a list in tests), never by a
// wait of its own.
// Threads: the window thread only (one object, one thread).
#pragma once

#include "VrDev/Ostrel/editors/MsgDisplay.h"
#include "VrDev/Ostrel/model/MsgTypeDef.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace ostrel {

enum class MsgSide { Response = 0, Query = 1 };

// What the drag menu (mark a token) offers.
struct MarkMenuState {
    bool constant = false;
    bool fixedLengthString = false;
    bool value = false;
    bool enumeration = false;
    bool sequence = false;
};
// What the right-click menu offers.
struct RemoveMenuState {
    bool removeToken = false;
    bool removeAllTokens = true;
};

enum class MenuToOpen { None = 0, Mark = 1, Remove = 2 };

// The current token as the element editor shows it: type and name taken out of the description.
struct ShownToken {
    std::u16string type;
    std::u16string name;
    std::u16string description; // the rest
};

// How an element editor's change was taken.
enum class ElementChangeResult { Ignored = 0, Refused = 1, Parsed = 2, Failed = 3 };

class CMsgEditorModel {
public:
    using WarningSink = std::function<void(std::u16string_view text)>;

    explicit CMsgEditorModel(MsgSide side);

    // Where "Warning" texts go (the view shows a box); without one they are traced.
    void SetWarningSink(WarningSink sink) { warn_ = std::move(sink); }

    // ---- Definitions ----
    // Loads a stored complex type; the editor is empty afterwards when that fails.
    [[nodiscard]] HRESULT Load(const vr::xml::Node& complexType);
    bool New(std::string_view sample, std::string_view messageName, std::string_view termString,
             std::u16string_view xsdQualifier, std::u16string_view xmlAttrStructure);
    void Clear();
    // Takes a new sample when the definition still parses it.
    [[nodiscard]] HRESULT SetSampleText(std::string_view sample);

    // ---- Selection and mouse (sample positions) ----
    void SetSelection(int begin, int end);
    int SelectionBegin() const { return selBegin_; }
    int SelectionEnd() const { return selEnd_; }
    const std::string& SelectedText() const { return selected_; }
    // A click at a position makes the token there current; true when the current token changed.
    bool ClickAt(int position);
    // A drag over exactly a token's span makes it current; true when the current token changed.
    bool DragOver(int begin, int end);
    // The end of a drag: the mark menu for a new span, nothing over the current token.
    MenuToOpen LeftRelease(int begin, int end);
    // A right button released: the selection is taken as it is and the remove menu opens.
    MenuToOpen RightRelease(int begin, int end);
    MarkMenuState MarkMenu() const;
    RemoveMenuState RemoveMenu() const;

    // ---- Commands (true when the definition changed) ----
    bool MarkConstant();
    bool MarkFixedLengthString();
    bool MarkValue();
    bool MarkEnumeration();
    bool MarkSequence();
    bool RemoveToken();
    bool RemoveAllTokens();

    // ---- Typing (sample positions) ----
    // A sample typed from empty (an answer from the instrument's manual) takes any text while nothing is
    // marked, its terminator following the text; otherwise a key is taken while the sample still parses.
    bool InsertCharacter(int position, char character);
    bool DeleteCharacterBefore(int position);

    // ---- The element editor ----
    std::optional<ShownToken> CurrentToken() const;
    // Takes a description from the element editor for the current token and parses the sample with it; on a
    // failed parse the description stays and FailedSpan() tells where the definition stopped.
    ElementChangeResult TakeElementChange(std::u16string_view description);

    // ---- Drawing ----
    const std::string& DisplayText() const { return display_; }
    std::vector<TokenSpan> TokenSpans() const;
    // The token where the last parse stopped, in shown positions; none after a parse that passed.
    std::optional<TokenSpan> FailedSpan() const;
    // The current token's span in shown positions; none without a current token.
    std::optional<TokenSpan> CurrentSpan() const;
    const std::u16string& StatusText() const { return status_; }
    void SetStatusText(std::u16string_view text) { status_ = text; }

    CMsgTypeDef& Definition() { return *definition_; }
    const CMsgTypeDef& Definition() const { return *definition_; }
    MsgSide Side() const { return side_; }

private:
    void ClearSelection();
    void ShowSample();
    // Adds the keys around the selection that a value needs; false (after a warning) when one is missing.
    bool DefineKeys(bool wantPrefix, bool wantPostfix);
    void AddConstantKey(int begin, int end);
    std::string_view SampleSpan(int begin, int end) const;
    bool AddValueRecord(std::u16string description);
    void Warn(std::u16string_view text) const;
    // True while the definition holds no token but the terminator derived from its sample.
    bool NothingMarked() const;
    // A key typed into a sample typed from empty with nothing marked: the whole text becomes the sample, its
    // terminator derived anew (a terminator derived from a shorter text would refuse the next character).
    bool TypeWhole(int position, char character, bool erase);

    // All members: the window thread.
    MsgSide side_;
    std::unique_ptr<CMsgTypeDef> definition_;
    int selBegin_ = -1;
    int selEnd_ = -1;
    std::string selected_; // Latin-1, the sample's characters of the selection
    std::string display_;  // the sample as shown
    bool force_ = false;   // the next element change is taken even when unchanged (set by Value)
    bool typing_ = false;  // the sample was typed from empty since the last New or Load
    int failurePos_ = -1;  // where the last element-change parse stopped, -1 when it passed
    std::u16string status_ = u"OK";
    WarningSink warn_;
};

// The type a value's sample text suggests: "long", "double" or "string", or "long" with hex set for a text
// that reads whole as a hexadecimal number and holds no "x".
std::u16string GuessedTypeOf(std::string_view text, bool* hex);

} // namespace ostrel
