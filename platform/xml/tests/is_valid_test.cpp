// Whether texts are valid values of schema types: built-in datatypes, facets and XSD patterns, derived,
// list and union types, complex types with simple content, and checks from several threads.
#include "platform/xml/schema.h"
#include "platform/xml/tests/schema_samples.h"
#include "platform/xml/tests/xml_test_util.h"
#include "platform/xml/value_check.h"

#include <atomic>
#include <thread>

namespace vr::xml {
namespace {

using testing::Parse;

Schema SchemaOf(std::u16string_view text, std::u16string_view targetNamespace) {
    SchemaCache cache;
    EXPECT_EQ(SchemaCache::Create(&cache), S_OK);
    EXPECT_EQ(cache.add(targetNamespace, Parse(text)), S_OK) << ToUtf8(ErrorDescription());
    Schema schema;
    EXPECT_EQ(cache.getSchema(targetNamespace, &schema), S_OK);
    return schema;
}

SchemaType DeviceType(std::u16string_view name) {
    return SchemaOf(testing::kDeviceSchema, u"urn:vornic:dev:psu").types().itemByName(name).AsType();
}

TEST(IsValid, BuiltInDatatypesFollowXsd) {
    SchemaType integer = BuiltInType(u"int");
    EXPECT_EQ(integer.isValid(u"12"), S_OK);
    EXPECT_EQ(integer.isValid(u" -12 "), S_OK); // white space collapses
    EXPECT_EQ(integer.isValid(u"1.5"), S_FALSE);
    EXPECT_EQ(integer.isValid(u"2147483648"), S_FALSE);
    EXPECT_EQ(integer.isValid(u""), S_FALSE);
    SchemaType dbl = BuiltInType(u"double");
    EXPECT_EQ(dbl.isValid(u"1e3"), S_OK);
    EXPECT_EQ(dbl.isValid(u"INF"), S_OK);
    EXPECT_EQ(dbl.isValid(u"0x1F"), S_FALSE);
    EXPECT_EQ(BuiltInType(u"boolean").isValid(u"1"), S_OK);
    EXPECT_EQ(BuiltInType(u"boolean").isValid(u"yes"), S_FALSE);
    EXPECT_EQ(BuiltInType(u"unsignedByte").isValid(u"256"), S_FALSE);
    EXPECT_EQ(BuiltInType(u"dateTime").isValid(u"2024-02-29T10:00:00"), S_OK);
    EXPECT_EQ(BuiltInType(u"dateTime").isValid(u"2023-02-29T10:00:00"), S_FALSE);
    EXPECT_EQ(BuiltInType(u"string").isValid(u"<any & text>"), S_OK);
    EXPECT_EQ(BuiltInType(u"anyType").isValid(u"whatever"), S_OK);
    EXPECT_EQ(SchemaType().isValid(u"1"), E_POINTER);
}

TEST(IsValid, FloatingValuesNeedDigitsAfterTheExponentMark) {
    for (std::u16string_view name : {u"double", u"float"}) {
        SchemaType type = BuiltInType(name);
        EXPECT_EQ(type.isValid(u"1e"), S_FALSE);
        EXPECT_EQ(type.isValid(u"2.5E+"), S_FALSE);
        EXPECT_EQ(type.isValid(u"-1E-"), S_FALSE);
        EXPECT_EQ(type.isValid(u"."), S_FALSE);
        EXPECT_EQ(type.isValid(u" 1.5e-3 "), S_OK);
        EXPECT_EQ(type.isValid(u"-.5E+2"), S_OK);
        EXPECT_EQ(type.isValid(u"7."), S_OK);
        EXPECT_EQ(type.isValid(u"-INF"), S_OK);
    }
    SchemaType derived = SchemaOf(uR"(<xsd:schema xmlns:xsd="http://www.w3.org/2001/XMLSchema"
            targetNamespace="urn:vornic:test:float" xmlns="urn:vornic:test:float">
          <xsd:simpleType name="Gain"><xsd:restriction base="xsd:double">
            <xsd:minInclusive value="0"/></xsd:restriction></xsd:simpleType>
        </xsd:schema>)",
                                  u"urn:vornic:test:float")
                             .types()
                             .itemByName(u"Gain")
                             .AsType();
    EXPECT_EQ(derived.isValid(u"1e"), S_FALSE);
    EXPECT_EQ(derived.isValid(u"1e2"), S_OK);
}

TEST(IsValid, FacetsOfDerivedTypesIncludeTheirBases) {
    SchemaType low = DeviceType(u"LowVoltage");
    EXPECT_EQ(low.isValid(u"4.5"), S_OK);
    EXPECT_EQ(low.isValid(u"6"), S_FALSE);  // its own maxInclusive
    EXPECT_EQ(low.isValid(u"-1"), S_FALSE); // Voltage's minInclusive
    SchemaType sw = DeviceType(u"Switch");
    EXPECT_EQ(sw.isValid(u"1"), S_OK);
    EXPECT_EQ(sw.isValid(u"ON"), S_FALSE);
    SchemaType level = DeviceType(u"Level");
    EXPECT_EQ(level.isValid(u"MAX"), S_OK);
    EXPECT_EQ(level.isValid(u"3.3"), S_OK);
    EXPECT_EQ(level.isValid(u"7"), S_FALSE);
    SchemaType channels = DeviceType(u"Channels");
    EXPECT_EQ(channels.isValid(u"1 2 3"), S_OK);
    EXPECT_EQ(channels.isValid(u"1 x"), S_FALSE);
}

TEST(IsValid, PatternsMatchTheWholeText) {
    SchemaType gap = DeviceType(u"Gap");
    EXPECT_EQ(gap.isValid(u"Wl: 12\r\n"), S_OK);
    EXPECT_EQ(gap.isValid(u"\r\n"), S_OK);
    EXPECT_EQ(gap.isValid(u"abc"), S_FALSE);
    EXPECT_EQ(gap.isValid(u"a\r\nb\r\n"), S_FALSE);
}

TEST(IsValid, ComplexTypesCheckTheirTextContent) {
    SchemaComplexType reading = DeviceType(u"Reading").AsComplexType();
    EXPECT_EQ(reading.isValid(u"1.5"), S_OK);
    EXPECT_EQ(reading.isValid(u"1.5V"), S_FALSE);
    EXPECT_EQ(DeviceType(u"SetVolt").isValid(u"VOLT 1"), S_FALSE);
}

// The specification validator's way: an element built with prefixed names, appended to a template that
// declares the prefixes, the text parsed again, compiled, and the first element's type asked.
SchemaType TypeOfBuiltElement(const std::u16string& type,
                              const std::vector<std::pair<std::u16string, std::u16string>>& facets,
                              const std::u16string& fixed = u"") {
    Document working =
        Parse(u"<xsd:schema xmlns:xsd='http://www.w3.org/2001/XMLSchema' "
              u"xmlns:vra='urn:vornic:adapter-annotations' xmlns:vrt='urn:vornic:object-attributes'/>");
    Node element;
    EXPECT_EQ(working.createElement(u"xsd:element", &element), S_OK);
    EXPECT_EQ(working.documentElement().appendChild(element), S_OK);
    EXPECT_EQ(element.setAttribute(u"name", u"dX"), S_OK);
    if (facets.empty()) {
        EXPECT_EQ(element.setAttribute(u"type", u"xsd:" + type), S_OK);
        if (!fixed.empty()) {
            EXPECT_EQ(element.setAttribute(u"fixed", fixed), S_OK);
        }
    } else {
        Node simple, restriction;
        EXPECT_EQ(working.createElement(u"xsd:simpleType", &simple), S_OK);
        EXPECT_EQ(working.createElement(u"xsd:restriction", &restriction), S_OK);
        EXPECT_EQ(restriction.setAttribute(u"base", u"xsd:" + type), S_OK);
        EXPECT_EQ(simple.appendChild(restriction), S_OK);
        EXPECT_EQ(element.appendChild(simple), S_OK);
        for (const auto& [name, value] : facets) {
            Node facet;
            EXPECT_EQ(working.createElement(u"xsd:" + name, &facet), S_OK);
            EXPECT_EQ(facet.setAttribute(u"value", value), S_OK);
            EXPECT_EQ(restriction.appendChild(facet), S_OK);
        }
    }
    EXPECT_EQ(working.loadXML(working.xml()), S_OK) << ToUtf8(working.parseError().reason);
    Node targetNamespace;
    EXPECT_EQ(working.selectSingleNode(u"//*/@targetNamespace", &targetNamespace), S_FALSE);
    SchemaCache cache;
    EXPECT_EQ(SchemaCache::Create(&cache), S_OK);
    EXPECT_EQ(cache.add(u"", working), S_OK) << ToUtf8(ErrorDescription());
    Schema schema;
    EXPECT_EQ(cache.getSchema(u"", &schema), S_OK);
    return schema.elements().item(0).AsElement().type();
}

SchemaType TypeOfBuiltElementForWhiteSpace(const std::u16string& base) {
    return TypeOfBuiltElement(base, {{u"pattern", u"a b"}});
}

TEST(IsValid, ElementsBuiltByTheSchemaFactory) {
    SchemaType dX = TypeOfBuiltElement(
        u"double", {{u"pattern", u"\\d*.\\d{1}"}, {u"minInclusive", u"0.0"}, {u"maxInclusive", u"17.0"}});
    EXPECT_EQ(dX.isValid(u"1.0"), S_OK);
    EXPECT_EQ(dX.isValid(u"1.000"), S_FALSE); // the pattern
    EXPECT_EQ(dX.isValid(u"100.0"), S_FALSE); // maxInclusive
    SchemaType nX = TypeOfBuiltElement(u"int", {}, u"10");
    EXPECT_EQ(nX.isValid(u"10"), S_OK);
    EXPECT_EQ(nX.isValid(u"1"), S_OK); // fixed takes no part
    SchemaType text = TypeOfBuiltElement(u"string", {{u"pattern", u"[^~]*Wl: "}, {u"maxLength", u"100"}});
    EXPECT_EQ(text.isValid(u"abc Wl: "), S_OK);
    EXPECT_EQ(text.isValid(u"abc~Wl: "), S_FALSE);
}

TEST(IsValid, SmallSchemaOfANamedTypeCarriesWhatItRefersTo) {
    Schema schema = SchemaOf(testing::kDeviceSchema, u"urn:vornic:dev:psu");
    const detail::SchemaItemData* low = detail::SchemaAccess::Data(schema.types().itemByName(u"LowVoltage"));
    std::string elementNamespace;
    std::string text = detail::ValueSchemaText(*low, &elementNamespace);
    EXPECT_EQ(elementNamespace, "urn:vornic:dev:psu");
    EXPECT_NE(text.find("name=\"Voltage\""), std::string::npos) << text;
    EXPECT_EQ(text.find("name=\"Switch\""), std::string::npos) << text;     // only what it needs
    EXPECT_EQ(text.find("name=\"LowVoltage\""), std::string::npos) << text; // stands anonymous
}

TEST(IsValid, WhiteSpaceIsHandledAsTheTypeSays) {
    EXPECT_EQ(BuiltInType(u"decimal").isValid(u"\t1.5\r\n"), S_OK);
    EXPECT_EQ(BuiltInType(u"boolean").isValid(u" true "), S_OK);
    EXPECT_EQ(BuiltInType(u"token").isValid(u" a   b "), S_OK);
    SchemaType exact = TypeOfBuiltElementForWhiteSpace(u"string");
    EXPECT_EQ(exact.isValid(u"a b"), S_OK);
    EXPECT_EQ(exact.isValid(u" a b"), S_FALSE); // strings keep their blanks
    SchemaType collapsed = TypeOfBuiltElementForWhiteSpace(u"token");
    EXPECT_EQ(collapsed.isValid(u"  a \t b "), S_OK); // the pattern sees "a b"
}

TEST(IsValid, ChecksFromSeveralThreadsAgree) {
    SchemaType low = DeviceType(u"LowVoltage");
    SchemaType integer = BuiltInType(u"int");
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 500; ++i) {
                bool inRange = (i + t) % 10 <= 5;
                std::u16string value = FromUtf8(std::to_string((i + t) % 10));
                if (low.isValid(value) != (inRange ? S_OK : S_FALSE) || integer.isValid(value) != S_OK) {
                    ++wrong;
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(wrong.load(), 0);
}

} // namespace
} // namespace vr::xml
