// Schema loading: adapter files and XSD files, their failures, and the reports left in the error text.
#include "instruments/Xlatrix/tests/xlatrix_test_support.h"
#include "tests/support/test_env.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

using xltest::DataPath;
using xltest::LoadTypes;

std::string WriteFile(const std::string& name, const std::string& text) {
    std::string path = vrtest::MakeFreshFolder("xlatrix") + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.rfind(prefix, 0) == 0;
}

constexpr const char* kVoltType = "<xsd:complexType name='msg_Volt'><xsd:sequence>"
                                  "<xsd:element name='_strKey1' type='xsd:string' fixed='VOLT '/>"
                                  "<xsd:element name='value' type='xsd:double' vra:format='%.3f'/>"
                                  "</xsd:sequence></xsd:complexType>";

TEST(XlatrixSchema, AdapterFileGivesItsTypes) {
    CXlatrix xlatrix(false);
    ASSERT_TRUE(xlatrix.SetSchemaXml(DataPath("xlatrix_multimeter.daf").c_str())) << xlatrix.strErrorText;
    std::string out;
    EXPECT_TRUE(xlatrix.Compose("msg_Read", out)) << xlatrix.strErrorText;
    EXPECT_EQ(out, "READ?\n");
}

TEST(XlatrixSchema, MissingFileIsAParseErrorReport) {
    CXlatrix xlatrix(false);
    std::string path = vrtest::TestRoot() + "/no-such-adapter.daf";
    EXPECT_FALSE(xlatrix.SetSchemaXml(path.c_str()));
    EXPECT_TRUE(StartsWith(xlatrix.strErrorText, "--- Parse Error ---\nerrorCode = 0x"))
        << xlatrix.strErrorText;
    EXPECT_NE(xlatrix.strErrorText.find("\nline = "), std::string::npos);
    EXPECT_NE(xlatrix.strErrorText.find("\nurl: "), std::string::npos);
    EXPECT_NE(xlatrix.strErrorText.find("\nsrcText: "), std::string::npos);
}

TEST(XlatrixSchema, MalformedFileReportsWhereItBroke) {
    std::string path = WriteFile("broken.daf", "<definitions>\n<types>\n<oops></types>\n</definitions>\n");
    CXlatrix xlatrix(false);
    EXPECT_FALSE(xlatrix.SetSchemaXml(path.c_str()));
    EXPECT_TRUE(StartsWith(xlatrix.strErrorText, "--- Parse Error ---\nerrorCode = 0xc00ce"))
        << xlatrix.strErrorText;
    EXPECT_NE(xlatrix.strErrorText.find("line = 3; linepos = "), std::string::npos) << xlatrix.strErrorText;
    // The reason keeps the parser's own line break; nothing is doubled before "url".
    EXPECT_EQ(xlatrix.strErrorText.find("\n\nurl: "), std::string::npos);
}

TEST(XlatrixSchema, SchemaWithoutTypesKeepsThePreviousSchema) {
    CXlatrix xlatrix(false);
    ASSERT_TRUE(LoadTypes(xlatrix, kVoltType));
    EXPECT_FALSE(LoadTypes(xlatrix, "<xsd:element name='loose' type='xsd:int'/>"));
    EXPECT_EQ(xlatrix.strErrorText, "CXlatrix::SetSchema(): There are no types defined in the Adapter.\n");
    xlatrix.AddComposeEntryParamValue(SOMITEM_NULL, "", "value", "2");
    std::string out;
    EXPECT_TRUE(xlatrix.Compose("msg_Volt", out)) << xlatrix.strErrorText;
    EXPECT_EQ(out, "VOLT 2.000");
}

TEST(XlatrixSchema, AdapterWithoutTypesIsAnExceptionReport) {
    std::string path = WriteFile("notypes.daf", "<definitions><device/></definitions>");
    CXlatrix xlatrix(false);
    EXPECT_FALSE(xlatrix.SetSchemaXml(path.c_str()));
    EXPECT_TRUE(
        StartsWith(xlatrix.strErrorText, "--- Exception Error ---\nError = 80004003\nErrorMessage = "))
        << xlatrix.strErrorText;
    EXPECT_NE(xlatrix.strErrorText.find("Description = The document has no schema inside a 'types' element."),
              std::string::npos);
    EXPECT_NE(xlatrix.strErrorText.find("\nSource = Xlatrix\nHelpFile = \n"), std::string::npos);
}

