// Recording a session against the loopback instrument into a log file, then replaying the same calls from
// that file with the instrument gone.
#include "connection_fixture.h"

#include "tests/support/test_env.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace instreltest {
namespace {

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class SimulationTest : public ConnectionTest {
protected:
    void SetUp() override {
        ConnectionTest::SetUp();
        path_ = vrtest::MakeFreshFolder("simulation") + "/traffic.xml";
    }

    // A new connection that replays from path_, initialised on resource without any instrument.
    vr::ComPtr<IVrConnection> Replayer(const std::string& resource,
                                       std::u16string_view mode = u"RandomRead") {
        connection_ = CreateConnection();
        EXPECT_EQ(SetText(u"Connection:SimulationFile", vr::FromUtf8(path_)), S_OK);
        EXPECT_EQ(SetText(u"Connection:Simulation", mode), S_OK);
        EXPECT_EQ(Init(resource), S_OK) << vr::ToUtf8(LastError());
        return connection_;
    }

    std::u16string Replay(std::u16string_view command) {
        int32_t count = 0;
        EXPECT_EQ(Send(command, &count), S_OK);
        ReadResult answer = Read(u"\n", 100);
        EXPECT_EQ(answer.hr, S_OK) << vr::ToUtf8(command) << ": " << vr::ToUtf8(LastError());
        EXPECT_EQ(answer.status, EndIndicator);
        return answer.text;
    }

    std::string path_;
};

TEST_F(SimulationTest, ARecordedSessionIsReplayedWithoutTheInstrument) {
    ASSERT_EQ(SetText(u"Connection:SimulationFile", vr::FromUtf8(path_)), S_OK);
    ASSERT_EQ(SetText(u"Connection:Simulation", u"Overwrite"), S_OK);
    ConnectToInstrument("\\r\\n");
    const std::string resource = instrument_.SocketResource();
    EXPECT_EQ(Query(u"*IDN?"), u"VORNIC,LOOPBACK,0,1.0\n");
    EXPECT_EQ(Query(u"ECHO it's"), u"it's\n");
    EXPECT_EQ(Query(u"ECHO :SENS:FUNC \"VOLT\";'x'"), u":SENS:FUNC \"VOLT\";'x'\n");
    ASSERT_EQ(Send(u"ECHO two lines"), S_OK);
    EXPECT_EQ(Read(u"", 200, 4).text, u"two ");
    EXPECT_EQ(Read(u"\n", 200).text, u"lines\n");
    connection_ = nullptr; // the log file is complete once the connection lets it go
    instrument_.Stop();

    const std::string bytes = ReadBytes(path_);
    EXPECT_NE(
        bytes.find("<record>\r\n<in><![CDATA[*IDN?]]></in>\r\n<out><![CDATA[VORNIC,LOOPBACK,0,1.0\n]]>"),
        std::string::npos)
        << bytes;
    EXPECT_NE(bytes.find("<out><![CDATA[two ]]></out>\r\n<out><![CDATA[lines\n]]></out>"), std::string::npos);

    Replayer(resource);
    int32_t count = 0;
    ASSERT_EQ(Send(u"*idn?", &count), S_OK); // another letter case matches too
    EXPECT_EQ(count, 6);                     // what would have been sent, end characters included
    EXPECT_EQ(Read().text, u"VORNIC,LOOPBACK,0,1.0\n");
    EXPECT_EQ(Replay(u"ECHO it's"), u"it's\n");
    EXPECT_EQ(Replay(u"ECHO :SENS:FUNC \"VOLT\";'x'"), u":SENS:FUNC \"VOLT\";'x'\n");

    ASSERT_EQ(Send(u"NEVER RECORDED"), S_OK);
    ReadResult missing = Read(u"\n");
    EXPECT_EQ(missing.hr, E_FAIL);
    EXPECT_EQ(missing.status, EndIndicator);
    EXPECT_NE(LastError().find(u"VISA Error: 0x80004005"), std::u16string::npos);

    // Bytes are never replayed: there is no session to take them.
    SAFEARRAY* bytesToSend = SafeArrayCreateVector(VT_UI1, 0, 2);
    VARIANT array;
    VariantInit(&array);
    array.vt = VT_ARRAY | VT_UI1;
    array.parray = bytesToSend;
    EXPECT_EQ(connection_->Write(array, Missing(), &count), E_FAIL);
    (void)SafeArrayDestroy(bytesToSend);
}

TEST_F(SimulationTest, CommandsTheLogFileKeepsInHexadecimalAreFoundOnReplay) {
    ASSERT_EQ(SetText(u"Connection:SimulationFile", vr::FromUtf8(path_)), S_OK);
    ASSERT_EQ(SetText(u"Connection:Simulation", u"Overwrite"), S_OK);
    ConnectToInstrument();
    const std::string resource = instrument_.SocketResource();
    const std::u16string commands[] = {u"ECHO \x1B[1mbold", u"ECHO a]]>b", u"ECHO \u03A9 ohm",
                                       u"ECHO \x07\r\n"};
    std::vector<std::u16string> answers;
    for (const std::u16string& command : commands) {
        answers.push_back(Query(command));
    }
    connection_ = nullptr;
    instrument_.Stop();
    EXPECT_NE(ReadBytes(path_).find("<in>HexData: 45 43 48 4F 20 1B 5B"), std::string::npos);

    Replayer(resource);
    for (size_t i = 0; i < std::size(commands); ++i) {
        EXPECT_EQ(Replay(commands[i]), answers[i]) << i;
    }
}

TEST_F(SimulationTest, AReadBeforeAnyWriteIsRecordedAndReplayedWithAnEmptyCommand) {
    ASSERT_EQ(SetText(u"Connection:SimulationFile", vr::FromUtf8(path_)), S_OK);
    ASSERT_EQ(SetText(u"Connection:Simulation", u"Write"), S_OK);
    ConnectToInstrument();
    const std::string resource = instrument_.SocketResource();
    // The instrument says nothing unasked; a read without end condition returns what came: nothing.
    ReadResult greeting = Read(u"", 100);
    EXPECT_EQ(greeting.hr, S_OK);
    EXPECT_EQ(greeting.status, ReadTimeout);
    connection_ = nullptr;
    EXPECT_NE(ReadBytes(path_).find("<in><![CDATA[]]></in>\r\n<out><![CDATA[]]></out>"), std::string::npos);

    Replayer(resource, u"SequentialRead");
    ReadResult replayed = Read();
    EXPECT_EQ(replayed.hr, S_OK) << vr::ToUtf8(LastError());
    EXPECT_EQ(replayed.text, u"");
}

TEST_F(SimulationTest, SwitchingOffAfterAReplayedInitLeavesNoSession) {
    Replayer("TCPIP0::127.0.0.1::1::SOCKET");
    ASSERT_EQ(SetText(u"Connection:Simulation", u"Off"), S_OK);
    EXPECT_EQ(Send(u"*IDN?"), E_FAIL);
    EXPECT_NE(LastError().find(u"which is not opened"), std::u16string::npos);
}

TEST_F(SimulationTest, EachResourceKindGetsItsSchemaAndEndCharactersWithoutAnInstrument) {
    Replayer("ASRL1::INSTR");
    EXPECT_EQ(AttributeText(u"VISA:BAUDRATE"), u"9600");
    EXPECT_EQ(AttributeText(u"VISA:PARITY"), u"ASRL_PAR_NONE");
    int32_t count = 0;
    ASSERT_EQ(Send(u"MEAS?", &count), S_OK);
    EXPECT_EQ(count, 6); // a line feed after the data

    Replayer("GPIB0::5::INSTR");
    EXPECT_EQ(AttributeText(u"VISA:TIMEOUT"), u"2000");
    EXPECT_EQ(AttributeText(u"VISA:BAUDRATE"), u"");
    ASSERT_EQ(Send(u"MEAS?", &count), S_OK);
    EXPECT_EQ(count, 5); // nothing after the data
}

TEST_F(SimulationTest, ARecordIdOtherThanTheDefaultNamesTheRecords) {
    ASSERT_EQ(SetText(u"Connection:SimulationFile", vr::FromUtf8(path_)), S_OK);
    ASSERT_EQ(SetText(u"Connection:SimulationFileRecordID", u"query"), S_OK);
    ASSERT_EQ(SetText(u"Connection:Simulation", u"Overwrite"), S_OK);
    ConnectToInstrument();
    EXPECT_EQ(Query(u"ECHO 7"), u"7\n");
    const std::string resource = instrument_.SocketResource();
    connection_ = nullptr;
    EXPECT_NE(ReadBytes(path_).find("<query>\r\n<in><![CDATA[ECHO 7]]></in>"), std::string::npos);

    Replayer(resource);
    ASSERT_EQ(SetText(u"Connection:SimulationFileRecordID", u"query"), S_OK);
    EXPECT_EQ(Replay(u"echo 7"), u"7\n");
}

} // namespace
} // namespace instreltest
