// Parsing an answer: the walk over a type's content model with backtracking through sequences and
// occurrences until a reading consumes the whole answer, then the values it matched.
//
// Every step is resumable. Called for a place the first time, it finds its first reading of the text from
// nPos; called again for the same place, it changes its choice and gives its next reading, or fails when it
// has none left. A step that fails has forgotten its state and put nPos back where it began, so an enclosing
// step can go on with its own next choice. The state lives in the step records of the walk (XlatrixWalk.h):
// occurrence counts and where each occurrence began, the last item of each sequence occurrence, simple
// values. The content model itself is compiled into walk nodes once per message type, as far as a parse has
// reached.
#include "instruments/Xlatrix/XlatrixGuard.h"
#include "instruments/Xlatrix/XlatrixInternal.h"
#include "instruments/Xlatrix/XlatrixValueInfo.h"
#include "instruments/Xlatrix/XlatrixWalk.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

// Empties a map. clear() zeroes every bucket, which costs more than the few entries of a short answer's
// parse, so those are erased one by one.
template <class Map>
void EmptyMap(Map& map) {
    if (map.size() * 8 < map.bucket_count()) {
        for (auto entry = map.begin(); entry != map.end();) {
            entry = map.erase(entry);
        }
    } else {
        map.clear();
    }
}

// Three pieces of a path, joined.
std::string Joined(std::string_view first, std::string_view second, std::string_view third = {}) {
    std::string joined;
    joined.reserve(first.size() + second.size() + third.size());
    joined.append(first).append(second).append(third);
    return joined;
}

// The length of an index in a level's text (see NoteFurthestMatch): at least three digits.
size_t LevelIndexSize(int index) {
    size_t digits = 1;
    for (auto value = static_cast<unsigned>(index); value >= 10; value /= 10) {
        ++digits;
    }
    return std::max<size_t>(digits, 3);
}

void AppendIndex(std::string& text, const char* open, int index, const char* close) {
    char digits[16];
    int count = std::snprintf(digits, sizeof digits, "%d", index);
    text += open;
    text.append(digits, static_cast<size_t>(count));
    text += close;
}

} // namespace

bool CXlatrix::Parse(const char* typeName, const char* text) {
    return Guarded([&] {
        if (!RequireSchema()) {
            return false;
        }
        ResetParseState(text);
        WalkRoot& root = WalkRootOf(typeName);
        strCurrentTypeName.assign(typeName != nullptr ? typeName : "");
        if (root.followCompiled != walk->compiled) {
            MakeFollowSets(root);
        }
        pParseRoot = &root;
        // Parse entry values stand in for fixed texts, which the follow sets do not know.
        bPruneByFollow = !root.followOff && arrParseEntryParamValues.empty();
        bool parsed = WalkAnswer(root);
        if (bFollowSkipped && (!parsed || bError)) {
            bPruneByFollow = false; // the full search reports where and why the answer fails
            ResetParseState(text);
            parsed = WalkAnswer(root);
        }
        if (parsed) {
            PublishMatches();
            return true;
        }
        if (bStepLimitHit) {
            DumpError("CXlatrix::Parse(): The answer needs more than %lld matching steps; parsing stopped.\n",
                      static_cast<long long>(nParseStepLimit));
        }
        nFailurePos = nFurthestPos;
        strParsedText.assign(strText, 0, static_cast<size_t>(nFurthestPos));
        strUnparsedText.assign(strText, static_cast<size_t>(nFurthestPos));
        return false;
    });
}

void CXlatrix::ResetParseState(const char* text) {
    bError = false;
    strErrorText.clear();
    if (!walk) {
        walk = std::make_unique<WalkState>();
    }
    walk->stepsUsed = 0;
    walk->valueIndex.assign(walk->names.size(), -1);
    (void)NewStep(-1, 0, WalkStep::kRoot, nullptr); // step 0, the root; its suffix comes with the type
    bMatchMapStale = true;
    strText.assign(text != nullptr ? text : "");
    nPos = 0;
    nFurthestPos = 0;
    nFurthestStep = -1;
    nFurthestLevelSize = 0;
    nFailurePos = -1;
    nParseSteps = 0;
    nParseStepLimit = kParseStepsBase + kParseStepsPerCharacter * static_cast<int64_t>(strText.size());
    bStepLimitHit = false;
    bFollowSkipped = false;
    strParsedText.clear();
    strUnparsedText.clear();
}

// Each further pass asks the walk for its next reading, until one consumes the whole answer. Once the step
// limit is reached no reading counts: the walk stops half-way through its choices.
bool CXlatrix::WalkAnswer(WalkRoot& root) {
    while (WalkType(root) && !bStepLimitHit) {
        if (IsParsedTextFinished()) {
            return true;
        }
    }
    return false;
}

