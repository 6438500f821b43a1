#pragma once

#include "base/run_control.h"

#include <cstddef>
#include <functional>

// Worker threads of the refinement: the trials of a cut step and the
// per-chart empty-space searches run on them. Results never depend on the
// number of threads; only the time does.

// Sets the number of threads (the calling thread included); 0 means one per
// hardware thread, at most 64. A packing outside the jobs uses a helper
// thread only when this is more than one.
void setRefinementThreads(unsigned count);

// The number of threads in use, at least 1.
unsigned refinementThreads();

// Runs job(i) for every i in [0, count), spread over refinementThreads()
// threads (the calling thread is one of them), and returns when all are done.
// An exception of a job is rethrown afterwards, that of the lowest index when
// several throw; the other jobs still run.
// Inside a CancelScope whose control asks to stop, no further job starts and
// RefinementCancelled is thrown once the running ones are done.
void runJobs(size_t count, const std::function<void(size_t)>& job);

// Thrown when a cut step stops early because its run was cancelled; the
// lists it was working on are then in no defined state.
struct RefinementCancelled {};

// While alive, the cut step work started from this thread (runJobs, the
// trials of a cut search) stops early once control asks for a cancellation.
// Scopes nest; a null control stops nothing.
class CancelScope {
public:
    explicit CancelScope(const RunControl* control);
    ~CancelScope();
    CancelScope(const CancelScope&) = delete;
    CancelScope& operator=(const CancelScope&) = delete;

private:
    const RunControl* previous_;
};

// Throws RefinementCancelled when the scope of the calling thread asks to stop.
void throwIfCancelled();
