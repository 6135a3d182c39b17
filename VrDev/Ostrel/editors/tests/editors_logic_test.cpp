// The studio's editors without widgets: shown text and positions, enumeration folding and the element rows,
// the marking commands on the worked sample, and selections whose quotes used to corrupt descriptions.
#include "VrDev/Ostrel/editors/ElementEditorModel.h"
#include "VrDev/Ostrel/editors/MsgEditorModel.h"
#include "VrDev/Ostrel/model/MsgTypeDefText.h"

#include "platform/com/activation.h"

#include <gtest/gtest.h>

namespace {

using namespace ostrel;

const std::string kSample = "Get pos 1\nStatA = 12\nStatB =1.145\n-> ";

std::string Records(const CMsgTypeDef& definition) {
    std::string text;
    for (const MtdElement& item : definition.Elements()) {
        text += Narrow(item.ExtAttributes) + " @" + std::to_string(item.nPosBegin) + ".." +
                std::to_string(item.nPosEnd) + "\n";
    }
    return text;
}

std::vector<std::u16string> RowNames(const CElementEditorModel& editor) {
    std::vector<std::u16string> names;
    for (const ElementRow& row : editor.Rows()) {
        names.push_back(row.name);
    }
    return names;
}

class EditorsLogicTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
    void TearDown() override { CoUninitialize(); }

    // A response or query editor on the worked sample with only its terminator marked.
    void Start(CMsgEditorModel& editor) {
        editor.SetWarningSink([this](std::u16string_view text) { warnings.emplace_back(text); });
        ASSERT_TRUE(editor.New(kSample, "msgGetPos", "", u"xsd", u"vra:substitution=enumeration"));
        ASSERT_EQ(editor.Definition().Elements().size(), 1u);
    }
    std::vector<std::u16string> warnings;
};

TEST_F(EditorsLogicTest, ShownTextMakesBlanksAndLineEndsVisibleAndPositionsMapBothWays) {
    const std::string shown = DisplayTextOf("a b\r\nc");
    EXPECT_EQ(shown, "a\xB7"
                     "b\xAC\xB6\nc");
    // "c" is sample 5..6 and shown 6..7; the line feed (4..5) is shown with its pilcrow (4..6).
    for (auto [sampleBegin, sampleEnd, shownBegin, shownEnd] :
         std::vector<std::array<int, 4>>{{5, 6, 6, 7}, {4, 5, 4, 6}, {0, 3, 0, 3}, {-1, -1, -1, -1}}) {
        int b = sampleBegin;
        int e = sampleEnd;
        MapPositions(shown, &b, &e, MapDirection::ToDisplay);
        EXPECT_EQ(b, shownBegin);
        EXPECT_EQ(e, shownEnd);
        MapPositions(shown, &b, &e, MapDirection::ToSample);
        EXPECT_EQ(b, sampleBegin);
        EXPECT_EQ(e, sampleEnd);
    }
}