bool CXlatrix::IsParsedTextFinished() {
    return nPos >= static_cast<int>(strText.size());
}

// ---- The compiled walk ----

CXlatrix::WalkRoot& CXlatrix::WalkRootOf(const char* typeName) {
    std::string_view name = typeName != nullptr ? typeName : "";
    if (auto found = walk->roots.find(name); found != walk->roots.end()) {
        return *found->second;
    }
    vr::xml::SchemaType type = FindType(typeName); // raises for an unknown name, which is not kept
    auto root = std::make_unique<WalkRoot>();
    root->type = type;
    root->itemType = type.itemType();
    if (root->itemType == SOMITEM_ANYTYPE) {
        root->kind = WalkRoot::Kind::kAnyType;
    } else if (root->itemType == SOMITEM_COMPLEXTYPE) {
        root->kind = WalkRoot::Kind::kComplex;
        root->complex = &WalkComplexOf(type.AsComplexType());
    } else if (xlatrix::IsBuiltInDatatype(root->itemType) || root->itemType == SOMITEM_SIMPLETYPE) {
        root->kind = WalkRoot::Kind::kValue;
        root->key = Joined("/", xlatrix::Narrow(type.name()));
    }
    return *(walk->roots[std::string(name)] = std::move(root));
}

// Complex types are compiled once each, also where elements of several places (or of the type itself) use
// them; their content's items are compiled when a walk first reaches them.
CXlatrix::WalkComplex& CXlatrix::WalkComplexOf(const vr::xml::SchemaComplexType& type) {
    std::unique_ptr<WalkComplex>& slot = walk->complexes[type.identity()];
    if (slot) {
        return *slot;
    }
    slot = std::make_unique<WalkComplex>();
    ++walk->compiled;
    WalkComplex& complex = *slot;
    complex.contentType = type.contentType();
    complex.elementOnly = xlatrix::IsElementOrMixed(complex.contentType);
    if (complex.elementOnly) {
        vr::xml::SchemaModelGroup group = type.contentModel();
        complex.content = std::make_unique<WalkParticle>();
        WalkParticle& content = *complex.content;
        content.kind = WalkParticle::Kind::kGroup;
        content.group = group;
        content.minOccurs = group.minOccurs();
        content.maxOccurs = group.maxOccurs();
        content.suffix = Joined("/", xlatrix::Narrow(type.name()), "/group");
    }
    return complex;
}

void CXlatrix::MakeSequenceItems(WalkParticle& group) {
    group.itemsMade = true;
    ++walk->compiled;
    group.groupType = group.group.itemType();
    group.sequence = group.groupType == SOMITEM_SEQUENCE;
    if (!group.sequence) {
        return;
    }
    vr::xml::SchemaItemCollection particles = group.group.particles();
    const int32_t total = particles.length();
    for (int32_t n = 0; n < total; ++n) {
        vr::xml::SchemaItem item = particles.item(n);
        auto made = std::make_unique<WalkParticle>();
        made->itemType = item.itemType();
        if (made->itemType == SOMITEM_ELEMENT) {
            made->kind = WalkParticle::Kind::kElement;
            made->element = item.AsElement();
            made->minOccurs = made->element.minOccurs();
            made->maxOccurs = made->element.maxOccurs();
            made->name = xlatrix::Narrow(made->element.name());
            made->suffix = Joined("(", made->name, ")");
        } else if (xlatrix::IsModelGroup(made->itemType)) {
            made->kind = WalkParticle::Kind::kGroup;
            made->group = item.AsModelGroup();
            made->minOccurs = made->group.minOccurs();
            made->maxOccurs = made->group.maxOccurs();
            made->suffix = "/group";
        } else {
            made->kind =
                made->itemType == SOMITEM_ANY ? WalkParticle::Kind::kAny : WalkParticle::Kind::kUnexpected;
        }
        group.items.push_back(std::move(made));
    }
}

// A value element: no reference, a built-in datatype at its root; otherwise an element of a complex type.
void CXlatrix::MakeElementKind(WalkParticle& particle) {
    using ElementKind = WalkParticle::ElementKind;
    ++walk->compiled;
    const vr::xml::SchemaElement& element = particle.element;
    if (element.isReference()) {
        particle.elementKind = ElementKind::kReference;
        return;
    }
    particle.type = element.type();
    particle.typeItemType = particle.type.itemType();
    vr::xml::SchemaType root;
    if (GetRootType(particle.type, root) && xlatrix::IsBuiltInDatatype(root.itemType())) {
        particle.elementKind = ElementKind::kValue;
    } else if (particle.typeItemType == SOMITEM_COMPLEXTYPE) {
        particle.elementKind = ElementKind::kComplex;
        particle.complex = &WalkComplexOf(particle.type.AsComplexType());
    } else {
        particle.elementKind = ElementKind::kUnexpected;
    }
}

