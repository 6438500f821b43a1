#pragma once

#include <cstddef>
#include <functional>

// Worker threads of the refinement: the trials of a cut step and the
// per-chart empty-space searches run on them. Results never depend on the
// number of threads; only the time does.

// Sets the number of threads (the calling thread included); 0 means one per
// hardware thread, at most 64.
void setRefinementThreads(unsigned count);

// The number of threads in use, at least 1.
unsigned refinementThreads();

// Runs job(i) for every i in [0, count), spread over refinementThreads()
// threads (the calling thread is one of them), and returns when all are done.
// An exception of a job is rethrown afterwards, that of the lowest index when
// several throw; the other jobs still run.
void runJobs(size_t count, const std::function<void(size_t)>& job);
