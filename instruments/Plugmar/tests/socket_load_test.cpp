// The socket's life: Init and Close, adapter loading and its failures, QueryString, GetInfo and release.
#include "inline_adapter.h"
#include "socket_fixture.h"

#include "platform/base/text.h"
#include "platform/com/typelib.h"

#include <filesystem>

#include <gmock/gmock.h>

namespace plugmartest {
namespace {

using testing::HasSubstr;

std::string Utf8(const std::u16string& text) {
    return vr::ToUtf8(text);
}

HRESULT LoadInfo(ISocket* socket, const std::u16string& path) {
    vr::ComPtr<IVrSocketProcessor> processor;
    if (HRESULT hr = socket->QueryInterface(processor.Put()); FAILED(hr)) {
        return hr;
    }
    BSTR options = vr::AllocBstr(u"AdapterFile=" + path);
    HRESULT hr = processor->LoadInfo(options);
    SysFreeString(options);
    return hr;
}

const SocketInfo* GetInfo(ISocket* socket) {
    vr::ComPtr<IVrSocketProcessor> processor;
    EXPECT_EQ(socket->QueryInterface(processor.Put()), S_OK);
    intptr_t address = 0;
    EXPECT_EQ(processor->GetInfo(nullptr, &address), S_OK);
    return reinterpret_cast<const SocketInfo*>(address);
}

std::vector<std::string> MemberNames(const SocketInfo& info) {
    std::vector<std::string> names;
    for (const SocketMethodInfo& member : info.methods) {
        names.push_back(vr::BstrToUtf8(member.name) + "/" + std::to_string(member.invokeKind));
    }
    return names;
}

using SocketLoad = SocketTest;

TEST_F(SocketLoad, InitWithoutAdapterHoldsTheConnectionAndOffersOnlyItsOwnMembers) {
    ASSERT_EQ(InitSocket(socket_.Get(), u"", static_cast<IVrConnection*>(connection_.Get())), S_OK);
    vr::ComPtr<IVrConnection> held;
    ASSERT_EQ(socket_->get_Connection(held.Put()), S_OK);
    EXPECT_EQ(held.Get(), static_cast<IVrConnection*>(connection_.Get()));
    EXPECT_EQ(IdOf(u"QueryString"), 4);
    EXPECT_EQ(IdOf(u"attributes"), 6);
    HRESULT hr = S_OK;
    EXPECT_EQ(IdOf(u"Volt", &hr), DISPID_UNKNOWN);
    EXPECT_EQ(hr, DISP_E_UNKNOWNNAME);
    EXPECT_TRUE(connection_->writes.empty());
}

TEST_F(SocketLoad, InitRefusesWhatIsNoConnection) {
    BSTR empty = vr::AllocBstr(u"");
    EXPECT_EQ(socket_->Init(empty, _variant_t(LONG{5})), E_FAIL);
    EXPECT_THAT(Utf8(ErrorDescription()), HasSubstr("Wrong VARIANT type of entry vpIVrConnection = '5'."));
    vr::ComPtr<vr::ComObject<ScriptArray>> notAConnection;
    ASSERT_EQ(vr::ComObject<ScriptArray>::Create(&notAConnection), S_OK);
    EXPECT_EQ(socket_->Init(empty, _variant_t(static_cast<IDispatch*>(notAConnection.Get()))), E_FAIL);
    EXPECT_THAT(Utf8(ErrorDescription()),
                HasSubstr("The entry vpIVrConnection object doesn't implement IVrConnection interface."));
    SysFreeString(empty);
}

TEST_F(SocketLoad, InitRunsTheOpenCommandAndReleaseRunsTheCloseCommand) {
    ASSERT_EQ(InitWithAdapter("plugmar_powersupply.daf"), S_OK) << Utf8(ErrorDescription());
    EXPECT_EQ(connection_->writes, std::vector<std::u16string>{u"*CLS\r\n"});
    socket_ = nullptr;
    EXPECT_EQ(connection_->writes,
              (std::vector<std::u16string>{u"*CLS\r\n", u"OUTP1 0\r\n", u"OUTP2 0\r\n"}));
    EXPECT_EQ(connection_->closes, 1);
}

TEST_F(SocketLoad, EveryCloseRunsTheCloseCommandAgain) {
    ASSERT_EQ(InitWithAdapter("plugmar_multimeter.daf"), S_OK) << Utf8(ErrorDescription());
    // The range's first value goes to the instrument while the adapter loads, before the open command.
    EXPECT_EQ(connection_->writes,
              (std::vector<std::u16string>{u"RANGE 10.000\n", u"*RST\n", u"DISP OFF\n"}));
    EXPECT_EQ(socket_->Close(), S_OK);
    EXPECT_EQ(socket_->Close(), S_OK);
    EXPECT_EQ(connection_->closes, 2);
    EXPECT_EQ(connection_->writes.size(), 5u);
    EXPECT_EQ(connection_->writes.back(), u"DISP ON\n");
}

TEST_F(SocketLoad, AdapterFaultsFailTheLoadWithTheirMessages) {
    struct Case {
        std::string device;
        std::string commands;
        HRESULT hr;
        std::string message;
    };
    const Case cases[] = {
        {"<device open='Start'/>", "", E_FAIL,
         "'device' element: Attribute 'open' refering to undefined 'Start' command."},
        {"<device speed='1'/>", "", E_FAIL, "Unknown attribute 'speed' within the 'device' element."},
        {"",
         "<operation name='A'><input value='A'/></operation><operation name='A'><input "
         "value='B'/></operation>",
         E_FAIL, "The 'A' command has multiple definitions."},
        {"", "<operation><input value='A'/></operation>", E_FAIL,
         "Not all global scoped command elements have a 'name' attribute."},
        {"", "<operation name='A'><input/></operation>", E_FAIL,
         "Operation 'A': The 'input' element must have either 'value' or 'message' attribute."},
        {"", "<operation name='A'><input value='x' speed='1'/></operation>", E_FAIL,
         "Unknown attribute 'speed' within 'input' element of 'A' operation."},
        {"", "<operation name='A' parameterOrder='nothing'><input message='msg_Measure'/></operation>",
         E_FAIL, "Couldn't determine type of parameter ':nothing' within the 'A' operation element."},
        {"", "<action name='B'><reference name='Missing'/></action>", E_FAIL,
         "Reference to undefined 'Missing' command in 'reference/@name' attribute of 'B' action."},
        {"",
         "<operation name='A' parameterOrder='range resolution'><input message='msg_Measure'/>"
         "<parameters><parameter name='speed' reference='in:range'/></parameters></operation>",
         E_FAIL,
         "The 'A' command: 'parameters/parameter/@name' attribute contains 'speed', which is undefined"},
    };
    int n = 0;
    for (const Case& c : cases) {
        vr::ComPtr<ISocket> socket = NewSocket();
        const std::u16string path =
            WriteAdapter("case" + std::to_string(n++) + ".daf", c.device, "", c.commands);
        EXPECT_EQ(LoadInfo(socket.Get(), path), c.hr) << c.message;
        EXPECT_THAT(Utf8(ErrorDescription()), HasSubstr(c.message));
    }
}

TEST_F(SocketLoad, AFileThatIsNoAdapterCannotBeRead) {
    EXPECT_EQ(LoadInfo(socket_.Get(), DataPath("no_such_adapter.daf")), TYPE_E_INVDATAREAD);
    EXPECT_THAT(Utf8(ErrorDescription()), HasSubstr("Couldn't load Adapter '"));
}

TEST_F(SocketLoad, ASecondLoadIntoTheSameSocketFindsItsCommandsDefined) {
    ASSERT_EQ(LoadInfo(socket_.Get(), DataPath("plugmar_multimeter.daf")), S_OK) << Utf8(ErrorDescription());
    EXPECT_EQ(LoadInfo(socket_.Get(), DataPath("plugmar_multimeter.daf")), E_FAIL);
    EXPECT_THAT(Utf8(ErrorDescription()), HasSubstr("command has multiple definitions."));
}

TEST_F(SocketLoad, SetAndGetOperationsMakeOneProperty) {
    ASSERT_EQ(LoadInfo(socket_.Get(), DataPath("plugmar_powersupply.daf")), S_OK) << Utf8(ErrorDescription());
    const DISPID volt = IdOf(u"Volt");
    EXPECT_GE(volt, 1001);
    EXPECT_EQ(IdOf(u"VOLT"), volt);
    EXPECT_NE(IdOf(u"Output"), volt);
    // Operations nested in an action are named after it and are no members: such a name is only a selector.
    EXPECT_EQ(IdOf(u"_Close:Cmd1"), 1000);
    EXPECT_EQ(IdOf(u"_Close:Cmd2"), 1000);
    EXPECT_GE(IdOf(u"_Close"), 1001);
    // Command properties come before attribute properties.
    EXPECT_LT(IdOf(u"Volt"), IdOf(u"Channel"));
}

TEST_F(SocketLoad, QueryStringReadsWithItsDefaultsUnlessGiven) {
    ASSERT_EQ(InitSocket(socket_.Get(), u"", static_cast<IVrConnection*>(connection_.Get())), S_OK);
    connection_->Answer(u"VORNIC,X\n");
    connection_->Answer(u"12");
    CallResult first = Call(u"QueryString", {_variant_t(u"*IDN?\n")});
    ASSERT_EQ(first.hr, S_OK);
    EXPECT_EQ(std::u16string(vr::BstrView(first.value.bstrVal)), u"VORNIC,X\n");
    CallResult second = Call(
        u"QueryString", {_variant_t(u"X?\n"), _variant_t(u"\n"), _variant_t(u"250"), _variant_t(LONG{2})});
    ASSERT_EQ(second.hr, S_OK);
    ASSERT_EQ(connection_->reads.size(), 2u);
    EXPECT_EQ(connection_->reads[0].term, u"");
    EXPECT_EQ(connection_->reads[0].timeout, -1);
    EXPECT_EQ(connection_->reads[0].count, -1);
    EXPECT_EQ(connection_->reads[1].term, u"\n");
    EXPECT_EQ(connection_->reads[1].timeout, 250);
    EXPECT_EQ(connection_->reads[1].count, 2);
    EXPECT_EQ(connection_->writes, (std::vector<std::u16string>{u"*IDN?\n", u"X?\n"}));
    CallResult wrong = Call(u"QueryString", {_variant_t(u"X?\n"), _variant_t(u"\n"), _variant_t(u"soon")});
    EXPECT_EQ(wrong.hr, DISP_E_EXCEPTION);
    EXPECT_THAT(Utf8(wrong.description),
                HasSubstr("Entry vlTimeout 'soon' can't be converted to the number."));
}

TEST_F(SocketLoad, GetInfoDescribesTheMembersWithoutOpenAndClose) {
    ASSERT_EQ(LoadInfo(socket_.Get(), DataPath("plugmar_powersupply.daf")), S_OK) << Utf8(ErrorDescription());
    const SocketInfo* info = GetInfo(socket_.Get());
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(vr::BstrToUtf8(info->name), "plugmar_powersupply");
    EXPECT_EQ(vr::BstrToUtf8(info->interfaceName), "plugmar_powersupply");
    EXPECT_EQ(vr::BstrToUtf8(info->typeLibraryPath), vr::ToUtf8(DataPath("bin/plugmar_powersupply.daf.tlb")));
    std::vector<std::string> names = MemberNames(*info);
    EXPECT_THAT(names, testing::ElementsAre("QueryString/1", "connection/2", "attributes/2", "Apply/1",
                                            "Bank/2", "Bank/4", "Channel/2", "Channel/4", "Clear/1",
                                            "Output/2", "Output/4", "Sequence/2", "Sequence/4", "Tracking/2",
                                            "Tracking/4", "Volt/2", "Volt/4"));
    const SocketMethodInfo& query = info->methods[0];
    EXPECT_EQ(query.dispId, 4);
    EXPECT_EQ(query.returnType, VT_BSTR);
    ASSERT_EQ(query.parameters.size(), 4u);
    EXPECT_EQ(query.parameters[1].type, VT_VARIANT);
    EXPECT_EQ(query.parameters[1].defaultValue.vt, VT_I4);
    auto find = [&](const std::string& name) {
        for (const SocketMethodInfo& member : info->methods) {
            if (vr::BstrToUtf8(member.name) + "/" + std::to_string(member.invokeKind) == name) {
                return &member;
            }
        }
        return static_cast<const SocketMethodInfo*>(nullptr);
    };
    const SocketMethodInfo* putVolt = find("Volt/4");
    ASSERT_NE(putVolt, nullptr);
    EXPECT_EQ(putVolt->returnType, VT_VOID);
    ASSERT_EQ(putVolt->parameters.size(), 2u);
    EXPECT_EQ(vr::BstrToUtf8(putVolt->parameters[0].name), "channel");
    EXPECT_EQ(putVolt->parameters[0].type, VT_VARIANT); // it has a default
    EXPECT_EQ(putVolt->parameters[1].type, VT_R8);
    EXPECT_EQ(putVolt->parameters[1].flags, 1);
    EXPECT_EQ(find("Output/2")->returnType, VT_I4); // enumerated whole numbers
    const SocketMethodInfo* putChannel = find("Channel/4");
    EXPECT_EQ(putChannel->returnType, VT_VOID);
    ASSERT_EQ(putChannel->parameters.size(), 1u);
    EXPECT_EQ(vr::BstrToUtf8(putChannel->parameters[0].name), "NotUsedParamName");
    EXPECT_EQ(putChannel->parameters[0].type, VT_I4);
    EXPECT_EQ(find("Channel/2")->dispId, putChannel->dispId);
}

TEST_F(SocketLoad, GetInfoHandsOutTheWholeAddress) {
    ASSERT_EQ(LoadInfo(socket_.Get(), DataPath("plugmar_multimeter.daf")), S_OK) << Utf8(ErrorDescription());
    // Read through IDispatch too: the address travels as a 64-bit value, never cut to 32 bits.
    vr::ComPtr<IVrSocketProcessor> processor;
    ASSERT_EQ(socket_->QueryInterface(processor.Put()), S_OK);
    CallResult viaDispatch = CallOn(processor.Get(), u"GetInfo", DISPATCH_METHOD, {_variant_t(u"")});
    ASSERT_EQ(viaDispatch.hr, S_OK);
    ASSERT_EQ(viaDispatch.value.vt, VT_I8);
    const auto* info = reinterpret_cast<const SocketInfo*>(static_cast<intptr_t>(viaDispatch.value.llVal));
    EXPECT_EQ(info, GetInfo(socket_.Get()));
    EXPECT_EQ(vr::BstrToUtf8(info->name), "plugmar_multimeter");
}

} // namespace
} // namespace plugmartest

