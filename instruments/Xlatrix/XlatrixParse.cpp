// Parsing an answer: the walk over a type's content model with backtracking through sequences and
// occurrences until a reading consumes the whole answer, then the values it matched.
//
// Every step is resumable. Called for a path the first time, it finds its first reading of the text from
// nPos; called again for the same path, it changes its choice and gives its next reading, or fails when it
// has none left. A step that fails has forgotten its state and put nPos back where it began, so an enclosing
// step can go on with its own next choice. The state lives in mapOccurrences (occurrence counts, and the last
// particle of each sequence occurrence), mapMatches (simple values), mapStartPos (where each step began) and
// mapOccurrenceStarts (where each occurrence of a repetition began).
#include "instruments/Xlatrix/Xlatrix.h"
#include "instruments/Xlatrix/XlatrixGuard.h"
#include "instruments/Xlatrix/XlatrixInternal.h"
#include "instruments/Xlatrix/XlatrixValueInfo.h"

#include <algorithm>

namespace {

// The particle list of a group occurrence: its path with "/group" replaced by "/sequence".
std::string SequencePath(const std::string& occurrencePath) {
    std::string path = occurrencePath;
    constexpr std::string_view from = "/group";
    constexpr std::string_view to = "/sequence";
    for (size_t at = path.find(from); at != std::string::npos; at = path.find(from, at + to.size())) {
        path.replace(at, from.size(), to);
    }
    return path;
}

// Empties a map of the parse state. clear() zeroes every bucket, which costs more than the few entries of a
// short answer's parse, so those are erased one by one.
template <class Map>
void EmptyParseMap(Map& map) {
    if (map.size() * 8 < map.bucket_count()) {
        for (auto entry = map.begin(); entry != map.end();) {
            entry = map.erase(entry);
        }
    } else {
        map.clear();
    }
}

} // namespace

bool CXlatrix::Parse(const char* typeName, const char* text) {
    return Guarded([&] {
        if (!RequireSchema()) {
            return false;
        }
        ResetParseState(text);
        vr::xml::SchemaType type = FindType(typeName);
        strCurrentTypeName = xlatrix::Narrow(typeName);
        // Each further pass asks the walk for its next reading, until one consumes the whole answer. Once the
        // step limit is reached no reading counts: the walk stops half-way through its choices.
        while (ParseSchemaType(type) && !bStepLimitHit) {
            if (IsParsedTextFinished()) {
                PublishMatches();
                return true;
            }
        }
        if (bStepLimitHit) {
            DumpError("CXlatrix::Parse(): The answer needs more than %lld matching steps; parsing stopped.\n",
                      static_cast<long long>(nParseStepLimit));
        }
        nFailurePos = nFurthestPos;
        strParsedText = strText.substr(0, static_cast<size_t>(nFurthestPos));
        strUnparsedText = strText.substr(static_cast<size_t>(nFurthestPos));
        return false;
    });
}

void CXlatrix::ResetParseState(const char* text) {
    bError = false;
    strErrorText.clear();
    EmptyParseMap(mapMatches);
    EmptyParseMap(mapOccurrences);
    EmptyParseMap(mapValueIndex);
    EmptyParseMap(mapStartPos);
    EmptyParseMap(mapOccurrenceStarts);
    strText = xlatrix::Narrow(text);
    nPos = 0;
    nFurthestPos = 0;
    strFurthestLevel.clear();
    nFailurePos = -1;
    nParseSteps = 0;
    nParseStepLimit = kParseStepsBase + kParseStepsPerCharacter * static_cast<int64_t>(strText.size());
    bStepLimitHit = false;
    strParsedText.clear();
    strUnparsedText.clear();
}

bool CXlatrix::IsParsedTextFinished() {
    return nPos >= static_cast<int>(strText.size());
}

bool CXlatrix::ParseSchemaType(const vr::xml::SchemaType& type) {
    SOMITEMTYPE itemType = type.itemType();
    if (itemType == SOMITEM_ANYTYPE) {
        // Matches nothing, once.
        const std::string key = "/" + xlatrix::Narrow(type.name());
        if (mapOccurrences.erase(key) != 0) {
            return false;
        }
        mapOccurrences[key] = 0;
        return true;
    }
    if (itemType == SOMITEM_COMPLEXTYPE) {
        return ParseISchemaComplexType(type.AsComplexType(), "");
    }
    if (xlatrix::IsBuiltInDatatype(itemType) || itemType == SOMITEM_SIMPLETYPE) {
        return ApplyParseText(type, 0, vr::xml::SchemaElement(), "");
    }
    DumpError("ParseSchemaType: Unrecognized pSchemaType->itemType = '%s'.\n",
              xlatrix::ItemTypeName(itemType).c_str());
    return false;
}

