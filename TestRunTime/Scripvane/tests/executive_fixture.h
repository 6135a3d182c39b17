// A script executive created through the build tree's registry, with the stand-in hardware manager
// registered in the process and a stand-in test engine, for each test.
#pragma once

#include "TestRunTime/Scripvane/include/scripvane.h"
#include "platform/base/text.h"
#include "platform/com/activation.h"
#include "platform/com/errorinfo.h"
#include "test_fakes.h"
#include "tests/support/com_holders.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace scripvanetest {

// An owned VARIANT.
struct Value {
    VARIANT v;
    Value() { VariantInit(&v); }
    ~Value() { (void)VariantClear(&v); }
    Value(const Value&) = delete;
    Value& operator=(const Value&) = delete;
    std::u16string Text() const;
};

using vrtest::Bstr;

// The description of the calling thread's error information (consumed), "" when there is none.
std::u16string TakeErrorDescription();

class ExecutiveTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Init with the stand-in engine, the language JScript and the code.
    void Load(std::u16string_view code);
    HRESULT Run(std::u16string_view method, Value* result = nullptr);
    HRESULT Eval(std::u16string_view expression, Value* result);
    bool Available(std::u16string_view method);

    HardwareScene& scene = HardwareScene::Get();
    std::unique_ptr<ClassRegistration> hardware;
    vr::ComObjectPtr<FakeTestEngine> engine;
    vr::ComPtr<IScrivon> executive;
};

} // namespace scripvanetest
