// Compiled value checks of simple types: libxml2's lexical rules of the common datatypes, facets per
// derivation step, patterns compiled once with xmlRegexpCompile.
#include "platform/xml/value_compiled.h"

#include "platform/xml/value_check.h"

#include <libxml/xmlregexp.h>

#include <optional>
#include <string>
#include <vector>

namespace vr::xml::detail {
namespace {

// libxml2 reads integers and decimals into three 8-digit words and refuses more significant digits.
constexpr size_t kMaxSignificantDigits = 24;
// Derivation chains are short; the bound only guards against a malformed cycle.
constexpr int kMaxDerivationDepth = 64;

enum class Lexical { kString, kBoolean, kDecimal, kInteger, kFloating, kHexBinary };

bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

bool IsHexDigit(char16_t c) {
    return IsDigit(c) || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

// A decimal number as text: no leading zeros in the whole part, no trailing zeros in the fraction, and zero
// is never negative. Views into the checked text, or into a facet's own copy.
struct NumberView {
    bool negative = false;
    std::u16string_view whole;
    std::u16string_view fraction;
    size_t significant = 0; // the digits libxml2 counts against its limit
};

// [+-]? digits ( "." digits )?, at least one digit; a point only for decimals.
bool ReadNumber(std::u16string_view text, bool allowPoint, NumberView& number) {
    size_t i = 0;
    number.negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        number.negative = text[i] == u'-';
        ++i;
    }
    size_t wholeStart = i;
    while (i < text.size() && IsDigit(text[i])) {
        ++i;
    }
    std::u16string_view whole = text.substr(wholeStart, i - wholeStart);
    std::u16string_view fraction;
    if (allowPoint && i < text.size() && text[i] == u'.') { // "5." and ".5" are both decimals
        size_t fractionStart = ++i;
        while (i < text.size() && IsDigit(text[i])) {
            ++i;
        }
        fraction = text.substr(fractionStart, i - fractionStart);
    }
    if (i != text.size() || (whole.empty() && fraction.empty())) {
        return false;
    }
    while (!whole.empty() && whole.front() == u'0') {
        whole.remove_prefix(1);
    }
    number.significant = whole.size() + fraction.size();
    while (!fraction.empty() && fraction.back() == u'0') {
        fraction.remove_suffix(1);
    }
    number.whole = whole;
    number.fraction = fraction;
    if (whole.empty() && fraction.empty()) {
        number.negative = false;
    }
    return true;
}

// Compares magnitudes of canonical numbers.
int CompareMagnitude(const NumberView& a, const NumberView& b) {
    if (a.whole.size() != b.whole.size()) {
        return a.whole.size() < b.whole.size() ? -1 : 1;
    }
    if (int c = a.whole.compare(b.whole); c != 0) {
        return c < 0 ? -1 : 1;
    }
    if (int c = a.fraction.compare(b.fraction); c != 0) {
        return c < 0 ? -1 : 1; // no trailing zeros, so text order is numeric order
    }
    return 0;
}

int Compare(const NumberView& a, const NumberView& b) {
    if (a.negative != b.negative) {
        return a.negative ? -1 : 1;
    }
    int magnitude = CompareMagnitude(a, b);
    return a.negative ? -magnitude : magnitude;
}

// A number kept by a compiled check (a facet value or a datatype's bound), in canonical text of its own.
class OwnedNumber {
public:
    static std::optional<OwnedNumber> Read(std::u16string_view text, bool allowPoint) {
        NumberView view;
        if (!ReadNumber(text, allowPoint, view)) {
            return std::nullopt;
        }
        OwnedNumber owned;
        owned.negative_ = view.negative;
        owned.whole_ = view.whole;
        owned.fraction_ = view.fraction;
        return owned;
    }
    NumberView View() const { return {negative_, whole_, fraction_, 0}; }

private:
    bool negative_ = false;
    std::u16string whole_;
    std::u16string fraction_;
};

// The lexical form of xsd:double and xsd:float as libxml2 2.9 takes it: "NaN", "INF", "-INF", else an
// optional sign, digits, an optional fraction and an exponent mark with optional sign and digits (the digits
// may be missing); the mantissa needs a digit, as sscanf then reads the number.
bool IsLibxmlFloating(std::u16string_view text) {
    if (text == u"NaN") {
        return true;
    }
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && text[i] == u'-') {
        negative = true;
        ++i;
    }
    if (text.substr(i) == u"INF") {
        return true;
    }
    if (!negative && i < text.size() && text[i] == u'+') {
        ++i;
    }
    if (i == text.size() || text[i] == u'+' || text[i] == u'-') {
        return false;
    }
    size_t mantissaDigits = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        ++mantissaDigits;
    }
    if (i < text.size() && text[i] == u'.') {
        for (++i; i < text.size() && IsDigit(text[i]); ++i) {
            ++mantissaDigits;
        }
    }
    if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
        ++i;
        if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
            ++i;
        }
        while (i < text.size() && IsDigit(text[i])) {
            ++i;
        }
    }
    return i == text.size() && mantissaDigits > 0;
}

