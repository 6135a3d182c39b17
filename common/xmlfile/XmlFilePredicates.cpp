// Reading the attribute predicates of a leaf step that is about to be created.
#include "common/xmlfile/XmlFileInternal.h"

namespace vrcommon::xmlfile {

namespace {

constexpr std::u16string_view::size_type kNone = std::u16string_view::npos;

std::u16string_view::size_type SkipBlanks(std::u16string_view text, std::u16string_view::size_type pos) {
    while (pos < text.size() && text[pos] == u' ') {
        ++pos;
    }
    return pos;
}

bool At(std::u16string_view text, std::u16string_view::size_type pos, char16_t wanted) {
    return pos < text.size() && text[pos] == wanted;
}

// Reads the predicate whose "[" stands at open; on success stores it and moves pos past its value.
bool ReadPredicate(std::u16string_view text, std::u16string_view::size_type open,
                   std::u16string_view::size_type* pos, PredicateAttribute* attribute) {
    std::u16string_view::size_type at = open + 1;
    if (!At(text, at, u'@')) {
        return false;
    }
    std::u16string_view::size_type nameEnd = text.find_first_of(u" =]", at + 1);
    if (nameEnd == kNone || nameEnd == at + 1) {
        return false;
    }
    // The "=" must belong to this predicate and the value must follow it directly: a quote found further on
    // would take the value of another predicate.
    std::u16string_view::size_type equals = SkipBlanks(text, nameEnd);
    if (!At(text, equals, u'=')) {
        return false;
    }
    std::u16string_view::size_type quote = SkipBlanks(text, equals + 1);
    if (!At(text, quote, u'\'')) {
        return false;
    }
    std::u16string_view::size_type closing = text.find(u'\'', quote + 1);
    if (closing == kNone) {
        return false;
    }
    attribute->name = text.substr(at + 1, nameEnd - at - 1);
    attribute->value = text.substr(quote + 1, closing - quote - 1);
    *pos = closing + 1;
    return true;
}

} // namespace

PredicateScan ScanPredicates(std::u16string_view predicates) {
    PredicateScan scan;
    std::u16string_view::size_type pos = 0;
    for (std::u16string_view::size_type open = predicates.find(u'[', pos); open != kNone;
         open = predicates.find(u'[', pos)) {
        PredicateAttribute attribute;
        if (!ReadPredicate(predicates, open, &pos, &attribute)) {
            scan.valid = false;
            break;
        }
        scan.attributes.push_back(std::move(attribute));
    }
    return scan;
}

} // namespace vrcommon::xmlfile
