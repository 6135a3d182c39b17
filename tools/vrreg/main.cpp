// vrreg query|add|delete <key> [<value name>] [<data>] (--help): the registry from the shell, in the folder
// the programs use ($VORNIC_REGISTRY, else ~/.config/vornic/registry); a configuration item such as
// ConfigStoreFile is a value of HKEY_LOCAL_MACHINE\Software\Vornic\Config.
#include "platform/base/program_conventions.h"
#include "platform/base/syserror.h"
#include "platform/base/text.h"
#include "platform/registry/registry.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

enum ExitCode : int {
    kExitDone = 0,
    kExitNotFound = 1, // the key or value does not exist
    kExitFailed = 2,   // the registry refused (a file it cannot write, say)
    kExitUsage = vr::kExitBadCommandLine,
};

constexpr const char* kUsage =
    "usage: vrreg query <key> [<value name>]\n"
    "       vrreg add <key> <value name> <data> [--type REG_SZ|REG_EXPAND_SZ|REG_DWORD]\n"
    "       vrreg delete <key> [<value name>]\n"
    "Reads, sets and deletes values of the registry the programs use ($VORNIC_REGISTRY, else\n"
    "~/.config/vornic/registry). A key is a root (HKEY_LOCAL_MACHINE or HKLM, HKEY_CURRENT_USER or HKCU,\n"
    "HKEY_CLASSES_ROOT or HKCR) and its path, separated by \\ or /; the configuration items are the values\n"
    "of HKLM\\Software\\Vornic\\Config (the hardware store's path is ConfigStoreFile).\n"
    "  query    the value's line \"<name>    <type>    <data>\", or every value and sub-key of the key\n"
    "  add      sets the value (REG_SZ unless --type says), making the key when it is missing\n"
    "  delete   deletes the value, or without a value name the key with everything under it\n"
    "  --help     show this text\n"
    "  --version  show the build it comes from\n"
    "exit code: 0 done, 1 no such key or value, 2 the registry refused, 64 a command line vrreg does not "
    "take\n";

struct CommandLine {
    std::string verb;
    std::vector<std::string> operands;
    DWORD type = REG_SZ;
    bool help = false;
    std::string bad; // why the command line is refused; empty when it is taken
};

std::optional<DWORD> TypeNamed(const std::string& name) {
    if (vr::EqualsNoCase(name, "REG_SZ")) {
        return REG_SZ;
    }
    if (vr::EqualsNoCase(name, "REG_EXPAND_SZ")) {
        return REG_EXPAND_SZ;
    }
    if (vr::EqualsNoCase(name, "REG_DWORD")) {
        return REG_DWORD;
    }
    return std::nullopt;
}

const char* TypeName(DWORD type) {
    switch (type) {
    case REG_SZ:
        return "REG_SZ";
    case REG_EXPAND_SZ:
        return "REG_EXPAND_SZ";
    case REG_DWORD:
        return "REG_DWORD";
    case REG_BINARY:
        return "REG_BINARY";
    default:
        return "REG_NONE";
    }
}

CommandLine Parse(const std::vector<std::string>& arguments) {
    CommandLine line;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--help" || argument == "-h" || argument == "/?") {
            line.help = true;
        } else if (argument == "--type" && i + 1 < arguments.size()) {
            std::optional<DWORD> type = TypeNamed(arguments[++i]);
            if (!type && line.bad.empty()) {
                line.bad = "unknown value type '" + arguments[i] + "'";
            }
            line.type = type.value_or(REG_SZ);
        } else if (argument.starts_with("--") && line.bad.empty()) {
            line.bad = "unknown switch '" + argument + "'";
        } else if (line.verb.empty()) {
            line.verb = argument;
        } else {
            line.operands.push_back(argument);
        }
    }
    if (line.help || !line.bad.empty()) {
        return line;
    }
    const size_t count = line.operands.size();
    if (line.verb != "query" && line.verb != "add" && line.verb != "delete") {
        line.bad =
            line.verb.empty() ? "no command (query, add or delete)" : "unknown command '" + line.verb + "'";
    } else if (line.verb == "add" ? count != 3 : count < 1 || count > 2) {
        line.bad =
            "'" + line.verb + "' takes " +
            (line.verb == "add" ? "a key, a value name and the data" : "a key and a value name at most");
    }
    return line;
}

// The root key and the path below it; no root for a name that starts with none of the roots.
struct KeyName {
    HKEY root = nullptr;
    std::string rootName;
    std::string path;
};

