// The run state of an operator program: which request each phase takes, scopes, and the waiting close.
#include "common/worker/RunState.h"

#include "common/trace/Trace.h"

namespace vrcommon {

const char* RunPhaseName(RunPhase phase) {
    switch (phase) {
    case RunPhase::Idle:
        return "idle";
    case RunPhase::Loading:
        return "loading";
    case RunPhase::Running:
        return "running";
    case RunPhase::Paused:
        return "paused";
    case RunPhase::Stopping:
        return "stopping";
    case RunPhase::Closing:
        return "closing";
    }
    return "?";
}

RunState::RunState(std::u16string program) : program_(std::move(program)) {}

RunPhase RunState::Phase() const {
    return close_ == CloseStage::None ? phase_ : RunPhase::Closing;
}

namespace {

bool Refuse(std::string* refusal, const char* why) {
    if (refusal) {
        *refusal = why;
    }
    return false;
}

} // namespace

bool RunState::Takes(RunRequest request, std::string* refusal) const {
    RunPhase phase = Phase();
    if (request == RunRequest::Close) {
        return true;
    }
    if (phase == RunPhase::Closing) {
        return Refuse(refusal, "The program is closing.");
    }
    switch (request) {
    case RunRequest::Load:
        if (phase == RunPhase::Loading) {
            return Refuse(refusal, "Another file is being loaded: this one isn't loaded.");
        }
        if (phase != RunPhase::Idle) {
            return Refuse(refusal, "A run is in progress: nothing can be loaded until it has ended.");
        }
        return true;
    case RunRequest::Run:
        if (phase == RunPhase::Loading) {
            return Refuse(refusal, "A file is being loaded: nothing can run until it is loaded.");
        }
        if (phase != RunPhase::Idle && phase != RunPhase::Paused) {
            return Refuse(refusal, "A run is in progress: another one can't start until it has ended.");
        }
        return true;
    case RunRequest::Pause:
        return phase == RunPhase::Running || Refuse(refusal, "No run is in progress.");
    case RunRequest::Stop:
        return phase == RunPhase::Running || phase == RunPhase::Paused ||
               Refuse(refusal, "No run is in progress.");
    case RunRequest::Close:
        break;
    }
    return true;
}

void RunState::MoveTo(RunPhase phase) {
    Trace(phase_, phase);
    phase_ = phase;
}

bool RunState::RequestClose(std::optional<std::chrono::milliseconds> patience) {
    if (depth_ == 0 || close_ == CloseStage::Closed) {
        if (close_ != CloseStage::Closed) {
            Trace(phase_, RunPhase::Closing);
        }
        close_ = CloseStage::Closed;
        return true;
    }
    if (close_ != CloseStage::Waiting) {
        close_ = CloseStage::Waiting;
        closeDeadline_.reset();
        if (patience) {
            closeDeadline_ = std::chrono::steady_clock::now() + *patience;
        }
        Trace(phase_, RunPhase::Closing);
    }
    return false;
}

bool RunState::CloseOverdue() const {
    return close_ == CloseStage::Waiting && closeDeadline_ &&
           std::chrono::steady_clock::now() >= *closeDeadline_;
}

void RunState::Trace(RunPhase from, RunPhase to) const {
    if (from != to) {
        SetTraceMethodName(u"RunState::MoveTo()");
        SetTraceSite();
        TraceInfo(u"%s: %hs -> %hs", program_.c_str(), RunPhaseName(from), RunPhaseName(to));
    }
}

// Scopes come and go with every wait (a status line's too): only the moves a request makes are traced.
RunState::Scope::Scope(RunState& state, RunPhase phase) : state_(state), outer_(state.phase_) {
    ++state_.depth_;
    state_.phase_ = phase;
}

// The last scope to end hands a close that came meanwhile to the program.
RunState::Scope::~Scope() {
    state_.phase_ = outer_;
    if (--state_.depth_ == 0 && state_.close_ == CloseStage::Waiting) {
        state_.close_ = CloseStage::HandedOver;
        if (state_.closeAction_) {
            state_.closeAction_();
        }
    }
}

} // namespace vrcommon
