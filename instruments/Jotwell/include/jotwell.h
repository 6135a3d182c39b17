// The log-file server's public contract (type library JOTWELLLib 1.0): the class that records named text
// fields into an XML file and reads them back by XPath, its dual interface and their identifiers.
#pragma once

#include "attributes/include/tabrisk.h"
#include "platform/com/dispatch.h"

#include <string>
#include <string_view>

// Records of named text fields in an XML log file (dual; DISPIDs in brackets). The settings (file, root
// element, write mode, read mode) are attributes of the object's collection, scope "LogFile"; the object
// also answers a query for IVrAttributeCollection with that collection. Apartment-threaded.
struct IVrLogFile : IDispatch {
    // [1] The log file's path (attribute "LogFile:File").
    [[nodiscard]] virtual HRESULT get_file(BSTR* pVal) = 0;
    [[nodiscard]] virtual HRESULT put_file(BSTR newVal) = 0;
    // [2] The name of the root element (attribute "LogFile:RootElement", default "log").
    [[nodiscard]] virtual HRESULT get_rootElement(BSTR* pVal) = 0;
    [[nodiscard]] virtual HRESULT put_rootElement(BSTR newVal) = 0;
    // [3] "Off" (nothing is written), "Begin" (the next opening empties the file) or "Continue" (append).
    [[nodiscard]] virtual HRESULT get_writeMode(BSTR* pVal) = 0;
    [[nodiscard]] virtual HRESULT put_writeMode(BSTR newVal) = 0;
    // [4] Opens a record (ending an open record of the same id first).
    [[nodiscard]] virtual HRESULT BeginRecord(BSTR bsRecordId) = 0;
    // [5] Writes an open record with its fields; E_INVALIDARG for an id that names no open record.
    [[nodiscard]] virtual HRESULT EndRecord(BSTR bsRecordId) = 0;
    // [6] Appends a field to a record, opening the record when needed.
    [[nodiscard]] virtual HRESULT SaveField(BSTR bsRecordId, BSTR bsFieldId, BSTR bsData) = 0;
    // [7] Ends every open record; without an argument also completes and closes the file.
    [[nodiscard]] virtual HRESULT Flush(VARIANT varboolNotClose) = 0;
    // [8] The text of field bsReadFieldId of a record selected by "/*/<bsRecordId><query>"; a null string
    // when no record matches.
    [[nodiscard]] virtual HRESULT ReadField(BSTR bsRecordId, BSTR bsFieldIdDataQuery, BSTR bsReadFieldId,
                                            BSTR* pbsReadData) = 0;
    // [9] The object's attribute collection.
    [[nodiscard]] virtual HRESULT get_Attributes(IVrAttributeCollection** ppVal) = 0;
    // [10] "Off", "Sequential" or "Random"; stored for the owner, reads always pick at random.
    [[nodiscard]] virtual HRESULT get_readMode(BSTR* pVal) = 0;
    [[nodiscard]] virtual HRESULT put_readMode(BSTR newVal) = 0;

protected:
    ~IVrLogFile() = default;
};
VR_DECLARE_INTERFACE_ID(IVrLogFile, "58EE215B-7373-4234-8D68-9F470FF6DC15")

inline constexpr CLSID CLSID_LogFile = vr::MakeGuid("10D48DE1-9804-45AA-80D9-E60BF8D62102");
inline constexpr GUID LIBID_JOTWELLLib = vr::MakeGuid("7532807C-818C-4567-9016-E6BB2F6F37D7");

inline constexpr const char16_t* kLogFileProgId = u"Vornic.LogFile.1";
inline constexpr const char16_t* kLogFileIndependentProgId = u"Vornic.LogFile";

// How the log file keeps a field's data. The data ends at its first NUL. It is written as CDATA unless it
// holds a control character that XML cannot carry (1 to 8, 11, 12, 14 to 31), the sequence "]]>" or a
// character outside ISO-8859-1; then as "HexData:" followed by each UTF-16 code unit as " %02X". A query that
// looks for recorded data compares with the text the file holds: the hexadecimal text for such data.
inline std::u16string_view LogFieldData(std::u16string_view data) {
    return data.substr(0, data.find(u'\0'));
}

inline bool IsKeptAsLogHexData(std::u16string_view data) {
    for (char16_t c : LogFieldData(data)) {
        if ((c >= 1 && c <= 8) || c == 11 || c == 12 || (c >= 14 && c <= 31) || c > 0xFF) {
            return true;
        }
    }
    return LogFieldData(data).find(u"]]>") != std::u16string_view::npos;
}

inline std::u16string LogHexDataText(std::u16string_view data) {
    static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
    std::u16string text = u"HexData:";
    for (char16_t c : LogFieldData(data)) {
        text += u' ';
        bool leading = true; // "%02X": at least two digits, more for units above 0xFF
        for (int shift = 12; shift >= 0; shift -= 4) {
            unsigned digit = (c >> shift) & 0xF;
            if (leading && digit == 0 && shift > 4) {
                continue;
            }
            leading = false;
            text += kDigits[digit];
        }
    }
    return text;
}

// An XPath string literal whose value is text: quoted with apostrophes, or with double quotes when the text
// holds an apostrophe, or, when it holds both, concat() of pieces that each avoid one of them. A query built
// from recorded text (a command with an apostrophe or a SCPI string argument) stays a valid expression.
inline std::u16string XPathStringLiteral(std::u16string_view text) {
    if (text.find(u'\'') == std::u16string_view::npos) {
        return u"'" + std::u16string(text) + u"'";
    }
    if (text.find(u'"') == std::u16string_view::npos) {
        return u"\"" + std::u16string(text) + u"\"";
    }
    std::u16string literal = u"concat(";
    size_t start = 0;
    while (start < text.size()) {
        size_t quote = text.find(u'\'', start);
        if (quote == start) {
            size_t end = text.find_first_not_of(u'\'', start);
            end = end == std::u16string_view::npos ? text.size() : end;
            literal += u"\"" + std::u16string(text.substr(start, end - start)) + u"\", ";
            start = end;
        } else {
            size_t end = quote == std::u16string_view::npos ? text.size() : quote;
            literal += u"'" + std::u16string(text.substr(start, end - start)) + u"', ";
            start = end;
        }
    }
    literal += u"'')"; // concat() needs two arguments; the empty tail keeps one piece valid too
    return literal;
}
