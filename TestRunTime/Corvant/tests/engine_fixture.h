// The fixture of the test-engine tests: COM on the test thread, an engine created through the registry by its
// ProgID, owned argument values, and the rows of the results database in the test's private data home.
#pragma once

#include "corvant.h"
#include "platform/base/paths.h"
#include "platform/base/text.h"
#include "platform/com/activation.h"
#include "platform/com/comptr.h"
#include "platform/com/comutil.h"
#include "platform/com/errorinfo.h"
#include "platform/com/marshal.h"
#include "tests/support/com_holders.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace corvanttest {

using vrtest::Bstr;
using vrtest::Missing;
using vrtest::TextOf;

// A VT_I4 argument (a C++ long would make a 64-bit VARIANT).
inline _variant_t Long(LONG value) {
    return _variant_t(value);
}

// The description of the calling thread's error information ("" without one).
inline std::u16string ErrorDescription() {
    vr::ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.Put()) != S_OK || !info) {
        return u"";
    }
    BSTR description = nullptr;
    (void)info->GetDescription(&description);
    std::u16string text = TextOf(description);
    SysFreeString(description);
    return text;
}

// A new test engine, or a failure of the test.
inline vr::ComPtr<IVrTestEngine> CreateEngine() {
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID(kTestEngineIndependentProgId, &clsid), S_OK);
    vr::ComPtr<IVrTestEngine> engine;
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IVrTestEngine, engine.PutVoid()),
              S_OK);
    return engine;
}

inline constexpr DISPID kDispidOutput = 1;
inline constexpr DISPID kDispidStop = 18;

// A thread of its own apartment that calls the engine through a marshalled IDispatch once `go` is set.
class OtherApartment {
public:
    explicit OtherApartment(IVrTestEngine* engine) {
        EXPECT_EQ(CoMarshalInterThreadInterfaceInStream(IID_IDispatch, engine, &stream_), S_OK);
    }
    ~OtherApartment() {
        if (thread_.joinable()) {
            thread_.join();
        }
    }

    // Calls member with the arguments (reversed order, as DISPPARAMS holds them) after the delay; the
    // future gives the call's result.
    std::future<HRESULT> CallLater(DISPID member, std::vector<_variant_t> reversedArgs,
                                   std::chrono::milliseconds delay) {
        auto result = std::make_shared<std::promise<HRESULT>>();
        std::future<HRESULT> future = result->get_future();
        thread_ = std::thread([this, member, args = std::move(reversedArgs), delay, result]() mutable {
            (void)CoInitialize(nullptr);
            vr::ComPtr<IDispatch> engine;
            HRESULT hr = CoGetInterfaceAndReleaseStream(stream_, IID_IDispatch, engine.PutVoid());
            std::this_thread::sleep_for(delay);
            if (SUCCEEDED(hr)) {
                DISPPARAMS params{args.empty() ? nullptr : static_cast<VARIANT*>(args.data()), nullptr,
                                  static_cast<UINT>(args.size()), 0};
                hr = engine->Invoke(member, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
            }
            engine = nullptr;
            result->set_value(hr);
            CoUninitialize();
        });
        return future;
    }

private:
    LPSTREAM stream_ = nullptr;
    std::thread thread_;
};

class EngineTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
        engine_ = CreateEngine();
        ASSERT_TRUE(engine_);
    }
    void TearDown() override {
        engine_ = nullptr;
        CoFreeUnusedLibrariesEx(0, 0);
        CoUninitialize();
    }

    // The next queued line as (text, status); ("<none>", -1) when the queue is empty.
    std::pair<std::u16string, LONG> Next() {
        _variant_t status;
        BSTR text = nullptr;
        HRESULT hr = engine_->GetOutput(&status, &text);
        if (hr == S_FALSE) {
            return {u"<none>", -1};
        }
        EXPECT_EQ(hr, S_OK);
        EXPECT_EQ(status.vt, VT_I4);
        std::pair<std::u16string, LONG> line{TextOf(text), status.lVal};
        SysFreeString(text);
        return line;
    }

    std::u16string OptionText(std::u16string_view name) {
        _variant_t value;
        EXPECT_EQ(engine_->get_option(Bstr(name), &value), S_OK);
        if (value.vt == VT_EMPTY) {
            return u"<empty>";
        }
        _variant_t text;
        EXPECT_EQ(VariantChangeType(&text, &value, 0, VT_BSTR), S_OK);
        return TextOf(text.bstrVal);
    }

    bool Enabled(std::u16string_view name) {
        VARIANT_BOOL enabled = VARIANT_FALSE;
        EXPECT_EQ(engine_->IsOptionEnabled(Bstr(name), &enabled), S_OK);
        return enabled == VARIANT_TRUE;
    }

    void Interrupt() { ASSERT_EQ(engine_->Stop(Missing()), S_OK); }

    vr::ComPtr<IVrTestEngine> engine_;
};

} // namespace corvanttest
