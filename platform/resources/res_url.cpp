// "res://" URL parsing and loading, and the hookup that lets the XML layer load documents from resources.
#include "platform/resources/res_url.h"

#include "platform/base/text.h"
#include "platform/base/win32errors.h"
#include "platform/resources/module_resources.h"
#include "platform/xml/dom.h"

#include <sys/stat.h>

namespace vr {
namespace {

constexpr std::u16string_view kScheme = u"res://";

bool IsRegularFile(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

ResourceId IdOf(std::string_view text) {
    return ResourceId::FromText(FromUtf8(text));
}

} // namespace

HRESULT ParseResUrl(std::u16string_view url, ResUrl* parts) {
    if (!parts || url.size() < kScheme.size() || !EqualsNoCase(url.substr(0, kScheme.size()), kScheme)) {
        return E_INVALIDARG;
    }
    std::string rest = ToUtf8(url.substr(kScheme.size()));
    size_t last = rest.rfind('/');
    if (last == std::string::npos || last == 0 || last + 1 == rest.size()) {
        return E_INVALIDARG;
    }
    ResUrl found;
    if (std::string module = rest.substr(0, last); IsRegularFile(module)) {
        found = ResUrl{std::move(module), ResourceId(RT_HTML), IdOf(rest.substr(last + 1))};
    } else if (size_t second = rest.rfind('/', last - 1);
               second != std::string::npos && second != 0 && IsRegularFile(rest.substr(0, second))) {
        found = ResUrl{rest.substr(0, second), IdOf(rest.substr(second + 1, last - second - 1)),
                       IdOf(rest.substr(last + 1))};
    } else {
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    }
    if (!found.type.IsValid() || !found.name.IsValid()) {
        return E_INVALIDARG;
    }
    *parts = std::move(found);
    return S_OK;
}

HRESULT LoadResUrl(std::u16string_view url, std::string* bytes) {
    if (!bytes) {
        return E_INVALIDARG;
    }
    ResUrl parts;
    HRESULT hr = ParseResUrl(url, &parts);
    return FAILED(hr) ? hr : LoadModuleResource(parts.modulePath, parts.type, parts.name, bytes);
}

void InstallResUrlResolver() {
    xml::SetResourceResolver(&LoadResUrl);
}

} // namespace vr
