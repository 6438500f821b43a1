#include "refine/parallel_jobs.h"

#include "packing/pack_threads.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <optional>
#include <thread>
#include <vector>

namespace {

std::atomic<unsigned> requestedThreads{0};
thread_local const RunControl* scopeControl = nullptr;

} // namespace

CancelScope::CancelScope(const RunControl* control) : previous_(scopeControl) { scopeControl = control; }

CancelScope::~CancelScope() { scopeControl = previous_; }

void throwIfCancelled()
{
    if (scopeControl && scopeControl->cancelRequested())
        throw RefinementCancelled();
}

void setRefinementThreads(unsigned count)
{
    requestedThreads.store(count);
    setPackingHelperThread(refinementThreads() > 1);
}

unsigned refinementThreads()
{
    const unsigned requested = requestedThreads.load();
    if (requested > 0)
        return requested;
    // Beyond this many the grids that every thread holds cost more than the
    // few independent jobs of a step can gain.
    constexpr unsigned MaxDefaultThreads = 64;
    return std::min(MaxDefaultThreads, std::max(1u, std::thread::hardware_concurrency()));
}

void runJobs(size_t count, const std::function<void(size_t)>& job)
{
    if (count == 0)
        return;
    throwIfCancelled();
    // The helper threads have no scope of their own: they look at this one's.
    const RunControl* control = scopeControl;
    std::vector<std::exception_ptr> errors(count);
    std::atomic<size_t> next{0};
    const size_t threads = std::min<size_t>(refinementThreads(), count);
    const auto work = [&]() {
        // Jobs running beside each other already use the threads; their
        // packings add none.
        std::optional<SerialPackingScope> serial;
        if (threads > 1)
            serial.emplace();
        for (size_t i = next.fetch_add(1); i < count; i = next.fetch_add(1)) {
            if (control && control->cancelRequested())
                break;
            try {
                job(i);
            } catch (...) {
                errors[i] = std::current_exception();
            }
        }
    };
    std::vector<std::thread> helpers;
    helpers.reserve(threads - 1);
    try {
        for (size_t t = 1; t < threads; ++t)
            helpers.emplace_back(work);
    } catch (...) {
        // No more threads to be had: the ones running and this one finish.
    }
    work();
    for (std::thread& t : helpers)
        t.join();
    throwIfCancelled();
    for (const std::exception_ptr& e : errors)
        if (e)
            std::rethrow_exception(e);
}
