// The test sequence file (.tsq): an XML document whose `test` elements, at any depth, are the tests; each
// names its script code file and language (child `code`) and carries its configuration code (child `config`).
//
// Usage: Load a file, read and edit tests through their elements, Save. A failed Load leaves the document
// that was loaded before as it was. The document is written back as it was read, apart from the edits:
// blanks, comments, the order of everything and the file's line ends (LF or CR LF) stay; the text is UTF-8
// with an XML declaration.
// Threads: one thread at a time (the window thread).
// Failures: HRESULTs, with the reason in Failure(); the XML file class traces them. A save replaces the file
// whole or leaves it as it was (platform/base/file_write.h); only regular files are read.
#pragma once

#include "common/xmlfile/XmlFile.h"

#include <memory>
#include <string>
#include <string_view>

namespace runvex {

// What one test element says; a missing attribute or element reads as empty.
struct TestProperties {
    std::string name;
    std::string description;
    std::string codeFile;
    std::string language;
    std::string config;
};

// The properties a test row of the property pane edits.
enum class TestProperty { Name, Description, CodeFile, Language };

// True for an element whose tag name is exactly "test".
bool IsTestElement(const vr::xml::Node& node);

// The text with every line end (LF, CR LF) written as lineEnd.
std::string WithLineEnds(std::string_view text, std::string_view lineEnd);

class SequenceDocument {
public:
    SequenceDocument() = default;
    SequenceDocument(const SequenceDocument&) = delete;
    SequenceDocument& operator=(const SequenceDocument&) = delete;

    // Reads the file into a new document; on failure the document held before stays.
    [[nodiscard]] HRESULT Load(const std::string& path);
    // Writes the document to its file; S_OK and nothing written while none is loaded.
    [[nodiscard]] HRESULT Save();
    // Why the last Load or Save failed, as one sentence; empty when it did not or the XML layer gave no
    // reason.
    const std::string& Failure() const { return failure_; }
    bool IsLoaded() const { return file_ != nullptr; }
    const std::string& Path() const { return path_; }
    // The document element; an empty handle while nothing is loaded.
    vr::xml::Node Root() const;

    TestProperties PropertiesOf(const vr::xml::Node& test) const;
    // Writes one property; "<Undefined>" (and "<Default>") removes the attribute, as the XML file class
    // does. The `code` child is created when missing.
    [[nodiscard]] HRESULT SetProperty(const vr::xml::Node& test, TestProperty property,
                                      const std::string& value);
    // Replaces the text of the test's `config` child, created when missing.
    [[nodiscard]] HRESULT SetConfig(const vr::xml::Node& test, const std::string& text);

    // A new test (name "New Test", empty description) in the document element, before `before` (which must
    // be a child of the document element), or last when `before` is empty.
    [[nodiscard]] HRESULT InsertTest(const vr::xml::Node& before, vr::xml::Node* created = nullptr);
    // Takes the test out of its parent.
    [[nodiscard]] HRESULT RemoveTest(const vr::xml::Node& test);

private:
    std::unique_ptr<CXmlFile> file_; // window thread; null while nothing is loaded
    std::string path_;               // window thread
    std::string lineEnd_ = "\n";     // window thread: the loaded file's line end
    std::string failure_;            // window thread: the reason of the last failed Load or Save
};

// The new sequence file of the Open command for a name that does not exist yet: ".tsq" appended unless the
// name ends in it (case-sensitive), then the blank sequence (configuration item TestExecutiveBlankFile; a
// bare name lies in the program folder) copied there. Never overwrites a file. Returns the path, or empty
// when the copy failed (errno tells why).
std::string CreateSequenceFile(const std::string& chosenPath);

} // namespace runvex
