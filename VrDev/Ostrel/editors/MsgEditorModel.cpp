// The message definition editor without widgets: selection, marking commands, typing, element changes.
#include "VrDev/Ostrel/editors/MsgEditorModel.h"

#include "VrDev/Ostrel/editors/OptionItems.h"
#include "VrDev/Ostrel/model/MsgTypeDefText.h"
#include "common/options/ParamParser.h"
#include "common/schemafactory/XMLSchemaFactory.h"
#include "common/trace/Trace.h"
#include "platform/com/bstr.h"

namespace ostrel {

namespace {

constexpr std::u16string_view kKeyBase = u"_strKey";
constexpr std::u16string_view kValueBase = u"value";

// "type=string name='_strKey<n>' fixed='<text>'", the text quoted by the option-string writer so that any
// apostrophe or blank in it reads back whole; none for a text no quoting can hold.
std::optional<std::u16string> ConstantDescription(std::u16string_view name, std::string_view text) {
    std::u16string description = u"type=string";
    if (!AppendItem(description, u"name", name) || !AppendItem(description, u"fixed", Wide(text))) {
        return std::nullopt;
    }
    return description;
}

} // namespace

std::u16string GuessedTypeOf(std::string_view text, bool* hex) {
    const std::u16string wide = Wide(text);
    BSTR type = nullptr;
    (void)CXMLSchemaFactory::GuessXsdTypeOfValue(wide.c_str(), type, nullptr); // always true
    std::u16string guessed(vr::BstrView(type));
    SysFreeString(type);
    LONG ignored = 0;
    const bool isHex = guessed == u"string" && text.find('x') == std::string_view::npos && !text.empty() &&
                       TextToLong(&ignored, wide.c_str(), 16, true, true);
    if (hex) {
        *hex = isHex;
    }
    return isHex ? u"long" : guessed;
}

CMsgEditorModel::CMsgEditorModel(MsgSide side) : side_(side), definition_(std::make_unique<CMsgTypeDef>()) {
    definition_->SetGapMode(side == MsgSide::Query ? GapMode::Fixed : GapMode::Pattern);
}

HRESULT CMsgEditorModel::Load(const vr::xml::Node& complexType) {
    status_ = u"....";
    typing_ = false;
    ClearSelection();
    definition_->Reset();
    display_.clear();
    const HRESULT hr = definition_->Load(complexType);
    if (SUCCEEDED(hr)) {
        ShowSample();
    }
    force_ = false;
    failurePos_ = -1;
    status_ = u"OK.";
    return hr;
}

bool CMsgEditorModel::New(std::string_view sample, std::string_view messageName, std::string_view termString,
                          std::u16string_view xsdQualifier, std::u16string_view xmlAttrStructure) {
    status_ = u".....";
    typing_ = false;
    ClearSelection();
    definition_->Reset();
    display_.clear();
    const bool made = definition_->Init(sample, messageName, termString, xsdQualifier, xmlAttrStructure);
    if (made) {
        ShowSample();
    }
    force_ = false;
    failurePos_ = -1;
    status_ = u"OK.";
    return made;
}

void CMsgEditorModel::Clear() {
    (void)New("", "", "", u"xsd", u"vra:substitution=enumeration"); // an empty definition always starts
}

HRESULT CMsgEditorModel::SetSampleText(std::string_view sample) {
    const HRESULT hr = definition_->ChangeSampleText(sample);
    if (SUCCEEDED(hr)) {
        ShowSample();
    }
    return hr;
}

void CMsgEditorModel::SetSelection(int begin, int end) {
    selBegin_ = begin;
    selEnd_ = end;
    const std::string& sample = definition_->Sample();
    const int length = static_cast<int>(sample.size());
    if (begin >= 0 && begin < end && end <= length) {
        selected_ = sample.substr(static_cast<size_t>(begin), static_cast<size_t>(end - begin));
    } else {
        selected_.clear();
    }
}

bool CMsgEditorModel::ClickAt(int position) {
    int b = 0;
    int e = 0;
    if (!definition_->GetElementSpanAt(position, &b, &e)) {
        return false;
    }
    (void)definition_->SetCurrentElement(b, e); // the span was just found
    SetSelection(b, e);
    return true;
}

bool CMsgEditorModel::DragOver(int begin, int end) {
    std::u16string ignored;
    int currentBegin = -1;
    int currentEnd = -1;
    const bool hasCurrent = definition_->GetCurrentElement(nullptr, &currentBegin, &currentEnd);
    if (!definition_->GetElementAttributes(begin, end, &ignored) ||
        (hasCurrent && currentBegin == begin && currentEnd == end)) {
        return false;
    }
    (void)definition_->SetCurrentElement(begin, end); // the span was just found
    SetSelection(begin, end);
    return true;
}

MenuToOpen CMsgEditorModel::LeftRelease(int begin, int end) {
    int currentBegin = -1;
    int currentEnd = -1;
    if (begin == end || (definition_->GetCurrentElement(nullptr, &currentBegin, &currentEnd) &&
                         currentBegin == begin && currentEnd == end)) {
        return MenuToOpen::None;
    }
    SetSelection(begin, end);
    return MenuToOpen::Mark;
}

MenuToOpen CMsgEditorModel::RightRelease(int begin, int end) {
    SetSelection(begin, end);
    return MenuToOpen::Remove;
}

MarkMenuState CMsgEditorModel::MarkMenu() const {
    const bool element = definition_->CanAddElement(selBegin_, selEnd_);
    MarkMenuState state;
    state.sequence = definition_->CanAddSequence(selBegin_, selEnd_);
    state.value = state.enumeration = element;
    state.constant = state.fixedLengthString = element && side_ == MsgSide::Response;
    return state;
}

RemoveMenuState CMsgEditorModel::RemoveMenu() const {
    int b = -1;
    int e = -1;
    RemoveMenuState state;
    state.removeToken = definition_->GetCurrentElement(nullptr, &b, &e) && b == selBegin_ && e == selEnd_;
    return state;
}

bool CMsgEditorModel::MarkConstant() {
    std::optional<std::u16string> description =
        ConstantDescription(definition_->GetFreeName(kKeyBase), selected_);
    if (!description) {
        Warn(u"The selected text cannot be written as a constant.");
        return false;
    }
    definition_->AddElement(selBegin_, selEnd_, *description);
    return true;
}

bool CMsgEditorModel::MarkFixedLengthString() {
    if (selected_.empty() || !DefineKeys(true, false)) {
        return false;
    }
    std::u16string description = u"type=string";
    (void)AppendItem(description, u"name", definition_->GetFreeName(kKeyBase));       // names need no quotes
    (void)AppendItem(description, u"length", Wide(std::to_string(selected_.size()))); // digits only
    definition_->AddElement(selBegin_, selEnd_, description);
    return true;
}

bool CMsgEditorModel::MarkValue() {
    const bool response = side_ == MsgSide::Response;
    if (!DefineKeys(response, response)) {
        return false;
    }
    std::u16string description;
    (void)AppendItem(description, u"name", definition_->GetFreeName(kValueBase)); // names need no quotes
    if (!AddValueRecord(std::move(description))) {
        return false;
    }
    force_ = true;
    return true;
}

bool CMsgEditorModel::MarkEnumeration() {
    std::u16string description;
    (void)AppendItem(description, u"name", definition_->GetFreeName(kValueBase)); // names need no quotes
    // Tested before the keys, so that a selection no quoting can hold adds nothing at all.
    if (!AppendItem(description, u"enumeration", Wide(selected_))) {
        Warn(u"The selected text cannot be written as an enumeration value.");
        return false;
    }
    const bool response = side_ == MsgSide::Response;
    if (!DefineKeys(response, response)) {
        return false;
    }
    // The keys took names of their own: the value's number is unchanged, since they are named "_strKey<n>".
    return AddValueRecord(std::move(description));
}

bool CMsgEditorModel::MarkSequence() {
    return definition_->AddSequence(selBegin_, selEnd_, u"type=sequence minOccurs=1 maxOccurs=1");
}

bool CMsgEditorModel::RemoveToken() {
    return definition_->RemoveCurrentElement();
}

bool CMsgEditorModel::RemoveAllTokens() {
    definition_->Reset();
    ClearSelection();
    return true;
}

bool CMsgEditorModel::NothingMarked() const {
    const std::vector<MtdElement>& records = definition_->Elements();
    return records.empty() || (records.size() == 1 && records[0].kind == MtdKind::SchemaElement &&
                               ItemOf(records[0].ExtAttributes, u"name") == u"_strTermString");
}

bool CMsgEditorModel::TypeWhole(int position, char character, bool erase) {
    std::string edited = definition_->Sample();
    if (position < 0 || position > static_cast<int>(edited.size()) || (erase && position == 0)) {
        return false;
    }
    if (erase) {
        edited.erase(static_cast<size_t>(position - 1), 1);
    } else {
        edited.insert(static_cast<size_t>(position), 1, character);
    }
    definition_->Reset(); // the terminator derived from the shorter text goes
    if (FAILED(definition_->ChangeSampleText(edited))) {
        return false; // a text its sample comment cannot hold
    }
    ShowSample();
    return true;
}

bool CMsgEditorModel::InsertCharacter(int position, char character) {
    if (definition_->IsSampleEmpty()) {
        typing_ = true;
    }
    if (typing_ && NothingMarked()) {
        return TypeWhole(position, character, false);
    }
    if (!definition_->EditSampleText(position, character, false)) {
        return false;
    }
    ShowSample();
    return true;
}

bool CMsgEditorModel::DeleteCharacterBefore(int position) {
    if (typing_ && NothingMarked()) {
        return TypeWhole(position, 0, true);
    }
    if (!definition_->EditSampleText(position, 0, true)) {
        return false;
    }
    ShowSample();
    return true;
}

std::optional<ShownToken> CMsgEditorModel::CurrentToken() const {
    ShownToken token;
    if (!definition_->GetCurrentElement(&token.description, nullptr, nullptr)) {
        return std::nullopt;
    }
    token.type = TakeItem(token.description, u"type").value_or(u"");
    token.name = TakeItem(token.description, u"name").value_or(u"");
    return token;
}

ElementChangeResult CMsgEditorModel::TakeElementChange(std::u16string_view description) {
    std::u16string current;
    if (definition_->GetCurrentElement(&current, nullptr, nullptr) && !force_ &&
        SameOptions(description, current)) {
        return ElementChangeResult::Ignored;
    }
    force_ = false;
    if (!definition_->SetCurrentAttributes(description)) {
        return ElementChangeResult::Refused;
    }
    status_ = u"......";
    int failure = -1;
    if (SUCCEEDED(definition_->ParseText(definition_->Sample(), &failure))) {
        failurePos_ = -1;
        status_ = u"OK.";
        return ElementChangeResult::Parsed;
    }
    failurePos_ = failure;
    status_ = u"ERROR: Incomplete or Invalid Definition.";
    return ElementChangeResult::Failed;
}

std::vector<TokenSpan> CMsgEditorModel::TokenSpans() const {
    return TokenSpansOf(*definition_, display_);
}

std::optional<TokenSpan> CMsgEditorModel::FailedSpan() const {
    int b = 0;
    int e = 0;
    if (failurePos_ < 0 || failurePos_ >= static_cast<int>(definition_->Sample().size()) ||
        !definition_->GetElementSpanAt(failurePos_, &b, &e)) {
        return std::nullopt;
    }
    MapPositions(display_, &b, &e, MapDirection::ToDisplay);
    return TokenSpan{TokenLook::Failed, b, e};
}

std::optional<TokenSpan> CMsgEditorModel::CurrentSpan() const {
    int b = -1;
    int e = -1;
    if (!definition_->GetCurrentElement(nullptr, &b, &e) || b < 0 || e < 0) {
        return std::nullopt;
    }
    MapPositions(display_, &b, &e, MapDirection::ToDisplay);
    return TokenSpan{TokenLook::Key, b, e};
}

void CMsgEditorModel::ClearSelection() {
    selBegin_ = selEnd_ = -1;
    selected_.clear();
}

void CMsgEditorModel::ShowSample() {
    display_ = DisplayTextOf(definition_->Sample());
}

bool CMsgEditorModel::DefineKeys(bool wantPrefix, bool wantPostfix) {
    bool hex = false;
    (void)GuessedTypeOf(selected_, &hex); // only whether blanks between key and value are skipped
    int prefixBegin = 0;
    int prefixEnd = 0;
    bool prefixFound = true;
    if (wantPrefix) {
        prefixEnd = selBegin_;
        prefixFound = definition_->FindPrefixKey(&prefixBegin, &prefixEnd, hex);
    }
    int postfixBegin = 0;
    int postfixEnd = 0;
    bool postfixFound = true;
    if (wantPostfix) {
        postfixBegin = selEnd_;
        postfixFound = definition_->FindPostfixKey(&postfixBegin, &postfixEnd, hex);
    }
    if (!prefixFound && !postfixFound) {
        Warn(u"Prefix and Postfix keys can not be determined. Define the keys first.");
        return false;
    }
    if (!prefixFound) {
        Warn(u"Prefix key can not be determined. Define it first.");
        return false;
    }
    if (!postfixFound) {
        Warn(u"Postfix key can not be determined. Define it first.");
        return false;
    }
    const bool prefixNeeded = !(prefixBegin == 0 && prefixEnd == 0);
    const bool postfixNeeded = !(postfixBegin == 0 && postfixEnd == 0);
    // Both keys are checked before either is added, so a key that cannot be written adds nothing at all.
    if ((prefixNeeded && !ConstantDescription(kKeyBase, SampleSpan(prefixBegin, prefixEnd))) ||
        (postfixNeeded && !ConstantDescription(kKeyBase, SampleSpan(postfixBegin, postfixEnd)))) {
        Warn(u"The key before or after the selection cannot be written as a constant.");
        return false;
    }
    if (prefixNeeded) {
        AddConstantKey(prefixBegin, prefixEnd);
    }
    if (postfixNeeded) {
        AddConstantKey(postfixBegin, postfixEnd);
    }
    return true;
}

std::string_view CMsgEditorModel::SampleSpan(int begin, int end) const {
    return std::string_view(definition_->Sample())
        .substr(static_cast<size_t>(begin), static_cast<size_t>(end - begin));
}

void CMsgEditorModel::AddConstantKey(int begin, int end) {
    // Checked by DefineKeys: the key's text can be written.
    definition_->AddElement(begin, end,
                            ConstantDescription(definition_->GetFreeName(kKeyBase), SampleSpan(begin, end))
                                .value_or(std::u16string()));
}

bool CMsgEditorModel::AddValueRecord(std::u16string description) {
    bool hex = false;
    const std::u16string type = GuessedTypeOf(selected_, &hex);
    if (hex) {
        (void)AppendPlainItem(description, u"vra:base", u"16"); // a plain number needs no quotes
    }
    (void)AppendPlainItem(description, u"type", type); // a type name needs no quotes
    definition_->AddElement(selBegin_, selEnd_, description);
    return true;
}

void CMsgEditorModel::Warn(std::u16string_view text) const {
    if (warn_) {
        warn_(text);
    } else {
        const std::u16string line(text);
        TraceError(u"%s", line.c_str());
    }
}

} // namespace ostrel
