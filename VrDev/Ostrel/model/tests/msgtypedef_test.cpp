// Message definitions: the worked example built, read back and re-parsed, the key proposals, sample edits,
// and samples whose marks, quotes or emptiness used to break the round trip.
#include "VrDev/Ostrel/model/MsgTypeDef.h"

#include "platform/base/text.h"
#include "platform/com/activation.h"

#include <gtest/gtest.h>

namespace {

const std::string kSample = "Get pos 1\nStatA = 12\nStatB =1.145\n-> ";

// The element names of a complex type's sequence in order, a nested sequence as "[min..max names]".
std::string Outline(const vr::xml::Node& node) {
    std::string text;
    for (const vr::xml::Node& child : node.childNodes()) {
        if (child.nodeType() != vr::xml::NODE_ELEMENT) {
            continue;
        }
        std::u16string name;
        if (child.baseName() == u"sequence") {
            std::u16string min;
            std::u16string max;
            (void)child.getAttribute(u"minOccurs", &min);
            (void)child.getAttribute(u"maxOccurs", &max);
            text += "[" + vr::ToUtf8(min) + ".." + vr::ToUtf8(max) + " " + Outline(child) + "] ";
        } else if (child.getAttribute(u"name", &name) == S_OK) {
            text += vr::ToUtf8(name) + " ";
        }
    }
    return text;
}

std::string Positions(const CMsgTypeDef& definition) {
    std::string text;
    for (const MtdElement& item : definition.Elements()) {
        text += std::to_string(static_cast<int>(item.kind)) + ":" + std::to_string(item.nPosBegin) + ".." +
                std::to_string(item.nPosEnd) + " ";
    }
    return text;
}

class MsgTypeDefTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
    void TearDown() override { CoUninitialize(); }

    // The built-in example: a key, an int value in an optional group, a line-feed key, the terminator.
    void MakeExample(CMsgTypeDef& definition) {
        definition.Init(kSample, "msgGetB1Response", "", u"xsd", u"vra:substitution=enumeration");
        definition.AddElement(18, 20, u"type=int name=nStatA");
        definition.AddElement(10, 18, u"type=string name=strKey1 fixed='StatA = '");
        definition.AddElement(20, 21, u"type=string name=strKey2 fixed='\n'");
        definition.AddSequence(18, 20, u"minOccurs=0 maxOccurs=1");
    }
    // Builds, loads the build into a fresh definition and builds again: both builds must be equal.
    void ExpectRoundTrip(CMsgTypeDef& definition, CMsgTypeDef& reread) {
        vr::xml::Node built;
        ASSERT_EQ(definition.GetMsgTypeDef(&built), S_OK);
        ASSERT_EQ(reread.Load(built), S_OK);
        vr::xml::Node rebuilt;
        ASSERT_EQ(reread.GetMsgTypeDef(&rebuilt), S_OK);
        EXPECT_EQ(vr::ToUtf8(rebuilt.xml()), vr::ToUtf8(built.xml()));
        EXPECT_EQ(reread.Sample(), definition.Sample());
        EXPECT_FALSE(reread.IsModified());
    }
};

TEST_F(MsgTypeDefTest, WorkedExampleBuildsReadsBackAndFollowsALongerValue) {
    ASSERT_EQ(kSample.size(), 37u);
    CMsgTypeDef definition;
    MakeExample(definition);
    vr::xml::Node built;
    ASSERT_EQ(definition.GetMsgTypeDef(&built), S_OK);
    EXPECT_EQ(vr::ToUtf8(built.firstChild().nodeValue()), "MessageTextSample: " + kSample);
    vr::xml::Node sequence = built.firstChild().nextSibling();
    EXPECT_EQ(Outline(sequence), "_strGap1 strKey1 [0..1 nStatA ] strKey2 _strGap2 _strTermString ");
    vr::xml::Node terminator = sequence.lastChild();
    std::u16string fixed;
    ASSERT_EQ(terminator.getAttribute(u"fixed", &fixed), S_OK);
    EXPECT_EQ(fixed, u"> ");
    EXPECT_NE(sequence.firstChild().xml().find(u"[^~]*"), std::u16string::npos);

    CMsgTypeDef reread;
    ExpectRoundTrip(definition, reread);
    EXPECT_EQ(Positions(reread), "1:10..18 2:18..20 1:18..20 3:-1..20 1:20..21 1:35..37 ");

    // A longer value moves the key behind it; an edit that no longer parses changes nothing.
    ASSERT_EQ(reread.ChangeSampleText("Get pos 1\nStatA = 1234\nStatB =1.145\n-> "), S_OK);
    size_t key = CMsgTypeDef::kNoRecord;
    ASSERT_TRUE(reread.FindElementByName(u"strKey2", &key));
    EXPECT_EQ(reread.Elements()[key].nPosBegin, 22);
    int b = 0;
    int e = 0;
    ASSERT_TRUE(reread.GetElementSpanAt(19, &b, &e));
    EXPECT_EQ(e - b, 4);
    const std::string before = Positions(reread);
    EXPECT_FALSE(reread.EditSampleText(20, 'x', false));
    EXPECT_EQ(Positions(reread), before);
    EXPECT_TRUE(reread.EditSampleText(22, '5', false));
    EXPECT_EQ(reread.Sample().substr(18, 5), "12345");
    EXPECT_TRUE(CMsgTypeDef::TestClass());
}

