// CXlatrix: composes command text from a device adapter's XSD message types and named values, and parses
// instrument answers back into named values.
//
// Text: every narrow string is Latin-1, one byte per character, so that positions and lengths count bytes
// (fixed-length fields, terminators); schema names and values are converted to Latin-1 the same way. File
// paths are file-system names (UTF-8).
//
// Errors: every public operation returns true/false (or a count) and never lets an exception out; a failure
// leaves its message in strErrorText. The protected steps may raise _com_error for a failing XML call; the
// public operation that runs them reports it with DumpComError.
//
// Threads: one object is used by one thread at a time; different objects are independent.
#pragma once

#include "platform/xml/dom.h"
#include "platform/xml/schema.h"
#include "platform/xml/somtypes.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class _com_error;

#define XLATRIX_EXPORT __attribute__((visibility("default")))

class XLATRIX_EXPORT CXlatrix {
public:
    // The values of one parameter by index. Values are taken from the front one by one (the socket takes
    // index 0 until none is left), so the list drops its first value in constant time, which a vector
    // cannot; it reads as a vector otherwise.
    class ValueList : public std::deque<std::string> {
    public:
        using std::deque<std::string>::deque;
        operator std::vector<std::string>() const { return {begin(), end()}; }
        friend bool operator==(const ValueList& a, const std::vector<std::string>& b) {
            return std::equal(a.begin(), a.end(), b.begin(), b.end());
        }
    };
    // One named parameter: the element name its values belong to, their datatype and values by index.
    struct ParamValue {
        std::string strName;
        SOMITEMTYPE type = SOMITEM_NULL; // SOMITEM_NULL when the caller gave no type
        std::string strTypeName;
        ValueList arrValues;
    };
    using ParamValueArray = std::vector<ParamValue>;

    // The "parsing" annotation of a value element.
    enum ParsingOption { poNone = 0, poLongestValue = 1, poShortestValue = 2 };

    // One simple value the current parse matched: text positions [nBegin, nEnd), the element name (or the
    // type name without an element), the index of the value under that name, the root type and the value.
    struct MatchRecord {
        int nBegin = 0;
        int nEnd = 0;
        std::string strName;
        int nIndex = 0;
        SOMITEMTYPE type = SOMITEM_NULL;
        std::string strTypeName;
        std::string strValue;
    };
    using MatchMap = std::unordered_map<std::string, MatchRecord>;

    // The flag is kept class-wide and read by no operation.
    explicit CXlatrix(bool flag);
    virtual ~CXlatrix();
    CXlatrix(const CXlatrix&) = delete;
    CXlatrix& operator=(const CXlatrix&) = delete;

    // ---- Schema ----

    // Loads a device adapter file and takes the schema inside its `types` element.
    bool SetSchemaXml(const char* path);
    bool SetSchemaXml(const vr::xml::Document& adapterDocument);
    // Loads a document that is itself an XSD schema.
    bool SetSchemaXsd(const char* path);
    // Keeps the schema when it defines types; otherwise the previous schema stays.
    bool SetSchema(const vr::xml::Schema& schema);

    // ---- Values ----

    bool AddComposeEntryParamValue(SOMITEMTYPE type, const char* typeName, const char* name,
                                   const char* value, int index = -1);
    bool AddParseEntryParamValue(SOMITEMTYPE type, const char* typeName, const char* name, const char* value,
                                 int index = -1);
    void RemoveAllComposeEntryParamValues();
    void RemoveAllParseEntryParamValues();
    // An empty name selects the first entry and receives its name. Each out-pointer may be null.
    bool GetParamValue(ParamValueArray& array, std::string& name, SOMITEMTYPE* type, std::string* typeName,
                       std::string* value, int nIdIndex, bool bRemove, bool bQuiet);
    bool GetReturnedParamValue(std::string& name, SOMITEMTYPE* type, std::string* typeName,
                               std::string* value, int nIdIndex, bool bRemove);
    // The number of values under a name; an empty name counts every entry's values.
    int GetNumberOfParamValues(const ParamValueArray& array, const char* name);
    int GetNumberOfReturnedParamValues(const char* name);
    // The number of values the last Parse matched for an element name.
    int GetNumberOfElements(const char* name);
    // Rebuilds strTraceText from an array.
    void DumpArrayParamValuesTrace(const ParamValueArray& array);