KeyName Split(std::string key) {
    for (char& c : key) {
        c = c == '/' ? '\\' : c;
    }
    size_t cut = key.find('\\');
    std::string first = key.substr(0, cut);
    KeyName name;
    name.path = cut == std::string::npos ? "" : key.substr(cut + 1);
    while (!name.path.empty() && name.path.back() == '\\') {
        name.path.pop_back();
    }
    if (vr::EqualsNoCase(first, "HKEY_LOCAL_MACHINE") || vr::EqualsNoCase(first, "HKLM")) {
        name = {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", name.path};
    } else if (vr::EqualsNoCase(first, "HKEY_CURRENT_USER") || vr::EqualsNoCase(first, "HKCU")) {
        name = {HKEY_CURRENT_USER, "HKEY_CURRENT_USER", name.path};
    } else if (vr::EqualsNoCase(first, "HKEY_CLASSES_ROOT") || vr::EqualsNoCase(first, "HKCR")) {
        name = {HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT", name.path};
    }
    return name;
}

// An open key, closed when it goes.
class OpenKey {
public:
    OpenKey() = default;
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    ~OpenKey() {
        if (key_) {
            (void)RegCloseKey(key_); // a handle of ours: closing it cannot fail
        }
    }
    PHKEY Put() { return &key_; }
    HKEY Get() const { return key_; }

private:
    HKEY key_ = nullptr; // main thread
};

// "vrreg: <what>: <the system's text>"; the exit code of that failure.
int Failure(const std::string& what, LONG error) {
    std::string reason = vr::ToUtf8(vr::Win32ErrorMessage(static_cast<DWORD>(error)));
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r')) {
        reason.pop_back();
    }
    std::fprintf(stderr, "vrreg: %s: %s\n", what.c_str(), reason.c_str());
    return error == ERROR_FILE_NOT_FOUND ? kExitNotFound : kExitFailed;
}

std::string DataText(DWORD type, const std::vector<BYTE>& data) {
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        std::u16string text(data.size() / 2, u'\0');
        std::memcpy(text.data(), data.data(), text.size() * 2);
        while (!text.empty() && text.back() == u'\0') {
            text.pop_back();
        }
        return vr::ToUtf8(text);
    }
    if (type == REG_DWORD && data.size() == 4) {
        DWORD number = 0;
        std::memcpy(&number, data.data(), 4);
        char text[16];
        std::snprintf(text, sizeof text, "0x%x", static_cast<unsigned>(number));
        return text;
    }
    std::string hex;
    for (BYTE byte : data) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", byte);
        hex += pair;
    }
    return hex;
}

void PrintValue(const std::u16string& name, DWORD type, const std::vector<BYTE>& data) {
    std::printf("    %s    %s    %s\n", name.empty() ? "(Default)" : vr::ToUtf8(name).c_str(), TypeName(type),
                DataText(type, data).c_str());
}

int QueryValue(HKEY key, const std::string& keyText, const std::string& value) {
    std::u16string name = vr::FromUtf8(value);
    DWORD type = 0;
    DWORD size = 0;
    LONG error = RegQueryValueEx(key, name.c_str(), nullptr, &type, nullptr, &size);
    std::vector<BYTE> data(size);
    if (error == ERROR_SUCCESS) {
        error = RegQueryValueEx(key, name.c_str(), nullptr, &type, data.data(), &size);
    }
    if (error != ERROR_SUCCESS) {
        return Failure("no value '" + value + "' in " + keyText, error);
    }
    std::printf("%s\n", keyText.c_str());
    PrintValue(name, type, data);
    return kExitDone;
}

