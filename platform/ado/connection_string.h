// From an ADO connection string to the ODBC connection string the driver manager takes.
//
// An ADO connection string is a list of "key=value" items separated by ";"; a value may be quoted with '
// or " (the quote doubled inside) or, as ODBC writes it, in braces ("}}" inside). Keys are compared without
// regard to case:
// - "File Name=<file>" names a file data source (a Windows path of the system is mapped as
//   vr::MapWindowsPath maps it): an INI text whose [ODBC] section's "key=value" lines become items of the
//   ODBC string in their order (";" and "#" start comment lines);
// - "Provider" is dropped (the layer always goes through ODBC), "Data Source" becomes DSN, "User ID" UID and
//   "Password" PWD; every other item passes to the driver as it is.
// Through PostgreSQL's driver (named by DRIVER or by the named data source's odbc.ini entry), the driver's
// log files ("CommLog", "Debug", or their short forms "B3", "B2") are turned off ("=0" added at the end)
// unless the connection string, its file data source or its named data source's odbc.ini entry sets them: the
// driver writes them into /tmp under names anyone can guess.
// The text %VORNIC_HOME% in a value stands for the data home (vr::DataHome(): $VORNIC_HOME, else ~/vornic),
// so that one shipped data source file gives every user a database file of their own; the folder holding
// such a path is made when it is missing (0700, platform/base/user_files.h). A SQLite database (the SQLite
// driver's "Database") that another user owns or may write raises E_ACCESSDENIED with its path and why; a
// missing one in the data home is made empty with mode 0600 first.
//
// Threads: no shared state; any thread.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vr::ado {

using ConnectionItems = std::vector<std::pair<std::u16string, std::u16string>>;

// The items in order, keys and unquoted values trimmed of blanks; items without "=" get an empty value.
ConnectionItems ParseConnectionItems(std::u16string_view text);

// The items of a file data source's [ODBC] section, %VORNIC_HOME% expanded; raises (E_FAIL with a
// description) when the file cannot be read or has no such section.
ConnectionItems ReadFileDataSource(const std::string& path);

// The ODBC connection string (UTF-8) for an ADO connection string and the user and password given apart
// from it (empty: none); raises as ReadFileDataSource does.
std::string ToOdbcConnectionString(std::u16string_view adoText, std::u16string_view user = {},
                                   std::u16string_view password = {});

} // namespace vr::ado
