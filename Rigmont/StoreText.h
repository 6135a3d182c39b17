// The texts the configuration store is read and written with: the XPath of records and containers, and the
// joined setup string of a record merged over its type's "_default" record.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace rigmont {

// True when the record type can name an element (an XML name without a colon), so that its container and
// its records can be selected; any other text would be read as XPath syntax.
bool IsRecordTypeName(std::u16string_view type);

// "/ConfigStore/<type>s/<type>[@name = <name>]", the name quoted as an XPath string literal, so that a name
// with apostrophes or quotes selects exactly its own record.
std::u16string RecordPath(std::u16string_view type, std::u16string_view name);
// "/ConfigStore/<type>s"
std::u16string ContainerPath(std::u16string_view type);
// "<type>[@name = <name>]", relative to the container.
std::u16string RecordInContainerPath(std::u16string_view type, std::u16string_view name);
// "/ConfigStore/<type>s/<type>/@name"
std::u16string RecordNamesPath(std::u16string_view type);

// The "_default" setup, then the record's, then the supplementary one, joined by single commas; empty parts
// are skipped. No value when the "_default" record gave none and nothing else is appended.
std::optional<std::u16string> JoinSetup(const std::optional<std::u16string>& defaultSetup,
                                        std::u16string_view recordSetup, std::u16string_view supplementary);

// True for "_default" in any case.
bool IsDefaultRecordName(std::u16string_view name);

} // namespace rigmont