    // ---- Compose and parse ----

    // Appends the text of a type, made from the compose values (consumed), fixed values and defaults.
    bool Compose(const char* typeName, std::string& out);
    // Matches an answer against a type; on success adds the values of the elements whose names do not begin
    // with "_" to arrReturnedParamValues.
    bool Parse(const char* typeName, const char* text);

    // What the last Parse matched, keyed by path; on success exactly the matches of the accepted reading.
    // The map is made from the parse's own records on the first call after a Parse, so this call too belongs
    // to the object's one thread.
    const MatchMap& GetMatchRecords() const;
    // The match of the value with that index under a name; false when the last Parse matched none.
    bool FindMatchRecord(const char* name, int index, MatchRecord* record) const;
    // After a failed Parse the position up to which the answer could be matched (the length of
    // strParsedText); -1 after a successful one and before the first.
    int GetParseFailurePosition() const { return nFailurePos; }

    // ---- Schema queries ----

    // The termination string of a response type: the fixed text (or literal pattern tail) of its last
    // element.
    bool GetTermString(const char* typeName, std::u16string& term);
    // The first element of that name (the first whose name does not begin with "_" for an empty name) with a
    // datatype at its root; isArray tells whether a repeating group encloses it.
    bool GetRootTypeOfElementOfComplexType(const char* typeName, std::string& elementName, SOMITEMTYPE& type,
                                           bool* isArray);
    bool GetMeasurementUnitsOfElementOfComplexType(const char* typeName, const char* elementName,
                                                   std::string& units);
    // Moves the cursor to the next element of the type's content model (the first for an empty cursor).
    bool TraverseElementsOfComplexType(const char* typeName, vr::xml::SchemaElement& cursor);
    // The element after the one called name (the first for an empty name): its name and root item type.
    bool TraverseElementsOfComplexType(const char* typeName, std::u16string& name, SOMITEMTYPE& type);

    // ---- Settings and results ----

    // Values lose their surrounding blanks on the way in and out (numbers always do).
    bool bTrimValues = true;
    // Candidate values are tried longest first, not only where an element asks for it.
    bool bLongestValueByDefault = false;
    // A number takes the longest text that is a valid number, not the shortest.
    bool bNumericLookAhead = false;

    ParamValueArray arrReturnedParamValues;
    std::string strParsedText;
    std::string strUnparsedText;
    std::string strErrorText;
    // The last DumpArrayParamValuesTrace (every Compose makes it, of its compose values, whether or not a
    // tracer receives its trace line: callers may read it).
    std::string strTraceText;

    // A Parse tries at most kParseStepsBase candidate texts, plus kParseStepsPerCharacter for every character
    // of the answer, before it gives up: some content models would otherwise need exponentially many.
    static constexpr int64_t kParseStepsBase = 200000;
    static constexpr int64_t kParseStepsPerCharacter = 200;

protected:
    // Expected values for Parse; values for Compose, which consumes them.
    ParamValueArray arrParseEntryParamValues;
    ParamValueArray arrComposeEntryParamValues;

    // ---- Values and numbers ----
    bool SetParamValue(ParamValueArray& array, SOMITEMTYPE type, const char* typeName, const char* name,
                       const char* value, int index);
    bool NormalizeParamValue(SOMITEMTYPE type, std::string& value);
    bool IsNumeric(SOMITEMTYPE type);
    bool IsParamValueEqual(SOMITEMTYPE type, const std::string& a, const std::string& b);
    bool GetNumber(const char* text, double& value, int base, bool bQuiet, bool bWholeText);
    bool GetNestedLevel(const std::string& path, std::string& level);

