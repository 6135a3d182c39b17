// The telnet engine against a scripted session: receive states, negotiation replies, terminal types, ANSI
// sequences and the end conditions of a pump.
#include "TelnetEngine.h"
#include "fake_message.h"

#include <gtest/gtest.h>

namespace wirelotest {
namespace {

using namespace wirelo::telnet;
using wirelo::CTelnetEngine;

std::string Bytes(std::initializer_list<int> values) {
    std::string bytes;
    for (int value : values) {
        bytes.push_back(static_cast<char>(value));
    }
    return bytes;
}

std::string Latin1(const std::u16string& text) {
    std::string bytes;
    for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c));
    }
    return bytes;
}

class TelnetEngineTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(vr::ComObject<FakeMessage>::Create(&session_), S_OK); }

    // Lets bytes arrive and pumps once with no end condition; the replies the engine wrote.
    std::string Receive(const std::string& bytes) {
        session_->Arrive(bytes);
        engine_.SetEndConditions(-1, 0, false);
        EXPECT_EQ(engine_.Pump(session_.Get()), vr::visa::kErrorTimeout);
        return session_->TakeWritten();
    }

    vr::ComObjectPtr<FakeMessage> session_;
    CTelnetEngine engine_;
};

TEST_F(TelnetEngineTest, EscapedIacIsOneDataByteAndOtherCommandsCarryNoText) {
    EXPECT_EQ(Receive("a" + Bytes({kIAC, kIAC}) + "b" + Bytes({kIAC, kNOP}) + "c" + Bytes({kIAC, 10}) + "d"),
              "");
    EXPECT_EQ(engine_.Result(), u"a\u00FFbcd");
    // NVT data drops NUL bytes (the CR NUL of the protocol).
    EXPECT_EQ(Receive(Bytes({'\r', 0, 'e'})), "");
    EXPECT_EQ(engine_.Result(), u"a\u00FFbcd\re");
}

TEST_F(TelnetEngineTest, CommandSplitAcrossPumpsIsCompletedByTheNextPump) {
    EXPECT_EQ(Receive(Bytes({kIAC})), "");
    EXPECT_EQ(Receive(Bytes({kDO})), "");
    EXPECT_EQ(Receive(Bytes({kTerminalType})), Bytes({kIAC, kWILL, kTerminalType}));
    EXPECT_EQ(engine_.Result(), u"");
}

TEST_F(TelnetEngineTest, UnknownOptionsAreRefusedAndTheirWithdrawalsNotAnswered) {
    EXPECT_EQ(Receive(Bytes({kIAC, kDO, 5})), Bytes({kIAC, kWONT, 5}));
    EXPECT_EQ(Receive(Bytes({kIAC, kWILL, 37})), Bytes({kIAC, kDONT, 37}));
    EXPECT_EQ(Receive(Bytes({kIAC, kDONT, 5, kIAC, kWONT, 37})), "");
}

TEST_F(TelnetEngineTest, EchoIsAcceptedOnlyWhenItChangesState) {
    EXPECT_EQ(Receive(Bytes({kIAC, kWILL, kEcho})), "");
    EXPECT_EQ(Receive(Bytes({kIAC, kWONT, kEcho})), Bytes({kIAC, kDONT, kEcho}));
    EXPECT_EQ(Receive(Bytes({kIAC, kWONT, kEcho})), "");
    EXPECT_EQ(Receive(Bytes({kIAC, kWILL, kEcho})), Bytes({kIAC, kDO, kEcho}));
    EXPECT_EQ(Receive(Bytes({kIAC, kDO, kEcho})), Bytes({kIAC, kWONT, kEcho}));
    EXPECT_EQ(Receive(Bytes({kIAC, kDONT, kEcho})), Bytes({kIAC, kWONT, kEcho}));
}

TEST_F(TelnetEngineTest, SuppressGoAheadNegotiation) {
    // Not marked off at start: a WILL or DO needs no answer, a DONT gets WONT.
    EXPECT_EQ(Receive(Bytes({kIAC, kWILL, kSuppressGoAhead, kIAC, kDO, kSuppressGoAhead})), "");
    EXPECT_EQ(Receive(Bytes({kIAC, kDONT, kSuppressGoAhead})), Bytes({kIAC, kWONT, kSuppressGoAhead}));
    EXPECT_EQ(Receive(Bytes({kIAC, kWONT, kSuppressGoAhead})),
              Bytes({kIAC, kDONT, kSuppressGoAhead, kIAC, kWONT, kSuppressGoAhead}));
    EXPECT_EQ(Receive(Bytes({kIAC, kWONT, kSuppressGoAhead, kIAC, kDONT, kSuppressGoAhead})), "");
    // Marked off: DO asks for it again and is answered WILL.
    EXPECT_EQ(Receive(Bytes({kIAC, kDO, kSuppressGoAhead})), Bytes({kIAC, kWILL, kSuppressGoAhead}));
    EXPECT_EQ(Receive(Bytes({kIAC, kWILL, kSuppressGoAhead})),
              Bytes({kIAC, kDO, kSuppressGoAhead, kIAC, kWILL, kSuppressGoAhead, kIAC, kDO, kEcho}));
    // The WILL cleared the echo mark too: WONT ECHO is news again.
    EXPECT_EQ(Receive(Bytes({kIAC, kWONT, kEcho})), Bytes({kIAC, kDONT, kEcho}));
}

