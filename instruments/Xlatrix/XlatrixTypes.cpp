// Schema helpers of the compose/parse library: root types, adapter annotations of elements, occurrence
// bounds and the schema types of DOM nodes.
#include "instruments/Xlatrix/Xlatrix.h"
#include "instruments/Xlatrix/XlatrixInternal.h"

#include "platform/base/numbers.h"

namespace {

// Derivation chains are short; the bound only keeps a malformed model from holding the walk.
constexpr int kMaxDerivationDepth = 256;

} // namespace

bool CXlatrix::GetRootType(const vr::xml::SchemaType& type, vr::xml::SchemaType& root) {
    vr::xml::SchemaType current = type;
    for (int depth = 0; current && depth < kMaxDerivationDepth; ++depth) {
        vr::xml::SchemaItemCollection bases = current.baseTypes();
        if (bases.length() == 0) {
            root = current;
            return true;
        }
        SOMITEMTYPE itemType = current.itemType();
        if (xlatrix::IsBuiltInDatatype(itemType) || itemType == SOMITEM_ANYTYPE) {
            root = bases.item(0).AsType();
            return static_cast<bool>(root);
        }
        current = bases.item(0).AsType();
    }
    return false;
}

bool CXlatrix::GetExtendedElementAttributes(const vr::xml::SchemaElement& element, std::string* format,
                                            int* base, std::string* units, ParsingOption* parsing) {
    std::string elementName = xlatrix::Narrow(element.name());
    for (const vr::xml::UnhandledAttribute& attribute : element.unhandledAttributes()) {
        std::string name = xlatrix::Narrow(attribute.localName);
        std::string value = xlatrix::Narrow(attribute.value);
        bool known = name == "format" || name == "units" || name == "parsing" || name == "base";
        if (!known) {
            continue;
        }
        bool wanted = (name == "format" && format) || (name == "units" && units) ||
                      (name == "parsing" && parsing) || (name == "base" && base);
        if (!wanted) {
            DumpError("Schema Element '%s:%s': The '%s' attribute is used in the wrong context.\n",
                      strCurrentTypeName.c_str(), elementName.c_str(), name.c_str());
            return false;
        }
        if (name == "format") {
            *format = value;
        } else if (name == "units") {
            *units = value;
        } else if (name == "parsing") {
            *parsing =
                vr::EqualsNoCase(std::string_view(value), "LongestValue") ? poLongestValue : poShortestValue;
        } else {
            int number = static_cast<int>(vr::Strtol(value.c_str(), nullptr, 10));
            vr::xml::SchemaType root;
            bool numeric = GetRootType(element.type(), root) && IsNumeric(root.itemType());
            if (!numeric || number < 2 || number > 36) {
                DumpError("Schema Element '%s:%s': The '%s' attribute has a wrong value of '%s'.\n",
                          strCurrentTypeName.c_str(), elementName.c_str(), name.c_str(), value.c_str());
                return false;
            }
            *base = number;
        }
    }
    return true;
}

bool CXlatrix::ProcessSchemaParticle(const vr::xml::SchemaParticle& particle, int32_t* minOccurs,
                                     int32_t* maxOccurs) {
    if (minOccurs != nullptr) {
        *minOccurs = particle.minOccurs();
    }
    if (maxOccurs != nullptr) {
        *maxOccurs = particle.maxOccurs();
    }
    return true;
}

bool CXlatrix::GetTypeOfNode(const vr::xml::Node& node, vr::xml::SchemaType& type, bool bQuiet) {
    vr::xml::SchemaCache cache = node.ownerDocument().schemas();
    vr::xml::SchemaItem declaration;
    if (cache) {
        xlatrix::CheckXml(cache.getDeclaration(node, &declaration));
    }
    vr::xml::SchemaType declared;
    if (vr::xml::SchemaElement element = declaration.AsElement()) {
        declared = element.type();
    } else if (vr::xml::SchemaAttribute attribute = declaration.AsAttribute()) {
        declared = attribute.type();
    }
    if (!declared) {
        if (!bQuiet) {
            DumpError("CXlatrix::GetTypeOfNode(): Schema Declaration for '%s' isn't available in SchemaCache "
                      "of the "
                      "XML document.\n",
                      xlatrix::Narrow(node.nodeName()).c_str());
        }
        return false;
    }
    return GetRootType(declared, type);
}

std::u16string CXlatrix::bstrTypeOfNode(const vr::xml::Node& node, bool bQuiet) {
    vr::xml::SchemaType type;
    return GetTypeOfNode(node, type, bQuiet) ? type.name() : std::u16string();
}

SOMITEMTYPE CXlatrix::somitemTypeOfNode(const vr::xml::Node& node, bool bQuiet) {
    vr::xml::SchemaType type;
    return GetTypeOfNode(node, type, bQuiet) ? type.itemType() : SOMITEM_NULL;
}
