// The operator programs' run state: what each phase takes, nested work, and a close that waits for it.
#include "common/RunState.h"

#include <gtest/gtest.h>

namespace {

using vrcommon::RunPhase;
using vrcommon::RunRequest;
using vrcommon::RunState;

// A close during nested work waits for the outermost to end, is handed over once, takes nothing meanwhile,
// and is let through when the program closes again.
TEST(RunState, NestedWorkKeepsItsPhaseAndACloseWaitsForAllOfIt) {
    RunState state(u"Test");
    int closes = 0;
    state.SetCloseAction([&] { ++closes; });
    std::string refusal;
    {
        RunState::Scope running(state, RunPhase::Running);
        EXPECT_FALSE(state.Takes(RunRequest::Load, &refusal));
        EXPECT_EQ(refusal, "A run is in progress: nothing can be loaded until it has ended.");
        state.MoveTo(RunPhase::Paused);
        EXPECT_TRUE(state.Takes(RunRequest::Run)); // resumes
        {
            RunState::Scope inner(state, RunPhase::Running);
            EXPECT_FALSE(state.RequestClose(std::chrono::milliseconds(0)));
            EXPECT_TRUE(state.CloseOverdue());
        }
        EXPECT_EQ(state.Phase(), RunPhase::Closing);
        EXPECT_EQ(closes, 0);
        EXPECT_FALSE(state.Takes(RunRequest::Stop, &refusal));
        EXPECT_EQ(refusal, "The program is closing.");
    }
    EXPECT_EQ(closes, 1);
    EXPECT_FALSE(state.CloseOverdue());
    EXPECT_FALSE(state.Takes(RunRequest::Run)); // the close is on its way
    EXPECT_TRUE(state.RequestClose());
    EXPECT_TRUE(state.Closed());
    {
        RunState::Scope reset(state, RunPhase::Running); // the program's last work, after the close
        EXPECT_TRUE(state.RequestClose());               // a further close changes nothing
    }
    EXPECT_EQ(closes, 1);
}

TEST(RunState, AnIdleProgramStopsAndPausesNothing) {
    RunState state(u"Test");
    EXPECT_FALSE(state.Takes(RunRequest::Stop));
    EXPECT_FALSE(state.Takes(RunRequest::Pause));
    EXPECT_TRUE(state.Takes(RunRequest::Load));
    RunState::Scope loading(state, RunPhase::Loading);
    std::string refusal;
    EXPECT_FALSE(state.Takes(RunRequest::Run, &refusal));
    EXPECT_EQ(refusal, "A file is being loaded: nothing can run until it is loaded.");
    EXPECT_FALSE(state.RequestClose()); // waits for the load, as long as it takes
    EXPECT_FALSE(state.CloseOverdue());
}

} // namespace