TEST_F(MsgTypeDefTest, KeySearchesTerminatorsNamesAndInsertions) {
    CMsgTypeDef definition;
    definition.Init(kSample, "msgGetB1Response", "", u"xsd", u"vra:substitution=enumeration");
    ASSERT_EQ(Positions(definition), "1:35..37 ");
    int b = -5;
    int e = 18;
    EXPECT_TRUE(definition.FindPrefixKey(&b, &e, false));
    EXPECT_EQ(b, 16);
    b = 20;
    e = -5;
    EXPECT_TRUE(definition.FindPostfixKey(&b, &e, false));
    EXPECT_EQ(e, 21);
    b = 36;
    e = -5;
    EXPECT_FALSE(definition.FindPostfixKey(&b, &e, false));
    EXPECT_EQ(e, -5);
    b = 37;
    EXPECT_TRUE(definition.FindPostfixKey(&b, &e, false));
    EXPECT_EQ(b + e, 0);
    b = -5;
    e = 20; // "2" right before
    EXPECT_FALSE(definition.FindPrefixKey(&b, &e, false));
    b = 19; // "2" right after
    EXPECT_FALSE(definition.FindPostfixKey(&b, &e, false));

    // Keys 1 and 3 taken: 2 is free; without keys 1 is.
    EXPECT_EQ(definition.GetFreeName(u"_strKey"), u"_strKey1");
    definition.AddElement(0, 3, u"type=string name=_strKey1 fixed=Get");
    definition.AddElement(4, 7, u"type=string name=_strKey3 fixed=pos");
    EXPECT_EQ(definition.GetFreeName(u"_strKey"), u"_strKey2");
    EXPECT_FALSE(definition.CanAddElement(1, 2));
    EXPECT_TRUE(definition.CanAddElement(8, 9));
    EXPECT_FALSE(definition.CanAddElement(3, 8)); // around "pos"

    const size_t size = definition.Elements().size();
    EXPECT_FALSE(definition.InsertMtdElement({MtdKind::SchemaElement, 9, 10, u"type=string name=x"},
                                             static_cast<long>(size + 1)));
    EXPECT_TRUE(definition.InsertMtdElement({MtdKind::SchemaElement, 40, 41, u"type=string name=x"},
                                            static_cast<long>(size)));
    EXPECT_EQ(definition.Elements().back().nPosBegin, 40);

    // Blanks between a key and a number make no gap, yet use up a gap number.
    CMsgTypeDef blanks;
    blanks.Init("A = 12 B\n", "msgBlanksResponse", "\n", u"xsd", u"vra:substitution=enumeration");
    blanks.AddElement(0, 3, u"type=string name=_strKey1 fixed='A ='");
    blanks.AddElement(4, 6, u"type=int name=value1");
    vr::xml::Node built;
    ASSERT_EQ(blanks.GetMsgTypeDef(&built), S_OK);
    EXPECT_EQ(Outline(built.firstChild().nextSibling()), "_strKey1 value1 _strGap2 _strTermString ");

    // A terminator that holds quotes is described so that it reads back whole.
    CMsgTypeDef quoted;
    quoted.Init("V=1 ''", "msgQuotedResponse", "", u"xsd", u"vra:substitution=enumeration");
    ASSERT_EQ(Positions(quoted), "1:4..6 ");
    ASSERT_EQ(quoted.GetMsgTypeDef(&built), S_OK);
    std::u16string fixed;
    ASSERT_EQ(built.firstChild().nextSibling().lastChild().getAttribute(u"fixed", &fixed), S_OK);
    EXPECT_EQ(fixed, u"''");

    CMsgTypeDef digits;
    digits.Init("VALUE 12", "msg", "", u"xsd", u"vra:substitution=enumeration");
    EXPECT_TRUE(digits.Elements().empty());
}