TEST_F(EditorsLogicTest, ValueInTheResponseEditorAddsItsKeysFirstAndIsColouredAfterTheLineBreak) {
    CMsgEditorModel editor(MsgSide::Response);
    Start(editor);
    editor.SetSelection(18, 20);
    EXPECT_EQ(editor.SelectedText(), "12");
    const MarkMenuState menu = editor.MarkMenu();
    EXPECT_TRUE(menu.constant && menu.fixedLengthString && menu.value && menu.enumeration);
    EXPECT_FALSE(menu.sequence); // no token to repeat yet
    ASSERT_TRUE(editor.MarkValue());
    const std::vector<MtdElement>& records = editor.Definition().Elements();
    ASSERT_EQ(records.size(), 4u) << Records(editor.Definition());
    EXPECT_EQ(ItemOf(records[0].ExtAttributes, u"name"), u"_strKey1");
    EXPECT_EQ(ItemOf(records[0].ExtAttributes, u"fixed"), u"= ");
    EXPECT_EQ(std::make_pair(records[0].nPosBegin, records[0].nPosEnd), std::make_pair(16, 18));
    EXPECT_EQ(ItemOf(records[1].ExtAttributes, u"name"), u"value1");
    EXPECT_EQ(ItemOf(records[1].ExtAttributes, u"type"), u"long");
    EXPECT_EQ(std::make_pair(records[1].nPosBegin, records[1].nPosEnd), std::make_pair(18, 20));
    EXPECT_EQ(ItemOf(records[2].ExtAttributes, u"name"), u"_strKey2");
    EXPECT_EQ(ItemOf(records[2].ExtAttributes, u"fixed"), u"\n");
    EXPECT_EQ(std::make_pair(records[2].nPosBegin, records[2].nPosEnd), std::make_pair(20, 21));
    std::optional<ShownToken> current = editor.CurrentToken();
    ASSERT_TRUE(current);
    EXPECT_EQ(current->name, u"value1");
    EXPECT_EQ(current->type, u"long");

    // One line break comes before the value: it is drawn one character further on, green; its keys blue.
    const std::vector<TokenSpan> spans = editor.TokenSpans();
    ASSERT_EQ(spans.size(), 4u);
    EXPECT_EQ(spans[1].look, TokenLook::Value);
    EXPECT_EQ(std::make_pair(spans[1].begin, spans[1].end), std::make_pair(19, 21));
    EXPECT_EQ(spans[0].look, TokenLook::Key);
    EXPECT_EQ(std::make_pair(spans[2].begin, spans[2].end), std::make_pair(21, 23)); // pilcrow and line feed

    // A drag inside a token offers no token; releasing over the current token opens nothing.
    EXPECT_EQ(editor.LeftRelease(18, 20), MenuToOpen::None);
    EXPECT_EQ(editor.LeftRelease(19, 22), MenuToOpen::Mark);
    EXPECT_FALSE(editor.MarkMenu().value);
    EXPECT_FALSE(editor.MarkMenu().constant);
    EXPECT_EQ(editor.LeftRelease(16, 21), MenuToOpen::Mark);
    EXPECT_TRUE(editor.MarkMenu().sequence);
    // A right click on a token may remove it; on unmarked text only everything may go.
    EXPECT_TRUE(editor.ClickAt(19));
    editor.RightRelease(18, 20);
    EXPECT_TRUE(editor.RemoveMenu().removeToken);
    editor.RightRelease(2, 2);
    EXPECT_FALSE(editor.RemoveMenu().removeToken);
    EXPECT_TRUE(editor.RemoveMenu().removeAllTokens);

    // The worked sample parses with the definition; Remove All keeps the sample and drops every token.
    EXPECT_EQ(editor.Definition().ParseText("Get pos 1\nStatA = 345\nStatB =1.145\n-> "), S_OK);
    EXPECT_NE(editor.Definition().ParseResultText().find("345"), std::string::npos);
    EXPECT_TRUE(editor.RemoveAllTokens());
    EXPECT_TRUE(editor.Definition().Elements().empty());
    EXPECT_EQ(editor.Definition().Sample(), kSample);
    EXPECT_FALSE(editor.CurrentToken());
    EXPECT_EQ(editor.SelectionBegin(), -1);
    EXPECT_TRUE(warnings.empty());
}

TEST_F(EditorsLogicTest, QueryEditorAddsNoKeysOffersNoConstantsAndGuessesTypes) {
    CMsgEditorModel editor(MsgSide::Query);
    Start(editor);
    editor.SetSelection(18, 20);
    EXPECT_FALSE(editor.MarkMenu().constant);
    EXPECT_FALSE(editor.MarkMenu().fixedLengthString);
    ASSERT_TRUE(editor.MarkValue());
    EXPECT_EQ(editor.Definition().Elements().size(), 2u) << Records(editor.Definition());

    bool hex = false;
    EXPECT_EQ(GuessedTypeOf("1F", &hex), u"long");
    EXPECT_TRUE(hex);
    EXPECT_EQ(GuessedTypeOf("0x1F", &hex), u"string");
    EXPECT_FALSE(hex);
    EXPECT_EQ(GuessedTypeOf("1.5", &hex), u"double");
    EXPECT_EQ(GuessedTypeOf("Fade", &hex), u"long");
    EXPECT_TRUE(hex);

    // Fixed Length String on an empty selection does nothing; one whose prefix key is missing warns.
    editor.SetSelection(5, 5);
    EXPECT_FALSE(editor.MarkFixedLengthString());
    EXPECT_EQ(editor.Definition().Elements().size(), 2u);
    EXPECT_TRUE(warnings.empty());
}

