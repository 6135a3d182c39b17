// Composing command text: the walk over a type's content model in document order, one piece of text per
// simple element, repeated elements and groups once per compose value. The content model is the one the
// parse compiles (XlatrixWalk.h); the places of the walk are named by a path only for an error text.
#include "instruments/Xlatrix/XlatrixGuard.h"
#include "instruments/Xlatrix/XlatrixInternal.h"
#include "instruments/Xlatrix/XlatrixWalk.h"

#include "common/trace/Trace.h"
#include "platform/base/format.h"

// A place of the compose walk, on the stack of the walk: its parent place, how it extends the parent's path
// and the particle's suffix (as a step record of the parse does).
struct CXlatrix::ComposePlace {
    const ComposePlace* parent = nullptr;
    int segment = WalkStep::kRoot;
    int slot = 0;
    const std::string* suffix = nullptr;

    void AppendPath(std::string& path) const {
        if (parent != nullptr) {
            parent->AppendPath(path);
        }
        if (segment == WalkStep::kItem) {
            path.append("/item[").append(std::to_string(slot)).append("]");
        } else if (segment == WalkStep::kOccurrence) {
            path.append("[").append(std::to_string(slot)).append("]");
        }
        if (suffix != nullptr) {
            path += *suffix;
        }
    }
};

bool CXlatrix::Compose(const char* typeName, std::string& out) {
    return Guarded([&] {
        if (!RequireSchema()) {
            return false;
        }
        bError = false;
        strErrorText.clear();
        DumpArrayParamValuesTrace(arrComposeEntryParamValues);
        TracePrintfOf(TRACE_LEVEL_INFO, u"Xlatrix", [this] {
            return vr::FormatWString(u"%s: %hs (%d)\n%s\n", u"Xlatrix", SourceFileName(__FILE__), __LINE__,
                                     xlatrix::Wide(strTraceText).c_str());
        });
        if (!walk) {
            walk = std::make_unique<WalkState>();
        }
        WalkRoot& root = WalkRootOf(typeName);
        strCurrentTypeName.assign(typeName != nullptr ? typeName : "");
        bool missing = false;
        std::string text;
        bool composed = ComposeRoot(root, missing, text);
        if (missing) {
            DumpError("Not enough Entry Parameters.\n");
            return false;
        }
        // The caller's text grows only by a complete command.
        if (composed) {
            out += text;
        }
        return composed;
    });
}

bool CXlatrix::ComposeRoot(WalkRoot& root, bool& missing, std::string& out) {
    switch (root.kind) {
    case WalkRoot::Kind::kAnyType:
        return true;
    case WalkRoot::Kind::kComplex:
        return ComposeContent(*root.complex, missing, out, nullptr);
    case WalkRoot::Kind::kValue:
        return ApplyComposeText(root.type, missing, out, vr::xml::SchemaElement(), nullptr);
    case WalkRoot::Kind::kUnrecognized:
        break;
    }
    DumpError("CXlatrix::ComposeSchemaType(): Unrecognized pSchemaType->itemType = '%s'.\n",
              xlatrix::ItemTypeName(root.itemType).c_str());
    return false;
}

bool CXlatrix::ComposeContent(WalkComplex& complex, bool& missing, std::string& out,
                              const ComposePlace* owner) {
    if (!complex.elementOnly) {
        DumpError("CXlatrix::ComposeISchemaComplexType(): Unexpected contentType = '%s'.\n",
                  xlatrix::ContentTypeName(complex.contentType).c_str());
        return false;
    }
    WalkParticle& content = *complex.content;
    ComposePlace place{owner, WalkStep::kContent, 0, &content.suffix};
    return ComposeOccurrences(content, missing, out, place);
}