bool CXlatrix::ParseISchemaComplexType(const vr::xml::SchemaComplexType& type, const char* path) {
    SCHEMACONTENTTYPE contentType = type.contentType();
    if (!xlatrix::IsElementOrMixed(contentType)) {
        DumpError("CXlatrix::ParseISchemaComplexType(): Unexpected contentType = '%s'.\n",
                  xlatrix::ContentTypeName(contentType).c_str());
        return false;
    }
    std::string typePath = std::string(path) + "/" + xlatrix::Narrow(type.name());
    return ParseISchemaModelGroup(type.contentModel(), typePath.c_str());
}

bool CXlatrix::ParseISchemaModelGroup(const vr::xml::SchemaModelGroup& group, const char* path) {
    return ParseOccurrences(group, std::string(path) + "/group", &CXlatrix::ParseGroupOccurrence);
}

bool CXlatrix::ParseISchemaElement(const vr::xml::SchemaElement& element, const char* path) {
    std::string key = std::string(path) + "(" + xlatrix::Narrow(element.name()) + ")";
    return ParseOccurrences(element, key, &CXlatrix::ParseElementOccurrence);
}

// Occurrences are taken greedily, as many as match up to maxOccurs. The next reading changes the last
// occurrence; when that one has no other reading, the repetition ends one occurrence earlier (when that
// still meets minOccurs), and the next reading after that changes the occurrence before it. An occurrence
// beyond minOccurs never matches empty text: such a reading would repeat for ever, so the occurrence is
// asked for its next reading instead.
bool CXlatrix::ParseOccurrences(const vr::xml::SchemaParticle& particle, const std::string& key,
                                ParseStep parseOne) {
    const int32_t minOccurs = particle.minOccurs();
    const int32_t maxOccurs = particle.maxOccurs();
    auto occurrencePath = [&](int32_t index) { return key + "[" + std::to_string(index) + "]"; };
    // Each occurrence tried counts as a step, so that even empty ones cannot repeat without end.
    auto nextReading = [&](int32_t index, int start) {
        while (TakeParseStep() && (this->*parseOne)(particle, occurrencePath(index), index + 1)) {
            if (nPos != start || index < minOccurs) {
                return true;
            }
        }
        return false;
    };
    std::vector<int>& starts = mapOccurrenceStarts[key];
    auto state = mapOccurrences.find(key);
    bool extend = state == mapOccurrences.end();
    if (extend) {
        mapStartPos[key] = nPos;
        starts.clear();
    }
    for (;;) {
        if (extend) {
            while (xlatrix::BelowMax(static_cast<int32_t>(starts.size()), maxOccurs) && !bStepLimitHit) {
                int start = nPos;
                if (!nextReading(static_cast<int32_t>(starts.size()), start)) {
                    break;
                }
                starts.push_back(start);
            }
            if (static_cast<int32_t>(starts.size()) >= minOccurs) {
                mapOccurrences[key] = static_cast<int>(starts.size());
                return true;
            }
        }
        extend = true;
        for (;;) {
            if (starts.empty() || bStepLimitHit) {
                return FailStep(key);
            }
            int32_t last = static_cast<int32_t>(starts.size()) - 1;
            if (nextReading(last, starts.back())) {
                break;
            }
            starts.pop_back();
            if (static_cast<int32_t>(starts.size()) >= minOccurs) {
                mapOccurrences[key] = static_cast<int>(starts.size());
                return true;
            }
        }
    }
}

