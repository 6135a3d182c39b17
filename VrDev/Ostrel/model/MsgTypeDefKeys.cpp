// The message definition's proposals while tokens are marked: where a token or group may go, free names,
// the terminator, and the constant keys before and after a selected value.
#include "VrDev/Ostrel/model/MsgTypeDef.h"

#include "VrDev/Ostrel/model/MsgTypeDefText.h"
#include "platform/base/format.h"

#include <algorithm>

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsLineEnd(char c) {
    return c == '\n' || c == '\r';
}

// How often what occurs in text, overlapping occurrences counted.
int Occurrences(std::string_view text, std::string_view what) {
    int count = 0;
    for (size_t at = text.find(what); at != std::string_view::npos; at = text.find(what, at + 1)) {
        ++count;
    }
    return count;
}

} // namespace

bool CMsgTypeDef::CanAddElement(int b, int e) const {
    return std::none_of(elements_.begin(), elements_.end(), [b, e](const MtdElement& item) {
        const int B = item.nPosBegin;
        const int E = item.nPosEnd;
        // A span around a whole token would overlap it as surely as one that cuts into it.
        return item.kind == MtdKind::SchemaElement &&
               (b == B || (B < b && b < E) || (B < e && e <= E) || (b < B && e > E));
    });
}

bool CMsgTypeDef::CanAddSequence(int b, int e) const {
    size_t ignored = kNoRecord;
    if (!FindElement(b, -1, &ignored, MtdKind::SchemaElement) ||
        !FindElement(-1, e, &ignored, MtdKind::SchemaElement)) {
        return false;
    }
    return std::none_of(elements_.begin(), elements_.end(), [b](const MtdElement& item) {
        return item.kind == MtdKind::SequenceBegin &&
               (b == item.nPosBegin || (item.nPosBegin < b && b < item.nPosEnd));
    });
}

std::u16string CMsgTypeDef::GetFreeName(std::u16string_view prefix) const {
    const std::u16string stem(prefix);
    for (int n = 1;; ++n) {
        std::u16string name = vr::FormatWString(u"%s%d", stem.c_str(), n);
        if (!ElementExists(name)) {
            return name;
        }
    }
}

void CMsgTypeDef::AddTermString(std::string_view term) {
    if (sample_.empty() || !elements_.empty()) {
        return;
    }
    const std::string_view sample(sample_);
    size_t start = std::string::npos;
    if (!term.empty() && sample.ends_with(term)) {
        start = sample.size() - term.size();
    } else {
        for (size_t i = sample.size(); i-- > 0;) {
            if (IsDigit(sample[i])) {
                break;
            }
            if (Occurrences(sample, sample.substr(i)) == 1) {
                start = i;
                break;
            }
        }
    }
    if (start == std::string::npos) {
        return;
    }
    std::u16string description = u"type=string";
    (void)ostrel::AppendItem(description, u"name", u"_strTermString"); // a plain name
    if (!ostrel::AppendItem(description, u"fixed", ostrel::Wide(sample.substr(start)))) {
        return; // a tail holding all four quote characters cannot be described: no terminator then
    }
    AddElement(static_cast<int>(start), static_cast<int>(sample.size()), description);
}

// The sample without the text of the tokens that lie inside it (not at its very start or end).
std::string CMsgTypeDef::WorkingCopy() const {
    std::string copy = sample_;
    const int length = static_cast<int>(sample_.size());
    for (auto item = elements_.rbegin(); item != elements_.rend(); ++item) {
        if (item->kind == MtdKind::SchemaElement && item->nPosBegin > 0 && item->nPosEnd < length &&
            item->nPosBegin < item->nPosEnd) {
            copy.erase(static_cast<size_t>(item->nPosBegin),
                       static_cast<size_t>(item->nPosEnd - item->nPosBegin));
        }
    }
    return copy;
}

bool CMsgTypeDef::FindPostfixKey(int* b, int* e, bool skipBlanks) const {
    const int length = static_cast<int>(sample_.size());
    size_t ignored = kNoRecord;
    if (*b < 0 || *b > length) {
        return false;
    }
    if (*b == length || FindElement(*b, -1, &ignored, MtdKind::SchemaElement)) {
        *b = *e = 0;
        return true;
    }
    const std::string copy = WorkingCopy();
    const std::string_view sample(sample_);
    if (skipBlanks) {
        while (*b < length && sample[static_cast<size_t>(*b)] == ' ') {
            ++*b;
        }
    }
    const int from = *b;
    for (int i = from + 1; i < length; ++i) {
        if (i < length - 1 && IsLetter(sample[static_cast<size_t>(i - 1)]) &&
            IsLetter(sample[static_cast<size_t>(i)])) {
            continue; // never cut a word
        }
        if (IsDigit(sample[static_cast<size_t>(i - 1)])) {
            return false; // a key holds no digit: this is still the value
        }
        std::string_view candidate = sample.substr(static_cast<size_t>(from), static_cast<size_t>(i - from));
        if (skipBlanks) {
            candidate = candidate.substr(0, candidate.find_last_not_of(' ') + 1);
            if (candidate.empty()) {
                continue;
            }
        }
        if (IsLineEnd(candidate.back()) || Occurrences(copy, candidate) == 1) {
            *e = i;
            return from < length && from != *e;
        }
    }
    return false;
}

bool CMsgTypeDef::FindPrefixKey(int* b, int* e, bool skipBlanks) const {
    const int length = static_cast<int>(sample_.size());
    size_t ignored = kNoRecord;
    if (*e < 0) {
        return false;
    }
    // A selection past the end of the sample (a stale position) is taken from the end.
    *e = std::min(*e, length);
    if (*e == 0 || FindElement(-1, *e, &ignored, MtdKind::SchemaElement)) {
        *b = *e = 0;
        return true;
    }
    const std::string copy = WorkingCopy();
    const std::string_view sample(sample_);
    if (skipBlanks) {
        while (*e > 0 && sample[static_cast<size_t>(*e - 1)] == ' ') {
            --*e;
        }
    }
    const int to = *e;
    for (int j = to - 1; j >= 0; --j) {
        const size_t at = static_cast<size_t>(j);
        if (j > 0 && IsLetter(sample[at - 1]) && IsLetter(sample[at])) {
            continue; // never cut a word
        }
        if (IsDigit(sample[at])) {
            const bool hexPrefix = sample[at] == '0' && at + 1 < sample.size() && sample[at + 1] == 'x';
            if (j == to - 1 || !hexPrefix) {
                return false;
            }
        }
        std::string_view candidate = sample.substr(at, static_cast<size_t>(to - j));
        if (skipBlanks) {
            size_t first = candidate.find_first_not_of(' ');
            candidate = first == std::string_view::npos ? std::string_view() : candidate.substr(first);
            if (candidate.empty()) {
                continue;
            }
        }
        if ((j > 0 && IsLineEnd(sample[at - 1])) || Occurrences(copy, candidate) == 1) {
            *b = j;
            return to != 0 && *b != to;
        }
    }
    return false;
}
