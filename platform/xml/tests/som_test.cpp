// The schema object model read from a device schema and an attribute resource: item types and their bit
// rules, types and base types, content models, particles, facets, element values and annotations.
#include "platform/base/text.h"
#include "platform/xml/schema.h"
#include "platform/xml/tests/schema_samples.h"
#include "platform/xml/tests/xml_test_util.h"

namespace vr::xml {
namespace {

using testing::Parse;

Schema DeviceSchema() {
    SchemaCache cache;
    EXPECT_EQ(SchemaCache::Create(&cache), S_OK);
    EXPECT_EQ(cache.add(u"urn:vornic:dev:psu", Parse(testing::kDeviceSchema)), S_OK)
        << ToUtf8(ErrorDescription());
    Schema schema;
    EXPECT_EQ(cache.getSchema(u"urn:vornic:dev:psu", &schema), S_OK);
    return schema;
}

SchemaComplexType ComplexType(const Schema& schema, std::u16string_view name) {
    SchemaComplexType type = schema.types().itemByName(name).AsComplexType();
    EXPECT_TRUE(type) << ToUtf8(name);
    return type;
}

// The root type as the compose/parse library defines it.
SchemaType RootType(SchemaType type) {
    if (type.baseTypes().length() == 0) {
        return type;
    }
    SOMITEMTYPE item = type.itemType();
    bool builtInOrAny = (item & SOMITEM_DATATYPE) == SOMITEM_DATATYPE || item == SOMITEM_ANYTYPE;
    return builtInOrAny ? type.baseTypes().item(0).AsType() : RootType(type.baseTypes().item(0).AsType());
}

SchemaElement ElementOf(const SchemaComplexType& type, int32_t index) {
    return type.contentModel().particles().item(index).AsElement();
}

TEST(SchemaObjectModel, TypesAndElementsInDocumentOrder) {
    Schema schema = DeviceSchema();
    SchemaItemCollection types = schema.types();
    std::vector<std::u16string> names;
    for (int32_t i = 0; i < types.length(); ++i) {
        names.push_back(types.item(i).name());
    }
    EXPECT_EQ(names, (std::vector<std::u16string>{u"Voltage", u"LowVoltage", u"Switch", u"Gap", u"Channels",
                                                  u"Level", u"SetVolt", u"MeasResponse", u"Extended",
                                                  u"Reading", u"Nothing", u"Mixed", u"WithGroup"}));
    EXPECT_EQ(schema.elements().length(), 2);
    EXPECT_EQ(schema.elements().item(0).name(), u"status");
    EXPECT_EQ(schema.elements().itemByQName(u"psu", u"urn:vornic:dev:psu").name(), u"psu");
    EXPECT_FALSE(schema.elements().itemByQName(u"psu", u""));
    EXPECT_FALSE(types.item(99));
    EXPECT_EQ(schema.modelGroups().item(0).name(), u"pair");
    EXPECT_EQ(types.item(0).schema(), schema);
}

TEST(SchemaObjectModel, ItemTypesFollowTheBitRules) {
    Schema schema = DeviceSchema();
    SchemaType voltage = schema.types().itemByName(u"Voltage").AsType();
    SchemaType dbl = voltage.baseTypes().item(0).AsType();
    EXPECT_EQ(voltage.itemType(), SOMITEM_SIMPLETYPE);
    EXPECT_EQ(dbl.itemType(), SOMITEM_DATATYPE_DOUBLE);
    EXPECT_EQ(dbl.name(), u"double");
    EXPECT_EQ(dbl.namespaceURI(), u"http://www.w3.org/2001/XMLSchema");
    // Built-in datatypes carry all bits of SOMITEM_DATATYPE; user simple types do not.
    EXPECT_EQ(dbl.itemType() & SOMITEM_DATATYPE, SOMITEM_DATATYPE);
    EXPECT_NE(voltage.itemType() & SOMITEM_DATATYPE, SOMITEM_DATATYPE);
    EXPECT_EQ(voltage.itemType() & SOMITEM_ANYTYPE, SOMITEM_ANYTYPE);
    SchemaComplexType measure = ComplexType(schema, u"MeasResponse");
    SchemaModelGroup model = measure.contentModel();
    EXPECT_EQ(model.itemType(), SOMITEM_SEQUENCE);
    EXPECT_EQ(model.itemType() & SOMITEM_GROUP, SOMITEM_GROUP);
    EXPECT_EQ(model.particles().item(0).itemType(), SOMITEM_ELEMENT);
    EXPECT_NE(model.particles().item(0).itemType() & SOMITEM_GROUP, SOMITEM_GROUP);
    SchemaModelGroup choice = model.particles().item(2).AsModelGroup();
    EXPECT_EQ(choice.itemType(), SOMITEM_CHOICE);
    EXPECT_EQ(choice.particles().item(1).itemType(), SOMITEM_ANY);
    SchemaAny any = choice.particles().item(1).AsAny();
    EXPECT_EQ(any.namespaces(), std::vector<std::u16string>{u"##other"});
    EXPECT_EQ(any.processContents(), SCHEMAPROCESSCONTENTS_LAX);
    EXPECT_EQ(SchemaItem().itemType(), SOMITEM_NULL);
    EXPECT_FALSE(model.AsElement());
    EXPECT_FALSE(voltage.AsComplexType());
}

TEST(SchemaObjectModel, BaseTypesLeadToTheRootType) {
    Schema schema = DeviceSchema();
    SchemaType low = schema.types().itemByName(u"LowVoltage").AsType();
    EXPECT_EQ(low.derivedBy(), SCHEMADERIVATIONMETHOD_RESTRICTION);
    EXPECT_EQ(low.baseTypes().item(0).name(), u"Voltage");
    EXPECT_EQ(RootType(low).itemType(), SOMITEM_DATATYPE_DOUBLE);
    EXPECT_EQ(BuiltInType(u"double").baseTypes().length(), 0);

    SchemaComplexType measure = ComplexType(schema, u"MeasResponse");
    SchemaElement gap =
        measure.contentModel().particles().item(1).AsModelGroup().particles().item(0).AsElement();
    EXPECT_EQ(RootType(gap.type()).itemType(), SOMITEM_DATATYPE_STRING);
    EXPECT_EQ(RootType(ElementOf(measure, 0).type()).itemType(), SOMITEM_DATATYPE_DECIMAL);

    SchemaComplexType psu = schema.elements().itemByName(u"psu").AsElement().type().AsComplexType();
    SchemaElement set = ElementOf(psu, 0);
    EXPECT_EQ(RootType(set.type()).itemType(), SOMITEM_COMPLEXTYPE); // a plain complex type is its own root
    SchemaElement reading = ElementOf(psu, 1);
    EXPECT_EQ(RootType(reading.type()).itemType(), SOMITEM_DATATYPE_DECIMAL);
    EXPECT_EQ(psu.name(), u""); // anonymous

    SchemaType channels = schema.types().itemByName(u"Channels").AsType();
    EXPECT_EQ(channels.variety(), SCHEMATYPEVARIETY_LIST);
    EXPECT_EQ(channels.derivedBy(), SCHEMADERIVATIONMETHOD_LIST);
    SchemaType level = schema.types().itemByName(u"Level").AsType();
    EXPECT_EQ(level.variety(), SCHEMATYPEVARIETY_UNION);
    EXPECT_EQ(level.baseTypes().length(), 2);
    EXPECT_EQ(BuiltInType(u"NMTOKENS").variety(), SCHEMATYPEVARIETY_LIST);
    EXPECT_FALSE(BuiltInType(u"nosuchtype"));
}

TEST(SchemaObjectModel, ContentTypesAndModels) {
    Schema schema = DeviceSchema();
    EXPECT_EQ(ComplexType(schema, u"SetVolt").contentType(), SCHEMACONTENTTYPE_ELEMENTONLY);
    EXPECT_EQ(ComplexType(schema, u"Reading").contentType(), SCHEMACONTENTTYPE_TEXTONLY);
    EXPECT_EQ(ComplexType(schema, u"Mixed").contentType(), SCHEMACONTENTTYPE_MIXED);
    SchemaComplexType nothing = ComplexType(schema, u"Nothing");
    EXPECT_EQ(nothing.contentType(), SCHEMACONTENTTYPE_EMPTY);
    EXPECT_EQ(nothing.contentModel().itemType(), SOMITEM_EMPTYPARTICLE);
    EXPECT_EQ(nothing.contentModel().particles().length(), 0);
    EXPECT_EQ(ComplexType(schema, u"Reading").contentModel().itemType(), SOMITEM_EMPTYPARTICLE);

    // An extension's content is the base's content followed by its own.
    SchemaComplexType extended = ComplexType(schema, u"Extended");
    EXPECT_EQ(extended.derivedBy(), SCHEMADERIVATIONMETHOD_EXTENSION);
    EXPECT_EQ(extended.baseTypes().item(0).name(), u"SetVolt");
    SchemaItemCollection parts = extended.contentModel().particles();
    ASSERT_EQ(parts.length(), 2);
    EXPECT_EQ(parts.item(0).AsModelGroup().particles().item(1).name(), u"value1");
    EXPECT_EQ(parts.item(1).AsModelGroup().particles().item(0).name(), u"extra");
    EXPECT_EQ(extended.attributes().item(0).name(), u"more");

    // A group reference stands as the group's compositor with the reference's occurrences.
    SchemaModelGroup pair =
        ComplexType(schema, u"WithGroup").contentModel().particles().item(0).AsModelGroup();
    EXPECT_EQ(pair.itemType(), SOMITEM_SEQUENCE);
    EXPECT_EQ(pair.maxOccurs(), 3);
    EXPECT_EQ(pair.particles().item(1).name(), u"second");
}

TEST(SchemaObjectModel, ParticlesCarryTheirOccurrences) {
    SchemaComplexType measure = ComplexType(DeviceSchema(), u"MeasResponse");
    SchemaModelGroup model = measure.contentModel();
    EXPECT_EQ(model.minOccurs(), 1);
    EXPECT_EQ(model.maxOccurs(), 1);
    SchemaModelGroup repeated = model.particles().item(1).AsModelGroup();
    EXPECT_EQ(repeated.minOccurs(), 0);
    EXPECT_EQ(repeated.maxOccurs(), -1); // unbounded
    SchemaElement status = repeated.particles().item(1).AsElement();
    EXPECT_TRUE(status.isReference());
    EXPECT_EQ(status.name(), u"status");
    EXPECT_EQ(status.minOccurs(), 0);
    EXPECT_EQ(status.type().name(), u"Switch");
    EXPECT_NE(status.findUnhandledAttribute(u"numid"), nullptr);
    EXPECT_FALSE(ElementOf(measure, 0).isReference());
    EXPECT_EQ(measure.attributes().item(0).AsAttribute().use(), SCHEMAUSE_REQUIRED);
}

TEST(SchemaObjectModel, FacetsAreThoseInEffect) {
    Schema schema = DeviceSchema();
    SchemaType low = schema.types().itemByName(u"LowVoltage").AsType();
    EXPECT_EQ(low.maxInclusive(), u"5.0");
    EXPECT_EQ(low.minInclusive(), u"0.0"); // from Voltage
    EXPECT_FALSE(low.maxExclusive());
    EXPECT_EQ(low.length(), -1);
    SchemaType sw = schema.types().itemByName(u"Switch").AsType();
    EXPECT_EQ(sw.enumeration(), (std::vector<std::u16string>{u"1", u"0"}));
    SchemaType gap = schema.types().itemByName(u"Gap").AsType();
    ASSERT_EQ(gap.patterns().size(), 1u);
    EXPECT_EQ(gap.patterns()[0], u"[^\\r\\n]*\r\n");
    EXPECT_EQ(gap.whitespace(), SCHEMAWHITESPACE_NONE);
}

TEST(SchemaObjectModel, ElementValuesAndAnnotations) {
    Schema schema = DeviceSchema();
    SchemaComplexType set = ComplexType(schema, u"SetVolt");
    SchemaElement key = ElementOf(set, 0);
    EXPECT_EQ(key.fixedValue(), u"VOLT ");
    EXPECT_FALSE(key.defaultValue());
    EXPECT_EQ(ElementOf(set, 2).fixedValue(), u"\n");
    SchemaElement value = ElementOf(set, 1);
    EXPECT_FALSE(value.fixedValue());
    const UnhandledAttribute* format = value.findUnhandledAttribute(u"format");
    ASSERT_NE(format, nullptr);
    EXPECT_EQ(format->value, u"%.3f");
    EXPECT_EQ(format->namespaceURI, u"urn:vornic:adapter-annotations");
    EXPECT_EQ(format->qName, u"vra:format");
    EXPECT_EQ(value.unhandledAttributes().size(), 2u);
    EXPECT_EQ(value.findUnhandledAttribute(u"FORMAT"), nullptr);
    EXPECT_NE(value.findUnhandledAttribute(u"FORMAT", true), nullptr);
    EXPECT_EQ(value.minOccurs(), 1);
    SchemaComplexType measure = ComplexType(schema, u"MeasResponse");
    SchemaElement a =
        measure.contentModel().particles().item(2).AsModelGroup().particles().item(0).AsElement();
    EXPECT_EQ(a.defaultValue(), u"7");
    EXPECT_EQ(a.namespaceURI(), u"urn:vornic:dev:psu"); // elementFormDefault="qualified"
}

// The attribute collection's loading: the schema node's text in a document of its own, its target
// namespace, the cache, then each global element with its datatype, default, enumeration and annotations.
TEST(SchemaObjectModel, AttributeResourceLoadsAsTheCollectionReadsIt) {
    Document resource = Parse(testing::kAttributeResource, false);
    ASSERT_EQ(resource.setProperty(u"SelectionNamespaces", u"xmlns:xsd='http://www.w3.org/2001/XMLSchema'"),
              S_OK);
    NodeList selected;
    ASSERT_EQ(resource.selectNodes(u"/attributes/serial/*", &selected), S_OK);
    ASSERT_EQ(selected.length(), 2);
    Node schemaNode = selected.item(0);
    EXPECT_TRUE(EqualsNoCase(schemaNode.baseName(), u"SCHEMA"));

    Document schemaDocument = testing::NewDocument();
    schemaDocument.setAsync(false);
    ASSERT_EQ(schemaDocument.loadXML(schemaNode.xml()), S_OK) << ToUtf8(schemaDocument.parseError().reason);
    std::u16string targetNamespace = testing::Select(schemaDocument, u"//*/@targetNamespace").text();
    SchemaCache cache;
    ASSERT_EQ(SchemaCache::Create(&cache), S_OK);
    ASSERT_EQ(cache.add(targetNamespace, schemaDocument), S_OK);
    Schema schema;
    ASSERT_EQ(cache.getSchema(targetNamespace, &schema), S_OK);

    SchemaItemCollection elements = schema.elements();
    ASSERT_EQ(elements.length(), 3);
    SchemaElement timeout = elements.item(0).AsElement();
    EXPECT_EQ(timeout.type().itemType(), SOMITEM_DATATYPE_INT);
    EXPECT_EQ(timeout.defaultValue(), u"2000");
    EXPECT_EQ(timeout.findUnhandledAttribute(u"NUMID", true)->value, u"0x3FFF001A");
    EXPECT_EQ(timeout.findUnhandledAttribute(u"class", true)->value, u"Local");

    SchemaElement baud = elements.item(1).AsElement();
    SchemaType baudType = baud.type();
    EXPECT_EQ(baudType.itemType(), SOMITEM_SIMPLETYPE);
    EXPECT_EQ(baudType.baseTypes().item(0).itemType(), SOMITEM_DATATYPE_INT);
    EXPECT_EQ(baudType.enumeration(), (std::vector<std::u16string>{u"300", u"9600", u"115200"}));
    EXPECT_EQ(baudType.isValid(u"9600"), S_OK);
    EXPECT_EQ(baudType.isValid(u"9601"), S_FALSE);

    SchemaElement stop = elements.item(2).AsElement();
    EXPECT_EQ(stop.findUnhandledAttribute(u"numid", true)->localName, u"NUMID");
    ASSERT_EQ(resource.setProperty(u"SelectionNamespaces", u"xmlns:xsd='http://www.w3.org/2001/XMLSchema' "
                                                           u"xmlns:vrt='urn:vornic:object-attributes'"),
              S_OK);
    Node facet = testing::Select(
        resource, u"//xsd:element[@name = 'StopBits']//xsd:enumeration[@value = 'ASRL_STOP_ONE5']");
    EXPECT_EQ(facet.attributes().getNamedItem(u"vrt:index").nodeValue(), u"15");
}

TEST(SchemaObjectModel, SchemaWithoutElementsHasNone) {
    SchemaCache cache;
    ASSERT_EQ(SchemaCache::Create(&cache), S_OK);
    ASSERT_EQ(cache.add(u"", Parse(u"<xsd:schema xmlns:xsd='http://www.w3.org/2001/XMLSchema'/>")), S_OK);
    Schema schema;
    ASSERT_EQ(cache.getSchema(u"", &schema), S_OK);
    EXPECT_EQ(schema.elements().length(), 0);
    EXPECT_EQ(schema.types().length(), 0);
}

} // namespace
} // namespace vr::xml
