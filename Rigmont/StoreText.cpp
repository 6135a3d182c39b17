// The XPath texts of the configuration store and the joining of setup strings.
#include "StoreText.h"

#include "instruments/Jotwell/include/jotwell.h"

namespace rigmont {

namespace {

bool IsAsciiLetter(char16_t c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

bool IsAsciiDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

// Letters beyond ASCII are allowed as XML allows them; ASCII punctuation other than "_", "-" and "." is not.
bool CanStartName(char16_t c) {
    return IsAsciiLetter(c) || c == u'_' || c >= 0x00C0;
}

bool CanContinueName(char16_t c) {
    return CanStartName(c) || IsAsciiDigit(c) || c == u'-' || c == u'.' || c == 0x00B7;
}

char16_t FoldAscii(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

} // namespace

bool IsRecordTypeName(std::u16string_view type) {
    if (type.empty() || !CanStartName(type.front())) {
        return false;
    }
    for (char16_t c : type.substr(1)) {
        if (!CanContinueName(c)) {
            return false;
        }
    }
    return true;
}

std::u16string ContainerPath(std::u16string_view type) {
    return u"/ConfigStore/" + std::u16string(type) + u"s";
}

std::u16string RecordInContainerPath(std::u16string_view type, std::u16string_view name) {
    return std::u16string(type) + u"[@name = " + XPathStringLiteral(name) + u"]";
}

std::u16string RecordPath(std::u16string_view type, std::u16string_view name) {
    return ContainerPath(type) + u"/" + RecordInContainerPath(type, name);
}

std::u16string RecordNamesPath(std::u16string_view type) {
    return ContainerPath(type) + u"/" + std::u16string(type) + u"/@name";
}

std::optional<std::u16string> JoinSetup(const std::optional<std::u16string>& defaultSetup,
                                        std::u16string_view recordSetup, std::u16string_view supplementary) {
    std::optional<std::u16string> joined = defaultSetup;
    for (std::u16string_view part : {recordSetup, supplementary}) {
        if (part.empty()) {
            continue;
        }
        if (joined && !joined->empty()) {
            *joined += u',';
        }
        joined = joined.value_or(u"") + std::u16string(part);
    }
    return joined;
}

bool IsDefaultRecordName(std::u16string_view name) {
    constexpr std::u16string_view kDefault = u"_default";
    if (name.size() != kDefault.size()) {
        return false;
    }
    for (size_t i = 0; i < name.size(); ++i) {
        if (FoldAscii(name[i]) != kDefault[i]) {
            return false;
        }
    }
    return true;
}

} // namespace rigmont
