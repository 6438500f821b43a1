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
// Handed-back results kept to be built into: about as many as are built
// ahead, so that nearly every build reuses one.
constexpr size_t SpareLimit = AheadLimit + 2;

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

void forEachOnTwoLanes(size_t count, const std::function<void(size_t, int)>& work)
{
    std::atomic<size_t> next{0};
    std::exception_ptr errors[2];
    const auto run = [&](int lane) {
        try {
            for (size_t i = next++; i < count; i = next++)
                work(i, lane);
        } catch (...) {
            errors[lane] = std::current_exception();
            next = count; // the other lane stops after its current item
        }
    };
    std::thread helper;
    if (count > 1 && packingHelperThreadAllowed()) {
        try {
            helper = std::thread(run, 1);
        } catch (...) {
            // No thread to be had: the caller does it all.
        }
    }
    run(0);
    if (helper.joinable())
        helper.join();
    for (const std::exception_ptr& error : errors)
        if (error)
            std::rethrow_exception(error);
}

OrientationFeed::OrientationFeed(std::vector<size_t> indices, Build build, bool helper)
    : indices_(std::move(indices)), build_(std::move(build))
{
    if (helper && indices_.size() > 1) {
        slots_.resize(indices_.size());
        try {
            helper_ = std::thread([this] { produce(); });
        } catch (...) {
            // No thread to be had: every chart is built when asked for.
            slots_.clear();
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

size_t OrientationFeed::claimable() const
{
    return claimed_ < indices_.size() && claimed_ < taken_ + AheadLimit ? claimed_ : size_t(-1);
}

ChartOrientations OrientationFeed::takeSpare()
{
    if (spares_.empty())
        return ChartOrientations();
    ChartOrientations spare = std::move(spares_.back());
    spares_.pop_back();
    return spare;
}

void OrientationFeed::buildInto(size_t k, ChartOrientations& into, std::exception_ptr& error)
{
    try {
        build_(indices_[k], into);
    } catch (...) {
        error = std::current_exception();
    }
}

void OrientationFeed::buildSlot(std::unique_lock<std::mutex>& lock, size_t k)
{
    slots_[k].state = State::Building;
    ChartOrientations built = takeSpare();
    lock.unlock();
    std::exception_ptr error;
    buildInto(k, built, error);
    lock.lock();
    slots_[k].result = std::move(built);
    slots_[k].error = error;
    slots_[k].state = State::Ready;
    changed_.notify_all();
}

void OrientationFeed::produce()
{
    std::unique_lock<std::mutex> lock(mutex_);
    while (true) {
        changed_.wait(lock, [this] { return stop_ || claimed_ >= indices_.size() || claimable() != size_t(-1); });
        if (stop_ || claimed_ >= indices_.size())
            break;
        buildSlot(lock, claimed_++);
    }
    finished_ = true;
    helperSeconds_ = threadProcessorSeconds();
    changed_.notify_all();
}

ChartOrientations OrientationFeed::next()
{
    if (!helper_.joinable()) {
        ChartOrientations built = takeSpare();
        std::exception_ptr error;
        buildInto(taken_++, built, error);
        if (error)
            std::rethrow_exception(error);
        return built;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    const size_t i = taken_++;
    changed_.notify_all(); // one more position may be built ahead
    while (slots_[i].state != State::Ready) {
        // Build this chart, or while the helper builds it one after it.
        if (claimable() != size_t(-1))
            buildSlot(lock, claimed_++);
        else
            changed_.wait(lock);
    }
    Slot& slot = slots_[i];
    if (slot.error)
        std::rethrow_exception(slot.error);
    return std::move(slot.result);
}

void OrientationFeed::retire(ChartOrientations&& done)
{
    // Declared before the lock, so that a release here happens unlocked.
    ChartOrientations releasing = std::move(done);
    std::unique_lock<std::mutex> lock(mutex_, std::defer_lock);
    if (helper_.joinable())
        lock.lock();
    if (spares_.size() < SpareLimit)
        spares_.push_back(std::move(releasing));
}

double OrientationFeed::helperSeconds()
{
    if (!helper_.joinable())
        return 0.0;
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return finished_; });
    return helperSeconds_;
}
