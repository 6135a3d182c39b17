// The value store: entries by name, values by index, removal, counts and the trace text.
#include "instruments/Xlatrix/tests/xlatrix_test_support.h"

#include <gtest/gtest.h>

namespace {

using xltest::Probe;

TEST(XlatrixValues, EmptyNameOnEmptyArrayNamesNoElement) {
    Probe xlatrix;
    std::string name;
    std::string value;
    EXPECT_FALSE(xlatrix.GetParamValue(xlatrix.arrReturnedParamValues, name, nullptr, nullptr, &value, 0,
                                       false, false));
    EXPECT_EQ(xlatrix.strErrorText, "CXlatrix::GetParamValue(): There is no '' element.\n");
}

TEST(XlatrixValues, ValueAtIndexGrowsWithEmptyStrings) {
    Probe xlatrix;
    ASSERT_TRUE(xlatrix.AddComposeEntryParamValue(SOMITEM_DATATYPE_INT, "int", "count", "7", 3));
    ASSERT_EQ(xlatrix.arrComposeEntryParamValues.size(), 1u);
    EXPECT_EQ(xlatrix.arrComposeEntryParamValues[0].arrValues, (std::vector<std::string>{"", "", "", "7"}));
    // A later value at a lower index overwrites in place; -1 appends.
    ASSERT_TRUE(xlatrix.AddComposeEntryParamValue(SOMITEM_DATATYPE_INT, "int", "count", "5", 1));
    ASSERT_TRUE(xlatrix.AddComposeEntryParamValue(SOMITEM_DATATYPE_LONG, "long", "count", "9"));
    EXPECT_EQ(xlatrix.arrComposeEntryParamValues[0].arrValues,
              (std::vector<std::string>{"", "5", "", "7", "9"}));
    // The last call's type wins for the whole entry.
    EXPECT_EQ(xlatrix.arrComposeEntryParamValues[0].type, SOMITEM_DATATYPE_LONG);
    EXPECT_EQ(xlatrix.arrComposeEntryParamValues[0].strTypeName, "long");
}

TEST(XlatrixValues, IndexOutOfRangeNamesTheValidRange) {
    Probe xlatrix;
    ASSERT_TRUE(xlatrix.AddParseEntryParamValue(SOMITEM_DATATYPE_STRING, "string", "a", "x"));
    ASSERT_TRUE(xlatrix.AddParseEntryParamValue(SOMITEM_DATATYPE_STRING, "string", "a", "y"));
    std::string name = "a";
    EXPECT_FALSE(xlatrix.GetParamValue(xlatrix.arrParseEntryParamValues, name, nullptr, nullptr, nullptr, 2,
                                       false, false));
    EXPECT_EQ(xlatrix.strErrorText,
              "CXlatrix::GetParamValue(): There is no value with nIdIndex='2' in the arrValues; "
              "valid range [0..1].\n");
    EXPECT_FALSE(xlatrix.GetParamValue(xlatrix.arrParseEntryParamValues, name, nullptr, nullptr, nullptr, -1,
                                       false, false));
    // Quiet lookups leave the error text alone.
    xlatrix.strErrorText.clear();
    EXPECT_FALSE(xlatrix.GetParamValue(xlatrix.arrParseEntryParamValues, name, nullptr, nullptr, nullptr, 5,
                                       false, true));
    std::string missing = "b";
    EXPECT_FALSE(xlatrix.GetParamValue(xlatrix.arrParseEntryParamValues, missing, nullptr, nullptr, nullptr,
                                       0, false, true));
    EXPECT_EQ(xlatrix.strErrorText, "");
}

TEST(XlatrixValues, RemovingTakesValuesInOrderAndDropsEmptyEntries) {
    Probe xlatrix;
    xlatrix.SetParamValue(xlatrix.arrReturnedParamValues, SOMITEM_DATATYPE_DOUBLE, "double", "v", "1", -1);
    xlatrix.SetParamValue(xlatrix.arrReturnedParamValues, SOMITEM_DATATYPE_DOUBLE, "double", "v", "2", -1);
    xlatrix.SetParamValue(xlatrix.arrReturnedParamValues, SOMITEM_DATATYPE_STRING, "string", "w", "z", -1);
    EXPECT_EQ(xlatrix.GetNumberOfReturnedParamValues("v"), 2);
    EXPECT_EQ(xlatrix.GetNumberOfReturnedParamValues(""), 3);
    EXPECT_EQ(xlatrix.GetNumberOfReturnedParamValues("none"), 0);

    std::vector<std::string> taken;
    std::string name;
    std::string value;
    SOMITEMTYPE type = SOMITEM_NULL;
    std::string typeName;
    while (xlatrix.GetParamValue(xlatrix.arrReturnedParamValues, name = "", &type, &typeName, &value, 0, true,
                                 true)) {
        taken.push_back(name + "=" + value + ":" + typeName);
    }
    EXPECT_EQ(taken, (std::vector<std::string>{"v=1:double", "v=2:double", "w=z:string"}));
    EXPECT_TRUE(xlatrix.arrReturnedParamValues.empty());
}

TEST(XlatrixValues, TrimmingFollowsTheSetting) {
    Probe xlatrix;
    xlatrix.AddComposeEntryParamValue(SOMITEM_DATATYPE_STRING, "string", "s", "  padded \r\n");
    EXPECT_EQ(xlatrix.arrComposeEntryParamValues[0].arrValues[0], "padded");
    xlatrix.bTrimValues = false;
    xlatrix.AddComposeEntryParamValue(SOMITEM_DATATYPE_STRING, "string", "s", "  padded ");
    EXPECT_EQ(xlatrix.arrComposeEntryParamValues[0].arrValues[1], "  padded ");
    // Numeric values are trimmed whatever the setting.
    std::string number = " 1.5\t";
    xlatrix.NormalizeParamValue(SOMITEM_DATATYPE_DECIMAL, number);
    EXPECT_EQ(number, "1.5");
    std::string text = " 1.5\t";
    xlatrix.NormalizeParamValue(SOMITEM_DATATYPE_STRING, text);
    EXPECT_EQ(text, " 1.5\t");
}

TEST(XlatrixValues, TraceTextListsEveryEntry) {
    Probe xlatrix;
    xlatrix.AddComposeEntryParamValue(SOMITEM_DATATYPE_INT, "int", "channel", "1");
    xlatrix.AddComposeEntryParamValue(SOMITEM_NULL, "?", "voltage", "12.5");
    xlatrix.AddComposeEntryParamValue(SOMITEM_NULL, "?", "voltage", "13");
    xlatrix.DumpArrayParamValuesTrace(xlatrix.arrComposeEntryParamValues);
    EXPECT_EQ(xlatrix.strTraceText, "### Trace ArrayParamValues ###\n"
                                    "(SD_INT-int)'channel': '1'; \n"
                                    "(S_NULL-?)'voltage': '12.5'; '13'; \n");
    xlatrix.RemoveAllComposeEntryParamValues();
    xlatrix.DumpArrayParamValuesTrace(xlatrix.arrComposeEntryParamValues);
    EXPECT_EQ(xlatrix.strTraceText, "### Trace ArrayParamValues ###\n");
}

TEST(XlatrixValues, NullTextsAreEmptyStrings) {
    Probe xlatrix;
    EXPECT_TRUE(xlatrix.AddParseEntryParamValue(SOMITEM_NULL, nullptr, "n", nullptr));
    EXPECT_EQ(xlatrix.arrParseEntryParamValues[0].arrValues, (std::vector<std::string>{""}));
    EXPECT_EQ(xlatrix.GetNumberOfElements(nullptr), 0);
    xlatrix.RemoveAllParseEntryParamValues();
    EXPECT_TRUE(xlatrix.arrParseEntryParamValues.empty());
}

} // namespace
