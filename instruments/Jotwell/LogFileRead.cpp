// CLogFile: fields read back from the log file by XPath, from a document loaded once until the next flush.
#include "LogFile.h"

#include "common/trace/Trace.h"
#include "platform/base/paths.h"
#include "platform/base/text.h"
#include "platform/base/user_files.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace jotwell {

namespace {

// The loaded document holds line ends as LF, so a query that names recorded text must too.
std::u16string WithLineFeeds(std::u16string_view query) {
    std::u16string text(query);
    std::replace(text.begin(), text.end(), u'\r', u'\n');
    return text;
}

} // namespace

HRESULT CLogFile::ReadField(BSTR bsRecordId, BSTR bsFieldIdDataQuery, BSTR bsReadFieldId, BSTR* pbsReadData) {
    SetTraceMethodName(u"CLogFile::ReadField()");
    if (!pbsReadData) {
        return E_POINTER;
    }
    *pbsReadData = nullptr;
    std::u16string recordId(vr::BstrView(bsRecordId));
    std::u16string query = WithLineFeeds(vr::BstrView(bsFieldIdDataQuery));
    std::u16string fieldId(vr::BstrView(bsReadFieldId));
    if (!document_) {
        if (HRESULT hr = LoadDocument(); FAILED(hr)) {
            return FailWithErrorInfo(CLSID_LogFile, hr);
        }
    }
    vr::xml::Node record;
    if (HRESULT hr = SelectRecord(u"/*/" + recordId + query, &record); FAILED(hr)) {
        return FailWithErrorInfo(CLSID_LogFile, hr);
    }
    vr::xml::Node field;
    if (record) {
        if (HRESULT hr = record.selectSingleNode(fieldId, &field); FAILED(hr)) {
            SetTraceSite();
            TraceHResultError(hr, u"Query: '%s%s', '%s'; the field name is no valid XPath.", recordId.c_str(),
                              query.c_str(), fieldId.c_str());
            return FailWithErrorInfo(CLSID_LogFile, hr);
        }
    }
    if (!field) {
        TraceInfo(u"Query: '%s%s', '%s'; No Record found in LogFile!", recordId.c_str(), query.c_str(),
                  fieldId.c_str());
        return S_OK;
    }
    std::u16string data = DecodeFieldText(field.text());
    TraceInfo(u"Query: '%s%s', '%s'; Readed from LogFile: '%s'.", recordId.c_str(), query.c_str(),
              fieldId.c_str(), Abbreviated(data).c_str());
    *pbsReadData = vr::AllocBstr(data);
    return *pbsReadData ? S_OK : E_OUTOFMEMORY;
}

HRESULT CLogFile::LoadDocument() {
    vr::xml::Document document;
    HRESULT hr = vr::xml::Document::Create(&document);
    if (SUCCEEDED(hr)) {
        document.setAsync(false);
        document.setPreserveWhiteSpace(true);
        hr = document.setProperty(u"SelectionLanguage", u"XPath");
    }
    if (SUCCEEDED(hr)) {
        hr = document.setProperty(u"SelectionNamespaces", u"xmlns:ms='urn:schemas-microsoft-com:xslt'");
    }
    if (FAILED(hr)) {
        SetTraceSite();
        TraceHResultError(hr, u"Couldn't create the XML document for the LogFile.");
        return hr;
    }
    // A recording another user may change would feed this user's tests answers of their choosing.
    if (std::string reason; !vr::IsTrustedUserFile(vr::ToUtf8(vr::MapWindowsPath(FilePath())),
                                                   {"recording", "replayed"}, &reason)) {
        SetTraceSite();
        TraceHResultError(E_ACCESSDENIED, u"%hs", reason.c_str());
        return E_ACCESSDENIED;
    }
    TraceInfo(u"Loading '%s' ...", FilePath().c_str());
    if (hr = document.load(vr::MapWindowsPath(FilePath())); FAILED(hr)) {
        const vr::xml::ParseError failure = document.parseError();
        if (!LoadCompleteRecords(document, failure)) {
            DumpParseError(failure);
            SetTraceSite();
            TraceHResultError(hr, u"Couldn't load the LogFile '%s'.", FilePath().c_str());
            return hr;
        }
    }
    TraceInfo(u"Loaded Log file '%s'.", FilePath().c_str());
    document_ = document;
    return S_OK;
}

bool CLogFile::LoadCompleteRecords(vr::xml::Document& document, const vr::xml::ParseError& failure) {
    std::ifstream in(vr::ToUtf8(vr::MapWindowsPath(FilePath())), std::ios::binary);
    std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::u16string complete = CompleteRecordsText(bytes);
    if (complete.empty() || FAILED(document.loadXML(complete))) {
        return false; // the first failure is the one to report
    }
    TraceInfo(u"The LogFile '%s' ends without its close tag (its recorder was stopped before it closed the "
              u"file) at line %d: its complete records are read.",
              FilePath().c_str(), failure.line);
    return true;
}

HRESULT CLogFile::SelectRecord(const std::u16string& path, vr::xml::Node* record) {
    vr::xml::NodeList records;
    if (HRESULT hr = document_.selectNodes(path, &records); FAILED(hr)) {
        SetTraceSite();
        TraceHResultError(hr, u"Query '%s' is no valid XPath.", path.c_str());
        return hr;
    }
    if (records.length() > 0) {
        // Several records answering the same query are equally good answers: any one of them is taken.
        std::uniform_int_distribution<int32_t> pick(0, records.length() - 1);
        *record = records.item(pick(random_));
    }
    return S_OK;
}

} // namespace jotwell