TEST_F(TelnetEngineTest, TerminalTypesCycleAnsiAnsiNvtAndSwitchTheDataHandler) {
    const std::string send = Bytes({kIAC, kSB, kTerminalType, kTerminalTypeSend, kIAC, kSE});
    auto is = [](const std::string& name) {
        return Bytes({kIAC, kSB, kTerminalType, kTerminalTypeIs}) + name + Bytes({kIAC, kSE});
    };
    EXPECT_EQ(Receive(Bytes({kIAC, kDO, kTerminalType})), Bytes({kIAC, kWILL, kTerminalType}));
    EXPECT_EQ(Receive(Bytes({kIAC, kWILL, kTerminalType})), Bytes({kIAC, kDONT, kTerminalType}));
    EXPECT_EQ(Receive(send), is("ANSI"));
    EXPECT_EQ(Receive("x\x1b[1;31mred\x1b[0m\x1b[2Jy"), "");
    EXPECT_EQ(engine_.Result(), u"xredy");
    EXPECT_EQ(Receive(send), is("ANSI"));
    EXPECT_EQ(Receive(send), is("NVT"));
    engine_.ResetResult();
    EXPECT_EQ(Receive("\x1b[0m"), "");
    EXPECT_EQ(engine_.Result(), u"\x1b[0m");
    EXPECT_EQ(Receive(send), is("ANSI"));
}

TEST_F(TelnetEngineTest, SubnegotiationOfAnotherOptionIsDiscarded) {
    EXPECT_EQ(Receive(Bytes({kIAC, kSB, 31, 0, 80, 0, 24, kIAC, kSE}) + "ok"), "");
    EXPECT_EQ(engine_.Result(), u"ok");
}

TEST_F(TelnetEngineTest, AnsiSequencesOfAnyLengthNeverReachTheText) {
    EXPECT_EQ(Receive(Bytes({kIAC, kSB, kTerminalType, kTerminalTypeSend, kIAC, kSE})).empty(), false);
    // An unknown final byte ends the sequence as well; overlong parameters are dropped, not stored.
    std::string longSequence = "\x1b[" + std::string(1000, '5') + "m";
    EXPECT_EQ(Receive("a\x1b[5Zb" + longSequence + "c" + std::string(1, '\0') + "d"), "");
    EXPECT_EQ(engine_.Result(), u"abcd");
}

TEST_F(TelnetEngineTest, PumpEndsOnTheTerminationCharacterOfTheTextOnly) {
    session_->Arrive("ab\n" + Bytes({kIAC, kDO, '\n'}) + "cd\n");
    engine_.SetEndConditions(-1, '\n', true);
    EXPECT_EQ(engine_.Pump(session_.Get()), vr::visa::kSuccessTermChar);
    EXPECT_EQ(engine_.TakeResult(), u"ab\n");
    // An option byte equal to the termination character is no text: the read goes on to the next line.
    EXPECT_EQ(engine_.Pump(session_.Get()), vr::visa::kSuccessTermChar);
    EXPECT_EQ(engine_.Result(), u"cd\n");
    EXPECT_EQ(session_->TakeWritten(), Bytes({kIAC, kWONT, '\n'}));
}

TEST_F(TelnetEngineTest, PumpEndsAtTheCountAndLeavesTheRestWaiting) {
    session_->Arrive("abcdef");
    engine_.SetEndConditions(4, '\n', false);
    EXPECT_EQ(engine_.Pump(session_.Get()), vr::visa::kSuccessMaxCount);
    EXPECT_EQ(Latin1(engine_.TakeResult()), "abcd");
    EXPECT_EQ(engine_.Pump(session_.Get()), vr::visa::kErrorTimeout);
    EXPECT_EQ(Latin1(engine_.Result()), "ef");
}

TEST_F(TelnetEngineTest, PumpReadsOneByteAtATimeWithTimeoutZeroAndRestoresTheTimeout) {
    session_->timeout = 1500;
    session_->Arrive("xyz");
    engine_.SetEndConditions(-1, 'q', true);
    EXPECT_EQ(engine_.Pump(session_.Get()), vr::visa::kErrorTimeout);
    EXPECT_EQ(session_->timeout, 1500);
    EXPECT_EQ(session_->reads, 4);
    EXPECT_EQ(session_->readTimeouts, (std::vector<LONG>{0, 0, 0, 0}));
    EXPECT_EQ(session_->termChar, 'q');
    EXPECT_EQ(session_->termEnabled, VARIANT_TRUE);
    engine_.SetEndConditions(-1, 'q', false);
    (void)engine_.Pump(session_.Get());
    EXPECT_EQ(session_->termEnabled, VARIANT_FALSE);
}

TEST_F(TelnetEngineTest, PumpReturnsAFailingReadUnchanged) {
    session_->readFailure = vr::visa::kErrorConnectionLost;
    session_->timeout = 700;
    engine_.SetEndConditions(-1, 0, false);
    EXPECT_EQ(engine_.Pump(session_.Get()), vr::visa::kErrorConnectionLost);
    EXPECT_EQ(session_->timeout, 700);
}

} // namespace
} // namespace wirelotest
