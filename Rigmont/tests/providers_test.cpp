// Connections and sockets built by the manager from its records, and the resources a provider finds.
#include "rigmont_fixture.h"

#include "platform/com/variant.h"

namespace rigmonttest {
namespace {

using ProviderTest = RigmontTest;

TEST_F(ProviderTest, ConnectionIsInitialisedWithItsMergedRecord) {
    UseStore(StandardStore());
    VARIANT supplement = TextArgument(u"Trace=1");
    vr::ComPtr<IVrConnection> connection;
    ASSERT_EQ(manager_->CreateConnection(Bstr(u"Meter"), supplement, connection.Put()), S_OK);
    (void)VariantClear(&supplement);
    ASSERT_TRUE(connection);
    ASSERT_EQ(FakeProviders::connectionInits.size(), 1u);
    const ConnectionInit& init = FakeProviders::connectionInits[0];
    EXPECT_EQ(init.resource, u"TCPIP0::127.0.0.1::5025::SOCKET");
    EXPECT_EQ(init.setup, u"Connection:Simulation=Off,VISA:Timeout=3000,Trace=1");
    EXPECT_EQ(init.timeout, 5000);
    EXPECT_EQ(init.mode, _NO_LOCK);
}

TEST_F(ProviderTest, RecordWithoutServerOrResourceUsesTheDefaultProviderAndItsName) {
    UseStore(R"(<ConfigStore><connections><connection name="ASRL3::INSTR"/></connections></ConfigStore>)");
    vr::ComPtr<IVrConnection> connection;
    ASSERT_EQ(manager_->CreateConnection(Bstr(u"ASRL3::INSTR"), Missing(), connection.Put()), S_OK);
    ASSERT_EQ(FakeProviders::connectionInits.size(), 1u);
    EXPECT_EQ(FakeProviders::connectionInits[0].resource, u"ASRL3::INSTR");
    EXPECT_EQ(FakeProviders::connectionInits[0].setup, u"");
}

TEST_F(ProviderTest, SupplementIsCoercedToTextOrRefused) {
    UseStore(StandardStore());
    VARIANT number;
    VariantInit(&number);
    number.vt = VT_I4;
    number.lVal = 42;
    vr::ComPtr<IVrConnection> connection;
    ASSERT_EQ(manager_->CreateConnection(Bstr(u"ASRL1::INSTR"), number, connection.Put()), S_OK);
    EXPECT_EQ(FakeProviders::connectionInits.back().setup, u"Connection:Simulation=Off,42");

    VARIANT object;
    VariantInit(&object);
    object.vt = VT_UNKNOWN;
    object.punkVal = connection.Get();
    vr::ComPtr<IVrConnection> refused;
    EXPECT_EQ(manager_->CreateConnection(Bstr(u"ASRL1::INSTR"), object, refused.Put()), E_INVALIDARG);
    EXPECT_FALSE(refused);
    EXPECT_NE(ErrorDescription().find(u"can't be coerced to a String (BSTR)."), std::u16string::npos);
    EXPECT_EQ(FakeProviders::connectionInits.size(), 1u);
}

TEST_F(ProviderTest, ProviderFailuresNameTheirCauseAndLeaveNoObject) {
    UseStore(R"(<ConfigStore><connections>)"
             R"(<connection name="Typo"><Server>No.Such.ProgId</Server></connection>)"
             R"(<connection name="Fine"><Server>RigmontTest.Connection</Server></connection>)"
             R"(</connections></ConfigStore>)");
    vr::ComPtr<IVrConnection> connection;
    EXPECT_TRUE(FAILED(manager_->CreateConnection(Bstr(u"Typo"), Missing(), connection.Put())));
    EXPECT_NE(ErrorDescription().find(u"Wrong ProgID 'No.Such.ProgId' of the Connection provider."),
              std::u16string::npos);

    FakeProviders::connectionInitResult = E_ACCESSDENIED;
    EXPECT_EQ(manager_->CreateConnection(Bstr(u"Fine"), Missing(), connection.Put()), E_ACCESSDENIED);
    EXPECT_FALSE(connection);
    // The provider's own report follows as the cause.
    EXPECT_NE(
        ErrorDescription().find(
            u"Couldn't Initialize the Connection provider. The fake instrument refused the connection."),
        std::u16string::npos);
    EXPECT_EQ(FakeProviders::liveConnections, 0);

    EXPECT_EQ(manager_->CreateConnection(Bstr(u"Absent"), Missing(), nullptr), E_POINTER);

    // A socket record names its provider the same way; the message names the socket provider.
    UseStore(R"(<ConfigStore><sockets>)"
             R"(<socket name="Typo"><Server>No.Such.ProgId</Server></socket>)"
             R"(</sockets></ConfigStore>)");
    vr::ComPtr<IVrSocket> socket;
    EXPECT_TRUE(FAILED(manager_->CreateSocket(Bstr(u"Typo"), Missing(), socket.Put())));
    EXPECT_FALSE(socket);
    EXPECT_NE(ErrorDescription().find(u"Wrong ProgID 'No.Such.ProgId' of the Socket provider."),
              std::u16string::npos);
}

TEST_F(ProviderTest, SocketGetsItsConnectionBuiltWithTheWholeSocketSetup) {
    UseStore(StandardStore());
    VARIANT supplement = TextArgument(u"Caller=1");
    vr::ComPtr<IVrSocket> socket;
    ASSERT_EQ(manager_->CreateSocket(Bstr(u"Dmm"), supplement, socket.Put()), S_OK);
    (void)VariantClear(&supplement);
    ASSERT_EQ(FakeProviders::socketInits.size(), 1u);
    const SocketInit& init = FakeProviders::socketInits[0];
    EXPECT_EQ(init.setup, u"AdapterFile=dmm.daf,Range=10,Caller=1");
    EXPECT_EQ(init.connectionType, VT_UNKNOWN);
    ASSERT_TRUE(init.connection);
    // Connection "_default", connection record, socket "_default", socket record, caller.
    EXPECT_EQ(FakeProviders::SetupOf(init.connection.Get()),
              u"Connection:Simulation=Off,VISA:Timeout=3000,AdapterFile=dmm.daf,Range=10,Caller=1");
    EXPECT_EQ(FakeProviders::connectionInits[0].resource, u"TCPIP0::127.0.0.1::5025::SOCKET");

    // The manager keeps nothing: the socket holds its connection, and both go with the socket.
    FakeProviders::socketInits.clear();
    socket = nullptr;
    EXPECT_EQ(FakeProviders::liveSockets, 0);
    EXPECT_EQ(FakeProviders::liveConnections, 0);
}

TEST_F(ProviderTest, SocketWhoseConnectionRecordIsMissingIsNotBuilt) {
    UseStore(StandardStore());
    vr::ComPtr<IVrSocket> socket;
    EXPECT_EQ(manager_->CreateSocket(Bstr(u"Orphan"), Missing(), socket.Put()), DISP_E_UNKNOWNNAME);
    EXPECT_FALSE(socket);
    EXPECT_NE(ErrorDescription().find(u"'Nowhere' connection wasn't found in the ConfigStore File."),
              std::u16string::npos);
    EXPECT_TRUE(FakeProviders::socketInits.empty());
    EXPECT_EQ(FakeProviders::liveSockets, 0);
}

TEST_F(ProviderTest, FailingSocketInitReleasesSocketAndConnection) {
    UseStore(StandardStore());
    FakeProviders::socketInitResult = E_FAIL;
    vr::ComPtr<IVrSocket> socket;
    EXPECT_EQ(manager_->CreateSocket(Bstr(u"Dmm"), Missing(), socket.Put()), E_FAIL);
    EXPECT_NE(ErrorDescription().find(u"Couldn't Initialize the Socket provider."), std::u16string::npos);
    FakeProviders::socketInits.clear();
    EXPECT_EQ(FakeProviders::liveSockets, 0);
    EXPECT_EQ(FakeProviders::liveConnections, 0);
}

TEST_F(ProviderTest, FindResourcesAsksAnUninitialisedProviderForEverything) {
    UseStore(StandardStore());
    VARIANT resources;
    VariantInit(&resources);
    ASSERT_EQ(manager_->FindResources(Bstr(u""), Bstr(u"connection"), &resources), S_OK);
    EXPECT_EQ(StringsOf(resources), (std::vector<std::u16string>{u"TCPIP0::127.0.0.1::5025::SOCKET"}));
    (void)VariantClear(&resources);
    ASSERT_EQ(manager_->FindResources(Bstr(u"RigmontTest.Connection"), Bstr(u"connection"), &resources),
              S_OK);
    (void)VariantClear(&resources);
    EXPECT_EQ(FakeProviders::findExpressions, (std::vector<std::u16string>{u"", u""}));
    EXPECT_TRUE(FakeProviders::connectionInits.empty());
    EXPECT_EQ(FakeProviders::liveConnections, 0);

    EXPECT_EQ(manager_->FindResources(Bstr(u""), Bstr(u"Connection"), &resources), E_INVALIDARG);
    EXPECT_NE(ErrorDescription().find(u"Unknown Resource Type 'Connection'."), std::u16string::npos);
    EXPECT_TRUE(FAILED(manager_->FindResources(Bstr(u"No.Such.ProgId"), Bstr(u"connection"), &resources)));
    EXPECT_NE(ErrorDescription().find(u"Wrong ProgID 'No.Such.ProgId' of the Connection provider."),
              std::u16string::npos);
}

} // namespace
} // namespace rigmonttest

