// Script-side calling conventions of the socket: names looked up on every access, property get, put and
// method call, selectors, argument mapping, arrays from the script, and the error information a script sees.
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

_variant_t AttributeOf(ISocket* socket, const std::u16string& name) {
    vr::ComPtr<IVrAttributeCollection> attributes;
    EXPECT_EQ(socket->get_Attributes(attributes.Put()), S_OK);
    BSTR text = vr::AllocBstr(name);
    _variant_t value;
    EXPECT_EQ(attributes->GetAttribute(text, &value), S_OK);
    SysFreeString(text);
    return value;
}

// The multimeter-like device of the argument tests: Measure(range, resolution) and its variants.
const char* kMeasureCommands = R"(
  <operation name="Measure" parameterOrder="range resolution"><input message="msg_Measure"/></operation>
  <operation name="MeasureAuto" parameterOrder="range=10 resolution=0.001"><input message="msg_Measure"/></operation>
  <operation name="Out1" parameterOrder=""><input value="OUT1&#10;"/></operation>
  <operation name="get_Level" parameterOrder="" result="value">
    <input message="msg_Query"/><output message="msg_Value"/></operation>
  <operation name="Level2" parameterOrder=""><input value="L2&#10;"/></operation>
  <action name="_Open"><operation><input value="HELLO&#10;"/></operation></action>)";

class SocketDispatch : public SocketTest {
protected:
    void InitMeasure() {
        const std::u16string path =
            WriteAdapter("measure.daf", "<device open='_Open'/>", "", kMeasureCommands);
        ASSERT_EQ(
            InitSocket(socket_.Get(), u"AdapterFile=" + path, static_cast<IVrConnection*>(connection_.Get())),
            S_OK)
            << Utf8(ErrorDescription());
        connection_->writes.clear();
    }
    void InitSupply() {
        ASSERT_EQ(InitWithAdapter("plugmar_powersupply.daf"), S_OK) << Utf8(ErrorDescription());
        connection_->writes.clear();
    }
};

TEST_F(SocketDispatch, AssignedValuesReachTheCommandAsText) {
    InitSupply();
    ASSERT_EQ(Put(u"Volt", _variant_t(LONG{5})).hr, S_OK);
    ASSERT_EQ(Put(u"volt", _variant_t(2.25)).hr, S_OK);
    // The unscoped parameters of set_Volt are parts of the command text: they are composed and sent.
    EXPECT_EQ(connection_->writes, (std::vector<std::u16string>{u"VOLT1 5.000\r\n", u"VOLT1 2.250\r\n"}));
}

