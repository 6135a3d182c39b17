// Reading Find criteria and checking values against them.
#include "platform/ado/find_criteria.h"

#include "platform/ado/ado_errors.h"
#include "platform/base/numbers.h"
#include "platform/base/text.h"

namespace vr::ado {
namespace {

using Operator = FindCriterion::Operator;

[[noreturn]] void RaiseBadCriteria(std::u16string_view criteria) {
    RaiseError(adErrInvalidArgument, u"Find cannot read the criteria '" + std::u16string(criteria) + u"'.");
}

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t';
}

void SkipBlanks(std::u16string_view text, size_t& pos) {
    while (pos < text.size() && IsBlank(text[pos])) {
        ++pos;
    }
}

std::u16string ReadColumn(std::u16string_view text, size_t& pos) {
    if (pos < text.size() && text[pos] == u'[') {
        size_t close = text.find(u']', pos);
        if (close == std::u16string_view::npos) {
            return {};
        }
        std::u16string name(text.substr(pos + 1, close - pos - 1));
        pos = close + 1;
        return name;
    }
    size_t end = text.find_first_of(u" \t<>=", pos);
    end = end == std::u16string_view::npos ? text.size() : end;
    std::u16string name(text.substr(pos, end - pos));
    pos = end;
    return name;
}

std::optional<Operator> ReadOperator(std::u16string_view text, size_t& pos) {
    static constexpr std::pair<std::u16string_view, Operator> kSymbols[] = {
        {u"<=", Operator::LessOrEqual}, {u">=", Operator::GreaterOrEqual},
        {u"<>", Operator::NotEqual},    {u"=", Operator::Equal},
        {u"<", Operator::Less},         {u">", Operator::Greater},
    };
    std::u16string_view rest = text.substr(pos);
    for (const auto& [symbol, op] : kSymbols) {
        if (rest.starts_with(symbol)) {
            pos += symbol.size();
            return op;
        }
    }
    if (rest.size() > 4 && EqualsNoCase(rest.substr(0, 4), u"LIKE") &&
        (IsBlank(rest[4]) || rest[4] == u'\'')) {
        pos += 4;
        return Operator::Like;
    }
    return std::nullopt;
}

// A 'quoted' or #dated# value; false when it is not closed.
bool ReadDelimited(std::u16string_view text, size_t& pos, std::u16string& value) {
    char16_t delimiter = text[pos++];
    while (pos < text.size()) {
        char16_t c = text[pos++];
        if (c != delimiter) {
            value += c;
        } else if (delimiter == u'\'' && pos < text.size() && text[pos] == u'\'') {
            value += c;
            ++pos;
        } else {
            return true;
        }
    }
    return false;
}

std::optional<double> WholeNumber(const std::u16string& text) {
    const OLECHAR* end = nullptr;
    double value = Wcstod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size()) {
        return std::nullopt;
    }
    return value;
}

template <class T>
bool Compare(Operator op, const T& left, const T& right) {
    switch (op) {
    case Operator::Equal:
        return left == right;
    case Operator::NotEqual:
        return left != right;
    case Operator::Less:
        return left < right;
    case Operator::Greater:
        return left > right;
    case Operator::LessOrEqual:
        return left <= right;
    case Operator::GreaterOrEqual:
        return left >= right;
    case Operator::Like:
        return false;
    }
    return false;
}

// '*' and '%' stand for any run of characters; letters match without regard to case.
bool MatchesPattern(std::u16string_view text, std::u16string_view pattern) {
    size_t t = 0;
    size_t p = 0;
    size_t starAt = std::u16string_view::npos;
    size_t starText = 0;
    while (t < text.size()) {
        if (p < pattern.size() && (pattern[p] == u'*' || pattern[p] == u'%')) {
            starAt = p++;
            starText = t;
        } else if (p < pattern.size() && FoldCase(pattern[p]) == FoldCase(text[t])) {
            ++p;
            ++t;
        } else if (starAt != std::u16string_view::npos) {
            p = starAt + 1;
            t = ++starText;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && (pattern[p] == u'*' || pattern[p] == u'%')) {
        ++p;
    }
    return p == pattern.size();
}

} // namespace

FindCriterion ParseFindCriterion(std::u16string_view criteria) {
    FindCriterion criterion;
    size_t pos = 0;
    SkipBlanks(criteria, pos);
    criterion.column = ReadColumn(criteria, pos);
    SkipBlanks(criteria, pos);
    std::optional<Operator> op = ReadOperator(criteria, pos);
    SkipBlanks(criteria, pos);
    if (criterion.column.empty() || !op || pos >= criteria.size()) {
        RaiseBadCriteria(criteria);
    }
    criterion.op = *op;
    if (criteria[pos] == u'\'' || criteria[pos] == u'#') {
        if (!ReadDelimited(criteria, pos, criterion.text)) {
            RaiseBadCriteria(criteria);
        }
        SkipBlanks(criteria, pos);
        if (pos != criteria.size()) {
            RaiseBadCriteria(criteria);
        }
    } else {
        size_t end = criteria.find_last_not_of(u" \t");
        criterion.text = criteria.substr(pos, end + 1 - pos);
        if (!WholeNumber(criterion.text)) {
            RaiseBadCriteria(criteria);
        }
    }
    criterion.number = WholeNumber(criterion.text);
    return criterion;
}

bool Meets(const FindCriterion& criterion, const odbc::Cell& value) {
    using Kind = odbc::Cell::Kind;
    switch (value.kind) {
    case Kind::Null:
        return false;
    case Kind::Integer:
    case Kind::BigInteger:
        return criterion.number &&
               Compare(criterion.op, static_cast<double>(value.integer), *criterion.number);
    case Kind::Real:
        return criterion.number && Compare(criterion.op, value.real, *criterion.number);
    case Kind::Text:
        if (criterion.op == Operator::Like) {
            return MatchesPattern(value.text, criterion.text);
        }
        return Compare(criterion.op, CompareNoCase(value.text, criterion.text), 0);
    }
    return false;
}

} // namespace vr::ado
