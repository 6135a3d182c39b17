// What the validator server's tests share: owned VARIANTs, a validator created through the registry, one
// check's full outcome (verdict, lastError, error information), and a tracer that records the lines.
#pragma once

#include "common/trace/Trace.h"
#include "common/trace/tests/trace_sink.h"
#include "limitor.h"
#include "platform/base/text.h"
#include "platform/com/activation.h"
#include "platform/com/comptr.h"
#include "platform/com/errorinfo.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

namespace limitortest {

inline std::string U8(std::u16string_view text) {
    return vr::ToUtf8(text);
}

inline std::string TakeText(BSTR text) {
    std::string utf8 = U8(vr::BstrView(text));
    SysFreeString(text);
    return utf8;
}

// A VARIANT owned by a test.
struct Value {
    VARIANT v;
    explicit Value(VARTYPE vt = VT_EMPTY) {
        VariantInit(&v);
        v.vt = vt;
        v.scode = vt == VT_ERROR ? DISP_E_PARAMNOTFOUND : 0;
    }
    Value(const char16_t* text) : Value(VT_BSTR) { v.bstrVal = vr::AllocBstr(text); }
    Value(double number) : Value(VT_R8) { v.dblVal = number; }
    Value(const Value& other) : Value() { EXPECT_EQ(VariantCopy(&v, &other.v), S_OK); }
    Value& operator=(const Value&) = delete;
    ~Value() { (void)VariantClear(&v); }
};

// The "missing" marker of an optional argument left out.
inline const Value kMissing(VT_ERROR);

// Everything one IsValid call left behind.
struct Outcome {
    HRESULT hr = E_UNEXPECTED;
    std::optional<bool> valid; // none when the out-argument was not written
    std::string lastError;
    std::string errorSource; // of the thread's error information after the call
    std::string errorDescription;
};

// The thread's error information as (source, description); empty texts without it.
inline std::pair<std::string, std::string> TakeErrorInfo() {
    vr::ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.Put()) != S_OK || !info) {
        return {};
    }
    BSTR source = nullptr;
    BSTR description = nullptr;
    EXPECT_EQ(info->GetSource(&source), S_OK);
    EXPECT_EQ(info->GetDescription(&description), S_OK);
    return {TakeText(source), TakeText(description)};
}

// A new validator created by CLSID, as the test engine creates it.
inline vr::ComPtr<IVrSpecValidator> NewValidator() {
    vr::ComPtr<IVrSpecValidator> validator;
    EXPECT_EQ(CoCreateInstance(CLSID_SpecValidator, nullptr, CLSCTX_INPROC_SERVER, IID_IVrSpecValidator,
                               validator.PutVoid()),
              S_OK);
    return validator;
}

// IsValid as the test engine calls it: precision and options missing unless given.
inline Outcome Check(IVrSpecValidator* validator, const Value& value, const Value& spec,
                     const Value& precision = kMissing) {
    Outcome outcome;
    VARIANT_BOOL verdict = 7; // neither answer, to see whether it was written
    (void)SetErrorInfo(0, nullptr);
    outcome.hr = validator->IsValid(value.v, spec.v, precision.v, kMissing.v, &verdict);
    if (verdict != 7) {
        outcome.valid = verdict == VARIANT_TRUE;
    }
    std::tie(outcome.errorSource, outcome.errorDescription) = TakeErrorInfo();
    BSTR lastError = nullptr;
    EXPECT_EQ(validator->get_lastError(&lastError), S_OK);
    outcome.lastError = TakeText(lastError);
    return outcome;
}

class ValidatorTest : public commontest::TracedTest {
protected:
    void SetUp() override {
        TracedTest::SetUp();
        validator_ = NewValidator();
        ASSERT_TRUE(validator_);
    }
    void TearDown() override {
        validator_ = nullptr;
        TracedTest::TearDown();
    }

    Outcome Check(const Value& value, const Value& spec, const Value& precision = kMissing) {
        return limitortest::Check(validator_.Get(), value, spec, precision);
    }
    // The verdict of a check that must succeed.
    bool Valid(const Value& value, const Value& spec, const Value& precision = kMissing) {
        Outcome outcome = Check(value, spec, precision);
        EXPECT_EQ(outcome.hr, S_OK) << outcome.errorDescription;
        return outcome.valid.value_or(false);
    }

    vr::ComPtr<IVrSpecValidator> validator_;
};

} // namespace limitortest