// Both IsLibxmlFloating and the guard's IsFloatingLexical (value_check.h), in one pass: every text the guard
// takes libxml2 takes as well (it also takes an exponent mark without digits), except "+INF".
bool IsGuardedFloating(std::u16string_view text) {
    return text != u"+INF" && IsFloatingLexical(text);
}

bool IsHexBinary(std::u16string_view text) {
    for (char16_t c : text) {
        if (!IsHexDigit(c)) {
            return false;
        }
    }
    return text.size() % 2 == 0;
}

// UTF-8 of text without surrogates, for the regular-expression engine.
void AppendUtf8(std::u16string_view text, std::string& out) {
    out.clear();
    for (char16_t c : text) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
}

// The text as XSD white-space handling leaves it; the view itself when nothing changes.
std::u16string_view Normalized(std::u16string_view text, SCHEMAWHITESPACE whitespace,
                               std::u16string& buffer) {
    if (whitespace != SCHEMAWHITESPACE_REPLACE && whitespace != SCHEMAWHITESPACE_COLLAPSE) {
        return text;
    }
    bool changes = false;
    for (size_t i = 0; i < text.size() && !changes; ++i) {
        if (IsBlank(text[i])) {
            bool plainInnerSpace = text[i] == u' ' && i > 0 && i + 1 < text.size() && !IsBlank(text[i - 1]) &&
                                   !IsBlank(text[i + 1]);
            changes = !plainInnerSpace;
        }
    }
    if (!changes) {
        return text;
    }
    buffer.clear();
    for (char16_t c : text) {
        bool space = IsBlank(c);
        if (whitespace == SCHEMAWHITESPACE_REPLACE) {
            buffer += space ? u' ' : c;
        } else if (!space) {
            buffer += c;
        } else if (!buffer.empty() && buffer.back() != u' ') {
            buffer += u' ';
        }
    }
    if (whitespace == SCHEMAWHITESPACE_COLLAPSE && !buffer.empty() && buffer.back() == u' ') {
        buffer.pop_back();
    }
    return buffer;
}

// Texts the schema check treats in ways of its own: characters XML does not allow (libxml2 then cannot
// check a pattern; a zero character even ends the document's text there) and lone surrogates, which have no
// UTF-8 form.
bool IsJudgeable(std::u16string_view text) {
    for (char16_t c : text) {
        bool control = c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r';
        if (control || (c >= 0xD800 && c <= 0xDFFF) || c == 0xFFFE || c == 0xFFFF) {
            return false;
        }
    }
    return true;
}

struct RegexpDeleter {
    void operator()(xmlRegexpPtr regexp) const { xmlRegFreeRegexp(regexp); }
};
using Regexp = std::unique_ptr<xmlRegexp, RegexpDeleter>;

