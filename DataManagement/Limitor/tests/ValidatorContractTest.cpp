// The validator server's contract: creation by ProgID, input errors with their error information, trace lines
// and site tags, lastError, GetInfo, and calls by name through IDispatch as scripts make them.
#include "ValidatorTestSupport.h"

#include <vector>

namespace limitortest {
namespace {

TEST_F(ValidatorTest, CreatedByEitherProgIdWithObjectLifeTraced) {
    for (const char16_t* progId : {kSpecValidatorProgId, kSpecValidatorIndependentProgId}) {
        CLSID clsid = GUID_NULL;
        ASSERT_EQ(CLSIDFromProgID(progId, &clsid), S_OK) << U8(progId);
        EXPECT_EQ(clsid, CLSID_SpecValidator);
    }
    sink_->Clear();
    { vr::ComPtr<IVrSpecValidator> created = NewValidator(); }
    std::vector<LONG> deltas;
    for (const commontest::SinkCall& call : sink_->Calls()) {
        if (call.member == DISPID_TRACESINK_WRITECALL) {
            EXPECT_EQ(U8(call.first), "CSpecValidator::FinalConstruct()");
            deltas.push_back(call.delta);
        }
    }
    EXPECT_EQ(deltas, (std::vector<LONG>{1, -1}));
}

TEST_F(ValidatorTest, InputErrorsFailWithTheirMessage) {
    struct Case {
        Value value;
        Value spec;
        Value precision;
        const char* description;
    };
    const Case cases[] = {
        {u"1", kMissing, kMissing, "Invalid entry Spec '(VT_ERROR)(null)'."},
        {u"1", Value(VT_NULL), kMissing, "Invalid entry Spec '(VT_NULL)'."},
        {kMissing, u"1", kMissing, "Invalid entry Value '(VT_ERROR)(null)'."},
        {Value(VT_NULL), u"", kMissing, "Invalid entry Value '(VT_NULL)'."}, // even against an empty spec
        {Value(VT_NULL), u"{informs}", kMissing, "Invalid entry Value '(VT_NULL)'."},
        {u"1", u"1", u"abc", "Invalid entry ValuePrecision '(VT_BSTR)abc'."},
    };
    for (const Case& c : cases) {
        Outcome outcome = Check(c.value, c.spec, c.precision);
        EXPECT_EQ(outcome.hr, E_INVALIDARG) << c.description;
        EXPECT_EQ(outcome.valid, std::nullopt) << c.description;
        EXPECT_EQ(outcome.errorDescription, c.description);
        EXPECT_EQ(outcome.errorSource, "Vornic.SpecValidator.1");
        EXPECT_EQ(outcome.lastError, "");
    }
    EXPECT_EQ(validator_->IsValid(Value(u"1").v, Value(u"1").v, kMissing.v, kMissing.v, nullptr), E_POINTER);
    EXPECT_EQ(TakeErrorInfo().second, "Invalid entry pvbValid = 0.");
}

TEST_F(ValidatorTest, TraceLinesNameTheirSites) {
    sink_->Clear();
    ASSERT_TRUE(Valid(u"3", u"[1..5]"));
    ASSERT_FALSE(Valid(u"9", u"9 "));
    ASSERT_TRUE(Valid(u"x", u"{50% note}"));
    ASSERT_EQ(Check(u"1", u"schema:type=double length=3").valid, false);
    std::vector<std::pair<std::string, std::string>> lines; // source, text
    for (const commontest::SinkCall& call : sink_->Calls()) {
        if (call.member == DISPID_TRACESINK_WRITETEXT) {
            lines.emplace_back(U8(call.first), U8(call.text));
        }
    }
    ASSERT_EQ(lines.size(), 5u);
    const std::string site = "CSpecValidator::IsValid(): SpecValidator.cpp ";
    EXPECT_EQ(lines[0].first, site + "(228)");
    EXPECT_EQ(lines[0].second,
              "Return TRUE: Value '3' valid for Spec '[1..5]'; bstrSchemaExtAttributes='type=double "
              "minInclusive='1' maxInclusive='5'  name=Value'.");
    EXPECT_EQ(lines[1].first, site + "(233)");
    EXPECT_EQ(lines[1].second, "Return FALSE: Value '9', Spec '9 '; Error: ''; bstrSchemaExtAttributes=''.");
    EXPECT_EQ(lines[2].first, site + "(79)");
    EXPECT_EQ(lines[2].second, "Return TRUE: Value 'x' valid for empty Spec '{50% note}'.");
    EXPECT_EQ(lines[3].first, site + "(233)");
    EXPECT_EQ(lines[4].first, site + "(241)");
    EXPECT_EQ(lines[4].second.rfind("Value '1', Spec 'schema:type=double length=3': '", 0), 0u);
}

TEST_F(ValidatorTest, LastErrorIsEachObjectsOwn) {
    BSTR text = nullptr;
    ASSERT_EQ(validator_->get_lastError(&text), S_OK);
    EXPECT_EQ(text, nullptr) << "null before the first check";
    EXPECT_EQ(validator_->get_lastError(nullptr), E_POINTER);
    EXPECT_FALSE(Valid(u"2", u"3"));
    vr::ComPtr<IVrSpecValidator> other = NewValidator();
    EXPECT_EQ(limitortest::Check(other.Get(), u"3", u"3").lastError, "");
    ASSERT_EQ(validator_->get_lastError(&text), S_OK);
    EXPECT_EQ(TakeText(text), "Value '2' is not valid according to the Spec '3'.");
}

TEST_F(ValidatorTest, InfoIsTheTextBetweenTheBraces) {
    auto info = [this](const Value& value) {
        BSTR text = nullptr;
        EXPECT_EQ(validator_->GetInfo(value.v, &text), S_OK);
        return TakeText(text);
    };
    EXPECT_EQ(info(u"5..10 {supply voltage}"), "supply voltage");
    EXPECT_EQ(info(u"a{b"), "");
    EXPECT_EQ(info(kMissing), "");
    EXPECT_EQ(info(u"pattern:[A-Z]{3}"), "");
    EXPECT_EQ(info(u"pattern:[A-Z]{3} {code}"), "code");
    EXPECT_EQ(validator_->GetInfo(Value(u"{x}").v, nullptr), E_POINTER);
}

// Calls a member by name as a script does: arguments in their natural order, result and exception returned.
HRESULT CallByName(IDispatch* object, std::u16string name, WORD flags, std::vector<VARIANT> arguments,
                   Value* result, EXCEPINFO* excep) {
    LPOLESTR names[] = {name.data()};
    DISPID id = DISPID_UNKNOWN;
    if (HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, 0, &id); FAILED(hr)) {
        return hr;
    }
    std::vector<VARIANT> reversed(arguments.rbegin(), arguments.rend());
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    UINT argError = 0;
    return object->Invoke(id, IID_NULL, 0, flags, &params, &result->v, excep, &argError);
}

TEST_F(ValidatorTest, ScriptsCallByNameWithOptionalArgumentsLeftOut) {
    vr::ComPtr<IDispatch> dispatch;
    ASSERT_EQ(validator_.As(&dispatch), S_OK);
    Value result;
    Value value(3.0);
    Value range(u"[1..5]");
    ASSERT_EQ(CallByName(dispatch.Get(), u"isvalid", DISPATCH_METHOD, {value.v, range.v}, &result, nullptr),
              S_OK);
    EXPECT_EQ(result.v.vt, VT_BOOL);
    EXPECT_EQ(result.v.boolVal, VARIANT_TRUE);

    // A value passed by reference, as script engines pass variables.
    Value referenced(u"10.4");
    VARIANT byReference;
    byReference.vt = VT_BYREF | VT_VARIANT;
    byReference.pvarVal = &referenced.v;
    Value spec(u"10");
    Value precision(0.5);
    Value widened;
    ASSERT_EQ(CallByName(dispatch.Get(), u"IsValid", DISPATCH_METHOD, {byReference, spec.v, precision.v},
                         &widened, nullptr),
              S_OK);
    EXPECT_EQ(widened.v.boolVal, VARIANT_TRUE);

    Value unreadable(u"range:abc");
    Value ignored;
    EXCEPINFO excep{};
    EXPECT_EQ(
        CallByName(dispatch.Get(), u"IsValid", DISPATCH_METHOD, {value.v, unreadable.v}, &ignored, &excep),
        DISP_E_EXCEPTION);
    EXPECT_EQ(excep.scode, E_INVALIDARG);
    EXPECT_EQ(U8(vr::BstrView(excep.bstrSource)), "Vornic.SpecValidator.1");
    EXPECT_EQ(U8(vr::BstrView(excep.bstrDescription)),
              "Invalid entry Spec 'abc': Ther is no delimiter '..'.");
    vr::ClearExcepInfo(&excep);
}

} // namespace
} // namespace limitortest