    // ---- Schema helpers ----
    bool GetRootType(const vr::xml::SchemaType& type, vr::xml::SchemaType& root);
    bool GetExtendedElementAttributes(const vr::xml::SchemaElement& element, std::string* format, int* base,
                                      std::string* units, ParsingOption* parsing);
    bool GetTermString(const std::vector<std::u16string>& patterns, std::string& term, std::string& prefix);
    bool TraverseElementsOfComplexType(const vr::xml::SchemaComplexType& type,
                                       vr::xml::SchemaElement& cursor);
    bool TraverseElementsOfSchemaModelGroup(const vr::xml::SchemaModelGroup& group,
                                            vr::xml::SchemaElement& cursor);
    bool ProcessSchemaParticle(const vr::xml::SchemaParticle& particle, int32_t* minOccurs,
                               int32_t* maxOccurs);
    bool GetTypeOfNode(const vr::xml::Node& node, vr::xml::SchemaType& type, bool bQuiet);
    std::u16string bstrTypeOfNode(const vr::xml::Node& node, bool bQuiet);
    SOMITEMTYPE somitemTypeOfNode(const vr::xml::Node& node, bool bQuiet);

    // ---- Diagnostics ----
    void DumpError(const char* format, ...);
    void DumpComError(const _com_error& error);
    void DumpParseError(const vr::xml::ParseError& error);

    bool IsParsedTextFinished();

private:
    struct ElementAt {
        vr::xml::SchemaElement element;
        int depth = 0; // enclosing groups that may repeat
    };
    struct Candidate;
    struct FollowSet;
    struct ValueInfo;
    struct WalkParticle;
    struct WalkComplex;
    struct WalkRoot;
    struct WalkStep;
    struct WalkState;
    struct ComposePlace;

    template <class Work>
    bool Guarded(Work&& work);
    bool RequireSchema();
    void TraceReport();
    vr::xml::SchemaType FindType(const char* typeName);
    bool LoadSchemaDocument(const vr::xml::Document& schemaDocument);

    // Element iteration.
    bool CollectElements(const vr::xml::SchemaModelGroup& group, int depth, std::vector<ElementAt>& out);
    bool ElementsOfType(const vr::xml::SchemaComplexType& type, std::vector<ElementAt>& out);
    bool StepCursor(const std::vector<ElementAt>& elements, vr::xml::SchemaElement& cursor);
    bool TermStringOfElement(const std::string& typeName, const vr::xml::SchemaElement& last,
                             std::u16string& term);

    // Compose helpers: the walk over the compiled content model (see XlatrixCompose.cpp).
    bool ComposeRoot(WalkRoot& root, bool& missing, std::string& out);
    bool ComposeContent(WalkComplex& complex, bool& missing, std::string& out, const ComposePlace* owner);
    bool ComposeOccurrences(WalkParticle& particle, bool& missing, std::string& out, const ComposePlace& key);
    bool ComposeSequence(WalkParticle& group, bool& missing, std::string& out,
                         const ComposePlace& occurrence);
    bool ComposeElementOccurrence(WalkParticle& element, bool& missing, std::string& out,
                                  const ComposePlace& occurrence);
    bool ApplyComposeText(const vr::xml::SchemaType& type, bool& missing, std::string& out,
                          const vr::xml::SchemaElement& element, WalkParticle* particle);
    bool TakeComposeValue(const vr::xml::SchemaElement& element, const WalkParticle* particle,
                          std::string& value, bool& found);
    bool ComposeValueText(const vr::xml::SchemaType& root, const vr::xml::SchemaElement& element,
                          const std::string& format, const std::string& value, std::string& text);