// The facets of one derivation step. Facets in effect are inherited from the base when a step does not
// state them, so checking every step's facets in turn is what XSD asks: patterns of one step are
// alternatives, the steps all apply.
struct Step {
    std::vector<Regexp> patterns;
    std::vector<std::u16string> textEnumeration;
    std::vector<OwnedNumber> numberEnumeration;
    std::optional<OwnedNumber> minInclusive, maxInclusive, minExclusive, maxExclusive;
    int32_t length = -1, minLength = -1, maxLength = -1, totalDigits = -1, fractionDigits = -1;
};

// libxml2 takes no sign at all in the unsigned datatypes (not even "+1" or "-0").
enum class Sign { kAllowed, kRefused };

struct BuiltInRange {
    SOMITEMTYPE type;
    const char16_t* min; // null: unbounded
    const char16_t* max;
    Sign sign = Sign::kAllowed;
};

constexpr BuiltInRange kIntegerRanges[] = {
    {SOMITEM_DATATYPE_INTEGER, nullptr, nullptr},
    {SOMITEM_DATATYPE_NONPOSITIVEINTEGER, nullptr, u"0"},
    {SOMITEM_DATATYPE_NEGATIVEINTEGER, nullptr, u"-1"},
    {SOMITEM_DATATYPE_NONNEGATIVEINTEGER, u"0", nullptr},
    {SOMITEM_DATATYPE_POSITIVEINTEGER, u"1", nullptr},
    {SOMITEM_DATATYPE_LONG, u"-9223372036854775808", u"9223372036854775807"},
    {SOMITEM_DATATYPE_INT, u"-2147483648", u"2147483647"},
    {SOMITEM_DATATYPE_SHORT, u"-32768", u"32767"},
    {SOMITEM_DATATYPE_BYTE, u"-128", u"127"},
    {SOMITEM_DATATYPE_UNSIGNEDLONG, u"0", u"18446744073709551615", Sign::kRefused},
    {SOMITEM_DATATYPE_UNSIGNEDINT, u"0", u"4294967295", Sign::kRefused},
    {SOMITEM_DATATYPE_UNSIGNEDSHORT, u"0", u"65535", Sign::kRefused},
    {SOMITEM_DATATYPE_UNSIGNEDBYTE, u"0", u"255", Sign::kRefused},
};

std::optional<Lexical> LexicalOf(SOMITEMTYPE root) {
    switch (root) {
    case SOMITEM_DATATYPE_STRING:
        return Lexical::kString;
    case SOMITEM_DATATYPE_BOOLEAN:
        return Lexical::kBoolean;
    case SOMITEM_DATATYPE_DECIMAL:
        return Lexical::kDecimal;
    case SOMITEM_DATATYPE_DOUBLE:
    case SOMITEM_DATATYPE_FLOAT:
        return Lexical::kFloating;
    case SOMITEM_DATATYPE_HEXBINARY:
        return Lexical::kHexBinary;
    default:
        for (const BuiltInRange& range : kIntegerRanges) {
            if (range.type == root) {
                return Lexical::kInteger;
            }
        }
        return std::nullopt;
    }
}

// A built-in datatype or a chain of restrictions down to one.
class AtomicCheck final : public CompiledValueCheck {
public:
    static std::unique_ptr<const AtomicCheck> Make(const SchemaItemData& type);
    CompiledVerdict Check(std::u16string_view text) const override;
    bool AppliesFloatingGuard() const override { return PlainFloating(); }
    CompiledVerdict CheckWithFloatingGuard(std::u16string_view text) const override;

private:
    // A built-in floating datatype without facets of its own: a text without blanks is judged as it stands.
    bool PlainFloating() const {
        return lexical_ == Lexical::kFloating && steps_.empty() && whitespace_ == SCHEMAWHITESPACE_COLLAPSE;
    }
    // The verdict on the text white-space handling left (value not empty).
    CompiledVerdict CheckNormalized(std::u16string_view value) const;
    bool AddStep(const Facets& facets);
    bool StepHolds(const Step& step, std::u16string_view value, const NumberView& number,
                   std::string& utf8) const;
    bool IsNumber() const { return lexical_ == Lexical::kDecimal || lexical_ == Lexical::kInteger; }

