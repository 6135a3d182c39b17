// ADO connection strings and file data sources turned into ODBC connection strings.
#include "platform/ado/connection_string.h"

#include "platform/ado/ado_errors.h"
#include "platform/ado/odbc_calls.h"
#include "platform/base/format.h"
#include "platform/base/paths.h"
#include "platform/base/text.h"
#include "platform/base/user_files.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace vr::ado {
namespace {

constexpr std::u16string_view kDataHomeToken = u"%VORNIC_HOME%";

std::u16string_view Trim(std::u16string_view text) {
    auto blank = [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// Reads a quoted value starting at text[pos] (the quote, or an ODBC-style opening brace); returns the
// value, pos after the closing quote.
std::u16string ReadQuoted(std::u16string_view text, size_t& pos) {
    char16_t quote = text[pos++] == u'{' ? u'}' : text[pos - 1];
    std::u16string value;
    while (pos < text.size()) {
        char16_t c = text[pos++];
        if (c != quote) {
            value += c;
        } else if (pos < text.size() && text[pos] == quote) {
            value += quote; // a doubled quote stands for itself
            ++pos;
        } else {
            break;
        }
    }
    return value;
}

std::u16string ReadValue(std::u16string_view text, size_t& pos) {
    while (pos < text.size() && (text[pos] == u' ' || text[pos] == u'\t')) {
        ++pos;
    }
    if (pos < text.size() && (text[pos] == u'\'' || text[pos] == u'"' || text[pos] == u'{')) {
        std::u16string value = ReadQuoted(text, pos);
        size_t end = text.find(u';', pos);
        pos = end == std::u16string_view::npos ? text.size() : end + 1;
        return value;
    }
    size_t end = text.find(u';', pos);
    std::u16string_view value =
        text.substr(pos, end == std::u16string_view::npos ? std::u16string_view::npos : end - pos);
    pos = end == std::u16string_view::npos ? text.size() : end + 1;
    return std::u16string(Trim(value));
}

// Replaces the data-home token and makes the folder the resulting path lies in.
std::u16string ExpandDataHome(std::u16string value) {
    size_t at = value.find(kDataHomeToken);
    if (at == std::u16string::npos) {
        return value;
    }
    std::u16string home = FromUtf8(DataHome());
    while (at != std::u16string::npos) {
        value.replace(at, kDataHomeToken.size(), home);
        at = value.find(kDataHomeToken, at + home.size());
    }
    std::string reason; // the driver reports a folder that cannot be had
    (void)MakeUserFolder(std::filesystem::path(ToUtf8(value)).parent_path().string(), &reason);
    return value;
}

[[noreturn]] void RaiseFileError(const std::string& path, const OLECHAR* format) {
    RaiseError(E_FAIL, FormatWString(format, FromUtf8(path).c_str()));
}

bool IsSection(std::u16string_view line) {
    return line.size() >= 2 && line.front() == u'[' && line.back() == u']';
}

// A value as ODBC reads it: in braces when it holds what would end or open it.
std::u16string OdbcValue(std::u16string_view value) {
    bool plain =
        value.find_first_of(u";{}") == std::u16string_view::npos && Trim(value).size() == value.size();
    if (plain) {
        return std::u16string(value);
    }
    std::u16string quoted = u"{";
    for (char16_t c : value) {
        quoted += c;
        if (c == u'}') {
            quoted += u'}';
        }
    }
    return quoted + u"}";
}

void Append(std::u16string& odbc, std::u16string_view key, std::u16string_view value) {
    odbc += key;
    odbc += u'=';
    odbc += OdbcValue(value);
    odbc += u';';
}

// A value of an ODBC configuration file ("odbc.ini": the user's and the system's data sources;
// "odbcinst.ini": the drivers); empty when it is not there.
std::u16string ProfileValue(std::u16string_view section, std::u16string_view key, const char* file) {
    return FromUtf8(odbc::ConfigurationValue(ToUtf8(section), ToUtf8(key), file));
}

std::u16string ItemValue(const ConnectionItems& items, std::u16string_view wanted) {
    std::u16string found;
    for (const auto& [key, value] : items) {
        if (EqualsNoCase(key, wanted)) {
            found = value; // the last one counts, as for the driver manager
        }
    }
    return found;
}

bool MentionsPostgres(std::u16string_view text) {
    std::u16string lower = ToLower(text);
    return lower.find(u"postgres") != std::u16string::npos || lower.find(u"psqlodbc") != std::u16string::npos;
}

// Whether the items connect through PostgreSQL's driver: the driver they name, or their named data source's,
// by its name or by the library odbcinst.ini gives for that name.
bool UsesPostgresDriver(const ConnectionItems& items) {
    std::u16string dataSource = ItemValue(items, u"DSN");
    std::u16string driver = ItemValue(items, u"DRIVER");
    if (driver.empty() && !dataSource.empty()) {
        driver = ProfileValue(dataSource, u"Driver", "odbc.ini");
    }
    return !driver.empty() &&
           (MentionsPostgres(driver) || MentionsPostgres(ProfileValue(driver, u"Driver", "odbcinst.ini")));
}

// Whether the items connect through the SQLite driver, whose database is a file of the user's.
bool UsesSqliteDriver(const ConnectionItems& items) {
    std::u16string driver = ItemValue(items, u"DRIVER");
    std::u16string dataSource = ItemValue(items, u"DSN");
    if (driver.empty() && !dataSource.empty()) {
        driver = ProfileValue(dataSource, u"Driver", "odbc.ini");
    }
    auto sqlite = [](std::u16string_view text) {
        return ToLower(text).find(u"sqlite") != std::u16string::npos;
    };
    return !driver.empty() && (sqlite(driver) || sqlite(ProfileValue(driver, u"Driver", "odbcinst.ini")));
}

// A SQLite database file another user owns or may write is refused with its path and why (they could change
// the user's results, or have them stored where they read them); a missing one in the data home is made the
// user's own (0600, or 0660 in a group's folder), where the driver would make it readable by everyone.
void GuardDatabaseFile(const ConnectionItems& items) {
    std::string path = ToUtf8(ItemValue(items, u"Database"));
    if (path.empty() || path.front() != '/' || !UsesSqliteDriver(items)) {
        return;
    }
    std::string reason;
    if (!IsTrustedUserFile(path, {"results database", "opened"}, &reason)) {
        RaiseError(E_ACCESSDENIED, FromUtf8(reason));
    }
    if (!path.starts_with(DataHome() + "/")) {
        return; // where the user put it: the driver makes it (0644 at most), as the user's own
    }
    mode_t mode = UserFileModeIn(FolderOfPath(path));
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd >= 0) {
        (void)::fchmod(fd, mode); // exactly that whatever the umask; a looser one still holds no data yet
        ::close(fd);
    }
}

// The PostgreSQL driver's log switches, each with its short form.
struct DriverLogSwitch {
    std::u16string_view name;
    std::u16string_view shortName;
};
constexpr DriverLogSwitch kDriverLogs[] = {{u"CommLog", u"B3"}, {u"Debug", u"B2"}};

// Whether the data source asks for the log: an item of the connection string or of its file data source, or
// its named data source's odbc.ini entry.
bool Asks(const ConnectionItems& items, const DriverLogSwitch& log) {
    std::u16string dataSource = ItemValue(items, u"DSN");
    for (std::u16string_view key : {log.name, log.shortName}) {
        bool given = std::any_of(items.begin(), items.end(),
                                 [&](const auto& item) { return EqualsNoCase(item.first, key); });
        if (given || (!dataSource.empty() && !ProfileValue(dataSource, key, "odbc.ini").empty())) {
            return true;
        }
    }
    return false;
}

// PostgreSQL's driver writes its communication log (and its debug log) into /tmp under a name anyone can
// guess whenever its configuration turns them on, as Debian's does for every connection: they are turned off
// unless the data source asks for them.
void TurnDriverLogsOff(std::u16string& odbc, const ConnectionItems& items) {
    if (!UsesPostgresDriver(items)) {
        return;
    }
    for (const DriverLogSwitch& log : kDriverLogs) {
        if (!Asks(items, log)) {
            Append(odbc, log.name, u"0");
        }
    }
}

} // namespace

ConnectionItems ParseConnectionItems(std::u16string_view text) {
    ConnectionItems items;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t separator = text.find_first_of(u"=;", pos);
        if (separator == std::u16string_view::npos || text[separator] == u';') {
            std::u16string_view key = Trim(text.substr(
                pos, separator == std::u16string_view::npos ? std::u16string_view::npos : separator - pos));
            if (!key.empty()) {
                items.emplace_back(key, u"");
            }
            pos = separator == std::u16string_view::npos ? text.size() : separator + 1;
            continue;
        }
        std::u16string key(Trim(text.substr(pos, separator - pos)));
        pos = separator + 1;
        std::u16string value = ReadValue(text, pos);
        if (!key.empty()) {
            items.emplace_back(std::move(key), std::move(value));
        }
    }
    return items;
}

