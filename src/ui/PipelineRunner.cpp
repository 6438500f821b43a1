#include "ui/PipelineRunner.h"

#include "app/pipeline.h"

#include <QThread>

#include <chrono>
#include <exception>
#include <iostream>
#include <memory>
#include <system_error>

namespace {

// How often a worker that waits for the GUI thread looks for a cancellation.
constexpr std::chrono::milliseconds CancelPollInterval(20);

} // namespace

PipelineRunner::PipelineRunner(Pipeline& pipeline, QObject* parent) : QObject(parent), pipeline_(pipeline) {}

PipelineRunner::~PipelineRunner()
{
    cancel();
    if (worker_.joinable())
        worker_.join();
    pipeline_.control().setProgressHandler(nullptr);
}

bool PipelineRunner::start(Job job)
{
    if (running_)
        return false;
    if (worker_.joinable())
        worker_.join();
    running_ = true;
    {
        std::lock_guard<std::mutex> lock(doneMutex_);
        workerDone_ = false;
    }
    pipeline_.control().setProgressHandler([this](const RunProgress& p) {
        postToOwnerThread([this, p]() { emit progress(p); });
        return true;
    });
    emit started();
    try {
        startWorker(std::move(job));
    } catch (const std::system_error& e) {
        // No thread to be had: the job ends at once, reported like any failure.
        std::cout << "The run stopped with an error: " << e.what() << std::endl;
        {
            std::lock_guard<std::mutex> lock(doneMutex_);
            workerDone_ = true;
        }
        postToOwnerThread([this]() { jobEnded(false); });
    }
    return true;
}

void PipelineRunner::startWorker(Job job)
{
    worker_ = std::thread([this, job = std::move(job)]() {
        bool completed = false;
        try {
            completed = job(pipeline_);
        } catch (const std::exception& e) {
            std::cout << "The run stopped with an error: " << e.what() << std::endl;
        } catch (...) {
            std::cout << "The run stopped with an unknown error." << std::endl;
        }
        postToOwnerThread([this, completed]() { jobEnded(completed); });
        std::lock_guard<std::mutex> lock(doneMutex_);
        workerDone_ = true;
        doneChanged_.notify_all();
    });
}

void PipelineRunner::cancel()
{
    if (running_)
        pipeline_.control().requestCancel();
}

bool PipelineRunner::wait(int timeoutMs)
{
    std::unique_lock<std::mutex> lock(doneMutex_);
    return doneChanged_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return workerDone_; });
}

void PipelineRunner::jobEnded(bool completed)
{
    if (worker_.joinable())
        worker_.join();
    pipeline_.control().setProgressHandler(nullptr);
    running_ = false;
    emit finished(completed);
}

void PipelineRunner::postToOwnerThread(std::function<void()> fn)
{
    QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection);
}

bool PipelineRunner::callOnOwnerThread(const std::function<void()>& fn)
{
    if (QThread::currentThread() == thread()) {
        fn();
        return true;
    }
    struct Call {
        std::mutex mutex;
        std::condition_variable changed;
        bool done = false;
        bool abandoned = false;
    };
    auto call = std::make_shared<Call>();
    postToOwnerThread([call, fn]() {
        std::lock_guard<std::mutex> lock(call->mutex);
        if (call->abandoned)
            return;
        fn();
        call->done = true;
        call->changed.notify_all();
    });
    std::unique_lock<std::mutex> lock(call->mutex);
    while (!call->done) {
        if (pipeline_.control().cancelRequested()) {
            call->abandoned = true;
            return false;
        }
        call->changed.wait_for(lock, CancelPollInterval);
    }
    return true;
}