TEST_F(EditorsLogicTest, MissingKeysWarnAndAddNothing) {
    CMsgEditorModel editor(MsgSide::Response);
    Start(editor);
    editor.SetSelection(31, 33); // "45" of "1.145": a digit right before it, so no key can precede it
    EXPECT_FALSE(editor.MarkValue());
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0], u"Prefix key can not be determined. Define it first.");
    EXPECT_EQ(editor.Definition().Elements().size(), 1u);
}

TEST_F(EditorsLogicTest, SelectedQuotesAndBlanksGoIntoDescriptionsWhole) {
    CMsgEditorModel editor(MsgSide::Response);
    editor.SetWarningSink([this](std::u16string_view text) { warnings.emplace_back(text); });
    const std::string sample = "MODE it's on, 'ok'\n";
    ASSERT_TRUE(editor.New(sample, "msgMode", "", u"xsd", u"vra:substitution=enumeration"));
    editor.SetSelection(5, 18); // "it's on, 'ok'"
    ASSERT_TRUE(editor.MarkEnumeration());
    size_t record = CMsgTypeDef::kNoRecord;
    ASSERT_TRUE(editor.Definition().FindElementByName(u"value1", &record)) << Records(editor.Definition());
    const std::u16string& description = editor.Definition().Elements()[record].ExtAttributes;
    EXPECT_EQ(ItemOf(description, u"enumeration"), u"it's on, 'ok'");
    EXPECT_EQ(ItemOf(description, u"type"), u"string");
    ASSERT_TRUE(editor.Definition().FindElementByName(u"_strKey1", &record));
    EXPECT_EQ(ItemOf(editor.Definition().Elements()[record].ExtAttributes, u"fixed"), u"MODE ");
    EXPECT_EQ(editor.Definition().ParseText(sample), S_OK);

    editor.SetSelection(0, 0);
    ASSERT_TRUE(editor.RemoveAllTokens());
    editor.SetSelection(5, 9); // "it's"
    ASSERT_TRUE(editor.MarkConstant());
    ASSERT_TRUE(editor.Definition().FindElementByName(u"_strKey1", &record));
    EXPECT_EQ(ItemOf(editor.Definition().Elements()[record].ExtAttributes, u"fixed"), u"it's");
    EXPECT_TRUE(warnings.empty());
}

TEST_F(EditorsLogicTest, ElementChangesAreTakenUnlessUnchangedAndAFailedParseMarksTheToken) {
    CMsgEditorModel editor(MsgSide::Response);
    Start(editor);
    editor.SetSelection(18, 20);
    ASSERT_TRUE(editor.MarkValue());
    std::u16string current;
    ASSERT_TRUE(editor.Definition().GetCurrentElement(&current, nullptr, nullptr));
    // Right after Value the same description is still taken; the second time it is not.
    EXPECT_EQ(editor.TakeElementChange(current), ElementChangeResult::Parsed);
    EXPECT_EQ(editor.TakeElementChange(current), ElementChangeResult::Ignored);
    EXPECT_EQ(editor.TakeElementChange(u"name='value1' type=long pattern='[a-z]+'"),
              ElementChangeResult::Failed);
    EXPECT_EQ(editor.StatusText(), u"ERROR: Incomplete or Invalid Definition.");
    std::optional<TokenSpan> failed = editor.FailedSpan();
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->look, TokenLook::Failed);
    EXPECT_EQ(editor.TakeElementChange(u"name='value1' type=int"), ElementChangeResult::Parsed);
    EXPECT_EQ(editor.StatusText(), u"OK.");
    EXPECT_FALSE(editor.FailedSpan());
}

TEST_F(EditorsLogicTest, EnumerationsFoldIntoOneRowAndUnfoldBack) {
    const std::u16string description =
        u"enumeration=one vra:substitution=uno enumeration=two enumeration=three vra:substitution=tres";
    const std::u16string folded = FoldEnumerations(description, u"vra:substitution");
    EXPECT_EQ(ItemOf(folded, u"enumeration"), u"one=uno two three=tres");
    EXPECT_FALSE(ItemOf(folded, u"vra:substitution"));
    EXPECT_EQ(UnfoldEnumerations(folded, u"vra:substitution"), description);
    EXPECT_EQ(FoldEnumerations(u"fixed=x", u"vra:substitution"), u"fixed=x");
    EXPECT_EQ(DefPatternOf(u"fixed=x enumeration=y"), u"Constant");
    EXPECT_EQ(DefPatternOf(u"enumeration=y"), u"Enumeration");
    EXPECT_EQ(DefPatternOf(u"pattern=y"), u"Value");
}

