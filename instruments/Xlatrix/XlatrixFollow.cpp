// Follow sets: for each value of a message type, the bytes that may come right after it in some reading.
//
// Values are tried one candidate length after another, and each candidate that the schema accepts sends the
// walk on through the rest of the content model, which fails at once when the next byte of the answer can
// begin nothing that may follow. Skipping those candidates before their schema check leaves a parse with the
// same reading: a number followed by a terminator is checked once instead of once per character.
//
// The sets are worked out from the compiled walk, as far as it is compiled: a part not compiled yet (or
// faulty, or recursive) may begin with anything, so every set holds at least what may really follow. They
// are worked out again before a parse whenever the walk has grown since. A parse that fails with them (or
// reports an error) is done again without them, so that its failure position and texts are those of the
// full search.
#include "instruments/Xlatrix/XlatrixInternal.h"
#include "instruments/Xlatrix/XlatrixValueInfo.h"
#include "instruments/Xlatrix/XlatrixWalk.h"

#include <algorithm>

namespace {

bool Repeats(int32_t maxOccurs) {
    return maxOccurs < 0 || maxOccurs > 1;
}

} // namespace

void CXlatrix::MakeFollowSets(WalkRoot& root) {
    root.followCompiled = walk->compiled;
    root.followStamp = ++walk->followStamps;
    root.followOff = false;
    if (root.kind != WalkRoot::Kind::kComplex || !root.complex->elementOnly) {
        return; // a simple message type is one value that runs to the end; nothing else is walked
    }
    FollowSet answerEnd;
    answerEnd.bytes.set(FollowSet::kAnswerEnd);
    std::vector<const WalkComplex*> open{root.complex};
    AssignFollow(root, *root.complex->content, answerEnd, open);
}

// The bytes that may begin the particle's text (all its occurrences); true when it may match no text.
bool CXlatrix::FirstOf(const WalkParticle& particle, FollowSet& first,
                       std::vector<const WalkComplex*>& open) const {
    if (particle.maxOccurs == 0) {
        return true;
    }
    bool emptyOccurrence = FirstOfOccurrence(particle, first, open);
    return particle.minOccurs == 0 || emptyOccurrence;
}

// The same for one occurrence.
bool CXlatrix::FirstOfOccurrence(const WalkParticle& particle, FollowSet& first,
                                 std::vector<const WalkComplex*>& open) const {
    using ElementKind = WalkParticle::ElementKind;
    auto anything = [&] {
        first.bytes.set();
        return true;
    };
    if (particle.kind == WalkParticle::Kind::kGroup) {
        if (!particle.itemsMade || !particle.sequence) {
            return anything();
        }
        for (const auto& item : particle.items) {
            if (!FirstOf(*item, first, open)) {
                return false;
            }
        }
        return true;
    }
    if (particle.kind != WalkParticle::Kind::kElement) {
        return anything();
    }
    if (particle.elementKind == ElementKind::kValue) {
        const ValueInfo* info = particle.info;
        if (info == nullptr) {
            first.bytes.set(); // not read yet; a value never matches empty text
        } else if (info->fixed) {
            first.bytes.set(static_cast<unsigned char>((*info->fixed)[0]));
        } else if (!info->fixedOnly && info->rootFound) {
            first.bytes.set();
        } // else it matches nothing
        return false;
    }
    if (particle.elementKind == ElementKind::kComplex && particle.complex->elementOnly &&
        std::find(open.begin(), open.end(), particle.complex) == open.end()) {
        open.push_back(particle.complex);
        bool empty = FirstOf(*particle.complex->content, first, open);
        open.pop_back();
        return empty;
    }
    return anything();
}

// Gives each value inside the particle what may follow it, when after may follow the particle.
void CXlatrix::AssignFollow(WalkRoot& root, WalkParticle& particle, const FollowSet& after,
                            std::vector<const WalkComplex*>& open) {
    using ElementKind = WalkParticle::ElementKind;
    FollowSet afterOccurrence = after;
    if (Repeats(particle.maxOccurs)) {
        (void)FirstOfOccurrence(particle, afterOccurrence, open); // whether it may be empty: after covers it
    }
    if (particle.kind == WalkParticle::Kind::kGroup) {
        if (!particle.itemsMade || !particle.sequence) {
            return; // nothing inside is compiled, or the walk refuses the group
        }
        FollowSet running = afterOccurrence;
        for (auto item = particle.items.rbegin(); item != particle.items.rend(); ++item) {
            AssignFollow(root, **item, running, open);
            FollowSet first;
            if (!FirstOf(**item, first, open)) {
                running.bytes.reset();
            }
            running.bytes |= first.bytes;
        }
        return;
    }
    if (particle.kind != WalkParticle::Kind::kElement) {
        return;
    }
    if (particle.elementKind == ElementKind::kValue) {
        if (particle.followRoot != nullptr && particle.followRoot != &root) {
            particle.followShared = true;
        } else if (particle.followStamp != root.followStamp) {
            particle.follow = afterOccurrence;
            particle.followRoot = &root;
            particle.followStamp = root.followStamp;
        } else {
            particle.follow.bytes |= afterOccurrence.bytes; // the same type reached at another place
        }
        return;
    }
    if (particle.elementKind == ElementKind::kComplex && particle.complex->elementOnly) {
        if (std::find(open.begin(), open.end(), particle.complex) != open.end()) {
            root.followOff = true; // a type within itself: its values have follows this walk does not see
            return;
        }
        open.push_back(particle.complex);
        AssignFollow(root, *particle.complex->content, afterOccurrence, open);
        open.pop_back();
    }
}

// The value's follow set, when the current parse may skip candidates by it.
const CXlatrix::FollowSet* CXlatrix::FollowOf(const WalkParticle* particle) const {
    if (!bPruneByFollow || particle == nullptr || particle->followShared ||
        particle->followRoot != pParseRoot || particle->followStamp != pParseRoot->followStamp) {
        return nullptr;
    }
    return &particle->follow;
}
