// Configuration items under "Software\Vornic\Config\": reading, storing, and filling in missing defaults.
#include "common/config/VrConfigData.h"

#include "common/comtext/BstrText.h"
#include "common/trace/Trace.h"
#include "platform/base/paths.h"
#include "platform/base/text.h"

#include <cstring>
#include <string_view>
#include <vector>

namespace {

constexpr const OLECHAR* kConfigKey = u"Software\\Vornic\\Config\\";

// A first read large enough for every value FindItem can hold (998 bytes of UTF-8 are at most 998 UTF-16
// units plus the terminator), so the usual item takes one registry call.
constexpr DWORD kFirstReadBytes = 2 * CVrConfigData::ITEM_BUFFER_SIZE;
// A value that keeps growing between the size report and the read (another process writing it) is given
// up on after this many reads rather than chased for ever.
constexpr int kReadAttempts = 4;

struct ConfigItem {
    const char* name;
    const char* fixedDefault;    // the default text, or null when the default is a file:
    const char* programFileName; // a file in the program folder
};

// In the order in which the constructor fills them in.
constexpr ConfigItem kItems[] = {
    {"ConfigStoreFile", nullptr, "HwConfigStore.cfs"},
    {"AdapterBlankFile", nullptr, "AdapterBlank.daf"},
    {"ExcludedScriptLanguages", "XML VBScript.Encode JScript.Encode", nullptr},
    {"ScriptBlankFile", nullptr, "Blank.%1.ts"},
    {"PnxBlankFile", nullptr, "Blank.%1.pnx"},
    {"DSN", nullptr, "Ostrel.dsn"},
    {"Lumisk", "User", nullptr},
    {"VISAResourceManagerProgID", "VISA.GlobalRM", nullptr},
    {"PnxDefaultMode", "RunTime", nullptr},
    {"TestExecutiveBlankFile", nullptr, "Blank.tsq"},
    // The control panel's script templates of its JScript panels (the two-character sequences \r and \n
    // stand for line breaks): a control object's refresh text and Set line, a graph object's default scripts.
    {"PnxGetScript_JScript",
     "<value> = <expression>;\\r\\n<spec> = \"<spec_value>\";\\r\\nif (typeof rt_specValidator == "
     "\"undefined\") rt_specValidator = new ActiveXObject(\"Vornic.SpecValidator\");\\r\\n<valid> = "
     "String(<spec> == \"\" || <spec>.charAt(0) == \"{\" || rt_specValidator.IsValid(<value>, <spec>));",
     nullptr},
    {"PnxSetScript_JScript", "<param> = \"<value>\";", nullptr},
    {"PnxDefaultGraphInitScript_JScript", "engine.graph.Clear();", nullptr},
    {"PnxDefaultGraphRefreshScript_JScript", "// engine.graph.PutPoint(x, y) adds a point to the graph",
     nullptr},
};

std::u16string DefaultOf(const ConfigItem& item) {
    if (item.fixedDefault != nullptr) {
        return vr::FromUtf8(item.fixedDefault);
    }
    return vr::FromUtf8(vr::ProgramFolder() + "/" + item.programFileName);
}

// The text as an 8-bit reader sees it: what UTF-8 cannot carry (unpaired surrogates) becomes U+FFFD, so
// GetItem and FindItem always agree.
std::u16string AsAnsiText(std::u16string_view text) {
    return vr::FromUtf8(vr::ToUtf8(text));
}

// The registry data as text: whole UTF-16 units up to the first zero unit (the type is not checked, a
// missing terminator is supplied, an odd last byte is dropped).
std::u16string TextOfData(const std::vector<BYTE>& data, DWORD size) {
    std::u16string text(size / sizeof(OLECHAR), u'\0');
    std::memcpy(text.data(), data.data(), text.size() * sizeof(OLECHAR));
    text.resize(vr::U16Length(text.c_str()));
    return text;
}

bool IsNamed(const char* name) {
    return name != nullptr && *name != '\0';
}

// Creates or opens the configuration key under a root; none (after the internal-error trace) on failure.
HKEY OpenConfigKey(HKEY root) {
    HKEY key = nullptr;
    LONG status = RegCreateKeyEx(root, kConfigKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE,
                                 nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) {
        static_cast<void>(TraceInternalError());
        return nullptr;
    }
    return key;
}

void CloseKey(HKEY& key) {
    if (key != nullptr) {
        RegCloseKey(key);
        key = nullptr;
    }
}

} // namespace

