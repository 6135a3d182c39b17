// Schema queries of the compose/parse library: element iteration, root types and units of elements, and the
// termination string of a response type.
#include "instruments/Xlatrix/Xlatrix.h"
#include "instruments/Xlatrix/XlatrixGuard.h"
#include "instruments/Xlatrix/XlatrixInternal.h"

#include "common/trace/Trace.h"

#include <algorithm>

namespace {

// A group counts as an array level when it may repeat.
bool Repeats(const vr::xml::SchemaParticle& particle) {
    return particle.maxOccurs() < 0 || particle.maxOccurs() > 1;
}

} // namespace

bool CXlatrix::CollectElements(const vr::xml::SchemaModelGroup& group, int depth,
                               std::vector<ElementAt>& out) {
    int innerDepth = depth + (Repeats(group) ? 1 : 0);
    vr::xml::SchemaItemCollection particles = group.particles();
    for (int32_t i = 0; i < particles.length(); ++i) {
        vr::xml::SchemaItem particle = particles.item(i);
        SOMITEMTYPE itemType = particle.itemType();
        if (itemType == SOMITEM_ELEMENT) {
            out.push_back({particle.AsElement(), innerDepth});
        } else if (xlatrix::IsModelGroup(itemType)) {
            if (!CollectElements(particle.AsModelGroup(), innerDepth, out)) {
                return false;
            }
        } else if (itemType == SOMITEM_ANY) {
            DumpError(
                "CXlatrix::TraverseElementsOfSchemaModelGroup(): itemType == MSXML2::SOMITEM_ANY for '%s'.\n",
                strCurrentTypeName.c_str());
            return false;
        } else {
            DumpError(
                "CXlatrix::TraverseElementsOfSchemaModelGroup(): Unexpected itemType = '%s' for '%s'.\n",
                xlatrix::ItemTypeName(itemType).c_str(), strCurrentTypeName.c_str());
            return false;
        }
    }
    return true;
}

bool CXlatrix::ElementsOfType(const vr::xml::SchemaComplexType& type, std::vector<ElementAt>& out) {
    SCHEMACONTENTTYPE contentType = type.contentType();
    if (!xlatrix::IsElementOrMixed(contentType)) {
        DumpError("CXlatrix::TraverseElementsOfComplexType(): Unexpected contentType = '%ls'.\n",
                  SchemaContentTypeName(contentType).c_str());
        return false;
    }
    return CollectElements(type.contentModel(), 0, out);
}

bool CXlatrix::StepCursor(const std::vector<ElementAt>& elements, vr::xml::SchemaElement& cursor) {
    auto next = elements.begin();
    if (cursor) {
        next = std::find_if(elements.begin(), elements.end(),
                            [&](const ElementAt& at) { return at.element == cursor; });
        if (next != elements.end()) {
            ++next;
        }
    }
    if (next == elements.end()) {
        return false;
    }
    cursor = next->element;
    nArrayDepth = next->depth;
    return true;
}

bool CXlatrix::TraverseElementsOfComplexType(const vr::xml::SchemaComplexType& type,
                                             vr::xml::SchemaElement& cursor) {
    std::vector<ElementAt> elements;
    return ElementsOfType(type, elements) && StepCursor(elements, cursor);
}

bool CXlatrix::TraverseElementsOfSchemaModelGroup(const vr::xml::SchemaModelGroup& group,
                                                  vr::xml::SchemaElement& cursor) {
    std::vector<ElementAt> elements;
    return CollectElements(group, 0, elements) && StepCursor(elements, cursor);
}

bool CXlatrix::TraverseElementsOfComplexType(const char* typeName, vr::xml::SchemaElement& cursor) {
    return Guarded([&] {
        if (!RequireSchema()) {
            return false;
        }
        strCurrentTypeName = xlatrix::Narrow(typeName);
        return TraverseElementsOfComplexType(FindType(typeName).AsComplexType(), cursor);
    });
}

bool CXlatrix::TraverseElementsOfComplexType(const char* typeName, std::u16string& name, SOMITEMTYPE& type) {
    return Guarded([&] {
        if (!RequireSchema()) {
            return false;
        }
        strCurrentTypeName = xlatrix::Narrow(typeName);
        std::vector<ElementAt> elements;
        if (!ElementsOfType(FindType(typeName).AsComplexType(), elements)) {
            return false;
        }
        vr::xml::SchemaElement cursor;
        if (!name.empty()) {
            auto named = std::find_if(elements.begin(), elements.end(),
                                      [&](const ElementAt& at) { return at.element.name() == name; });
            if (named == elements.end()) {
                return false;
            }
            cursor = named->element;
        }
        if (!StepCursor(elements, cursor)) {
            return false;
        }
        vr::xml::SchemaType root;
        name = cursor.name();
        type = GetRootType(cursor.type(), root) ? root.itemType() : SOMITEM_NULL;
        return true;
    });
}

