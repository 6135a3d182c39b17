// The connection against the loopback instrument over TCP: queries, terminators, counts, end characters,
// timeouts, lost peers and the argument checks.
#include "connection_fixture.h"

#include "tests/support/test_env.h"

#include "platform/visa/visa_status.h"

namespace instreltest {
namespace {

using namespace std::chrono_literals;

TEST_F(ConnectionTest, AQueryEndsOnTheTerminatorAndSendsALineFeedByDefault) {
    ConnectToInstrument();
    int32_t count = 0;
    ASSERT_EQ(Send(u"*IDN?", &count), S_OK);
    EXPECT_EQ(count, 6); // the command and the line feed
    ReadResult answer = Read(u"\n");
    EXPECT_EQ(answer.hr, S_OK);
    EXPECT_EQ(answer.text, u"VORNIC,LOOPBACK,0,1.0\n");
    EXPECT_EQ(answer.status, TerminationString);
    EXPECT_EQ(AttributeText(u"Connection:EndCharsToSend"), u"\n");
}

TEST_F(ConnectionTest, AnswersEndingInCarriageReturnAndLineFeedMatchThatTerminator) {
    ConnectToInstrument("\\r\\n");
    ASSERT_EQ(Send(u"ECHO 1.25"), S_OK);
    ReadResult answer = Read(u"\r\n", 5000);
    EXPECT_EQ(answer.hr, S_OK) << vr::ToUtf8(LastError());
    EXPECT_EQ(answer.text, u"1.25\n");
    EXPECT_EQ(answer.status, TerminationString);
    EXPECT_LT(answer.elapsed, 4000ms) << "the read ended at its timeout, not at the terminator";
}

TEST_F(ConnectionTest, APrintableTerminatorEndsTheReadWhenTheTextEndsWithIt) {
    ConnectToInstrument("OK>");
    ASSERT_EQ(Send(u"ECHO a>b>c"), S_OK);
    ReadResult answer = Read(u"OK>", 2000);
    EXPECT_EQ(answer.hr, S_OK) << vr::ToUtf8(LastError());
    EXPECT_EQ(answer.text, u"a>b>cOK>");
    EXPECT_EQ(answer.status, TerminationString);
}

TEST_F(ConnectionTest, EndCharactersAreDecodedOnEveryWrite) {
    ConnectToInstrument("\\n", u"Connection:EndCharsToSend=\\r\\n");
    int32_t count = 0;
    ASSERT_EQ(Send(u"CHUNK?", &count), S_OK);
    EXPECT_EQ(count, 8);
    EXPECT_EQ(Read(u"\n").text, u"8\n"); // the instrument received the carriage return and line feed
    EXPECT_EQ(Query(u"CHUNK?"), u"8\n");
}

TEST_F(ConnectionTest, ACountEndsTheReadAndTheRestStaysForTheNextRead) {
    ConnectToInstrument();
    ASSERT_EQ(Send(u"PARTIAL abcdefgh"), S_OK);
    ReadResult first = Read(u"", 500, 5);
    EXPECT_EQ(first.hr, S_OK);
    EXPECT_EQ(first.text, u"abcde");
    EXPECT_EQ(first.status, MaxCount);

    // With a terminator and a count, the count still bounds what is taken.
    ASSERT_EQ(Send(u"ECHO 0123456789"), S_OK);
    ReadResult counted = Read(u"\n", 500, 4);
    EXPECT_EQ(counted.text, u"fgh0");
    EXPECT_EQ(counted.status, MaxCount);
    ReadResult rest = Read(u"\n", 500, 100);
    EXPECT_EQ(rest.text, u"123456789\n");
    EXPECT_EQ(rest.status, TerminationString);
}

TEST_F(ConnectionTest, AReadWithoutEndConditionReturnsWhatCameWithinTheTimeout) {
    ConnectToInstrument();
    ASSERT_EQ(Send(u"PARTIAL 42"), S_OK);
    ReadResult answer = Read(u"", 300);
    EXPECT_EQ(answer.hr, S_OK);
    EXPECT_EQ(answer.text, u"42");
    EXPECT_EQ(answer.status, ReadTimeout);
}

TEST_F(ConnectionTest, SilentAndSlowPeersFailWithinTheTimeout) {
    ConnectToInstrument();
    ASSERT_EQ(Send(u"SILENT"), S_OK);
    ReadResult silent = Read(u"\n", 300);
    EXPECT_EQ(silent.hr, E_FAIL);
    EXPECT_EQ(LastError(), u"Could not read from the '" + vr::FromUtf8(instrument_.SocketResource()) +
                               u"' Connection within the specified Timeout.");
    EXPECT_LT(silent.elapsed, 1s);
    EXPECT_EQ(silent.status, UnknownReason);

    // What comes before that read's timeout has passed again would be taken for its late answer; after it,
    // the next command's answer is its own.
    std::this_thread::sleep_for(350ms);
    ASSERT_EQ(Send(u"SPLIT 2000 first second"), S_OK);
    ReadResult slow = Read(u"\n", 300);
    EXPECT_EQ(slow.hr, E_FAIL);
    EXPECT_NE(LastError().find(u"Recieved Data:\n'first'."), std::u16string::npos);
    EXPECT_LT(slow.elapsed, 1400ms) << "the read waited for the rest";

    // The late rest of that answer (due 1.7 s after that read's end) is not taken for the answer to the next
    // query.
    std::this_thread::sleep_for(3500ms);
    EXPECT_EQ(Query(u"ECHO fresh"), u"fresh\n");

    ASSERT_EQ(Send(u"DELAY 200 late"), S_OK);
    EXPECT_EQ(Read(u"\n", 2000).text, u"late\n");
}

TEST_F(ConnectionTest, TheLateAnswerOfAReadThatTimedOutIsNotTheAnswerToTheNextCommand) {
    ConnectToInstrument();
    ASSERT_EQ(Send(u"DELAY 1500 late"), S_OK);
    EXPECT_EQ(Read(u"\n", 1000).hr, E_FAIL);
    // The next command goes out before the late answer has come; each answer stays with its command.
    EXPECT_EQ(Query(u"ECHO second"), u"second\n");
    EXPECT_EQ(Query(u"ECHO third"), u"third\n");
}

// A slow instrument answers every query 1.5 s after taking its command, against reads that wait 1 s: each
// read that times out costs its own time and no more, and no answer ever reaches the read of a later query;
// once the instrument has caught up, a query gets its own answer. A mute instrument: two queries, two
// timeouts and one wait for a late answer that never comes.
TEST_F(ConnectionTest, ReadsThatTimeOutCostTheirOwnTimeAndLateAnswersStayWithTheirQueries) {
    ASSERT_TRUE(instrument_.Start("\\n", false, {"--delay-ms", "1500"}));
    ASSERT_EQ(Init(instrument_.SocketResource()), S_OK) << vr::ToUtf8(LastError());
    for (std::u16string_view setting : {u"A 1", u"B 2", u"C 3"}) {
        ASSERT_EQ(Send(setting), S_OK);
    }
    for (std::u16string_view query : {u"A?", u"B?", u"C?"}) {
        ASSERT_EQ(Send(query), S_OK);
        ReadResult late = Read(u"\n", 1000);
        EXPECT_EQ(late.hr, E_FAIL) << vr::ToUtf8(query) << " got " << vr::ToUtf8(late.text);
        EXPECT_GE(late.elapsed, 950ms);
        EXPECT_LT(late.elapsed, 1400ms) << "a read waited for another's answer";
    }
    std::this_thread::sleep_for(3s); // the instrument sends the last of the three answers (due in 1.5 s)
    ASSERT_EQ(Send(u"B?"), S_OK);
    EXPECT_EQ(Read(u"\n", 3000).text, u"2\n");

    vrvisatest::LoopbackInstrument mute;
    ASSERT_TRUE(mute.Start("\\n", false, {"--mute"}));
    vr::ComPtr<IVrConnection> silent = CreateConnection();
    ASSERT_EQ(silent->Init(Bstr(mute.SocketResource()), Bstr(u""), 5000, _NO_LOCK), S_OK);
    const auto start = std::chrono::steady_clock::now();
    for (std::u16string_view query : {u"A?", u"B?"}) {
        int32_t count = 0;
        ASSERT_EQ(silent->WriteString(Bstr(query), &count), S_OK);
        EXPECT_EQ(Read(silent.Get(), u"\n", 500, -1).hr, E_FAIL);
    }
    // Two timeouts of 500 ms and the second write's wait for the first one's late answer (1.5 s), not a
    // timeout of the connection's 5 s.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 4000ms) << "a read took the connection's timeout";
}

TEST_F(ConnectionTest, AWriteThatTimesOutSaysHowMuchWentOut) {
    ConnectToInstrument("\\n", u"VISA:Timeout=300");
    ASSERT_EQ(Send(u"DELAY 60000 x"), S_OK); // the instrument stops reading
    const std::u16string data(8 << 20, u'x');
    int32_t count = 0;
    EXPECT_TRUE(FAILED(Send(data, &count)));
    EXPECT_GT(count, 0);
    EXPECT_LT(count, static_cast<int32_t>(data.size()));
}

TEST_F(ConnectionTest, ATerminationCharacterThatKeepsComingCannotHoldTheReadPastItsTimeout) {
    ConnectToInstrument();
    ASSERT_EQ(Send(u"TRICKLE 40 >>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>"), S_OK);
    ReadResult answer = Read(u"OK>", 400);
    EXPECT_EQ(answer.hr, E_FAIL);
    EXPECT_LT(answer.elapsed, 1800ms) << "the characters held the read"; // they keep coming for 2.4 s
    EXPECT_TRUE(answer.text.empty());                                    // a failed read hands out nothing

    // The session's timeout is the configured one again for the next read.
    std::this_thread::sleep_for(4000ms); // the characters end 2.4 s after the command
    ASSERT_EQ(Send(u"DELAY 300 ready"), S_OK);
    EXPECT_EQ(Read(u"\n", 1000).hr, S_OK);
}

TEST_F(ConnectionTest, APeerThatLeavesMidReadIsReportedAtOnce) {
    ConnectToInstrument();
    ASSERT_EQ(Send(u"CLOSE"), S_OK);
    ReadResult answer = Read(u"\n", 3000);
    EXPECT_EQ(answer.hr, E_FAIL);
    EXPECT_LT(answer.elapsed, 1500ms);
    EXPECT_NE(LastError().find(u"VISA Error: 0x800400a6"), std::u16string::npos) << vr::ToUtf8(LastError());
}

TEST_F(ConnectionTest, InitRefusesASecondCallAndUnknownResourceKinds) {
    ConnectToInstrument();
    EXPECT_EQ(Init(instrument_.SocketResource()), E_FAIL);
    EXPECT_EQ(LastError(),
              u"'" + vr::FromUtf8(instrument_.SocketResource()) + u"' Connection is already initialized.");

    vr::ComPtr<IVrConnection> usb = CreateConnection();
    EXPECT_EQ(usb->Init(Bstr(u"USB0::0x1234::0x5678::SN::INSTR"), Bstr(u""), 2000, _NO_LOCK),
              vr::visa::kErrorResourceNotFound);
    EXPECT_EQ(LastError(),
              u"Couldn't recognize the 'USB0::0x1234::0x5678::SN::INSTR' Resource Name. "
              u"Instruments of this interface are not supported on this system "
              u"(USB0::0x1234::0x5678::SN::INSTR); it reaches TCPIP and serial (ASRL) resources.");
    EXPECT_EQ(usb->Init(nullptr, nullptr, 2000, _NO_LOCK), vr::visa::kErrorResourceNotFound);

    vr::ComPtr<IVrConnection> refused = CreateConnection();
    std::string nobody = "TCPIP0::127.0.0.1::" + std::to_string(vrvisatest::UnusedPort()) + "::SOCKET";
    EXPECT_EQ(refused->Init(Bstr(nobody), Bstr(u""), 2000, _NO_LOCK), vr::visa::kErrorResourceNotFound);
    std::u16string why = LastError();
    EXPECT_NE(why.find(u"Couldn't open the VisaSession for"), std::u16string::npos);
    EXPECT_NE(why.find(u"Connection refused"), std::u16string::npos) << vr::ToUtf8(why); // VISA's own words

    // After that unrelated failure, each refused setting says its own cause, never an earlier call's words.
    for (std::u16string_view options :
         {u"VISA:BaudRate=12345", u"Connection:Simulation=Bogus", u"VISA:DataBits=7x"}) {
        vr::ComPtr<IVrConnection> serial = CreateConnection();
        EXPECT_TRUE(FAILED(serial->Init(Bstr(u"ASRL1::INSTR"), Bstr(options), 2000, _NO_LOCK)));
        const std::u16string own = LastError();
        const std::u16string value(options.substr(options.find(u'=') + 1));
        EXPECT_NE(own.find(value), std::u16string::npos) << vr::ToUtf8(options) << ": " << vr::ToUtf8(own);
        EXPECT_EQ(own.find(u"Couldn't"), std::u16string::npos) << vr::ToUtf8(own);
    }
}

TEST_F(ConnectionTest, FailuresOfTheSearchAndOfTheSimulationFileNameTheirCause) {
    EXPECT_EQ(connection_->FindResources(Bstr(u"ASRL/dev/no-such-port*::INSTR"), nullptr), E_POINTER);
    VARIANT found;
    VariantInit(&found);
    EXPECT_EQ(connection_->FindResources(Bstr(u"ASRL/dev/no-such-port*::INSTR"), &found),
              vr::visa::kErrorResourceNotFound);
    EXPECT_NE(LastError().find(u"No resources were found for 'ASRL/dev/no-such-port*::INSTR'."),
              std::u16string::npos)
        << vr::ToUtf8(LastError());

    const std::string missing = vrtest::MakeFreshFolder("replay") + "/missing.xml";
    ASSERT_EQ(SetText(u"Connection:SimulationFile", vr::FromUtf8(missing)), S_OK);
    ASSERT_EQ(SetText(u"Connection:Simulation", u"RandomRead"), S_OK);
    ASSERT_EQ(Init("ASRL1::INSTR"), S_OK) << vr::ToUtf8(LastError());
    ASSERT_EQ(Send(u"*IDN?"), S_OK);
    EXPECT_EQ(Read(u"\n", 100).hr, E_FAIL);
    EXPECT_NE(LastError().find(vr::FromUtf8(missing)), std::u16string::npos) << vr::ToUtf8(LastError());

    vr::ComPtr<IVrConnection> recorder = CreateConnection();
    connection_ = recorder;
    ASSERT_EQ(SetText(u"Connection:SimulationFile", u"/proc/no-folder/traffic.xml"), S_OK);
    ASSERT_EQ(SetText(u"Connection:Simulation", u"Overwrite"), S_OK);
    EXPECT_EQ(Init("ASRL1::INSTR"), E_FAIL);
    EXPECT_NE(LastError().find(u"the folder '/proc/no-folder' of the simulation file cannot be written"),
              std::u16string::npos)
        << vr::ToUtf8(LastError());
}

TEST_F(ConnectionTest, VisaSettingsGoToTheCollectionAndLaterOnesToTheSession) {
    ConnectToInstrument("\\n", u"VISA:Timeout=3000,VISA:Foo=1");
    EXPECT_EQ(AttributeText(u"VISA:TIMEOUT"), u"3000");
    EXPECT_EQ(AttributeText(u"Connection:Simulation"), u"Off");

    // A timeout set after Init reaches the session at once; a read without a timeout of its own still
    // waits for Init's default, which ReadString applies on every call.
    ASSERT_EQ(SetText(u"VISA:Timeout", u"250"), S_OK);
    EXPECT_EQ(AttributeText(u"VISA:TIMEOUT"), u"250");
    ASSERT_EQ(Send(u"SILENT"), S_OK);
    ReadResult read = Read(u"\n", -1);
    EXPECT_EQ(read.hr, E_FAIL);
    EXPECT_GE(read.elapsed, 2500ms); // the default timeout of Init (3000) came back
}

TEST_F(ConnectionTest, WritesCheckTheirArguments) {
    VARIANT number;
    VariantInit(&number);
    number.vt = VT_R8;
    number.dblVal = 1.5;
    int32_t count = 0;
    SAFEARRAY* bytes = SafeArrayCreateVector(VT_UI1, 0, 3);
    VARIANT array;
    VariantInit(&array);
    array.vt = VT_ARRAY | VT_UI1;
    array.parray = bytes;
    EXPECT_EQ(connection_->Write(array, Missing(), &count), E_FAIL); // not open
    EXPECT_EQ(Send(u"*IDN?"), E_FAIL);
    EXPECT_NE(LastError().find(u"which is not opened: '*IDN?'."), std::u16string::npos);
    EXPECT_EQ(Read().hr, E_FAIL);

    ConnectToInstrument();
    EXPECT_EQ(connection_->Write(number, Missing(), &count), E_INVALIDARG);
    const char* command = "ECH";
    for (LONG i = 0; i < 3; ++i) {
        ASSERT_EQ(SafeArrayPutElement(bytes, &i, &command[i]), S_OK);
    }
    EXPECT_EQ(connection_->Write(array, Missing(), &count), S_OK);
    EXPECT_EQ(count, 3);
    VARIANT text;
    VariantInit(&text);
    text.vt = VT_BSTR;
    text.bstrVal = vr::AllocBstr(u"O bytes and more");
    VARIANT length;
    VariantInit(&length);
    length.vt = VT_I4;
    length.lVal = 7;
    EXPECT_EQ(connection_->Write(text, length, &count), S_OK);
    EXPECT_EQ(count, 8);
    EXPECT_EQ(Read(u"\n").text, u"bytes\n");
    (void)VariantClear(&text);
    (void)SafeArrayDestroy(bytes);

    BSTR key = nullptr;
    EXPECT_EQ(connection_->LockRsrc(_EXCLUSIVE_LOCK, 5000, Bstr(u""), &key), E_NOTIMPL);
    EXPECT_EQ(connection_->LockRsrc(_EXCLUSIVE_LOCK, 5000, Bstr(u""), nullptr), E_POINTER);
    EXPECT_EQ(connection_->Clear(), S_OK);
}

TEST_F(ConnectionTest, ScriptsReachTheConnectionByNameWithTheOptionalArgumentsLeftOut) {
    ConnectToInstrument();
    vr::ComPtr<IDispatch> dispatch;
    ASSERT_EQ(connection_->QueryInterface(IID_IDispatch, dispatch.PutVoid()), S_OK);
    OLECHAR* names[] = {const_cast<OLECHAR*>(u"writestring"), const_cast<OLECHAR*>(u"ReadString")};
    DISPID ids[2] = {};
    ASSERT_EQ(dispatch->GetIDsOfNames(IID_NULL, &names[0], 1, 0, &ids[0]), S_OK);
    ASSERT_EQ(dispatch->GetIDsOfNames(IID_NULL, &names[1], 1, 0, &ids[1]), S_OK);
    EXPECT_EQ(ids[0], 0x60020007);

    VARIANT argument;
    VariantInit(&argument);
    argument.vt = VT_BSTR;
    argument.bstrVal = vr::AllocBstr(u"ECHO by name");
    DISPPARAMS params{&argument, nullptr, 1, 0};
    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(dispatch->Invoke(ids[0], IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr),
              S_OK);
    EXPECT_EQ(result.lVal, 13);
    (void)VariantClear(&argument);

    VARIANT term;
    VariantInit(&term);
    term.vt = VT_BSTR;
    term.bstrVal = vr::AllocBstr(u"\n");
    DISPPARAMS readParams{&term, nullptr, 1, 0};
    ASSERT_EQ(dispatch->Invoke(ids[1], IID_NULL, 0, DISPATCH_METHOD, &readParams, &result, nullptr, nullptr),
              S_OK);
    EXPECT_EQ(vr::BstrView(result.bstrVal), u"by name\n");
    (void)VariantClear(&result);
    (void)VariantClear(&term);
}

} // namespace
} // namespace instreltest