TEST_F(EditorsLogicTest, ElementRowsFitTheTypeAndKindAndChangesAreChecked) {
    CElementEditorModel editor;
    editor.Init(u"EnumSubstitution=vra:substitution ReplaceElementSchemaAttributes='default=vra:default'",
                u"", u"vra:substitution=enumeration");
    ASSERT_EQ(editor.SetElement(u"string", u"_strKey1", u"fixed='= '", u"", u"", true), S_OK);
    EXPECT_EQ(RowNames(editor), (std::vector<std::u16string>{u"name", u"type", u"DefPattern", u"fixed",
                                                             u"minOccurs", u"maxOccurs"}));
    const int generation = editor.RowsGeneration();
    ASSERT_EQ(editor.SetElement(u"string", u"_strKey1", u"fixed='= '", u"", u"", true), S_OK);
    EXPECT_EQ(editor.RowsGeneration(), generation);

    std::optional<std::u16string> sent = editor.EditRow(u"type", u"sequence");
    EXPECT_EQ(RowNames(editor), (std::vector<std::u16string>{u"type", u"minOccurs", u"maxOccurs"}));
    ASSERT_TRUE(sent);
    EXPECT_EQ(ItemOf(*sent, u"type"), u"sequence");

    // A numeric value: its default is shown in the default row and written back under its own name.
    ASSERT_EQ(editor.SetElement(u"int", u"value1", u"vra:default=5", u"", u"", true), S_OK);
    EXPECT_EQ(RowNames(editor),
              (std::vector<std::u16string>{u"name", u"type", u"DefPattern", u"default", u"pattern",
                                           u"minInclusive", u"maxInclusive", u"minOccurs", u"maxOccurs"}));
    sent = editor.EditRow(u"maxInclusive", u"10");
    ASSERT_TRUE(sent);
    EXPECT_EQ(ItemOf(*sent, u"vra:default"), u"5");
    EXPECT_FALSE(ItemOf(*sent, u"default"));
    EXPECT_EQ(ItemOf(*sent, u"maxInclusive"), u"10");
    EXPECT_EQ(ItemOf(*sent, u"name"), u"value1");
    EXPECT_EQ(editor.StatusText(), u"Valid Definition");
    // The same value again sends nothing; a facet the type refuses sends nothing and says why.
    EXPECT_FALSE(editor.EditRow(u"maxInclusive", u"10"));
    EXPECT_FALSE(editor.EditRow(u"maxInclusive", u"ten"));
    EXPECT_NE(editor.StatusText(), u"Valid Definition");
    EXPECT_NE(editor.StatusText(), u"...");

    // Enumerations show in one row and go back as items of their own.
    ASSERT_EQ(editor.SetElement(u"string", u"value2", u"enumeration=ON vra:substitution=1 enumeration=OFF",
                                u"", u"", true),
              S_OK);
    sent = editor.EditRow(u"enumeration", u"ON=1 OFF STBY=2");
    ASSERT_TRUE(sent);
    EXPECT_NE(sent->find(u"enumeration=STBY vra:substitution=2"), std::u16string::npos) << Narrow(*sent);
}