bool CXlatrix::GetRootTypeOfElementOfComplexType(const char* typeName, std::string& elementName,
                                                 SOMITEMTYPE& type, bool* isArray) {
    type = SOMITEM_NULL;
    return Guarded([&] {
        if (!RequireSchema()) {
            return false;
        }
        strCurrentTypeName = xlatrix::Narrow(typeName);
        std::vector<ElementAt> elements;
        if (!ElementsOfType(FindType(typeName).AsComplexType(), elements)) {
            return false;
        }
        for (const ElementAt& at : elements) {
            std::string name = xlatrix::Narrow(at.element.name());
            bool wanted = elementName.empty() ? name.empty() || name[0] != '_' : name == elementName;
            vr::xml::SchemaType root;
            // Elements of complex types carry no single value and are passed over.
            if (!wanted || !GetRootType(at.element.type(), root) ||
                !xlatrix::IsBuiltInDatatype(root.itemType())) {
                continue;
            }
            elementName = name;
            // A union's values are of any of its member types: text, not its first member's type.
            type = at.element.type().variety() == SCHEMATYPEVARIETY_UNION ? SOMITEM_DATATYPE_ANYSIMPLETYPE
                                                                          : root.itemType();
            if (isArray != nullptr) {
                *isArray = at.depth > 0;
            }
            return true;
        }
        return false;
    });
}

bool CXlatrix::GetMeasurementUnitsOfElementOfComplexType(const char* typeName, const char* elementName,
                                                         std::string& units) {
    return Guarded([&] {
        if (!RequireSchema()) {
            return false;
        }
        strCurrentTypeName = xlatrix::Narrow(typeName);
        std::vector<ElementAt> elements;
        if (!ElementsOfType(FindType(typeName).AsComplexType(), elements)) {
            return false;
        }
        std::u16string wanted = xlatrix::Wide(xlatrix::Narrow(elementName));
        auto named = std::find_if(elements.begin(), elements.end(),
                                  [&](const ElementAt& at) { return at.element.name() == wanted; });
        if (named == elements.end()) {
            return false;
        }
        std::string format;
        int base = 10;
        ParsingOption parsing = poNone;
        return GetExtendedElementAttributes(named->element, &format, &base, &units, &parsing);
    });
}

bool CXlatrix::GetTermString(const char* typeName, std::u16string& term) {
    term.clear();
    return Guarded([&] {
        if (!RequireSchema()) {
            return false;
        }
        std::string name = xlatrix::Narrow(typeName);
        strCurrentTypeName = name;
        vr::xml::SchemaComplexType type = schema.types().itemByName(xlatrix::Wide(name)).AsComplexType();
        if (!type) {
            DumpError("CXlatrix::GetTermString(): Couldn't find the '%s' type.\n", name.c_str());
            return false;
        }
        std::vector<ElementAt> elements;
        if (!ElementsOfType(type, elements)) {
            return false;
        }
        if (elements.empty()) {
            DumpError("CXlatrix::GetTermString(): Couldn't find elements in the '%s' type.\n", name.c_str());
            return false;
        }
        const vr::xml::SchemaElement& last = elements.back().element;
        return TermStringOfElement(name, last, term);
    });
}

bool CXlatrix::TermStringOfElement(const std::string& typeName, const vr::xml::SchemaElement& last,
                                   std::u16string& term) {
    // An optional last element leaves the answer without a fixed end.
    if (last.minOccurs() == 0) {
        return true;
    }
    vr::xml::SchemaType root;
    if (!GetRootType(last.type(), root)) {
        DumpError("CXlatrix::GetTermString(): Couldn't determine the base type of the '%s::%s' element.\n",
                  typeName.c_str(), xlatrix::Narrow(last.name()).c_str());
        return false;
    }
    if (root.itemType() != SOMITEM_DATATYPE_STRING) {
        return true;
    }
    if (std::optional<std::u16string> fixed = last.fixedValue(); fixed && !fixed->empty()) {
        term = *fixed;
        return true;
    }
    std::vector<std::u16string> patterns = last.type().patterns();
    if (patterns.empty()) {
        return true;
    }
    if (patterns.size() > 1) {
        DumpError("CXlatrix::GetTermString(): '%s::%s' element's type has multiple 'patterns', which is not "
                  "supported.\n",
                  typeName.c_str(), xlatrix::Narrow(last.name()).c_str());
        return false;
    }
    std::string tail;
    std::string prefix;
    bool found = GetTermString(patterns, tail, prefix);
    term = xlatrix::Wide(tail);
    return found;
}

bool CXlatrix::RequireSchema() {
    if (!schema) {
        DumpError("Schema wasn't specified.\n");
        return false;
    }
    return true;
}