    Lexical lexical_ = Lexical::kString;
    SOMITEMTYPE root_ = SOMITEM_NULL;
    SCHEMAWHITESPACE whitespace_ = SCHEMAWHITESPACE_NONE;
    std::optional<OwnedNumber> rangeMin_, rangeMax_; // of the built-in integer datatypes
    Sign sign_ = Sign::kAllowed;
    std::vector<Step> steps_;
};

std::unique_ptr<const AtomicCheck> AtomicCheck::Make(const SchemaItemData& type) {
    auto check = std::unique_ptr<AtomicCheck>(new AtomicCheck());
    std::vector<const Facets*> chain;
    const SchemaItemData* current = &type;
    for (int depth = 0; current != nullptr && !current->IsBuiltIn(); ++depth) {
        if (depth >= kMaxDerivationDepth || current->itemType != SOMITEM_SIMPLETYPE ||
            current->variety != SCHEMATYPEVARIETY_ATOMIC ||
            current->derivedBy != SCHEMADERIVATIONMETHOD_RESTRICTION || current->source == nullptr ||
            current->baseTypes.size() != 1) {
            return nullptr;
        }
        chain.push_back(&current->facets);
        current = current->baseTypes[0];
    }
    if (current == nullptr) {
        return nullptr;
    }
    std::optional<Lexical> lexical = LexicalOf(current->itemType);
    if (!lexical) {
        return nullptr;
    }
    check->lexical_ = *lexical;
    check->root_ = current->itemType;
    check->whitespace_ = EffectiveWhitespace(type);
    for (const BuiltInRange& range : kIntegerRanges) {
        if (range.type == check->root_) {
            if (range.min != nullptr) {
                check->rangeMin_ = OwnedNumber::Read(range.min, false);
            }
            if (range.max != nullptr) {
                check->rangeMax_ = OwnedNumber::Read(range.max, false);
            }
            check->sign_ = range.sign;
        }
    }
    for (const Facets* facets : chain) {
        if (!check->AddStep(*facets)) {
            return nullptr;
        }
    }
    return check;
}

// False when the step uses a facet this check does not compile for its datatype.
bool AtomicCheck::AddStep(const Facets& facets) {
    Step step;
    for (const std::u16string& pattern : facets.patterns) {
        std::string utf8;
        AppendUtf8(pattern, utf8);
        Regexp regexp(xmlRegexpCompile(reinterpret_cast<const xmlChar*>(utf8.c_str())));
        if (regexp == nullptr || !IsJudgeable(pattern)) {
            return false;
        }
        step.patterns.push_back(std::move(regexp));
    }
    if (!facets.enumeration.empty()) {
        if (lexical_ == Lexical::kString && whitespace_ == SCHEMAWHITESPACE_PRESERVE) {
            step.textEnumeration = facets.enumeration;
        } else if (IsNumber()) {
            for (const std::u16string& value : facets.enumeration) {
                std::optional<OwnedNumber> number = OwnedNumber::Read(value, lexical_ == Lexical::kDecimal);
                if (!number) {
                    return false;
                }
                step.numberEnumeration.push_back(std::move(*number));
            }
        } else {
            return false;
        }
    }
    const std::optional<std::u16string>* bounds[] = {&facets.minInclusive, &facets.maxInclusive,
                                                     &facets.minExclusive, &facets.maxExclusive};
    std::optional<OwnedNumber>* targets[] = {&step.minInclusive, &step.maxInclusive, &step.minExclusive,
                                             &step.maxExclusive};
    for (size_t i = 0; i < 4; ++i) {
        if (!*bounds[i]) {
            continue;
        }
        if (!IsNumber()) {
            return false;
        }
        *targets[i] = OwnedNumber::Read(**bounds[i], lexical_ == Lexical::kDecimal);
        if (!*targets[i]) {
            return false;
        }
    }
    bool lengths = facets.length >= 0 || facets.minLength >= 0 || facets.maxLength >= 0;
    if (lengths && lexical_ != Lexical::kString && lexical_ != Lexical::kHexBinary) {
        return false;
    }
    bool digits = facets.totalDigits >= 0 || facets.fractionDigits >= 0;
    if (digits && !IsNumber()) {
        return false;
    }
    step.length = facets.length;
    step.minLength = facets.minLength;
    step.maxLength = facets.maxLength;
    step.totalDigits = facets.totalDigits;
    step.fractionDigits = facets.fractionDigits;
    steps_.push_back(std::move(step));
    return true;
}

