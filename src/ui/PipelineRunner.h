#pragma once

#include "base/run_control.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class Pipeline;

// Runs jobs on a pipeline (the stages of Run, a single step) on a worker
// thread, so that the window stays live. Progress reports and the end of a job
// are delivered on the thread that owns the runner (the GUI thread). Only one
// job runs at a time; the pipeline must not be touched elsewhere meanwhile.
class PipelineRunner : public QObject {
    Q_OBJECT

public:
    // Returns false when the job was cancelled (it stopped at a safe point).
    using Job = std::function<bool(Pipeline&)>;

    explicit PipelineRunner(Pipeline& pipeline, QObject* parent = nullptr);
    // Cancels a running job and waits for it to stop.
    ~PipelineRunner() override;

    // Starts job on the worker thread; false (and nothing started) while
    // another job runs.
    bool start(Job job);
    bool isRunning() const { return running_; }
    // Asks the job to stop at its next safe point.
    void cancel();
    // Waits up to timeoutMs for the worker to finish its job (the finished
    // signal still comes through the event loop). True when it has finished or
    // nothing runs.
    bool wait(int timeoutMs);

    // Called from the worker: runs fn on the runner's thread and waits for it.
    // Gives up, without running fn, when the job is cancelled first; returns
    // whether fn ran. From the runner's own thread fn simply runs.
    bool callOnOwnerThread(const std::function<void()>& fn);
    // Called from any thread: runs fn later on the runner's thread.
    void postToOwnerThread(std::function<void()> fn);

signals:
    void started();
    // A safe point of the job was reached.
    void progress(const RunProgress& progress);
    // The job ended; completed is false when it was cancelled or failed.
    void finished(bool completed);

private:
    // Runs job on a new worker thread; throws std::system_error when no thread can be started.
    void startWorker(Job job);
    void jobEnded(bool completed);

    Pipeline& pipeline_;
    std::thread worker_;
    bool running_ = false;
    std::mutex doneMutex_;
    std::condition_variable doneChanged_;
    bool workerDone_ = true;
};
