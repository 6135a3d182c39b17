// The test sequence file: loading, reading and editing its tests, saving, and a new file from the blank one.
#include "TestRunTime/Runvex/SequenceDocument.h"

#include "common/config/VrConfigData.h"
#include "platform/base/file_read.h"
#include "platform/base/file_write.h"
#include "platform/base/paths.h"
#include "platform/base/syserror.h"
#include "platform/base/text.h"
#include "platform/com/comutil.h"

#include <cerrno>
#include <sys/stat.h>

namespace runvex {
namespace {

bool FileExists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

// The reason the XML layer gave for its last failure, without its line end; empty when it gave none.
std::string XmlFailure() {
    std::string text = vr::ToUtf8(vr::xml::ErrorDescription());
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    return text;
}

// Where and why the parser refused the file ("Line 1, column 1: Start tag expected, ..."), parsed once more
// because the XML file class keeps no document that failed; empty when the parser gave no position.
std::string ParseFailureOf(const std::string& path) {
    vr::xml::Document document;
    if (FAILED(vr::xml::Document::Create(&document)) || SUCCEEDED(document.load(vr::FromUtf8(path)))) {
        return {};
    }
    vr::xml::ParseError error = document.parseError();
    std::string reason = vr::ToUtf8(error.reason);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == ' ')) {
        reason.pop_back();
    }
    if (error.line <= 0) {
        return reason;
    }
    return "The file is not well-formed XML: line " + std::to_string(error.line) + ", column " +
           std::to_string(error.linepos) + ": " + reason;
}

// The blank sequence's path; a bare name (the built-in default) lies in the program folder.
std::string BlankSequencePath() {
    BSTR item = nullptr;
    std::string blank;
    if (CVrConfigData().GetItem("TestExecutiveBlankFile", &item, true)) {
        blank = _bstr_t(item, false).utf8();
    }
    if (blank.empty()) {
        return blank;
    }
    std::string mapped = vr::MapWindowsPath(blank);
    return mapped.front() == '/' ? mapped : vr::ProgramFolder() + "/" + mapped;
}

// The first child element of the name and of no namespace, as the path step "name" selects it; null when
// there is none.
vr::xml::Node ChildElement(const vr::xml::Node& parent, std::u16string_view name) {
    for (vr::xml::Node child = parent.firstChild(); child; child = child.nextSibling()) {
        if (child.nodeType() == vr::xml::NODE_ELEMENT && child.nodeName() == name &&
            child.namespaceURI().empty()) {
            return child;
        }
    }
    return {};
}

// The attribute's value; empty when the element or the attribute is missing.
std::string AttributeText(const vr::xml::Node& element, std::u16string_view name) {
    if (!element) {
        return {};
    }
    vr::xml::Node attribute = element.attributes().getNamedItem(name);
    return attribute ? vr::ToUtf8(attribute.nodeValue()) : std::string();
}

} // namespace

std::string WithLineEnds(std::string_view text, std::string_view lineEnd) {
    std::string result;
    result.reserve(text.size() + text.size() / 32);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            continue; // the LF that follows writes the line end
        }
        if (text[i] == '\n') {
            result += lineEnd;
        } else {
            result += text[i];
        }
    }
    return result;
}

bool IsTestElement(const vr::xml::Node& node) {
    return node && node.nodeType() == vr::xml::NODE_ELEMENT && node.nodeName() == u"test";
}

HRESULT SequenceDocument::Load(const std::string& path) {
    failure_.clear();
    // Read first through the input reader, which refuses what is no regular file and says why.
    std::string text;
    if (vr::FileReadResult read = vr::ReadInputFile(path, &text); !read) {
        failure_ = read.reason;
        return vr::HResultFromErrno(read.error);
    }
    auto file = std::make_unique<CXmlFile>(vr::FromUtf8(path).c_str());
    if (HRESULT hr = file->Load(); FAILED(hr)) {
        failure_ = ParseFailureOf(path);
        return hr;
    }
    if (!file->GetDocument().documentElement()) {
        failure_ =
            "The file holds no XML element: a sequence is an XML file whose tests are elements 'test'.";
        return E_FAIL; // a file without a root element holds no sequence
    }
    size_t firstEnd = text.find('\n');
    lineEnd_ = firstEnd != std::string::npos && firstEnd > 0 && text[firstEnd - 1] == '\r' ? "\r\n" : "\n";
    file_ = std::move(file);
    path_ = path;
    return S_OK;
}