bool CXlatrix::WalkType(WalkRoot& root) {
    WalkStep& step = walk->Step(0);
    switch (root.kind) {
    case WalkRoot::Kind::kAnyType:
        // Matches nothing, once.
        step.present = !step.present;
        return step.present;
    case WalkRoot::Kind::kComplex:
        return WalkComplexContent(*root.complex, 0);
    case WalkRoot::Kind::kValue:
        step.suffix = &root.key;
        return WalkValue(root.type, vr::xml::SchemaElement(), nullptr, 0);
    case WalkRoot::Kind::kUnrecognized:
        break;
    }
    DumpError("ParseSchemaType: Unrecognized pSchemaType->itemType = '%s'.\n",
              xlatrix::ItemTypeName(root.itemType).c_str());
    return false;
}

bool CXlatrix::WalkComplexContent(WalkComplex& complex, int owner) {
    if (!complex.elementOnly) {
        DumpError("CXlatrix::ParseISchemaComplexType(): Unexpected contentType = '%s'.\n",
                  xlatrix::ContentTypeName(complex.contentType).c_str());
        return false;
    }
    WalkParticle& content = *complex.content;
    return WalkOccurrences(content, ChildStep(owner, 0, WalkStep::kContent, &content.suffix));
}

// Occurrences are taken greedily, as many as match up to maxOccurs. The next reading changes the last
// occurrence; when that one has no other reading, the repetition ends one occurrence earlier (when that
// still meets minOccurs), and the next reading after that changes the occurrence before it. An occurrence
// beyond minOccurs never matches empty text: such a reading would repeat for ever, so the occurrence is
// asked for its next reading instead.
bool CXlatrix::WalkOccurrences(WalkParticle& particle, int stepId) {
    const int32_t minOccurs = particle.minOccurs;
    const int32_t maxOccurs = particle.maxOccurs;
    const bool group = particle.kind == WalkParticle::Kind::kGroup;
    // Each occurrence tried counts as a step, so that even empty ones cannot repeat without end.
    auto nextReading = [&](int32_t index, int start) {
        while (TakeParseStep()) {
            int occurrence = ChildStep(stepId, index, WalkStep::kOccurrence, nullptr);
            if (!(group ? WalkSequence(particle, occurrence) : WalkElementOccurrence(particle, occurrence))) {
                break;
            }
            if (nPos != start || index < minOccurs) {
                return true;
            }
        }
        return false;
    };
    WalkStep& step = walk->Step(stepId);
    std::vector<int>& starts = step.starts;
    bool extend = !step.present;
    if (extend) {
        step.start = nPos;
        step.hasStart = true;
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
                step.present = true;
                return true;
            }
        }
        extend = true;
        for (;;) {
            if (starts.empty() || bStepLimitHit) {
                return FailStep(stepId);
            }
            int32_t last = static_cast<int32_t>(starts.size()) - 1;
            if (nextReading(last, starts.back())) {
                break;
            }
            starts.pop_back();
            if (static_cast<int32_t>(starts.size()) >= minOccurs) {
                step.present = true;
                return true;
            }
        }
    }
}

// One occurrence of a sequence: its particles in order; a particle that fails sends the walk back to the one
// before it, which gives its next reading.
bool CXlatrix::WalkSequence(WalkParticle& group, int stepId) {
    if (!group.itemsMade) {
        MakeSequenceItems(group);
    }
    if (!group.sequence) {
        DumpError("CXlatrix::ParseISchemaModelGroup(): Unexpected itemType = '%s'.\n",
                  xlatrix::ItemTypeName(group.groupType).c_str());
        return false;
    }
    WalkStep& step = walk->Step(stepId);
    const int32_t total = static_cast<int32_t>(group.items.size());
    int32_t n = 0;
    if (!step.present) {
        step.start = nPos;
        step.hasStart = true;
        if (total == 0) {
            step.present = true;
            step.last = -1; // an empty sequence has one reading
            return true;
        }
    } else {
        n = step.last;
        if (n < 0) {
            return FailStep(stepId);
        }
    }
    for (;;) {
        if (bStepLimitHit) {
            return FailStep(stepId);
        }
        WalkParticle& item = *group.items[static_cast<size_t>(n)];
        if (WalkItem(item, ChildStep(stepId, n, WalkStep::kItem, &item.suffix))) {
            if (++n == total) {
                step.present = true;
                step.last = total - 1;
                return true;
            }
        } else if (n-- == 0) {
            return FailStep(stepId);
        }
    }
}

