// The kinds of specification that become an XSD simple type (pattern, range), range parsing, and the
// module's registry of kinds.
#include "SpecKinds.h"

#include "platform/base/format.h"
#include "platform/base/numbers.h"
#include "platform/base/text.h"

#include <cmath>

namespace limitor {

namespace {

bool IsHuge(double number) {
    return number == HUGE_VAL || number == -HUGE_VAL;
}

std::u16string Message(const OLECHAR* format, std::u16string_view text) {
    return vr::FormatWString(format, std::u16string(text).c_str());
}

std::u16string Scientific(double number) {
    return vr::FormatWString(u"%.20e", number);
}

// The value in the first pair of delimiters of ' " {} [] that it does not break; nullopt when it contains
// every closing character.
std::optional<std::u16string> QuotedValue(std::u16string_view value) {
    static constexpr std::pair<char16_t, char16_t> kDelimiters[] = {
        {u'\'', u'\''}, {u'"', u'"'}, {u'{', u'}'}, {u'[', u']'}};
    for (auto [open, close] : kDelimiters) {
        if (value.find(close) == std::u16string_view::npos) {
            return open + std::u16string(value) + close;
        }
    }
    return std::nullopt;
}

} // namespace

bool SpecKind::Matches(std::u16string_view, std::u16string_view, SpecMatch&, std::u16string&) const {
    return false;
}

HRESULT SpecKind::BuildSchemaAttributes(std::u16string_view, const SpecMatch&, std::u16string&,
                                        std::u16string&) const {
    return E_NOTIMPL;
}

bool PatternSpecKind::Matches(std::u16string_view, std::u16string_view keyword, SpecMatch&,
                              std::u16string&) const {
    return vr::EqualsNoCase(keyword, u"pattern");
}

HRESULT PatternSpecKind::BuildSchemaAttributes(std::u16string_view body, const SpecMatch&,
                                               std::u16string& attributes, std::u16string& error) const {
    // Quoted as the option-string writer would, so that a quote inside the pattern cannot end its value
    // early.
    std::optional<std::u16string> quoted = QuotedValue(body);
    if (!quoted) {
        error = u"the pattern holds all of ' \" } and ] and cannot be quoted";
        return E_INVALIDARG;
    }
    attributes = u"type=string pattern=" + *quoted + u" ";
    return S_OK;
}

bool RangeSpecKind::Matches(std::u16string_view body, std::u16string_view keyword, SpecMatch& match,
                            std::u16string& error) const {
    bool rangeKeyword = vr::EqualsNoCase(keyword, u"range");
    std::u16string parseError;
    if (ParseRange(body, match.range, parseError)) {
        return true;
    }
    if (rangeKeyword) {
        error = parseError;
    }
    return rangeKeyword;
}

HRESULT RangeSpecKind::BuildSchemaAttributes(std::u16string_view, const SpecMatch& match,
                                             std::u16string& attributes, std::u16string&) const {
    const SpecBounds& bounds = match.range;
    attributes = u"type=double ";
    if (bounds.min) {
        attributes +=
            Message(bounds.minExclusive ? u"minExclusive='%s' " : u"minInclusive='%s' ", *bounds.min);
    }
    if (bounds.max) {
        attributes +=
            Message(bounds.maxExclusive ? u"maxExclusive='%s' " : u"maxInclusive='%s' ", *bounds.max);
    }
    return S_OK;
}

bool ParseRange(std::u16string_view bodyView, SpecBounds& bounds, std::u16string& error) {
    bounds = SpecBounds{};
    std::u16string body(bodyView);
    const OLECHAR* text = body.c_str();
    const OLECHAR* at = text;
    if (*at == u'[') {
        bounds.minExclusive = false;
        ++at;
    } else if (*at == u']') {
        ++at;
    }
    const OLECHAR* firstStart = at;
    const OLECHAR* firstEnd = at;
    double first = vr::Wcstod(firstStart, &firstEnd);
    if (IsHuge(first)) {
        error = Message(u"Wrong number '%s'", firstStart);
        return false;
    }
    // "1..5" reads as "1." first: the point belongs to the delimiter.
    if (firstEnd > firstStart && firstEnd[-1] == u'.') {
        --firstEnd;
    }
    bool plusMinus = firstEnd[0] == u'+' && firstEnd[1] == u'-';
    if (!plusMinus && !(firstEnd[0] == u'.' && firstEnd[1] == u'.')) {
        error = u"Ther is no delimiter '..'";
        return false;
    }
    if (firstEnd > firstStart) {
        bounds.min = std::u16string(firstStart, firstEnd);
    }
    const OLECHAR* secondStart = firstEnd + 2;
    const OLECHAR* secondEnd = secondStart;
    double second = vr::Wcstod(secondStart, &secondEnd);
    if (IsHuge(second)) {
        error = Message(u"Wrong number '%s'", secondStart);
        return false;
    }
    at = secondEnd;
    if (*at == u']') {
        bounds.maxExclusive = false;
        ++at;
    } else if (*at == u'[') {
        ++at;
    }
    // Measured against the whole body, so that nothing after an embedded zero goes unread.
    if (std::u16string_view rest = std::u16string_view(body).substr(at - text); !rest.empty()) {
        error = Message(u"Unrecognized end '%s'", rest);
        return false;
    }
    if (plusMinus) {
        bounds.min = Scientific(first - second);
        bounds.max = Scientific(first + second);
    } else if (secondEnd > secondStart) {
        bounds.max = std::u16string(secondStart, secondEnd);
    }
    return true;
}

bool SpecKindRegistry::Add(const SpecKind* kind) {
    if (count_ == kCapacity) {
        return false;
    }
    kinds_[count_++] = kind;
    return true;
}

const SpecKindRegistry& SpecKinds() {
    static const PatternSpecKind pattern;
    static const RangeSpecKind range;
    static const SpecKindRegistry registry = [] {
        SpecKindRegistry kinds;
        kinds.Add(&pattern);
        kinds.Add(&range);
        return kinds;
    }();
    return registry;
}

} // namespace limitor
