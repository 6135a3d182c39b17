// The connection through the telnet converter ("IOProtocol=Telnet") against a real telnetd behind socat,
// which runs the converter tests' echo program.
#include "connection_fixture.h"

#include "telnetd_fixture.h"

namespace instreltest {
namespace {

TEST_F(ConnectionTest, TelnetProtocolCarriesQueriesThroughARealTelnetServer) {
    wirelotest::TelnetServer server;
    std::string why;
    if (wirelotest::TelnetdPath().empty()) {
        GTEST_SKIP() << "telnetd is not installed (package inetutils-telnetd)";
    }
    ASSERT_TRUE(server.Start(VR_TELNET_ECHO_PROGRAM, &why)) << why;
    ASSERT_EQ(Init(server.SocketResource(), u"Connection:IOProtocol=Telnet,VISA:Timeout=5000"), S_OK)
        << vr::ToUtf8(LastError());

    // The program greets once the negotiation is done; the terminal ends lines with CR LF.
    ReadResult greeting = Read(u"\r\n", 5000);
    ASSERT_EQ(greeting.hr, S_OK) << vr::ToUtf8(LastError());
    EXPECT_EQ(greeting.text, u"READY\n");
    EXPECT_EQ(greeting.status, TerminationString);

    ASSERT_EQ(Send(u"hello"), S_OK) << vr::ToUtf8(LastError());
    ReadResult answer = Read(u"\r\n", 2000);
    EXPECT_EQ(answer.hr, S_OK) << vr::ToUtf8(LastError());
    EXPECT_EQ(answer.text, u"HEX 68656C6C6F\n");
    EXPECT_EQ(AttributeText(u"Connection:IOProtocol"), u"Telnet");
    server.Stop();
}

} // namespace
} // namespace instreltest
