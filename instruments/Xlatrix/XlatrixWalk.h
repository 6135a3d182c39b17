// The compiled parse walk: a message type's content model made once into nodes that hold what the walk asks
// of the schema (occurrence bounds, sequence items, element kinds, value readings), and the state of one
// parse as numbered step records, reused from parse to parse.
//
// A step record stands for one resumable step of the walk at one place of the content model: the occurrences
// of a particle, one occurrence of a sequence, or one value. Its place is its parent step and its slot there
// (occurrence or item index), so the path that names it (the key of its match record, the text of an error)
// is made from the chain of parents only when a result or an error text needs it. Records are never taken
// back during a parse: a step that fails only forgets its state, as the walk expects of a step asked again.
//
// Threads: a WalkState belongs to its CXlatrix object and is used by the object's one thread.
#pragma once

#include "instruments/Xlatrix/Xlatrix.h"

#include <bitset>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// A value match being sought: where it ends and its value.
struct CXlatrix::Candidate {
    int end = -1;
    std::string value;
};

// The bytes that may come right after a value in some reading of its message type; the bit kAnswerEnd stands
// for the end of the answer (see XlatrixFollow.cpp).
struct CXlatrix::FollowSet {
    static constexpr size_t kAnswerEnd = 256;
    std::bitset<257> bytes;

    static FollowSet Anything() {
        FollowSet set;
        set.bytes.set();
        return set;
    }
    bool Allows(std::string_view text, int end) const {
        return bytes.test(static_cast<size_t>(end) < text.size() ? static_cast<unsigned char>(text[end])
                                                                 : kAnswerEnd);
    }
};

// A particle of a content model: a model group or an element, with its occurrence bounds.
struct CXlatrix::WalkParticle {
    enum class Kind { kGroup, kElement, kAny, kUnexpected };
    enum class ElementKind { kUnknown, kValue, kReference, kComplex, kUnexpected };

    Kind kind = Kind::kUnexpected;
    SOMITEMTYPE itemType = SOMITEM_NULL; // the item's, for the report of an unexpected one
    int32_t minOccurs = 1;
    int32_t maxOccurs = 1;
    // What the particle adds to its step's path: "/group", "(name)", or "/T/group" for a type's content.
    std::string suffix;

    // kGroup: the group and, once walked, its items when it is a sequence.
    vr::xml::SchemaModelGroup group;
    bool itemsMade = false;
    bool sequence = false;
    SOMITEMTYPE groupType = SOMITEM_NULL;
    std::vector<std::unique_ptr<WalkParticle>> items;

    // kElement: the element and, once walked, what its type makes of it.
    vr::xml::SchemaElement element;
    std::string name;
    ElementKind elementKind = ElementKind::kUnknown;
    vr::xml::SchemaType type;
    SOMITEMTYPE typeItemType = SOMITEM_NULL;
    WalkComplex* complex = nullptr;
    // The value reading, once mapValueInfo keeps it (an element with faults is read afresh on every parse),
    // and the id of its name.
    const ValueInfo* info = nullptr;
    int nameId = -1;
    // What composing a value element reads of the schema, once read without faults: the root type, the
    // "format" annotation, the fixed (when not empty) and default values.
    bool composeKnown = false;
    vr::xml::SchemaType composeRoot;
    std::string format;
    std::optional<std::string> fixed;
    std::optional<std::string> byDefault;

    // kElement with a value: what may follow it in its message type, worked out for followRoot in its
    // computation followStamp; a particle that two message types share never prunes (followShared).
    FollowSet follow;
    const WalkRoot* followRoot = nullptr;
    int followStamp = -1;
    bool followShared = false;
};

// A complex type: its content model's occurrences, walked below its owner's step.
struct CXlatrix::WalkComplex {
    bool elementOnly = false;
    SCHEMACONTENTTYPE contentType = SCHEMACONTENTTYPE_EMPTY;
    std::unique_ptr<WalkParticle> content;
};