// One occurrence of a sequence: its particles in order; a particle that fails sends the walk back to the one
// before it, which gives its next reading.
bool CXlatrix::ParseGroupOccurrence(const vr::xml::SchemaParticle& particle, const std::string& path,
                                    int32_t) {
    vr::xml::SchemaModelGroup group = particle.AsModelGroup();
    if (group.itemType() != SOMITEM_SEQUENCE) {
        DumpError("CXlatrix::ParseISchemaModelGroup(): Unexpected itemType = '%s'.\n",
                  xlatrix::ItemTypeName(group.itemType()).c_str());
        return false;
    }
    const std::string key = SequencePath(path);
    vr::xml::SchemaItemCollection particles = group.particles();
    const int32_t total = particles.length();
    int32_t n = 0;
    auto state = mapOccurrences.find(key);
    if (state == mapOccurrences.end()) {
        mapStartPos[key] = nPos;
        if (total == 0) {
            mapOccurrences[key] = -1; // an empty sequence has one reading
            return true;
        }
    } else {
        n = state->second;
        if (n < 0) {
            return FailStep(key);
        }
    }
    for (;;) {
        if (bStepLimitHit) {
            return FailStep(key);
        }
        if (ParseParticle(particles.item(n), path + "/item[" + std::to_string(n) + "]")) {
            if (++n == total) {
                mapOccurrences[key] = total - 1;
                return true;
            }
        } else if (n-- == 0) {
            return FailStep(key);
        }
    }
}

bool CXlatrix::ParseParticle(const vr::xml::SchemaItem& particle, const std::string& path) {
    SOMITEMTYPE itemType = particle.itemType();
    if (itemType == SOMITEM_ELEMENT) {
        return ParseISchemaElement(particle.AsElement(), path.c_str());
    }
    if (xlatrix::IsModelGroup(itemType)) {
        return ParseISchemaModelGroup(particle.AsModelGroup(), path.c_str());
    }
    if (itemType == SOMITEM_ANY) {
        DumpError("CXlatrix::ParseISchemaModelGroup(): itemType == MSXML2::SOMITEM_ANY for '%s'.\n",
                  path.c_str());
    } else {
        DumpError("CXlatrix::ParseISchemaModelGroup(): Unexpected itemType = '%s' for '%s'.\n",
                  xlatrix::ItemTypeName(itemType).c_str(), path.c_str());
    }
    return false;
}

bool CXlatrix::ParseElementOccurrence(const vr::xml::SchemaParticle& particle, const std::string& path,
                                      int32_t occurrence) {
    vr::xml::SchemaElement element = particle.AsElement();
    // A value element read before: no reference, a built-in datatype at its root.
    if (auto known = mapValueInfo.find(element.identity()); known != mapValueInfo.end()) {
        return ApplyParseText(known->second->type, occurrence, element, path.c_str());
    }
    if (element.isReference()) {
        DumpError("CXlatrix::ParseISchemaElement(): pSchemaElement->isReference != VARIANT_FALSE.\n");
        return false;
    }
    vr::xml::SchemaType type = element.type();
    vr::xml::SchemaType root;
    if (GetRootType(type, root) && xlatrix::IsBuiltInDatatype(root.itemType())) {
        return ApplyParseText(type, occurrence, element, path.c_str());
    }
    if (type.itemType() == SOMITEM_COMPLEXTYPE) {
        return ParseISchemaComplexType(type.AsComplexType(), path.c_str());
    }
    DumpError("CXlatrix::ParseISchemaElement(): Unexpected itemType = '%s'.\n",
              xlatrix::ItemTypeName(type.itemType()).c_str());
    return false;
}

bool CXlatrix::FailStep(const std::string& key) {
    if (auto start = mapStartPos.find(key); start != mapStartPos.end()) {
        nPos = start->second;
        mapStartPos.erase(start);
    }
    mapOccurrences.erase(key);
    mapOccurrenceStarts.erase(key);
    return false;
}

// The values of the accepted reading, in the order of the answer. Names beginning with "_" (keys, gaps,
// terminators) are structure, not values.
void CXlatrix::PublishMatches() {
    std::vector<const MatchRecord*> records;
    for (const auto& [path, record] : mapMatches) {
        if (record.strName.empty() || record.strName[0] != '_') {
            records.push_back(&record);
        }
    }
    std::sort(records.begin(), records.end(), [](const MatchRecord* a, const MatchRecord* b) {
        return a->nBegin != b->nBegin ? a->nBegin < b->nBegin : a->nEnd < b->nEnd;
    });
    for (const MatchRecord* record : records) {
        std::string value = record->strValue.empty()
                                ? strText.substr(static_cast<size_t>(record->nBegin),
                                                 static_cast<size_t>(record->nEnd - record->nBegin))
                                : record->strValue;
        NormalizeParamValue(record->type, value);
        SetParamValue(arrReturnedParamValues, record->type, record->strTypeName.c_str(),
                      record->strName.c_str(), value.c_str(), record->nIndex);
    }
}
