// CVrRigmont: the configuration store file, its records merged over "_default", and their saving.
#include "StoreText.h"
#include "VrRigmont.h"

#include "common/trace/Trace.h"
#include "platform/base/paths.h"
#include "platform/base/syserror.h"
#include "platform/base/text.h"
#include "platform/com/variant.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace rigmont {

namespace {

constexpr std::u16string_view kSelectionNamespaces = u"xmlns:ms='urn:schemas-microsoft-com:xslt'";

// A failure of the XML layer, traced with the layer's own description.
HRESULT TraceXmlFailure(HRESULT hr, const OLECHAR* what) {
    SetTraceSite();
    TraceHResultError(hr, u"%s: %s", what, vr::xml::ErrorDescription().c_str());
    return hr;
}

// The text of a record's child, when the record has that child.
std::optional<std::u16string> ChildText(const vr::xml::Node& record, std::u16string_view child) {
    vr::xml::Node found;
    if (record.selectSingleNode(child, &found) != S_OK || !found) {
        return std::nullopt;
    }
    return found.text();
}

HRESULT AppendTextChild(vr::xml::Document& document, vr::xml::Node& parent, std::u16string_view name,
                        BSTR value) {
    vr::xml::Node child;
    HRESULT hr = document.createElement(name, &child);
    if (SUCCEEDED(hr) && value) {
        hr = child.setText(vr::BstrView(value));
    }
    if (SUCCEEDED(hr)) {
        hr = parent.appendChild(child);
    }
    return hr;
}

// Whether the record, found or not, is already what a save of these values makes of it: removed, or with
// exactly the children Server, Resource and SetupString holding the values (a null value as empty text).
bool StoresAlready(const vr::xml::Node& existing, BSTR server, BSTR resource, BSTR setup) {
    if (!server && !resource && !setup) {
        return !existing;
    }
    vr::xml::NodeList children;
    if (!existing || existing.selectNodes(u"*", &children) != S_OK || children.length() != 3) {
        return false;
    }
    const std::pair<std::u16string_view, BSTR> expected[] = {
        {u"Server", server}, {u"Resource", resource}, {u"SetupString", setup}};
    size_t index = 0;
    for (const vr::xml::Node& child : children) {
        const auto& [name, value] = expected[index++];
        if (child.nodeName() != name || child.text() != vr::BstrView(value)) {
            return false;
        }
    }
    return true;
}

bool SameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

} // namespace

StoreFileStamp StoreFileStamp::Of(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return {};
    }
    return {true, info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_ctim};
}

bool StoreFileStamp::operator==(const StoreFileStamp& other) const {
    return exists == other.exists && device == other.device && inode == other.inode && size == other.size &&
           SameTime(modified, other.modified) && SameTime(changed, other.changed);
}

