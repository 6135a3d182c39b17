// The owning VARIANT and the throwing interface pointer.
#include "platform/com/comutil.h"
#include "platform/com/tests/test_objects.h"

#include <gtest/gtest.h>

namespace {

using vrtest::SupportErrorObject;

// The HRESULT a throwing expression raises as _com_error (S_OK when it raises nothing).
template <class Body>
HRESULT Thrown(Body body) {
    try {
        body();
    } catch (const _com_error& error) {
        return error.Error();
    }
    return S_OK;
}

// ---- _variant_t ----

TEST(VariantT, ConstructorsPickTheTypeAndRefuseATypeTheyCannotHold) {
    EXPECT_EQ(_variant_t(3).vt, VT_I4); // a plain int is the system's LONG
    EXPECT_EQ(_variant_t(true).boolVal, VARIANT_TRUE);
    _variant_t missing(DISP_E_PARAMNOTFOUND, VT_ERROR);
    EXPECT_EQ(missing.vt, VT_ERROR);
    EXPECT_EQ(missing.scode, DISP_E_PARAMNOTFOUND);
    EXPECT_EQ(_variant_t(LONG(5), VT_BOOL).boolVal, VARIANT_TRUE);

    EXPECT_EQ(Thrown([] { _variant_t(LONG(1), VT_BSTR); }), E_INVALIDARG);
    EXPECT_EQ(Thrown([] { _variant_t(SHORT(1), VT_I4); }), E_INVALIDARG);
    EXPECT_EQ(Thrown([] { _variant_t(1.0, VT_R4); }), E_INVALIDARG);
    EXPECT_EQ(Thrown([] { _variant_t(static_cast<const VARIANT*>(nullptr)); }), E_POINTER);
}

TEST(VariantT, TextIsCopiedAndCopiesAreDeep) {
    const OLECHAR* text = u"volts";
    _variant_t wide(text);
    EXPECT_NE(wide.bstrVal, text);
    EXPECT_EQ(vr::BstrView(wide.bstrVal), u"volts");
    EXPECT_EQ(vr::BstrView(_variant_t("\xC2\xB5V").bstrVal), u"\u00B5V");

    _variant_t copy(wide);
    EXPECT_NE(copy.bstrVal, wide.bstrVal);
    _variant_t moved(std::move(copy));
    EXPECT_EQ(copy.vt, VT_EMPTY);
    moved = wide; // replaces the old text (the sanitizer build sees a leak otherwise)
    moved = moved;
    EXPECT_EQ(vr::BstrView(moved.bstrVal), u"volts");
}

TEST(VariantT, AttachAndDetachMoveOwnership) {
    VARIANT owned;
    VariantInit(&owned);
    owned.vt = VT_BSTR;
    owned.bstrVal = SysAllocString(u"owned");

    _variant_t holder(u"previous");
    holder.Attach(owned); // frees "previous", takes "owned"
    EXPECT_EQ(owned.vt, VT_EMPTY);
    EXPECT_EQ(vr::BstrView(holder.bstrVal), u"owned");
    holder.Attach(holder); // attaching to itself keeps the value
    EXPECT_EQ(vr::BstrView(holder.bstrVal), u"owned");

    VARIANT out = holder.Detach();
    EXPECT_EQ(holder.vt, VT_EMPTY);
    EXPECT_EQ(out.vt, VT_BSTR);
    _variant_t adopted(out, false);
    EXPECT_EQ(out.vt, VT_EMPTY);
    EXPECT_EQ(vr::BstrView(adopted.bstrVal), u"owned");

    adopted.Clear();
    EXPECT_EQ(adopted.vt, VT_EMPTY);
}

TEST(VariantT, ConversionsFollowTheAutomationRules) {
    EXPECT_EQ(static_cast<LONG>(_variant_t(u"42")), 42);
    EXPECT_EQ(static_cast<DOUBLE>(_variant_t(u"2.5")), 2.5);
    EXPECT_EQ(static_cast<SHORT>(_variant_t(LONG(-7))), -7);
    EXPECT_EQ(static_cast<BYTE>(_variant_t(LONG(200))), 200);
    EXPECT_TRUE(static_cast<bool>(_variant_t(LONG(3))));
    EXPECT_FALSE(static_cast<bool>(_variant_t(LONG(0))));
    EXPECT_EQ(static_cast<_bstr_t>(_variant_t(LONG(12))), u"12");
    EXPECT_EQ(static_cast<_bstr_t>(_variant_t(true)), u"-1");
    EXPECT_EQ(static_cast<_bstr_t>(_variant_t(u"same")), u"same");
    EXPECT_EQ(static_cast<LONGLONG>(_variant_t(u"5000000000")), 5000000000LL);
}

TEST(VariantT, FailedConversionsThrowTheirHResultAndChangeNothing) {
    EXPECT_EQ(Thrown([] { (void)static_cast<LONG>(_variant_t(u"abc")); }), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(Thrown([] { (void)static_cast<LONG>(_variant_t(1e10)); }), DISP_E_OVERFLOW);
    EXPECT_EQ(Thrown([] { (void)static_cast<BYTE>(_variant_t(LONG(-1))); }), DISP_E_OVERFLOW);
    EXPECT_EQ(Thrown([] { (void)static_cast<SHORT>(_variant_t(LONG(40000))); }), DISP_E_OVERFLOW);

    _variant_t text(u"not a number");
    EXPECT_EQ(Thrown([&] { text.ChangeType(VT_R8); }), DISP_E_TYPEMISMATCH);
    ASSERT_EQ(text.vt, VT_BSTR);
    EXPECT_EQ(vr::BstrView(text.bstrVal), u"not a number");

    _variant_t number(u"17");
    number.ChangeType(VT_I4);
    EXPECT_EQ(number.vt, VT_I4);
    EXPECT_EQ(number.lVal, 17);

    _variant_t target(u"replaced");
    _variant_t source(2.0);
    target.ChangeType(VT_BSTR, &source);
    EXPECT_EQ(vr::BstrView(target.bstrVal), u"2");
    EXPECT_EQ(source.vt, VT_R8);
}

TEST(VariantT, InterfaceValuesHoldTheirOwnReference) {
    SupportErrorObject object(false, GUID_NULL);
    {
        _variant_t value(static_cast<IUnknown*>(&object));
        _variant_t copy(value);
        IUnknown* handed = value; // a new reference for the caller
        EXPECT_EQ(object.References(), 3u);
        handed->Release();
        object.AddRef();
        _variant_t adopting(static_cast<IUnknown*>(&object), false);
        EXPECT_EQ(object.References(), 3u);
    }
    EXPECT_EQ(object.References(), 0u);
}

// ---- _com_ptr_t ----

TEST(ComPtrT, ACallThroughNullThrowsEPointer) {
    IUnknownPtr none;
    EXPECT_EQ(Thrown([&] { (void)none->AddRef(); }), E_POINTER);
    EXPECT_EQ(Thrown([&] { (void)*none; }), E_POINTER);
    none.Release(); // releasing nothing is harmless
    EXPECT_EQ(none.QueryInterface(IID_IUnknown, static_cast<IUnknown**>(nullptr)), E_POINTER);
}

TEST(ComPtrT, OwnsOneReferenceThroughCopiesAssignmentsAndOutArguments) {
    SupportErrorObject object(true, GUID_NULL);
    {
        ISupportErrorInfoPtr first(&object);
        ISupportErrorInfoPtr second = first;
        second = first;
        EXPECT_EQ(object.References(), 2u);
        ISupportErrorInfoPtr moved(std::move(first));
        EXPECT_EQ(object.References(), 2u);
        moved.Attach(moved.Detach()); // takes the reference back
        EXPECT_EQ(object.References(), 2u);

        ISupportErrorInfo** slot = &second; // releases for an out-argument
        EXPECT_EQ(object.References(), 1u);
        EXPECT_EQ(*slot, nullptr);
    }
    EXPECT_EQ(object.References(), 0u);
}

TEST(ComPtrT, AssignmentFromAnotherInterfaceOrAVariantQueries) {
    SupportErrorObject supporting(true, GUID_NULL);
    SupportErrorObject plain(false, GUID_NULL);
    {
        IUnknownPtr unknown(static_cast<IUnknown*>(&supporting));
        ISupportErrorInfoPtr support = unknown;
        EXPECT_EQ(support.GetInterfacePtr(), &supporting);
        ISupportErrorInfoPtr fromValue(_variant_t(static_cast<IUnknown*>(&supporting)));
        EXPECT_EQ(fromValue.GetInterfacePtr(), &supporting);
        EXPECT_EQ(supporting.References(), 3u);

        // The object lacks the interface: null, no exception, no reference kept.
        support = static_cast<IUnknown*>(&plain);
        EXPECT_EQ(support, nullptr);
        EXPECT_EQ(plain.References(), 0u);
        EXPECT_EQ(supporting.References(), 2u);
    }
    EXPECT_EQ(supporting.References(), 0u);

    // Any other failure of the query is an error.
    plain.FailQueries();
    EXPECT_EQ(Thrown([&] { ISupportErrorInfoPtr failing(static_cast<IUnknown*>(&plain)); }), E_UNEXPECTED);
    EXPECT_EQ(plain.References(), 0u);
    EXPECT_EQ(Thrown([] { IUnknownPtr fromText{_variant_t(u"text")}; }), DISP_E_TYPEMISMATCH);
}

// A class object that hands out one SupportErrorObject, registered in the process for the creation tests.
class SupportErrorFactory final : public IClassFactory {
public:
    explicit SupportErrorFactory(SupportErrorObject* product) : product_(product) {}
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *ppv = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override { return --refs_; }
    HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        return outer ? CLASS_E_NOAGGREGATION : product_->QueryInterface(riid, ppv);
    }
    HRESULT LockServer(BOOL) override { return S_OK; }

private:
    std::atomic<ULONG> refs_{0};
    SupportErrorObject* product_;
};

TEST(ComPtrT, CreateInstanceMakesARegisteredClassAndReportsAnUnknownOne) {
    constexpr CLSID kClass = vr::MakeGuid("5B0C2E3F-7A1D-4E6B-9C8F-0A1B2C3D4E60");
    constexpr CLSID kUnregistered = vr::MakeGuid("5B0C2E3F-7A1D-4E6B-9C8F-0A1B2C3D4E5F");
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    SupportErrorObject product(true, GUID_NULL);
    SupportErrorFactory factory(&product);
    DWORD cookie = 0;
    ASSERT_EQ(CoRegisterClassObject(kClass, &factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie),
              S_OK);
    {
        ISupportErrorInfoPtr byClsid(kClass);
        ISupportErrorInfoPtr byText;
        EXPECT_EQ(byText.CreateInstance(u"{5B0C2E3F-7A1D-4E6B-9C8F-0A1B2C3D4E60}"), S_OK);
        EXPECT_EQ(byText.GetInterfacePtr(), &product);
        EXPECT_EQ(product.References(), 2u);

        // A failed creation returns its HRESULT, throws nothing and leaves the pointer null.
        EXPECT_EQ(byText.CreateInstance(kUnregistered), REGDB_E_CLASSNOTREG);
        EXPECT_EQ(byText, nullptr);
        EXPECT_EQ(byText.CreateInstance("Vornic.NoSuchClass.1"), CO_E_CLASSSTRING);
        EXPECT_EQ(byText.CreateInstance(static_cast<const OLECHAR*>(nullptr)), E_INVALIDARG);
        EXPECT_EQ(product.References(), 1u);
    }
    EXPECT_EQ(product.References(), 0u);
    EXPECT_EQ(Thrown([&] { ISupportErrorInfoPtr created(kUnregistered); }), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(CoRevokeClassObject(cookie), S_OK);
    CoUninitialize();
}

} // namespace
