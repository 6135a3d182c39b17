// Loading attributes from schema documents: scopes, types, annotations, enumerations, aliases, first values
// and the failures of a load.
#include "attributes/tests/collection_fixture.h"
#include "attributes/tests/test_schemas.h"

#include "common/trace/Trace.h"

namespace tabtest {
namespace {

class SchemaLoadTest : public CollectionTest {
protected:
    void SetUp() override {
        CollectionTest::SetUp();
        connection_ = WriteFile("connection.xml", kConnectionSchema);
        types_ = WriteFile("types.xml", kTypesSchema);
    }
    std::u16string connection_;
    std::u16string types_;
};

LONG NumId(IVrAttributeCollection* collection, const char16_t* name) {
    LONG id = -99;
    EXPECT_EQ(collection->GetAttributeNumID(_bstr_t(name), &id), S_OK);
    return id;
}

std::string ClassOf(IVrAttributeCollection* collection, const char16_t* name) {
    BSTR text = nullptr;
    EXPECT_EQ(collection->GetAttributeClass(_bstr_t(name), &text), S_OK);
    std::string result = U8(vr::BstrView(text));
    SysFreeString(text);
    return result;
}

VARTYPE TypeOf(IVrAttributeCollection* collection, const char16_t* name) {
    VARIANT type;
    VariantInit(&type);
    EXPECT_EQ(collection->GetAttributeType(_bstr_t(name), &type), S_OK);
    VARTYPE vt = type.vt;
    static_cast<void>(VariantClear(&type));
    return vt;
}

std::vector<std::string> ValidValues(IVrAttributeCollection* collection, const char16_t* name) {
    VARIANT values;
    VariantInit(&values);
    EXPECT_EQ(collection->GetAttributeValidValues(_bstr_t(name), &values), S_OK);
    std::vector<std::string> texts;
    EXPECT_EQ(values.vt, VT_ARRAY | VT_VARIANT);
    LONG upper = -1;
    static_cast<void>(SafeArrayGetUBound(values.parray, 1, &upper));
    for (LONG i = 0; i <= upper; ++i) {
        VARIANT item;
        VariantInit(&item);
        static_cast<void>(SafeArrayGetElement(values.parray, &i, &item));
        texts.push_back(U8(VariantToText(&item)));
        static_cast<void>(VariantClear(&item));
    }
    static_cast<void>(VariantClear(&values));
    return texts;
}

TEST_F(SchemaLoadTest, ScopeElementsGiveQualifiedNamesDefaultsAndAnnotations) {
    auto collection = NewCollection();
    ASSERT_EQ(Load(collection.Get(), connection_, u"/attributes/serial", u"VISA"), S_OK) << ErrorText();
    EXPECT_EQ(Names(collection.Get()),
              (std::vector<std::string>{"VISA:BaudRate", "VISA:DataBits", "VISA:Parity", "VISA:StopBits",
                                        "VISA:Timeout"}));
    EXPECT_EQ(GetText(collection.Get(), u"visa:timeout"), "2000");
    EXPECT_EQ(TypeOf(collection.Get(), u"Timeout"), VT_I4);
    EXPECT_EQ(TypeOf(collection.Get(), u"Parity"), VT_BSTR);
    EXPECT_EQ(NumId(collection.Get(), u"BaudRate"), 0x3FFF0021);
    EXPECT_EQ(ClassOf(collection.Get(), u"Timeout"), "Local");
    EXPECT_EQ(ClassOf(collection.Get(), u"BaudRate"), "Global");
    BSTR name = nullptr;
    EXPECT_EQ(collection->GetAttributeNumIDName(0x3FFF0024, &name), S_OK);
    EXPECT_EQ(U8(vr::BstrView(name)), "VISA:StopBits");
    SysFreeString(name);
    name = nullptr;
    EXPECT_EQ(collection->GetAttributeNumIDName(12345, &name), S_OK);
    EXPECT_EQ(name, nullptr);
}

TEST_F(SchemaLoadTest, EnumerationsOfNumbersAreValuesWithoutIndexes) {
    auto collection = NewCollection();
    ASSERT_EQ(Load(collection.Get(), connection_, u"/attributes/serial/", u"VISA"), S_OK) << ErrorText();
    EXPECT_EQ(ValidValues(collection.Get(), u"BaudRate").size(), 11u);
    EXPECT_EQ(ValidValues(collection.Get(), u"Timeout"), std::vector<std::string>{"0"});
    // A number is a value here, not an index: 5 is no baud rate.
    EXPECT_EQ(Set(collection.Get(), u"BaudRate", _variant_t(LONG{5})), E_INVALIDARG);
    EXPECT_EQ(ErrorText(), "The value '5' is not valid according to the schema of the 'VISA:BaudRate' object "
                           "attribute.");
    EXPECT_EQ(Set(collection.Get(), u"BaudRate", _variant_t(LONG{19200})), S_OK);
    _variant_t asked = Get(collection.Get(), u"BaudRate", VT_I4);
    EXPECT_EQ(asked.vt, VT_I4);
    EXPECT_EQ(asked.lVal, 19200);
}

TEST_F(SchemaLoadTest, StringEnumerationsTakeIndexesFromAnnotationsInEveryBase) {
    auto collection = NewCollection();
    ASSERT_EQ(Load(collection.Get(), connection_, u"/attributes/serial", u"VISA"), S_OK) << ErrorText();
    EXPECT_EQ(Set(collection.Get(), u"StopBits", _variant_t(LONG{15})), S_OK) << ErrorText();
    EXPECT_EQ(GetText(collection.Get(), u"StopBits"), "ASRL_STOP_ONE5");
    EXPECT_EQ(Get(collection.Get(), u"StopBits", VT_I4).lVal, 15);
    EXPECT_EQ(Set(collection.Get(), u"StopBits", _variant_t(LONG{20})), S_OK) << ErrorText(); // octal "024"
    EXPECT_EQ(GetText(collection.Get(), u"StopBits"), "ASRL_STOP_TWO");
    EXPECT_EQ(Set(collection.Get(), u"Parity", _variant_t(LONG{2})), S_OK);
    EXPECT_EQ(GetText(collection.Get(), u"Parity"), "ASRL_PAR_EVEN");
    _variant_t small = Get(collection.Get(), u"Parity", VT_I2);
    EXPECT_EQ(small.vt, VT_I2);
    EXPECT_EQ(small.iVal, 2);
    VARIANT index;
    VariantInit(&index);
    EXPECT_EQ(collection->ConvertValueToEnumIndex(_bstr_t(u"StopBits"), _variant_t(u"ASRL_STOP_ONE"), &index),
              S_OK);
    EXPECT_EQ(index.vt, VT_I4);
    EXPECT_EQ(index.lVal, 10);
    EXPECT_EQ(
        collection->ConvertValueToEnumIndex(_bstr_t(u"StopBits"), _variant_t(u"ASRL_STOP_NONE"), &index),
        E_FAIL);
    EXPECT_EQ(ErrorText(),
              "'VISA:StopBits' object attribute: value 'ASRL_STOP_NONE' can't be coerced to Enum Index.");
    EXPECT_EQ(collection->ConvertValueToEnumIndex(_bstr_t(u"Timeout"), _variant_t(u"1"), &index), E_FAIL);
}

TEST_F(SchemaLoadTest, ApostrophesAndQuotesInEnumerationTextsFindTheirIndexes) {
    auto collection = NewCollection();
    ASSERT_EQ(Load(collection.Get(), types_), S_OK) << ErrorText();
    EXPECT_EQ(Get(collection.Get(), u"Quote", VT_I4).lVal, 7);
    ASSERT_EQ(Set(collection.Get(), u"Quote", _variant_t(LONG{8})), S_OK) << ErrorText();
    EXPECT_EQ(GetText(collection.Get(), u"Quote"), "say \"hi\"");
    ASSERT_EQ(Set(collection.Get(), u"Quote", _variant_t(LONG{9})), S_OK) << ErrorText();
    EXPECT_EQ(GetText(collection.Get(), u"Quote"), "both ' and \"");
    // A wrong index keeps the position (3) after its warning.
    EXPECT_TRUE(
        Traced("WARNING: 'Quote' object attribute: Enumeration 'plain' has a wrong value for it's numeric "
               "index 'x1'."));
    ASSERT_EQ(Set(collection.Get(), u"Quote", _variant_t(LONG{3})), S_OK) << ErrorText();
    EXPECT_EQ(GetText(collection.Get(), u"Quote"), "plain");
}

TEST_F(SchemaLoadTest, DatatypesMapToValueTypes) {
    auto collection = NewCollection();
    ASSERT_EQ(Load(collection.Get(), types_), S_OK) << ErrorText();
    struct Expected {
        const char16_t* name;
        VARTYPE vt;
        const char* text;
    };
    for (const Expected& e : {Expected{u"Flag", VT_BOOL, "True"}, Expected{u"Small", VT_I1, "-5"},
                              Expected{u"Octet", VT_UI1, "200"}, Expected{u"Short", VT_I2, "-300"},
                              Expected{u"Word", VT_UI2, "60000"}, Expected{u"Long", VT_I4, "7"},
                              Expected{u"Unsigned", VT_UI4, "4000000000"},
                              Expected{u"Ratio", VT_R4, "0.500000"}, Expected{u"Count", VT_R8, "12"},
                              Expected{u"Amount", VT_BSTR, "1.25"}, Expected{u"Level", VT_R8, "50"}}) {
        EXPECT_EQ(TypeOf(collection.Get(), e.name), e.vt) << U8(e.name);
        EXPECT_EQ(GetText(collection.Get(), e.name), e.text) << U8(e.name);
    }
    // A type derived in two steps keeps the facets of both.
    EXPECT_EQ(Set(collection.Get(), u"Level", _variant_t(101.0)), E_INVALIDARG);
    EXPECT_EQ(Set(collection.Get(), u"Level", _variant_t(-1.0)), E_INVALIDARG);
    EXPECT_EQ(Set(collection.Get(), u"Level", _variant_t(u"99.5")), S_OK);
    EXPECT_EQ(NumId(collection.Get(), u"Flag"), 0);
    EXPECT_EQ(ClassOf(collection.Get(), u"Flag"), "");
}

TEST_F(SchemaLoadTest, AnnotationsAreMatchedByLocalNameInAnyNamespaceAndCase) {
    auto collection = NewCollection();
    ASSERT_EQ(Load(collection.Get(), types_), S_OK) << ErrorText();
    // VALIDATE off (foreign namespace): a value outside the type's space is only coerced.
    EXPECT_EQ(Set(collection.Get(), u"Loose", _variant_t(u" 12 ")), S_OK) << ErrorText();
    EXPECT_EQ(Get(collection.Get(), u"Loose").lVal, 12);
    // A NUMID that is no number leaves 0 and warns with the annotation's name.
    EXPECT_EQ(NumId(collection.Get(), u"BadNumber"), 0);
    EXPECT_TRUE(Traced("('12abc'): The value cannot be represented because of wrong character(s): 'abc'."));
    EXPECT_TRUE(
        Traced("WARNING: 'BadNumber' object attribute: 'vrt:numid' attribute should have a Numeric value."));
}

TEST_F(SchemaLoadTest, AttributesWithoutDefaultStayEmpty) {
    auto collection = NewCollection();
    ASSERT_EQ(Load(collection.Get(), connection_, u"/attributes/connection", u"Connection"), S_OK)
        << ErrorText();
    _variant_t value = Get(collection.Get(), u"SimulationFile");
    EXPECT_EQ(value.vt, VT_EMPTY);
    EXPECT_TRUE(
        Traced("'Connection:SimulationFile' object attribute: Couldn't get Attribute's value, because it's "
               "Empty."));
    EXPECT_EQ(GetText(collection.Get(), u"SimulationFileRecordID"), "record");
    EXPECT_EQ(NumId(collection.Get(), u"EndCharsToSend"), 15); // octal "017"
    // REGISTRYROOTKEY is there but neither counted nor enumerated.
    EXPECT_TRUE(Has(collection.Get(), u"RegistryRootKey"));
    EXPECT_EQ(Count(collection.Get()), 5);
}

TEST_F(SchemaLoadTest, SettingsGiveFirstValuesAndTheLastMatchingItemWins) {
    auto collection = NewCollection();
    ASSERT_EQ(Load(collection.Get(), connection_, u"/attributes/serial", u"VISA",
                   u"Timeout=1000 VISA:Timeout=3000, Unknown=1; Parity=ASRL_PAR_ODD"),
              S_OK)
        << ErrorText();
    EXPECT_EQ(GetText(collection.Get(), u"Timeout"), "3000");
    EXPECT_EQ(GetText(collection.Get(), u"Parity"), "ASRL_PAR_ODD");
    auto reversed = NewCollection();
    ASSERT_EQ(
        Load(reversed.Get(), connection_, u"/attributes/serial", u"VISA", u"visa:timeout=3000 TIMEOUT=1000"),
        S_OK);
    EXPECT_EQ(GetText(reversed.Get(), u"Timeout"), "1000");
}

TEST_F(SchemaLoadTest, AliasesLoadBeforeAttributesAndServeSettings) {
    auto collection = NewCollection();
    ASSERT_EQ(Load(collection.Get(), connection_, u"/attributes/connection", u"Connection",
                   u"Sim=Write Record=rec7"),
              S_OK)
        << ErrorText();
    EXPECT_EQ(GetText(collection.Get(), u"Connection:Simulation"), "Write");
    EXPECT_EQ(GetText(collection.Get(), u"Old:Record"), "rec7");
    EXPECT_EQ(GetText(collection.Get(), u"sim"), "Write");
    // An alias entry without a value defines nothing.
    EXPECT_FALSE(Has(collection.Get(), u"Incomplete"));
}

TEST_F(SchemaLoadTest, TrailingSlashAndRootSelectTheSameChildren) {
    auto withSlash = NewCollection();
    auto without = NewCollection();
    ASSERT_EQ(Load(withSlash.Get(), connection_, u"/attributes/connection/", u"C"), S_OK);
    ASSERT_EQ(Load(without.Get(), connection_, u"/attributes/connection", u"C"), S_OK);
    EXPECT_EQ(Names(withSlash.Get()), Names(without.Get()));
    auto root = NewCollection();
    ASSERT_EQ(Load(root.Get(), types_), S_OK);
    EXPECT_EQ(Count(root.Get()), 15);
}

TEST_F(SchemaLoadTest, LoadingTwiceFailsOnTheFirstElement) {
    auto collection = NewCollection();
    ASSERT_EQ(Load(collection.Get(), connection_, u"/attributes/gpib", u"VISA"), S_OK);
    EXPECT_EQ(Load(collection.Get(), connection_, u"/attributes/gpib", u"VISA"), TYPE_E_NAMECONFLICT);
    EXPECT_EQ(ErrorText(), "The 'VISA:Timeout' object attribute has multiple definitions.");
}

TEST_F(SchemaLoadTest, TwoScopesInOneCollectionMakeShortNamesAmbiguous) {
    auto collection = NewCollection();
    ASSERT_EQ(Load(collection.Get(), connection_, u"/attributes/gpib", u"VISA"), S_OK);
    ASSERT_EQ(Load(collection.Get(), connection_, u"/attributes/tcpip", u"TCPIP"), S_OK);
    _bstr_t name(u"Timeout");
    VARIANT_BOOL has = VARIANT_FALSE;
    EXPECT_EQ(collection->HasAttribute(name, &has), TYPE_E_AMBIGUOUSNAME);
    EXPECT_EQ(ErrorText(), "The object attribute's name 'TIMEOUT' is ambiguous.");
    EXPECT_EQ(GetText(collection.Get(), u"VISA:Timeout"), "3000");
    EXPECT_EQ(GetText(collection.Get(), u"tcpip:timeout"), "5000");
}

TEST_F(SchemaLoadTest, FailuresOfALoad) {
    auto collection = NewCollection();
    EXPECT_EQ(Load(collection.Get(), connection_, u"/attributes/nothing"), E_INVALIDARG);
    EXPECT_NE(ErrorText().find("XPath '/attributes/nothing/*' doesn't have 'xsd:schema' definition element."),
              std::string::npos);
    EXPECT_TRUE(FAILED(Load(collection.Get(), u"/no/such/file.xml")));
    EXPECT_TRUE(Traced("-- Parse Error --"));
    std::u16string broken = WriteFile("broken.xml", "<attributes><xsd:schema");
    EXPECT_TRUE(FAILED(Load(collection.Get(), broken)));

    std::u16string complex = WriteFile("complex.xml", R"(<attributes>
      <xsd:schema xmlns:xsd="http://www.w3.org/2001/XMLSchema">
        <xsd:element name="First" type="xsd:int" default="1"/>
        <xsd:element name="Record"><xsd:complexType><xsd:sequence>
          <xsd:element name="Inner" type="xsd:int"/></xsd:sequence></xsd:complexType></xsd:element>
      </xsd:schema></attributes>)");
    EXPECT_EQ(Load(collection.Get(), complex), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(ErrorText(), "'Record' object attribute isn't a SOMITEM_DATATYPE.");
    // What was created before the failure stays.
    EXPECT_EQ(GetText(collection.Get(), u"First"), "1");

    std::u16string badDefault = WriteFile("baddefault.xml", R"(<attributes>
      <xsd:schema xmlns:xsd="http://www.w3.org/2001/XMLSchema">
        <xsd:element name="Mode" default="Fast"><xsd:simpleType><xsd:restriction base="xsd:string">
          <xsd:enumeration value="Slow"/></xsd:restriction></xsd:simpleType></xsd:element>
      </xsd:schema></attributes>)");
    // The schema processor refuses such a schema already; either way the load fails and creates nothing.
    auto other = NewCollection();
    EXPECT_TRUE(FAILED(Load(other.Get(), badDefault)));
    EXPECT_NE(ErrorText().find("Fast"), std::string::npos);
    EXPECT_EQ(Count(other.Get()), 0);
}

TEST_F(SchemaLoadTest, ASchemaWithoutElementsLoadsNothing) {
    std::u16string empty = WriteFile("empty.xml", R"(<attributes>
      <xsd:schema xmlns:xsd="http://www.w3.org/2001/XMLSchema"/></attributes>)");
    auto collection = NewCollection();
    EXPECT_EQ(Load(collection.Get(), empty, u"", u"TestEngine"), S_OK);
    EXPECT_EQ(Count(collection.Get()), 0);
    EXPECT_TRUE(Traced("AttributeCollection loaded from '"));
}

} // namespace
} // namespace tabtest

namespace tabtest {
namespace {

TEST_F(SchemaLoadTest, TheRegistryComesBeforeSettingsAndDefaults) {
    auto first = NewCollection();
    ASSERT_EQ(Load(first.Get(), connection_, u"/attributes/connection", u"Connection", u"Sim=Overwrite"),
              S_OK);
    first = nullptr; // saves
    auto second = NewCollection();
    ASSERT_EQ(Load(second.Get(), connection_, u"/attributes/connection", u"Connection", u"Sim=Write"), S_OK);
    EXPECT_EQ(GetText(second.Get(), u"Simulation"), "Overwrite");
    // Read-only persistence reads but never writes; write-only writes but never reads.
    EXPECT_EQ(GetText(second.Get(), u"SimulationFileRecordID"), "record");
}

} // namespace
} // namespace tabtest