HRESULT CVrRigmont::LoadStore() {
    std::u16string path = vr::MapWindowsPath(storePath_);
    // Taken before the file is read: a change made meanwhile shows as a different stamp next time.
    StoreFileStamp stamp = StoreFileStamp::Of(vr::ToUtf8(path));
    if (store_ && stamp == storeStamp_) {
        return S_OK;
    }
    store_ = vr::xml::Document();
    vr::xml::Document document;
    HRESULT hr = vr::xml::Document::Create(&document);
    if (FAILED(hr)) {
        return TraceXmlFailure(hr, u"Couldn't create the ConfigStore document");
    }
    document.setAsync(true);
    document.setValidateOnParse(false);
    if (hr = document.setProperty(u"SelectionLanguage", u"XPath"); FAILED(hr)) {
        return TraceXmlFailure(hr, u"Couldn't select XPath for the ConfigStore document");
    }
    document.setPreserveWhiteSpace(true);
    if (hr = document.load(path); FAILED(hr)) {
        vr::xml::ParseError error = document.parseError();
        DumpParseError(error);
        return FAILED(error.errorCode) ? error.errorCode : E_FAIL;
    }
    bool traced = false;
    while (document.readyState() != 4) {
        if (!traced) {
            TraceInfo(u"Loading '%s' ...", storePath_.c_str());
            traced = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    store_ = document;
    storeStamp_ = stamp;
    TraceInfo(u"Loaded ConfigStore file '%s'.", storePath_.c_str());
    return S_OK;
}

HRESULT CVrRigmont::QueryRecord(std::u16string_view type, std::u16string_view name, RecordValues* values,
                                bool* found) {
    *found = false;
    if (HRESULT hr = LoadStore(); FAILED(hr)) {
        return hr;
    }
    if (HRESULT hr = store_.setProperty(u"SelectionNamespaces", kSelectionNamespaces); FAILED(hr)) {
        return TraceXmlFailure(hr, u"Couldn't set the selection namespaces");
    }
    std::u16string query = RecordPath(type, name);
    vr::xml::Node record;
    // A type that cannot name an element has no container, so it has no records either.
    if (!IsRecordTypeName(type) || store_.selectSingleNode(query, &record) != S_OK || !record) {
        TraceInfo(u"WARNING: Query '%s': No Record found in ConfigStore File!", query.c_str());
        return S_OK;
    }
    for (auto [child, value] :
         {std::pair{u"Server", &values->server}, std::pair{u"Resource", &values->resource},
          std::pair{u"SetupString", &values->setup}}) {
        if (std::optional<std::u16string> text = ChildText(record, child)) {
            *value = std::move(text);
        }
    }
    *found = true;
    TraceInfo(u"Query '%s': Readed from ConfigStore File: bstrServer = '%s'; bstrResource = '%s'; "
              u"bstrSetupString = '%s';",
              query.c_str(), values->server.value_or(u"").c_str(), values->resource.value_or(u"").c_str(),
              values->setup.value_or(u"").c_str());
    return S_OK;
}

HRESULT CVrRigmont::MergeRecord(std::u16string_view type, std::u16string_view name,
                                std::u16string_view supplementary, RecordValues* values) {
    bool found = false;
    if (HRESULT hr = QueryRecord(type, u"_default", values, &found); FAILED(hr)) {
        return hr;
    }
    std::optional<std::u16string> defaultSetup = std::move(values->setup);
    RecordValues named{std::move(values->server), std::move(values->resource), std::nullopt};
    if (HRESULT hr = QueryRecord(type, name, &named, &found); FAILED(hr)) {
        return hr;
    }
    if (!found) {
        SetTraceSite();
        TraceHResultError(DISP_E_UNKNOWNNAME, u"'%s' %s wasn't found in the ConfigStore File.",
                          std::u16string(name).c_str(), std::u16string(type).c_str());
        return DISP_E_UNKNOWNNAME;
    }
    values->server = std::move(named.server);
    values->resource = std::move(named.resource);
    // A joined setup without any part leaves the caller's preset value alone, as missing values do.
    if (std::optional<std::u16string> joined =
            JoinSetup(defaultSetup, named.setup.value_or(u""), supplementary)) {
        values->setup = std::move(joined);
    }
    return S_OK;
}

HRESULT CVrRigmont::BuildRecord(std::u16string_view type, std::u16string_view name, BSTR server,
                                BSTR resource, BSTR setup, vr::xml::Node* record) {
    HRESULT hr = store_.createElement(type, record);
    if (SUCCEEDED(hr)) {
        hr = record->setAttribute(u"name", name);
    }
    if (SUCCEEDED(hr)) {
        hr = AppendTextChild(store_, *record, u"Server", server);
    }
    if (SUCCEEDED(hr)) {
        hr = AppendTextChild(store_, *record, u"Resource", resource);
    }
    if (SUCCEEDED(hr)) {
        hr = AppendTextChild(store_, *record, u"SetupString", setup);
    }
    return FAILED(hr) ? TraceXmlFailure(hr, u"Couldn't build the record") : S_OK;
}

HRESULT CVrRigmont::WriteRecord(std::u16string_view type, std::u16string_view name, BSTR server,
                                BSTR resource, BSTR setup) {
    // Loading first brings the document up to the file as it is now, so what other programs wrote since the
    // last load stays; only the one record changes.
    if (HRESULT hr = LoadStore(); FAILED(hr)) {
        return hr;
    }
    vr::xml::Node container;
    if (!IsRecordTypeName(type) || store_.selectSingleNode(ContainerPath(type), &container) != S_OK ||
        !container) {
        SetTraceSite();
        TraceHResultError(E_INVALIDARG, u"Wrong RecordType '%s' for Configuration Store '%s'.",
                          std::u16string(type).c_str(), storePath_.c_str());
        return E_INVALIDARG;
    }
    vr::xml::Node existing;
    if (FAILED(container.selectSingleNode(RecordInContainerPath(type, name), &existing))) {
        existing = vr::xml::Node();
    }
    if (StoresAlready(existing, server, resource, setup)) {
        // Nothing to write: a station's shared store stays untouched, also for a user who may not write it.
        return S_OK;
    }
    HRESULT hr = S_OK;
    if (!server && !resource && !setup) {
        if (existing) {
            hr = container.removeChild(existing);
        }
    } else {
        vr::xml::Node record;
        if (hr = BuildRecord(type, name, server, resource, setup, &record); FAILED(hr)) {
            return hr;
        }
        hr = existing ? container.replaceChild(record, existing) : container.appendChild(record);
    }
    if (FAILED(hr)) {
        return TraceXmlFailure(hr, u"Couldn't change the ConfigStore document");
    }
    errno = 0;
    HRESULT saved = store_.save(vr::MapWindowsPath(storePath_));
    int error = errno;
    // Other programs may change the file too, and a change that could not be saved is not the store: the next
    // operation reads the file anew either way.
    store_ = vr::xml::Document();
    return FAILED(saved) ? TraceSaveFailure(saved, error) : S_OK;
}

// A failed save says why in the system's words (permission denied, a read-only file system, a full disk) and
// returns that failure, not a parameter error: the errno the write left, when it is the failure's own.
HRESULT CVrRigmont::TraceSaveFailure(HRESULT saved, int error) {
    std::u16string reason;
    if (error != 0 && vr::HResultFromErrno(error) == saved) {
        reason = u" " + vr::FromUtf8(std::strerror(error)) + u".";
    }
    SetTraceSite();
    TraceHResultError(saved, u"Can't save the Configuration Store file '%s'.%s", storePath_.c_str(),
                      reason.c_str());
    return saved;
}

HRESULT CVrRigmont::CollectRecordNames(std::u16string_view type, VARIANT* names) {
    if (HRESULT hr = LoadStore(); FAILED(hr)) {
        return hr;
    }
    std::u16string query = RecordNamesPath(type);
    vr::xml::NodeList attributes;
    if (!IsRecordTypeName(type) || FAILED(store_.selectNodes(query, &attributes))) {
        attributes = vr::xml::NodeList();
    }
    std::vector<std::u16string> kept;
    for (const vr::xml::Node& attribute : attributes) {
        std::u16string name = attribute.nodeValue();
        if (!IsDefaultRecordName(name)) {
            kept.push_back(std::move(name));
        }
    }
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(kept.size()));
    if (!array) {
        return TraceInternalError();
    }
    for (LONG i = 0; i < static_cast<LONG>(kept.size()); ++i) {
        VARIANT element;
        VariantInit(&element);
        element.vt = VT_BSTR;
        element.bstrVal = vr::AllocBstr(kept[i]);
        HRESULT hr = SafeArrayPutElement(array, &i, &element);
        (void)VariantClear(&element);
        if (FAILED(hr)) {
            (void)SafeArrayDestroy(array);
            return TraceInternalError();
        }
    }
    VARIANT result;
    VariantInit(&result);
    result.vt = VT_ARRAY | VT_VARIANT;
    result.parray = array;
    TraceInfo(u"'%s': varResult = '%s';", query.c_str(), VariantToText(&result).c_str());
    VariantInit(names);
    HRESULT hr = VariantCopy(names, &result);
    (void)VariantClear(&result);
    return FAILED(hr) ? TraceInternalError() : S_OK;
}

} // namespace rigmont