int QueryKey(HKEY key, const std::string& keyText) {
    std::printf("%s\n", keyText.c_str());
    for (DWORD index = 0;; ++index) {
        char16_t name[16384];
        DWORD nameLength = sizeof name / sizeof name[0];
        DWORD type = 0;
        DWORD size = 0;
        if (RegEnumValue(key, index, name, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
            break; // ERROR_NO_MORE_ITEMS at the end
        }
        std::vector<BYTE> data(size);
        nameLength = sizeof name / sizeof name[0];
        if (RegEnumValue(key, index, name, &nameLength, nullptr, &type, data.data(), &size) ==
            ERROR_SUCCESS) {
            PrintValue(std::u16string(name, nameLength), type, data);
        }
    }
    for (DWORD index = 0;; ++index) {
        char16_t name[256];
        DWORD nameLength = sizeof name / sizeof name[0];
        if (RegEnumKeyEx(key, index, name, &nameLength, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break; // ERROR_NO_MORE_ITEMS at the end
        }
        std::printf("%s\\%s\n", keyText.c_str(), vr::ToUtf8(std::u16string(name, nameLength)).c_str());
    }
    return kExitDone;
}

std::vector<BYTE> DataOf(DWORD type, const std::string& text, bool* valid) {
    *valid = true;
    if (type == REG_DWORD) {
        char* end = nullptr;
        unsigned long number = std::strtoul(text.c_str(), &end, 0);
        *valid = !text.empty() && end && *end == '\0' && number <= 0xFFFFFFFFul;
        DWORD value = static_cast<DWORD>(number);
        std::vector<BYTE> data(4);
        std::memcpy(data.data(), &value, 4);
        return data;
    }
    std::u16string wide = vr::FromUtf8(text);
    std::vector<BYTE> data((wide.size() + 1) * 2, 0); // with the terminator, as REG_SZ is stored
    std::memcpy(data.data(), wide.data(), wide.size() * 2);
    return data;
}

int Add(const KeyName& name, const std::string& keyText, const CommandLine& line) {
    bool valid = true;
    std::vector<BYTE> data = DataOf(line.type, line.operands[2], &valid);
    if (!valid) {
        std::fprintf(stderr, "vrreg: '%s' is no REG_DWORD number\n%s", line.operands[2].c_str(), kUsage);
        return kExitUsage;
    }
    OpenKey key;
    std::u16string path = vr::FromUtf8(name.path);
    LONG error = RegCreateKeyEx(name.root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                                nullptr, key.Put(), nullptr);
    if (error != ERROR_SUCCESS) {
        return Failure("cannot make " + keyText + " in " + vr::RegistryRoot(), error);
    }
    error = RegSetValueEx(key.Get(), vr::FromUtf8(line.operands[1]).c_str(), 0, line.type, data.data(),
                          static_cast<DWORD>(data.size()));
    if (error != ERROR_SUCCESS) {
        return Failure("cannot set '" + line.operands[1] + "' in " + vr::RegistryRoot(), error);
    }
    return kExitDone;
}

int Delete(const KeyName& name, const std::string& keyText, const CommandLine& line) {
    std::u16string path = vr::FromUtf8(name.path);
    if (line.operands.size() == 1) {
        if (name.path.empty()) {
            std::fprintf(stderr, "vrreg: a root key is not deleted\n");
            return kExitUsage;
        }
        LONG error = RegDeleteTree(name.root, path.c_str());
        return error == ERROR_SUCCESS ? kExitDone : Failure("cannot delete " + keyText, error);
    }
    OpenKey key;
    LONG error = RegOpenKeyEx(name.root, path.c_str(), 0, KEY_SET_VALUE, key.Put());
    if (error == ERROR_SUCCESS) {
        error = RegDeleteValue(key.Get(), vr::FromUtf8(line.operands[1]).c_str());
    }
    return error == ERROR_SUCCESS ? kExitDone
                                  : Failure("cannot delete '" + line.operands[1] + "' of " + keyText, error);
}

int Run(const CommandLine& line) {
    KeyName name = Split(line.operands[0]);
    if (!name.root) {
        std::fprintf(stderr, "vrreg: '%s' starts with no root key (HKLM, HKCU or HKCR)\n%s",
                     line.operands[0].c_str(), kUsage);
        return kExitUsage;
    }
    std::string keyText = name.rootName + (name.path.empty() ? "" : "\\" + name.path);
    if (line.verb == "add") {
        return Add(name, keyText, line);
    }
    if (line.verb == "delete") {
        return Delete(name, keyText, line);
    }
    OpenKey key;
    LONG error = RegOpenKeyEx(name.root, vr::FromUtf8(name.path).c_str(), 0, KEY_READ, key.Put());
    if (error != ERROR_SUCCESS) {
        return Failure("no key " + keyText + " in " + vr::RegistryRoot(), error);
    }
    return line.operands.size() == 2 ? QueryValue(key.Get(), keyText, line.operands[1])
                                     : QueryKey(key.Get(), keyText);
}

} // namespace

int main(int argc, char** argv) {
    if (vr::AnswerVersion(argc, argv, "vrreg")) {
        return kExitDone;
    }
    CommandLine line = Parse(std::vector<std::string>(argv + 1, argv + argc));
    if (line.help) {
        std::fputs(kUsage, stdout);
        return kExitDone;
    }
    if (!line.bad.empty()) {
        std::fprintf(stderr, "vrreg: %s\n%s", line.bad.c_str(), kUsage);
        return kExitUsage;
    }
    return Run(line);
}
