// The text form of a hive file: the ".reg" export format, written as UTF-8.
#pragma once

#include "platform/registry/hive_tree.h"

#include <string>
#include <string_view>

namespace vr::registry {

inline constexpr std::string_view kHiveHeader = "Windows Registry Editor Version 5.00";

struct ParsedHive {
    RegKey root;
    // Lines that could not be read. Each is skipped and the rest of the hive still loads, so one damaged line
    // never hides the others; the store keeps a copy of such a file before it writes the hive again.
    size_t unreadableLines = 0;
};

// Reads hive text. `hiveName` ("HKEY_CURRENT_USER") is the first name of every section: a section of another
// hive, a value outside any section, malformed UTF-8, or any entry not in the forms FormatHive writes (plus
// comments, blank lines and hex data continued over several lines) counts as unreadable.
ParsedHive ParseHive(std::string_view text, std::string_view hiveName);

// Writes the whole hive: the header, then one section per key (the root only when it has values), sub-keys in
// enumeration order. A string is written as "text" only when it reads back to the same bytes (UTF-16 with
// exactly one terminator at its end, no control characters other than tab, no unpaired surrogates); any other
// data keeps its exact bytes as hex(<type>).
std::string FormatHive(const RegKey& root, std::string_view hiveName);

} // namespace vr::registry
