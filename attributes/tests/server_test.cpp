// The server as other deliverables meet it: registration, creation, calls by name through IDispatch with type
// information, error information, aggregation with a filtering outer object, life-event traces.
#include "attributes/tests/collection_fixture.h"

#include "common/trace/Trace.h"
#include "platform/base/text.h"
#include "platform/com/activation.h"
#include "platform/com/typeinfo.h"
#include "platform/registry/registry.h"

#include <atomic>

namespace tabtest {
namespace {

using ServerTest = CollectionTest;

TEST_F(ServerTest, RegistrationNamesClassesAndTheTypeLibrary) {
    CLSID clsid = GUID_NULL;
    ASSERT_EQ(CLSIDFromProgID(u"Vornic.AttributeCollection", &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_AttributeCollection);
    ASSERT_EQ(CLSIDFromProgID(u"Vornic.Attribute.1", &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_Attribute);
    std::u16string key = u"TypeLib\\" + vr::GuidToString(LIBID_TABRISKLib) + u"\\1.0";
    HKEY opened = nullptr;
    ASSERT_EQ(RegOpenKeyEx(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &opened), ERROR_SUCCESS);
    RegCloseKey(opened);
    // Attribute objects come only from a collection.
    vr::ComPtr<IUnknown> attribute;
    EXPECT_TRUE(FAILED(
        CoCreateInstance(CLSID_Attribute, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, attribute.PutVoid())));
}

TEST_F(ServerTest, CallsByNameReachTheCollection) {
    auto collection = NewCollection();
    vr::ComPtr<IDispatch> dispatch;
    ASSERT_EQ(collection.As(&dispatch), S_OK);
    LPOLESTR names[] = {const_cast<LPOLESTR>(u"addattribute")};
    DISPID id = 0;
    ASSERT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
    EXPECT_EQ(id, 2);
    // AddAttribute("Name", 5), the optional value given.
    _variant_t arguments[] = {_variant_t(LONG{5}), _variant_t(u"Owner:Level")};
    DISPPARAMS params{arguments, nullptr, 2, 0};
    ASSERT_EQ(dispatch->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr), S_OK);
    _variant_t count;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    ASSERT_EQ(dispatch->Invoke(22, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &count, nullptr, nullptr), S_OK);
    EXPECT_EQ(count.lVal, 1);
    // The default member is Item, whose default member is the name.
    _variant_t index(LONG{0});
    DISPPARAMS itemParams{&index, nullptr, 1, 0};
    _variant_t item;
    ASSERT_EQ(dispatch->Invoke(DISPID_VALUE, IID_NULL, 0, DISPATCH_PROPERTYGET, &itemParams, &item, nullptr,
                               nullptr),
              S_OK);
    ASSERT_EQ(item.vt, VT_DISPATCH);
    _variant_t name;
    ASSERT_EQ(item.pdispVal->Invoke(DISPID_VALUE, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &name, nullptr,
                                    nullptr),
              S_OK);
    EXPECT_EQ(U8(vr::BstrView(name.bstrVal)), "Owner:Level");
    // A failure comes back as an exception with the collection's error information.
    _variant_t missingName(u"Nope");
    DISPPARAMS getParams{&missingName, nullptr, 1, 0};
    EXCEPINFO excep{};
    _variant_t result;
    EXPECT_EQ(dispatch->Invoke(6, IID_NULL, 0, DISPATCH_METHOD, &getParams, &result, &excep, nullptr),
              DISP_E_EXCEPTION);
    EXPECT_EQ(excep.scode, TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(U8(vr::BstrView(excep.bstrSource)), "Vornic.AttributeCollection.1");
    EXPECT_EQ(U8(vr::BstrView(excep.bstrDescription)), "The 'Nope' object attribute doesn't exist.");
    vr::ClearExcepInfo(&excep);
}

TEST_F(ServerTest, TypeInformationDescribesTheDualInterface) {
    auto collection = NewCollection();
    vr::ComPtr<ITypeInfo> info;
    ASSERT_EQ(collection->GetTypeInfo(0, 0, info.Put()), S_OK);
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
    EXPECT_EQ(attributes->guid, IID_IVrAttributeCollection);
    EXPECT_EQ(attributes->cFuncs, 25);
    info->ReleaseTypeAttr(attributes);
    BSTR name = nullptr;
    ASSERT_EQ(info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(U8(vr::BstrView(name)), "IVrAttributeCollection");
    SysFreeString(name);
    LPOLESTR member[] = {const_cast<LPOLESTR>(u"_NewEnum")};
    MEMBERID id = 0;
    ASSERT_EQ(info->GetIDsOfNames(member, 1, &id), S_OK);
    EXPECT_EQ(id, DISPID_NEWENUM);
}

// An owner that aggregates a collection and filters it, found by the collection itself.
class FilteringOwner final : public IVrAttributeCollectionFilter {
public:
    std::atomic<ULONG> references{1};
    vr::ComPtr<IUnknown> inner;
    int setCalls = 0;

    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_IVrAttributeCollectionFilter || riid == IID_IDispatch) {
            *ppv = static_cast<IVrAttributeCollectionFilter*>(this);
            AddRef();
            return S_OK;
        }
        return inner ? inner->QueryInterface(riid, ppv) : (*ppv = nullptr, E_NOINTERFACE);
    }
    ULONG AddRef() override { return ++references; }
    ULONG Release() override { return --references; } // lives on the test's stack
    HRESULT GetTypeInfoCount(UINT* count) override { return *count = 0, S_OK; }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }
    HRESULT SetAttributeValue(BSTR, VARIANT, IDispatch*) override { return ++setCalls, S_OK; }
    HRESULT GetAttributeValue(BSTR, VARIANT*, IDispatch*, VARIANT_BOOL) override { return S_FALSE; }
    HRESULT AdjustSetAttribute(BSTR, VARIANT*, IDispatch*) override { return E_NOTIMPL; }
    HRESULT AttributeIsCreated(BSTR, VARIANT*, IDispatch*) override { return E_NOTIMPL; }
};

TEST_F(ServerTest, AnAggregatingOwnerIsTheFilterWithoutBeingSet) {
    FilteringOwner owner;
    ASSERT_EQ(CoCreateInstance(CLSID_AttributeCollection, &owner, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               owner.inner.PutVoid()),
              S_OK);
    EXPECT_EQ(owner.references.load(), 1u); // the collection keeps no reference on its filter
    vr::ComPtr<IVrAttributeCollection> collection;
    ASSERT_EQ(owner.QueryInterface(IID_IVrAttributeCollection, collection.PutVoid()), S_OK);
    ASSERT_EQ(collection->AddAttribute(_bstr_t(u"Level"), _variant_t(LONG{3})), S_OK);
    EXPECT_EQ(owner.setCalls, 1);
    // Identity: the collection's IUnknown is the owner's.
    vr::ComPtr<IUnknown> identity;
    ASSERT_EQ(collection.As(&identity), S_OK);
    EXPECT_EQ(identity.Get(), static_cast<IUnknown*>(&owner));
    identity = nullptr;
    collection = nullptr;
    owner.inner = nullptr;
    EXPECT_EQ(owner.references.load(), 1u);
}

TEST_F(ServerTest, LifeEventsPairUp) {
    NewCollection();
    LONG sum = 0;
    int events = 0;
    for (const commontest::SinkCall& call : sink_->Calls()) {
        if (call.member == DISPID_TRACESINK_WRITECALL &&
            U8(call.first) == "CAttributeCollection::FinalConstruct()") {
            sum += call.delta;
            ++events;
        }
    }
    EXPECT_EQ(events, 2);
    EXPECT_EQ(sum, 0);
}

} // namespace
} // namespace tabtest
