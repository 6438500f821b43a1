#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>

// Where a run is, reported at every safe point of the pipeline.
struct RunProgress {
    std::string stage;       // "Removing overlaps", "Welding", "Refining", ...
    int iteration = -1;      // refinement iteration (from 0), -1 outside refinement
    double efficiency = 0.0; // packing efficiency of the current layout, in percent
    double normBLen = 0.0;   // normalised boundary length of the current layout
};

// Cancellation and progress of the runs of one pipeline. The run itself calls
// report() and cancelRequested() at its safe points; other threads, and signal
// handlers, may ask it to stop at any time.
class RunControl {
public:
    using ProgressHandler = std::function<bool(const RunProgress&)>;

    // Asks the run to stop at its next safe point. Lock-free, so it may be
    // called from a signal handler.
    void requestCancel() noexcept { cancel_.store(true, std::memory_order_relaxed); }
    bool cancelRequested() const noexcept
    {
        return cancel_.load(std::memory_order_relaxed) || interrupt_.load(std::memory_order_relaxed);
    }
    // Clears a cancellation before a new run (an interruption stays).
    void clearCancel() noexcept { cancel_.store(false, std::memory_order_relaxed); }
    // A stop that clearCancel() does not lift: the process has been told to
    // end (a signal), so every later run stops at once too. Lock-free.
    void requestInterrupt() noexcept { interrupt_.store(true, std::memory_order_relaxed); }
    bool interruptRequested() const noexcept { return interrupt_.load(std::memory_order_relaxed); }

    // The handler sees every report (on the thread of the run); returning false
    // cancels the run.
    void setProgressHandler(ProgressHandler handler);
    // Records and forwards the progress. Returns true when the run may go on.
    bool report(const RunProgress& progress);
    // The last progress reported.
    RunProgress lastProgress() const;

private:
    std::atomic<bool> cancel_{false};
    std::atomic<bool> interrupt_{false};
    mutable std::mutex mutex_;
    ProgressHandler handler_;
    RunProgress last_;
};
