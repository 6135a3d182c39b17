// The program folder, data home and runtime folder of this machine, and the mapping of the system's paths.
#include "platform/base/paths.h"

#include "platform/base/text.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace vr {
namespace {

std::string WithoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// $HOME, else the user database's home folder; empty when neither names one.
std::string KnownHomeFolder() {
    std::string home = Environment("HOME");
    if (!home.empty()) {
        return home;
    }
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr) {
        return found->pw_dir;
    }
    return {};
}

std::string HomeFolder() {
    std::string home = KnownHomeFolder();
    return home.empty() ? "/tmp" : home;
}

// Whether the folder that exists at path is this user's only: a real directory (not a link) owned by the
// user, tightened to mode 0700 when looser.
bool IsOwnFolder(const std::string& path, const struct stat& info) {
    if (!S_ISDIR(info.st_mode) || info.st_uid != getuid()) {
        return false;
    }
    if ((info.st_mode & 0777) != 0700 && chmod(path.c_str(), 0700) != 0) {
        return false;
    }
    return true;
}

// A folder of this user's only that is there already; false when missing or taken by something else.
bool IsPrivateFolder(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 && IsOwnFolder(path, info);
}

// A folder of this user's only, made when missing; false when the place is taken by something else.
// Looked at first and made only when missing: the runtime folder is asked for often, so the usual case
// (there already, as it should be) costs one lstat.
bool EnsurePrivateFolder(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) {
        if (errno != ENOENT || (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) ||
            lstat(path.c_str(), &info) != 0) {
            return false;
        }
    }
    return IsOwnFolder(path, info);
}

// Makes the missing folders above path, each the user's own (0700); false when one cannot be made.
bool MakeFolderPath(const std::string& path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        std::string folder = path.substr(0, slash);
        if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
    }
    return true;
}

// An absolute folder from the environment, else the fallback.
std::string AbsoluteFromEnvironment(const char* name, const std::string& fallback) {
    std::string value = Environment(name);
    return !value.empty() && value.front() == '/' ? WithoutTrailingSlashes(value) : fallback;
}

std::string TemporaryFolder() {
    return AbsoluteFromEnvironment("TMPDIR", "/tmp");
}

// The runtime folder under the user's home, where nobody else can take the name. The machine's name is part
// of it, so that machines sharing one home (over NFS) keep their sockets apart.
std::string MovedRuntimeFolder() {
    std::string home = HomeFolder();
    if (home == "/tmp") {
        return {}; // no home of the user's: no place that nobody else can take
    }
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0) {
        host[0] = '\0';
    }
    std::string cache = AbsoluteFromEnvironment("XDG_CACHE_HOME", WithoutTrailingSlashes(home) + "/.cache");
    return cache + "/vornic-runtime-" + host;
}

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

std::string LowerAscii(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        c = LowerAscii(c);
    }
    return lower;
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && EqualsNoCase(text.substr(text.size() - suffix.size()), suffix);
}

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

std::string WithSlashes(std::string_view path) {
    std::string result(path);
    for (char& c : result) {
        c = c == '\\' ? '/' : c;
    }
    return result;
}

// A path of the system, taken apart: its drive letter (0 for none) and its folders and file name with
// "." and ".." resolved as Windows resolves them (".." at the root stays at the root).
struct WindowsPath {
    char drive = 0;
    std::vector<std::string_view> components;
    bool trailingSeparator = false;
};

bool IsDriveLetter(std::string_view path) {
    return path.size() >= 2 && path[1] == ':' &&
           ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

WindowsPath ParseWindowsPath(std::string_view path) {
    WindowsPath parsed;
    if (IsDriveLetter(path)) {
        parsed.drive = LowerAscii(path[0]);
        path.remove_prefix(2);
    }
    parsed.trailingSeparator = !path.empty() && IsSeparator(path.back());
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = start;
        while (end < path.size() && !IsSeparator(path[end])) {
            ++end;
        }
        std::string_view component = path.substr(start, end - start);
        if (component == "..") {
            if (!parsed.components.empty()) {
                parsed.components.pop_back();
            }
        } else if (!component.empty() && component != ".") {
            parsed.components.push_back(component);
        }
        start = end + 1;
    }
    return parsed;
}

