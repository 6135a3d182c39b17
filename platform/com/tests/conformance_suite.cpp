// The conformance suite: every kind of call an interface carries, run through whichever channel instantiates
// it.
#include "conformance_suite.h"

#include "platform/com/activation.h"
#include "platform/com/automation_rules.h"

#include <cstring>
#include <thread>

namespace vrtest {

void ConformanceSuite::SetUp() {
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    RegisterConformanceProxy();
    channel_ = GetParam()();
    far_ = channel_->Far();
    ASSERT_TRUE(far_);
}

void ConformanceSuite::TearDown() {
    far_ = nullptr;
    channel_.reset();
    CoUninitialize();
}

namespace {

std::vector<LONG> ReadRecorded(IConformance* object) {
    SAFEARRAY* array = nullptr;
    std::vector<LONG> values;
    if (FAILED(object->Recorded(&array))) {
        return values;
    }
    LONG upper = -1;
    static_cast<void>(SafeArrayGetUBound(array, 1, &upper));
    for (LONG i = 0; i <= upper; ++i) {
        LONG value = 0;
        static_cast<void>(SafeArrayGetElement(array, &i, &value));
        values.push_back(value);
    }
    static_cast<void>(SafeArrayDestroy(array));
    return values;
}

std::u16string Text(BSTR text) {
    return std::u16string(text ? text : u"", SysStringLen(text));
}

// The same type and the same value; arrays of I4 and of VARIANTs element by element.
::testing::AssertionResult SameValue(const VARIANT& a, const VARIANT& b);

::testing::AssertionResult SameArray(SAFEARRAY* a, SAFEARRAY* b, VARTYPE vt) {
    if (SafeArrayGetDim(a) != SafeArrayGetDim(b)) {
        return ::testing::AssertionFailure() << "dimensions differ";
    }
    for (UINT dim = 1; dim <= SafeArrayGetDim(a); ++dim) {
        LONG la = 0, lb = 0, ua = 0, ub = 0;
        static_cast<void>(SafeArrayGetLBound(a, dim, &la));
        static_cast<void>(SafeArrayGetLBound(b, dim, &lb));
        static_cast<void>(SafeArrayGetUBound(a, dim, &ua));
        static_cast<void>(SafeArrayGetUBound(b, dim, &ub));
        if (la != lb || ua != ub) {
            return ::testing::AssertionFailure() << "bounds of dimension " << dim << " differ";
        }
    }
    void* da = nullptr;
    void* db = nullptr;
    static_cast<void>(SafeArrayAccessData(a, &da));
    static_cast<void>(SafeArrayAccessData(b, &db));
    ::testing::AssertionResult result = ::testing::AssertionSuccess();
    UINT size = SafeArrayGetElemsize(a);
    LONG count = 1;
    for (UINT dim = 1; dim <= SafeArrayGetDim(a); ++dim) {
        LONG lower = 0, upper = 0;
        static_cast<void>(SafeArrayGetLBound(a, dim, &lower));
        static_cast<void>(SafeArrayGetUBound(a, dim, &upper));
        count *= upper - lower + 1;
    }
    for (LONG i = 0; i < count && result; ++i) {
        result =
            vt == VT_VARIANT ? SameValue(static_cast<VARIANT*>(da)[i], static_cast<VARIANT*>(db)[i])
            : std::memcmp(static_cast<char*>(da) + i * size, static_cast<char*>(db) + i * size, size) == 0
                ? ::testing::AssertionSuccess()
                : ::testing::AssertionFailure() << "element " << i << " differs";
    }
    static_cast<void>(SafeArrayUnaccessData(a));
    static_cast<void>(SafeArrayUnaccessData(b));
    return result;
}

::testing::AssertionResult SameValue(const VARIANT& a, const VARIANT& b) {
    if (a.vt != b.vt) {
        return ::testing::AssertionFailure() << "type " << a.vt << " came back as " << b.vt;
    }
    if (a.vt & VT_ARRAY) {
        return SameArray(a.parray, b.parray, a.vt & VT_TYPEMASK);
    }
    switch (a.vt) {
    case VT_EMPTY:
    case VT_NULL:
        return ::testing::AssertionSuccess();
    case VT_BSTR:
        return Text(a.bstrVal) == Text(b.bstrVal) ? ::testing::AssertionSuccess()
                                                  : ::testing::AssertionFailure() << "text differs";
    case VT_DISPATCH:
    case VT_UNKNOWN:
        return a.punkVal == b.punkVal ? ::testing::AssertionSuccess()
                                      : ::testing::AssertionFailure() << "another object came back";
    default:
        // Only the type's own bytes: the rest of the union is not part of the value.
        return std::memcmp(&a.llVal, &b.llVal, vr::automation::ElementSize(a.vt)) == 0
                   ? ::testing::AssertionSuccess()
                   : ::testing::AssertionFailure() << "value of type " << a.vt << " differs";
    }
}

VARIANT Make(VARTYPE vt, LONGLONG bits) {
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    v.llVal = bits;
    return v;
}

VARIANT MakeDouble(double value) {
    VARIANT v = Make(VT_R8, 0);
    v.dblVal = value;
    return v;
}

VARIANT MakeText(std::u16string_view text) {
    VARIANT v = Make(VT_BSTR, 0);
    v.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return v;
}

VARIANT MakeMatrix() {
    SAFEARRAYBOUND bounds[2] = {{2, -1}, {3, 1}};
    VARIANT v = Make(VT_ARRAY | VT_I4, 0);
    v.parray = SafeArrayCreate(VT_I4, 2, bounds);
    LONG* data = nullptr;
    static_cast<void>(SafeArrayAccessData(v.parray, reinterpret_cast<void**>(&data)));
    for (LONG i = 0; i < 6; ++i) {
        data[i] = i * 11 - 20;
    }
    static_cast<void>(SafeArrayUnaccessData(v.parray));
    return v;
}

VARIANT MakeMixedList(IDispatch* object) {
    VARIANT v = Make(VT_ARRAY | VT_VARIANT, 0);
    v.parray = SafeArrayCreateVector(VT_VARIANT, 0, 3);
    VARIANT items[3] = {MakeText(u"first"), Make(VT_I2, 7), Make(VT_DISPATCH, 0)};
    items[2].pdispVal = object;
    for (LONG i = 0; i < 3; ++i) {
        static_cast<void>(SafeArrayPutElement(v.parray, &i, &items[i]));
    }
    static_cast<void>(VariantClear(&items[0]));
    return v;
}

} // namespace

TEST_P(ConformanceSuite, PlainArgumentsAndOutArgumentsArriveAndReturn) {
    LONG sum = 0;
    EXPECT_EQ(Far()->Add(2147483000, 647, &sum), S_OK);
    EXPECT_EQ(sum, 2147483647);
    EXPECT_EQ(Far()->Add(-5, -7, &sum), S_OK);
    EXPECT_EQ(sum, -12);

    BSTR text = SysAllocString(u"wire\u00e9\U0001F600");
    LONG number = -21;
    LONG length = 0;
    EXPECT_EQ(Far()->Turn(&text, &number, &length), S_OK);
    EXPECT_EQ(length, 7);
    EXPECT_EQ(Text(text), u"\xDE00\xD83D\u00e9eriw"); // code units reversed, as the callee wrote them
    EXPECT_EQ(number, -42);
    SysFreeString(text);

    BSTR empty = nullptr;
    EXPECT_EQ(Far()->Turn(&empty, &number, &length), S_OK);
    EXPECT_EQ(length, 0);
    EXPECT_EQ(Text(empty), u"");
    SysFreeString(empty);

    LONGLONG thread = 0;
    EXPECT_EQ(Far()->RunningThread(&thread), S_OK);
    EXPECT_EQ(thread, Channel().FarThread());
}

TEST_P(ConformanceSuite, EveryKindOfValueComesBackUnchanged) {
    VARIANT error = Make(VT_ERROR, 0);
    error.scode = DISP_E_PARAMNOTFOUND;
    VARIANT cy = Make(VT_CY, 0);
    cy.cyVal.int64 = -123456789;
    VARIANT values[] = {Make(VT_EMPTY, 0),
                        Make(VT_NULL, 0),
                        Make(VT_I1, -3),
                        Make(VT_UI1, 250),
                        Make(VT_I2, -30000),
                        Make(VT_UI2, 65000),
                        Make(VT_I4, -2000000),
                        Make(VT_UI4, 4000000000),
                        Make(VT_I8, -(1LL << 40)),
                        Make(VT_UI8, 1LL << 50),
                        Make(VT_INT, 17),
                        Make(VT_UINT, 18),
                        Make(VT_BOOL, VARIANT_TRUE & 0xFFFF),
                        error,
                        cy,
                        MakeDouble(-1.5e300),
                        MakeText(std::u16string(u"nul\0inside", 10)),
                        MakeText(u""),
                        MakeMatrix()};
    values[12].boolVal = VARIANT_TRUE;
    for (VARIANT& value : values) {
        VARIANT back;
        VariantInit(&back);
        EXPECT_EQ(Far()->Echo(value, &back), S_OK);
        EXPECT_TRUE(SameValue(value, back)) << "type " << value.vt;
        static_cast<void>(VariantClear(&back));
        static_cast<void>(VariantClear(&value));
    }
}

TEST_P(ConformanceSuite, ObjectsInsideValuesComeHomeAsThemselves) {
    vr::ComPtr<IConformance> local = MakeConformanceObject(3);
    vr::ComPtr<IDispatch> localDispatch;
    ASSERT_EQ(local.As(&localDispatch), S_OK);

    VARIANT single = Make(VT_DISPATCH, 0);
    single.pdispVal = localDispatch.Get();
    VARIANT back;
    VariantInit(&back);
    ASSERT_EQ(Far()->Echo(single, &back), S_OK);
    EXPECT_TRUE(SameValue(single, back));
    static_cast<void>(VariantClear(&back));

    VARIANT list = MakeMixedList(localDispatch.Get());
    ASSERT_EQ(Far()->Echo(list, &back), S_OK);
    EXPECT_TRUE(SameValue(list, back));
    static_cast<void>(VariantClear(&back));
    static_cast<void>(VariantClear(&list));
}

TEST_P(ConformanceSuite, FailuresCarryTheirErrorInformation) {
    BSTR description = SysAllocString(u"the wire is cut");
    EXPECT_EQ(Far()->Fail(E_INVALIDARG, description), E_INVALIDARG);
    SysFreeString(description);

    vr::ComPtr<IErrorInfo> info;
    ASSERT_EQ(GetErrorInfo(0, info.Put()), S_OK);
    ASSERT_TRUE(info);
    BSTR text = nullptr;
    ASSERT_EQ(info->GetDescription(&text), S_OK);
    EXPECT_EQ(Text(text), u"the wire is cut");
    SysFreeString(text);
    ASSERT_EQ(info->GetSource(&text), S_OK);
    EXPECT_EQ(Text(text), u"Conformance");
    SysFreeString(text);
    GUID guid{};
    ASSERT_EQ(info->GetGUID(&guid), S_OK);
    EXPECT_EQ(guid, IID_IConformance);
}

TEST_P(ConformanceSuite, ObjectReferencesCrossBothWays) {
    vr::ComPtr<IConformance> child;
    ASSERT_EQ(Far()->MakeChild(7, child.Put()), S_OK);
    LONG tag = 0;
    EXPECT_EQ(child->Tag(&tag), S_OK);
    EXPECT_EQ(tag, 7);
    LONGLONG thread = 0;
    EXPECT_EQ(child->RunningThread(&thread), S_OK);
    EXPECT_EQ(thread, Channel().FarThread()) << "a child runs where it was made";

    // An object of the test thread, held over there and handed back, is the same object again.
    vr::ComPtr<IConformance> local = MakeConformanceObject(9);
    vr::ComPtr<IUnknown> localIdentity;
    ASSERT_EQ(local.As(&localIdentity), S_OK);
    ASSERT_EQ(Far()->Keep(localIdentity.Get()), S_OK);
    vr::ComPtr<IUnknown> back;
    ASSERT_EQ(Far()->Kept(back.Put()), S_OK);
    EXPECT_EQ(back.Get(), localIdentity.Get());

    // A far object handed over and back still reaches the far object.
    ASSERT_EQ(Far()->Keep(child.Get()), S_OK);
    ASSERT_EQ(Far()->Kept(back.Put()), S_OK);
    vr::ComPtr<IConformance> childAgain;
    ASSERT_EQ(back.As(&childAgain), S_OK);
    EXPECT_EQ(childAgain->Tag(&tag), S_OK);
    EXPECT_EQ(tag, 7);
    ASSERT_EQ(Far()->Keep(nullptr), S_OK);
    ASSERT_EQ(Far()->Kept(back.Put()), S_OK);
    EXPECT_FALSE(back);
}

TEST_P(ConformanceSuite, RecursiveCallBacksAlternateBetweenTheSides) {
    vr::ComPtr<IConformance> local = MakeConformanceObject(1);
    LONG reached = -1;
    ASSERT_EQ(Far()->Bounce(local.Get(), 9, &reached), S_OK);
    EXPECT_EQ(reached,
              9); // each side ran its levels on its own thread, or it had answered RPC_E_WRONG_THREAD
}

TEST_P(ConformanceSuite, CallsRunInTheOrderEachCallerMadeThem) {
    for (LONG i = 0; i < 100; ++i) {
        ASSERT_EQ(Far()->Record(i), S_OK);
    }
    // Two more callers at once, from threads of no apartment: each one's calls keep their order among the
    // others'. The test thread serves while it waits, should the far object live in its apartment.
    auto caller = [](LPSTREAM stream, HANDLE done, LONG base) {
        vr::ComPtr<IConformance> far;
        if (SUCCEEDED(CoGetInterfaceAndReleaseStream(stream, IID_IConformance, far.PutVoid()))) {
            for (LONG i = 0; i < 100; ++i) {
                static_cast<void>(far->Record(base + i));
            }
        }
        far = nullptr;
        SetEvent(done);
    };
    HANDLE done[2] = {CreateEventW(nullptr, TRUE, FALSE, nullptr),
                      CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    LPSTREAM streams[2] = {};
    for (LPSTREAM& stream : streams) {
        ASSERT_EQ(CoMarshalInterThreadInterfaceInStream(IID_IConformance, Far(), &stream), S_OK);
    }
    std::thread first(caller, streams[0], done[0], 1000);
    std::thread second(caller, streams[1], done[1], 2000);
    DWORD index = 0;
    EXPECT_EQ(CoWaitForMultipleHandles(COWAIT_WAITALL, INFINITE, 2, done, &index), S_OK);
    first.join();
    second.join();
    CloseHandle(done[0]);
    CloseHandle(done[1]);

    std::vector<LONG> recorded = ReadRecorded(Far());
    ASSERT_EQ(recorded.size(), 300u);
    for (LONG i = 0; i < 100; ++i) {
        EXPECT_EQ(recorded[i], i);
    }
    LONG nextFirst = 1000;
    LONG nextSecond = 2000;
    for (size_t i = 100; i < recorded.size(); ++i) {
        LONG& next = recorded[i] < 2000 ? nextFirst : nextSecond;
        EXPECT_EQ(recorded[i], next);
        ++next;
    }
}

TEST_P(ConformanceSuite, CallsByNameCarryValuesReferencesObjectsAndExceptions) {
    vr::ComPtr<IDispatch> far;
    ASSERT_EQ(Far()->QueryInterface(IID_IDispatch, far.PutVoid()), S_OK);
    LPOLESTR name = const_cast<LPOLESTR>(u"Turn");
    DISPID id = 0;
    ASSERT_EQ(far->GetIDsOfNames(IID_NULL, &name, 1, 0, &id), S_OK);
    EXPECT_EQ(id, kDispTurn);

    // In-out arguments as a script engine passes them: a by-reference VARIANT holding the text.
    VARIANT text = MakeText(u"abc");
    LONG number = 4;
    VARIANT turnArgs[2] = {Make(VT_BYREF | VT_I4, 0), Make(VT_BYREF | VT_VARIANT, 0)};
    turnArgs[0].plVal = &number;
    turnArgs[1].pvarVal = &text;
    DISPPARAMS params{turnArgs, nullptr, 2, 0};
    VARIANT length;
    VariantInit(&length);
    ASSERT_EQ(far->Invoke(kDispTurn, IID_NULL, 0, DISPATCH_METHOD, &params, &length, nullptr, nullptr), S_OK);
    EXPECT_EQ(Text(text.bstrVal), u"cba");
    EXPECT_EQ(length.vt, VT_I4);
    EXPECT_EQ(length.lVal, 3);
    EXPECT_EQ(number, 8);
    static_cast<void>(VariantClear(&text));

    VARIANT tag = Make(VT_I4, 5);
    params = {&tag, nullptr, 1, 0};
    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(far->Invoke(kDispMakeChild, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr),
              S_OK);
    ASSERT_EQ(result.vt, VT_DISPATCH);
    vr::ComPtr<IConformance> child;
    ASSERT_EQ(result.pdispVal->QueryInterface(IID_IConformance, child.PutVoid()), S_OK);
    LONGLONG thread = 0;
    EXPECT_EQ(child->RunningThread(&thread), S_OK);
    EXPECT_EQ(thread, Channel().FarThread());
    static_cast<void>(VariantClear(&result));

    // A by-reference object slot: the caller's object goes in, the far child comes out.
    vr::ComPtr<IDispatch> slot;
    ASSERT_EQ(MakeConformanceObject(1).As(&slot), S_OK);
    IDispatch* raw = slot.Detach();
    VARIANT args[2] = {Make(VT_I4, 8), Make(VT_BYREF | VT_DISPATCH, 0)};
    args[1].ppdispVal = &raw;
    params = {args, nullptr, 2, 0};
    ASSERT_EQ(far->Invoke(kDispSetRef, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
              S_OK);
    ASSERT_TRUE(raw);
    ASSERT_EQ(raw->QueryInterface(IID_IConformance, child.PutVoid()), S_OK);
    LONG childTag = 0;
    EXPECT_EQ(child->Tag(&childTag), S_OK);
    EXPECT_EQ(childTag, 8);
    raw->Release();

    VARIANT failArgs[2] = {MakeText(u"no answer"), Make(VT_I4, 0)};
    failArgs[1].lVal = E_FAIL;
    params = {failArgs, nullptr, 2, 0};
    EXCEPINFO excep{};
    EXPECT_EQ(far->Invoke(kDispFail, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, &excep, nullptr),
              DISP_E_EXCEPTION);
    EXPECT_EQ(Text(excep.bstrDescription), u"no answer");
    EXPECT_EQ(Text(excep.bstrSource), u"Conformance");
    EXPECT_EQ(excep.scode, E_FAIL);
    vr::ClearExcepInfo(&excep);
    static_cast<void>(VariantClear(&failArgs[0]));
}

} // namespace vrtest
