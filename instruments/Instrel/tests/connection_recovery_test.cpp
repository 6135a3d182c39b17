// A connection after a read that failed, on every transport (a TCP socket, a serial line, VXI-11, telnet
// through telnetd): the faults a bench produces once, then queries in a row, each of which gets its own
// answer.
#include "connection_fixture.h"

#include "telnetd_fixture.h"
#include "tests/support/test_env.h"
#include "vxi11_peers.h"

#include <fstream>
#include <memory>
#include <sys/stat.h>

namespace instreltest {
namespace {

enum class Transport { Tcp, Serial, Vxi11, Telnet };

std::string TransportName(const testing::TestParamInfo<Transport>& info) {
    constexpr const char* kNames[] = {"TcpSocket", "SerialLine", "Vxi11", "Telnet"};
    return kNames[static_cast<int>(info.param)];
}

// The loopback instrument on the terminal telnetd gives the program it runs.
std::string TelnetInstrumentScript() {
    std::string path = vrtest::MakeFreshFolder("telnet-instrument") + "/instrument.sh";
    std::ofstream(path) << "#!/bin/sh\nexec " << VR_LOOPBACK_INSTRUMENT << " --tty /dev/tty --lifetime 300\n";
    ::chmod(path.c_str(), 0755);
    return path;
}

class RecoveryTest : public ConnectionTest, public testing::WithParamInterface<Transport> {
protected:
    void SetUp() override {
        ConnectionTest::SetUp();
        std::string why;
        switch (GetParam()) {
        case Transport::Tcp:
            ConnectToInstrument();
            break;
        case Transport::Serial:
            ASSERT_TRUE(cable_.Start(vrtest::MakeFreshFolder("cable")));
            ASSERT_TRUE(instrument_.StartOnTerminal(cable_.Right()));
            ASSERT_EQ(Init("ASRL" + cable_.Left() + "::INSTR"), S_OK) << vr::ToUtf8(LastError());
            break;
        case Transport::Vxi11:
            vxi11Lock_ = std::make_unique<vrvisatest::Vxi11TestLock>();
            if (!portMapper_.Ensure(&why)) {
                GTEST_SKIP() << "VXI-11 needs a port mapper: " << why;
            }
            ASSERT_TRUE(vxi11_.Start(&why)) << why;
            ASSERT_EQ(Init("TCPIP0::127.0.0.1::inst0::INSTR"), S_OK) << vr::ToUtf8(LastError());
            break;
        case Transport::Telnet:
            if (wirelotest::TelnetdPath().empty()) {
                GTEST_SKIP() << "telnetd is not installed (package inetutils-telnetd)";
            }
            ASSERT_TRUE(telnet_.Start(TelnetInstrumentScript(), &why)) << why;
            ASSERT_EQ(Init(telnet_.SocketResource(), u"Connection:IOProtocol=Telnet"), S_OK)
                << vr::ToUtf8(LastError());
            ASSERT_EQ(Read(u"\n", 5000).text, u"READY\n") << vr::ToUtf8(LastError());
            break;
        }
    }
    void TearDown() override {
        connection_ = nullptr;
        telnet_.Stop();
        vxi11_.Stop();
        portMapper_.Stop();
        vxi11Lock_.reset();
        ConnectionTest::TearDown();
    }

    // Ten queries in a row; each answer is its own or, for the first at most when firstMayFail, a failure.
    void TenQueriesGetTheirOwnAnswers(bool firstMayFail) {
        for (int i = 0; i < 10; ++i) {
            const std::u16string text = u"q" + vr::FromUtf8(std::to_string(i));
            ASSERT_EQ(Send(u"ECHO " + text), S_OK) << vr::ToUtf8(LastError());
            ReadResult answer = Read(u"\n", 3000);
            if (FAILED(answer.hr) && i == 0 && firstMayFail) {
                EXPECT_FALSE(LastError().empty());
                continue;
            }
            EXPECT_EQ(answer.hr, S_OK) << "query " << i << ": " << vr::ToUtf8(LastError());
            EXPECT_EQ(answer.text, text + u"\n") << "query " << i;
        }
    }

    vrvisatest::TerminalPair cable_;
    std::unique_ptr<vrvisatest::Vxi11TestLock> vxi11Lock_;
    vrvisatest::PortMapper portMapper_;
    vrvisatest::Vxi11Instrument vxi11_;
    wirelotest::TelnetServer telnet_;
};

// A read after a command that has no answer, a read for a terminator the answer does not end with, an answer
// that never gets its end: the read fails or takes what came, and the next queries are right. A slow answer
// that comes after its read gave up is never another query's.
TEST_P(RecoveryTest, AfterAFailedReadEveryQueryGetsItsOwnAnswer) {
    ASSERT_EQ(Send(u"VOLT 5.0"), S_OK);
    EXPECT_EQ(Read(u"\n", 300).hr, E_FAIL);
    TenQueriesGetTheirOwnAnswers(false);

    ASSERT_EQ(Send(u"ECHO wrong end"), S_OK);
    (void)Read(u";", 300); // fails on a stream; VXI-11 ends the read at the message's end
    TenQueriesGetTheirOwnAnswers(false);

    ASSERT_EQ(Send(u"PARTIAL 42"), S_OK);
    EXPECT_EQ(Read(u"\n", 300).hr, E_FAIL);
    TenQueriesGetTheirOwnAnswers(false);

    ASSERT_EQ(Send(u"DELAY 1300 late"), S_OK);
    EXPECT_EQ(Read(u"\n", 1000).hr, E_FAIL);
    TenQueriesGetTheirOwnAnswers(true);
}

INSTANTIATE_TEST_SUITE_P(Transports, RecoveryTest,
                         testing::Values(Transport::Tcp, Transport::Serial, Transport::Vxi11,
                                         Transport::Telnet),
                         TransportName);

} // namespace
} // namespace instreltest