std::string Join(std::string base, const std::vector<std::string_view>& components, size_t first) {
    for (size_t i = first; i < components.size(); ++i) {
        base += '/';
        base += components[i];
    }
    return base;
}

// A program file's name on this machine: lower case, ".exe" dropped, "X.dll" as "libx.so".
std::string ProgramFileName(std::string_view name) {
    std::string lower = LowerAscii(name);
    if (EndsWithNoCase(lower, ".exe")) {
        return lower.substr(0, lower.size() - 4);
    }
    if (EndsWithNoCase(lower, ".dll")) {
        return "lib" + lower.substr(0, lower.size() - 4) + ".so";
    }
    return lower;
}

std::string MapIntoProgramFolder(const WindowsPath& parsed) {
    std::string mapped = ProgramFolder();
    const auto& parts = parsed.components;
    for (size_t i = 2; i < parts.size(); ++i) {
        bool isFileName = i + 1 == parts.size() && !parsed.trailingSeparator;
        mapped += '/';
        mapped += isFileName ? ProgramFileName(parts[i]) : LowerAscii(parts[i]);
    }
    return mapped;
}

std::string MapAbsoluteWindowsPath(std::string_view path) {
    WindowsPath parsed = ParseWindowsPath(path);
    const auto& parts = parsed.components;
    bool inInstallFolder =
        (parsed.drive == 0 || parsed.drive == 'c') && !parts.empty() && EqualsNoCase(parts[0], "Ostrel");
    std::string mapped;
    if (inInstallFolder && parts.size() >= 2 && EqualsNoCase(parts[1], "bin")) {
        mapped = MapIntoProgramFolder(parsed);
    } else {
        mapped = Join(DataHome(), parts, inInstallFolder ? 1 : 0);
    }
    if (parsed.trailingSeparator && mapped.back() != '/') {
        mapped += '/';
    }
    return mapped;
}

} // namespace

std::string ProgramFolder() {
    static const std::string folder = [] {
        char target[PATH_MAX + 1] = {};
        ssize_t length = readlink("/proc/self/exe", target, PATH_MAX);
        std::string exe = length > 0 ? std::string(target, static_cast<size_t>(length)) : std::string();
        size_t slash = exe.rfind('/');
        return slash == std::string::npos ? std::string(".")
                                          : WithoutTrailingSlashes(exe.substr(0, slash + 1));
    }();
    return folder;
}

std::string DataHome() {
    std::string home = Environment("VORNIC_HOME");
    if (home.empty()) {
        home = WithoutTrailingSlashes(HomeFolder()) + "/vornic";
    }
    return WithoutTrailingSlashes(home);
}

std::string ExpandHomeFolder(std::string_view file) {
    if (file != "~" && !file.starts_with("~/")) {
        return std::string(file);
    }
    std::string home = KnownHomeFolder();
    return home.empty() ? std::string(file) : home + std::string(file.substr(1));
}

std::string RuntimeFolder() {
    std::string base = Environment("XDG_RUNTIME_DIR");
    if (!base.empty()) {
        std::string folder = WithoutTrailingSlashes(base) + "/vornic";
        return EnsurePrivateFolder(folder) ? folder : std::string();
    }
    // Without a runtime directory of the session, every process of the user must still agree on one folder,
    // which nobody else can take from them. The name in the temporary folder can be taken by anyone first:
    // then the folder moves under the user's home, and once it is there every process looks there first.
    std::string moved = MovedRuntimeFolder();
    if (IsPrivateFolder(moved)) {
        return moved;
    }
    std::string inTmp = TemporaryFolder() + "/vornic-" + std::to_string(getuid());
    if (EnsurePrivateFolder(inTmp)) {
        return inTmp;
    }
    return MakeFolderPath(moved) && EnsurePrivateFolder(moved) ? moved : std::string();
}

std::string MapWindowsPath(std::string_view path) {
    bool windowsAbsolute = IsDriveLetter(path) || (!path.empty() && path[0] == '\\');
    return windowsAbsolute ? MapAbsoluteWindowsPath(path) : WithSlashes(path);
}

std::u16string MapWindowsPath(std::u16string_view path) {
    return FromUtf8(MapWindowsPath(ToUtf8(path)));
}

} // namespace vr
