// One message type of a device adapter defined from a sample text: marked tokens, groups and the terminator,
// turned into the message's XSD complex type and back, parsed with the compose/parse engine.
//
// Usage: Init with a sample (or Load a stored complex type), mark tokens with AddElement and AddSequence
// (asking CanAddElement / CanAddSequence first), build the complex type with GetMsgTypeDef. ParseText parses
// an instrument's answer against the definition; ChangeSampleText and EditSampleText change the sample only
// while the definition still parses it, and re-derive every token's position from the parse.
//
// Text: the sample, the message name and parsed texts are Latin-1 (one byte per character, as the engine
// reads them), and every position is a byte offset into the sample. Element descriptions are option strings
// ("type=int name=nValue fixed='x'"), read and written with the option-string parser.
//
// Records: the definition is an ordered vector of records, tokens in sample order; a group of tokens that may
// repeat is a begin record before its first token and an end record after its last. A record is named by its
// index in that vector (kNoRecord for none); indexes change when records are added or removed.
//
// Failures: HRESULT operations report through the deliverable's trace (TraceError, so LastErrorText holds
// the text) and return the failure; searches return false and leave their out-arguments as they were.
//
// Threads: one object is used by one thread at a time; each owns its own engine and documents.
#pragma once

#include "common/schemafactory/XMLSchemaFactory.h"
#include "instruments/Xlatrix/Xlatrix.h"
#include "platform/com/hresult.h"
#include "platform/xml/dom.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What a record stands for; Any only as a search argument.
enum class MtdKind { Any = 0, SchemaElement = 1, SequenceBegin = 2, SequenceEnd = 3 };

// How untokenised text between tokens is written: as a pattern that matches any such text (response
// messages), or as its own fixed text (command messages).
enum class GapMode { Pattern = 0, Fixed = 1 };

struct MtdElement {
    MtdKind kind = MtdKind::SchemaElement;
    int nPosBegin = -1; // first character, -1 while unknown
    int nPosEnd = -1;   // one past the last character, -1 while unknown
    std::u16string ExtAttributes;
};

class CMsgTypeDef {
public:
    static constexpr size_t kNoRecord = static_cast<size_t>(-1);
    // The gap patterns: the first for samples without "~", the second for samples without "$", the third
    // (any text at all) for samples that hold both. Load treats an element with any of them as a gap.
    static constexpr std::u16string_view kGapPatternTilde = u"[^~]*";
    static constexpr std::u16string_view kGapPatternDollar = u"[^$]*";
    static constexpr std::u16string_view kGapPatternAny = u"[\\s\\S]*";

    // An empty definition; reads the blank adapter file's path from the configuration item AdapterBlankFile
    // (a bare name lies in the program folder).
    CMsgTypeDef();
    virtual ~CMsgTypeDef();
    CMsgTypeDef(const CMsgTypeDef&) = delete;
    CMsgTypeDef& operator=(const CMsgTypeDef&) = delete;

    // Starts a new definition: Reset, the sample and names kept, the terminator derived (AddTermString),
    // marked modified. Always true.
    bool Init(std::string_view sample, std::string_view messageName, std::string_view termString,
              std::u16string_view xsdQualifier, std::u16string_view xmlAttrStructure);
    // Empties the records, the current record, the parse result text and what Load kept of the schema.
    void Reset();

    // Builds the message's complex type (a new element outside any tree); E_INVALIDARG for a sample that
    // holds "--" or ends with "-", which the type's sample comment cannot hold.
    [[nodiscard]] HRESULT GetMsgTypeDef(vr::xml::Node* complexType);
    // Rebuilds the definition from a stored complex type: E_POINTER for none, E_INVALIDARG for another
    // element, E_FAIL without the sample comment or when the sample does not parse against it; after a
    // failure the definition is empty. The sample is the first comment that begins "MessageTextSample: ",
    // wherever it stands among the type's children; a sample written without the type's terminator gets it
    // (the comment a build writes leaves it out again). The named simple types of the type's schema are
    // kept, so that elements of those types parse.
    [[nodiscard]] HRESULT Load(const vr::xml::Node& complexType);

    // Adds a token before the first token that begins after b (outside a group that begins there).
    void AddElement(int b, int e, std::u16string_view attributes);
    // Adds a group around the tokens from the one beginning at b to the one ending at e. Always true.
    bool AddSequence(int b, int e, std::u16string_view attributes);
    // Inserts a record at an index up to the size; false (with a warning line) past it.
    bool InsertMtdElement(const MtdElement& record, long index);
    // Marks the terminator at the end of the sample: term when the sample ends with it, else the shortest
    // tail that occurs once in the sample and holds no digit. Only on a non-empty sample without records.
    void AddTermString(std::string_view term);
    // Removes a token, or a group's begin and end; the current record is cleared. False for no record.
    bool RemoveElement(size_t record);
    bool RemoveCurrentElement();

    bool SetCurrentElement(int b, int e);
    bool GetCurrentElement(std::u16string* attributes, int* b, int* e) const;
    // Replaces the current record's description; a token cannot become a group nor a group anything else.
    bool SetCurrentAttributes(std::u16string_view attributes);
    size_t CurrentElement() const { return current_; }