// The XML file class ends each top-level node (declaration, comments, the root) with CR LF, whatever the
// file had; the file then gets its own line ends back.
HRESULT SequenceDocument::Save() {
    failure_.clear();
    if (!file_) {
        return S_OK;
    }
    if (HRESULT hr = file_->Save(); FAILED(hr)) {
        failure_ = XmlFailure();
        return hr;
    }
    std::string written;
    if (vr::FileReadResult read = vr::ReadInputFile(path_, &written); !read) {
        failure_ = read.reason;
        return vr::HResultFromErrno(read.error);
    }
    std::string text = WithLineEnds(written, lineEnd_);
    if (text == written) {
        return S_OK;
    }
    // Replaced whole again (platform/base/file_write.h): a failure leaves the file as the first step wrote
    // it.
    vr::FileWriteResult saved = vr::WriteFileWhole(path_, text);
    failure_ = saved.reason;
    return saved ? S_OK : vr::HResultFromErrno(saved.error);
}

vr::xml::Node SequenceDocument::Root() const {
    return file_ ? file_->GetDocument().documentElement() : vr::xml::Node();
}

TestProperties SequenceDocument::PropertiesOf(const vr::xml::Node& test) const {
    TestProperties properties;
    if (!file_ || !test) {
        return properties;
    }
    // Read from the test's element itself: a run reads every test's properties, and a path lookup for each
    // cost a good share of the run's own time per test.
    properties.name = AttributeText(test, u"name");
    properties.description = AttributeText(test, u"description");
    vr::xml::Node code = ChildElement(test, u"code");
    properties.codeFile = AttributeText(code, u"file");
    properties.language = AttributeText(code, u"language");
    vr::xml::Node config = ChildElement(test, u"config");
    properties.config = config ? vr::ToUtf8(config.text()) : std::string();
    return properties;
}

HRESULT SequenceDocument::SetProperty(const vr::xml::Node& test, TestProperty property,
                                      const std::string& value) {
    if (!file_ || !test) {
        return E_INVALIDARG;
    }
    const OLECHAR* path = u".";
    const OLECHAR* name = u"name";
    switch (property) {
    case TestProperty::Name:
        break;
    case TestProperty::Description:
        name = u"description";
        break;
    case TestProperty::CodeFile:
        path = u"code";
        name = u"file";
        break;
    case TestProperty::Language:
        path = u"code";
        name = u"language";
        break;
    }
    return file_->SetAttribute(path, name, vr::FromUtf8(value).c_str(), test);
}

HRESULT SequenceDocument::SetConfig(const vr::xml::Node& test, const std::string& text) {
    if (!file_ || !test) {
        return E_INVALIDARG;
    }
    return file_->SetElementText(u"config", vr::FromUtf8(text).c_str(), test);
}

HRESULT SequenceDocument::InsertTest(const vr::xml::Node& before, vr::xml::Node* created) {
    vr::xml::Node root = Root();
    if (!root) {
        return E_INVALIDARG;
    }
    vr::xml::Node test;
    vr::xml::Document document = file_->GetDocument(); // a handle of the same document
    if (HRESULT hr = document.createElement(u"test", &test); FAILED(hr)) {
        return hr;
    }
    if (HRESULT hr = test.setAttribute(u"name", u"New Test"); FAILED(hr)) {
        return hr;
    }
    if (HRESULT hr = test.setAttribute(u"description", u""); FAILED(hr)) {
        return hr;
    }
    // A nested test gets its new sibling in its own parent, where the new test then shows before it.
    HRESULT hr =
        before && before != root ? before.parentNode().insertBefore(test, before) : root.appendChild(test);
    if (SUCCEEDED(hr) && created) {
        *created = test;
    }
    return hr;
}

HRESULT SequenceDocument::RemoveTest(const vr::xml::Node& test) {
    vr::xml::Node parent = test ? test.parentNode() : vr::xml::Node();
    if (!parent || test == Root()) {
        return E_INVALIDARG;
    }
    return parent.removeChild(test);
}

std::string CreateSequenceFile(const std::string& chosenPath) {
    std::string path = chosenPath;
    if (!path.ends_with(".tsq")) {
        path += ".tsq";
    }
    std::string blank = BlankSequencePath();
    if (FileExists(path)) {
        errno = EEXIST;
        return {};
    }
    std::string text;
    if (blank.empty() || !vr::ReadInputFile(blank, &text)) {
        errno = ENOENT;
        return {};
    }
    // Made only where nothing is, not even a link: errno tells why not.
    return vr::WriteFileWhole(path, text, {vr::FileWriteMode::CreateNew, {}}) ? path : std::string();
}

} // namespace runvex
