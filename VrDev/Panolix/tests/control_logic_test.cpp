// The control object's window-free logic: the display format of values (a checked format, never a crash),
// the refresh text's placeholders (a spec or description cannot leave its string literal), the parameter
// rows and the line layout's sharing of spare width.
#include "ControlLogic.h"

#include <gtest/gtest.h>

namespace {

std::u16string Shown(const std::u16string& format, const std::u16string& text) {
    return FormatDisplayValue(format, text).value_or(u"<invalid>");
}

TEST(DisplayFormat, NumbersAreFormattedByTheKindOfTheirOneConversion) {
    EXPECT_EQ(Shown(u"%5.2f", u"3.14159 \r\n"), u" 3.14");
    EXPECT_EQ(Shown(u"%04X", u"255.9"), u"00FF"); // the fraction is dropped
    EXPECT_EQ(Shown(u"%d", u"-7.9"), u"-7");      // toward zero
    EXPECT_EQ(Shown(u"%d", u"abc"), u"abc");      // no number: as it came
    EXPECT_EQ(Shown(u"%d", u""), u"0");           // empty counts as 0
    EXPECT_EQ(Shown(u"%d", u" \t"), u"0");
    EXPECT_EQ(Shown(u"", u"3.14159 "), u"3.14159 "); // no format: as it came
    // A unit after a floating conversion holds integer letters ("d", "o", "x"); the conversion decides.
    EXPECT_EQ(Shown(u"%.1f dBm of box", u"2.25"), u"2.2 dBm of box");
    EXPECT_EQ(Shown(u"%.1f%%", u"50"), u"50.0%");
    // A number the integer cannot hold, and what is no finite number, stay text.
    EXPECT_EQ(Shown(u"%d", u"1e300"), u"1e300");
    EXPECT_EQ(Shown(u"%f", u"1e999"), u"1e999");
}

TEST(DisplayFormat, FormatsThatWouldMisreadTheValueAreRefused) {
    for (const char16_t* format : {u"%s", u"%n", u"%d %d", u"%*d", u"%lld", u"%p", u"no conversion", u"%"}) {
        EXPECT_EQ(CheckDisplayFormat(format), DisplayFormatKind::Invalid);
        EXPECT_FALSE(FormatDisplayValue(format, u"12").has_value());
    }
    EXPECT_EQ(CheckDisplayFormat(u"%c"), DisplayFormatKind::Integer);
}

TEST(RefreshText, PlaceholdersAreFilledOnceAndLiteralsStayLiterals) {
    ControlVariables variables = VariablesOf(u"obj3");
    EXPECT_EQ(variables.value, u"rt_valueobj3");
    std::u16string script =
        ComposeGetScript(u"<value>=<expression>;<spec>=\"<spec_value>\";<valid>;d='<description>'", variables,
                         u"a\"b\\<expression>\r\n", u"dev.Volt", u"it's");
    EXPECT_EQ(script, u"rt_valueobj3=dev.Volt;rt_specobj3=\"a\\\"b\\\\<expression>\\r\\n\";rt_validobj3;"
                      u"d='it\\'s'");
    EXPECT_EQ(UnescapeTemplate(u"a\\r\\nb"), u"a\r\nb");
    EXPECT_EQ(ComposeSetLine(u"<param> = \"<value>\";", {u"volt", u"", u"1\"+x+\""}),
              u"volt = \"1\\\"+x+\\\"\";\r\n");
}

TEST(ParameterRows, RowsTakeTheirValuesByNameAndGiveThemBack) {
    std::vector<SetParameter> rows = ParametersOf(u"a='[0..10]' b c='{x} [1..2]'", u"c=1.5 a=3 z=9");
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].name, u"a");
    EXPECT_EQ(rows[0].spec, u"[0..10]");
    EXPECT_EQ(rows[0].value, u"3");
    EXPECT_EQ(rows[1].value, u"");
    EXPECT_EQ(rows[2].spec, u"{x} [1..2]");
    rows[1].value = u"two words";
    std::vector<SetParameter> again = ParametersOf(u"a b c", ParamValuesOf(rows));
    EXPECT_EQ(again[0].value, u"3");
    EXPECT_EQ(again[1].value, u"two words");
    EXPECT_EQ(again[2].value, u"1.5");
}

TEST(ControlLayout, SpareWidthIsSharedAsTheRowsAndTheValueWindowStand) {
    ControlLayoutInput input;
    input.x = 10;
    input.width = 200;
    input.labelWidth = 40;
    input.hasValue = true;
    input.buttonWidth = 30;
    ControlLayout alone = LayOutControl(input);
    EXPECT_EQ(alone.valueLeft, 50);
    EXPECT_EQ(alone.valueWidth, 130); // all spare width
    EXPECT_EQ(alone.buttonLeft, 180);
    EXPECT_EQ(alone.buttonWidth, 30);

    input.rows = {{20, 10}, {20, 0}};
    ControlLayout shared = LayOutControl(input);
    int spare = 200 - 40 - 30 - 50;
    EXPECT_EQ(shared.valueWidth, spare / 3);
    EXPECT_EQ(shared.rows[0].editWidth, spare / 3);
    EXPECT_EQ(shared.rows[1].nameLeft, shared.rows[0].infoLeft + 10);
    EXPECT_EQ(shared.buttonLeft + shared.buttonWidth, 10 + 200); // the button takes the rest

    input.hasValue = false;
    EXPECT_EQ(LayOutControl(input).rows[1].editWidth, (200 - 40 - 30 - 50) / 2);

    input.width = 50; // narrower than its parts: it grows
    ControlLayout grown = LayOutControl(input);
    EXPECT_EQ(grown.width, 40 + 30 + 50);
    EXPECT_LT(grown.rows[0].editWidth, kMinEditWidth);
}

} // namespace
