// The bytes of the XML log file: header, records, field contents in ISO-8859-1, and the way back from a
// field's text to the data that was saved.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace jotwell {

// One saved field: its element name and its data.
struct Field {
    std::u16string id;
    std::u16string data;
};

// True when the name can be written as an element name of the file: an XML name whose characters all lie in
// ISO-8859-1 (the file's encoding).
bool IsLatin1XmlName(std::u16string_view name);

// The file's first bytes: the XML declaration without a line break, then CR LF and the root open tag.
std::string FileHeader(std::u16string_view rootElement);
// "</root>" with no line break after it.
std::string RootCloseTag(std::u16string_view rootElement);

// A field's content: "<![CDATA[data]]>" or, when the data holds a control character other than tab, LF and
// CR, the sequence "]]>" or a character outside ISO-8859-1, "HexData: " and its UTF-16 code units in
// hexadecimal. The data ends at its first NUL.
std::string FieldContent(std::u16string_view data);

// CR LF "<id>", each field as CR LF "<field>content</field>", then "</id>": one record as written.
std::string RecordBytes(std::u16string_view recordId, const std::vector<Field>& fields);

// The data of a field read back: a text beginning with "HexData:" decoded from its hexadecimal code units
// (up to the first zero unit), any other text as it is.
std::u16string DecodeFieldText(std::u16string_view text);

// The first 20 characters of a text, followed by "..." when it is longer: how traces show data.
std::u16string Abbreviated(std::u16string_view text);

// Where appending to an existing log file starts, given the file's last bytes (tail, beginning at offset
// tailStart of the file): at the root close tag when the file ends with it (trailing white space allowed),
// so the tag is written again after the new records; else at the very end, so no record is ever overwritten
// (a recorder that was killed before it closed the file leaves no close tag).
uint64_t AppendPosition(std::string_view tail, uint64_t tailStart, std::u16string_view rootElement);

// The readable part of a log file whose recorder was stopped before it closed the file: its bytes (read as
// ISO-8859-1, the file's encoding) up to the end of the last record that is complete, then the close tag of
// its root element, which was left open. Empty when the root element is closed or never opened: the file
// is complete, or not one of these. Records are told by their tags, so data in CDATA cannot mislead it.
std::u16string CompleteRecordsText(std::string_view file);

} // namespace jotwell
