// Typed proxies across apartments: calls by typed methods reach the object on its own thread with the
// argument rules of its dispatch table, results and errors come back typed, and interfaces cross both ways.
#include "fake_objects.h"

#include "TestRunTime/Scripvane/include/scripvane.h"
#include "attributes/include/tabrisk.h"
#include "common/proxies/SystemProxies.h"
#include "platform/base/text.h"
#include "platform/base/win32errors.h"
#include "platform/com/activation.h"
#include "platform/com/activation_internal.h"
#include "platform/com/comutil.h"
#include "platform/com/dual_proxy.h"
#include "platform/com/tests/apartment_thread.h"
#include "tests/support/com_holders.h"

#include <gtest/gtest.h>

namespace proxytest {
namespace {

using vrtest::TextOf;

// The test thread is a single-threaded apartment, so that call-backs into its objects have a thread to run
// on.
class TypedProxyTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
        vr::RegisterSystemProxies();
    }
    void TearDown() override { CoUninitialize(); }

    // An object made on the far thread, reached from here through its typed proxy.
    template <class I>
    vr::ComPtr<I> FarObject(const std::function<vr::ComPtr<I>()>& make) {
        vr::ComPtr<I> far;
        EXPECT_EQ(far_.Make<I>(make, &far), S_OK);
        return far;
    }
    vr::ComPtr<IVrAttributeCollection> FarCollection() {
        return FarObject<IVrAttributeCollection>([] { return NewCollection(); });
    }
    static vr::ComPtr<IVrAttributeCollection> NewCollection() {
        vr::ComPtr<IVrAttributeCollection> made;
        EXPECT_EQ(CoCreateInstance(CLSID_AttributeCollection, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IVrAttributeCollection, made.PutVoid()),
                  S_OK);
        return made;
    }

    vrtest::ApartmentThread far_;
};

TEST_F(TypedProxyTest, EveryInterfaceHasItsProxyAndCallsRunOnTheObjectsThread) {
    for (const IID* iid :
         {&IID_IVrConnection, &IID_IVrSocket, &IID_IVrSocketProcessor, &IID_IVrAttributeCollection,
          &IID_IVrAttribute, &IID_IVrRigmont, &IID_IVrTestEngine, &IID_IScrivon}) {
        EXPECT_NE(vr::FindDualProxyFactory(*iid), nullptr);
    }
    vr::ComPtr<IVrAttributeCollection> direct = NewCollection();
    vr::ComPtr<IVrAttributeCollection> far = FarCollection();
    ASSERT_TRUE(far);
    // The proxy is no object of this thread: the real collection answers the same calls here directly.
    EXPECT_NE(far.Get(), direct.Get());
    _bstr_t name(u"Owner:Level");
    ASSERT_EQ(far->AddAttribute(name, _variant_t(LONG{5})), S_OK);
    ASSERT_EQ(far->SetAttribute(name, _variant_t(u"7")), S_OK);
    _variant_t value;
    ASSERT_EQ(far->GetAttribute(name, &value), S_OK);
    EXPECT_EQ(value.vt, VT_I4); // the value takes the attribute's type
    EXPECT_EQ(value.lVal, 7);
    VARIANT_BOOL has = VARIANT_FALSE;
    ASSERT_EQ(far->HasAttribute(_bstr_t(u"level"), &has), S_OK);
    EXPECT_EQ(has, VARIANT_TRUE);
    ASSERT_EQ(far->HasAttribute(_bstr_t(u"Depth"), &has), S_OK);
    EXPECT_EQ(has, VARIANT_FALSE);
    LONG count = 0;
    ASSERT_EQ(far->get_Count(&count), S_OK);
    EXPECT_EQ(count, 1);
    // An interface result is a typed proxy of its own.
    vr::ComPtr<IVrAttribute> attribute;
    ASSERT_EQ(far->get_Item(0, attribute.Put()), S_OK);
    ASSERT_TRUE(attribute);
    BSTR qualified = nullptr;
    ASSERT_EQ(attribute->get_Name(&qualified), S_OK);
    EXPECT_EQ(TextOf(qualified), u"Owner:Level");
    SysFreeString(qualified);
}

