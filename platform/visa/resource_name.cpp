// Parsing of VISA resource names.
#include "platform/visa/resource_name.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <vector>

namespace vr::visa {

namespace {

std::string Upper(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return result;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && Upper(text.substr(0, prefix.size())) == prefix;
}

std::string_view Trim(std::string_view text) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// Splits on "::", leaving "::" inside brackets (IPv6 addresses) alone.
std::vector<std::string> SplitParts(std::string_view text) {
    std::vector<std::string> parts;
    std::string current;
    int depth = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '[') {
            ++depth;
        } else if (c == ']' && depth > 0) {
            --depth;
        }
        if (depth == 0 && c == ':' && i + 1 < text.size() && text[i + 1] == ':') {
            parts.push_back(current);
            current.clear();
            ++i;
            continue;
        }
        current += c;
    }
    parts.push_back(current);
    return parts;
}

bool AllDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

HRESULT Invalid(Failure* failure, std::string_view text, std::string_view why) {
    failure->status = kErrorInvalidResourceName;
    failure->message = "Invalid resource name '" + std::string(text) + "': " + std::string(why);
    return kErrorInvalidResourceName;
}

struct Keyword {
    std::string_view text;
    InterfaceType type;
};

// Longest first, so that "GPIB-VXI" is not taken for "GPIB".
constexpr std::array<Keyword, 7> kKeywords = {{{"GPIB-VXI", InterfaceType::GpibVxi},
                                               {"TCPIP", InterfaceType::Tcpip},
                                               {"GPIB", InterfaceType::Gpib},
                                               {"ASRL", InterfaceType::Asrl},
                                               {"USB", InterfaceType::Usb},
                                               {"VXI", InterfaceType::Vxi},
                                               {"PXI", InterfaceType::Pxi}}};

std::string KeywordOf(InterfaceType type) {
    for (const Keyword& keyword : kKeywords) {
        if (keyword.type == type) {
            return std::string(keyword.text);
        }
    }
    return {};
}

bool IsClassWord(std::string_view part) {
    static constexpr std::array<std::string_view, 7> kClasses = {"INSTR",     "SOCKET",  "INTFC", "RAW",
                                                                 "BACKPLANE", "SERVANT", "MEMACC"};
    std::string upper = Upper(part);
    return std::find(kClasses.begin(), kClasses.end(), upper) != kClasses.end();
}

constexpr int kHighestPort = 65535;

// digits: a port as written, leading zeros allowed.
bool AbovePortRange(std::string_view digits) {
    digits.remove_prefix(std::min(digits.find_first_not_of('0'), digits.size()));
    return digits.size() > 5 || (!digits.empty() && std::stoi(std::string(digits)) > kHighestPort);
}

HRESULT ParseTcpip(std::string_view text, std::vector<std::string> parts, ResourceName* name,
                   Failure* failure) {
    if (parts.empty() || parts[0].empty()) {
        return Invalid(failure, text, "a TCPIP resource needs a host");
    }
    if (parts.size() == 1 && IsClassWord(parts[0])) {
        return Invalid(failure, text, "a TCPIP resource needs a host before its class " + Upper(parts[0]));
    }
    std::string host = parts[0];
    if (host.front() == '[') {
        if (host.back() != ']') {
            return Invalid(failure, text, "an IPv6 host needs its closing bracket");
        }
        host = host.substr(1, host.size() - 2);
    }
    name->host = host;
    std::string cls = parts.size() > 1 && IsClassWord(parts.back()) ? Upper(parts.back()) : "INSTR";
    size_t middle = parts.size() - (parts.size() > 1 && IsClassWord(parts.back()) ? 2 : 1);
    name->resourceClass = cls;
    std::string hostText = parts[0];
    if (cls == "SOCKET") {
        if (middle != 1 || !AllDigits(parts[1])) {
            return Invalid(failure, text, "a TCPIP socket resource is TCPIP[board]::host::port::SOCKET");
        }
        if (AbovePortRange(parts[1])) {
            return Invalid(failure, text,
                           "the port " + parts[1] + " is above " + std::to_string(kHighestPort));
        }
        name->port = parts[1];
        name->canonical += "::" + hostText + "::" + name->port + "::SOCKET";
        return S_OK;
    }
    if (cls != "INSTR" || middle > 1) {
        return Invalid(failure, text, "a TCPIP resource is TCPIP[board]::host[::device]::INSTR or ::SOCKET");
    }
    name->device = middle == 1 ? parts[1] : "inst0";
    name->canonical += "::" + hostText + "::" + name->device + "::INSTR";
    return S_OK;
}

