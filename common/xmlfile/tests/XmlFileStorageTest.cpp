// Files of the XML file class: loading and saving real files, file names, and what a failure leaves behind.
#include "common/xmlfile/tests/XmlFileTestSupport.h"

#include "platform/base/format.h"
#include "platform/base/text.h"

#include <filesystem>

namespace xmlfiletest {
namespace {

std::u16string Wide(const std::string& text) {
    return vr::FromUtf8(text);
}

bool StartsWith(const std::string& text, const std::string& head) {
    return text.rfind(head, 0) == 0;
}

TEST_F(XmlFileTest, SavedFilesLoadBackWithTheirContent) {
    std::string path = HomeFile(".xml");
    {
        CXmlFile writer(Wide(path).c_str());
        ASSERT_EQ(writer.CreateDocument(kRootWithVrt), S_OK);
        ASSERT_EQ(writer.SetAttributes(u"/root/station[@id='7']", u"vrt:numid=3 label='A & <B>'"), S_OK);
        ASSERT_EQ(writer.SetElementText(u"/root/station/note", u" spaced  text "), S_OK);
        ASSERT_EQ(writer.Save(), S_OK);
        EXPECT_EQ(Lines(TRACE_LEVEL_INFO).back(), "File '" + path + "' was saved.");
        EXPECT_EQ(U8(TraceMethodName()), "CXmlFile::Save()");
    }
    ClearLines();
    CXmlFile reader(Wide(path).c_str());
    Bstr label, note;
    ASSERT_EQ(reader.GetAttribute(u"/root/station[@id='7']", u"label", label.ptr()), S_OK);
    EXPECT_EQ(Lines(TRACE_LEVEL_INFO),
              (std::vector<std::string>{"Loading '" + path + "' ...", "Loaded '" + path + "'."}));
    EXPECT_EQ(label.utf8(), "A & <B>");
    ASSERT_EQ(reader.GetElementText(u"/root/station/note", note.ptr()), S_OK);
    EXPECT_EQ(note.utf8(), " spaced  text ");
    EXPECT_EQ(Count(reader, u"/root/station[@vrt:numid='3']"), 1)
        << "the selection namespaces apply to loaded files";
}

TEST_F(XmlFileTest, ALoadedDocumentIsKeptUntilReleased) {
    std::string path = HomeFile(".xml");
    WriteText(path, "<root version='1'/>");
    CXmlFile file(Wide(path).c_str());
    ASSERT_EQ(file.Load(), S_OK);
    WriteText(path, "<root version='2'/>");
    Bstr version;
    ASSERT_EQ(file.Load(), S_OK);
    ASSERT_EQ(file.GetAttribute(u"/root", u"version", version.ptr()), S_OK);
    EXPECT_EQ(version.utf8(), "1") << "no second read while a document is loaded";
    ASSERT_EQ(file.ReleaseDocument(), S_OK);
    ASSERT_EQ(file.GetAttribute(u"/root", u"version", version.ptr()), S_OK);
    EXPECT_EQ(version.utf8(), "2");
}

TEST_F(XmlFileTest, FileNamesDecideWhereTheDocumentGoes) {
    std::string first = HomeFile("-1.xml"), second = HomeFile("-2.xml");
    WriteText(first, "<root/>");
    CXmlFile file(Wide(first).c_str());
    ASSERT_EQ(file.Load(), S_OK);
    vr::xml::Document loaded = file.GetDocument();
    ASSERT_EQ(file.SetFileName(Wide(first).c_str()), S_OK);
    EXPECT_EQ(file.GetDocument(), loaded) << "the same name changes nothing";
    ASSERT_EQ(file.SetFileName(Wide(second).c_str()), S_OK);
    EXPECT_EQ(file.GetDocument(), loaded) << "another name keeps the document";
    ASSERT_EQ(file.SetAttribute(u"/root", u"moved", u"yes"), S_OK);
    ASSERT_EQ(file.Save(), S_OK);
    EXPECT_EQ(ReadText(first), "<root/>");
    EXPECT_NE(ReadText(second).find("<root moved=\"yes\"/>"), std::string::npos) << ReadText(second);
    ASSERT_EQ(file.SetFileName(u""), S_OK);
    EXPECT_FALSE(file.GetDocument()) << "no name, no document";
}

TEST_F(XmlFileTest, WithoutAFileNameNothingIsReadOrWritten) {
    CXmlFile file;
    EXPECT_EQ(file.Save(), S_OK) << "nothing loaded, nothing to save";
    EXPECT_EQ(file.Load(), E_INVALIDARG);
    EXPECT_EQ(U8(LastErrorText()), "File is not specifed.");
    Node element;
    EXPECT_EQ(file.GetElement(u"/root", &element, true), E_INVALIDARG);
    ASSERT_EQ(file.CreateDocument(u"<root/>"), S_OK);
    EXPECT_EQ(file.Load(), S_OK) << "a loaded document needs no file";
    SetTraceMethodName(u"");
    EXPECT_EQ(file.Save(), E_INVALIDARG);
    EXPECT_TRUE(StartsWith(U8(TraceSiteTag()), "CXmlFile::Save(): XmlFile.cpp (")) << U8(TraceSiteTag());
    EXPECT_EQ(Lines(TRACE_LEVEL_ERROR).back(), "File is not specifed.");
}

TEST_F(XmlFileTest, AMalformedFileIsReportedAndNotKept) {
    std::string path = HomeFile(".xml");
    const std::string broken = "<root>\n  <a></root>\n";
    WriteText(path, broken);
    CXmlFile file(Wide(path).c_str());
    HRESULT hr = file.Load();
    EXPECT_LT(hr, 0);
    std::string report = U8(LastErrorText());
    EXPECT_TRUE(
        StartsWith(report, "-- Parse Error --\nerrorCode = 0x" + U8(vr::FormatWString(u"%x", hr)) + "\n"))
        << report;
    EXPECT_NE(report.find("\nline = 2; linepos = "), std::string::npos) << report;
    EXPECT_NE(report.find("\nurl: " + path + "\n"), std::string::npos) << report;
    EXPECT_EQ(Lines(TRACE_LEVEL_ERROR).back(), report);
    EXPECT_TRUE(Lines(TRACE_LEVEL_INFO).empty()) << "no 'Loading' line for a file that did not load";
    EXPECT_FALSE(file.GetDocument());

    // The next access reads the file again instead of building on an empty document, so the file survives.
    Node element;
    EXPECT_EQ(file.GetElement(u"/root/b", &element, true), hr);
    EXPECT_EQ(file.Save(), S_OK);
    EXPECT_EQ(ReadText(path), broken);

    EXPECT_LT(file.CreateDocument(u"<unclosed>"), 0);
    EXPECT_FALSE(file.GetDocument()) << "text that did not load is not kept either";
}

TEST_F(XmlFileTest, AMissingFileFailsWithItsOwnCode) {
    std::string path = HomeFile("-absent.xml");
    CXmlFile file(Wide(path).c_str());
    HRESULT hr = file.Load();
    EXPECT_LT(hr, 0);
    EXPECT_TRUE(StartsWith(U8(LastErrorText()), "-- Parse Error --\n"));
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(XmlFileTest, AFailedWriteIsReportedAsAnException) {
    std::string path = HomeFile("-folder") + "/missing/out.xml";
    CXmlFile file(Wide(path).c_str());
    ASSERT_EQ(file.CreateDocument(u"<root/>"), S_OK);
    HRESULT hr = file.Save();
    EXPECT_LT(hr, 0);
    EXPECT_TRUE(StartsWith(U8(LastErrorText()),
                           "-- Exception Error --\nError = " + U8(vr::FormatWString(u"%08lx", hr)) + "\n"))
        << U8(LastErrorText());
    EXPECT_TRUE(file.GetDocument()) << "the document stays loaded";
}

TEST_F(XmlFileTest, ADocumentThatNoLongerParsesIsNotWritten) {
    std::string path = HomeFile(".xml");
    CXmlFile file(Wide(path).c_str());
    ASSERT_EQ(file.CreateDocument(u"<root/>"), S_OK);
    ASSERT_EQ(file.SetAttribute(u"/root", u"undeclared:a", u"1"), S_OK);
    EXPECT_LT(file.Save(), 0);
    EXPECT_TRUE(StartsWith(U8(LastErrorText()), "-- Parse Error --\n")) << U8(LastErrorText());
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(Count(file, u"/root/@*"), 1) << "the document keeps its content";

    ASSERT_EQ(file.SetAttribute(u"/root", u"undeclared:a", nullptr), S_OK);
    ASSERT_EQ(file.Reparse(), S_OK);
    ASSERT_EQ(file.Save(), S_OK);
    EXPECT_TRUE(std::filesystem::exists(path));
}

TEST_F(XmlFileTest, APercentInTheFileNameIsTracedUnchanged) {
    std::string path = HomeFile("-50%s%d.xml");
    WriteText(path, "<root/>");
    CXmlFile file(Wide(path).c_str());
    ASSERT_EQ(file.Load(), S_OK);
    EXPECT_EQ(Lines(TRACE_LEVEL_INFO).back(), "Loaded '" + path + "'.");
}

} // namespace
} // namespace xmlfiletest
