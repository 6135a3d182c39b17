// Type guesses for sample values, numeric type names, and the factory's self-test.
#include "common/schemafactory/tests/XMLSchemaFactoryTestSupport.h"

namespace schemafactorytest {
namespace {

struct Guess {
    const OLECHAR* value;
    const char* type;
};

TEST_F(SchemaFactoryTest, GuessedTypesOfSampleValues) {
    const Guess guesses[] = {
        {u"12", "long"},          {u"-3", "long"},    {u" 12", "long"},    {u"", "long"},
        {u"99999999999", "long"}, {u"1.5", "double"}, {u"1e3", "double"},  {u".5", "double"},
        {u"-1E-3", "double"},     {u"12 ", "string"}, {u"0x1F", "string"}, {u"1e999", "string"},
        {u"abc", "string"},       {u"1,5", "string"}, {u"inf", "string"},
    };
    for (const Guess& guess : guesses) {
        Bstr type(u"earlier");
        bool numeric = true;
        EXPECT_TRUE(CXMLSchemaFactory::GuessXsdTypeOfValue(guess.value, *type.ptr(), &numeric));
        EXPECT_EQ(type.utf8(), guess.type) << U8(guess.value);
        EXPECT_EQ(numeric, std::string(guess.type) != "string") << U8(guess.value);
    }
    Bstr type;
    EXPECT_TRUE(CXMLSchemaFactory::GuessXsdTypeOfValue(nullptr, *type.ptr(), nullptr));
    EXPECT_EQ(type.utf8(), "long");
    // Guessing traces nothing, not even for texts that are no numbers.
    EXPECT_TRUE(Errors().empty());
}

TEST_F(SchemaFactoryTest, NumericTypeNamesAreCaseSensitive) {
    EXPECT_TRUE(CXMLSchemaFactory::IsNumericXsdType(u"nonPositiveInteger"));
    EXPECT_TRUE(CXMLSchemaFactory::IsNumericXsdType(u"unsignedByte"));
    for (const OLECHAR* name : {u"Int", u"string", u"boolean", u"", u"xsd:int", u"int "}) {
        EXPECT_FALSE(CXMLSchemaFactory::IsNumericXsdType(name)) << U8(name);
    }
    EXPECT_FALSE(CXMLSchemaFactory::IsNumericXsdType(nullptr));
}

TEST_F(SchemaFactoryTest, SelfTestHoldsAndReportsNothing) {
    EXPECT_TRUE(factory_.TestClass());
    EXPECT_TRUE(Errors().empty());
    EXPECT_TRUE(Lines(TRACE_LEVEL_INFO).empty());
    // The factory stays usable afterwards.
    EXPECT_EQ(Bare(Build(u"type=int name=n")), "<xsd:element name=\"n\" type=\"xsd:int\"/>");
}

} // namespace
} // namespace schemafactorytest