bool CXlatrix::WalkItem(WalkParticle& item, int stepId) {
    if (item.kind == WalkParticle::Kind::kElement || item.kind == WalkParticle::Kind::kGroup) {
        return WalkOccurrences(item, stepId);
    }
    std::string path;
    AppendStepPath(stepId, path);
    if (item.kind == WalkParticle::Kind::kAny) {
        DumpError("CXlatrix::ParseISchemaModelGroup(): itemType == MSXML2::SOMITEM_ANY for '%s'.\n",
                  path.c_str());
    } else {
        DumpError("CXlatrix::ParseISchemaModelGroup(): Unexpected itemType = '%s' for '%s'.\n",
                  xlatrix::ItemTypeName(item.itemType).c_str(), path.c_str());
    }
    return false;
}

bool CXlatrix::WalkElementOccurrence(WalkParticle& particle, int stepId) {
    using ElementKind = WalkParticle::ElementKind;
    if (particle.elementKind == ElementKind::kUnknown) {
        MakeElementKind(particle);
    }
    switch (particle.elementKind) {
    case ElementKind::kValue:
        return WalkValue(particle.type, particle.element, &particle, stepId);
    case ElementKind::kComplex:
        return WalkComplexContent(*particle.complex, stepId);
    case ElementKind::kReference:
        DumpError("CXlatrix::ParseISchemaElement(): pSchemaElement->isReference != VARIANT_FALSE.\n");
        return false;
    case ElementKind::kUnknown:
    case ElementKind::kUnexpected:
        break;
    }
    DumpError("CXlatrix::ParseISchemaElement(): Unexpected itemType = '%s'.\n",
              xlatrix::ItemTypeName(particle.typeItemType).c_str());
    return false;
}

bool CXlatrix::FailStep(int stepId) {
    WalkStep& step = walk->Step(stepId);
    if (step.hasStart) {
        nPos = step.start;
        step.hasStart = false;
    }
    step.present = false;
    step.starts.clear();
    return false;
}

// ---- Step records ----

int CXlatrix::NewStep(int parent, int slot, int segment, const std::string* suffix) {
    const int id = walk->stepsUsed++;
    if ((id >> WalkState::kStepBlockBits) == static_cast<int>(walk->stepBlocks.size())) {
        walk->stepBlocks.push_back(std::make_unique<WalkStep[]>(WalkState::kStepBlock));
    }
    WalkStep& step = walk->Step(id);
    step.parent = parent;
    step.slot = slot;
    step.segment = static_cast<WalkStep::Segment>(segment);
    step.suffix = suffix;
    step.levelSize = parent >= 0 ? walk->Step(parent).levelSize : 0;
    step.depth = parent >= 0 ? walk->Step(parent).depth + 1 : 0;
    if (segment == WalkStep::kItem || segment == WalkStep::kOccurrence) {
        step.levelSize += static_cast<uint32_t>(LevelIndexSize(slot)) + (step.levelSize > 0 ? 1 : 0);
    }
    step.children.clear();
    step.present = false;
    step.hasStart = false;
    step.starts.clear();
    step.matched = false;
    return id;
}

// The step at a slot of its parent, the same record every time the walk comes back to that place.
int CXlatrix::ChildStep(int parent, int slot, int segment, const std::string* suffix) {
    std::vector<int>& children = walk->Step(parent).children;
    if (static_cast<size_t>(slot) >= children.size()) {
        children.resize(static_cast<size_t>(slot) + 1, -1);
    }
    if (children[static_cast<size_t>(slot)] < 0) {
        int made = NewStep(parent, slot, segment, suffix);
        walk->Step(parent).children[static_cast<size_t>(slot)] = made;
        return made;
    }
    return children[static_cast<size_t>(slot)];
}

// "/T/group[0]/item[1](name)[2]": the content of type T, its sequence's first occurrence, the item with
// index 1, the element's third occurrence.
void CXlatrix::AppendStepPath(int stepId, std::string& path) const {
    const WalkStep& step = walk->Step(stepId);
    if (step.parent >= 0) {
        AppendStepPath(step.parent, path);
    }
    if (step.segment == WalkStep::kItem) {
        AppendIndex(path, "/item[", step.slot, "]");
    } else if (step.segment == WalkStep::kOccurrence) {
        AppendIndex(path, "[", step.slot, "]");
    }
    if (step.suffix != nullptr) {
        path += *step.suffix;
    }
}