TEST_F(MsgTypeDefTest, ParsedAnswersAreWrittenAsLinesAndGroupsSpanTheirRepetitions) {
    CMsgTypeDef definition;
    definition.Init("1,2,3 V\n", "msgReadResponse", "\n", u"xsd", u"vra:substitution=enumeration");
    definition.AddElement(0, 1, u"type=double name=reading");
    definition.AddElement(1, 2, u"type=string name=_strKey1 fixed=','");
    definition.AddElement(2, 3, u"type=double name=reading2");
    definition.AddSequence(1, 3, u"minOccurs=0");
    // Placing the tokens finds where the group's last repetition ends: no gap is left after it.
    ASSERT_EQ(definition.ParseText(""), S_OK);
    EXPECT_TRUE(definition.ParseResultText().empty());
    ASSERT_EQ(definition.ParseText("1,2,3,4 V\n"), S_OK);
    EXPECT_EQ(definition.ParseResultText(),
              "(double) reading = '1';\n(double) reading2[3] = '2', '3', '4';\n");

    CMsgTypeDef reread;
    ExpectRoundTrip(definition, reread);
    vr::xml::Node built;
    size_t group = CMsgTypeDef::kNoRecord;
    size_t end = CMsgTypeDef::kNoRecord;
    ASSERT_TRUE(reread.FindElement(-1, -1, &group, MtdKind::SequenceBegin));
    ASSERT_TRUE(reread.FindSequenceEnd(group, &end));
    EXPECT_EQ(reread.Elements()[group].nPosBegin, 1);
    EXPECT_EQ(reread.Elements()[group].nPosEnd, 3);
    EXPECT_EQ(reread.Elements()[end].nPosEnd, 5); // the end of the last repetition
    EXPECT_EQ(reread.Elements()[group].ExtAttributes, u"type=sequence minOccurs=0");

    // A group the engine does not place (the gap after it takes its text) keeps no position; the load
    // still succeeds.
    CMsgTypeDef unplaced;
    unplaced.Init("+1.0E+00,+2.0E+00,+3.0E+00\n", "msgUnplacedResponse", "\n", u"xsd",
                  u"vra:substitution=enumeration");
    unplaced.AddElement(0, 8, u"type=double name=reading");
    unplaced.AddElement(8, 9, u"type=string name=_strKey1 fixed=','");
    unplaced.AddElement(9, 17, u"type=double name=reading2");
    unplaced.AddSequence(8, 17, u"minOccurs=0");
    ASSERT_EQ(unplaced.GetMsgTypeDef(&built), S_OK);
    CMsgTypeDef unplacedRead;
    ASSERT_EQ(unplacedRead.Load(built), S_OK);
    ASSERT_TRUE(unplacedRead.FindElement(-1, -1, &group, MtdKind::SequenceBegin));
    EXPECT_EQ(unplacedRead.Elements()[group].nPosBegin, -1);

    int failure = 0;
    EXPECT_EQ(reread.ParseText("A,2 V\n", &failure), E_FAIL);
    EXPECT_EQ(failure, 0);
    EXPECT_TRUE(reread.ParseResultText().empty());
}