namespace rigmonttest {
namespace {

// Scripts call the manager by name through IDispatch, leaving the optional setup string out.
TEST_F(ProviderTest, ScriptsReachTheMembersByName) {
    UseStore(StandardStore());
    vr::ComPtr<IDispatch> dispatch;
    ASSERT_EQ(manager_->QueryInterface(IID_IDispatch, dispatch.PutVoid()), S_OK);
    const char16_t* names[] = {u"createconnection", u"GetRecordNames"};
    DISPID ids[2] = {};
    for (int i = 0; i < 2; ++i) {
        LPOLESTR name = const_cast<LPOLESTR>(names[i]);
        ASSERT_EQ(dispatch->GetIDsOfNames(IID_NULL, &name, 1, 0, &ids[i]), S_OK);
    }
    EXPECT_EQ(ids[0], 1);
    EXPECT_EQ(ids[1], 6);

    VARIANT argument = TextArgument(u"Meter");
    DISPPARAMS params{&argument, nullptr, 1, 0};
    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(dispatch->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr), S_OK);
    EXPECT_TRUE((result.vt == VT_DISPATCH || result.vt == VT_UNKNOWN) && result.punkVal);
    ASSERT_EQ(FakeProviders::connectionInits.size(), 1u);
    EXPECT_EQ(FakeProviders::connectionInits[0].setup, u"Connection:Simulation=Off,VISA:Timeout=3000");
    (void)VariantClear(&result);
    (void)VariantClear(&argument);

    argument = TextArgument(u"Unknown");
    EXCEPINFO exception{};
    EXPECT_EQ(dispatch->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &params, &result, &exception, nullptr),
              DISP_E_EXCEPTION);
    EXPECT_EQ(exception.scode, DISP_E_UNKNOWNNAME);
    EXPECT_NE(std::u16string(vr::BstrView(exception.bstrDescription))
                  .find(u"'Unknown' connection wasn't found in the ConfigStore File."),
              std::u16string::npos);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    (void)VariantClear(&argument);

    argument = TextArgument(u"socket");
    ASSERT_EQ(dispatch->Invoke(6, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr), S_OK);
    EXPECT_EQ(StringsOf(result), (std::vector<std::u16string>{u"Dmm", u"Orphan"}));
    (void)VariantClear(&result);
    (void)VariantClear(&argument);
}

} // namespace
} // namespace rigmonttest