int CXlatrix::TypeNameId(const ValueInfo& info) {
    if (info.rootNameId >= 0) {
        return info.rootNameId;
    }
    auto found = walk->typeNameIds.find(info.rootName);
    if (found == walk->typeNameIds.end()) {
        found = walk->typeNameIds.emplace(info.rootName, static_cast<int>(walk->typeNames.size())).first;
        walk->typeNames.push_back(info.rootName);
    }
    info.rootNameId = found->second;
    return info.rootNameId;
}

int CXlatrix::NameId(const std::string& name) {
    if (auto found = walk->nameIds.find(name); found != walk->nameIds.end()) {
        return found->second;
    }
    int id = static_cast<int>(walk->names.size());
    walk->names.push_back(name);
    walk->valueIndex.push_back(-1);
    walk->nameIds.emplace(name, id);
    return id;
}

// ---- Results ----

// The values of the accepted reading, in the order of the answer. Names beginning with "_" (keys, gaps,
// terminators) are structure, not values.
void CXlatrix::PublishMatches() {
    std::vector<const WalkStep*>& records = walk->published;
    records.clear();
    for (int id = 0; id < walk->stepsUsed; ++id) {
        const WalkStep& step = walk->Step(id);
        if (!step.matched) {
            continue;
        }
        const std::string& name = walk->names[static_cast<size_t>(step.nameId)];
        if (name.empty() || name[0] != '_') {
            records.push_back(&step);
        }
    }
    std::sort(records.begin(), records.end(), [](const WalkStep* a, const WalkStep* b) {
        return a->begin != b->begin ? a->begin < b->begin : a->end < b->end;
    });
    walk->returnedEntry.assign(walk->names.size(), -1);
    std::string value;
    for (const WalkStep* record : records) {
        if (record->value.empty()) {
            value.assign(strText, static_cast<size_t>(record->begin),
                         static_cast<size_t>(record->end - record->begin));
        } else {
            value = record->value;
        }
        NormalizeParamValue(record->type, value);
        ReturnValue(*record, value);
    }
}

// What SetParamValue does with the value, without copying the texts it is given again: the entry of each
// name is looked up once per parse (the values only add entries, so one found stays where it is), and the
// value moves into its place. A value's index is never negative.
void CXlatrix::ReturnValue(const WalkStep& record, std::string& value) {
    value.resize(std::strlen(value.c_str())); // read as C text, like every value set
    NormalizeParamValue(SOMITEM_DATATYPE_STRING, value);
    int& slot = walk->returnedEntry[static_cast<size_t>(record.nameId)];
    if (slot < 0) {
        const std::string& name = walk->names[static_cast<size_t>(record.nameId)];
        auto found = std::find_if(arrReturnedParamValues.begin(), arrReturnedParamValues.end(),
                                  [&](const ParamValue& entry) { return entry.strName == name; });
        if (found == arrReturnedParamValues.end()) {
            arrReturnedParamValues.emplace_back().strName = name;
            found = arrReturnedParamValues.end() - 1;
        }
        slot = static_cast<int>(found - arrReturnedParamValues.begin());
    }
    ParamValue& entry = arrReturnedParamValues[static_cast<size_t>(slot)];
    entry.strTypeName = walk->typeNames[static_cast<size_t>(record.typeNameId)];
    entry.type = record.type;
    const auto index = static_cast<size_t>(record.index);
    if (index >= entry.arrValues.size()) {
        entry.arrValues.resize(index + 1);
    }
    entry.arrValues[index] = std::move(value);
}

void CXlatrix::MakeMatchMap() const {
    if (!bMatchMapStale) {
        return;
    }
    bMatchMapStale = false;
    EmptyMap(mapMatches);
    if (!walk) {
        return;
    }
    for (int id = 0; id < walk->stepsUsed; ++id) {
        const WalkStep& step = walk->Step(id);
        if (!step.matched) {
            continue;
        }
        std::string key;
        AppendStepPath(id, key);
        MatchRecord& record = mapMatches[key];
        record.nBegin = step.begin;
        record.nEnd = step.end;
        record.strName = walk->names[static_cast<size_t>(step.nameId)];
        record.nIndex = step.index;
        record.type = step.type;
        record.strTypeName = walk->typeNames[static_cast<size_t>(step.typeNameId)];
        record.strValue = step.value;
    }
}

const CXlatrix::MatchMap& CXlatrix::GetMatchRecords() const {
    MakeMatchMap();
    return mapMatches;
}