bool AtomicCheck::StepHolds(const Step& step, std::u16string_view value, const NumberView& number,
                            std::string& utf8) const {
    if (!step.patterns.empty()) {
        if (utf8.empty() && !value.empty()) {
            AppendUtf8(value, utf8);
        }
        bool matched = false;
        for (const Regexp& pattern : step.patterns) {
            if (xmlRegexpExec(pattern.get(), reinterpret_cast<const xmlChar*>(utf8.c_str())) == 1) {
                matched = true;
                break;
            }
        }
        if (!matched) {
            return false;
        }
    }
    if (!step.textEnumeration.empty()) {
        bool listed = false;
        for (const std::u16string& allowed : step.textEnumeration) {
            listed = listed || allowed == value;
        }
        if (!listed) {
            return false;
        }
    }
    if (!step.numberEnumeration.empty()) {
        bool listed = false;
        for (const OwnedNumber& allowed : step.numberEnumeration) {
            listed = listed || Compare(number, allowed.View()) == 0;
        }
        if (!listed) {
            return false;
        }
    }
    if ((step.minInclusive && Compare(number, step.minInclusive->View()) < 0) ||
        (step.maxInclusive && Compare(number, step.maxInclusive->View()) > 0) ||
        (step.minExclusive && Compare(number, step.minExclusive->View()) <= 0) ||
        (step.maxExclusive && Compare(number, step.maxExclusive->View()) >= 0)) {
        return false;
    }
    if (step.length >= 0 || step.minLength >= 0 || step.maxLength >= 0) {
        int64_t length =
            static_cast<int64_t>(lexical_ == Lexical::kHexBinary ? value.size() / 2 : value.size());
        if ((step.length >= 0 && length != step.length) || (step.minLength >= 0 && length < step.minLength) ||
            (step.maxLength >= 0 && length > step.maxLength)) {
            return false;
        }
    }
    if (step.totalDigits >= 0 || step.fractionDigits >= 0) {
        int64_t fraction = static_cast<int64_t>(number.fraction.size());
        int64_t total = static_cast<int64_t>(number.whole.size()) + fraction;
        if ((step.totalDigits >= 0 && total > step.totalDigits) ||
            (step.fractionDigits >= 0 && fraction > step.fractionDigits)) {
            return false;
        }
    }
    return true;
}

CompiledVerdict AtomicCheck::Check(std::u16string_view text) const {
    if (!IsJudgeable(text)) {
        return CompiledVerdict::kNotCovered;
    }
    std::u16string buffer;
    std::u16string_view value = Normalized(text, whitespace_, buffer);
    if (value.empty()) {
        return CompiledVerdict::kNotCovered; // libxml2 sees no text node at all, and answers in its own way
    }
    return CheckNormalized(value);
}

// Every value of an answer's numbers comes here: text that is a number as it stands holds no blank and
// nothing unjudgeable, so it is valid at once, as Check and then the guard would find it; other text without
// such characters is invalid, and the rest takes the general way.
CompiledVerdict AtomicCheck::CheckWithFloatingGuard(std::u16string_view text) const {
    if (!PlainFloating()) {
        return Check(text); // AppliesFloatingGuard said no: the caller applies the guard
    }
    if (IsGuardedFloating(text)) {
        return CompiledVerdict::kValid;
    }
    bool plain = !text.empty();
    for (char16_t c : text) {
        plain = plain && c > u' ' && c < 0xD800; // no blank, no control character, no surrogate
    }
    if (plain) {
        return CompiledVerdict::kInvalid;
    }
    if (!IsJudgeable(text)) {
        return CompiledVerdict::kNotCovered;
    }
    std::u16string buffer;
    std::u16string_view value = Normalized(text, whitespace_, buffer);
    if (value.empty()) {
        return CompiledVerdict::kNotCovered;
    }
    CompiledVerdict verdict = CheckNormalized(value);
    return verdict == CompiledVerdict::kValid && !IsFloatingLexical(value) ? CompiledVerdict::kInvalid
                                                                           : verdict;
}