ConnectionItems ReadFileDataSource(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        RaiseFileError(path, u"The data source file '%s' cannot be read.");
    }
    std::stringstream content;
    content << file.rdbuf();
    std::u16string text = FromUtf8(content.str());

    ConnectionItems items;
    bool inOdbcSection = false;
    bool sawOdbcSection = false;
    std::u16string_view rest(text);
    while (!rest.empty()) {
        size_t end = rest.find(u'\n');
        std::u16string_view line = Trim(rest.substr(0, end));
        rest.remove_prefix(end == std::u16string_view::npos ? rest.size() : end + 1);
        if (line.empty() || line.front() == u';' || line.front() == u'#') {
            continue;
        }
        if (IsSection(line)) {
            inOdbcSection = EqualsNoCase(line.substr(1, line.size() - 2), u"ODBC");
            sawOdbcSection = sawOdbcSection || inOdbcSection;
            continue;
        }
        size_t equals = line.find(u'=');
        if (!inOdbcSection || equals == std::u16string_view::npos) {
            continue;
        }
        items.emplace_back(Trim(line.substr(0, equals)),
                           ExpandDataHome(std::u16string(Trim(line.substr(equals + 1)))));
    }
    if (!sawOdbcSection) {
        RaiseFileError(path, u"The data source file '%s' has no [ODBC] section.");
    }
    return items;
}

