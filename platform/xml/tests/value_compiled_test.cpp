// The compiled value checks against the schema check they stand in for: every simple type of the device
// adapters the tests use, the built-in datatypes and a schema of every covered facet, over the fuzz seeds of
// the compose/parse library and generated edge values; both must accept and refuse the same texts.
#include "platform/xml/schema.h"
#include "platform/xml/som_data.h"
#include "platform/xml/tests/xml_test_util.h"
#include "platform/xml/value_check.h"

#include <filesystem>
#include <set>

namespace vr::xml {
namespace {

using detail::SchemaItemData;

// Adapters keep their schema inside a `types` element.
Schema SchemaOfAdapter(const std::string& path) {
    Document adapter = testing::NewDocument();
    EXPECT_EQ(adapter.load(FromUtf8(path)), S_OK) << path;
    Node schemaNode = testing::Select(adapter, u"//types/*");
    Document schemaDocument = testing::Parse(schemaNode.xml());
    Node namespaceNode;
    (void)schemaDocument.selectSingleNode(u"//*/@targetNamespace", &namespaceNode); // absent: no namespace
    std::u16string targetNamespace = namespaceNode ? namespaceNode.nodeValue() : std::u16string();
    SchemaCache cache;
    EXPECT_EQ(SchemaCache::Create(&cache), S_OK);
    EXPECT_EQ(cache.add(targetNamespace, schemaDocument), S_OK) << path << ": " << ToUtf8(ErrorDescription());
    Schema schema;
    EXPECT_EQ(cache.getSchema(targetNamespace, &schema), S_OK) << path;
    return schema;
}

// Every covered facet, derivation steps with patterns of their own, unions, the inline types of the
// compose/parse library's tests and what stays uncovered.
constexpr std::u16string_view kFacetSchema = uR"(<xsd:schema xmlns:xsd="http://www.w3.org/2001/XMLSchema">
  <xsd:simpleType name="Amount"><xsd:restriction base="xsd:decimal">
    <xsd:totalDigits value="5"/><xsd:fractionDigits value="2"/>
    <xsd:minExclusive value="-100.5"/><xsd:maxExclusive value="999.99"/></xsd:restriction></xsd:simpleType>
  <xsd:simpleType name="Code"><xsd:restriction base="xsd:integer">
    <xsd:enumeration value="7"/><xsd:enumeration value="-0012"/></xsd:restriction></xsd:simpleType>
  <xsd:simpleType name="Ratio"><xsd:restriction base="xsd:decimal">
    <xsd:enumeration value="1.50"/><xsd:enumeration value="0"/></xsd:restriction></xsd:simpleType>
  <xsd:simpleType name="Small"><xsd:restriction base="xsd:long">
    <xsd:minInclusive value="-5"/><xsd:maxInclusive value="0005"/><xsd:totalDigits value="1"/>
  </xsd:restriction></xsd:simpleType>
  <xsd:simpleType name="Label"><xsd:restriction base="xsd:string">
    <xsd:minLength value="2"/><xsd:maxLength value="4"/><xsd:pattern value="[A-Zé]+\d?"/>
    <xsd:pattern value="x.*"/></xsd:restriction></xsd:simpleType>
  <xsd:simpleType name="ShortLabel"><xsd:restriction base="Label">
    <xsd:pattern value="[^x]*"/></xsd:restriction></xsd:simpleType>
  <xsd:simpleType name="Word"><xsd:restriction base="xsd:string">
    <xsd:whiteSpace value="collapse"/><xsd:pattern value="\S+( \S+)?"/></xsd:restriction></xsd:simpleType>
  <xsd:simpleType name="Line"><xsd:restriction base="xsd:string">
    <xsd:whiteSpace value="replace"/><xsd:length value="3"/></xsd:restriction></xsd:simpleType>
  <xsd:simpleType name="Bytes"><xsd:restriction base="xsd:hexBinary">
    <xsd:minLength value="1"/><xsd:maxLength value="2"/></xsd:restriction></xsd:simpleType>
  <xsd:simpleType name="Flag"><xsd:union memberTypes="xsd:boolean xsd:unsignedByte Label"/></xsd:simpleType>
  <xsd:simpleType name="Picked"><xsd:restriction base="xsd:string">
    <xsd:whiteSpace value="collapse"/><xsd:enumeration value="A B"/></xsd:restriction></xsd:simpleType>
  <xsd:simpleType name="Gain"><xsd:restriction base="xsd:double">
    <xsd:minInclusive value="0"/></xsd:restriction></xsd:simpleType>
  <xsd:simpleType name="Limited"><xsd:union memberTypes="xsd:int xsd:string">
  </xsd:union></xsd:simpleType>
  <xsd:simpleType name="Names"><xsd:list itemType="xsd:int"/></xsd:simpleType>
  <xsd:simpleType name="Ident"><xsd:restriction base="xsd:string"><xsd:pattern value="ID[0-9A-F]+;"/>
  </xsd:restriction></xsd:simpleType>
  <xsd:simpleType name="Either"><xsd:restriction base="xsd:string"><xsd:pattern value="a;"/>
    <xsd:pattern value="b;"/></xsd:restriction></xsd:simpleType>
  <xsd:simpleType name="Count"><xsd:restriction base="xsd:int"><xsd:maxInclusive value="99"/>
  </xsd:restriction></xsd:simpleType>
  <xsd:simpleType name="Tok"><xsd:restriction base="xsd:token"><xsd:maxLength value="3"/></xsd:restriction>
  </xsd:simpleType>
</xsd:schema>)";

// Texts around the lexical forms and facets of the covered datatypes.
std::vector<std::u16string> EdgeValues() {
    std::vector<std::u16string> values = {
        u"",
        u" ",
        u"\t",
        u"\r\n",
        u"  1",
        u"1 ",
        u" 1 ",
        u"\t1\n",
        u"1 2",
        u"1  2",
        u"A  B",
        u" A B ",
        u"+",
        u"-",
        u"+1",
        u"-1",
        u"-0",
        u"+0",
        u"00",
        u"007",
        u"0.0",
        u"-0.00",
        u"1.",
        u".5",
        u".",
        u"-.5",
        u"+.5e3",
        u"1.50",
        u"1.5",
        u"-12",
        u"-0012",
        u"7.0",
        u"1e",
        u"1e+",
        u"1E-",
        u"1e5",
        u"1.5E+10",
        u"1e39",
        u"1e309",
        u"-1e400",
        u"e5",
        u".e5",
        u"1e5.5",
        u"1ee5",
        u"NaN",
        u"nan",
        u"INF",
        u"-INF",
        u"+INF",
        u"inf",
        u"Infinity",
        u"-NaN",
        u"0x1F",
        u"1,5",
        u"1 000",
        u"--1",
        u"+-1",
        u"-+1",
        u"999999999999999999999999",
        u"9999999999999999999999999",
        u"999999999999999999999999999999",
        u"000000000000000000000000000001",
        u"0.000000000000000000000000001",
        u"1.000000000000000000000000000",
        u"12345678901234567890.1234",
        u"12345678901234567890.12345",
        u"2147483647",
        u"2147483648",
        u"-2147483648",
        u"-2147483649",
        u"4294967295",
        u"4294967296",
        u"9223372036854775807",
        u"9223372036854775808",
        u"-9223372036854775808",
        u"-9223372036854775809",
        u"18446744073709551615",
        u"18446744073709551616",
        u"127",
        u"128",
        u"-128",
        u"-129",
        u"255",
        u"256",
        u"32767",
        u"32768",
        u"65535",
        u"65536",
        u"-100.5",
        u"-100.49",
        u"999.99",
        u"999.98",
        u"123.456",
        u"12345",
        u"1234.5",
        u"5",
        u"6",
        u"-5",
        u"-6",
        u"true",
        u"false",
        u"TRUE",
        u"2",
        u"0F",
        u"0f",
        u"F",
        u"ABCD",
        u"ABCDE",
        u"ABCDEF",
        u"GG",
        u"\u00e9",
        u"1\u00e9",
        u"\u00a01",
        u"\u00b5V",
        u"\u00ff",
        u"\u0001",
        u"\u007f",
        u"a\u2028",
        u"AB",
        u"ABC",
        u"ABCD1",
        u"\u00e9\u00e91",
        u"xyz",
        u"xyzzy",
        u"AxB",
        u"ON",
        u"OFF",
        u" ON",
        u"on",
        u"VOLT",
        u"CURR",
        u"RES",
        u"OK",
        u"ER",
        u"a,b",
        u"\"x\"",
        u"&",
        u"<a>",
        u"]]>",
        u"ID0F;",
        u"IDx;",
        u"a;",
        u"b;",
        u"a;b;",
        u"99",
        u"100",
        u"a b",
        u"a\tb",
        u"a\nb",
        u"  a   b  ",
        std::u16string(1, u'\0'),
        std::u16string(u"1\0"
                       u"2",
                       3),
        u"\xd800",
        u"VORNIC",
        u"12.50V",
        u"CH1:ON",
    };
    return values;
}

// The answers of the fuzz seeds (after their option byte) and every piece of them, as the parse tries
// candidate texts at every start and length.
std::vector<std::u16string> SeedPieces() {
    std::set<std::u16string> pieces;
    for (const auto& entry :
         std::filesystem::directory_iterator(VR_SOURCE_DIR "/instruments/Xlatrix/fuzz/seeds")) {
        std::string bytes = testing::ReadFile(entry.path().string());
        std::u16string answer = bytes.size() > 1 ? FromLatin1(std::string_view(bytes).substr(1)) : u"";
        for (size_t start = 0; start < answer.size(); ++start) {
            for (size_t length = 1; start + length <= answer.size(); ++length) {
                pieces.insert(answer.substr(start, length));
            }
        }
    }
    return {pieces.begin(), pieces.end()};
}

// The simple types of a schema, named and anonymous.
std::vector<const SchemaItemData*> SimpleTypesOf(const Schema& schema) {
    std::vector<const SchemaItemData*> types;
    const SchemaItemData* root = detail::SchemaAccess::Data(schema);
    for (const auto& item : root->schema->items) {
        if (item->itemType == SOMITEM_SIMPLETYPE) {
            types.push_back(item.get());
        }
    }
    return types;
}

struct Tally {
    int types = 0;
    int compiled = 0;
    int checks = 0;
};

// Both checks over every value; each difference names the type, the text and both answers.
void Compare(const std::vector<const SchemaItemData*>& types, const std::vector<std::u16string>& values,
             const std::string& where, Tally& tally) {
    int differences = 0;
    for (const SchemaItemData* type : types) {
        ++tally.types;
        std::string name = where + ":" + (type->name.empty() ? "(anonymous)" : ToUtf8(type->name));
        for (const std::u16string& value : values) {
            HRESULT bySchema = detail::CheckValueBySchema(*type, value);
            HRESULT fast = detail::CheckValue(*type, value);
            ++tally.checks;
            if (fast != bySchema && ++differences <= 60) {
                ADD_FAILURE() << name << " '" << ToUtf8(value) << "': compiled " << fast << ", schema "
                              << bySchema;
            }
        }
        tally.compiled += type->compiled != nullptr ? 1 : 0;
    }
    EXPECT_EQ(differences, 0) << where;
}

TEST(CompiledValueCheck, AgreesWithTheSchemaCheck) {
    std::vector<std::u16string> values = EdgeValues();
    std::vector<std::u16string> pieces = SeedPieces();
    values.insert(values.end(), pieces.begin(), pieces.end());

    Tally adapters;
    for (const char* file :
         {"tests/data/xlatrix_blockdevice.daf", "tests/data/xlatrix_multimeter.daf",
          "tests/data/xlatrix_powersupply.daf", "tests/data/plugmar_multimeter.daf",
          "tests/data/plugmar_powersupply.daf", "tests/userside/data/bench_powersupply.daf",
          "tests/userside/data/bench_multimeter.daf", "docs/user-guide/psu.daf"}) {
        Schema schema = SchemaOfAdapter(std::string(VR_SOURCE_DIR) + "/" + file);
        ASSERT_TRUE(schema) << file;
        Compare(SimpleTypesOf(schema), values, file, adapters);
    }
    // Every simple type of the adapters is compiled: the differences above are not left to the fallback.
    EXPECT_EQ(adapters.compiled, adapters.types);

    Tally builtIns;
    std::vector<const SchemaItemData*> datatypes;
    for (const SchemaItemData* type : detail::BuiltInSchema()->root->types) {
        if (type->itemType != SOMITEM_ANYTYPE) {
            datatypes.push_back(type);
        }
    }
    Compare(datatypes, values, "xsd", builtIns);
    EXPECT_GE(builtIns.compiled, 19); // string, boolean, decimal, double, float, hexBinary, 13 integers

    Tally facets;
    Schema facetSchema;
    {
        SchemaCache cache;
        ASSERT_EQ(SchemaCache::Create(&cache), S_OK);
        ASSERT_EQ(cache.add(u"", testing::Parse(kFacetSchema)), S_OK) << ToUtf8(ErrorDescription());
        ASSERT_EQ(cache.getSchema(u"", &facetSchema), S_OK);
    }
    Compare(SimpleTypesOf(facetSchema), values, "facets", facets);
    EXPECT_GE(facets.compiled, 14);
    EXPECT_LT(facets.compiled, facets.types); // the uncovered ones are checked by the schema alone
}

} // namespace
} // namespace vr::xml
