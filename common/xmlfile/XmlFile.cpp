// The XML file class: the file name, creating, loading, reparsing and saving the document, and the guard that
// turns DOM exceptions into reports.
#include "common/xmlfile/XmlFile.h"

#include "common/trace/Trace.h"
#include "common/xmlfile/XmlFileInternal.h"
#include "platform/base/text.h"
#include "platform/com/comptr.h"
#include "platform/com/comutil.h"
#include "platform/com/errorinfo.h"
#include "platform/xml/namespaces.h"

#include <new>

namespace vrcommon::xmlfile {

namespace {

// Error information with the XML layer's description; null when it cannot be made.
vr::ComPtr<IErrorInfo> DescribeDomFailure() {
    std::u16string description = vr::xml::ErrorDescription();
    vr::ComPtr<ICreateErrorInfo> create;
    vr::ComPtr<IErrorInfo> info;
    if (SUCCEEDED(CreateErrorInfo(create.Put())) && SUCCEEDED(create->SetDescription(description.data()))) {
        (void)create.As(&info);
    }
    return info;
}

} // namespace

void ThrowIfFailed(HRESULT hr) {
    if (SUCCEEDED(hr)) {
        return;
    }
    vr::ComPtr<IErrorInfo> info = DescribeDomFailure();
    throw _com_error(hr, info.Get());
}

} // namespace vrcommon::xmlfile

using vrcommon::xmlfile::ThrowIfFailed;

std::u16string XmlFileSelectionNamespaces() {
    std::u16string text;
    auto declare = [&text](std::u16string_view prefix, std::u16string_view uri) {
        if (!text.empty()) {
            text += u' ';
        }
        text.append(u"xmlns:").append(prefix).append(u"='").append(uri).append(u"'");
    };
    declare(u"xsd", vr::xml::kXsdNamespace);
    declare(u"ms", vr::xml::kMsXsltNamespace);
    declare(u"vra", vr::xml::kAdapterAnnotationsNamespace);
    declare(u"vrt", vr::xml::kObjectAttributesNamespace);
    return text;
}

std::u16string_view NamespaceUriOfPrefix(std::u16string_view qualifiedName) {
    size_t colon = qualifiedName.find(u':');
    if (colon == std::u16string_view::npos) {
        return {};
    }
    std::u16string_view prefix = qualifiedName.substr(0, colon);
    if (prefix == u"vrt") {
        return vr::xml::kObjectAttributesNamespace;
    }
    if (prefix == u"xsd") {
        return vr::xml::kXsdNamespace;
    }
    if (prefix == u"vra") {
        return vr::xml::kAdapterAnnotationsNamespace;
    }
    return {};
}

XPathParts SplitXPath(std::u16string_view path) {
    size_t slash = path.rfind(u'/');
    if (slash == std::u16string_view::npos) {
        return {{}, path};
    }
    return {path.substr(0, slash), path.substr(slash + 1)};
}

CXmlFile::CXmlFile(const OLECHAR* fileName) {
    (void)SetFileName(fileName);
}

CXmlFile::~CXmlFile() = default;

