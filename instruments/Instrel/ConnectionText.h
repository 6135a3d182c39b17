// The connection's text rules, free of any session: end characters to send, when a read is done, and the
// replay query.
#pragma once

#include "instrel.h"
#include "platform/com/bstr.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace instrel {

// The end characters as configured ("\r\n" written as backslash escapes) turned into the characters sent:
// \r, \n, \t and \\ are decoded; another character after a backslash is copied and the one after it dropped;
// a backslash at the very end is dropped.
std::u16string DecodeEndChars(std::u16string_view configured);

// The text with every carriage return left out.
std::u16string WithoutCarriageReturns(std::u16string_view text);
// Appends text to *collected without its carriage returns; *collected grows by doubling, so a long answer
// read in many chunks is copied a bounded number of times.
void AppendWithoutCarriageReturns(std::u16string_view text, std::u16string* collected);

// What ends one ReadString. Carriage returns never reach the collected text, so the terminator is compared
// without them; a terminator of carriage returns only is met when a chunk ended on the termination
// character.
struct ReadGoal {
    // The chunk asked for when the read has no count.
    static constexpr int32_t kChunk = 1000;

    std::u16string terminator; // without carriage returns
    bool hasTerminator = false;
    bool carriageReturnsOnly = false;
    int32_t count = -1; // positive: the most characters the instrument may send for this read
    int32_t chunkWithoutCount = kChunk;

    static ReadGoal Of(std::u16string_view term, int32_t count);
    bool HasCount() const { return count > 0; }
    // The chunk size to ask for after received characters: never past the count.
    int32_t NextChunk(size_t received) const;
};

// The text one read collects, carriage returns left out. The first chunk stays the BSTR the session gave
// while it holds no carriage return, so an answer that comes in one chunk is handed on without a copy; a
// second chunk, or a carriage return, moves the text into the owner's buffer, which keeps its memory from
// read to read. Threads: the owner's, one at a time.
class CollectedAnswer {
public:
    // buffer: cleared here; the owner keeps it between reads.
    explicit CollectedAnswer(std::u16string* buffer);
    ~CollectedAnswer();
    CollectedAnswer(const CollectedAnswer&) = delete;
    CollectedAnswer& operator=(const CollectedAnswer&) = delete;

    // Takes over one chunk as the session gave it (null is empty); returns its length, carriage returns
    // included.
    size_t Add(BSTR chunk);
    // Takes over a whole answer as it stands, carriage returns and all (a replayed one).
    void Keep(BSTR whole);
    std::u16string_view Text() const;
    // Text() with its terminating zero, for "%s".
    const OLECHAR* TextZ() const;
    // The text as a BSTR for the caller (null when out of memory); this object is empty afterwards.
    BSTR Detach();

private:
    void Reset();

    std::u16string* buffer_; // the owner's; holds the text once inBuffer_
    BSTR single_ = nullptr;  // the only chunk so far, without carriage returns
    bool inBuffer_ = false;
};

// How one chunk's status decides the read.
enum class ReadStep {
    ReadOn,
    Done,           // with the status in ReadDecision::status
    EmptyAtTerm,    // a termination character without any data
    Timeout,        // the timeout struck while an end condition was set
    OtherFailure,   // VISA reported another failure
    UnexpectedCode, // a success code the connection does not know
};

struct ReadDecision {
    ReadStep step = ReadStep::ReadOn;
    VrReadStatus status = UnknownReason;
};

// chunkStatus: the session's code for the chunk just read; collected: all text so far, carriage returns
// left out; received: the characters the instrument sent for this read, carriage returns included.
ReadDecision DecideRead(const ReadGoal& goal, int32_t chunkStatus, std::u16string_view collected,
                        size_t received);

// "EndIndicator", "MaxCount", "TerminationString", "ReadTimeout" or "WARNING: Unknown Reason".
const char16_t* ReadStatusWord(VrReadStatus status);

// The XPath predicate that selects the records whose "in" equals the command without regard to case; the
// command is quoted so that apostrophes and double quotes in it keep the expression valid. A command that
// the log file keeps in hexadecimal (control characters, "]]>", characters beyond ISO-8859-1) is matched
// in that form, and so in its exact letter case.
std::u16string ReplayQuery(std::u16string_view command);

// The record element to look up: "*" for the default id "record", so that records of any name match.
std::u16string ReplayRecordId(std::u16string_view recordId);

} // namespace instrel
