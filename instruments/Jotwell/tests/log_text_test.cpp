// The log file's text: field contents in ISO-8859-1 or HexData, names, the append position, and XPath
// literals evaluated by the real XPath engine.
#include "LogText.h"
#include "jotwell.h"
#include "platform/xml/dom.h"

#include <gtest/gtest.h>

namespace {

using jotwell::FieldContent;

TEST(LogTextTest, PlainDataAndWhiteSpaceStayInCData) {
    EXPECT_EQ(FieldContent(u"*IDN?"), "<![CDATA[*IDN?]]>");
    EXPECT_EQ(FieldContent(u"a\tb\nc\rd"), "<![CDATA[a\tb\nc\rd]]>");
    EXPECT_EQ(FieldContent(u""), "<![CDATA[]]>");
    // Characters of ISO-8859-1 are one byte each, as the file's declaration says.
    EXPECT_EQ(FieldContent(u"25\u00B0C \u00E9"), "<![CDATA[25\xB0"
                                                 "C \xE9]]>");
}

TEST(LogTextTest, ControlCharactersEndMarkersAndWideCharactersBecomeHexData) {
    EXPECT_EQ(FieldContent(u"\x1B[0m"), "HexData: 1B 5B 30 6D");
    EXPECT_EQ(FieldContent(u"a]]>b"), "HexData: 61 5D 5D 3E 62");
    EXPECT_EQ(FieldContent(u"\u03A9"), "HexData: 3A9");
    EXPECT_EQ(FieldContent(u"\x0B"), "HexData: 0B");
    EXPECT_EQ(FieldContent(u"\x7F"), "<![CDATA[\x7F]]>");
}

TEST(LogTextTest, DataEndsAtItsFirstNulInBothForms) {
    EXPECT_EQ(FieldContent(std::u16string(u"ab\0cd", 5)), "<![CDATA[ab]]>");
    EXPECT_EQ(FieldContent(std::u16string(u"\x1B\0\x1B", 3)), "HexData: 1B");
}

TEST(LogTextTest, HexDataDecodesBackToTheSavedData) {
    for (std::u16string data : {u"\x1B[0m", u"a]]>b", u"\u03A9 \u00E9\x01", u"\xFFFF\x0100"}) {
        std::string content = FieldContent(data);
        ASSERT_EQ(content.rfind("HexData:", 0), 0U);
        EXPECT_EQ(jotwell::DecodeFieldText(std::u16string(content.begin(), content.end())), data);
    }
    EXPECT_EQ(jotwell::DecodeFieldText(u"plain HexData: 41"), u"plain HexData: 41");
    EXPECT_EQ(jotwell::DecodeFieldText(u"HexData:"), u"");
}

TEST(LogTextTest, OnlyXmlNamesInIso88591AreWritableNames) {
    for (std::u16string name : {u"record", u"in", u"_x", u"a:b", u"r-1.2", u"\u00E9t\u00E9"}) {
        EXPECT_TRUE(jotwell::IsLatin1XmlName(name)) << std::string(name.begin(), name.end());
    }
    for (std::u16string name : {u"", u"1a", u"a b", u"a<b", u"-a", u"\u03A9", u"a/b", u"*"}) {
        EXPECT_FALSE(jotwell::IsLatin1XmlName(name));
    }
}

TEST(LogTextTest, AppendingStartsAtTheCloseTagOrElseAtTheEnd) {
    using jotwell::AppendPosition;
    EXPECT_EQ(AppendPosition("<log>\r\n<r></r></log>", 100, u"log"), 114U);
    EXPECT_EQ(AppendPosition("<log>\r\n<r></r></log>\r\n  ", 100, u"log"), 114U);
    // No close tag: the recorder died; its last record stays.
    EXPECT_EQ(AppendPosition("<log>\r\n<r></r>", 100, u"log"), 114U);
    EXPECT_EQ(AppendPosition("<log>\r\n<r></r>\n", 0, u"log"), 15U);
    // The close tag of another root is not ours to overwrite.
    EXPECT_EQ(AppendPosition("<x></x>", 0, u"log"), 7U);
    EXPECT_EQ(AppendPosition("g>", 0, u"log"), 2U);
}

// Each text is found by a query built from it, whatever quotes it holds.
TEST(LogTextTest, XPathLiteralsFindTextsWithEitherQuote) {
    const std::u16string texts[] = {u"plain", u"it's", u"say \"hi\"", u"SYST:ERR? 'a' \"b\"", u"'",
                                    u"''x\"", u""};
    vr::xml::Document document;
    ASSERT_EQ(vr::xml::Document::Create(&document), S_OK);
    ASSERT_EQ(document.loadXML(u"<log/>"), S_OK);
    vr::xml::Node root = document.documentElement();
    for (const std::u16string& text : texts) {
        vr::xml::Node item;
        ASSERT_EQ(document.createElement(u"in", &item), S_OK);
        ASSERT_EQ(item.setText(text), S_OK);
        ASSERT_EQ(root.appendChild(item), S_OK);
    }
    for (size_t i = 0; i < std::size(texts); ++i) {
        vr::xml::NodeList found;
        std::u16string literal = XPathStringLiteral(texts[i]);
        ASSERT_EQ(document.selectNodes(u"/log/in[. = " + literal + u"]", &found), S_OK)
            << std::string(literal.begin(), literal.end());
        ASSERT_EQ(found.length(), 1);
        EXPECT_EQ(found.item(0).text(), texts[i]);
    }
}

} // namespace
