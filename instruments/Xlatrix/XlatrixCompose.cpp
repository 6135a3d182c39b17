// Composing command text: the walk over a type's content model in document order, one piece of text per
// simple element, repeated elements and groups once per compose value.
#include "instruments/Xlatrix/Xlatrix.h"
#include "instruments/Xlatrix/XlatrixGuard.h"
#include "instruments/Xlatrix/XlatrixInternal.h"

#include "common/Trace.h"
#include "platform/base/format.h"

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
        vr::xml::SchemaType type = FindType(typeName);
        strCurrentTypeName = xlatrix::Narrow(typeName);
        bool missing = false;
        std::string text;
        bool composed = ComposeSchemaType(type, missing, text);
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

bool CXlatrix::ComposeSchemaType(const vr::xml::SchemaType& type, bool& missing, std::string& out) {
    SOMITEMTYPE itemType = type.itemType();
    if (itemType == SOMITEM_ANYTYPE) {
        return true;
    }
    if (itemType == SOMITEM_COMPLEXTYPE) {
        return ComposeISchemaComplexType(type.AsComplexType(), missing, out, "");
    }
    if (xlatrix::IsBuiltInDatatype(itemType) || itemType == SOMITEM_SIMPLETYPE) {
        return ApplyComposeText(type, missing, out, 0, vr::xml::SchemaElement(), "");
    }
    DumpError("CXlatrix::ComposeSchemaType(): Unrecognized pSchemaType->itemType = '%s'.\n",
              xlatrix::ItemTypeName(itemType).c_str());
    return false;
}

bool CXlatrix::ComposeISchemaComplexType(const vr::xml::SchemaComplexType& type, bool& missing,
                                         std::string& out, const char* path) {
    std::string typePath = std::string(path) + "/" + xlatrix::Narrow(type.name());
    SCHEMACONTENTTYPE contentType = type.contentType();
    if (!xlatrix::IsElementOrMixed(contentType)) {
        DumpError("CXlatrix::ComposeISchemaComplexType(): Unexpected contentType = '%s'.\n",
                  xlatrix::ContentTypeName(contentType).c_str());
        return false;
    }
    return ComposeISchemaModelGroup(type.contentModel(), missing, out, typePath.c_str());
}

bool CXlatrix::ComposeISchemaModelGroup(const vr::xml::SchemaModelGroup& group, bool& missing,
                                        std::string& out, const char* path) {
    return ComposeOccurrences(group, missing, out, std::string(path) + "/group",
                              &CXlatrix::ComposeGroupOccurrence);
}

bool CXlatrix::ComposeISchemaElement(const vr::xml::SchemaElement& element, bool& missing, std::string& out,
                                     const char* path) {
    if (element.isReference()) {
        DumpError("CXlatrix::ComposeISchemaElement(): pSchemaElement->isReference != VARIANT_FALSE.\n");
        return false;
    }
    std::string key = std::string(path) + "(" + xlatrix::Narrow(element.name()) + ")";
    return ComposeOccurrences(element, missing, out, key, &CXlatrix::ComposeElementOccurrence);
}

// Occurrences 1, 2, ... up to maxOccurs, until one lacks a value. An occurrence that lacks a value leaves no
// text behind (a half-written repetition would corrupt the command). An unbounded repetition continues only
// while occurrences take compose values: one made of fixed text alone would otherwise repeat forever.
bool CXlatrix::ComposeOccurrences(const vr::xml::SchemaParticle& particle, bool& missing, std::string& out,
                                  const std::string& key, ComposeStep composeOne) {
    int32_t minOccurs = particle.minOccurs();
    int32_t maxOccurs = particle.maxOccurs();
    int32_t complete = 0;
    while (xlatrix::BelowMax(complete, maxOccurs)) {
        size_t mark = out.size();
        int valuesBefore = GetNumberOfParamValues(arrComposeEntryParamValues, "");
        bool occurrenceMissing = false;
        std::string path = key + "[" + std::to_string(complete) + "]";
        if (!(this->*composeOne)(particle, occurrenceMissing, out, path, complete + 1)) {
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

bool CXlatrix::ComposeGroupOccurrence(const vr::xml::SchemaParticle& particle, bool& missing,
                                      std::string& out, const std::string& path, int32_t) {
    vr::xml::SchemaModelGroup group = particle.AsModelGroup();
    if (group.itemType() != SOMITEM_SEQUENCE) {
        DumpError("CXlatrix::ComposeISchemaModelGroup(): Unexpected itemType = '%s'.\n",
                  xlatrix::ItemTypeName(group.itemType()).c_str());
        return false;
    }
    vr::xml::SchemaItemCollection particles = group.particles();
    for (int32_t n = 0; n < particles.length(); ++n) {
        vr::xml::SchemaItem item = particles.item(n);
        std::string itemPath = path + "/item[" + std::to_string(n) + "]";
        SOMITEMTYPE itemType = item.itemType();
        bool itemMissing = false;
        bool composed = false;
        if (itemType == SOMITEM_ELEMENT) {
            composed = ComposeISchemaElement(item.AsElement(), itemMissing, out, itemPath.c_str());
        } else if (xlatrix::IsModelGroup(itemType)) {
            composed = ComposeISchemaModelGroup(item.AsModelGroup(), itemMissing, out, itemPath.c_str());
        } else if (itemType == SOMITEM_ANY) {
            DumpError("CXlatrix::ComposeISchemaModelGroup(): itemType == MSXML2::SOMITEM_ANY for '%s'.\n",
                      itemPath.c_str());
        } else {
            DumpError("CXlatrix::ComposeISchemaModelGroup(): Unexpected itemType = '%s' for '%s'.\n",
                      xlatrix::ItemTypeName(itemType).c_str(), itemPath.c_str());
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

bool CXlatrix::ComposeElementOccurrence(const vr::xml::SchemaParticle& particle, bool& missing,
                                        std::string& out, const std::string& path, int32_t occurrence) {
    vr::xml::SchemaElement element = particle.AsElement();
    vr::xml::SchemaType type = element.type();
    vr::xml::SchemaType root;
    if (GetRootType(type, root) && xlatrix::IsBuiltInDatatype(root.itemType())) {
        return ApplyComposeText(type, missing, out, occurrence, element, path.c_str());
    }
    if (type.itemType() == SOMITEM_COMPLEXTYPE) {
        return ComposeISchemaComplexType(type.AsComplexType(), missing, out, path.c_str());
    }
    DumpError("CXlatrix::ComposeISchemaElement(): Unexpected itemType = '%s'.\n",
              xlatrix::ItemTypeName(type.itemType()).c_str());
    return false;
}
