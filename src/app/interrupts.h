#pragma once

#include "base/run_control.h"

// Catches SIGINT and SIGTERM while it lives (a batch run): the first signal
// tells control to stop at its next safe point and is remembered; the
// handler is then reset, so a second signal ends the process at once. The
// previous handlers come back when the guard goes.
class InterruptGuard {
public:
    explicit InterruptGuard(RunControl& control);
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

    // The signal received (SIGINT or SIGTERM), or 0 when none came.
    static int receivedSignal();
};

// "SIGINT", "SIGTERM" or "a signal".
const char* signalName(int signal);

// The exit status of a run ended by the signal: 128 + its number (130, 143).
int interruptedExitStatus(int signal);
