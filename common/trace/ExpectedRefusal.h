// ExpectedRefusalScope: a refusal that a self-test asks for on purpose traces no error line. Part of the
// tracing module (Trace.h); every deliverable compiles its own copy. Threads: each scope acts on the thread
// it lives on.
#pragma once

// While one lives, the error lines of its thread (TraceError, TraceHResultError, TraceInternalError) are
// neither sent nor kept as LastErrorText: for a self-test that makes a call fail on purpose, to see it
// refused, where nothing failed. Scopes nest; keep one around that call alone, so that the test's own
// report of a wrong answer is still sent.
class ExpectedRefusalScope {
public:
    ExpectedRefusalScope();
    ~ExpectedRefusalScope();
    ExpectedRefusalScope(const ExpectedRefusalScope&) = delete;
    ExpectedRefusalScope& operator=(const ExpectedRefusalScope&) = delete;
};
