// RunState: the one run state of an operator program (scrivon, runvex, panolix): idle, loading, running,
// paused, stopping or closing, which request each phase takes, and the close that waits for the work.
//
// Usage: the program's window logic owns one RunState, and every entry point (buttons, menu, automation
// object, forwarded command line, timers, closing the window) asks Takes() before it acts; a request the
// phase cannot take is answered with the refusal's text and never nests in the work that runs. Loading and
// running happen inside a Scope, which enters its phase and leaves it when it ends (scopes nest: an inner
// one gives the outer phase back). A close that comes while a scope runs is noted (the phase reads Closing,
// and nothing new is taken) and handed to the close action when the last scope has ended; the program then
// closes again and RequestClose lets it. A run moves to Paused and back and to Stopping with MoveTo; only a
// running phase has a script to interrupt.
//
//     vrcommon::RunState state(u"Scrivon");
//     if (!state.Takes(vrcommon::RunRequest::Run, &refusal)) { ...tell refusal...; return; }
//     vrcommon::RunState::Scope running(state, vrcommon::RunPhase::Running);
//     ... waits, during which Stop, Load and close requests arrive and ask Takes ...
//
// Threads: the window thread only. Failures: none; refusals are texts for the operator or a client.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

namespace vrcommon {

enum class RunPhase { Idle, Loading, Running, Paused, Stopping, Closing };

// What an entry point asks of the program.
enum class RunRequest {
    Load,  // a file (script, sequence, panel) replaces the one loaded
    Run,   // the loaded file runs; a paused run resumes
    Pause, // the run pauses after its current test
    Stop,  // the run ends after its current request
    Close, // the program ends
};

// "idle", "loading", "running", "paused", "stopping", "closing".
const char* RunPhaseName(RunPhase phase);

class RunState {
public:
    // program: the name its trace lines begin with.
    explicit RunState(std::u16string program);
    RunState(const RunState&) = delete;
    RunState& operator=(const RunState&) = delete;

    // Runs when the last scope has ended after a close came during it: the program closes again (usually
    // posted to its event loop). Empty: nothing is done.
    void SetCloseAction(std::function<void()> close) { closeAction_ = std::move(close); }

    // Closing once a close came (while the work it waits for still runs, too).
    RunPhase Phase() const;
    // A scope runs (loading, running, paused or stopping, also under a close that waits for it).
    bool Busy() const { return depth_ > 0; }
    // A close came and waits for the work, or has been handed to the close action.
    bool ClosePending() const { return close_ == CloseStage::Waiting || close_ == CloseStage::HandedOver; }
    // A close was let through: the program is on its way out.
    bool Closed() const { return close_ == CloseStage::Closed; }

    // Whether the request is taken now; when not, *refusal (when given) says why. Close is always taken (see
    // RequestClose).
    bool Takes(RunRequest request, std::string* refusal = nullptr) const;

    // The running work moves on: Running to Paused and back, Running or Paused to Stopping. Traced.
    void MoveTo(RunPhase phase);

    // A close: true when it may be carried out now (no scope runs, or a close was let through before: the
    // program is on its way out). Otherwise the close waits for the work (which the program should stop), at
    // most patience (none: as long as the work takes): then CloseOverdue says the waits may give up.
    bool RequestClose(std::optional<std::chrono::milliseconds> patience = std::nullopt);
    // A close has waited longer than its patience for the work.
    bool CloseOverdue() const;

    // Work of a phase (Loading or Running) from construction to destruction.
    class Scope {
    public:
        Scope(RunState& state, RunPhase phase);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        RunState& state_;
        RunPhase outer_;
    };

private:
    enum class CloseStage {
        None,
        Waiting,    // a close came while a scope ran
        HandedOver, // the last scope ended and gave the close to the close action
        Closed,     // a close was let through
    };

    void Trace(RunPhase from, RunPhase to) const;

    std::u16string program_;          // window thread, as every member
    RunPhase phase_ = RunPhase::Idle; // of the innermost scope; never Closing
    int depth_ = 0;                   // scopes running
    CloseStage close_ = CloseStage::None;
    std::optional<std::chrono::steady_clock::time_point> closeDeadline_; // while Waiting
    std::function<void()> closeAction_;
};

} // namespace vrcommon
