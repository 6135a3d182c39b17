// XPath literals for texts with apostrophes and quotes, checked by evaluating them.
#include "attributes/XPathText.h"

#include "platform/xml/dom.h"

#include <gtest/gtest.h>

namespace tabrisk {
namespace {

// Whether the literal, compared with the attribute that holds the text, selects its element.
bool Selects(std::u16string_view text) {
    vr::xml::Document document;
    EXPECT_EQ(vr::xml::Document::Create(&document), S_OK);
    EXPECT_EQ(document.loadXML(u"<r><e/></r>"), S_OK);
    vr::xml::Node element;
    EXPECT_EQ(document.selectSingleNode(u"/r/e", &element), S_OK);
    EXPECT_EQ(element.setAttribute(u"v", text), S_OK);
    vr::xml::Node found;
    return document.selectSingleNode(u"/r/e[@v = " + XPathLiteral(text) + u"]", &found) == S_OK;
}

TEST(XPathLiteralTest, EveryMixOfQuotesSelectsItsText) {
    EXPECT_EQ(XPathLiteral(u"plain"), u"'plain'");
    EXPECT_EQ(XPathLiteral(u"it's"), u"\"it's\"");
    EXPECT_EQ(XPathLiteral(u"'\"x\"'"), u"concat(\"'\", '\"x\"', \"'\")");
    for (std::u16string_view text :
         {u"", u"plain", u"it's", u"say \"hi\"", u"both ' and \"", u"'\"'\"", u"''"}) {
        EXPECT_TRUE(Selects(text)) << std::string(text.begin(), text.end());
    }
}

} // namespace
} // namespace tabrisk