TEST_F(TypedProxyTest, AFailureComesBackAsTheObjectsOwnErrorWithItsInformation) {
    vr::ComPtr<IVrAttributeCollection> far = FarCollection();
    ASSERT_TRUE(far);
    _variant_t value;
    HRESULT hr = far->GetAttribute(_bstr_t(u"Nowhere"), &value);
    EXPECT_TRUE(FAILED(hr));
    EXPECT_NE(hr, DISP_E_EXCEPTION);
    EXPECT_EQ(value.vt, VT_EMPTY);
    vr::ComPtr<IErrorInfo> info;
    ASSERT_EQ(GetErrorInfo(0, info.Put()), S_OK);
    BSTR description = nullptr;
    ASSERT_EQ(info->GetDescription(&description), S_OK);
    EXPECT_FALSE(TextOf(description).empty());
    SysFreeString(description);

    // The information is the object's own, not rebuilt from an EXCEPINFO (which has no GUID).
    vr::ComPtr<IVrRigmont> rigmont = FarObject<IVrRigmont>([] { return MakeFakeRigmont(); });
    vr::ComPtr<IVrConnection> connection;
    EXPECT_EQ(rigmont->CreateConnection(_bstr_t(u"GPIB"), _variant_t(), connection.Put()), E_INVALIDARG);
    EXPECT_FALSE(connection);
    ASSERT_EQ(GetErrorInfo(0, info.Put()), S_OK);
    ASSERT_EQ(info->GetDescription(&description), S_OK);
    EXPECT_EQ(TextOf(description), u"no record 'GPIB'");
    SysFreeString(description);
    GUID guid = GUID_NULL;
    ASSERT_EQ(info->GetGUID(&guid), S_OK);
    EXPECT_EQ(guid, IID_IVrRigmont);
}

TEST_F(TypedProxyTest, ACollectionFromThisThreadIsCalledBackDuringTheFarCall) {
    // The far collection resolves a name through a contained collection that lives here: the call-back runs
    // on this thread while it waits for its own call.
    vr::ComPtr<IVrAttributeCollection> here = NewCollection();
    ASSERT_EQ(here->AddAttribute(_bstr_t(u"Inner:Depth"), _variant_t(LONG{3})), S_OK);
    vr::ComPtr<IVrAttributeCollection> far = FarCollection();
    ASSERT_EQ(far->AddContainedAttributes(here.Get(), _variant_t()), S_OK);
    _variant_t value;
    ASSERT_EQ(far->GetAttribute(_bstr_t(u"Inner:Depth"), &value), S_OK);
    EXPECT_EQ(value.lVal, 3);
    ASSERT_EQ(far->SetAttribute(_bstr_t(u"Depth"), _variant_t(LONG{9})), S_OK);
    _variant_t mirrored;
    ASSERT_EQ(here->GetAttribute(_bstr_t(u"Depth"), &mirrored), S_OK);
    EXPECT_EQ(mirrored.lVal, 9);
}

TEST_F(TypedProxyTest, AProxyHandedBackHomeIsTheObjectAgain) {
    vr::ComPtr<IVrAttributeCollection> original;
    vr::ComPtr<IVrAttributeCollection> far = FarObject<IVrAttributeCollection>([&] {
        original = NewCollection();
        return original;
    });
    vr::ComPtr<IDispatch> asDispatch;
    ASSERT_EQ(far.As(&asDispatch), S_OK);
    EXPECT_EQ(static_cast<IUnknown*>(asDispatch.Get()), static_cast<IUnknown*>(far.Get()));
    IUnknown* arrived = nullptr;
    ASSERT_EQ(far_.Run([&] {
        return vr::MarshalInterface(IID_IVrAttributeCollection, far.Get(), vr::ThisApartment(),
                                    reinterpret_cast<void**>(&arrived));
    }),
              S_OK);
    EXPECT_EQ(arrived, static_cast<IUnknown*>(original.Get()));
    ASSERT_EQ(far_.Run([&] {
        arrived->Release();
        original = nullptr;
        return S_OK;
    }),
              S_OK);
}

