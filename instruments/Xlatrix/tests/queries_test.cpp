// Schema queries: termination strings, literal prefixes and tails of patterns, root types, units, element
// iteration and the schema types of DOM nodes.
#include "instruments/Xlatrix/tests/xlatrix_test_support.h"

#include "platform/base/text.h"

#include <gtest/gtest.h>

namespace {

using xltest::DataPath;
using xltest::Element;
using xltest::Key;
using xltest::LoadTypes;
using xltest::Probe;
using xltest::Sequence;

struct Literal {
    std::string term;
    std::string prefix;
};

Literal LiteralsOf(Probe& xlatrix, const std::u16string& pattern) {
    Literal literal;
    EXPECT_TRUE(xlatrix.GetTermString({pattern}, literal.term, literal.prefix)) << vr::ToUtf8(pattern);
    return literal;
}

TEST(XlatrixQueries, PatternLiterals) {
    Probe xlatrix;
    Literal digits = LiteralsOf(xlatrix, u"[0-9]+\r\n");
    EXPECT_EQ(digits.term, "\r\n");
    EXPECT_EQ(digits.prefix, "");
    Literal plain = LiteralsOf(xlatrix, u"abc");
    EXPECT_EQ(plain.term, "abc");
    EXPECT_EQ(plain.prefix, "abc");
    Literal framed = LiteralsOf(xlatrix, u"ID[0-9]+;");
    EXPECT_EQ(framed.prefix, "ID");
    EXPECT_EQ(framed.term, ";");
    std::string term;
    std::string prefix;
    EXPECT_FALSE(xlatrix.GetTermString({u"a", u"b"}, term, prefix));
    EXPECT_FALSE(xlatrix.GetTermString({u""}, term, prefix));
    EXPECT_FALSE(xlatrix.GetTermString({}, term, prefix));
}

TEST(XlatrixQueries, PatternLiteralsNeverClaimTextAMatchMayLack) {
    Probe xlatrix;
    // An escape stands for other text than its own characters.
    Literal escaped = LiteralsOf(xlatrix, u"\\d+V");
    EXPECT_EQ(escaped.prefix, "");
    EXPECT_EQ(escaped.term, "V");
    Literal escapedTail = LiteralsOf(xlatrix, u"[^~]*\\r\\n");
    EXPECT_EQ(escapedTail.term, "");
    Literal dot = LiteralsOf(xlatrix, u"V\\.\\d");
    EXPECT_EQ(dot.prefix, "V");
    EXPECT_EQ(dot.term, "");
    // A quantifier makes the character before it uncertain.
    Literal optional = LiteralsOf(xlatrix, u"ab?c");
    EXPECT_EQ(optional.prefix, "a");
    EXPECT_EQ(optional.term, "c");
    // Alternatives at the outermost level share nothing.
    Literal either = LiteralsOf(xlatrix, u"abc|xyz");
    EXPECT_EQ(either.prefix, "");
    EXPECT_EQ(either.term, "");
    Literal inner = LiteralsOf(xlatrix, u"K(a|b)E");
    EXPECT_EQ(inner.prefix, "K");
    EXPECT_EQ(inner.term, "E");
}

TEST(XlatrixQueries, TermStringsOfTheDeviceAdapters) {
    CXlatrix multimeter(false);
    ASSERT_TRUE(multimeter.SetSchemaXml(DataPath("xlatrix_multimeter.daf").c_str()))
        << multimeter.strErrorText;
    std::u16string term = u"stale";
    EXPECT_TRUE(multimeter.GetTermString("msg_ReadResponse", term));
    EXPECT_EQ(term, u"\n");
    // A count list without terminator: its last element is an int.
    EXPECT_TRUE(multimeter.GetTermString("msg_CountListResponse", term));
    EXPECT_EQ(term, u"");

    CXlatrix supply(false);
    ASSERT_TRUE(supply.SetSchemaXml(DataPath("xlatrix_powersupply.daf").c_str())) << supply.strErrorText;
    // The literal tail of a gap pattern.
    EXPECT_TRUE(supply.GetTermString("msg_IdnResponse", term));
    EXPECT_EQ(term, u"\r\n");
    EXPECT_FALSE(supply.GetTermString("msg_Nothing", term));
    EXPECT_EQ(supply.strErrorText, "CXlatrix::GetTermString(): Couldn't find the 'msg_Nothing' type.\n");
    EXPECT_EQ(term, u"");
}

TEST(XlatrixQueries, TermStringRules) {
    CXlatrix xlatrix(false);
    ASSERT_TRUE(LoadTypes(
        xlatrix,
        Sequence("Optional", Element("v", "xsd:int") +
                                 "<xsd:element name='t' type='xsd:string' fixed=';' minOccurs='0'/>") +
            Sequence("Plain", Element("v", "xsd:string")) +
            "<xsd:complexType name='None' mixed='true'><xsd:sequence/></xsd:complexType>" +
            "<xsd:simpleType name='Two'><xsd:restriction base='xsd:string'><xsd:pattern value='a;'/>"
            "<xsd:pattern value='b;'/></xsd:restriction></xsd:simpleType>" +
            Sequence("Multi", Element("v", "Two"))))
        << xlatrix.strErrorText;
    std::u16string term = u"stale";
    EXPECT_TRUE(xlatrix.GetTermString("Optional", term));
    EXPECT_EQ(term, u"");
    EXPECT_TRUE(xlatrix.GetTermString("Plain", term));
    EXPECT_EQ(term, u"");
    EXPECT_FALSE(xlatrix.GetTermString("None", term));
    EXPECT_EQ(xlatrix.strErrorText,
              "CXlatrix::GetTermString(): Couldn't find elements in the 'None' type.\n");
    EXPECT_FALSE(xlatrix.GetTermString("Multi", term));
    EXPECT_EQ(xlatrix.strErrorText,
              "CXlatrix::GetTermString(): 'Multi::v' element's type has multiple 'patterns', "
              "which is not supported.\n");
}

TEST(XlatrixQueries, RootTypesOfElements) {
    CXlatrix supply(false);
    ASSERT_TRUE(supply.SetSchemaXml(DataPath("xlatrix_powersupply.daf").c_str())) << supply.strErrorText;
    std::string name;
    SOMITEMTYPE type = SOMITEM_NULL;
    bool isArray = true;
    // The first element whose name does not begin with "_".
    ASSERT_TRUE(supply.GetRootTypeOfElementOfComplexType("msg_SetVolt", name, type, &isArray));
    EXPECT_EQ(name, "channel");
    EXPECT_EQ(type, SOMITEM_DATATYPE_INT); // through the restriction ChannelNumber
    EXPECT_FALSE(isArray);
    name = "voltage";
    ASSERT_TRUE(supply.GetRootTypeOfElementOfComplexType("msg_SetVolt", name, type, nullptr));
    EXPECT_EQ(type, SOMITEM_DATATYPE_DECIMAL);
    // Inside a repeated group.
    name = "state";
    ASSERT_TRUE(supply.GetRootTypeOfElementOfComplexType("msg_StatusResponse", name, type, &isArray));
    EXPECT_EQ(type, SOMITEM_DATATYPE_STRING);
    EXPECT_TRUE(isArray);
    name = "nothing";
    EXPECT_FALSE(supply.GetRootTypeOfElementOfComplexType("msg_StatusResponse", name, type, &isArray));
    EXPECT_EQ(type, SOMITEM_NULL);
}

TEST(XlatrixQueries, ElementsOfComplexTypesArePassedOver) {
    CXlatrix xlatrix(false);
    ASSERT_TRUE(
        LoadTypes(xlatrix, "<xsd:complexType name='Pair'><xsd:sequence>" + Element("a", "xsd:int") +
                               "</xsd:sequence></xsd:complexType>" +
                               Sequence("Outer", Element("pair", "Pair") + Element("count", "xsd:short"))))
        << xlatrix.strErrorText;
    std::string name;
    SOMITEMTYPE type = SOMITEM_NULL;
    ASSERT_TRUE(xlatrix.GetRootTypeOfElementOfComplexType("Outer", name, type, nullptr));
    EXPECT_EQ(name, "count");
    EXPECT_EQ(type, SOMITEM_DATATYPE_SHORT);
    name = "pair";
    EXPECT_FALSE(xlatrix.GetRootTypeOfElementOfComplexType("Outer", name, type, nullptr));
}

TEST(XlatrixQueries, UnitsOfElements) {
    CXlatrix multimeter(false);
    ASSERT_TRUE(multimeter.SetSchemaXml(DataPath("xlatrix_multimeter.daf").c_str()));
    std::string units;
    ASSERT_TRUE(
        multimeter.GetMeasurementUnitsOfElementOfComplexType("msg_MeasVoltResponse", "reading", units));
    EXPECT_EQ(units, "VDC");
    units.clear();
    EXPECT_TRUE(multimeter.GetMeasurementUnitsOfElementOfComplexType("msg_IdnResponse", "firmware", units));
    EXPECT_EQ(units, "");
    EXPECT_FALSE(multimeter.GetMeasurementUnitsOfElementOfComplexType("msg_IdnResponse", "nothing", units));
    CXlatrix device(false);
    ASSERT_TRUE(device.SetSchemaXml(DataPath("xlatrix_blockdevice.daf").c_str()));
    ASSERT_TRUE(device.GetMeasurementUnitsOfElementOfComplexType("msg_TempResponse", "temperature", units));
    EXPECT_EQ(units, "\xB0"
                     "C"); // Latin-1
}

TEST(XlatrixQueries, TraversalWalksIntoNestedGroups) {
    CXlatrix multimeter(false);
    ASSERT_TRUE(multimeter.SetSchemaXml(DataPath("xlatrix_multimeter.daf").c_str()));
    std::vector<std::string> names;
    vr::xml::SchemaElement cursor;
    while (multimeter.TraverseElementsOfComplexType("msg_ConfVolt", cursor)) {
        names.push_back(vr::ToUtf8(cursor.name()));
    }
    EXPECT_EQ(names,
              (std::vector<std::string>{"_strKey1", "range", "_strKey2", "resolution", "_strTermString"}));

    std::u16string name;
    SOMITEMTYPE type = SOMITEM_NULL;
    ASSERT_TRUE(multimeter.TraverseElementsOfComplexType("msg_ConfVolt", name, type));
    EXPECT_EQ(name, u"_strKey1");
    EXPECT_EQ(type, SOMITEM_DATATYPE_STRING);
    name = u"range";
    ASSERT_TRUE(multimeter.TraverseElementsOfComplexType("msg_ConfVolt", name, type));
    EXPECT_EQ(name, u"_strKey2");
    name = u"resolution";
    ASSERT_TRUE(multimeter.TraverseElementsOfComplexType("msg_ConfVolt", name, type));
    EXPECT_EQ(name, u"_strTermString");
    EXPECT_FALSE(multimeter.TraverseElementsOfComplexType("msg_ConfVolt", name, type));
    name = u"nothing";
    EXPECT_FALSE(multimeter.TraverseElementsOfComplexType("msg_ConfVolt", name, type));
}

TEST(XlatrixQueries, TraversalRefusesWhatItCannotWalk) {
    CXlatrix xlatrix(false);
    ASSERT_TRUE(
        LoadTypes(xlatrix, Sequence("Any", Key("_strKey1", "A") + "<xsd:any processContents='skip'/>") +
                               "<xsd:complexType name='Text'><xsd:simpleContent>"
                               "<xsd:extension base='xsd:string'/></xsd:simpleContent></xsd:complexType>"))
        << xlatrix.strErrorText;
    vr::xml::SchemaElement cursor;
    EXPECT_FALSE(xlatrix.TraverseElementsOfComplexType("Any", cursor));
    EXPECT_EQ(xlatrix.strErrorText,
              "CXlatrix::TraverseElementsOfSchemaModelGroup(): itemType == MSXML2::SOMITEM_ANY for 'Any'.\n");
    EXPECT_FALSE(xlatrix.TraverseElementsOfComplexType("Text", cursor));
    EXPECT_EQ(xlatrix.strErrorText, "CXlatrix::TraverseElementsOfComplexType(): Unexpected contentType = "
                                    "'SCHEMACONTENTTYPE_TEXTONLY'.\n");
}

TEST(XlatrixQueries, RootTypeRule) {
    Probe xlatrix;
    ASSERT_TRUE(xlatrix.SetSchemaXml(DataPath("xlatrix_powersupply.daf").c_str()));
    vr::xml::SchemaType root;
    // The chain of restrictions ends at the built-in datatype; a union at its first member.
    vr::xml::SchemaElement cursor;
    ASSERT_TRUE(xlatrix.TraverseElementsOfComplexType("msg_SetVoltText", cursor));
    ASSERT_TRUE(xlatrix.TraverseElementsOfComplexType("msg_SetVoltText", cursor));
    ASSERT_EQ(cursor.name(), u"voltage");
    ASSERT_TRUE(xlatrix.GetRootType(cursor.type(), root));
    EXPECT_EQ(root.itemType(), SOMITEM_DATATYPE_DECIMAL);
    ASSERT_TRUE(xlatrix.GetRootType(vr::xml::BuiltInType(u"short"), root));
    EXPECT_EQ(root.itemType(), SOMITEM_DATATYPE_SHORT);
    // A complex type without a base is its own root: no datatype.
    ASSERT_TRUE(xlatrix.GetRootType(cursor.scope(), root));
    EXPECT_EQ(root.itemType(), SOMITEM_COMPLEXTYPE);
}

TEST(XlatrixQueries, TypesOfDomNodes) {
    vr::xml::Document schemaDocument;
    ASSERT_EQ(vr::xml::Document::Create(&schemaDocument), S_OK);
    ASSERT_EQ(schemaDocument.loadXML(u"<xsd:schema xmlns:xsd='http://www.w3.org/2001/XMLSchema'>"
                                     u"<xsd:element name='reading' type='xsd:double'/></xsd:schema>"),
              S_OK);
    vr::xml::SchemaCache cache;
    ASSERT_EQ(vr::xml::SchemaCache::Create(&cache), S_OK);
    ASSERT_EQ(cache.add(u"", schemaDocument), S_OK);
    vr::xml::Document document;
    ASSERT_EQ(vr::xml::Document::Create(&document), S_OK);
    document.setSchemas(cache);
    ASSERT_EQ(document.loadXML(u"<reading>1.5</reading>"), S_OK);

    Probe xlatrix;
    EXPECT_EQ(xlatrix.bstrTypeOfNode(document.documentElement(), false), u"double");
    EXPECT_EQ(xlatrix.somitemTypeOfNode(document.documentElement(), false), SOMITEM_DATATYPE_DOUBLE);

    vr::xml::Document other;
    ASSERT_EQ(vr::xml::Document::Create(&other), S_OK);
    other.setValidateOnParse(false);
    ASSERT_EQ(other.loadXML(u"<other/>"), S_OK);
    EXPECT_EQ(xlatrix.somitemTypeOfNode(other.documentElement(), false), SOMITEM_NULL);
    EXPECT_EQ(xlatrix.strErrorText,
              "CXlatrix::GetTypeOfNode(): Schema Declaration for 'other' isn't available in "
              "SchemaCache of the XML document.\n");
    xlatrix.strErrorText.clear();
    EXPECT_EQ(xlatrix.bstrTypeOfNode(other.documentElement(), true), u"");
    EXPECT_EQ(xlatrix.strErrorText, "");
}

} // namespace
