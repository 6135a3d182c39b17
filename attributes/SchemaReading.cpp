// Reading an attribute's facts from its schema declaration and from the schema document.
#include "attributes/SchemaReading.h"

#include "attributes/XPathText.h"
#include "attributes/include/tabrisk.h"
#include "common/options/ParamParser.h"
#include "common/trace/Trace.h"
#include "platform/base/text.h"

namespace tabrisk {
namespace {

// A type chain longer than this is taken as one that never reaches a datatype.
constexpr int kMaxTypeChain = 64;

bool IsDatatype(SOMITEMTYPE type) {
    return (type & SOMITEM_DATATYPE) == SOMITEM_DATATYPE && (type & SOMITEM_NULL) == 0;
}

const vr::xml::UnhandledAttribute* Annotation(const vr::xml::SchemaElement& element,
                                              std::u16string_view name) {
    return element.findUnhandledAttribute(name, true);
}

// An annotation that is "TRUE" (any case) when present; absent gives the default true.
bool FlagOf(const vr::xml::SchemaElement& element, std::u16string_view name) {
    const vr::xml::UnhandledAttribute* annotation = Annotation(element, name);
    return annotation == nullptr || vr::EqualsNoCase(annotation->value, u"TRUE");
}

LONG PersistentModeOf(const vr::xml::SchemaElement& element, bool registryRootKey) {
    const vr::xml::UnhandledAttribute* annotation = Annotation(element, u"PERSISTENT");
    if (registryRootKey) {
        return VR_PERSISTENT_NONE; // the key's own name is never persisted under itself
    }
    if (annotation == nullptr) {
        return VR_PERSISTENT_READWRITE;
    }
    if (vr::EqualsNoCase(annotation->value, u"READONLY")) {
        return VR_PERSISTENT_READ;
    }
    if (vr::EqualsNoCase(annotation->value, u"WRITEONLY")) {
        return VR_PERSISTENT_WRITE;
    }
    if (vr::EqualsNoCase(annotation->value, u"READWRITE")) {
        return VR_PERSISTENT_READWRITE;
    }
    return VR_PERSISTENT_NONE;
}

// A whole number with an automatic base ("0x" hexadecimal, leading 0 octal); the conversion traces its own
// error when the text is none.
bool WholeNumber(const std::u16string& text, LONG* number) {
    return TextToLong(number, text.c_str(), 0, true, false);
}

} // namespace

bool ResolveDatatype(const vr::xml::SchemaElement& element, SOMITEMTYPE* datatype) {
    vr::xml::SchemaType type = element.type();
    for (int step = 0; type && step < kMaxTypeChain; ++step) {
        if (IsDatatype(type.itemType())) {
            *datatype = type.itemType();
            return true;
        }
        if (type.variety() == SCHEMATYPEVARIETY_UNION) {
            // A union is derived from anySimpleType: its values, of any member type, are kept as text.
            *datatype = SOMITEM_DATATYPE_ANYSIMPLETYPE;
            return true;
        }
        type = type.baseTypes().item(0).AsType();
    }
    return false;
}

void ReadAnnotations(const vr::xml::SchemaElement& element, AttributeRecord* record) {
    record->persistentMode = PersistentModeOf(element, record->IsRegistryRootKey());
    record->cache = FlagOf(element, u"CACHE");
    record->validate = FlagOf(element, u"VALIDATE");
    if (const vr::xml::UnhandledAttribute* numId = Annotation(element, u"NUMID")) {
        LONG number = 0;
        if (WholeNumber(numId->value, &number)) {
            record->numId = number;
        } else {
            SetTraceSite();
            TraceInfo(u"WARNING: '%s' object attribute: '%s' attribute should have a Numeric value.",
                      record->qName.c_str(), numId->qName.c_str());
        }
    }
    if (const vr::xml::UnhandledAttribute* className = Annotation(element, u"CLASS")) {
        record->className = className->value;
    }
}

std::optional<std::u16string> EnumerationIndexText(const vr::xml::Document& schemaDocument,
                                                   std::u16string_view elementName,
                                                   std::u16string_view value) {
    // Names and texts go into the expression as literals: an apostrophe in them must not end the string.
    std::u16string path = u"//xsd:element[@name = " + XPathLiteral(elementName) +
                          u"]//xsd:enumeration[@value = " + XPathLiteral(value) + u"]";
    vr::xml::Node facet;
    if (schemaDocument.selectSingleNode(path, &facet) != S_OK) {
        return std::nullopt;
    }
    vr::xml::NamedNodeMap attributes = facet.attributes();
    for (int32_t i = 0; i < attributes.length(); ++i) {
        vr::xml::Node attribute = attributes.item(i);
        if (vr::EqualsNoCase(attribute.baseName(), u"INDEX")) {
            return attribute.nodeValue();
        }
    }
    return std::nullopt;
}

void ReadEnumerations(const vr::xml::Document& schemaDocument, const vr::xml::SchemaElement& element,
                      AttributeRecord* record) {
    std::vector<std::u16string> values = element.type().enumeration();
    record->validValues.clear();
    if (values.empty()) {
        record->validValues.emplace_back();
        static_cast<void>(record->validValues.back().CopyFrom(record->value.Get()));
        return;
    }
    for (const std::u16string& value : values) {
        record->validValues.push_back(Variant::FromText(value));
    }
    if (record->Type() != VT_BSTR) {
        return;
    }
    record->hasEnumeration = true;
    for (size_t position = 0; position < values.size(); ++position) {
        LONG index = static_cast<LONG>(position);
        if (auto text = EnumerationIndexText(schemaDocument, element.name(), values[position])) {
            if (!WholeNumber(*text, &index)) {
                index = static_cast<LONG>(position);
                SetTraceSite();
                TraceInfo(
                    u"WARNING: '%s' object attribute: Enumeration '%s' has a wrong value for it's numeric "
                    u"index '%s'.",
                    record->qName.c_str(), values[position].c_str(), text->c_str());
            }
        }
        record->enumIndexes.push_back(index);
    }
}

} // namespace tabrisk