HRESULT CXmlFile::Guarded(const OLECHAR* methodName, const std::function<HRESULT()>& work) {
    try {
        if (methodName != nullptr) {
            SetTraceMethodName(methodName);
        }
        return work();
    } catch (const _com_error& error) {
        DumpComError(error);
        return error.Error();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT CXmlFile::SetFileName(const OLECHAR* fileName) {
    return Guarded(nullptr, [&] {
        std::u16string_view name = vr::U16View(fileName);
        if (!fileName_.empty() && fileName_ == name) {
            return S_OK;
        }
        fileName_ = name;
        if (name.empty()) {
            document_ = vr::xml::Document();
        }
        return S_OK;
    });
}

HRESULT CXmlFile::ReleaseDocument() {
    document_ = vr::xml::Document();
    return S_OK;
}

HRESULT CXmlFile::CreateDocument(const OLECHAR* xmlText) {
    return Guarded(nullptr, [&] { return NewDocument(xmlText); });
}

HRESULT CXmlFile::NewDocument(const OLECHAR* xmlText) {
    document_ = vr::xml::Document();
    vr::xml::Document document;
    ThrowIfFailed(vr::xml::Document::Create(&document));
    document.setAsync(true);
    document.setValidateOnParse(false);
    document.setPreserveWhiteSpace(true);
    document.setKeepLayout(keepLayout_);
    ThrowIfFailed(document.setProperty(u"SelectionLanguage", u"XPath"));
    ThrowIfFailed(document.setProperty(u"SelectionNamespaces", XmlFileSelectionNamespaces()));
    document_ = document;
    if (xmlText != nullptr) {
        if (HRESULT hr = document.loadXML(vr::U16View(xmlText)); FAILED(hr)) {
            return LoadFailed(document, hr);
        }
    }
    return S_OK;
}

HRESULT CXmlFile::LoadFailed(const vr::xml::Document& failed, HRESULT hr) {
    vr::xml::ParseError error = failed.parseError();
    DumpParseError(error);
    // An empty document kept in place of one that did not load would count as loaded: the next edit and
    // Save would then overwrite the file with it.
    document_ = vr::xml::Document();
    return FAILED(error.errorCode) ? error.errorCode : hr;
}

HRESULT CXmlFile::Load() {
    return Guarded(nullptr, [&] { return LoadDocument(); });
}

HRESULT CXmlFile::LoadDocument() {
    if (document_) {
        return S_OK;
    }
    if (fileName_.empty()) {
        SetTraceSite();
        TraceError(u"File is not specifed.");
        return E_INVALIDARG;
    }
    if (HRESULT hr = NewDocument(nullptr); FAILED(hr)) {
        return hr;
    }
    vr::xml::Document document = document_;
    if (HRESULT hr = document.load(fileName_); FAILED(hr)) {
        return LoadFailed(document, hr);
    }
    // The document loads synchronously: it is complete (readyState 4) when load returns.
    SetTraceSite();
    TraceInfo(u"Loading '%s' ...", fileName_.c_str());
    SetTraceSite();
    TraceInfo(u"Loaded '%s'.", fileName_.c_str());
    return S_OK;
}

HRESULT CXmlFile::Reparse() {
    return Guarded(nullptr, [&] { return ReparseDocument(); });
}

HRESULT CXmlFile::ReparseDocument() {
    if (!document_) {
        return S_OK;
    }
    std::u16string text = document_.xml();
    if (HRESULT hr = document_.loadXML(text); FAILED(hr)) {
        // The document keeps its content: only the report is made here.
        vr::xml::ParseError error = document_.parseError();
        DumpParseError(error);
        return FAILED(error.errorCode) ? error.errorCode : hr;
    }
    return S_OK;
}

HRESULT CXmlFile::CheckReparses() const {
    vr::xml::Document copy;
    ThrowIfFailed(vr::xml::Document::Create(&copy));
    if (HRESULT hr = copy.loadXML(document_.xml()); FAILED(hr)) {
        vr::xml::ParseError error = copy.parseError();
        DumpParseError(error);
        return FAILED(error.errorCode) ? error.errorCode : hr;
    }
    return S_OK;
}

HRESULT CXmlFile::Save() {
    return Guarded(u"CXmlFile::Save()", [&] { return SaveDocument(); });
}

HRESULT CXmlFile::SaveDocument() {
    if (!document_) {
        return S_OK;
    }
    if (fileName_.empty()) {
        SetTraceSite();
        TraceError(u"File is not specifed.");
        return E_INVALIDARG;
    }
    // A document whose text does not parse again is not written: the file would not load afterwards. A copy
    // is parsed, so the nodes the file's users hold stay the document's and their later edits are saved.
    if (HRESULT hr = CheckReparses(); FAILED(hr)) {
        return hr;
    }
    ThrowIfFailed(document_.save(fileName_));
    SetTraceSite();
    TraceInfo(u"File '%s' was saved.", fileName_.c_str());
    return S_OK;
}