    // Parse helpers: the walk over a message type's compiled content model (see XlatrixParse.cpp).
    void ResetParseState(const char* text);
    WalkRoot& WalkRootOf(const char* typeName);
    WalkComplex& WalkComplexOf(const vr::xml::SchemaComplexType& type);
    void MakeSequenceItems(WalkParticle& group);
    void MakeElementKind(WalkParticle& element);
    bool WalkType(WalkRoot& root);
    bool WalkComplexContent(WalkComplex& complex, int owner);
    bool WalkOccurrences(WalkParticle& particle, int step);
    bool WalkSequence(WalkParticle& group, int step);
    bool WalkItem(WalkParticle& item, int step);
    bool WalkElementOccurrence(WalkParticle& element, int step);
    bool WalkValue(const vr::xml::SchemaType& type, const vr::xml::SchemaElement& element,
                   WalkParticle* particle, int step);
    bool FailStep(int step);
    bool WalkAnswer(WalkRoot& root);
    // Follow sets (see XlatrixFollow.cpp).
    void MakeFollowSets(WalkRoot& root);
    bool FirstOf(const WalkParticle& particle, FollowSet& first, std::vector<const WalkComplex*>& open) const;
    bool FirstOfOccurrence(const WalkParticle& particle, FollowSet& first,
                           std::vector<const WalkComplex*>& open) const;
    void AssignFollow(WalkRoot& root, WalkParticle& particle, const FollowSet& after,
                      std::vector<const WalkComplex*>& open);
    const FollowSet* FollowOf(const WalkParticle* particle) const;
    int NewStep(int parent, int slot, int segment, const std::string* suffix);
    int ChildStep(int parent, int slot, int segment, const std::string* suffix);
    void AppendStepPath(int step, std::string& path) const;
    int NameId(const std::string& name);
    int TypeNameId(const ValueInfo& info);
    bool MatchFixedText(const std::string& name, const std::string& fixed, int start, Candidate& found);
    const ValueInfo& ValueInfoOf(const vr::xml::SchemaType& type, const vr::xml::SchemaElement& element,
                                 std::unique_ptr<ValueInfo>& uncached);
    bool FindCandidate(const ValueInfo& info, const std::string& entryName, bool longest, int start,
                       int limit, const FollowSet* follow, Candidate& found);
    bool FindLongestNumber(const ValueInfo& info, const std::string* expected, int start, int limit,
                           const FollowSet* follow, Candidate& found);
    bool IsExpectedValue(SOMITEMTYPE rootType, const std::string* expected, const Candidate& candidate);
    bool CheckCandidate(const ValueInfo& info, std::string_view candidate, std::string& value);
    bool InRangeFacets(const vr::xml::SchemaType& type, double number);
    bool ParseEntryValue(const std::string& name, std::string& value);
    bool TakeParseStep();
    void NoteFurthestMatch(int step, int end);
    int CompareStepLevels(int a, int b) const;
    std::u16string_view WideCandidate(std::string_view candidate);
    void PublishMatches();
    void ReturnValue(const WalkStep& record, std::string& value);
    void MakeMatchMap() const;

    static std::atomic<bool> bClassFlag;

    vr::xml::Schema schema;
    // What ApplyParseText works out from a value element (its root type, annotations, fixed text), by the
    // element's identity in this schema; emptied when the schema changes. Only complete, error-free readings
    // are kept, so that a faulty element reports its faults on every parse. Used by the object's one thread,
    // as every member.
    std::unordered_map<const void*, std::unique_ptr<ValueInfo>> mapValueInfo;

    // The compiled walks of the message types parsed so far, the names of their value elements and the step
    // records of the last parse (see XlatrixWalk.h); the walks are dropped when the schema changes. Used by
    // the object's one thread, as every member.
    std::unique_ptr<WalkState> walk;
    // The last parse's matches keyed by path, made from its step records by the first GetMatchRecords or
    // FindMatchRecord after it (bMatchMapStale), on the object's one thread.
    mutable MatchMap mapMatches;
    mutable bool bMatchMapStale = false;
    // Parse state, emptied by every Parse.
    std::string strText;
    std::u16string strWideCandidate;           // a candidate's text for the schema check, reused
    std::unique_ptr<Candidate> candidateFound; // the value match being sought, its text buffer reused
    int nPos = 0;
    int nFurthestPos = 0;
    int nFurthestStep = -1;        // the step of the furthest match (see NoteFurthestMatch)
    size_t nFurthestLevelSize = 0; // the length of its level's text
    int nFailurePos = -1;
    int64_t nParseSteps = 0;
    int64_t nParseStepLimit = 0;
    bool bStepLimitHit = false;
    // The message type being parsed, and whether its values skip the candidates that no reading can go on
    // from (their follow sets); a parse that fails so is done again without, for its failure report.
    const WalkRoot* pParseRoot = nullptr;
    bool bPruneByFollow = false;
    bool bFollowSkipped = false; // a candidate was skipped so in this parse

    // Traversal state: enclosing repeated groups of the element the last traversal stopped at.
    int nArrayDepth = 0;

    // Diagnostics.
    std::string strCurrentTypeName;
    bool bError = false;
};
