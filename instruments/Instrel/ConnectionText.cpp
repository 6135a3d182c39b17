// The connection's text rules: end characters, read decisions, replay queries.
#include "ConnectionText.h"

#include <algorithm>
#include <cstring>

#include "jotwell.h"
#include "platform/visa/visa_status.h"

namespace instrel {

std::u16string DecodeEndChars(std::u16string_view configured) {
    if (configured.find(u'\\') == std::u16string_view::npos) {
        return std::u16string(configured);
    }
    std::u16string decoded;
    for (size_t i = 0; i < configured.size(); ++i) {
        if (configured[i] != u'\\') {
            decoded += configured[i];
            continue;
        }
        if (i + 1 == configured.size()) {
            break; // a backslash at the very end is dropped
        }
        char16_t next = configured[++i];
        switch (next) {
        case u'r':
            decoded += u'\r';
            break;
        case u'n':
            decoded += u'\n';
            break;
        case u't':
            decoded += u'\t';
            break;
        case u'\\':
            decoded += u'\\';
            break;
        default:
            // An unknown escape keeps its character and drops the one after it.
            decoded += next;
            ++i;
            break;
        }
    }
    return decoded;
}

std::u16string WithoutCarriageReturns(std::u16string_view text) {
    std::u16string result;
    result.reserve(text.size());
    for (char16_t c : text) {
        if (c != u'\r') {
            result += c;
        }
    }
    return result;
}

namespace {

// Where the first carriage return at or after `from` stands; text.size() when there is none. Most answers
// have none: the C library's byte search (vectorised) looks for the byte 13 through the whole text, and each
// hit is checked for being a carriage return unit, in either byte order.
size_t FindCarriageReturn(std::u16string_view text, size_t from) {
    const char* begin = reinterpret_cast<const char*>(text.data());
    const char* end = begin + text.size() * sizeof(char16_t);
    const char* at = begin + from * sizeof(char16_t);
    while (at < end) {
        const void* hit = std::memchr(at, '\r', static_cast<size_t>(end - at));
        if (hit == nullptr) {
            break;
        }
        const size_t unit = static_cast<size_t>(static_cast<const char*>(hit) - begin) / sizeof(char16_t);
        if (text[unit] == u'\r') {
            return unit;
        }
        at = static_cast<const char*>(hit) + 1;
    }
    return text.size();
}

} // namespace

void AppendWithoutCarriageReturns(std::u16string_view text, std::u16string* collected) {
    if (collected->capacity() - collected->size() < text.size()) {
        collected->reserve(std::max(2 * collected->capacity(), collected->size() + text.size()));
    }
    // Whole runs between carriage returns at a time.
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = FindCarriageReturn(text, start);
        collected->append(text.data() + start, end - start);
        start = end + 1;
    }
}

CollectedAnswer::CollectedAnswer(std::u16string* buffer) : buffer_(buffer) {
    buffer_->clear();
}

CollectedAnswer::~CollectedAnswer() {
    SysFreeString(single_);
}

void CollectedAnswer::Reset() {
    SysFreeString(single_);
    single_ = nullptr;
    inBuffer_ = false;
    buffer_->clear();
}

size_t CollectedAnswer::Add(BSTR chunk) {
    const std::u16string_view text = vr::BstrView(chunk);
    const size_t length = text.size();
    if (!inBuffer_ && single_ == nullptr && FindCarriageReturn(text, 0) == length) {
        single_ = chunk;
        return length;
    }
    if (!inBuffer_) {
        buffer_->assign(vr::BstrView(single_));
        SysFreeString(single_);
        single_ = nullptr;
        inBuffer_ = true;
    }
    AppendWithoutCarriageReturns(text, buffer_);
    SysFreeString(chunk);
    return length;
}

void CollectedAnswer::Keep(BSTR whole) {
    Reset();
    single_ = whole;
}

std::u16string_view CollectedAnswer::Text() const {
    return inBuffer_ ? std::u16string_view(*buffer_) : vr::BstrView(single_);
}

const OLECHAR* CollectedAnswer::TextZ() const {
    if (inBuffer_) {
        return buffer_->c_str();
    }
    return single_ ? single_ : u"";
}