CompiledVerdict AtomicCheck::CheckNormalized(std::u16string_view value) const {
    NumberView number;
    bool lexical = true;
    switch (lexical_) {
    case Lexical::kString:
        break;
    case Lexical::kBoolean:
        lexical = value == u"true" || value == u"false" || value == u"1" || value == u"0";
        break;
    case Lexical::kDecimal:
    case Lexical::kInteger:
        lexical = (sign_ == Sign::kAllowed || (value[0] != u'+' && value[0] != u'-')) &&
                  ReadNumber(value, lexical_ == Lexical::kDecimal, number) &&
                  number.significant <= kMaxSignificantDigits &&
                  (!rangeMin_ || Compare(number, rangeMin_->View()) >= 0) &&
                  (!rangeMax_ || Compare(number, rangeMax_->View()) <= 0);
        break;
    case Lexical::kFloating:
        lexical = IsLibxmlFloating(value);
        break;
    case Lexical::kHexBinary:
        lexical = IsHexBinary(value);
        break;
    }
    if (!lexical) {
        return CompiledVerdict::kInvalid;
    }
    std::string utf8;
    for (const Step& step : steps_) {
        if (!StepHolds(step, value, number, utf8)) {
            return CompiledVerdict::kInvalid;
        }
    }
    return CompiledVerdict::kValid;
}

// A union without facets of its own: valid when a member takes the text.
class UnionCheck final : public CompiledValueCheck {
public:
    explicit UnionCheck(std::vector<std::unique_ptr<const CompiledValueCheck>> members)
        : members_(std::move(members)) {}
    CompiledVerdict Check(std::u16string_view text) const override {
        for (const auto& member : members_) {
            CompiledVerdict verdict = member->Check(text);
            if (verdict != CompiledVerdict::kInvalid) {
                return verdict;
            }
        }
        return CompiledVerdict::kInvalid;
    }

private:
    std::vector<std::unique_ptr<const CompiledValueCheck>> members_;
};

bool HasFacets(const Facets& facets) {
    return !facets.patterns.empty() || !facets.enumeration.empty() || facets.minInclusive ||
           facets.maxInclusive || facets.minExclusive || facets.maxExclusive || facets.length >= 0 ||
           facets.minLength >= 0 || facets.maxLength >= 0 || facets.totalDigits >= 0 ||
           facets.fractionDigits >= 0 || facets.whitespace != SCHEMAWHITESPACE_NONE;
}

std::unique_ptr<const CompiledValueCheck> CompileType(const SchemaItemData& type, int depth) {
    if (depth >= kMaxDerivationDepth) {
        return nullptr;
    }
    if (type.variety == SCHEMATYPEVARIETY_UNION) {
        if (type.IsBuiltIn() || type.itemType != SOMITEM_SIMPLETYPE || type.source == nullptr ||
            type.derivedBy != SCHEMADERIVATIONMETHOD_UNION || HasFacets(type.facets) ||
            type.baseTypes.empty()) {
            return nullptr;
        }
        std::vector<std::unique_ptr<const CompiledValueCheck>> members;
        for (const SchemaItemData* member : type.baseTypes) {
            std::unique_ptr<const CompiledValueCheck> check =
                member != nullptr ? CompileType(*member, depth + 1) : nullptr;
            if (check == nullptr) {
                return nullptr;
            }
            members.push_back(std::move(check));
        }
        return std::make_unique<UnionCheck>(std::move(members));
    }
    if (type.variety != SCHEMATYPEVARIETY_ATOMIC) {
        return nullptr;
    }
    return AtomicCheck::Make(type);
}

} // namespace

std::unique_ptr<const CompiledValueCheck> CompiledValueCheck::Compile(const SchemaItemData& type) {
    return CompileType(type, 0);
}

} // namespace vr::xml::detail
