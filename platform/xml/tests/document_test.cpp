// Documents: loading text, files and resources, parse errors, saving, white space and properties.
#include "platform/base/text.h"
#include "platform/xml/tests/xml_test_util.h"

#include <filesystem>
#include <sys/stat.h>

namespace vr::xml {
namespace {

using testing::NewDocument;
using testing::Parse;

TEST(Document, NewDocumentHasTheDefaultsAndIsCompleted) {
    Document doc = NewDocument();
    EXPECT_TRUE(doc.async());
    EXPECT_TRUE(doc.validateOnParse());
    EXPECT_FALSE(doc.preserveWhiteSpace());
    EXPECT_EQ(doc.readyState(), 4);
    EXPECT_EQ(doc.nodeType(), NODE_DOCUMENT);
    EXPECT_EQ(doc.nodeName(), u"#document");
    EXPECT_FALSE(doc.documentElement());
    EXPECT_EQ(doc.parseError().errorCode, S_OK);
}

TEST(Document, TextRoundTripsThroughXml) {
    Document doc = Parse(u"<root a='1 &amp; 2' b=\"&lt;&quot;\"><b>x &lt; y &gt; z</b><!--c--><?pi data?>"
                         u"<![CDATA[<raw>]]></root>");
    std::u16string xml = doc.xml();
    EXPECT_EQ(xml, u"<root a=\"1 &amp; 2\" b=\"&lt;&quot;\"><b>x &lt; y &gt; z</b><!--c--><?pi data?>"
                   u"<![CDATA[<raw>]]></root>\r\n");
    Document again = Parse(xml);
    EXPECT_EQ(again.xml(), xml);
}

TEST(Document, KeepsTheXmlDeclarationOnlyWhenTheTextHadOne) {
    EXPECT_EQ(Parse(u"<?xml version='1.0' encoding='UTF-16'?><r/>").xml(),
              u"<?xml version=\"1.0\"?>\r\n<r/>\r\n");
    EXPECT_EQ(Parse(u"<r/>").xml(), u"<r/>\r\n");
}

TEST(Document, ValuesWithLineBreaksAndNonAsciiSurviveSavingAndLoading) {
    Document doc = Parse(u"<r/>");
    Node root = doc.documentElement();
    ASSERT_EQ(root.setAttribute(u"v", u"a\tb\r\nc \u00e9\u4e2d"), S_OK);
    ASSERT_EQ(root.setText(u"line1\r\nline2 \U0001F600"), S_OK);
    std::string path = vrtest::MakeFreshFolder("save") + "/out.xml";
    ASSERT_EQ(doc.save(FromUtf8(path)), S_OK);
    EXPECT_EQ(testing::ReadFile(path).rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", 0), 0u);

    Document loaded = NewDocument();
    loaded.setPreserveWhiteSpace(true);
    ASSERT_EQ(loaded.load(FromUtf8(path)), S_OK);
    std::u16string value;
    ASSERT_EQ(loaded.documentElement().getAttribute(u"v", &value), S_OK);
    EXPECT_EQ(value, u"a\tb\r\nc \u00e9\u4e2d");
    EXPECT_EQ(loaded.documentElement().text(), u"line1\r\nline2 \U0001F600");
    EXPECT_EQ(loaded.url(), FromUtf8(path));
}

TEST(Document, LoadsFilesInTheirDeclaredEncodingAndFileUrls) {
    std::string path =
        testing::WriteFile("latin1.xml", "<?xml version='1.0' encoding='ISO-8859-1'?><r>\xE9t\xE9</r>");
    Document doc = NewDocument();
    ASSERT_EQ(doc.load(FromUtf8(path)), S_OK);
    EXPECT_EQ(doc.documentElement().text(), u"\u00e9t\u00e9");
    ASSERT_EQ(doc.load(u"file://" + FromUtf8(path)), S_OK);
    EXPECT_EQ(doc.documentElement().text(), u"\u00e9t\u00e9");
}

TEST(Document, MissingFileGivesTheWindowsErrorAndKeepsTheContent) {
    Document doc = Parse(u"<kept/>");
    std::u16string url = FromUtf8(vrtest::MakeFreshFolder("missing")) + u"/nothing.xml";
    EXPECT_EQ(doc.load(url), HRESULT_FROM_WIN32(2));
    ParseError error = doc.parseError();
    EXPECT_EQ(error.errorCode, HRESULT_FROM_WIN32(2));
    EXPECT_EQ(error.url, url);
    EXPECT_FALSE(error.reason.empty());
    EXPECT_EQ(doc.documentElement().nodeName(), u"kept");
}

TEST(Document, FolderIsNotADocument) {
    Document doc = NewDocument();
    HRESULT hr = doc.load(FromUtf8(vrtest::MakeFreshFolder("folder")));
    EXPECT_EQ(hr, HRESULT_FROM_WIN32(5));
}

TEST(Document, ParseErrorTellsWhereAndWhy) {
    Document doc = Parse(u"<before/>");
    std::u16string text = u"<root>\n  <a>x</b>\n</root>";
    HRESULT hr = doc.loadXML(text);
    ParseError error = doc.parseError();
    EXPECT_LT(hr, 0);
    EXPECT_EQ(hr, error.errorCode);
    EXPECT_EQ(static_cast<uint32_t>(hr) & 0xFFFFE000u, 0xC00CE000u);
    EXPECT_EQ(error.line, 2);
    EXPECT_GT(error.linepos, 0);
    EXPECT_EQ(error.srcText, u"  <a>x</b>");
    EXPECT_NE(error.reason.find(u"mismatch"), std::u16string::npos) << ToUtf8(error.reason);
    ASSERT_GE(error.reason.size(), 2u);
    EXPECT_EQ(error.reason.substr(error.reason.size() - 2), u"\r\n");
    EXPECT_EQ(error.filepos, 7 + error.linepos - 1);
    EXPECT_EQ(doc.documentElement().nodeName(), u"before"); // a failed load changes nothing
    ASSERT_EQ(doc.loadXML(u"<after/>"), S_OK);
    EXPECT_EQ(doc.parseError().errorCode, S_OK);
}

TEST(Document, ErrorPositionsCountCharacters) {
    Document doc = NewDocument();
    EXPECT_LT(doc.loadXML(u"<r>\u00e9\u00e9<</r>"), 0);
    ParseError error = doc.parseError();
    EXPECT_EQ(error.line, 1);
    EXPECT_EQ(error.srcText, u"<r>\u00e9\u00e9<</r>");
    EXPECT_EQ(error.filepos, error.linepos - 1); // in characters, although the text was UTF-8 inside
}

TEST(Document, MalformedInputsAreRefused) {
    Document doc = NewDocument();
    EXPECT_LT(doc.loadXML(u""), 0);
    EXPECT_LT(doc.loadXML(u"<a/><b/>"), 0);
    EXPECT_LT(doc.loadXML(u"<a>"), 0);
    EXPECT_LT(doc.loadXML(u"<a x='1' x='2'/>"), 0);
    // A prefix nobody declared makes the text unusable, as the schema factory relies on.
    EXPECT_LT(doc.loadXML(u"<q:a/>"), 0);
    EXPECT_LT(doc.loadXML(u"<a q:x='1'/>"), 0);
}

TEST(Document, WhiteSpaceIsDroppedUnlessPreserved) {
    std::u16string text = u"<r>\n  <a> x </a>\n</r>";
    Document dropped = Parse(text, false);
    EXPECT_EQ(dropped.documentElement().childNodes().length(), 1);
    EXPECT_EQ(dropped.documentElement().text(), u"x");
    Document kept = Parse(text, true);
    EXPECT_EQ(kept.documentElement().childNodes().length(), 3);
    EXPECT_EQ(kept.documentElement().text(), u"\n   x \n");
}

TEST(Document, ResourcesComeThroughTheResolver) {
    Document doc = NewDocument();
    EXPECT_LT(doc.load(u"res:///lib/libx.so/Attributes.xml"), 0); // no resolver yet
    SetResourceResolver([](std::u16string_view url, std::string* bytes) -> HRESULT {
        if (url != u"res:///lib/libx.so/Attributes.xml") {
            return HRESULT_FROM_WIN32(1813); // resource type not found
        }
        *bytes = "<attributes/>";
        return S_OK;
    });
    EXPECT_EQ(doc.load(u"res:///lib/libx.so/Attributes.xml"), S_OK);
    EXPECT_EQ(doc.documentElement().nodeName(), u"attributes");
    EXPECT_EQ(doc.load(u"res:///lib/libx.so/Other.xml"), HRESULT_FROM_WIN32(1813));
    SetResourceResolver(nullptr);
}

TEST(Document, SelectionPropertiesAreCheckedAndKept) {
    Document doc = NewDocument();
    EXPECT_EQ(doc.setProperty(u"SelectionLanguage", u"XPath"), S_OK);
    EXPECT_EQ(doc.setProperty(u"SelectionLanguage", u"XSLPattern"), E_INVALIDARG);
    std::u16string namespaces =
        u"xmlns:xsd='http://www.w3.org/2001/XMLSchema' xmlns:ms=\"urn:schemas-microsoft-com:xslt\"";
    EXPECT_EQ(doc.setProperty(u"SelectionNamespaces", namespaces), S_OK);
    std::u16string value;
    ASSERT_EQ(doc.getProperty(u"SelectionNamespaces", &value), S_OK);
    EXPECT_EQ(value, namespaces);
    EXPECT_EQ(doc.setProperty(u"SelectionNamespaces", u"xmlns:a="), E_INVALIDARG);
    EXPECT_EQ(doc.setProperty(u"SelectionNamespaces", u"xsd='x'"), E_INVALIDARG);
    EXPECT_EQ(doc.setProperty(u"SelectionNamespaces", u"xmlns='urn:default' xmlns:a='urn:a'"), S_OK);
    EXPECT_EQ(doc.setProperty(u"NoSuchProperty", u"x"), E_INVALIDARG);
}

TEST(Document, SavingReplacesTheFileWholeAndKeepsItsPermissions) {
    std::string path = testing::WriteFile("store.xml", "<ConfigStore><connections/></ConfigStore>");
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    Document doc = NewDocument();
    ASSERT_EQ(doc.load(FromUtf8(path)), S_OK);
    Node record;
    ASSERT_EQ(doc.createElement(u"connection", &record), S_OK);
    ASSERT_EQ(record.setAttribute(u"name", u"dmm"), S_OK);
    ASSERT_EQ(doc.documentElement().firstChild().appendChild(record), S_OK);
    ASSERT_EQ(doc.save(FromUtf8(path)), S_OK);
    EXPECT_NE(testing::ReadFile(path).find("<connection name=\"dmm\"/>"), std::string::npos);
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    std::string folder = path.substr(0, path.rfind('/'));
    size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) {
        ++files;
    }
    EXPECT_EQ(files, 1u); // no temporary file left behind
}

TEST(Document, SaveToAnUnwritablePlaceFails) {
    Document doc = Parse(u"<r/>");
    HRESULT hr = doc.save(FromUtf8(vrtest::MakeFreshFolder("nosave")) + u"/missing/dir/out.xml");
    EXPECT_EQ(hr, HRESULT_FROM_WIN32(2)); // ENOENT: the folder is missing
}

} // namespace
} // namespace vr::xml
