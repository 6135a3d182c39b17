// The whole way: scripts' calls on sockets over the VISA connection CnVISA to the loopback instrument
// program, with the multimeter and power supply adapters.
#include "peers.h"
#include "socket_fixture.h"

#include "platform/base/text.h"
#include "platform/com/activation.h"

#include <gmock/gmock.h>

namespace plugmartest {
namespace {

std::string Utf8(const std::u16string& text) {
    return vr::ToUtf8(text);
}

std::u16string Bstr(const VARIANT& value) {
    return std::u16string(vr::BstrView(value.bstrVal));
}

class SocketLoopback : public SocketTest {
protected:
    // Starts the instrument with its answer end and opens a socket on it with the adapter.
    void Connect(const std::string& answerEnd, const std::string& adapter) {
        ASSERT_TRUE(instrument_.Start(answerEnd));
        CLSID clsid{};
        ASSERT_EQ(CLSIDFromProgID(kCnVisaIndependentProgId, &clsid), S_OK);
        ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, vr::uuidof<IVrConnection>(),
                                   visa_.PutVoid()),
                  S_OK);
        BSTR resource = vr::AllocBstrUtf8(instrument_.SocketResource());
        BSTR options = vr::AllocBstr(u"");
        ASSERT_EQ(visa_->Init(resource, options, 2000, _NO_LOCK), S_OK);
        SysFreeString(resource);
        SysFreeString(options);
        ASSERT_EQ(InitSocket(socket_.Get(), u"AdapterFile=" + DataPath(adapter), visa_.Get()), S_OK)
            << Utf8(ErrorDescription());
    }
    // What the instrument keeps under a header, asked over the same connection.
    std::u16string Setting(const std::u16string& query, const std::u16string& term) {
        CallResult answer = Call(u"QueryString", {_variant_t(query.c_str()), _variant_t(term.c_str())});
        EXPECT_EQ(answer.hr, S_OK) << Utf8(answer.description);
        return Bstr(answer.value);
    }

    vrvisatest::LoopbackInstrument instrument_;
    vr::ComPtr<IVrConnection> visa_;
};

TEST_F(SocketLoopback, PowerSupplyChannelsOutputsAndSequences) {
    Connect("\\r\\n", "plugmar_powersupply.daf");
    EXPECT_EQ(Setting(u"*CLS?\r\n", u"\n"), u"\n"); // the open command ran

    ASSERT_EQ(Put(u"Volt", _variant_t(12.5)).hr, S_OK);
    CallResult second = Get(u"Channel2");
    ASSERT_EQ(second.hr, S_OK);
    ASSERT_EQ(CallOn(second.value.pdispVal, u"Volt", DISPATCH_PROPERTYPUT, {_variant_t(3.3)}, true).hr, S_OK);
    CallResult volt2 = Get(u"Volt");
    ASSERT_EQ(volt2.hr, S_OK) << Utf8(volt2.description);
    EXPECT_EQ(volt2.value.dblVal, 3.3);
    ASSERT_EQ(Get(u"Channel1").hr, S_OK);
    CallResult volt1 = Get(u"Volt");
    ASSERT_EQ(volt1.hr, S_OK);
    EXPECT_EQ(volt1.value.dblVal, 12.5);

    ASSERT_EQ(Put(u"Output", _variant_t(u"ON")).hr, S_OK);
    EXPECT_EQ(Setting(u"OUTP1?\r\n", u"\n"), u"1\n");
    EXPECT_EQ(Bstr(Get(u"Output").value), u"ON");

    vr::ComPtr<vr::ComObject<ScriptArray>> steps;
    ASSERT_EQ(vr::ComObject<ScriptArray>::Create(&steps), S_OK);
    steps->items = {_variant_t(1.0), _variant_t(2.5), _variant_t(5.0)};
    ASSERT_EQ(Put(u"Sequence", _variant_t(static_cast<IDispatch*>(steps.Get()))).hr, S_OK);
    CallResult sequence = Get(u"Sequence");
    ASSERT_EQ(sequence.hr, S_OK) << Utf8(sequence.description);
    ASSERT_EQ(sequence.value.vt, VT_ARRAY | VT_VARIANT);
    LONG upper = -1;
    ASSERT_EQ(SafeArrayGetUBound(sequence.value.parray, 1, &upper), S_OK);
    EXPECT_EQ(upper, 2);

    CallResult applied = Call(u"Apply", {_variant_t(u"7.25")});
    ASSERT_EQ(applied.hr, S_OK) << Utf8(applied.description);
    EXPECT_EQ(applied.value.dblVal, 7.25);

    // The socket shows the connection's settings beside its own and the device's.
    vr::ComPtr<IVrAttributeCollection> attributes;
    ASSERT_EQ(socket_->get_Attributes(attributes.Put()), S_OK);
    BSTR timeout = vr::AllocBstr(u"Timeout");
    _variant_t value;
    EXPECT_EQ(attributes->GetAttribute(timeout, &value), S_OK);
    SysFreeString(timeout);
    EXPECT_EQ(value.vt, VT_I4);

    // Closing switches both outputs off, then closes the session.
    ASSERT_EQ(socket_->Close(), S_OK);
    int32_t written = 0;
    BSTR more = vr::AllocBstr(u"*CLS\r\n");
    EXPECT_TRUE(FAILED(visa_->WriteString(more, &written)));
    SysFreeString(more);
}

TEST_F(SocketLoopback, MultimeterAttributesIdentityAndReadings) {
    Connect("\\n", "plugmar_multimeter.daf");
    ASSERT_EQ(Put(u"Range", _variant_t(LONG{100})).hr, S_OK);
    EXPECT_EQ(Setting(u"RANGE?\n", u"\n"), u"100.000\n");
    CallResult range = Get(u"Range");
    ASSERT_EQ(range.hr, S_OK) << Utf8(range.description);
    EXPECT_EQ(range.value.dblVal, 100.0);

    CallResult model = Get(u"Model");
    ASSERT_EQ(model.hr, S_OK) << Utf8(model.description);
    EXPECT_EQ(Bstr(model.value), u"LOOPBACK");
    CallResult raw = Call(u"Identify");
    ASSERT_EQ(raw.hr, S_OK);
    EXPECT_EQ(Bstr(raw.value), u"VORNIC,LOOPBACK,0,1.0\n");

    ASSERT_EQ(Call(u"ConfVolt").hr, S_OK);
    EXPECT_EQ(Setting(u"CONF:VOLT:DC?\n", u"\n"), u"100.000,0.000100\n");

    // Readings the instrument keeps: three values, then one.
    EXPECT_EQ(Setting(u"READ +1.5E+00,+2.5E+00,-3.0E-01\nCOUNT?\n", u"\n").empty(), false);
    CallResult readings = Call(u"Read");
    ASSERT_EQ(readings.hr, S_OK) << Utf8(readings.description);
    EXPECT_EQ(readings.value.vt, VT_ARRAY | VT_VARIANT);
    ASSERT_EQ(Put(u"Function", _variant_t(u"RES")).hr, S_OK);
    EXPECT_EQ(Call(u"CheckFunction", {_variant_t(u"RES")}).hr, S_OK);
    EXPECT_EQ(Call(u"CheckFunction", {_variant_t(u"VOLT")}).scode, DISP_E_TYPEMISMATCH);
}

} // namespace
} // namespace plugmartest
