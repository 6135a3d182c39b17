// The built-in XSD datatypes as schema items: names, item-type codes and varieties.
#include "platform/base/text.h"
#include "platform/xml/namespaces.h"
#include "platform/xml/som_data.h"

namespace vr::xml::detail {
namespace {

struct BuiltIn {
    const char16_t* name;
    SOMITEMTYPE itemType;
};

// The datatypes of XML Schema Part 2 with their codes; gYear and friends carry the codes named after them.
constexpr BuiltIn kBuiltIns[] = {
    {u"anyType", SOMITEM_ANYTYPE},
    {u"anySimpleType", SOMITEM_DATATYPE_ANYSIMPLETYPE},
    {u"anyURI", SOMITEM_DATATYPE_ANYURI},
    {u"base64Binary", SOMITEM_DATATYPE_BASE64BINARY},
    {u"boolean", SOMITEM_DATATYPE_BOOLEAN},
    {u"byte", SOMITEM_DATATYPE_BYTE},
    {u"date", SOMITEM_DATATYPE_DATE},
    {u"dateTime", SOMITEM_DATATYPE_DATETIME},
    {u"gDay", SOMITEM_DATATYPE_DAY},
    {u"decimal", SOMITEM_DATATYPE_DECIMAL},
    {u"double", SOMITEM_DATATYPE_DOUBLE},
    {u"duration", SOMITEM_DATATYPE_DURATION},
    {u"ENTITIES", SOMITEM_DATATYPE_ENTITIES},
    {u"ENTITY", SOMITEM_DATATYPE_ENTITY},
    {u"float", SOMITEM_DATATYPE_FLOAT},
    {u"hexBinary", SOMITEM_DATATYPE_HEXBINARY},
    {u"ID", SOMITEM_DATATYPE_ID},
    {u"IDREF", SOMITEM_DATATYPE_IDREF},
    {u"IDREFS", SOMITEM_DATATYPE_IDREFS},
    {u"int", SOMITEM_DATATYPE_INT},
    {u"integer", SOMITEM_DATATYPE_INTEGER},
    {u"language", SOMITEM_DATATYPE_LANGUAGE},
    {u"long", SOMITEM_DATATYPE_LONG},
    {u"gMonth", SOMITEM_DATATYPE_MONTH},
    {u"gMonthDay", SOMITEM_DATATYPE_MONTHDAY},
    {u"Name", SOMITEM_DATATYPE_NAME},
    {u"NCName", SOMITEM_DATATYPE_NCNAME},
    {u"negativeInteger", SOMITEM_DATATYPE_NEGATIVEINTEGER},
    {u"NMTOKEN", SOMITEM_DATATYPE_NMTOKEN},
    {u"NMTOKENS", SOMITEM_DATATYPE_NMTOKENS},
    {u"nonNegativeInteger", SOMITEM_DATATYPE_NONNEGATIVEINTEGER},
    {u"nonPositiveInteger", SOMITEM_DATATYPE_NONPOSITIVEINTEGER},
    {u"normalizedString", SOMITEM_DATATYPE_NORMALIZEDSTRING},
    {u"NOTATION", SOMITEM_DATATYPE_NOTATION},
    {u"positiveInteger", SOMITEM_DATATYPE_POSITIVEINTEGER},
    {u"QName", SOMITEM_DATATYPE_QNAME},
    {u"short", SOMITEM_DATATYPE_SHORT},
    {u"string", SOMITEM_DATATYPE_STRING},
    {u"time", SOMITEM_DATATYPE_TIME},
    {u"token", SOMITEM_DATATYPE_TOKEN},
    {u"unsignedByte", SOMITEM_DATATYPE_UNSIGNEDBYTE},
    {u"unsignedInt", SOMITEM_DATATYPE_UNSIGNEDINT},
    {u"unsignedLong", SOMITEM_DATATYPE_UNSIGNEDLONG},
    {u"unsignedShort", SOMITEM_DATATYPE_UNSIGNEDSHORT},
    {u"gYear", SOMITEM_DATATYPE_YEAR},
    {u"gYearMonth", SOMITEM_DATATYPE_YEARMONTH},
};

SCHEMATYPEVARIETY VarietyOf(SOMITEMTYPE type) {
    switch (type) {
    case SOMITEM_ANYTYPE:
        return SCHEMATYPEVARIETY_NONE;
    case SOMITEM_DATATYPE_ENTITIES:
    case SOMITEM_DATATYPE_IDREFS:
    case SOMITEM_DATATYPE_NMTOKENS:
        return SCHEMATYPEVARIETY_LIST;
    default:
        return SCHEMATYPEVARIETY_ATOMIC;
    }
}

std::shared_ptr<SchemaData> MakeBuiltInSchema() {
    auto data = std::make_shared<SchemaData>();
    data->builtIn = true;
    data->targetNamespace = kXsdNamespace;
    data->root = data->NewItem(SOMITEM_SCHEMA);
    data->root->ns = kXsdNamespace;
    for (const BuiltIn& builtIn : kBuiltIns) {
        SchemaItemData* item = data->NewItem(builtIn.itemType);
        item->name = builtIn.name;
        item->ns = kXsdNamespace;
        item->variety = VarietyOf(builtIn.itemType);
        if (builtIn.itemType == SOMITEM_ANYTYPE) {
            item->contentType = SCHEMACONTENTTYPE_MIXED;
        }
        data->root->types.push_back(item);
    }
    return data;
}

} // namespace

bool SchemaItemData::IsBuiltIn() const {
    return schema != nullptr && schema->builtIn;
}

SchemaData::~SchemaData() {
    if (doc != nullptr) {
        xmlFreeDoc(doc);
    }
}

SchemaItemData* SchemaData::NewItem(SOMITEMTYPE type) {
    items.push_back(std::make_unique<SchemaItemData>());
    SchemaItemData* item = items.back().get();
    item->itemType = type;
    item->schema = this;
    return item;
}

const std::shared_ptr<SchemaData>& BuiltInSchema() {
    static auto* schema = new std::shared_ptr<SchemaData>(MakeBuiltInSchema()); // never destroyed
    return *schema;
}

const SchemaItemData* BuiltInTypeItem(std::u16string_view name) {
    for (const SchemaItemData* type : BuiltInSchema()->root->types) {
        if (type->name == name) {
            return type;
        }
    }
    return nullptr;
}

} // namespace vr::xml::detail

namespace vr::xml {

SchemaType BuiltInType(std::u16string_view name) {
    return detail::SchemaAccess::Make<SchemaType>(detail::BuiltInTypeItem(name));
}

} // namespace vr::xml