std::string ToOdbcConnectionString(std::u16string_view adoText, std::u16string_view user,
                                   std::u16string_view password) {
    ConnectionItems items;
    for (const auto& [key, value] : ParseConnectionItems(adoText)) {
        if (EqualsNoCase(key, u"File Name")) {
            ConnectionItems file = ReadFileDataSource(ToUtf8(MapWindowsPath(value)));
            items.insert(items.end(), file.begin(), file.end());
        } else if (EqualsNoCase(key, u"Provider")) {
            continue;
        } else if (EqualsNoCase(key, u"Data Source")) {
            items.emplace_back(u"DSN", value);
        } else if (EqualsNoCase(key, u"User ID")) {
            items.emplace_back(u"UID", value);
        } else if (EqualsNoCase(key, u"Password")) {
            items.emplace_back(u"PWD", value);
        } else {
            items.emplace_back(key, ExpandDataHome(value));
        }
    }
    if (!user.empty()) {
        items.emplace_back(u"UID", user);
    }
    if (!password.empty()) {
        items.emplace_back(u"PWD", password);
    }
    GuardDatabaseFile(items);
    std::u16string odbc;
    for (const auto& [key, value] : items) {
        Append(odbc, key, value);
    }
    TurnDriverLogsOff(odbc, items);
    return ToUtf8(odbc);
}

} // namespace vr::ado
