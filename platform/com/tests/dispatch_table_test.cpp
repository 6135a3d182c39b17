// Dispatch tables through IDispatch: argument unpacking, properties, optional and named arguments, results,
// out-arguments, and every way a call can fail.
#include "platform/com/tests/dispatch_probe.h"

#include "platform/base/text.h"

#include <gtest/gtest.h>

namespace vrtest {
namespace {

constexpr WORD kMethod = DISPATCH_METHOD;
constexpr WORD kGet = DISPATCH_PROPERTYGET;
constexpr WORD kPut = DISPATCH_PROPERTYPUT;

// A dispatch object of no particular interface.
class CPlainDispatch : public vr::ObjectRoot, public IDispatch {
public:
    using Interfaces = vr::InterfaceList<IDispatch>;
    HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }
};

class DispatchTableTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(vr::ComObject<CProbe>::Create(&probe_), S_OK);
        dispatch_ = static_cast<IProbe*>(probe_.Get());
    }

    vr::ComObjectPtr<CProbe> probe_;
    IDispatch* dispatch_ = nullptr;
};

TEST_F(DispatchTableTest, AMethodGetsItsArgumentsInTheCallersOrder) {
    CallArgs args{I4(10), I4(3)};
    CallOutcome out;
    Call(dispatch_, kSubtract, kMethod, args, out);
    ASSERT_EQ(out.hr, S_OK);
    EXPECT_EQ(out.result.vt, VT_I4);
    EXPECT_EQ(out.result.lVal, 7);
}

TEST_F(DispatchTableTest, ArgumentsAreConvertedOrReadThroughReferences) {
    LONG referenced = 40;
    VARIANT inner = I4(2);
    CallArgs args{ByRef(VT_I4, &referenced), ByRef(VT_VARIANT, &inner)};
    CallOutcome out;
    Call(dispatch_, kSubtract, kMethod, args, out);
    ASSERT_EQ(out.hr, S_OK);
    EXPECT_EQ(out.result.lVal, 38);

    CallArgs converted{Text(u" 12 "), R8(2.5)}; // 2.5 rounds half to even
    CallOutcome second;
    Call(dispatch_, kSubtract, kMethod, converted, second);
    ASSERT_EQ(second.hr, S_OK);
    EXPECT_EQ(second.result.lVal, 10);
}

