// The conformance suite's fixture: each channel that instantiates it runs every call of the suite.
#pragma once

#include "conformance.h"

#include <gtest/gtest.h>

namespace vrtest {

// The test thread is a single-threaded apartment, so that call-backs into its objects have a thread to run
// on.
class ConformanceSuite : public ::testing::TestWithParam<ChannelMaker> {
protected:
    void SetUp() override;
    void TearDown() override;

    IConformance* Far() { return far_.Get(); }
    ConformanceChannel& Channel() { return *channel_; }

private:
    std::unique_ptr<ConformanceChannel> channel_;
    vr::ComPtr<IConformance> far_;
};

} // namespace vrtest
