// Documents that keep the layout of their text: a hand-written file saved again as it was, except for what
// was edited, and the writer's own layout wherever the text and the tree part.
#include "platform/xml/tests/xml_test_util.h"

namespace vr::xml {
namespace {

using testing::NewDocument;
using testing::ReadFile;
using testing::Select;
using testing::WriteFile;

// A hand-written file: CR LF line ends, a document type with an indented internal subset, a start tag over
// two lines in single quotes, an empty element with its end tag, a comment after the root.
constexpr const char* kHandWritten = "<?xml version='1.0' encoding='utf-8'?>\r\n"
                                     "<!DOCTYPE device [\r\n"
                                     "    <!ENTITY maker \"VORNIC\">\r\n"
                                     "    <!-- the bench's name -->\r\n"
                                     "]>\r\n"
                                     "<device  name='dmm'\r\n"
                                     "         maker=\"&maker;\" >\r\n"
                                     "  <!-- settings\r\n       of the meter -->\r\n"
                                     "  <range value='10'\r\n         unit=\"V\"/>\r\n"
                                     "  <empty></empty>\r\n"
                                     "  <text>line one\r\nline two</text>\r\n"
                                     "</device>\r\n"
                                     "\r\n"
                                     "<!-- end -->\r\n";

Document Loaded(const std::string& path, bool keepLayout) {
    Document doc = NewDocument();
    doc.setPreserveWhiteSpace(true);
    doc.setKeepLayout(keepLayout);
    EXPECT_EQ(doc.load(FromUtf8(path)), S_OK) << ToUtf8(doc.parseError().reason);
    return doc;
}

TEST(DocumentLayout, AHandWrittenFileIsWrittenAsItWasAndAnEditedTagInTheWritersForm) {
    const std::string path = WriteFile("device.xml", kHandWritten);
    Document doc = Loaded(path, true);
    ASSERT_EQ(doc.save(FromUtf8(path)), S_OK);
    EXPECT_EQ(ReadFile(path), kHandWritten);
    // Loaded again from its own text (as a file class reparses it), the layout is the same.
    Document again = NewDocument();
    again.setPreserveWhiteSpace(true);
    again.setKeepLayout(true);
    ASSERT_EQ(again.loadXML(doc.xml()), S_OK);
    ASSERT_EQ(again.save(FromUtf8(path)), S_OK);
    EXPECT_EQ(ReadFile(path), kHandWritten);

    // One attribute changed: in that tag alone, in its place (the rest of the tag as written); one removed
    // and set again to what it was: the tag as written; a copy put in place of an element keeps its layout
    // while it is unchanged; a new element gets the writer's layout.
    ASSERT_EQ(Select(again, u"/device/range").setAttribute(u"value", u"20"), S_OK);
    ASSERT_EQ(Select(again, u"/device").removeAttribute(u"name"), S_OK);
    ASSERT_EQ(Select(again, u"/device").setAttribute(u"name", u"dmm"), S_OK);
    Node empty = Select(again, u"/device/empty");
    Node copy;
    ASSERT_EQ(empty.cloneNode(true, &copy), S_OK);
    ASSERT_EQ(empty.parentNode().replaceChild(copy, empty), S_OK);
    Node added;
    ASSERT_EQ(again.createElement(u"added", &added), S_OK);
    ASSERT_EQ(again.documentElement().appendChild(added), S_OK);
    ASSERT_EQ(again.save(FromUtf8(path)), S_OK);
    std::string expected = kHandWritten;
    expected.replace(expected.find("<range"),
                     std::string("<range value='10'\r\n         unit=\"V\"/>").size(),
                     "<range value=\"20\"\r\n         unit=\"V\"/>");
    expected.replace(expected.find("</device>"), 0, "<added/>");
    EXPECT_EQ(ReadFile(path), expected);
}

TEST(DocumentLayout, WithoutAskingOrForAnotherEncodingTheWritersOwnLayoutHolds) {
    const std::string path = WriteFile("plain.xml", "<r a='1'\n   b='2'></r>\n");
    ASSERT_EQ(Loaded(path, false).save(FromUtf8(path)), S_OK);
    EXPECT_EQ(ReadFile(path), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<r a=\"1\" b=\"2\"/>\r\n");

    // A text in another encoding is written in UTF-8, which its declaration must then say.
    const std::string latin =
        WriteFile("latin.xml", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<r>\xE9</r>\n");
    ASSERT_EQ(Loaded(latin, true).save(FromUtf8(latin)), S_OK);
    EXPECT_EQ(ReadFile(latin), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<r>\xC3\xA9</r>\r\n");

    // A text without a declaration keeps having none.
    const std::string bare = WriteFile("bare.xml", "<r/>\n");
    ASSERT_EQ(Loaded(bare, true).save(FromUtf8(bare)), S_OK);
    EXPECT_EQ(ReadFile(bare), "<r/>\n");
}

} // namespace
} // namespace vr::xml
