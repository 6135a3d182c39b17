// Reading and writing a control panel's own settings, and new panels made from a blank one.
#include "VrDev/Panolix/PanelFile.h"

#include "VrDev/Panolix/PanelNumbers.h"

#include "common/config/VrConfigData.h"
#include "common/options/ParamParser.h"
#include "platform/base/file_read.h"
#include "platform/base/file_write.h"
#include "platform/base/paths.h"
#include "platform/base/text.h"
#include "platform/com/comutil.h"

#include <cerrno>
#include <optional>
#include <sys/stat.h>

namespace panolix {
namespace {

constexpr const OLECHAR* kRoot = u"/panel"; // the root element, which holds the settings

std::string Utf8Of(BSTR text) {
    return vr::ToUtf8(vr::BstrView(text));
}

// The attribute's text, or none when the attribute is missing.
HRESULT ReadAttribute(CXmlFile& file, const OLECHAR* name, std::optional<std::string>* value) {
    BSTR text = nullptr;
    HRESULT hr = file.GetAttribute(kRoot, name, &text);
    if (SUCCEEDED(hr) && text != nullptr) {
        *value = Utf8Of(text);
    }
    SysFreeString(text);
    return hr;
}

// A whole number of seconds; one below 1 (as older panels carry) or beyond a day is clamped, with a trace.
HRESULT ReadRefreshPeriod(CXmlFile& file, int* period, std::string* error) {
    std::optional<std::string> text;
    if (HRESULT hr = ReadAttribute(file, u"refreshperiod", &text); FAILED(hr) || !text) {
        return hr;
    }
    LONG seconds = 0;
    std::u16string wide = vr::FromUtf8(*text);
    if (!TextToLong(&seconds, wide.c_str(), 10, true, true)) {
        *error = "The refresh period '" + *text + "' is not a whole number of seconds.";
        return E_INVALIDARG;
    }
    *period = ClampedPanelNumber(u"refresh period", seconds, kRefreshPeriodRange);
    return S_OK;
}

bool FileExists(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0;
}

} // namespace

bool IsAutoRefreshText(const std::string& text) {
    return vr::EqualsNoCase(text, "yes") || vr::EqualsNoCase(text, "true");
}

HRESULT ReadPanelSettings(CXmlFile& file, PanelSettings* settings, std::string* error) {
    std::optional<std::string> language;
    std::optional<std::string> autoRefresh;
    if (HRESULT hr = ReadAttribute(file, u"language", &language); FAILED(hr)) {
        return hr;
    }
    if (HRESULT hr = ReadAttribute(file, u"autorefresh", &autoRefresh); FAILED(hr)) {
        return hr;
    }
    if (HRESULT hr = ReadRefreshPeriod(file, &settings->refreshPeriod, error); FAILED(hr)) {
        return hr;
    }
    BSTR script = nullptr;
    HRESULT hr = file.GetElementText(u"/panel/script", &script);
    settings->mainScript = Utf8Of(script);
    SysFreeString(script);
    settings->language = language.value_or("");
    settings->autoRefresh = IsAutoRefreshText(autoRefresh.value_or(""));
    return hr;
}

HRESULT WritePanelSettings(CXmlFile& file, const PanelSettings& settings) {
    std::u16string language = vr::FromUtf8(settings.language);
    std::u16string script = vr::FromUtf8(settings.mainScript);
    std::u16string period = vr::FromUtf8(std::to_string(settings.refreshPeriod));
    if (HRESULT hr = file.SetAttribute(kRoot, u"language", language.c_str()); FAILED(hr)) {
        return hr;
    }
    if (HRESULT hr = file.SetElementText(u"/panel/script", script.c_str()); FAILED(hr)) {
        return hr;
    }
    if (HRESULT hr = file.SetAttribute(kRoot, u"autorefresh", settings.autoRefresh ? u"yes" : u"no");
        FAILED(hr)) {
        return hr;
    }
    return file.SetAttribute(kRoot, u"refreshperiod", period.c_str());
}

HRESULT ClearPanelObjects(CXmlFile& file) {
    vr::xml::Node objects;
    if (HRESULT hr = file.GetElement(u"/panel/objects", &objects, true); FAILED(hr)) {
        return hr;
    }
    for (vr::xml::Node child = objects.firstChild(); child; child = objects.firstChild()) {
        if (HRESULT hr = objects.removeChild(child); FAILED(hr)) {
            return hr;
        }
    }
    return S_OK;
}

std::string WithPanelExtension(const std::string& name) {
    std::string extension = kPanelExtension;
    bool has = name.size() >= extension.size() &&
               name.compare(name.size() - extension.size(), extension.size(), extension) == 0;
    return has ? name : name + extension;
}

std::string BlankPanelFileFor(const std::string& language) {
    BSTR item = nullptr;
    std::string blank;
    if (CVrConfigData().GetItem("PnxBlankFile", &item, true)) {
        blank = Utf8Of(item);
    }
    SysFreeString(item);
    for (size_t at = blank.find("%1"); at != std::string::npos; at = blank.find("%1", at + language.size())) {
        blank.replace(at, 2, language);
    }
    if (blank.empty()) {
        return blank;
    }
    std::string mapped = vr::MapWindowsPath(blank);
    return mapped.front() == '/' ? mapped : vr::ProgramFolder() + "/" + mapped;
}

bool CopyBlankPanel(const std::string& blank, const std::string& path) {
    if (FileExists(path)) {
        errno = EEXIST;
        return false;
    }
    std::string text;
    if (!vr::ReadInputFile(blank, &text)) {
        errno = ENOENT;
        return false;
    }
    // Made only where nothing is, not even a link; errno tells why not.
    return static_cast<bool>(vr::WriteFileWhole(path, text, {vr::FileWriteMode::CreateNew, {}}));
}

std::string FileNameOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace panolix
