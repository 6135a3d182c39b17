// Delay serves the calls queued for the engine's thread: a Stop or an Output from another apartment's thread,
// made through a marshalled interface, runs while the engine waits.
#include "engine_fixture.h"

#include <chrono>

namespace corvanttest {
namespace {

TEST_F(EngineTest, StopFromAnotherThreadEndsTheDelay) {
    OtherApartment window(engine_.Get());
    std::future<HRESULT> stop = window.CallLater(kDispidStop, {}, std::chrono::milliseconds(50));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(engine_->Delay(60000), E_FAIL);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    EXPECT_EQ(stop.get(), S_OK);
    EXPECT_EQ(engine_->Output(Bstr(u"after"), Missing()), E_FAIL);
}

TEST_F(EngineTest, CallsFromAnotherThreadRunWhileTheDelayGoesOn) {
    OtherApartment window(engine_.Get());
    std::future<HRESULT> output =
        window.CallLater(kDispidOutput, {Long(6), _variant_t(u"from the window")}, {});
    while (output.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) {
        ASSERT_EQ(engine_->Delay(20), S_OK);
    }
    EXPECT_EQ(output.get(), S_OK);
    EXPECT_EQ(Next(), (std::pair<std::u16string, LONG>{u"from the window", 6}));
}

TEST_F(EngineTest, DelayOfNothingPumpsOnceAndInterruptedDelayFailsAtOnce) {
    EXPECT_EQ(engine_->Delay(0), S_OK);
    Interrupt();
    EXPECT_EQ(engine_->Delay(0), E_FAIL);
}

} // namespace
} // namespace corvanttest