TEST_F(MsgTypeDefTest, MarksQuotesAndAnEmptySampleKeepTheDefinitionSound) {
    // A sample with both gap marks: its gaps still read back as gaps, not as tokens.
    CMsgTypeDef marks;
    marks.Init("~A$ = 12\n", "msgMarksResponse", "\n", u"xsd", u"vra:substitution=enumeration");
    marks.AddElement(6, 8, u"type=int name=value1");
    CMsgTypeDef marksRead;
    ExpectRoundTrip(marks, marksRead);
    EXPECT_EQ(marksRead.Elements().size(), marks.Elements().size());
    ASSERT_EQ(marksRead.ParseText("~A$ = 345\n"), S_OK);
    EXPECT_EQ(marksRead.ParseResultText(), "(int) value1 = '345';\n");

    // Apostrophes in fixed texts, gaps, terminators and enumeration values.
    CMsgTypeDef quotes;
    quotes.SetGapMode(GapMode::Fixed);
    quotes.Init("It's ON o'clock'\n", "msgQuote", "", u"xsd", u"vra:substitution=enumeration");
    quotes.AddElement(0, 5, u"type=string name=_strKey1 fixed=\"It's \"");
    quotes.AddElement(5, 7, u"type=string name=value1 enumeration=ON enumeration=\"O'N\"");
    vr::xml::Node built;
    ASSERT_EQ(quotes.GetMsgTypeDef(&built), S_OK);
    EXPECT_EQ(Outline(built.firstChild().nextSibling()), "_strKey1 value1 _strGap1 _strTermString ");
    ASSERT_EQ(quotes.ParseText("It's O'N o'clock'\n"), S_OK);
    EXPECT_EQ(quotes.ParseResultText(), "(string) value1 = 'O'N';\n");
    // Read back for a command, the keys and the terminator become fixed gaps again, quotes and all.
    CMsgTypeDef quotesRead;
    quotesRead.SetGapMode(GapMode::Fixed);
    ASSERT_EQ(quotesRead.Load(built), S_OK);
    vr::xml::Node rebuilt;
    ASSERT_EQ(quotesRead.GetMsgTypeDef(&rebuilt), S_OK);
    EXPECT_EQ(Outline(rebuilt.firstChild().nextSibling()), "_strGap1 value1 _strGap2 ");
    ASSERT_EQ(quotesRead.ParseText("It's O'N o'clock'\n"), S_OK);
    EXPECT_EQ(quotesRead.ParseResultText(), "(string) value1 = 'O'N';\n");

    // A sample an XML comment cannot hold is refused, as a new sample and as an edit.
    CMsgTypeDef dashes;
    dashes.Init("A--B 12\n", "msgDashes", "\n", u"xsd", u"vra:substitution=enumeration");
    EXPECT_EQ(dashes.GetMsgTypeDef(&built), E_INVALIDARG);
    dashes.Init("A-B 12\n", "msgDashes", "\n", u"xsd", u"vra:substitution=enumeration");
    EXPECT_EQ(dashes.ChangeSampleText("A-B 12-"), E_INVALIDARG);
    EXPECT_FALSE(dashes.EditSampleText(2, '-', false));
    EXPECT_EQ(dashes.Sample(), "A-B 12\n");

    // An empty sample: every position within it, and everything built from it stays inside the text.
    CMsgTypeDef empty;
    empty.Init(kSample, "msgGetB1Response", "", u"xsd", u"vra:substitution=enumeration");
    empty.AddElement(18, 20, u"type=int name=nStatA");
    ASSERT_EQ(empty.ChangeSampleText(""), S_OK);
    for (const MtdElement& item : empty.Elements()) {
        EXPECT_LE(item.nPosBegin, 0);
        EXPECT_LE(item.nPosEnd, 0);
    }
    ASSERT_EQ(empty.GetMsgTypeDef(&built), S_OK);
    int b = 0;
    int e = 30;
    EXPECT_TRUE(empty.FindPrefixKey(&b, &e, true));
    EXPECT_FALSE(empty.EditSampleText(0, 'x', true));
    EXPECT_FALSE(empty.IsModified());
}

TEST_F(MsgTypeDefTest, LoadRefusesWhatIsNoDefinition) {
    CMsgTypeDef definition;
    EXPECT_EQ(definition.Load({}), E_POINTER);
    vr::xml::Document document;
    ASSERT_EQ(vr::xml::Document::Create(&document), S_OK);
    ASSERT_EQ(document.loadXML(u"<x xmlns:xsd='http://www.w3.org/2001/XMLSchema'><xsd:complexType name='a'>"
                               u"<xsd:sequence/></xsd:complexType><xsd:complexType name='b'/><xsd:element "
                               u"name='c'/></x>"),
              S_OK);
    vr::xml::Node first = document.documentElement().firstChild();
    EXPECT_EQ(definition.Load(first), E_FAIL);
    EXPECT_EQ(definition.Load(first.nextSibling()), E_POINTER);
    EXPECT_EQ(definition.Load(first.nextSibling().nextSibling()), E_INVALIDARG);
}

} // namespace