namespace plugmartest {
namespace {

std::u16string TypeName(ITypeInfo* info) {
    BSTR name = nullptr;
    EXPECT_EQ(info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr), S_OK);
    std::u16string text(vr::BstrView(name));
    SysFreeString(name);
    return text;
}

// Writes bin/<adapter file name>.tlb next to the adapter with one dispatch interface of that name.
void WriteAdapterTypeLibrary(const std::u16string& adapterPath, const std::u16string& interfaceName) {
    std::filesystem::path adapter(vr::ToUtf8(adapterPath));
    std::filesystem::create_directories(adapter.parent_path() / "bin");
    const std::u16string file =
        vr::FromUtf8((adapter.parent_path() / "bin" / (adapter.filename().string() + ".tlb")).string());
    vr::ComPtr<ICreateTypeLib> library;
    ASSERT_EQ(CreateTypeLib(SYS_WIN64, file.c_str(), library.Put()), S_OK);
    ASSERT_EQ(library->SetName(const_cast<LPOLESTR>(u"DeviceLib")), S_OK);
    vr::ComPtr<ICreateTypeInfo> type;
    ASSERT_EQ(
        library->CreateTypeInfo(const_cast<LPOLESTR>(interfaceName.c_str()), TKIND_DISPATCH, type.Put()),
        S_OK);
    ASSERT_EQ(type->SetGuid(vr::MakeGuid("0F4C2B7E-9A3D-4E51-8C6B-2D7E1A9F3B40")), S_OK);
    ASSERT_EQ(type->LayOut(), S_OK);
    ASSERT_EQ(library->SaveAllChanges(), S_OK);
}

TEST_F(SocketLoad, GetTypeInfoHandsOutTheAdaptersTypeWhenItsLibraryLoads) {
    const std::u16string without =
        WriteAdapter("plain.daf", "", "", "<operation name='A'><input value='A'/></operation>");
    ASSERT_EQ(LoadInfo(socket_.Get(), without), S_OK);
    vr::ComPtr<ITypeInfo> fallback;
    ASSERT_EQ(socket_->GetTypeInfo(0, 0, fallback.Put()), S_OK);
    EXPECT_EQ(TypeName(fallback.Get()), u"ISocket");

    const std::u16string with =
        WriteAdapter("dev.daf", "", "", "<operation name='A'><input value='A'/></operation>");
    WriteAdapterTypeLibrary(with, u"IDev");
    vr::ComPtr<ISocket> socket = NewSocket();
    ASSERT_EQ(LoadInfo(socket.Get(), with), S_OK);
    vr::ComPtr<ITypeInfo> adapterType;
    ASSERT_EQ(socket->GetTypeInfo(0, 0, adapterType.Put()), S_OK);
    EXPECT_EQ(TypeName(adapterType.Get()), u"IDev");
}

} // namespace
} // namespace plugmartest