    // -1 for b or e matches any position. Kind Any looks for a group begin first, then for a token.
    bool FindElement(int b, int e, size_t* record, MtdKind kind) const;
    bool FindSequenceEnd(size_t groupBegin, size_t* groupEnd) const;
    bool GetSequenceEndPos(int b, int* position) const;
    bool FindElementByName(std::u16string_view name, size_t* record) const;
    bool ElementExists(std::u16string_view name) const;
    bool FindElementAt(int position, size_t* record) const;
    bool GetElementSpanAt(int position, int* b, int* e) const;
    bool SetElementPositions(std::u16string_view name, int b, int e);
    bool GetElementAttributes(int b, int e, std::u16string* attributes) const;
    // The record after the one matching all three (group ends skipped); the first when b = e = 0 and the
    // description is empty.
    bool GetNextElement(int* b, int* e, std::u16string* attributes) const;
    std::u16string GetElementName(size_t record) const;
    std::u16string GetElementType(size_t record) const;
    bool IsSampleEmpty() const { return sample_.empty(); }
    // False when the span would share a character with a token (also when it encloses one).
    bool CanAddElement(int b, int e) const;
    bool CanAddSequence(int b, int e) const;
    // The first "<prefix><n>" (n from 1) that names no token.
    std::u16string GetFreeName(std::u16string_view prefix) const;
    // Proposes the constant key after (postfix) or before (prefix) a selected value; see MsgTypeDefKeys.cpp.
    bool FindPostfixKey(int* b, int* e, bool skipBlanks) const;
    bool FindPrefixKey(int* b, int* e, bool skipBlanks) const;

    // SetModified(false) remembers the current build as the saved one.
    void SetModified(bool modified);
    // False for an empty sample; true when marked, or when a new build differs from the saved one.
    bool IsModified();
    void TraceVecElements() const;

    // Parses text against the complex type and writes the values found as lines; an empty text parses the
    // sample and sets every record's position. failurePos receives -1, or where a failed parse stopped.
    [[nodiscard]] HRESULT ParseMsg(const vr::xml::Node& complexType, std::string_view text,
                                   int* failurePos = nullptr);
    // GetMsgTypeDef, then ParseMsg with the text.
    [[nodiscard]] HRESULT ParseText(std::string_view text, int* failurePos = nullptr);
    // Takes the new sample when the definition parses it (and a comment can hold it), and re-derives all
    // positions. An empty sample is taken as it is, every position clamped into it.
    [[nodiscard]] HRESULT ChangeSampleText(std::string_view sample);
    // Inserts a character at position, or deletes the one before it, when the result still parses.
    bool EditSampleText(int position, char character, bool erase);
    // The built-in example, traced; true when every step succeeded and the token moved as expected.
    static bool TestClass();

    // ---- Reading the definition ----
    const std::string& Sample() const { return sample_; }
    const std::string& MessageName() const { return messageName_; }
    const std::vector<MtdElement>& Elements() const { return elements_; }
    const std::string& ParseResultText() const { return parseResult_; }
    // The named simple types of the schema the definition was loaded from, which its tokens may be of.
    const std::vector<vr::xml::Node>& SchemaTypes() const { return schemaTypes_; }
    void SetGapMode(GapMode mode) { gapMode_ = mode; }
    GapMode GetGapMode() const { return gapMode_; }

private:
    // The sample is kept in an XML comment: E_INVALIDARG, reported, for one that no comment can hold.
    static HRESULT CheckSampleFitsComment(std::string_view sample);
    HRESULT BuildComplexType(vr::xml::Node* complexType);
    HRESULT CreateGap(int from, int to);
    bool GapIsAbsorbed(int from, int to) const;
    std::u16string GapPattern() const;
    void AppendMissingItems(std::u16string& attributes) const;
    HRESULT ReadComplexType(const vr::xml::Node& complexType);
    void ClearAfterFailedLoad();
    // The engine's terminator of the type (what the socket reads an answer up to); empty when none.
    std::string TerminatorOf(const vr::xml::Node& complexType);
    // The text the engine composes for the type without values, less its terminator: the sample a type of
    // fixed texts only would have; empty when it cannot be composed so.
    std::string ComposedSampleOf(const vr::xml::Node& complexType);
    // The parse document of the type given to the engine; the type's name.
    HRESULT PrepareEngine(const vr::xml::Node& complexType, std::u16string* typeName);
    // Copies of the named simple types of the schema the complex type stands in, which its elements may use.
    void KeepSchemaTypesOf(const vr::xml::Node& complexType);
    HRESULT ReadSequence(const vr::xml::Node& node);
    HRESULT ReadElement(const vr::xml::Node& node);
    void DropFixedUnderscoreTokens();
    HRESULT LoadParseDocument(const vr::xml::Node& complexType, vr::xml::Document* document);
    void WriteParseResult();
    void DerivePositions();
    void DeriveGroupPositions(size_t groupBegin);
    void ClampPositions();
    std::string WorkingCopy() const;

    // All members: the object's one thread.
    std::string parseResult_; // lines of the last output-mode parse
    GapMode gapMode_ = GapMode::Pattern;
    size_t current_ = kNoRecord; // the editor's current record
    std::vector<MtdElement> elements_;
    std::string sample_;      // Latin-1
    std::string messageName_; // Latin-1
    std::u16string xsdQualifier_;
    std::u16string xmlAttrStructure_;
    CXMLSchemaFactory factory_;
    long loadIndex_ = 0;             // Load: where the next record read goes
    bool outerSequenceSeen_ = false; // Load: the outermost sequence made no record
    std::u16string blankAdapterFile_;
    CXlatrix xlatrix_{false};
    int gapCounter_ = 1;             // the next gap's number within one build
    std::u16string savedDefinition_; // the build remembered by SetModified(false)
    // The terminator that the loaded sample comment left out (the sample holds it); empty when none.
    std::string sampleCommentTerm_;
    // The named simple types of the loaded type's schema (detached copies), parsed along with the type.
    std::vector<vr::xml::Node> schemaTypes_;
    bool modified_ = false;
};
