// The schema cache: adding and replacing schemas, compile errors, validation of documents and getDeclaration.
#include "platform/xml/schema.h"
#include "platform/xml/tests/schema_samples.h"
#include "platform/xml/tests/xml_test_util.h"

namespace vr::xml {
namespace {

using testing::NewDocument;
using testing::Parse;

SchemaCache NewCache() {
    SchemaCache cache;
    EXPECT_EQ(SchemaCache::Create(&cache), S_OK);
    return cache;
}

SchemaCache DeviceCache() {
    SchemaCache cache = NewCache();
    EXPECT_EQ(cache.add(u"urn:vornic:dev:psu", Parse(testing::kDeviceSchema)), S_OK)
        << ToUtf8(ErrorDescription());
    return cache;
}

// The error text the schema factory shows: the description without its location line.
std::u16string CleanedDescription(std::u16string text) {
    size_t last = text.rfind(u'\n');
    if (last != std::u16string::npos) {
        text[last] = u' ';
    }
    size_t cr = text.find(u'\r');
    if (cr != std::u16string::npos) {
        text[cr] = u' ';
    }
    size_t lf = text.find(u'\n');
    if (lf != std::u16string::npos) {
        text = text.substr(lf + 1);
    }
    return text;
}

constexpr char16_t kLengthOnDouble[] = uR"(<xsd:schema xmlns:xsd="http://www.w3.org/2001/XMLSchema">
  <xsd:element name="dX"><xsd:simpleType><xsd:restriction base="xsd:double">
    <xsd:length value="10"/>
  </xsd:restriction></xsd:simpleType></xsd:element></xsd:schema>)";

TEST(SchemaCache, AddsFindsReplacesAndRemovesByNamespace) {
    SchemaCache cache = DeviceCache();
    EXPECT_EQ(cache.length(), 1);
    EXPECT_EQ(cache.namespaceURI(0), u"urn:vornic:dev:psu");
    Schema schema;
    ASSERT_EQ(cache.getSchema(u"urn:vornic:dev:psu", &schema), S_OK);
    EXPECT_EQ(schema.itemType(), SOMITEM_SCHEMA);
    EXPECT_EQ(schema.targetNamespace(), u"urn:vornic:dev:psu");
    EXPECT_EQ(schema.version(), u"1.2");
    EXPECT_EQ(cache.getSchema(u"urn:other", &schema), S_FALSE);
    EXPECT_FALSE(schema);

    ASSERT_EQ(cache.add(u"", Parse(u"<xsd:schema xmlns:xsd='http://www.w3.org/2001/XMLSchema'>"
                                   u"<xsd:element name='one' type='xsd:int'/></xsd:schema>")),
              S_OK);
    ASSERT_EQ(cache.add(u"", Parse(u"<xsd:schema xmlns:xsd='http://www.w3.org/2001/XMLSchema'>"
                                   u"<xsd:element name='two' type='xsd:int'/></xsd:schema>")),
              S_OK);
    EXPECT_EQ(cache.length(), 2);
    ASSERT_EQ(cache.getSchema(u"", &schema), S_OK);
    EXPECT_EQ(schema.elements().item(0).name(), u"two");
    EXPECT_EQ(cache.remove(u""), S_OK);
    EXPECT_EQ(cache.remove(u""), S_FALSE);
    EXPECT_EQ(cache.length(), 1);
}

TEST(SchemaCache, SchemaOutlivesItsCacheAndDocument) {
    Schema schema;
    {
        SchemaCache cache = DeviceCache();
        ASSERT_EQ(cache.getSchema(u"urn:vornic:dev:psu", &schema), S_OK);
    }
    EXPECT_EQ(schema.types().itemByName(u"Voltage").AsType().isValid(u"12.5"), S_OK);
    EXPECT_EQ(schema.elements().itemByName(u"psu").name(), u"psu");
}

TEST(SchemaCache, ImpossibleFacetIsRefusedWithTheProcessorsMessage) {
    SchemaCache cache = NewCache();
    HRESULT hr = cache.add(u"", Parse(kLengthOnDouble));
    EXPECT_LT(hr, 0);
    std::u16string description = ErrorDescription();
    EXPECT_NE(description.find(u"\r\n"), std::u16string::npos);
    std::u16string cleaned = CleanedDescription(description);
    EXPECT_NE(cleaned.find(u"length"), std::u16string::npos) << ToUtf8(cleaned);
    EXPECT_EQ(cleaned.find(u'\n'), std::u16string::npos);
    EXPECT_EQ(cache.length(), 0);
}

TEST(SchemaCache, RefusesWrongNamespacesAndDocumentsThatAreNoSchema) {
    SchemaCache cache = NewCache();
    EXPECT_EQ(cache.add(u"urn:wrong", Parse(testing::kDeviceSchema)), E_FAIL);
    EXPECT_NE(ErrorDescription().find(u"urn:vornic:dev:psu"), std::u16string::npos);
    EXPECT_EQ(cache.add(u"", Parse(u"<definitions/>")), E_INVALIDARG);
    EXPECT_EQ(cache.add(u"", NewDocument()), E_INVALIDARG);
    EXPECT_EQ(cache.length(), 0);
}

// The compose/parse library's way: the schema inside an adapter's types element, taken out as text.
TEST(SchemaCache, SchemaTakenOutOfAnAdapterKeepsItsReferences) {
    Document adapter = Parse(u"<definitions xmlns:xsd='http://www.w3.org/2001/XMLSchema' xmlns:dev='urn:dev' "
                             u"xmlns:unused='urn:unused'><types><xsd:schema targetNamespace='urn:dev'>"
                             u"<xsd:simpleType name='V'><xsd:restriction base='xsd:double'/></xsd:simpleType>"
                             u"<xsd:complexType name='Msg'><xsd:sequence><xsd:element name='v' type='dev:V'/>"
                             u"</xsd:sequence></xsd:complexType></xsd:schema></types></definitions>");
    Node schemaNode = testing::Select(adapter, u"//types/*");
    std::u16string text = schemaNode.xml();
    EXPECT_NE(text.find(u"xmlns:dev=\"urn:dev\""), std::u16string::npos);
    EXPECT_EQ(text.find(u"urn:unused"), std::u16string::npos);
    Document schemaDocument = NewDocument();
    ASSERT_EQ(schemaDocument.loadXML(text), S_OK);
    SchemaCache cache = NewCache();
    ASSERT_EQ(cache.add(u"urn:dev", schemaDocument), S_OK) << ToUtf8(ErrorDescription());
    Schema schema;
    ASSERT_EQ(cache.getSchema(u"urn:dev", &schema), S_OK);
    SchemaComplexType message = schema.types().itemByName(u"Msg").AsComplexType();
    EXPECT_EQ(message.contentModel().particles().item(0).AsElement().type().name(), u"V");
}

TEST(SchemaCache, AddsFromAPath) {
    std::string path = testing::WriteFile("device.xsd", ToUtf8(testing::kDeviceSchema));
    SchemaCache cache = NewCache();
    ASSERT_EQ(cache.add(u"urn:vornic:dev:psu", FromUtf8(path)), S_OK);
    EXPECT_EQ(cache.add(u"", FromUtf8(path + ".missing")), HRESULT_FROM_WIN32(2));
}

TEST(SchemaCache, ValidatesDocumentsAndReportsTheFirstViolation) {
    Document doc =
        Parse(u"<psu xmlns='urn:vornic:dev:psu' id='3'>\n<set><_strKey1>VOLT </_strKey1><value1>12.5</value1>"
              u"<_strTermString>&#10;</_strTermString></set>\n<reading unit='mV'>1.5</reading></psu>");
    doc.setSchemas(DeviceCache());
    EXPECT_EQ(doc.validate(), S_OK);

    Node value = doc.documentElement().firstChild().nextSibling().firstChild().nextSibling();
    ASSERT_EQ(value.setText(u"31"), S_OK); // above maxInclusive
    HRESULT hr = doc.validate();
    EXPECT_LT(hr, 0);
    ParseError error = doc.parseError();
    EXPECT_EQ(error.errorCode, hr);
    EXPECT_NE(error.reason.find(u"value1"), std::u16string::npos) << ToUtf8(error.reason);
    EXPECT_EQ(doc.validateNode(doc.documentElement().lastChild()), S_OK);
    EXPECT_LT(doc.validateNode(value.parentNode()), 0);
}

TEST(SchemaCache, ValidationOnParseRefusesInvalidDocuments) {
    Document doc = Parse(u"<status xmlns='urn:vornic:dev:psu'>1</status>");
    doc.setSchemas(DeviceCache());
    EXPECT_LT(doc.loadXML(u"<status xmlns='urn:vornic:dev:psu'>\n2</status>"), 0);
    EXPECT_EQ(doc.parseError().line, 1);
    EXPECT_EQ(doc.documentElement().text(), u"1"); // unchanged
    doc.setValidateOnParse(false);
    EXPECT_EQ(doc.loadXML(u"<status xmlns='urn:vornic:dev:psu'>2</status>"), S_OK);
    EXPECT_EQ(NewDocument().validate(), E_FAIL); // nothing to validate against
}

TEST(SchemaCache, ValidatesAcrossSeveralNamespaces) {
    SchemaCache cache = DeviceCache();
    ASSERT_EQ(
        cache.add(u"urn:vornic:attributes",
                  Parse(u"<xsd:schema xmlns:xsd='http://www.w3.org/2001/XMLSchema' "
                        u"targetNamespace='urn:vornic:attributes'><xsd:element name='note' type='xsd:int'/>"
                        u"</xsd:schema>")),
        S_OK);
    Document doc = Parse(u"<m:MeasResponseHolder xmlns:m='urn:none'/>");
    doc.setSchemas(cache);
    Document valid = Parse(u"<n:note xmlns:n='urn:vornic:attributes'>5</n:note>");
    valid.setSchemas(cache);
    EXPECT_EQ(valid.validate(), S_OK);
    Document alsoValid = Parse(u"<status xmlns='urn:vornic:dev:psu'>0</status>");
    alsoValid.setSchemas(cache);
    EXPECT_EQ(alsoValid.validate(), S_OK);
    EXPECT_LT(doc.validate(), 0); // an element no schema declares
    Document invalid = Parse(u"<n:note xmlns:n='urn:vornic:attributes'>five</n:note>");
    invalid.setSchemas(cache);
    EXPECT_LT(invalid.validate(), 0);
}

TEST(SchemaCache, FindsTheDeclarationsOfNodes) {
    SchemaCache cache = DeviceCache();
    Document doc = Parse(u"<psu xmlns='urn:vornic:dev:psu' id='1'><set><value1>1</value1></set>"
                         u"<reading>2</reading></psu>");
    SchemaItem declaration;
    Node value = doc.documentElement().firstChild().firstChild();
    ASSERT_EQ(cache.getDeclaration(value, &declaration), S_OK);
    SchemaElement element = declaration.AsElement();
    ASSERT_TRUE(element);
    EXPECT_EQ(element.name(), u"value1");
    EXPECT_EQ(element.type().name(), u"Voltage");
    EXPECT_EQ(element.scope().name(), u"SetVolt");

    ASSERT_EQ(cache.getDeclaration(doc.documentElement().attributes().item(0), &declaration), S_OK);
    EXPECT_EQ(declaration.itemType(), SOMITEM_ATTRIBUTE);
    EXPECT_EQ(declaration.AsAttribute().type().itemType(), SOMITEM_DATATYPE_INT);

    ASSERT_EQ(cache.getDeclaration(doc.documentElement().lastChild(), &declaration), S_OK);
    EXPECT_EQ(declaration.AsElement().type().name(), u"Reading");

    Document other = Parse(u"<unknown/>");
    EXPECT_EQ(cache.getDeclaration(other.documentElement(), &declaration), S_FALSE);
    EXPECT_FALSE(declaration);
    EXPECT_EQ(
        cache.getDeclaration(doc.documentElement().firstChild().firstChild().firstChild(), &declaration),
        S_FALSE);
}

} // namespace
} // namespace vr::xml