TEST_F(TypedProxyTest, InOutArgumentsOptionalsAndTypedResultsOfTheHardwareManager) {
    vr::ComPtr<IVrRigmont> rigmont = FarObject<IVrRigmont>([] { return MakeFakeRigmont(); });
    ASSERT_TRUE(rigmont);
    ASSERT_EQ(rigmont->SaveRecord(_bstr_t(u"connection"), _bstr_t(u"Scope"), nullptr,
                                  _bstr_t(u"TCPIP::127.0.0.1::5025::SOCKET"), nullptr),
              S_OK);
    // Two in-out texts and the result.
    BSTR server = SysAllocString(u"old server");
    BSTR resource = nullptr;
    BSTR setup = nullptr;
    ASSERT_EQ(rigmont->LoadRecord(_bstr_t(u"connection"), _bstr_t(u"Scope"), _bstr_t(u"Timeout=3"), &server,
                                  &resource, &setup),
              S_OK);
    EXPECT_EQ(TextOf(server), u"connection/Scope");
    EXPECT_EQ(TextOf(resource), u"TCPIP::127.0.0.1::5025::SOCKET");
    EXPECT_EQ(TextOf(setup), u"Timeout=3");
    SysFreeString(server);
    SysFreeString(resource);
    SysFreeString(setup);

    _variant_t names;
    ASSERT_EQ(rigmont->GetRecordNames(_bstr_t(u"connection"), &names), S_OK);
    ASSERT_EQ(names.vt, VT_ARRAY | VT_VARIANT);
    EXPECT_EQ(names.parray->rgsabound[0].cElements, 1u);

    // An interface result made on the far thread, and a connection whose enum and text results are typed.
    vr::ComPtr<IVrConnection> connection;
    ASSERT_EQ(rigmont->CreateConnection(_bstr_t(u"Scope"), _variant_t(u"Opt=1"), connection.Put()), S_OK);
    ASSERT_TRUE(connection);
    VrReadStatus status = UnknownReason;
    ASSERT_EQ(connection->get_LastReadStatus(&status), S_OK);
    EXPECT_EQ(status, ReadTimeout);
    BSTR data = nullptr;
    ASSERT_EQ(connection->ReadString(_bstr_t(u"\n"), 250, -1, &data), S_OK);
    EXPECT_EQ(TextOf(data), u"TCPIP::127.0.0.1::5025::SOCKET|\n|250|-1|2");
    SysFreeString(data);
    VARIANT_BOOL handled = VARIANT_FALSE;
    ASSERT_EQ(connection->Handle(_bstr_t(u"TCPIP::127.0.0.1::5025::SOCKET"), nullptr, &handled), S_OK);
    EXPECT_EQ(handled, VARIANT_TRUE);
    EXPECT_EQ(connection->Handle(nullptr, nullptr, nullptr), E_POINTER);
}

TEST_F(TypedProxyTest, TheEnginesIndexedPropertiesQueueAndUnsignedArguments) {
    vr::ComPtr<IVrTestEngine> engine = FarObject<IVrTestEngine>([] { return MakeFakeEngine(); });
    ASSERT_TRUE(engine);
    ASSERT_EQ(engine->put_spec(_bstr_t(u"Voltage"), _variant_t(u"[4.5;5.5]")), S_OK);
    _variant_t spec;
    ASSERT_EQ(engine->get_spec(_bstr_t(u"Voltage"), &spec), S_OK);
    EXPECT_EQ(TextOf(spec.bstrVal), u"[4.5;5.5]");
    _variant_t missing;
    EXPECT_EQ(engine->get_spec(_bstr_t(u"Current"), &missing), DISP_E_BADINDEX);

    // The status is an optional in-out argument: given, it receives the line's status; null, it is left out.
    ASSERT_EQ(engine->OutputLn(_bstr_t(u"first"), _variant_t(LONG{TestStatusPassed})), S_OK);
    ASSERT_EQ(engine->Output(_bstr_t(u"second"), _variant_t()), S_OK);
    _variant_t lineStatus;
    BSTR text = nullptr;
    ASSERT_EQ(engine->GetOutput(&lineStatus, &text), S_OK);
    EXPECT_EQ(TextOf(text), u"first\n");
    EXPECT_EQ(lineStatus.lVal, TestStatusPassed);
    SysFreeString(text);
    text = nullptr;
    ASSERT_EQ(engine->GetOutput(nullptr, &text), S_OK);
    EXPECT_EQ(TextOf(text), u"second");
    SysFreeString(text);
    text = nullptr;
    EXPECT_EQ(engine->GetOutput(nullptr, &text), S_FALSE); // a success other than S_OK comes through
    EXPECT_EQ(text, nullptr);

    ASSERT_EQ(engine->Delay(4000000000u), S_OK);
    BSTR pec = nullptr;
    ASSERT_EQ(engine->get_PEC(&pec), S_OK);
    EXPECT_EQ(TextOf(pec), u"4000000000");
    SysFreeString(pec);

    VARIANT_BOOL valid = VARIANT_FALSE;
    ASSERT_EQ(engine->IsValid(_variant_t(LONG{2}), _bstr_t(u"Voltage"), _variant_t(), &valid), S_OK);
    EXPECT_EQ(valid, VARIANT_TRUE);

    // An object of this thread put into a property reference of the far engine comes back as itself.
    vr::ComPtr<IVrTestEngine> here = MakeFakeEngine();
    vr::ComPtr<IDispatch> graph;
    ASSERT_EQ(here.As(&graph), S_OK);
    ASSERT_EQ(engine->put_graph(graph.Get()), S_OK);
    vr::ComPtr<IDispatch> back;
    ASSERT_EQ(engine->get_graph(back.Put()), S_OK);
    EXPECT_EQ(back.Get(), graph.Get());
}

