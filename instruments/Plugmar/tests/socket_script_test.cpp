// The socket in a real script: the JScript engine reaches it as a named item, exactly as test scripts do
// (names looked up on every access, property reads and assignments, calls, selectors, script arrays).
#include "socket_fixture.h"

#include "platform/base/text.h"
#include "platform/com/activation.h"
#include "platform/scripting/activscp.h"
#include "tests/support/device_site.h"

namespace plugmartest {
namespace {

using vrtest::DeviceSite;

class SocketScript : public SocketTest {
protected:
    void SetUp() override {
        SocketTest::SetUp();
        ASSERT_EQ(InitWithAdapter("plugmar_powersupply.daf"), S_OK) << vr::ToUtf8(ErrorDescription());
        connection_->writes.clear();
        ASSERT_EQ(vr::ComObject<DeviceSite>::Create(&site_), S_OK);
        site_->device = socket_.Get();
        CLSID clsid{};
        ASSERT_EQ(CLSIDFromProgID(u"JScript", &clsid), S_OK);
        ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, vr::uuidof<IActiveScript>(),
                                   engine_.PutVoid()),
                  S_OK);
        ASSERT_EQ(engine_->QueryInterface(parse_.Put()), S_OK);
        ASSERT_EQ(engine_->SetScriptSite(site_.Get()), S_OK);
        ASSERT_EQ(parse_->InitNew(), S_OK);
        ASSERT_EQ(engine_->AddNamedItem(u"dev", SCRIPTITEM_ISVISIBLE), S_OK);
    }
    void TearDown() override {
        if (engine_) {
            EXPECT_EQ(engine_->Close(), S_OK);
        }
        parse_ = nullptr;
        engine_ = nullptr;
        site_ = nullptr;
        SocketTest::TearDown();
    }
    HRESULT Run(const char16_t* code) {
        return parse_->ParseScriptText(code, nullptr, nullptr, nullptr, 0, 1, SCRIPTTEXT_ISVISIBLE, nullptr,
                                       nullptr);
    }
    std::u16string Eval(const char16_t* expression) {
        _variant_t value;
        if (FAILED(parse_->ParseScriptText(expression, nullptr, nullptr, nullptr, 0, 1,
                                           SCRIPTTEXT_ISEXPRESSION, &value, nullptr)) ||
            FAILED(VariantChangeType(&value, &value, 0, VT_BSTR))) {
            return u"<failed>";
        }
        return std::u16string(vr::BstrView(value.bstrVal));
    }

    vr::ComPtr<vr::ComObject<DeviceSite>> site_;
    vr::ComPtr<IActiveScript> engine_;
    vr::ComPtr<IActiveScriptParse> parse_;
};

TEST_F(SocketScript, AssignmentsReadsSelectorsAndArrays) {
    connection_->Answer(u"3.300\n");
    connection_->Answer(u"1\n");
    ASSERT_EQ(Run(u"dev.Volt = 12.5;\n"
                  u"dev.Channel2.Volt = 3.3;\n"
                  u"var v = dev.Volt;\n"
                  u"dev.Output = 'ON';\n"
                  u"var state = dev.Output;\n"
                  u"var steps = [1, 2.5, 5];\n"
                  u"dev.Sequence = steps;\n"),
              S_OK)
        << vr::ToUtf8(site_->lastError);
    EXPECT_EQ(connection_->writes,
              (std::vector<std::u16string>{u"VOLT1 12.500\r\n", u"VOLT2 3.300\r\n", u"VOLT2?\r\n",
                                           u"OUTP2 1\r\n", u"OUTP2?\r\n", u"LIST2 1,2.5,5\r\n"}));
    EXPECT_EQ(Eval(u"v"), u"3.3");
    EXPECT_EQ(Eval(u"state"), u"ON");
    EXPECT_EQ(Eval(u"steps.join(';')"), u"1;2.5;5");
}

TEST_F(SocketScript, FailuresBecomeScriptErrorsWithTheSocketsMessage) {
    EXPECT_FALSE(SUCCEEDED(Run(u"dev.Volt = 'high';\n")));
    EXPECT_NE(site_->lastError.find(u"'set_Volt:msg_SetVolt': Entry Parameters din't match the Schema."),
              std::u16string::npos)
        << vr::ToUtf8(site_->lastError);
    EXPECT_EQ(Eval(u"(function() { try { dev.Volt; return 'read'; } catch (e) { return 'caught'; } })()"),
              u"caught");
}

} // namespace
} // namespace plugmartest
