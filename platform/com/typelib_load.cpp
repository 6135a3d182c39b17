// Creating, loading (files, module resources, the registry) and registering type libraries.
#include "platform/base/paths.h"
#include "platform/base/text.h"
#include "platform/com/server.h"
#include "platform/com/typelib_format.h"
#include "platform/com/typelib_objects.h"
#include "platform/registry/registry.h"
#include "platform/resources/module_resources.h"

#include <charconv>
#include <fstream>
#include <optional>
#include <sys/stat.h>

namespace {

using namespace vr;
using namespace vr::typelib;

bool IsRegularFile(const std::string& path) {
    struct stat info {};
    return !path.empty() && stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// "<module>\<n>": the module's path and its resource name n, when the part before the backslash is a file.
std::optional<std::pair<std::string, WORD>> SplitResourceIndex(std::u16string_view text) {
    size_t slash = text.rfind(u'\\');
    if (slash == std::u16string_view::npos || slash + 1 == text.size()) {
        return std::nullopt;
    }
    std::string digits = ToUtf8(text.substr(slash + 1));
    unsigned number = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (error != std::errc() || end != digits.data() + digits.size() || number == 0 || number > 0xFFFF) {
        return std::nullopt;
    }
    std::string module = MapWindowsPath(ToUtf8(text.substr(0, slash)));
    if (!IsRegularFile(module)) {
        return std::nullopt;
    }
    return std::make_pair(module, static_cast<WORD>(number));
}

bool IsStdoleName(const std::string& path) {
    std::string name = path.substr(path.rfind('/') + 1);
    return EqualsNoCase(name, "stdole32.tlb") || EqualsNoCase(name, "stdole2.tlb");
}

// Libraries are a few kilobytes: a file claiming to be one and holding more is taken as damaged rather than
// read into memory.
constexpr std::streamoff kMaxLibraryFileSize = std::streamoff{64} << 20;

HRESULT ReadLibraryFile(const std::string& path, std::string* bytes) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    std::streamoff size = in.tellg();
    in.seekg(0);
    char magic[sizeof(kFileMagic)] = {};
    if (!in.read(magic, sizeof(magic)) || !HasFileMagic(std::string_view(magic, sizeof(magic)))) {
        return S_FALSE;
    }
    if (size > kMaxLibraryFileSize) {
        return TYPE_E_INVDATAREAD;
    }
    in.seekg(0);
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return in.bad() ? TYPE_E_CANTLOADLIBRARY : S_OK;
}

// The library in a module file's "TYPELIB" resource.
HRESULT ReadLibraryResource(const std::string& path, WORD name, std::string* bytes) {
    ModuleResources resources;
    if (HRESULT hr = ModuleResources::Open(path, &resources); FAILED(hr)) {
        return hr == HRESULT_FROM_WIN32(ERROR_INVALID_DATA) ? TYPE_E_INVDATAREAD : TYPE_E_CANTLOADLIBRARY;
    }
    const ResourceEntry* entry = nullptr;
    if (FAILED(resources.Find(ResourceId(u"TYPELIB"), ResourceId(name), &entry))) {
        return TYPE_E_CANTLOADLIBRARY;
    }
    *bytes = entry->data;
    return S_OK;
}

HRESULT LoadFromBytes(std::string_view bytes, ITypeLib** lib) {
    LibData data;
    if (HRESULT hr = DecodeLibrary(bytes, &data); FAILED(hr)) {
        return hr;
    }
    return MakeLoadedLibrary(std::move(data), lib);
}

// ---- registry ----

std::u16string Hex(uint32_t value) {
    char text[16];
    auto end = std::to_chars(text, text + sizeof(text), value, 16).ptr;
    return FromUtf8(std::string_view(text, end - text));
}

std::u16string LibKey(const GUID& libid) {
    return u"TypeLib\\" + GuidToString(libid);
}

std::u16string VersionName(WORD major, WORD minor) {
    return FromUtf8(std::to_string(major) + "." + std::to_string(minor));
}

bool ReadDefaultText(const std::u16string& keyPath, std::u16string* text) {
    HKEY key = nullptr;
    if (RegOpenKeyEx(HKEY_CLASSES_ROOT, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    DWORD type = 0;
    DWORD size = 0;
    bool read =
        RegQueryValueEx(key, nullptr, nullptr, &type, nullptr, &size) == ERROR_SUCCESS && type == REG_SZ;
    std::u16string data(size / sizeof(OLECHAR), u'\0');
    read = read && RegQueryValueEx(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                                   &size) == ERROR_SUCCESS;
    RegCloseKey(key);
    if (read) {
        data.resize(U16Length(data.c_str()));
        *text = data;
    }
    return read;
}

// The highest registered minor version of this major version not below minor.
std::optional<WORD> FindMinorVersion(const GUID& libid, WORD major, WORD minor) {
    HKEY key = nullptr;
    if (RegOpenKeyEx(HKEY_CLASSES_ROOT, LibKey(libid).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::optional<WORD> best;
    OLECHAR name[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = 256;
        if (RegEnumKeyEx(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
            break;
        }
        std::string text = ToUtf8(std::u16string_view(name, length));
        unsigned itsMajor = 0;
        unsigned itsMinor = 0;
        auto [dot, e1] = std::from_chars(text.data(), text.data() + text.size(), itsMajor);
        if (e1 != std::errc() || dot == text.data() + text.size() || *dot != '.') {
            continue;
        }
        auto [end, e2] = std::from_chars(dot + 1, text.data() + text.size(), itsMinor);
        if (e2 != std::errc() || end != text.data() + text.size() || itsMajor != major || itsMinor < minor ||
            itsMinor > 0xFFFF) {
            continue;
        }
        if (!best || itsMinor > *best) {
            best = static_cast<WORD>(itsMinor);
        }
    }
    RegCloseKey(key);
    return best;
}

} // namespace

HRESULT CreateTypeLib(SYSKIND syskind, LPCOLESTR file, ICreateTypeLib** lib) {
    if (!file || !*file || !lib) {
        return E_INVALIDARG;
    }
    *lib = nullptr;
    ComObjectPtr<TypeLibObject> made;
    if (HRESULT hr = ComObject<TypeLibObject>::Create(&made); FAILED(hr)) {
        return hr;
    }
    made->InitCreated(syskind, MapWindowsPath(ToUtf8(U16View(file))));
    return made->QueryInterface(uuidof<ICreateTypeLib>(), reinterpret_cast<void**>(lib));
}

HRESULT LoadTypeLib(LPCOLESTR file, ITypeLib** lib) {
    if (!file || !lib) {
        return E_INVALIDARG;
    }
    *lib = nullptr;
    std::u16string_view text = U16View(file);
    std::string bytes;
    if (auto resource = SplitResourceIndex(text)) {
        if (HRESULT hr = ReadLibraryResource(resource->first, resource->second, &bytes); FAILED(hr)) {
            return hr;
        }
        return LoadFromBytes(bytes, lib);
    }
    std::string path = MapWindowsPath(ToUtf8(text));
    if (!IsRegularFile(path)) {
        return IsStdoleName(path) ? MakeLoadedLibrary(StdoleData(), lib) : TYPE_E_CANTLOADLIBRARY;
    }
    HRESULT hr = ReadLibraryFile(path, &bytes);
    if (hr == S_FALSE) {
        hr = ReadLibraryResource(path, 1, &bytes);
    }
    return FAILED(hr) ? hr : LoadFromBytes(bytes, lib);
}

HRESULT LoadRegTypeLib(REFGUID libid, WORD major, WORD minor, LCID lcid, ITypeLib** lib) {
    if (!lib) {
        return E_INVALIDARG;
    }
    *lib = nullptr;
    if (libid == LIBID_STDOLE && major == kStdoleMajorVersion) {
        return MakeLoadedLibrary(StdoleData(), lib);
    }
    std::optional<WORD> found = FindMinorVersion(libid, major, minor);
    if (!found) {
        return TYPE_E_LIBNOTREGISTERED;
    }
    std::u16string versionKey = LibKey(libid) + u"\\" + VersionName(major, *found);
    for (LCID candidate : {lcid, lcid & 0x3FFu, 0u}) {
        for (const char16_t* platform : {u"win64", u"win32"}) {
            std::u16string path;
            if (ReadDefaultText(versionKey + u"\\" + Hex(candidate) + u"\\" + platform, &path)) {
                return LoadTypeLib(path.c_str(), lib);
            }
        }
    }
    return TYPE_E_LIBNOTREGISTERED;
}

HRESULT RegisterTypeLib(ITypeLib* lib, LPCOLESTR fullPath, LPCOLESTR helpDir) {
    if (!lib || !fullPath || !*fullPath) {
        return E_INVALIDARG;
    }
    TLIBATTR* attr = nullptr;
    if (HRESULT hr = lib->GetLibAttr(&attr); FAILED(hr)) {
        return hr;
    }
    TLIBATTR libAttr = *attr;
    lib->ReleaseTLibAttr(attr);
    BSTR name = nullptr;
    BSTR doc = nullptr;
    if (HRESULT hr = lib->GetDocumentation(-1, &name, &doc, nullptr, nullptr); FAILED(hr)) {
        return hr;
    }
    std::u16string title(BstrView(doc).empty() ? BstrView(name) : BstrView(doc));
    SysFreeString(name);
    SysFreeString(doc);

    std::u16string path(U16View(fullPath));
    std::u16string folder = helpDir ? std::u16string(U16View(helpDir)) : path.substr(0, path.rfind(u'/') + 1);
    std::u16string versionKey =
        LibKey(libAttr.guid) + u"\\" + VersionName(libAttr.wMajorVerNum, libAttr.wMinorVerNum);
    std::u16string pathKey =
        versionKey + u"\\" + Hex(libAttr.lcid) + u"\\" + (libAttr.syskind == SYS_WIN64 ? u"win64" : u"win32");
    auto setText = [](const std::u16string& keyPath, const char16_t* valueName, std::u16string_view value) {
        HKEY key = nullptr;
        if (RegCreateKeyEx(HKEY_CLASSES_ROOT, keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                           nullptr, &key, nullptr) != ERROR_SUCCESS) {
            return false;
        }
        std::u16string data(value);
        bool written =
            RegSetValueEx(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                          static_cast<DWORD>((data.size() + 1) * sizeof(OLECHAR))) == ERROR_SUCCESS;
        RegCloseKey(key);
        return written;
    };
    bool written = setText(versionKey, nullptr, title) &&
                   setText(versionKey, u"FLAGS", FromUtf8(std::to_string(libAttr.wLibFlags))) &&
                   setText(versionKey, u"HELPDIR", folder) && setText(pathKey, nullptr, path);
    return written ? S_OK : TYPE_E_REGISTRYACCESS;
}

HRESULT UnRegisterTypeLib(REFGUID libid, WORD major, WORD minor, LCID, SYSKIND) {
    return SUCCEEDED(server::UnregisterTypeLibKey(libid, major, minor)) ? S_OK : TYPE_E_REGISTRYACCESS;
}