TEST_F(EditorsLogicTest, IntegerRowsTakeOnlyWholeNumbersAndRangeRowsTakeTheirOtherName) {
    CElementEditorModel editor;
    editor.Init(u"", u"", u"");
    ASSERT_EQ(editor.SetElement(u"string", u"text", u"pattern=.*", u"", u"", true), S_OK);
    std::optional<std::u16string> sent = editor.EditRow(u"maxLength", u"16");
    ASSERT_TRUE(sent);
    EXPECT_EQ(ItemOf(*sent, u"maxLength"), u"16");
    for (const char16_t* refused : {u"12.5", u"ten", u" 3", u"2147483647", u"99999999999"}) {
        EXPECT_FALSE(editor.EditRow(u"length", refused)) << Narrow(refused);
        EXPECT_EQ(editor.StatusText(),
                  u"'" + std::u16string(refused) + u"' is no whole number from -2147483648 to 2147483647.");
    }
    for (const ElementRow& row : editor.Rows()) {
        EXPECT_TRUE(row.name != u"length" || !row.value); // the refused texts stayed out
    }
    EXPECT_FALSE(editor.EditRow(u"minOccurs", u"-1"));
    sent = editor.EditRow(u"maxOccurs", u"unbounded");
    ASSERT_TRUE(sent);
    EXPECT_EQ(ItemOf(*sent, u"maxOccurs"), u"unbounded");
    EXPECT_FALSE(ItemOf(*sent, u"length"));

    // minInclusive renamed to minExclusive keeps its place and is written under its new name.
    ASSERT_EQ(editor.SetElement(u"int", u"level", u"minInclusive=1", u"", u"", true), S_OK);
    sent = editor.EditRow(u"minExclusive", u"1");
    ASSERT_TRUE(sent);
    EXPECT_EQ(ItemOf(*sent, u"minExclusive"), u"1");
    EXPECT_FALSE(ItemOf(*sent, u"minInclusive"));
    EXPECT_EQ(RowNames(editor),
              (std::vector<std::u16string>{u"name", u"type", u"DefPattern", u"default", u"pattern",
                                           u"minExclusive", u"maxInclusive", u"minOccurs", u"maxOccurs"}));
    EXPECT_FALSE(editor.EditRow(u"minimum", u"1")); // no row takes that name
}

// A file's own simple types: a level of 0 to 30 volts, and a rate that restricts xsd:float (no name row).
TEST_F(EditorsLogicTest, ATokenOfANamedTypeHasItsBaseRowsAndIsCheckedAgainstTheTypeItself) {
    vr::xml::Document schema;
    ASSERT_EQ(vr::xml::Document::Create(&schema), S_OK);
    ASSERT_EQ(
        schema.loadXML(u"<xsd:schema xmlns:xsd='http://www.w3.org/2001/XMLSchema'>"
                       u"<xsd:simpleType name='Volts'><xsd:restriction base='Level'>"
                       u"<xsd:maxInclusive value='30'/></xsd:restriction></xsd:simpleType>"
                       u"<xsd:simpleType name='Level'><xsd:restriction base='xsd:double'>"
                       u"<xsd:minInclusive value='0'/></xsd:restriction></xsd:simpleType>"
                       u"<xsd:simpleType name='Rate'><xsd:restriction base='xsd:float'/></xsd:simpleType>"
                       u"</xsd:schema>"),
        S_OK);
    std::vector<vr::xml::Node> types;
    for (const vr::xml::Node& type : schema.documentElement().childNodes()) {
        types.push_back(type);
    }
    CElementEditorModel editor;
    editor.Init(u"ReplaceElementSchemaAttributes='default=vra:default'", u"xsd", u"");
    editor.SetSchemaTypes(types);
    ASSERT_EQ(editor.SetElement(u"Volts", u"level", u"", u"", u"", true), S_OK);
    EXPECT_EQ(RowNames(editor),
              (std::vector<std::u16string>{u"name", u"type", u"DefPattern", u"default", u"pattern",
                                           u"minInclusive", u"maxInclusive", u"minOccurs", u"maxOccurs"}));
    std::optional<std::u16string> sent = editor.EditRow(u"maxInclusive", u"20");
    ASSERT_TRUE(sent) << Narrow(editor.StatusText());
    EXPECT_EQ(ItemOf(*sent, u"type"), u"Volts");
    EXPECT_FALSE(editor.EditRow(u"maxInclusive", u"40")); // beyond what the type takes
    ASSERT_TRUE(editor.EditRow(u"maxInclusive", u"20"));
    EXPECT_FALSE(editor.EditRow(u"default", u"-1"));
    EXPECT_EQ(editor.StatusText(), u"The default '-1' is not valid according to its type definition.");
    EXPECT_TRUE(editor.EditRow(u"default", u"12.5"));

    // Without a name row the token keeps its name through an edit.
    ASSERT_EQ(editor.SetElement(u"Rate", u"rate", u"", u"", u"", true), S_OK);
    sent = editor.EditRow(u"maxOccurs", u"2");
    ASSERT_TRUE(sent) << Narrow(editor.StatusText());
    EXPECT_EQ(ItemOf(*sent, u"name"), u"rate");
}

} // namespace