CVrConfigData::CVrConfigData() {
    m_hKeyCurrentUser = OpenConfigKey(HKEY_CURRENT_USER);
    m_hKeyLocalMachine = OpenConfigKey(HKEY_LOCAL_MACHINE);
    StoreMissingDefaults();
}

CVrConfigData::~CVrConfigData() {
    CloseKey(m_hKeyLocalMachine);
    CloseKey(m_hKeyCurrentUser);
}

void CVrConfigData::StoreMissingDefaults() {
    for (const ConfigItem& item : kItems) {
        std::u16string existing;
        LONG status = QueryItem(item.name, existing);
        // Only a missing item gets its default: a value that exists but cannot be read (too long for
        // FindItem, a failing hive) stays as the user left it. A closed key is tried too, so that each
        // item's store failure is traced.
        if (status == ERROR_FILE_NOT_FOUND || status == ERROR_INVALID_HANDLE) {
            std::u16string fallback = DefaultOf(item);
            StoreText(item.name, fallback);
        }
    }
}

LONG CVrConfigData::QueryItem(const char* name, std::u16string& text) const {
    if (m_hKeyLocalMachine == nullptr) {
        return ERROR_INVALID_HANDLE;
    }
    if (!IsNamed(name)) {
        return ERROR_FILE_NOT_FOUND; // the key's unnamed value is no item
    }
    std::u16string valueName = vr::FromUtf8(name);
    std::vector<BYTE> data(kFirstReadBytes);
    for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
        auto size = static_cast<DWORD>(data.size());
        LONG status =
            RegQueryValueEx(m_hKeyLocalMachine, valueName.c_str(), nullptr, nullptr, data.data(), &size);
        if (status == ERROR_MORE_DATA) {
            data.resize(size);
            continue;
        }
        if (status != ERROR_SUCCESS) {
            return status;
        }
        text = TextOfData(data, size);
        return ERROR_SUCCESS;
    }
    return ERROR_MORE_DATA;
}

void CVrConfigData::TraceNotFound(const char* name) const {
    SetTraceSite();
    TraceError(u"Couldn't find ConfigData Item '%hs' in the Registry.", IsNamed(name) ? name : "");
}

bool CVrConfigData::FindItem(const char* name, char* buffer, bool quiet) const {
    std::u16string text;
    LONG status = buffer != nullptr ? QueryItem(name, text) : ERROR_INVALID_PARAMETER;
    std::string bytes;
    if (status == ERROR_SUCCESS) {
        bytes = vr::ToUtf8(text);
        if (bytes.size() > ITEM_MAX_BYTES) {
            status = ERROR_MORE_DATA; // cutting would hand out a different path or name
        }
    }
    if (status != ERROR_SUCCESS) {
        if (buffer != nullptr) {
            buffer[0] = '\0';
        }
        if (!quiet) {
            TraceNotFound(name);
        }
        return false;
    }
    std::memcpy(buffer, bytes.c_str(), bytes.size() + 1);
    return true;
}

bool CVrConfigData::GetItem(const char* name, BSTR* value, bool quiet) const {
    if (value == nullptr) {
        return false;
    }
    std::u16string text;
    if (QueryItem(name, text) != ERROR_SUCCESS) {
        if (!quiet) {
            TraceNotFound(name);
        }
        return false;
    }
    vrcommon::ReplaceBstr(value, AsAnsiText(text));
    return true;
}

bool CVrConfigData::StoreItem(const char* name, BSTR value) {
    return StoreText(name, vr::U16View(value));
}

bool CVrConfigData::StoreText(const char* name, std::u16string_view value) {
    LONG status = ERROR_INVALID_HANDLE;
    if (m_hKeyLocalMachine != nullptr && IsNamed(name)) {
        std::u16string valueName = vr::FromUtf8(name);
        std::u16string text = AsAnsiText(value);
        auto size = static_cast<DWORD>((text.size() + 1) * sizeof(OLECHAR));
        status = RegSetValueEx(m_hKeyLocalMachine, valueName.c_str(), 0, REG_SZ,
                               reinterpret_cast<const BYTE*>(text.c_str()), size);
    }
    if (status != ERROR_SUCCESS) {
        SetTraceSite();
        TraceError(u"Couldn't store ConfigData Item '%hs' into the Registry.", IsNamed(name) ? name : "");
        return false;
    }
    return true;
}
