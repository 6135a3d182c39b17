// The connection's text rules on their own: end characters to send, when a read is done, replay queries.
#include "ConnectionText.h"
#include "platform/visa/visa_status.h"

#include <gtest/gtest.h>

namespace instrel {
namespace {

TEST(EndCharsTest, EscapesAreDecodedAndOtherTextIsKept) {
    EXPECT_EQ(DecodeEndChars(u"\\r\\n"), u"\r\n");
    EXPECT_EQ(DecodeEndChars(u"\\t;"), u"\t;");
    EXPECT_EQ(DecodeEndChars(u"\\\\r"), u"\\r"); // an escaped backslash, then a plain "r"
    EXPECT_EQ(DecodeEndChars(u"\n"), u"\n");
    EXPECT_EQ(DecodeEndChars(u"END\\"), u"END"); // a backslash at the very end is dropped
    EXPECT_EQ(DecodeEndChars(u"\\xyz"), u"xz");  // an unknown escape keeps its character, drops the next
    EXPECT_EQ(DecodeEndChars(u""), u"");
}

constexpr int32_t kEnd = vr::visa::kSuccess;
constexpr int32_t kTermChar = vr::visa::kSuccessTermChar;
constexpr int32_t kAtCount = vr::visa::kSuccessMaxCount;
constexpr int32_t kTimeout = vr::visa::kErrorTimeout;

TEST(ReadDecisionTest, ATerminatorWithCarriageReturnMatchesTheTextWithoutThem) {
    ReadGoal goal = ReadGoal::Of(u"\r\n", -1);
    ReadDecision decision = DecideRead(goal, kTermChar, u"1.25\n", 6);
    EXPECT_EQ(decision.step, ReadStep::Done);
    EXPECT_EQ(decision.status, TerminationString);
}

TEST(ReadDecisionTest, ACarriageReturnOnlyTerminatorIsMetOnTheTerminationCharacter) {
    ReadGoal goal = ReadGoal::Of(u"\r", -1);
    EXPECT_EQ(DecideRead(goal, kTermChar, u"OK", 3).status, TerminationString);
    // An empty line is an answer too.
    EXPECT_EQ(DecideRead(goal, kTermChar, u"", 1).step, ReadStep::Done);
}

TEST(ReadDecisionTest, APrintableTerminatorNeedsTheWholeString) {
    ReadGoal goal = ReadGoal::Of(u"OK>", -1);
    EXPECT_EQ(DecideRead(goal, kTermChar, u"a>", 2).step, ReadStep::ReadOn);
    EXPECT_EQ(DecideRead(goal, kTermChar, u"a>b OK>", 7).status, TerminationString);
    EXPECT_EQ(DecideRead(goal, kTermChar, u"", 0).step, ReadStep::EmptyAtTerm);
}

TEST(ReadDecisionTest, TheCountEndsTheReadAndChunksNeverAskPastIt) {
    ReadGoal goal = ReadGoal::Of(u"\n", 5);
    EXPECT_EQ(goal.NextChunk(0), 5);
    EXPECT_EQ(goal.NextChunk(3), 2);
    EXPECT_EQ(DecideRead(goal, kAtCount, u"abcde", 5).status, MaxCount);
    // Carriage returns count as received characters even though they are left out of the text.
    EXPECT_EQ(DecideRead(goal, kAtCount, u"abcd", 5).status, MaxCount);
    EXPECT_EQ(DecideRead(goal, kTermChar, u"ab>", 3).step, ReadStep::ReadOn);

    ReadGoal noCount = ReadGoal::Of(u"", -1);
    EXPECT_EQ(noCount.NextChunk(5000), 1000);
    EXPECT_EQ(DecideRead(noCount, kAtCount, u"x", 1000).step, ReadStep::ReadOn);
}

TEST(ReadDecisionTest, TimeoutsEndReadsWithoutConditionAndFailTheOthers) {
    EXPECT_EQ(DecideRead(ReadGoal::Of(u"", -1), kTimeout, u"partial", 7).status, ReadTimeout);
    EXPECT_EQ(DecideRead(ReadGoal::Of(u"\n", -1), kTimeout, u"partial", 7).step, ReadStep::Timeout);
    EXPECT_EQ(DecideRead(ReadGoal::Of(u"", 10), kTimeout, u"", 0).step, ReadStep::Timeout);
    EXPECT_EQ(DecideRead(ReadGoal::Of(u"", -1), kEnd, u"x", 1).status, EndIndicator);
    EXPECT_EQ(DecideRead(ReadGoal::Of(u"", -1), vr::visa::kErrorConnectionLost, u"", 0).step,
              ReadStep::OtherFailure);
    EXPECT_EQ(DecideRead(ReadGoal::Of(u"", -1), 0x00040007, u"", 0).step, ReadStep::UnexpectedCode);
}

TEST(CollectedAnswerTest, CarriageReturnsAreLeftOutWhereverTheyStand) {
    // Long enough for the byte search to pass whole blocks; U+0D0D and U+010D hold the byte 13 but are no
    // carriage returns.
    const std::u16string head(100, u'a');
    const std::u16string tail(70, u'b');
    const std::u16string sent = u"\r" + head + u"\r\n\u0D0D\u010D" + tail + u"\r";
    std::u16string buffer;
    CollectedAnswer answer(&buffer);
    EXPECT_EQ(answer.Add(vr::AllocBstr(sent)), sent.size());
    EXPECT_EQ(answer.Text(), head + u"\n\u0D0D\u010D" + tail);
    BSTR text = answer.Detach();
    EXPECT_EQ(vr::BstrView(text), head + u"\n\u0D0D\u010D" + tail);
    SysFreeString(text);
}

TEST(CollectedAnswerTest, OneChunkIsHandedOnAsItCameAndSeveralAreJoined) {
    std::u16string buffer = u"what the last read left";
    {
        CollectedAnswer answer(&buffer);
        BSTR chunk = vr::AllocBstr(u"1.25\n");
        answer.Add(chunk);
        BSTR text = answer.Detach();
        EXPECT_EQ(text, chunk); // not copied
        EXPECT_EQ(vr::BstrView(text), u"1.25\n");
        SysFreeString(text);
    }
    {
        CollectedAnswer answer(&buffer);
        answer.Add(vr::AllocBstr(u"ab"));
        EXPECT_EQ(answer.Add(nullptr), 0u);
        answer.Add(vr::AllocBstr(u"c\rd\n"));
        EXPECT_EQ(std::u16string(answer.TextZ()), u"abcd\n");
        BSTR text = answer.Detach();
        EXPECT_EQ(vr::BstrView(text), u"abcd\n");
        SysFreeString(text);
    }
    // A replayed answer stands as it was recorded, carriage returns and all.
    CollectedAnswer replayed(&buffer);
    replayed.Add(vr::AllocBstr(u"dropped"));
    replayed.Keep(vr::AllocBstr(u"1.25\r\n"));
    EXPECT_EQ(replayed.Text(), u"1.25\r\n");
}

TEST(ReplayQueryTest, CommandsWithQuotesStayValidExpressions) {
    EXPECT_EQ(ReplayQuery(u"*IDN?"), u"[ms:string-compare(in, '*IDN?', '', 'i') = 0]");
    EXPECT_EQ(ReplayQuery(u"SYST:ERR? 'x'"), u"[ms:string-compare(in, \"SYST:ERR? 'x'\", '', 'i') = 0]");
    EXPECT_EQ(ReplayRecordId(u"record"), u"*");
    EXPECT_EQ(ReplayRecordId(u"Record"), u"Record");
}

TEST(ReplayQueryTest, CarriageReturnsCompareAsTheLineFeedsTheLogFileReadsBack) {
    EXPECT_EQ(ReplayQuery(u"VOLT1?\r\n"), u"[ms:string-compare(in, 'VOLT1?\n', '', 'i') = 0]");
    EXPECT_EQ(ReplayQuery(u"A\rB\r"), u"[ms:string-compare(in, 'A\nB\n', '', 'i') = 0]");
    // A command the log file keeps in hexadecimal keeps its carriage returns there.
    EXPECT_EQ(ReplayQuery(u"A\x1B\r\n"), u"[in = 'HexData: 41 1B 0D 0A']");
}

} // namespace
} // namespace instrel
