// How a message sample is shown: visible blanks and line ends, position mapping and token looks.
#include "VrDev/Ostrel/editors/MsgDisplay.h"

#include "VrDev/Ostrel/model/MsgTypeDef.h"
#include "VrDev/Ostrel/model/MsgTypeDefText.h"
#include "common/trace/Trace.h"

namespace ostrel {

namespace {

constexpr char kNotSign = '\xAC';
constexpr char kPilcrow = '\xB6';
constexpr char kMiddleDot = '\xB7';

// A shown position where a pilcrow stands: the one shown character without a sample character.
bool IsPilcrowAt(std::string_view displayText, size_t at) {
    return displayText[at] == kPilcrow && at + 1 < displayText.size() && displayText[at + 1] == '\n';
}

} // namespace

std::string DisplayTextOf(std::string_view sample) {
    std::string shown;
    shown.reserve(sample.size() + sample.size() / 8);
    for (char c : sample) {
        switch (c) {
        case '\r':
            shown += kNotSign;
            break;
        case '\n':
            shown += kPilcrow;
            shown += '\n';
            break;
        case ' ':
            shown += kMiddleDot;
            break;
        default:
            shown += c;
        }
    }
    return shown;
}

void MapPositions(std::string_view displayText, int* begin, int* end, MapDirection direction) {
    const int givenBegin = *begin;
    const int givenEnd = *end;
    for (size_t at = 0; at < displayText.size(); ++at) {
        if (!IsPilcrowAt(displayText, at)) {
            continue;
        }
        const int p = static_cast<int>(at);
        if (direction == MapDirection::ToDisplay) {
            // Compared with the positions adjusted so far: each pilcrow before them pushes them on.
            if (givenBegin >= 0 && p < *begin) {
                ++*begin;
            }
            if (givenEnd >= 0 && p < *end) {
                ++*end;
            }
        } else {
            if (givenBegin >= 0 && p < givenBegin) {
                --*begin;
            }
            if (givenEnd >= 0 && p < givenEnd) {
                --*end;
            }
        }
        ++at; // the line feed belongs to the pilcrow
    }
}

std::vector<TokenSpan> TokenSpansOf(const CMsgTypeDef& definition, std::string_view displayText) {
    std::vector<TokenSpan> spans;
    const std::vector<MtdElement>& records = definition.Elements();
    for (size_t i = 0; i < records.size(); ++i) {
        const MtdElement& record = records[i];
        if (record.nPosBegin < 0 || record.nPosEnd < 0 || record.kind == MtdKind::SequenceEnd) {
            continue;
        }
        TokenSpan span{TokenLook::Key, record.nPosBegin, record.nPosEnd};
        if (record.kind == MtdKind::SequenceBegin) {
            size_t groupEnd = CMsgTypeDef::kNoRecord;
            if (!definition.FindSequenceEnd(i, &groupEnd) || records[groupEnd].nPosEnd < 0) {
                continue; // a group not placed by the last parse has nothing to draw
            }
            span = {TokenLook::Group, record.nPosBegin, records[groupEnd].nPosEnd};
        } else {
            std::optional<std::u16string> name = ItemOf(record.ExtAttributes, u"name");
            if (!name) {
                std::u16string type = ItemOf(record.ExtAttributes, u"type").value_or(u"");
                TraceError(u"WARNING: Unknown 'type' = '%s' to set outlook of the characters in the "
                           u"MsgTextWindow; bstrExtAttributes = '%s'.",
                           type.c_str(), record.ExtAttributes.c_str());
                continue;
            }
            span.look = !name->empty() && name->front() == u'_' ? TokenLook::Key : TokenLook::Value;
        }
        MapPositions(displayText, &span.begin, &span.end, MapDirection::ToDisplay);
        spans.push_back(span);
    }
    return spans;
}

} // namespace ostrel
