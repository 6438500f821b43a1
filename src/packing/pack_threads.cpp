#include "packing/pack_threads.h"

#include <atomic>
#include <ctime>
#include <utility>

namespace {

std::atomic<bool> helperAllowed{std::thread::hardware_concurrency() > 1};
thread_local int serialScopes = 0;

// Charts built ahead of the placement: enough to ride over a chart that
// takes long to place, few enough to keep their rasters small.
constexpr size_t AheadLimit = 4;

} // namespace

double threadProcessorSeconds()
{
    timespec t{};
    if (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t) != 0)
        return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

void setPackingHelperThread(bool allowed) { helperAllowed.store(allowed); }

bool packingHelperThreadAllowed() { return helperAllowed.load() && serialScopes == 0; }

SerialPackingScope::SerialPackingScope() { ++serialScopes; }

SerialPackingScope::~SerialPackingScope() { --serialScopes; }

OrientationFeed::OrientationFeed(std::vector<size_t> indices, Build build, bool helper)
    : indices_(std::move(indices)), build_(std::move(build))
{
    if (helper && indices_.size() > 1) {
        try {
            helper_ = std::thread([this] { produce(); });
        } catch (...) {
            // No thread to be had: every chart is built when asked for.
        }
    }
}

OrientationFeed::~OrientationFeed()
{
    if (!helper_.joinable())
        return;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    helper_.join();
}

void OrientationFeed::produce()
{
    for (size_t i = 0; i < indices_.size(); ++i) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [this] { return stop_ || ready_.size() < AheadLimit; });
            if (stop_)
                break;
        }
        try {
            ChartOrientations built = build_(indices_[i]);
            const std::lock_guard<std::mutex> lock(mutex_);
            ready_.push_back(std::move(built));
        } catch (...) {
            const std::lock_guard<std::mutex> lock(mutex_);
            error_ = std::current_exception();
            break;
        }
        changed_.notify_all();
    }
    const double seconds = threadProcessorSeconds();
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        finished_ = true;
        helperSeconds_ = seconds;
    }
    changed_.notify_all();
}

ChartOrientations OrientationFeed::next()
{
    const size_t i = taken_++;
    if (!helper_.joinable())
        return build_(indices_[i]);
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return !ready_.empty() || finished_; });
    if (ready_.empty()) {
        if (error_)
            std::rethrow_exception(error_);
        // The helper stopped early without a result: build it here.
        lock.unlock();
        return build_(indices_[i]);
    }
    ChartOrientations result = std::move(ready_.front());
    ready_.pop_front();
    lock.unlock();
    changed_.notify_all();
    return result;
}

double OrientationFeed::helperSeconds()
{
    if (!helper_.joinable())
        return 0.0;
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return finished_; });
    return helperSeconds_;
}
