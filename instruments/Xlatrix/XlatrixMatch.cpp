// Matching one simple value of an answer: fixed text, or candidate lengths tried one character at a time
// (shortest or longest first), each checked against the schema, with an optional numeric look-ahead.
#include "instruments/Xlatrix/Xlatrix.h"
#include "instruments/Xlatrix/XlatrixInternal.h"
#include "instruments/Xlatrix/XlatrixNumbers.h"
#include "instruments/Xlatrix/XlatrixValueInfo.h"

#include <cctype>
#include <cstring>

struct CXlatrix::Candidate {
    int end = -1;
    std::string value;
};

namespace {

// Characters that may stand in a number's text. A shortest-first search stops at the first character
// outside these: every longer candidate holds it too and can never be valid.
constexpr std::string_view kDecimalCharacters = "0123456789+-.eEINFaAbBcCdDfF \t\r\n";

bool MayStandInNumber(char c, int base) {
    if (base != 10) {
        return std::isalnum(static_cast<unsigned char>(c)) || std::strchr("+- \t\r\n", c) != nullptr;
    }
    return kDecimalCharacters.find(c) != std::string_view::npos;
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

bool CXlatrix::ApplyParseText(const vr::xml::SchemaType& type, int32_t, const vr::xml::SchemaElement& element,
                              const char* path) {
    std::unique_ptr<ValueInfo> uncached;
    const ValueInfo& info = ValueInfoOf(type, element, uncached);
    const std::string& name = info.name;
    const std::string key = element ? std::string(path) : std::string(path) + "/" + info.typeName;
    const bool longest = bLongestValueByDefault || info.parsing == poLongestValue;

    auto record = mapMatches.find(key);
    const bool resume = record != mapMatches.end();
    const int length = static_cast<int>(strText.size());
    const int start = resume ? record->second.nBegin : nPos;
    const int limit = resume ? record->second.nEnd : (longest ? length + 1 : nPos);

    Candidate found;
    bool matched = false;
    if (!info.rootFound) {
        DumpError("Error: CXlatrix::ApplyParseText(): wrong call context.\n");
    } else if (info.fixed) {
        matched = MatchFixedText(name, *info.fixed, start, found);
    } else if (!info.fixedOnly && !bStepLimitHit) {
        matched = FindCandidate(info, element ? name : std::string(), longest, start, limit, found);
    }
    // A resumed value must change its choice.
    if (matched && found.end == limit) {
        matched = false;
    }
    if (!matched) {
        if (resume) {
            if (auto index = mapValueIndex.find(record->second.strName);
                index != mapValueIndex.end() && --index->second < 0) {
                mapValueIndex.erase(index);
            }
            mapMatches.erase(record);
        }
        nPos = start;
        return false;
    }
    MatchRecord& match = resume ? record->second : mapMatches[key];
    if (!resume) {
        auto index = mapValueIndex.find(name);
        match.nIndex = index == mapValueIndex.end() ? 0 : index->second + 1;
        mapValueIndex[name] = match.nIndex;
        match.strName = name;
        match.type = info.rootType;
        match.strTypeName = info.rootName;
    }
    match.nBegin = start;
    match.nEnd = found.end;
    match.strValue = std::move(found.value);
    nPos = found.end;
    NoteFurthestMatch(key, found.end);
    return true;
}

// The fixed text, or the element's parse entry value in its place, byte for byte at the start.
bool CXlatrix::MatchFixedText(const std::string& name, const std::string& fixed, int start,
                              Candidate& found) {
    if (!TakeParseStep()) {
        return false;
    }
    std::string expected = fixed;
    std::string entry;
    if (ParseEntryValue(name, entry)) {
        expected = entry;
    }
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
                             int limit, Candidate& found) {
    const int length = static_cast<int>(strText.size());
    const SOMITEMTYPE rootType = info.rootType;
    const bool numeric = info.numeric;
    const int base = info.base;
    std::string entry;
    const std::string* expected = !entryName.empty() && ParseEntryValue(entryName, entry) ? &entry : nullptr;
    if (numeric && bNumericLookAhead && !longest) {
        return FindLongestNumber(info, expected, start, limit, found);
    }
    const std::string& prefix = info.prefix;
    const std::string& term = info.term;
    bool seenValid = false;
    for (int end = limit;;) {
        end += longest ? -1 : 1;
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
        Candidate current{end, {}};
        if (CheckCandidate(info, candidate, current.value)) {
            if (IsExpectedValue(rootType, expected, current)) {
                found = std::move(current);
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
                                 Candidate& found) {
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
        value.assign(candidate);
        // The lexical test first: cheaper, and stricter where the schema check is lenient ("1e" as a double).
        if (info.atomic && !xlatrix::MayBeLexicallyValid(info.rootType, candidate)) {
            return false;
        }
        return type.isValid(xlatrix::Wide(candidate)) == S_OK;
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
    return info.rootType == SOMITEM_DATATYPE_HEXBINARY || type.isValid(xlatrix::Wide(value)) == S_OK;
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
// shallower or earlier place of the walk than the furthest one so far.
void CXlatrix::NoteFurthestMatch(const std::string& key, int end) {
    if (end <= nFurthestPos) {
        return;
    }
    std::string level;
    GetNestedLevel(key, level);
    if (level.size() > strFurthestLevel.size() || level >= strFurthestLevel) {
        nFurthestPos = end;
        strFurthestLevel = level;
    }
}