// Occurrences 1, 2, ... up to maxOccurs, until one lacks a value. An occurrence that lacks a value leaves no
// text behind (a half-written repetition would corrupt the command). An unbounded repetition continues only
// while occurrences take compose values: one made of fixed text alone would otherwise repeat forever.
bool CXlatrix::ComposeOccurrences(WalkParticle& particle, bool& missing, std::string& out,
                                  const ComposePlace& key) {
    const int32_t minOccurs = particle.minOccurs;
    const int32_t maxOccurs = particle.maxOccurs;
    const bool group = particle.kind == WalkParticle::Kind::kGroup;
    int32_t complete = 0;
    while (xlatrix::BelowMax(complete, maxOccurs)) {
        size_t mark = out.size();
        int valuesBefore = GetNumberOfParamValues(arrComposeEntryParamValues, "");
        bool occurrenceMissing = false;
        ComposePlace occurrence{&key, WalkStep::kOccurrence, complete, nullptr};
        bool composed = group ? ComposeSequence(particle, occurrenceMissing, out, occurrence)
                              : ComposeElementOccurrence(particle, occurrenceMissing, out, occurrence);
        if (!composed) {
            return false;
        }
        bool tookValue = GetNumberOfParamValues(arrComposeEntryParamValues, "") != valuesBefore;
        if (occurrenceMissing || (maxOccurs < 0 && !tookValue && complete >= minOccurs)) {
            out.resize(mark);
            break;
        }
        ++complete;
    }
    if (complete < minOccurs) {
        missing = true;
    }
    return true;
}

bool CXlatrix::ComposeSequence(WalkParticle& group, bool& missing, std::string& out,
                               const ComposePlace& occurrence) {
    if (!group.itemsMade) {
        MakeSequenceItems(group);
    }
    if (!group.sequence) {
        DumpError("CXlatrix::ComposeISchemaModelGroup(): Unexpected itemType = '%s'.\n",
                  xlatrix::ItemTypeName(group.groupType).c_str());
        return false;
    }
    const int32_t total = static_cast<int32_t>(group.items.size());
    for (int32_t n = 0; n < total; ++n) {
        WalkParticle& item = *group.items[static_cast<size_t>(n)];
        ComposePlace place{&occurrence, WalkStep::kItem, n, &item.suffix};
        bool itemMissing = false;
        bool composed = false;
        if (item.kind == WalkParticle::Kind::kElement) {
            if (item.elementKind == WalkParticle::ElementKind::kUnknown) {
                MakeElementKind(item);
            }
            if (item.elementKind == WalkParticle::ElementKind::kReference) {
                DumpError(
                    "CXlatrix::ComposeISchemaElement(): pSchemaElement->isReference != VARIANT_FALSE.\n");
            } else {
                composed = ComposeOccurrences(item, itemMissing, out, place);
            }
        } else if (item.kind == WalkParticle::Kind::kGroup) {
            composed = ComposeOccurrences(item, itemMissing, out, place);
        } else {
            std::string path;
            place.AppendPath(path);
            if (item.kind == WalkParticle::Kind::kAny) {
                DumpError("CXlatrix::ComposeISchemaModelGroup(): itemType == MSXML2::SOMITEM_ANY for '%s'.\n",
                          path.c_str());
            } else {
                DumpError("CXlatrix::ComposeISchemaModelGroup(): Unexpected itemType = '%s' for '%s'.\n",
                          xlatrix::ItemTypeName(item.itemType).c_str(), path.c_str());
            }
        }
        if (!composed) {
            return false;
        }
        if (itemMissing) {
            missing = true;
            return true;
        }
    }
    return true;
}

bool CXlatrix::ComposeElementOccurrence(WalkParticle& particle, bool& missing, std::string& out,
                                        const ComposePlace& occurrence) {
    if (particle.elementKind == WalkParticle::ElementKind::kValue) {
        return ApplyComposeText(particle.type, missing, out, particle.element, &particle);
    }
    if (particle.elementKind == WalkParticle::ElementKind::kComplex) {
        return ComposeContent(*particle.complex, missing, out, &occurrence);
    }
    DumpError("CXlatrix::ComposeISchemaElement(): Unexpected itemType = '%s'.\n",
              xlatrix::ItemTypeName(particle.typeItemType).c_str());
    return false;
}