TEST_F(TypedProxyTest, ATypedProxyServesAnyIDispatchTransport) {
    // The transport here is the object itself: what a process channel's IDispatch stands for.
    vr::ComPtr<IVrRigmont> rigmont = MakeFakeRigmont();
    vr::ComPtr<IDispatch> transport;
    ASSERT_EQ(rigmont.As(&transport), S_OK);
    vr::DualProxyFactory factory = vr::FindDualProxyFactory(IID_IVrRigmont);
    ASSERT_NE(factory, nullptr);
    vr::ComPtr<IVrRigmont> typed;
    ASSERT_EQ(factory(transport.Get(), typed.PutVoid()), S_OK);
    EXPECT_NE(typed.Get(), rigmont.Get());
    EXPECT_EQ(typed->RemoveRecord(_bstr_t(u"connection"), _bstr_t(u"None")), S_FALSE);
    EXPECT_EQ(
        typed->SaveRecord(_bstr_t(u"connection"), _bstr_t(u"A"), nullptr, _bstr_t(u"ASRL1::INSTR"), nullptr),
        S_OK);
    EXPECT_EQ(typed->RemoveRecord(_bstr_t(u"connection"), _bstr_t(u"a")), S_FALSE); // names keep their case
    EXPECT_EQ(typed->RemoveRecord(_bstr_t(u"connection"), _bstr_t(u"A")), S_OK);
}

TEST_F(TypedProxyTest, TheSameTypedProxiesServeAnObjectOfAnotherProcess) {
    ASSERT_EQ(vr::detail::WriteClassesText(vr::detail::ClassKey(CLSID_FakeRigmontServer) + u"\\LocalServer32",
                                           u"", vr::FromUtf8(VR_PROXY_SERVER)),
              ERROR_SUCCESS);
    vr::ComPtr<IVrRigmont> rigmont;
    ASSERT_EQ(CoCreateInstance(CLSID_FakeRigmontServer, nullptr, CLSCTX_LOCAL_SERVER, IID_IVrRigmont,
                               rigmont.PutVoid()),
              S_OK);
    ASSERT_EQ(rigmont->SaveRecord(_bstr_t(u"connection"), _bstr_t(u"Meter"), nullptr,
                                  _bstr_t(u"ASRL1::INSTR"), nullptr),
              S_OK);
    // In-out texts by reference, across the process boundary and back.
    BSTR server = SysAllocString(u"old");
    BSTR resource = nullptr;
    BSTR setup = nullptr;
    ASSERT_EQ(rigmont->LoadRecord(_bstr_t(u"connection"), _bstr_t(u"Meter"), _bstr_t(u"Baud=9600"), &server,
                                  &resource, &setup),
              S_OK);
    EXPECT_EQ(TextOf(server), u"connection/Meter");
    EXPECT_EQ(TextOf(resource), u"ASRL1::INSTR");
    EXPECT_EQ(TextOf(setup), u"Baud=9600");
    SysFreeString(server);
    SysFreeString(resource);
    SysFreeString(setup);
    // An object made in the server comes as the typed proxy of its interface.
    vr::ComPtr<IVrConnection> connection;
    ASSERT_EQ(rigmont->CreateConnection(_bstr_t(u"Meter"), _variant_t(), connection.Put()), S_OK);
    ASSERT_TRUE(connection);
    VrReadStatus status = UnknownReason;
    ASSERT_EQ(connection->get_LastReadStatus(&status), S_OK);
    EXPECT_EQ(status, ReadTimeout);
    BSTR data = nullptr;
    ASSERT_EQ(connection->ReadString(_bstr_t(u"\r"), 100, 2, &data), S_OK);
    EXPECT_EQ(TextOf(data), u"ASRL1::INSTR|\r|100|2|2");
    SysFreeString(data);
    // A failure with its error information from the other process.
    vr::ComPtr<IVrConnection> none;
    EXPECT_EQ(rigmont->CreateConnection(_bstr_t(u"Nothing"), _variant_t(), none.Put()), E_INVALIDARG);
    vr::ComPtr<IErrorInfo> info;
    ASSERT_EQ(GetErrorInfo(0, info.Put()), S_OK);
    BSTR description = nullptr;
    ASSERT_EQ(info->GetDescription(&description), S_OK);
    EXPECT_EQ(TextOf(description), u"no record 'Nothing'");
    SysFreeString(description);
    // An interface the object lacks is refused, not faked.
    vr::ComPtr<IVrTestEngine> engine;
    EXPECT_EQ(rigmont.As(&engine), E_NOINTERFACE);
}

} // namespace
} // namespace proxytest