// The message type a Parse starts from.
struct CXlatrix::WalkRoot {
    enum class Kind { kAnyType, kComplex, kValue, kUnrecognized };
    Kind kind = Kind::kUnrecognized;
    vr::xml::SchemaType type;
    SOMITEMTYPE itemType = SOMITEM_NULL;
    std::string key; // "/T": the path of a value type's match
    WalkComplex* complex = nullptr;

    // The last computation of its values' follow sets, and how much of the walk was compiled then
    // (WalkState::compiled); followOff when the content model is recursive.
    int followStamp = -1;
    int64_t followCompiled = -1;
    bool followOff = false;
};

// One step's state; the fields a kind of step does not use stay untouched. A long answer's parse makes
// several records per value, so the record is kept small: narrow fields first, a type name by its id.
struct CXlatrix::WalkStep {
    // How the step's place extends its parent's path (before the suffix).
    enum Segment : uint8_t { kRoot, kContent, kItem, kOccurrence };

    int parent = -1;
    int slot = 0;
    uint32_t levelSize = 0; // the length of its level's text (see NoteFurthestMatch)
    uint32_t depth = 0;     // the number of its ancestors
    Segment segment = kRoot;
    // Occurrences and sequences: whether the step holds a reading and where it began (below).
    bool present = false;
    bool hasStart = false;
    // A value: whether it holds a match (below).
    bool matched = false;
    const std::string* suffix = nullptr;
    std::vector<int> children; // by slot; -1 where none was made yet

    // Occurrences and sequences: where the reading began, the start of each occurrence taken, the last item
    // of a sequence's reading (-1 for an empty sequence).
    int start = 0;
    int last = 0;
    std::vector<int> starts;

    // A value: its match; its root type's name is WalkState::typeNames[typeNameId].
    int begin = 0;
    int end = 0;
    int nameId = -1;
    int index = 0;
    SOMITEMTYPE type = SOMITEM_NULL;
    int typeNameId = -1;
    std::string value;
};

struct CXlatrix::WalkState {
    struct NameHash {
        using is_transparent = void;
        size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
    };
    template <class Value>
    using NameMap = std::unordered_map<std::string, Value, NameHash, std::equal_to<>>;

    // The compiled walks, by type name and complex type; dropped with the schema.
    NameMap<std::unique_ptr<WalkRoot>> roots;
    std::unordered_map<const void*, std::unique_ptr<WalkComplex>> complexes;
    // Grows with every part of a walk compiled (items, element kinds, value readings), so that follow sets
    // are worked out again only when the walk has changed; and the number of the last such computation.
    int64_t compiled = 0;
    int followStamps = 0;

    // Names of value elements by id, and the index of each name's last value in the current parse (-1: none).
    NameMap<int> nameIds;
    std::vector<std::string> names;
    // The root type names of value matches by id.
    NameMap<int> typeNameIds;
    std::vector<std::string> typeNames;
    std::vector<int> valueIndex;
    // The index of each name's entry in arrReturnedParamValues while a parse returns its values (-1: none
    // yet).
    std::vector<int> returnedEntry;
    // The matches a parse returns, in the order of the answer; kept for its buffer.
    std::vector<const WalkStep*> published;

    // The step records, in blocks of kStepBlock; the first stepsUsed belong to the current parse. A block is
    // allocated once, so that references to its records stay valid while the walk adds more, and kept with
    // their buffers for the next parse; records made one after the other lie side by side.
    static constexpr int kStepBlockBits = 8;
    static constexpr int kStepBlock = 1 << kStepBlockBits;
    std::vector<std::unique_ptr<WalkStep[]>> stepBlocks;
    int stepsUsed = 0;

    WalkStep& Step(int id) {
        return stepBlocks[static_cast<size_t>(id >> kStepBlockBits)][id & (kStepBlock - 1)];
    }
    const WalkStep& Step(int id) const {
        return stepBlocks[static_cast<size_t>(id >> kStepBlockBits)][id & (kStepBlock - 1)];
    }
};