TEST_F(DispatchTableTest, AnArgumentThatDoesNotConvertNamesItsPosition) {
    CallArgs args{Text(u"ten"), I4(3)};
    CallOutcome out;
    Call(dispatch_, kSubtract, kMethod, args, out);
    EXPECT_EQ(out.hr, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(out.argError, 1u) << "the first argument sits last in rgvarg";
    EXPECT_EQ(probe_->calls, 0);

    CallArgs second{I4(10), Text(u"x")};
    CallOutcome out2;
    Call(dispatch_, kSubtract, kMethod, second, out2);
    EXPECT_EQ(out2.hr, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(out2.argError, 0u);
}

TEST_F(DispatchTableTest, AWrongNumberOfArgumentsIsRefused) {
    CallArgs tooFew{I4(1)};
    CallOutcome few;
    Call(dispatch_, kSubtract, kMethod, tooFew, few);
    EXPECT_EQ(few.hr, DISP_E_BADPARAMCOUNT);

    CallArgs tooMany{I4(1), I4(2), I4(3)};
    CallOutcome many;
    Call(dispatch_, kSubtract, kMethod, tooMany, many);
    EXPECT_EQ(many.hr, DISP_E_BADPARAMCOUNT);

    // Optional parameters count: Format takes one to three.
    CallArgs fourForFormat{Text(u"a"), I4(1), Bool(true), I4(0)};
    CallOutcome four;
    Call(dispatch_, kFormat, kMethod, fourForFormat, four);
    EXPECT_EQ(four.hr, DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(probe_->calls, 0);
}

TEST_F(DispatchTableTest, UnknownMembersFlagsAndInterfacesAreRefused) {
    CallArgs none;
    CallOutcome unknown;
    Call(dispatch_, 999, kMethod, none, unknown);
    EXPECT_EQ(unknown.hr, DISP_E_MEMBERNOTFOUND);

    CallOutcome getOfMethod; // a method is not read as a property
    Call(dispatch_, kThrow, kGet, none, getOfMethod);
    EXPECT_EQ(getOfMethod.hr, DISP_E_MEMBERNOTFOUND);

    CallOutcome putOfReadOnly;
    CallArgs value;
    value.Named(DISPID_PROPERTYPUT, I4(1));
    Call(dispatch_, kSerial, kPut, value, putOfReadOnly);
    EXPECT_EQ(putOfReadOnly.hr, DISP_E_MEMBERNOTFOUND);

    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(dispatch_->Invoke(kSerial, IID_IProbe, 0, kGet, none.Params(), &result, nullptr, nullptr),
              DISP_E_UNKNOWNINTERFACE);
    EXPECT_EQ(dispatch_->Invoke(kSerial, IID_NULL, 0, 0, none.Params(), &result, nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
}

TEST_F(DispatchTableTest, PropertiesAreReadAndWrittenThroughThePutValue) {
    CallArgs put;
    put.Named(DISPID_PROPERTYPUT, Text(u"probe one"));
    CallOutcome written;
    Call(dispatch_, kName, kPut, put, written);
    ASSERT_EQ(written.hr, S_OK);
    EXPECT_EQ(probe_->name, u"probe one");

    CallOutcome read;
    EXPECT_EQ(dispatch_->Invoke(kName, IID_NULL, 0, kGet, nullptr, &read.result, nullptr, nullptr), S_OK)
        << "no DISPPARAMS at all is a call without arguments";
    EXPECT_EQ(read.ResultText(), u"probe one");

    // A put whose value is not the named DISPID_PROPERTYPUT argument has no value.
    CallArgs unnamed{Text(u"x")};
    CallOutcome refused;
    Call(dispatch_, kName, kPut, unnamed, refused);
    EXPECT_EQ(refused.hr, DISP_E_PARAMNOTFOUND);
    // And DISPID_PROPERTYPUT names nothing in a method call.
    CallArgs misplaced{I4(1)};
    misplaced.Named(DISPID_PROPERTYPUT, I4(2));
    CallOutcome method;
    Call(dispatch_, kSubtract, kMethod, misplaced, method);
    EXPECT_EQ(method.hr, DISP_E_PARAMNOTFOUND);
}

TEST_F(DispatchTableTest, IndexedPropertiesTakeTheIndexBeforeTheValue) {
    CallArgs put{I4(2)};
    put.Named(DISPID_PROPERTYPUT, Text(u"two"));
    CallOutcome written;
    Call(dispatch_, kItem, kPut, put, written);
    ASSERT_EQ(written.hr, S_OK);

    CallArgs get{I4(2)};
    CallOutcome read;
    Call(dispatch_, kItem, kGet, get, read);
    ASSERT_EQ(read.hr, S_OK);
    EXPECT_EQ(read.ResultText(), u"two");

    // Scripts call indexed properties like methods.
    CallArgs asMethod{I4(2)};
    CallOutcome called;
    Call(dispatch_, kItem, kMethod | kGet, asMethod, called);
    EXPECT_EQ(called.ResultText(), u"two");
    CallArgs methodOnly{I4(2)};
    CallOutcome methodFlag;
    Call(dispatch_, kItem, kMethod, methodOnly, methodFlag);
    EXPECT_EQ(methodFlag.ResultText(), u"two");
}

TEST_F(DispatchTableTest, PutAndPutRefStandInForEachOther) {
    vr::ComObjectPtr<CProbe> partner;
    ASSERT_EQ(vr::ComObject<CProbe>::Create(&partner), S_OK);
    IDispatch* partnerDispatch = static_cast<IProbe*>(partner.Get());
    CallArgs byRef;
    byRef.Named(DISPID_PROPERTYPUT, Object(partnerDispatch));
    CallOutcome set;
    Call(dispatch_, kPartner, DISPATCH_PROPERTYPUTREF, byRef, set);
    ASSERT_EQ(set.hr, S_OK);
    CallArgs none;
    CallOutcome read;
    Call(dispatch_, kPartner, kGet, none, read);
    ASSERT_EQ(read.result.vt, VT_DISPATCH);
    EXPECT_EQ(read.result.pdispVal, partnerDispatch);

    // An object assigned with a plain put lands on the putref member, text put by reference on the put
    // member.
    CallArgs cleared;
    cleared.Named(DISPID_PROPERTYPUT, Object(nullptr));
    CallOutcome put;
    Call(dispatch_, kPartner, kPut, cleared, put);
    ASSERT_EQ(put.hr, S_OK);
    CallOutcome empty;
    Call(dispatch_, kPartner, kGet, none, empty);
    EXPECT_EQ(empty.result.pdispVal, nullptr);
    CallArgs text;
    text.Named(DISPID_PROPERTYPUT, Text(u"by reference"));
    CallOutcome named;
    Call(dispatch_, kName, DISPATCH_PROPERTYPUTREF, text, named);
    ASSERT_EQ(named.hr, S_OK);
    EXPECT_EQ(probe_->name, u"by reference");
}

TEST_F(DispatchTableTest, BooleanPropertiesAreVariantBooleansBothWays) {
    CallArgs put;
    put.Named(DISPID_PROPERTYPUT, I4(5));
    CallOutcome written;
    Call(dispatch_, kVisible, kPut, put, written);
    ASSERT_EQ(written.hr, S_OK);
    EXPECT_EQ(probe_->visible, VARIANT_TRUE) << "5 converts to true, not to the short 5";

    CallArgs putText;
    putText.Named(DISPID_PROPERTYPUT, Text(u"False"));
    CallOutcome fromText;
    Call(dispatch_, kVisible, kPut, putText, fromText);
    ASSERT_EQ(fromText.hr, S_OK);
    EXPECT_EQ(probe_->visible, VARIANT_FALSE);

    probe_->visible = VARIANT_TRUE;
    CallArgs none;
    CallOutcome read;
    Call(dispatch_, kVisible, kGet, none, read);
    EXPECT_EQ(read.result.vt, VT_BOOL);
    EXPECT_EQ(read.result.boolVal, VARIANT_TRUE);
}

TEST_F(DispatchTableTest, OptionalArgumentsLeftOutTakeTheirDefaults) {
    CallArgs textOnly{Text(u"ab")};
    CallOutcome defaults;
    Call(dispatch_, kFormat, kMethod, textOnly, defaults);
    ASSERT_EQ(defaults.hr, S_OK);
    EXPECT_EQ(defaults.ResultText(), u"......ab");

    CallArgs gap{Text(u"ab"), Missing(), Bool(true)};
    CallOutcome withGap;
    Call(dispatch_, kFormat, kMethod, gap, withGap);
    ASSERT_EQ(withGap.hr, S_OK);
    EXPECT_EQ(withGap.ResultText(), u"......AB");

    CallArgs all{Text(u"ab"), I4(3), Bool(false)};
    CallOutcome given;
    Call(dispatch_, kFormat, kMethod, all, given);
    EXPECT_EQ(given.ResultText(), u".ab");
}

TEST_F(DispatchTableTest, OptionalArgumentsWithoutDefaultsGetTheMissingMarkerOrZero) {
    CallArgs none;
    CallOutcome out;
    Call(dispatch_, kInspect, kMethod, none, out);
    ASSERT_EQ(out.hr, S_OK);
    EXPECT_EQ(out.ResultText(), u"missing count=0");

    CallArgs given{I4(4), I4(2)};
    CallOutcome withValue;
    Call(dispatch_, kInspect, kMethod, given, withValue);
    EXPECT_EQ(withValue.ResultText(), u"vt=3 count=2");

    // A VARIANT passed by reference is looked through once.
    VARIANT text = Text(u"t");
    CallArgs byRef{ByRef(VT_VARIANT, &text)};
    CallOutcome through;
    Call(dispatch_, kInspect, kMethod, byRef, through);
    EXPECT_EQ(through.ResultText(), u"vt=8 count=0");
    (void)VariantClear(&text);
}

TEST_F(DispatchTableTest, ARequiredArgumentCannotBeMissing) {
    CallArgs args{Missing(), I4(1)};
    CallOutcome out;
    Call(dispatch_, kSubtract, kMethod, args, out);
    EXPECT_EQ(out.hr, DISP_E_PARAMNOTOPTIONAL);
    EXPECT_EQ(out.argError, 1u);
}

TEST_F(DispatchTableTest, NamedArgumentsFindTheirParameters) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(u"FORMAT"), const_cast<LPOLESTR>(u"Upper"),
                        const_cast<LPOLESTR>(u"width")};
    DISPID ids[3] = {};
    ASSERT_EQ(dispatch_->GetIDsOfNames(IID_NULL, names, 3, 0, ids), S_OK);
    EXPECT_EQ(ids[0], kFormat);
    EXPECT_EQ(ids[1], 2);
    EXPECT_EQ(ids[2], 1);

    CallArgs args{Text(u"ab")};
    args.Named(ids[1], Bool(true)); // width left to its default
    CallOutcome out;
    Call(dispatch_, kFormat, kMethod, args, out);
    ASSERT_EQ(out.hr, S_OK);
    EXPECT_EQ(out.ResultText(), u"......AB");

    CallArgs both{Text(u"ab")};
    both.Named(2, Bool(false)).Named(1, I4(4));
    CallOutcome named;
    Call(dispatch_, kFormat, kMethod, both, named);
    EXPECT_EQ(named.ResultText(), u"..ab");
}

TEST_F(DispatchTableTest, BadNamedArgumentsAreRefused) {
    CallArgs twice{Text(u"ab")};
    twice.Named(1, I4(4)).Named(1, I4(5));
    CallOutcome duplicate;
    Call(dispatch_, kFormat, kMethod, twice, duplicate);
    EXPECT_EQ(duplicate.hr, DISP_E_PARAMNOTFOUND);
    EXPECT_EQ(duplicate.argError, 1u);

    CallArgs outOfRange{Text(u"ab")};
    outOfRange.Named(7, I4(4));
    CallOutcome range;
    Call(dispatch_, kFormat, kMethod, outOfRange, range);
    EXPECT_EQ(range.hr, DISP_E_PARAMNOTFOUND);

    // A name for a parameter already given by position.
    CallArgs again{Text(u"ab")};
    again.Named(0, Text(u"cd"));
    CallOutcome positional;
    Call(dispatch_, kFormat, kMethod, again, positional);
    EXPECT_EQ(positional.hr, DISP_E_PARAMNOTFOUND);

    // A required parameter neither given nor named.
    CallArgs skipped;
    skipped.Named(1, I4(4));
    CallOutcome missing;
    Call(dispatch_, kFormat, kMethod, skipped, missing);
    EXPECT_EQ(missing.hr, DISP_E_PARAMNOTFOUND);
}

TEST_F(DispatchTableTest, NamesAreFoundInAnyCase) {
    for (const char16_t* spelling : {u"subtract", u"SUBTRACT", u"SubTract"}) {
        LPOLESTR names[] = {const_cast<LPOLESTR>(spelling)};
        DISPID id = 0;
        EXPECT_EQ(dispatch_->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
        EXPECT_EQ(id, kSubtract);
    }
    LPOLESTR item[] = {const_cast<LPOLESTR>(u"ITEM")};
    DISPID itemId = 0;
    EXPECT_EQ(dispatch_->GetIDsOfNames(IID_NULL, item, 1, 0, &itemId), S_OK);
    EXPECT_EQ(itemId, kItem);
}

TEST_F(DispatchTableTest, UnknownNamesAnswerDispidUnknown) {
    LPOLESTR unknownMember[] = {const_cast<LPOLESTR>(u"Add"), const_cast<LPOLESTR>(u"a")};
    DISPID ids[2] = {5, 5};
    EXPECT_EQ(dispatch_->GetIDsOfNames(IID_NULL, unknownMember, 2, 0, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], DISPID_UNKNOWN);
    EXPECT_EQ(ids[1], DISPID_UNKNOWN);

    LPOLESTR unknownParam[] = {const_cast<LPOLESTR>(u"Subtract"), const_cast<LPOLESTR>(u"c"),
                               const_cast<LPOLESTR>(u"B")};
    DISPID partial[3] = {};
    EXPECT_EQ(dispatch_->GetIDsOfNames(IID_NULL, unknownParam, 3, 0, partial), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(partial[0], kSubtract);
    EXPECT_EQ(partial[1], DISPID_UNKNOWN);
    EXPECT_EQ(partial[2], 1);

    LPOLESTR nullName[] = {nullptr};
    DISPID id = 0;
    EXPECT_EQ(dispatch_->GetIDsOfNames(IID_NULL, nullName, 1, 0, &id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(dispatch_->GetIDsOfNames(IID_IProbe, unknownMember, 1, 0, ids), DISP_E_UNKNOWNINTERFACE);
}

TEST_F(DispatchTableTest, OutArgumentsAreWrittenIntoTheCallersReferences) {
    BSTR head = vr::AllocBstr(u"old head");
    LONG rest = 100;
    CallArgs args{Text(u"key=value"), ByRef(VT_BSTR, &head), ByRef(VT_I4, &rest)};
    CallOutcome out;
    Call(dispatch_, kSplit, kMethod, args, out);
    ASSERT_EQ(out.hr, S_OK);
    EXPECT_EQ(vr::BstrView(head), u"key");
    EXPECT_EQ(rest, 105) << "an [in, out] value arrives with what the caller had";
    EXPECT_EQ(out.result.vt, VT_BOOL);
    EXPECT_EQ(out.result.boolVal, VARIANT_TRUE);
    SysFreeString(head);
}

TEST_F(DispatchTableTest, OutArgumentsInReferencedVariantsTakeTheParametersType) {
    VARIANT head = I4(7); // replaced by text
    VARIANT rest = Text(u"2");
    CallArgs args{Text(u"a=bc"), ByRef(VT_VARIANT, &head), ByRef(VT_VARIANT, &rest)};
    CallOutcome out;
    Call(dispatch_, kSplit, kMethod, args, out);
    ASSERT_EQ(out.hr, S_OK);
    ASSERT_EQ(head.vt, VT_BSTR);
    EXPECT_EQ(vr::BstrView(head.bstrVal), u"a");
    ASSERT_EQ(rest.vt, VT_I4);
    EXPECT_EQ(rest.lVal, 4);
    (void)VariantClear(&head);
    (void)VariantClear(&rest);
}

TEST_F(DispatchTableTest, OutArgumentsPassedByValueOrLeftOutAreTheMethodsAlone) {
    CallArgs byValue{Text(u"a=bc"), Text(u"dropped")};
    CallOutcome out;
    Call(dispatch_, kSplit, kMethod, byValue, out);
    ASSERT_EQ(out.hr, S_OK);
    const VARIANT& passed = byValue.Params()->rgvarg[0];
    ASSERT_EQ(passed.vt, VT_BSTR);
    EXPECT_EQ(vr::BstrView(passed.bstrVal), u"dropped") << "a value argument is never written to";

    // The caller does not want the result either: nothing may leak (the sanitizers watch).
    EXPECT_EQ(dispatch_->Invoke(kSplit, IID_NULL, 0, kMethod, byValue.Params(), nullptr, nullptr, nullptr),
              S_OK);
}

TEST_F(DispatchTableTest, AReferenceOfAnotherTypeIsNotWrittenThrough) {
    SHORT tooSmall = 1;
    BSTR head = nullptr;
    CallArgs args{Text(u"a=b"), ByRef(VT_BSTR, &head), ByRef(VT_I2, &tooSmall)};
    CallOutcome out;
    Call(dispatch_, kSplit, kMethod, args, out);
    EXPECT_EQ(out.hr, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(out.argError, 0u);
    EXPECT_EQ(tooSmall, 1);
    EXPECT_EQ(head, nullptr) << "nothing is written when the call does not happen";
}

TEST_F(DispatchTableTest, ArraysPassInAndComeBackWithTheirElementType) {
    SAFEARRAY* words = SafeArrayCreateVector(VT_BSTR, 1, 3);
    CallArgs args{Array(words)};
    CallOutcome counted;
    Call(dispatch_, kCountItems, kMethod, args, counted);
    ASSERT_EQ(counted.hr, S_OK);
    EXPECT_EQ(counted.result.lVal, 3);

    CallArgs notAnArray{I4(3)};
    CallOutcome refused;
    Call(dispatch_, kCountItems, kMethod, notAnArray, refused);
    EXPECT_EQ(refused.hr, DISP_E_TYPEMISMATCH);

    CallArgs make{I4(2)};
    CallOutcome made;
    Call(dispatch_, kMakeWords, kMethod, make, made);
    ASSERT_EQ(made.hr, S_OK);
    ASSERT_EQ(made.result.vt, VT_ARRAY | VT_BSTR);
    LONG index = 1;
    BSTR word = nullptr;
    ASSERT_EQ(SafeArrayGetElement(made.result.parray, &index, &word), S_OK);
    EXPECT_EQ(vr::BstrView(word), u"w1");
    SysFreeString(word);
}

TEST_F(DispatchTableTest, InterfaceArgumentsAreQueriedForTheParametersInterface) {
    vr::ComObjectPtr<CProbe> other;
    ASSERT_EQ(vr::ComObject<CProbe>::Create(&other), S_OK);
    LONG serial = 0;
    ASSERT_EQ(other->get_Serial(&serial), S_OK);
    CallArgs args{Object(static_cast<IProbe*>(other.Get()))};
    CallOutcome paired;
    Call(dispatch_, kPair, kMethod, args, paired);
    ASSERT_EQ(paired.hr, S_OK);
    EXPECT_EQ(paired.result.lVal, serial);

    // An object that is no IProbe does not pass for one.
    vr::ComPtr<IDispatch> stranger;
    ASSERT_EQ(vr::ComObject<CPlainDispatch>::Create(&stranger), S_OK);
    CallArgs wrong{Object(stranger.Get())};
    CallOutcome refused;
    Call(dispatch_, kPair, kMethod, wrong, refused);
    EXPECT_EQ(refused.hr, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(refused.argError, 0u);

    CallArgs echo{Object(stranger.Get())};
    CallOutcome echoed;
    Call(dispatch_, kEcho, kMethod, echo, echoed);
    ASSERT_EQ(echoed.hr, S_OK);
    ASSERT_EQ(echoed.result.vt, VT_UNKNOWN);
    EXPECT_EQ(echoed.result.punkVal, stranger.Get());
}

TEST_F(DispatchTableTest, EveryScalarTypeArrivesConverted) {
    CY money{123456};
    VARIANT cy;
    cy.vt = VT_CY;
    cy.cyVal = money;
    CallArgs args{I4(-5),  Text(u"200"),        I4(65535), R8(4e9), Text(u"-9000000000"),
                  R8(0.5), Text(u"1900-01-01"), cy};
    CallOutcome out;
    Call(dispatch_, kMix, kMethod, args, out);
    ASSERT_EQ(out.hr, S_OK) << out.argError;
    EXPECT_EQ(vr::ToUtf8(out.ResultText()), "-5 200 65535 4000000000 -9000000000 0.500000 2.000000 123456");

    CallArgs overflow{I4(300), I4(0), I4(0), I4(0), I4(0), I4(0), I4(0), I4(0)};
    CallOutcome refused;
    Call(dispatch_, kMix, kMethod, overflow, refused);
    EXPECT_EQ(refused.hr, DISP_E_TYPEMISMATCH) << "300 does not fit a CHAR";
    EXPECT_EQ(refused.argError, 7u);
}

// ---- Failures ----

TEST_F(DispatchTableTest, AFailureBecomesAnExceptionWithTheRichErrorInformation) {
    CallArgs args{I4(E_ACCESSDENIED), Text(u"the door is locked")};
    CallOutcome out;
    Call(dispatch_, kFail, kMethod, args, out);
    EXPECT_EQ(out.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(out.excep.scode, E_ACCESSDENIED);
    EXPECT_EQ(vr::BstrView(out.excep.bstrSource), u"Probe");
    EXPECT_EQ(vr::BstrView(out.excep.bstrDescription), u"the door is locked");
    IErrorInfo* left = nullptr;
    EXPECT_EQ(GetErrorInfo(0, &left), S_FALSE) << "the EXCEPINFO took the error information over";
}

TEST_F(DispatchTableTest, AFailureWithoutErrorInformationIsDescribedByItsHresult) {
    // Error information an earlier failure left behind must not describe this one.
    CallArgs first{I4(E_FAIL), Text(u"stale")};
    (void)dispatch_->Invoke(kFail, IID_NULL, 0, kMethod, first.Params(), nullptr, nullptr, nullptr);

    CallArgs args{I4(DISP_E_OVERFLOW)};
    CallOutcome out;
    Call(dispatch_, kFail, kMethod, args, out);
    EXPECT_EQ(out.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(out.excep.scode, DISP_E_OVERFLOW);
    EXPECT_EQ(vr::BstrView(out.excep.bstrDescription), vr::HResultMessage(DISP_E_OVERFLOW));
}

TEST_F(DispatchTableTest, WithoutAnExcepinfoTheMethodsHresultComesBackAndTheInformationStays) {
    CallArgs args{I4(E_ACCESSDENIED), Text(u"kept for the caller")};
    CallOutcome out;
    Call(dispatch_, kFail, kMethod, args, out, /*wantExcep=*/false);
    EXPECT_EQ(out.hr, E_ACCESSDENIED);
    IErrorInfo* info = nullptr;
    ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
    BSTR description = nullptr;
    EXPECT_EQ(info->GetDescription(&description), S_OK);
    EXPECT_EQ(vr::BstrView(description), u"kept for the caller");
    SysFreeString(description);
    info->Release();
}

TEST_F(DispatchTableTest, AnExceptionEscapingAMemberIsItsFailure) {
    CallArgs none;
    CallOutcome out;
    Call(dispatch_, kThrow, kMethod, none, out);
    EXPECT_EQ(out.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(out.excep.scode, E_UNEXPECTED);
}

TEST_F(DispatchTableTest, SuccessfulCallsLeaveNoExceptionBehind) {
    CallArgs args{I4(S_FALSE)};
    CallOutcome out;
    Call(dispatch_, kFail, kMethod, args, out);
    EXPECT_EQ(out.hr, S_FALSE) << "success codes pass through";
    EXPECT_EQ(out.excep.scode, 0);
    EXPECT_EQ(out.excep.bstrDescription, nullptr);
}

} // namespace
} // namespace vrtest