TEST_F(SocketDispatch, ArgumentsMapOntoTheParametersByPosition) {
    InitMeasure();
    ASSERT_EQ(Call(u"Measure", {_variant_t(u"10"), _variant_t(0.5)}).hr, S_OK);
    EXPECT_EQ(connection_->writes.back(), u"MEAS 10,0.5\n");

    CallResult missing = Call(u"Measure", {_variant_t(u"10")});
    EXPECT_EQ(missing.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(missing.scode, DISP_E_PARAMNOTOPTIONAL);
    CallResult none = Call(u"Measure");
    EXPECT_EQ(none.scode, DISP_E_PARAMNOTOPTIONAL);
    CallResult tooMany = Call(u"Measure", {_variant_t(LONG{1}), _variant_t(LONG{2}), _variant_t(LONG{3})});
    EXPECT_EQ(tooMany.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(tooMany.scode, DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(tooMany.source, u"Vornic.Socket.1");

    // Defaults fill what the script leaves out.
    ASSERT_EQ(Call(u"MeasureAuto").hr, S_OK);
    EXPECT_EQ(connection_->writes.back(), u"MEAS 10,0.001\n");
    EXPECT_EQ(connection_->writes.size(), 2u);
}

TEST_F(SocketDispatch, KindsOfCallFollowTheFlags) {
    InitMeasure();
    connection_->Answer(u"1.5\n");
    CallResult level = Get(u"Level");
    ASSERT_EQ(level.hr, S_OK);
    EXPECT_EQ(level.value.vt, VT_R8);
    EXPECT_EQ(level.value.dblVal, 1.5);

    CallResult put = Put(u"Level", _variant_t(LONG{1}));
    EXPECT_EQ(put.scode, DISP_E_MEMBERNOTFOUND);
    EXPECT_THAT(Utf8(put.description), HasSubstr("'Level' property: SET operation is not defined."));
    CallResult call = Call(u"Level");
    EXPECT_THAT(Utf8(call.description),
                HasSubstr("'Level' property: CALL(METHOD) operation is not defined."));
    CallResult get = Get(u"Measure");
    EXPECT_THAT(Utf8(get.description), HasSubstr("'Measure' property: GET operation is not defined."));

    // A get and a method call at once on a member with only a method command runs the method; on a member
    // with a get command it is a get.
    CallResult both = CallOn(socket_.Get(), u"MeasureAuto", DISPATCH_METHOD | DISPATCH_PROPERTYGET, {});
    EXPECT_EQ(both.hr, S_OK);
    EXPECT_EQ(connection_->writes.back(), u"MEAS 10,0.001\n");
    connection_->Answer(u"2.5\n");
    CallResult bothGet = CallOn(socket_.Get(), u"Level", DISPATCH_METHOD | DISPATCH_PROPERTYGET, {});
    ASSERT_EQ(bothGet.hr, S_OK);
    EXPECT_EQ(bothGet.value.dblVal, 2.5);
}

TEST_F(SocketDispatch, InvokeRefusesWhatNoScriptSends) {
    InitMeasure();
    const DISPID id = IdOf(u"Level");
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    _variant_t result;
    EXPECT_EQ(socket_->Invoke(id, IID_NULL, 0, 0x10, &none, &result, nullptr, nullptr), E_INVALIDARG);
    EXPECT_EQ(
        socket_->Invoke(id, vr::uuidof<ISocket>(), 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr),
        DISP_E_UNKNOWNINTERFACE);
    EXCEPINFO excep{};
    EXPECT_EQ(socket_->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, nullptr, &excep, nullptr),
              DISP_E_EXCEPTION);
    EXPECT_EQ(excep.scode, E_INVALIDARG);
    vr::ClearExcepInfo(&excep);
    LPOLESTR two[] = {const_cast<LPOLESTR>(u"Level"), const_cast<LPOLESTR>(u"Other")};
    DISPID ids[2];
    EXPECT_EQ(socket_->GetIDsOfNames(IID_NULL, two, 2, 0, ids), DISP_E_UNKNOWNNAME);
    HRESULT hr = S_OK;
    EXPECT_EQ(IdOf(u"Unknown", &hr), DISPID_UNKNOWN);
    EXPECT_EQ(hr, DISP_E_UNKNOWNNAME);
}

TEST_F(SocketDispatch, NamesEndingInADigitSelectUnlessTheyAreProperties) {
    InitMeasure();
    // Out1 and Level2 are operations: their names are members, never selectors.
    ASSERT_EQ(Call(u"Out1").hr, S_OK);
    ASSERT_EQ(Call(u"Level2").hr, S_OK);
    EXPECT_EQ(connection_->writes, (std::vector<std::u16string>{u"OUT1\n", u"L2\n"}));
    EXPECT_EQ(IdOf(u"Foo2"), 1000);
    // A selector of no property selects nothing and hands out the socket.
    CallResult foo = Get(u"Foo2");
    ASSERT_EQ(foo.hr, S_OK);
    ASSERT_EQ(foo.value.vt, VT_DISPATCH);
    vr::ComPtr<IDispatch> self;
    ASSERT_EQ(socket_->QueryInterface(self.Put()), S_OK);
    EXPECT_EQ(foo.value.pdispVal, self.Get());
    // Invoking the selector DISPID without a name asked for first fails.
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    _variant_t result;
    EXCEPINFO excep{};
    EXPECT_EQ(socket_->Invoke(1000, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, &excep, nullptr),
              DISP_E_EXCEPTION);
    EXPECT_EQ(excep.scode, E_FAIL);
    vr::ClearExcepInfo(&excep);
}

TEST_F(SocketDispatch, SelectorsSetTheirAttributesBeforeTheCall) {
    InitSupply();
    CallResult channel = Get(u"Ch2");
    EXPECT_EQ(channel.hr, S_OK); // "Ch" names no property: nothing is selected
    EXPECT_EQ(AttributeOf(socket_.Get(), u"Device:Channel").lVal, 1);

    CallResult selected = Get(u"Channel2");
    ASSERT_EQ(selected.hr, S_OK);
    ASSERT_EQ(selected.value.vt, VT_DISPATCH);
    EXPECT_EQ(AttributeOf(socket_.Get(), u"Device:Channel").lVal, 2);
    // dev.Channel2.Volt = 3: the selection, then the call on the socket it returned.
    ASSERT_EQ(CallOn(selected.value.pdispVal, u"Volt", DISPATCH_PROPERTYPUT, {_variant_t(LONG{3})}, true).hr,
              S_OK);
    EXPECT_EQ(connection_->writes.back(), u"VOLT2 3.000\r\n");

    // A bare number is the default selector; "Bank1:Channel1" sets both; a plain attribute is no selector.
    CallResult bare = Get(u"1");
    ASSERT_EQ(bare.hr, S_OK);
    EXPECT_EQ(AttributeOf(socket_.Get(), u"Device:Channel").lVal, 1);
    ASSERT_EQ(Get(u"Bank2:Channel2").hr, S_OK);
    EXPECT_EQ(AttributeOf(socket_.Get(), u"Device:Bank").lVal, 2);
    EXPECT_EQ(AttributeOf(socket_.Get(), u"Device:Channel").lVal, 2);
    ASSERT_EQ(Get(u"Tracking5").hr, S_OK);
    EXPECT_EQ(Bstr(AttributeOf(socket_.Get(), u"Device:Tracking")), u"OFF");
}

TEST_F(SocketDispatch, AttributePropertiesGoThroughTheDeviceCollection) {
    InitSupply();
    CallResult tracking = Get(u"Tracking");
    ASSERT_EQ(tracking.hr, S_OK);
    EXPECT_EQ(Bstr(tracking.value), u"OFF");
    ASSERT_EQ(Put(u"Tracking", _variant_t(u"ON")).hr, S_OK);
    EXPECT_EQ(Bstr(Get(u"tracking").value), u"ON");
    CallResult call = Call(u"Tracking");
    EXPECT_EQ(call.scode, DISP_E_MEMBERNOTFOUND);
    // A put with more than the value is refused.
    CallResult extra = CallOn(socket_.Get(), u"Tracking", DISPATCH_PROPERTYPUT,
                              {_variant_t(LONG{1}), _variant_t(u"ON")}, true);
    EXPECT_EQ(extra.scode, E_INVALIDARG);
    EXPECT_THAT(Utf8(extra.description),
                HasSubstr("'Tracking' property: DISPATCH_PROPERTYGET wrong entry parameters"));
    EXPECT_TRUE(connection_->writes.empty());
}

TEST_F(SocketDispatch, OpenAndCloseActionsAreMembersToo) {
    InitMeasure();
    ASSERT_EQ(Call(u"_Open").hr, S_OK);
    EXPECT_EQ(connection_->writes, std::vector<std::u16string>{u"HELLO\n"});
}

TEST_F(SocketDispatch, ScriptArraysArriveAsAppendedValuesAndStayAsTheyWere) {
    InitSupply();
    vr::ComPtr<vr::ComObject<ScriptArray>> array;
    ASSERT_EQ(vr::ComObject<ScriptArray>::Create(&array), S_OK);
    array->items = {_variant_t(LONG{1}), _variant_t(2.5), _variant_t(u"5")};
    ASSERT_EQ(Put(u"Sequence", _variant_t(static_cast<IDispatch*>(array.Get()))).hr, S_OK);
    EXPECT_EQ(connection_->writes.back(), u"LIST1 1,2.5,5\r\n");
    ASSERT_EQ(array->items.size(), 3u);
    EXPECT_EQ(array->items[0].lVal, 1);
    EXPECT_EQ(array->items[1].dblVal, 2.5);
    EXPECT_EQ(Bstr(array->items[2]), u"5");

    // A SAFEARRAY passed by reference, as another kind of engine passes one.
    SAFEARRAY* values = SafeArrayCreateVector(VT_VARIANT, 0, 2);
    for (LONG i = 0; i < 2; ++i) {
        _variant_t value(static_cast<LONG>(i + 7));
        ASSERT_EQ(SafeArrayPutElement(values, &i, &value), S_OK);
    }
    VARIANT byRef;
    VariantInit(&byRef);
    byRef.vt = VT_BYREF | VT_ARRAY | VT_VARIANT;
    byRef.pparray = &values;
    ASSERT_EQ(CallOn(socket_.Get(), u"Sequence", DISPATCH_PROPERTYPUT, {_variant_t(byRef)}, true).hr, S_OK);
    EXPECT_EQ(connection_->writes.back(), u"LIST1 7,8\r\n");
    ASSERT_EQ(SafeArrayDestroy(values), S_OK);

    // An object that is no array is refused.
    vr::ComPtr<IDispatch> self;
    ASSERT_EQ(socket_->QueryInterface(self.Put()), S_OK);
    CallResult notArray = Put(u"Sequence", _variant_t(self.Get()));
    EXPECT_EQ(notArray.scode, E_INVALIDARG);
}

} // namespace
} // namespace plugmartest