BSTR CollectedAnswer::Detach() {
    BSTR text = inBuffer_ || single_ == nullptr ? vr::AllocBstr(Text()) : single_;
    if (text == single_) {
        single_ = nullptr;
    }
    Reset();
    return text;
}

ReadGoal ReadGoal::Of(std::u16string_view term, int32_t count) {
    ReadGoal goal;
    goal.hasTerminator = !term.empty();
    goal.terminator = WithoutCarriageReturns(term);
    goal.carriageReturnsOnly = goal.hasTerminator && goal.terminator.empty();
    goal.count = count;
    return goal;
}

int32_t ReadGoal::NextChunk(size_t received) const {
    if (!HasCount()) {
        return chunkWithoutCount;
    }
    return received >= static_cast<size_t>(count) ? 0 : count - static_cast<int32_t>(received);
}

namespace {

bool EndsWith(std::u16string_view text, std::u16string_view tail) {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

ReadDecision Done(VrReadStatus status) {
    return {ReadStep::Done, status};
}

ReadDecision AtCountOrOn(const ReadGoal& goal, size_t received) {
    if (goal.HasCount() && received >= static_cast<size_t>(goal.count)) {
        return Done(MaxCount);
    }
    return {};
}

ReadDecision AtTerminationCharacter(const ReadGoal& goal, std::u16string_view collected, size_t received) {
    if (goal.carriageReturnsOnly) {
        return Done(TerminationString);
    }
    if (collected.empty()) {
        return {ReadStep::EmptyAtTerm, UnknownReason};
    }
    if (EndsWith(collected, goal.terminator)) {
        return Done(TerminationString);
    }
    // The character matched but the string did not (yet).
    return AtCountOrOn(goal, received);
}

} // namespace

ReadDecision DecideRead(const ReadGoal& goal, int32_t chunkStatus, std::u16string_view collected,
                        size_t received) {
    switch (chunkStatus) {
    case vr::visa::kSuccess:
        return Done(EndIndicator);
    case vr::visa::kSuccessTermChar:
        return AtTerminationCharacter(goal, collected, received);
    case vr::visa::kSuccessMaxCount:
        return AtCountOrOn(goal, received);
    case vr::visa::kErrorTimeout:
        if (!goal.hasTerminator && !goal.HasCount()) {
            return Done(ReadTimeout); // no end condition: what came within the timeout is the answer
        }
        return {ReadStep::Timeout, UnknownReason};
    default:
        return {chunkStatus < 0 ? ReadStep::OtherFailure : ReadStep::UnexpectedCode, UnknownReason};
    }
}

const char16_t* ReadStatusWord(VrReadStatus status) {
    switch (status) {
    case EndIndicator:
        return u"EndIndicator";
    case MaxCount:
        return u"MaxCount";
    case TerminationString:
        return u"TerminationString";
    case ReadTimeout:
        return u"ReadTimeout";
    default:
        return u"WARNING: Unknown Reason";
    }
}

std::u16string ReplayQuery(std::u16string_view command) {
    command = LogFieldData(command); // what the log file kept of it
    if (IsKeptAsLogHexData(command)) {
        // Kept in hexadecimal, every code unit as it was: compared as that text, exactly.
        return u"[in = " + XPathStringLiteral(LogHexDataText(command)) + u"]";
    }
    // The log file's parser reads a recorded CR LF or lone CR back as LF: the command is compared the same
    // way, or a command with a carriage return (an adapter's CR LF end) would never find its record.
    std::u16string normalized;
    for (size_t i = 0; i < command.size(); ++i) {
        if (command[i] != u'\r') {
            normalized += command[i];
        } else if (i + 1 >= command.size() || command[i + 1] != u'\n') {
            normalized += u'\n';
        }
    }
    return u"[ms:string-compare(in, " + XPathStringLiteral(normalized) + u", '', 'i') = 0]";
}

std::u16string ReplayRecordId(std::u16string_view recordId) {
    return recordId == u"record" ? u"*" : std::u16string(recordId);
}

} // namespace instrel