constexpr std::string_view kSerialForms = "a serial resource is ASRL<n>::INSTR or ASRL/dev/<tty>::INSTR";

// rest: what follows "ASRL" and its port number (digits), so empty or a device path, then "::" parts.
HRESULT ParseAsrl(std::string_view text, std::string_view rest, bool numbered, ResourceName* name,
                  Failure* failure) {
    std::vector<std::string> parts = SplitParts(rest);
    const std::string& port = parts[0];
    if (!port.empty()) {
        if (port.front() != '/') {
            return Invalid(failure, text,
                           "'" + port + "' is neither a port number nor a device path; " +
                               std::string(kSerialForms));
        }
        if (numbered) {
            return Invalid(failure, text,
                           "a serial resource names a port number or a device path, not both; " +
                               std::string(kSerialForms));
        }
        name->serialPath = port;
    }
    if (parts.size() > 2) {
        const bool afterClass = Upper(parts[1]) == "INSTR";
        return Invalid(failure, text,
                       "'" + parts[afterClass ? 2 : 1] + "' is not expected after the " +
                           (afterClass ? "class" : "port") + "; " + std::string(kSerialForms));
    }
    if (parts.size() == 2 && Upper(parts[1]) != "INSTR") {
        return Invalid(failure, text,
                       parts[1].empty() ? std::string("the class INSTR is missing after '::'")
                                        : "a serial resource has the class INSTR, not '" + parts[1] + "'");
    }
    name->resourceClass = "INSTR";
    name->canonical =
        "ASRL" + (name->serialPath.empty() ? std::to_string(name->board) : name->serialPath) + "::INSTR";
    return S_OK;
}

} // namespace

HRESULT ParseResourceName(std::string_view text, ResourceName* name, Failure* failure) {
    std::string_view trimmed = Trim(text);
    *name = ResourceName{};
    const Keyword* found = nullptr;
    for (const Keyword& keyword : kKeywords) {
        if (StartsWithNoCase(trimmed, keyword.text)) {
            found = &keyword;
            break;
        }
    }
    if (!found) {
        return Invalid(failure, trimmed, "unknown interface");
    }
    name->type = found->type;
    std::string_view rest = trimmed.substr(found->text.size());
    size_t digits = 0;
    while (digits < rest.size() && std::isdigit(static_cast<unsigned char>(rest[digits]))) {
        ++digits;
    }
    if (digits > 4) {
        return Invalid(failure, trimmed,
                       "the board number " + std::string(rest.substr(0, digits)) + " is above 9999");
    }
    name->board = digits ? static_cast<int16_t>(std::stoi(std::string(rest.substr(0, digits)))) : 0;
    rest.remove_prefix(digits);
    if (name->type == InterfaceType::Asrl) {
        return ParseAsrl(trimmed, rest, digits > 0, name, failure);
    }
    if (!rest.empty() && !rest.starts_with("::")) {
        return Invalid(failure, trimmed, "'::' expected after the interface and board");
    }
    std::vector<std::string> parts = rest.empty() ? std::vector<std::string>{} : SplitParts(rest.substr(2));
    name->canonical = KeywordOf(name->type) + std::to_string(name->board);
    if (name->type == InterfaceType::Tcpip) {
        return ParseTcpip(trimmed, parts, name, failure);
    }
    if (parts.empty()) {
        return Invalid(failure, trimmed, "an address is expected after the board");
    }
    name->resourceClass = IsClassWord(parts.back()) ? Upper(parts.back()) : "INSTR";
    if (IsClassWord(parts.back())) {
        parts.pop_back();
    }
    for (const std::string& part : parts) {
        name->address += (name->address.empty() ? "" : "::") + part;
        name->canonical += "::" + part;
    }
    name->canonical += "::" + name->resourceClass;
    return S_OK;
}

} // namespace vr::visa
