// Matching one simple value of an answer: fixed text, or candidate lengths tried one character at a time
// (shortest or longest first), each checked against the schema, with an optional numeric look-ahead.
#include "instruments/Xlatrix/XlatrixInternal.h"
#include "instruments/Xlatrix/XlatrixNumbers.h"
#include "instruments/Xlatrix/XlatrixValueInfo.h"
#include "instruments/Xlatrix/XlatrixWalk.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>

namespace {

// Characters that may stand in a number's text. A shortest-first search stops at the first character
// outside these: every longer candidate holds it too and can never be valid.
constexpr std::string_view kDecimalCharacters = "0123456789+-.eEINFaAbBcCdDfF \t\r\n";

// kDecimalCharacters as a table by byte, looked up for every candidate.
constexpr std::array<bool, 256> kInDecimalNumber = [] {
    std::array<bool, 256> table{};
    for (char c : kDecimalCharacters) {
        table[static_cast<unsigned char>(c)] = true;
    }
    return table;
}();

bool MayStandInNumber(char c, int base) {
    if (base != 10) {
        return std::isalnum(static_cast<unsigned char>(c)) || std::strchr("+- \t\r\n", c) != nullptr;
    }
    return kInDecimalNumber[static_cast<unsigned char>(c)];
}

// An index of a level as "%.3d" writes it (indices are never negative): at least three digits.
std::string_view LevelNumberText(int number, char (&digits)[12]) {
    char* end = digits + sizeof digits;
    char* first = end;
    auto value = static_cast<unsigned>(number);
    do {
        *--first = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (end - first < 3) {
        *--first = '0';
    }
    return {first, static_cast<size_t>(end - first)};
}

// Compares two indices of levels as their texts compare (a dot sorts before every digit, so an index whose
// text is the beginning of the other's is the smaller).
int CompareLevelIndices(int a, int b) {
    if (a < 1000 && b < 1000) {
        return a < b ? -1 : 1;
    }
    char left[12];
    char right[12];
    return LevelNumberText(a, left).compare(LevelNumberText(b, right)) < 0 ? -1 : 1;
}

bool EndsWith(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

} // namespace

// The element's reading, from mapValueInfo when an earlier parse worked it out without faults; otherwise
// made afresh into uncached (reporting the faults again) and kept when it turned out complete.
const CXlatrix::ValueInfo& CXlatrix::ValueInfoOf(const vr::xml::SchemaType& type,
                                                 const vr::xml::SchemaElement& element,
                                                 std::unique_ptr<ValueInfo>& uncached) {
    if (element) {
        if (auto found = mapValueInfo.find(element.identity()); found != mapValueInfo.end()) {
            return *found->second;
        }
    }
    uncached = std::make_unique<ValueInfo>();
    ValueInfo& info = *uncached;
    info.type = type;
    info.typeName = xlatrix::Narrow(type.name());
    info.name = element ? xlatrix::Narrow(element.name()) : info.typeName;
    std::string units;
    bool attributesKnown =
        !element || GetExtendedElementAttributes(element, nullptr, &info.base, &units, &info.parsing);
    // An element with annotations that do not belong to parsing matches only through its fixed value.
    info.fixedOnly = !attributesKnown;
    info.rootFound = GetRootType(type, info.root) && xlatrix::IsBuiltInDatatype(info.root.itemType());
    if (info.rootFound) {
        info.rootType = info.root.itemType();
        info.rootName = xlatrix::Narrow(info.root.name());
        info.numeric = IsNumeric(info.rootType);
    }
    if (element) {
        if (std::optional<std::u16string> fixed = element.fixedValue(); fixed && !fixed->empty()) {
            info.fixed = xlatrix::Narrow(*fixed);
        }
    }
    info.atomic = type.variety() == SCHEMATYPEVARIETY_ATOMIC;
    if (type.variety() == SCHEMATYPEVARIETY_UNION && info.rootFound) {
        // A union's value is of any of its member types (a number or a word, say): read as text, which the
        // union's own check then takes or refuses, not as its first member's number.
        info.rootType = SOMITEM_DATATYPE_ANYSIMPLETYPE;
        info.rootName = "anySimpleType";
        info.numeric = false;
    }
    if (info.rootType == SOMITEM_DATATYPE_STRING) {
        std::vector<std::u16string> patterns = type.patterns();
        if (!patterns.empty()) {
            GetTermString(patterns, info.term, info.prefix);
        }
    }
    if (element && attributesKnown && info.rootFound) {
        return *(mapValueInfo[element.identity()] = std::move(uncached));
    }
    return info;
}

// One value at a step of the walk; particle (null for a message type that is itself simple) keeps the
// element's reading once mapValueInfo holds it.
bool CXlatrix::WalkValue(const vr::xml::SchemaType& type, const vr::xml::SchemaElement& element,
                         WalkParticle* particle, int stepId) {
    std::unique_ptr<ValueInfo> uncached;
    const ValueInfo* known = particle != nullptr ? particle->info : nullptr;
    const ValueInfo& info = known != nullptr ? *known : ValueInfoOf(type, element, uncached);
    int nameId = known != nullptr ? particle->nameId : NameId(info.name);
    if (known == nullptr && particle != nullptr && !uncached) {
        particle->info = &info; // kept in mapValueInfo
        particle->nameId = nameId;
        ++walk->compiled;
    }
    const std::string& name = info.name;
    const bool longest = bLongestValueByDefault || info.parsing == poLongestValue;

    WalkStep& step = walk->Step(stepId);
    const bool resume = step.matched;
    const int length = static_cast<int>(strText.size());
    const int start = resume ? step.begin : nPos;
    const int limit = resume ? step.end : (longest ? length + 1 : nPos);

    if (!candidateFound) {
        candidateFound = std::make_unique<Candidate>();
    }
    Candidate& found = *candidateFound;
    found.end = -1;
    bool matched = false;
    if (!info.rootFound) {
        DumpError("Error: CXlatrix::ApplyParseText(): wrong call context.\n");
    } else if (info.fixed) {
        matched = MatchFixedText(name, *info.fixed, start, found);
    } else if (!info.fixedOnly && !bStepLimitHit) {
        static const std::string kNoEntryName;
        matched = FindCandidate(info, element ? name : kNoEntryName, longest, start, limit,
                                FollowOf(particle), found);
    }
    // A resumed value must change its choice.
    if (matched && found.end == limit) {
        matched = false;
    }
    if (!matched) {
        if (resume) {
            if (int& index = walk->valueIndex[static_cast<size_t>(step.nameId)]; index >= 0) {
                --index; // -1: no value of that name left
            }
            step.matched = false;
        }
        nPos = start;
        return false;
    }
    if (!resume) {
        int& index = walk->valueIndex[static_cast<size_t>(nameId)];
        step.index = index + 1;
        index = step.index;
        step.nameId = nameId;
        step.type = info.rootType;
        step.typeNameId = TypeNameId(info);
        step.matched = true;
    }
    step.begin = start;
    step.end = found.end;
    step.value.swap(found.value);
    nPos = found.end;
    NoteFurthestMatch(stepId, found.end);
    return true;
}

// The fixed text, or the element's parse entry value in its place, byte for byte at the start.
bool CXlatrix::MatchFixedText(const std::string& name, const std::string& fixed, int start,
                              Candidate& found) {
    if (!TakeParseStep()) {
        return false;
    }
    std::string entry;
    const std::string& expected = ParseEntryValue(name, entry) ? entry : fixed;
    // Like every value, fixed text is never empty: an empty expected value matches nothing.
    if (expected.empty() || strText.compare(static_cast<size_t>(start), expected.size(), expected) != 0) {
        return false;
    }
    found.end = start + static_cast<int>(expected.size());
    found.value = expected;
    return true;
}

// Candidates grow (shortest first) or shrink (longest first) from the limit one character at a time, and the
// first that is valid (and equal to the parse entry value, when there is one) matches. With the numeric
// look-ahead, see FindLongestNumber.
bool CXlatrix::FindCandidate(const ValueInfo& info, const std::string& entryName, bool longest, int start,
                             int limit, const FollowSet* follow, Candidate& found) {
    const int length = static_cast<int>(strText.size());
    const SOMITEMTYPE rootType = info.rootType;
    const bool numeric = info.numeric;
    const int base = info.base;
    std::string entry;
    const std::string* expected = !entryName.empty() && ParseEntryValue(entryName, entry) ? &entry : nullptr;
    if (numeric && bNumericLookAhead && !longest) {
        return FindLongestNumber(info, expected, start, limit, follow, found);
    }
    const std::string& prefix = info.prefix;
    const std::string& term = info.term;
    // Shortest first with nothing else to test, the candidates that nothing may follow are passed over in a
    // tight loop, each still a step of the parse, as the loop below would pass them over.
    const bool skipByFollow = !longest && follow != nullptr && prefix.empty() && term.empty();
    bool seenValid = false;
    for (int end = limit;;) {
        end += longest ? -1 : 1;
        while (skipByFollow && end <= length && (!numeric || MayStandInNumber(strText[end - 1], base)) &&
               !follow->Allows(strText, end)) {
            if (!TakeParseStep()) {
                return false;
            }
            bFollowSkipped = true;
            ++end;
        }
        if (end <= start || end > length || !TakeParseStep()) {
            return false;
        }
        std::string_view candidate(strText.data() + start, static_cast<size_t>(end - start));
        if (!prefix.empty() && candidate.substr(0, prefix.size()) != prefix) {
            // Shortest first, the text already differs from the prefix; longest first, it has become too
            // short.
            if (longest ? candidate.size() < prefix.size() : candidate.size() >= prefix.size()) {
                return false;
            }
            continue;
        }
        if (numeric && !longest && !MayStandInNumber(candidate.back(), base)) {
            return false;
        }
        if (!term.empty() && !EndsWith(candidate, term)) {
            continue;
        }
        if (follow != nullptr && !follow->Allows(strText, end)) {
            bFollowSkipped = true;
            continue; // no reading goes on from here
        }
        found.end = end;
        if (CheckCandidate(info, candidate, found.value)) {
            if (IsExpectedValue(rootType, expected, found)) {
                return true;
            }
            seenValid = true;
        } else if (seenValid && numeric && std::strchr("eE+-", candidate.back()) == nullptr) {
            return false; // past an invalid character a number does not become valid again
        }
    }
}

// The numeric look-ahead prefers the longest number: from the start, candidates grow as long as they are
// valid numbers or may still become one (after an exponent mark or a sign); the longest valid one matches
// first, also when the answer ends there. A resumed search gives the next shorter valid one, so that text the
// number took (trailing blanks, say) can still go to the elements after it. Each reading is shorter than the
// one before, so the search always ends.
bool CXlatrix::FindLongestNumber(const ValueInfo& info, const std::string* expected, int start, int limit,
                                 const FollowSet* follow, Candidate& found) {
    const int base = info.base;
    const int length = static_cast<int>(strText.size());
    int top = limit - 1;
    if (limit == start) {
        top = -1;
        for (int end = start + 1; end <= length && TakeParseStep(); ++end) {
            std::string_view candidate(strText.data() + start, static_cast<size_t>(end - start));
            if (!MayStandInNumber(candidate.back(), base)) {
                break;
            }
            std::string value;
            if (CheckCandidate(info, candidate, value)) {
                top = end;
            } else if (top >= 0 && std::strchr("eE+-", candidate.back()) == nullptr) {
                break;
            }
        }
    }
    for (int end = top; end > start && TakeParseStep(); --end) {
        if (follow != nullptr && !follow->Allows(strText, end)) {
            bFollowSkipped = true;
            continue; // no reading goes on from here
        }
        Candidate current{end, {}};
        std::string_view candidate(strText.data() + start, static_cast<size_t>(end - start));
        if (CheckCandidate(info, candidate, current.value) &&
            IsExpectedValue(info.rootType, expected, current)) {
            found = std::move(current);
            return true;
        }
    }
    return false;
}

bool CXlatrix::IsExpectedValue(SOMITEMTYPE rootType, const std::string* expected,
                               const Candidate& candidate) {
    return expected == nullptr || IsParamValueEqual(rootType, *expected, candidate.value);
}

// A number in another base must convert whole and keep the type's range facets; its value is then plain
// decimal text. Every other candidate must be valid for the type as it stands.
bool CXlatrix::CheckCandidate(const ValueInfo& info, std::string_view candidate, std::string& value) {
    const vr::xml::SchemaType& type = info.type;
    const int base = info.base;
    if (!info.numeric || base == 10) {
        // The lexical test first: cheaper, and stricter where the schema check is lenient. A floating type's
        // schema check makes that same test itself ("1e" is no double), so its candidates go there at once.
        const bool floating =
            info.rootType == SOMITEM_DATATYPE_DOUBLE || info.rootType == SOMITEM_DATATYPE_FLOAT;
        if (info.atomic && !floating && !xlatrix::MayBeLexicallyValid(info.rootType, candidate)) {
            return false;
        }
        if (type.isValid(WideCandidate(candidate)) != S_OK) {
            return false;
        }
        value.assign(candidate);
        return true;
    }
    std::string number = xlatrix::Trimmed(candidate);
    if (number.empty()) {
        return false;
    }
    xlatrix::NumberReading reading = xlatrix::ReadNumber(number, base);
    if (reading.overflow || reading.used == 0 ||
        !xlatrix::WithoutBlanks(std::string_view(number).substr(reading.used)).empty()) {
        return false;
    }
    if (!InRangeFacets(type, reading.value)) {
        return false;
    }
    value = reading.decimal;
    // The decimal value must lie in the type's own range too ("1FFFFFFFF" is no unsignedInt); hexBinary's
    // lexical space is hexadecimal text, so its decimal rendering is not checked against it.
    return info.rootType == SOMITEM_DATATYPE_HEXBINARY || type.isValid(WideCandidate(value)) == S_OK;
}

bool CXlatrix::InRangeFacets(const vr::xml::SchemaType& type, double number) {
    auto bound = [&](const std::optional<std::u16string>& facet, double& limit) {
        return !facet || GetNumber(xlatrix::Narrow(*facet).c_str(), limit, 0, true, true);
    };
    double minInclusive = 0, maxInclusive = 0, minExclusive = 0, maxExclusive = 0;
    std::optional<std::u16string> facets[] = {type.minInclusive(), type.maxInclusive(), type.minExclusive(),
                                              type.maxExclusive()};
    if (!bound(facets[0], minInclusive) || !bound(facets[1], maxInclusive) ||
        !bound(facets[2], minExclusive) || !bound(facets[3], maxExclusive)) {
        return false;
    }
    return (!facets[0] || number >= minInclusive) && (!facets[1] || number <= maxInclusive) &&
           (!facets[2] || number > minExclusive) && (!facets[3] || number < maxExclusive);
}

bool CXlatrix::ParseEntryValue(const std::string& name, std::string& value) {
    if (arrParseEntryParamValues.empty()) {
        return false;
    }
    std::string key = name;
    return GetParamValue(arrParseEntryParamValues, key, nullptr, nullptr, &value, 0, false, true);
}

bool CXlatrix::TakeParseStep() {
    if (++nParseSteps > nParseStepLimit) {
        bStepLimitHit = true;
        return false;
    }
    return true;
}

// The failure position follows the match that reaches furthest into the answer, unless it lies at a
// shallower or earlier place of the walk than the furthest one so far. The place is the match's level: the
// item and occurrence indices of its path, which compare as their text would, each index written with at
// least three digits and joined by dots: a longer text is deeper, and of texts of one length the greater is
// later.
void CXlatrix::NoteFurthestMatch(int stepId, int end) {
    if (end <= nFurthestPos) {
        return;
    }
    const WalkStep& step = walk->Step(stepId);
    // The levels are compared only where their lengths and places do not decide.
    bool later = nFurthestStep < 0 || stepId == nFurthestStep || step.levelSize > nFurthestLevelSize ||
                 CompareStepLevels(stepId, nFurthestStep) >= 0;
    if (later) {
        nFurthestPos = end;
        nFurthestStep = stepId;
        nFurthestLevelSize = step.levelSize;
    }
}

// Compares the levels of two steps as their texts compare, index by index from the root (and where one is
// the beginning of the other, the shorter is the smaller), without writing them out. Below their deepest
// common step the paths go on by different children, which are items or occurrences (a step's children are
// of one kind, and content has one child), so their indices are the first to differ. Where one step lies on
// the other's path, its level is the beginning of the other's: the same when no index comes between them
// (the level's text is no longer), else the shorter.
int CXlatrix::CompareStepLevels(int a, int b) const {
    int x = a;
    int y = b;
    int belowX = -1;
    int belowY = -1;
    while (walk->Step(x).depth > walk->Step(y).depth) {
        belowX = x;
        x = walk->Step(x).parent;
    }
    while (walk->Step(y).depth > walk->Step(x).depth) {
        belowY = y;
        y = walk->Step(y).parent;
    }
    while (x != y) {
        belowX = x;
        x = walk->Step(x).parent;
        belowY = y;
        y = walk->Step(y).parent;
    }
    if (belowX < 0 || belowY < 0) {
        uint32_t sizeA = walk->Step(a).levelSize;
        uint32_t sizeB = walk->Step(b).levelSize;
        return sizeA == sizeB ? 0 : (sizeA < sizeB ? -1 : 1);
    }
    return CompareLevelIndices(walk->Step(belowX).slot, walk->Step(belowY).slot);
}

// The candidate's text as the schema check takes it, in a buffer kept from candidate to candidate.
std::u16string_view CXlatrix::WideCandidate(std::string_view candidate) {
    strWideCandidate.resize(candidate.size());
    for (size_t i = 0; i < candidate.size(); ++i) {
        strWideCandidate[i] = static_cast<unsigned char>(candidate[i]);
    }
    return strWideCandidate;
}