TEST(XlatrixSchema, SchemaThatDoesNotCompileIsAnExceptionReport) {
    CXlatrix xlatrix(false);
    EXPECT_FALSE(LoadTypes(xlatrix, "<xsd:complexType name='T'><xsd:sequence>"
                                    "<xsd:element name='x' type='xsd:noSuchType'/>"
                                    "</xsd:sequence></xsd:complexType>"));
    EXPECT_TRUE(StartsWith(xlatrix.strErrorText, "--- Exception Error ---\n")) << xlatrix.strErrorText;
    EXPECT_NE(xlatrix.strErrorText.find("noSuchType"), std::string::npos) << xlatrix.strErrorText;
}

TEST(XlatrixSchema, StandAloneXsdWithTargetNamespace) {
    std::string path =
        WriteFile("device.xsd", std::string("<xsd:schema xmlns:xsd='http://www.w3.org/2001/XMLSchema' "
                                            "xmlns:vra='urn:vornic:adapter-annotations' "
                                            "targetNamespace='urn:test:device'>") +
                                    kVoltType + "</xsd:schema>");
    CXlatrix xlatrix(false);
    ASSERT_TRUE(xlatrix.SetSchemaXsd(path.c_str())) << xlatrix.strErrorText;
    xlatrix.AddComposeEntryParamValue(SOMITEM_NULL, "", "value", "0.25");
    std::string out = "prefix:";
    EXPECT_TRUE(xlatrix.Compose("msg_Volt", out)) << xlatrix.strErrorText;
    EXPECT_EQ(out, "prefix:VOLT 0.250");
    EXPECT_FALSE(xlatrix.SetSchemaXsd((vrtest::TestRoot() + "/missing.xsd").c_str()));
    EXPECT_TRUE(StartsWith(xlatrix.strErrorText, "--- Parse Error ---\n"));
}

TEST(XlatrixSchema, WithoutSchemaNothingRuns) {
    CXlatrix xlatrix(false);
    std::string out;
    EXPECT_FALSE(xlatrix.Compose("msg_Volt", out));
    EXPECT_EQ(xlatrix.strErrorText, "Schema wasn't specified.\n");
    xlatrix.strErrorText.clear();
    EXPECT_FALSE(xlatrix.Parse("msg_Volt", "VOLT 1"));
    EXPECT_EQ(xlatrix.strErrorText, "Schema wasn't specified.\n");
    EXPECT_FALSE(xlatrix.SetSchema(vr::xml::Schema()));
    EXPECT_EQ(xlatrix.strErrorText, "CXlatrix::SetSchema(): There are no types defined in the Adapter.\n");
}

TEST(XlatrixSchema, UnknownTypeNameIsAnExceptionReport) {
    CXlatrix xlatrix(false);
    ASSERT_TRUE(LoadTypes(xlatrix, kVoltType));
    std::string out;
    EXPECT_FALSE(xlatrix.Compose("msg_Nothing", out));
    EXPECT_TRUE(StartsWith(xlatrix.strErrorText, "--- Exception Error ---\nError = 80070057\n"))
        << xlatrix.strErrorText;
    EXPECT_NE(xlatrix.strErrorText.find("There is no type named 'msg_Nothing' in the schema."),
              std::string::npos);
    EXPECT_FALSE(xlatrix.Parse("msg_Nothing", "x"));
    EXPECT_NE(xlatrix.strErrorText.find("'msg_Nothing'"), std::string::npos);
    EXPECT_EQ(out, "");
}

TEST(XlatrixSchema, LongErrorTextsAreCut) {
    CXlatrix xlatrix(false);
    std::string longName(6000, 'n');
    std::string out;
    EXPECT_FALSE(xlatrix.GetParamValue(xlatrix.arrReturnedParamValues, longName, nullptr, nullptr, nullptr, 0,
                                       false, false));
    EXPECT_EQ(xlatrix.strErrorText.size(), 4999u);
    EXPECT_TRUE(StartsWith(xlatrix.strErrorText, "CXlatrix::GetParamValue(): There is no 'nnn"));
}

} // namespace
