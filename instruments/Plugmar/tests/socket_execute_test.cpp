// What a command does when it runs: composing, sending, reading with the operation's settings, parsing,
// typed and array results, substitutions, expected answer parts, actions and their failures.
#include "inline_adapter.h"
#include "socket_fixture.h"

#include "platform/base/text.h"

#include <gmock/gmock.h>

namespace plugmartest {
namespace {

using testing::HasSubstr;

std::string Utf8(const std::u16string& text) {
    return vr::ToUtf8(text);
}

std::u16string Bstr(const VARIANT& value) {
    return std::u16string(vr::BstrView(value.bstrVal));
}

std::vector<double> Doubles(const VARIANT& value) {
    std::vector<double> numbers;
    EXPECT_EQ(value.vt, VT_ARRAY | VT_VARIANT);
    if (value.vt != (VT_ARRAY | VT_VARIANT)) {
        return numbers;
    }
    LONG upper = -1;
    EXPECT_EQ(SafeArrayGetUBound(value.parray, 1, &upper), S_OK);
    for (LONG i = 0; i <= upper; ++i) {
        _variant_t element;
        EXPECT_EQ(SafeArrayGetElement(value.parray, &i, &element), S_OK);
        EXPECT_EQ(element.vt, VT_R8);
        numbers.push_back(element.dblVal);
    }
    return numbers;
}

class SocketExecute : public SocketTest {
protected:
    void InitAdapter(const std::string& adapter) {
        ASSERT_EQ(InitWithAdapter(adapter), S_OK) << Utf8(ErrorDescription());
        connection_->writes.clear();
    }
    void InitInline(const std::string& commands, const std::string& attributes = "") {
        const std::u16string path =
            WriteAdapter("device.daf", "<device timeout='700'/>", attributes, commands);
        ASSERT_EQ(
            InitSocket(socket_.Get(), u"AdapterFile=" + path, static_cast<IVrConnection*>(connection_.Get())),
            S_OK)
            << Utf8(ErrorDescription());
    }
};

TEST_F(SocketExecute, APropertyReadRunsItsGetCommandAndTypesTheResult) {
    InitAdapter("plugmar_powersupply.daf");
    connection_->Answer(u"12.500\n");
    CallResult volt = Get(u"Volt");
    ASSERT_EQ(volt.hr, S_OK) << Utf8(volt.description);
    EXPECT_EQ(volt.value.vt, VT_R8);
    EXPECT_EQ(volt.value.dblVal, 12.5);
    EXPECT_EQ(connection_->writes, std::vector<std::u16string>{u"VOLT1?\r\n"});
    // The termination string comes from the response type (the connection hands answers out without carriage
    // returns), the timeout from the device.
    ASSERT_EQ(connection_->reads.size(), 1u);
    EXPECT_EQ(connection_->reads[0].term, u"\n");
    EXPECT_EQ(connection_->reads[0].timeout, 1000);
    EXPECT_EQ(connection_->reads[0].count, -1);
}

TEST_F(SocketExecute, AnOperationsOwnTimeoutWinsOverTheDevices) {
    InitAdapter("plugmar_multimeter.daf");
    connection_->Answer(u"+1.25E+00\n");
    ASSERT_EQ(Get(u"Volt").hr, S_OK);
    ASSERT_EQ(connection_->reads.size(), 1u);
    EXPECT_EQ(connection_->reads[0].timeout, 3000);
}

TEST_F(SocketExecute, SeveralValuesOfTheResultMakeAnArray) {
    InitAdapter("plugmar_multimeter.daf");
    connection_->Answer(u"+1.0E+00,+2.0E+00,+3.5E+00\n");
    CallResult three = Call(u"Read");
    ASSERT_EQ(three.hr, S_OK) << Utf8(three.description);
    EXPECT_EQ(Doubles(three.value), (std::vector<double>{1.0, 2.0, 3.5}));
    connection_->Answer(u"+4.0E+00\n");
    CallResult one = Call(u"Read");
    ASSERT_EQ(one.hr, S_OK);
    EXPECT_EQ(one.value.vt, VT_R8);
    EXPECT_EQ(one.value.dblVal, 4.0);
}

TEST_F(SocketExecute, AFixedInputIsSentAsWrittenAndAnUntypedOutputComesBackRaw) {
    InitAdapter("plugmar_multimeter.daf");
    connection_->Answer(u"VORNIC,DMM-7,1,1.04\n");
    CallResult raw = Call(u"Identify");
    ASSERT_EQ(raw.hr, S_OK);
    EXPECT_EQ(Bstr(raw.value), u"VORNIC,DMM-7,1,1.04\n");
    EXPECT_EQ(connection_->writes, std::vector<std::u16string>{u"*IDN?\n"});
    // Without an output element nothing is read and nothing is returned.
    CallResult reset = Call(u"Reset");
    ASSERT_EQ(reset.hr, S_OK);
    EXPECT_EQ(reset.value.vt, VT_EMPTY);
    EXPECT_EQ(connection_->reads.size(), 1u);
}

TEST_F(SocketExecute, AttributeReferencesTakeTheCurrentValueAtEachRun) {
    InitAdapter("plugmar_multimeter.daf");
    connection_->Answer(u"10\n"); // the range is read from the instrument
    ASSERT_EQ(Call(u"ConfVolt").hr, S_OK);
    EXPECT_EQ(connection_->writes,
              (std::vector<std::u16string>{u"RANGE?\n", u"CONF:VOLT:DC 10.000,0.000100\n"}));
    ASSERT_EQ(Put(u"Resolution", _variant_t(0.01)).hr, S_OK);
    connection_->Answer(u"100\n");
    ASSERT_EQ(Call(u"ConfVolt").hr, S_OK);
    EXPECT_EQ(connection_->writes.back(), u"CONF:VOLT:DC 100.000,0.010000\n");
    // A given argument replaces the reference.
    ASSERT_EQ(Call(u"ConfVolt", {_variant_t(1.0)}).hr, S_OK);
    EXPECT_EQ(connection_->writes.back(), u"CONF:VOLT:DC 1.000,0.010000\n");
}

TEST_F(SocketExecute, AnAttributeBackedByCommandsRunsThemThroughTheCollection) {
    InitAdapter("plugmar_multimeter.daf");
    ASSERT_EQ(Put(u"Range", _variant_t(LONG{100})).hr, S_OK);
    EXPECT_EQ(connection_->writes, std::vector<std::u16string>{u"RANGE 100.000\n"});
    connection_->Answer(u"100.000\n");
    CallResult range = Get(u"Range");
    ASSERT_EQ(range.hr, S_OK);
    EXPECT_EQ(range.value.dblVal, 100.0);
    EXPECT_EQ(connection_->writes.back(), u"RANGE?\n");
}

TEST_F(SocketExecute, SubstitutionsTranslateBothWays) {
    InitAdapter("plugmar_powersupply.daf");
    CallResult on = Put(u"Output", _variant_t(u"on"));
    ASSERT_EQ(on.hr, S_OK) << Utf8(on.description);
    EXPECT_EQ(connection_->writes, std::vector<std::u16string>{u"OUTP1 1\r\n"});
    connection_->Answer(u"1\n");
    CallResult state = Get(u"Output");
    ASSERT_EQ(state.hr, S_OK) << Utf8(state.description);
    ASSERT_EQ(state.value.vt, VT_BSTR);
    EXPECT_EQ(Bstr(state.value), u"ON");
    // A value without a substitution goes as it is.
    ASSERT_EQ(Put(u"Output", _variant_t(LONG{0})).hr, S_OK);
    EXPECT_EQ(connection_->writes.back(), u"OUTP1 0\r\n");
}

TEST_F(SocketExecute, AnOutScopedValueIsExpectedInTheAnswer) {
    InitAdapter("plugmar_multimeter.daf");
    connection_->Answer(u"VOLT\n");
    CallResult same = Call(u"CheckFunction", {_variant_t(u"VOLT")});
    ASSERT_EQ(same.hr, S_OK) << Utf8(same.description);
    EXPECT_EQ(Bstr(same.value), u"VOLT");
    EXPECT_EQ(connection_->writes.back(), u"FUNC?\n"); // not composed into the command
    connection_->Answer(u"CURR\n");
    CallResult other = Call(u"CheckFunction", {_variant_t(u"VOLT")});
    EXPECT_EQ(other.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(other.scode, DISP_E_TYPEMISMATCH);
    EXPECT_THAT(Utf8(other.description),
                HasSubstr("'CheckFunction:msg_FunctionResponse': Schema din't match the Response."));
}

TEST_F(SocketExecute, FailuresOfARunReachTheScriptWithTheirCodes) {
    InitAdapter("plugmar_powersupply.daf");
    // No answer: the connection's own failure.
    CallResult silent = Get(u"Volt");
    EXPECT_EQ(silent.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(silent.scode, kReadTimeout);
    // A value outside the channel numbers cannot be composed.
    ASSERT_EQ(Put(u"Channel", _variant_t(LONG{2})).hr, S_OK);
    CallResult composed = Put(u"Volt", _variant_t(u"high"));
    EXPECT_EQ(composed.scode, DISP_E_TYPEMISMATCH);
    EXPECT_THAT(Utf8(composed.description),
                HasSubstr("'set_Volt:msg_SetVolt': Entry Parameters din't match the Schema."));
    // An answer that is not of the response type.
    connection_->Answer(u"twelve\n");
    CallResult parsed = Get(u"Volt");
    EXPECT_EQ(parsed.scode, DISP_E_TYPEMISMATCH);
    EXPECT_THAT(Utf8(parsed.description), HasSubstr("NOT_PARSED: 'twelve"));
}

TEST_F(SocketExecute, ValuesOfAnEarlierAnswerNeverReachALaterResult) {
    InitInline(R"(
      <operation name="Poll" parameterOrder="" result=""><input message="msg_Query"/><output message="msg_Value"/></operation>
      <operation name="get_Value" parameterOrder="" result="value"><input message="msg_Query"/><output message="msg_Value"/></operation>
)");
    connection_->Answer(u"1.5\n");
    ASSERT_EQ(Call(u"Poll").hr, S_OK); // parsed, nothing taken
    connection_->Answer(u"2.5\n");
    CallResult value = Get(u"Value");
    ASSERT_EQ(value.hr, S_OK);
    ASSERT_EQ(value.value.vt, VT_R8);
    EXPECT_EQ(value.value.dblVal, 2.5);
}

TEST_F(SocketExecute, AnActionRunsItsCommandsAndTakesItsResultFromTheOneNamed) {
    InitAdapter("plugmar_powersupply.daf");
    connection_->Answer(u"7.500\n");
    CallResult applied = Call(u"Apply", {_variant_t(7.5)});
    ASSERT_EQ(applied.hr, S_OK) << Utf8(applied.description);
    EXPECT_EQ(applied.value.vt, VT_R8);
    EXPECT_EQ(applied.value.dblVal, 7.5);
    EXPECT_EQ(connection_->writes, (std::vector<std::u16string>{u"VOLT1 7.500\r\n", u"VOLT1?\r\n"}));
}

TEST_F(SocketExecute, AnActionWhoseResultCommandReturnsNothingFails) {
    InitInline(R"(
      <operation name="Send" parameterOrder="value" result=""><output message="msg_Value"/></operation>
      <operation name="Take" parameterOrder="" result="value"><output message="msg_Value"/></operation>
      <action name="Both" parameterOrder="Send:value" result="Send:value"><reference name="Take"/><reference name="Send"/></action>)");
    connection_->Answer(u"3\n");
    connection_->Answer(u"3\n");
    CallResult both = Call(u"Both", {_variant_t(u"3")});
    EXPECT_EQ(both.scode, DISP_E_PARAMNOTFOUND);
    EXPECT_THAT(
        Utf8(both.description),
        HasSubstr("'Both' action: Couldn't get the return value, since 'Send' command returned nothing."));
}

} // namespace
} // namespace plugmartest
