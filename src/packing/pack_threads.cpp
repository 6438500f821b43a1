#include "packing/pack_threads.h"

#include <atomic>
#include <chrono>
#include <ctime>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
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

// How long a waiting thread spins before it sleeps: offered work comes every
// few ten microseconds and wants starting at once, which waking a sleeping
// thread does not.
constexpr double SpinSeconds = 100e-6;

// Spins while busy() holds, for at most about SpinSeconds.
template <typename Busy>
void spinWhile(const Busy& busy)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(SpinSeconds);
    for (unsigned i = 1; busy(); ++i) {
#if defined(__SSE2__)
        _mm_pause();
#endif
        if (i % 64 == 0 && std::chrono::steady_clock::now() > until)
            return;
    }
}

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
        signal();
    }
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
    signal();
}

void OrientationFeed::produce()
{
    std::unique_lock<std::mutex> lock(mutex_);
    const auto ready = [this] { return stop_ || side_ == Side::Offered || claimable() != size_t(-1); };
    while (true) {
        // Once every chart is built the helper stays for offered work.
        if (!ready()) {
            const unsigned seen = signals_.load(std::memory_order_acquire);
            lock.unlock();
            spinWhile([&] { return signals_.load(std::memory_order_acquire) == seen; });
            lock.lock();
        }
        changed_.wait(lock, ready);
        if (stop_)
            break;
        // Building ahead comes first: offered work only fills time the
        // helper would otherwise wait.
        if (side_ == Side::Offered && claimable() == size_t(-1)) {
            side_ = Side::Running;
            const std::function<void()>* work = sideWork_;
            lock.unlock();
            std::exception_ptr error;
            try {
                (*work)();
            } catch (...) {
                error = std::current_exception();
            }
            lock.lock();
            sideError_ = error;
            side_ = Side::Done;
            signal();
            continue;
        }
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
    signal(); // one more position may be built ahead
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
    stop_ = true;
    signal();
    changed_.wait(lock, [this] { return finished_; });
    return helperSeconds_;
}

bool OrientationFeed::offer(const std::function<void()>& work)
{
    if (!helper_.joinable())
        return false;
    const std::lock_guard<std::mutex> lock(mutex_);
    if (stop_ || side_ != Side::None)
        return false;
    sideWork_ = &work;
    side_ = Side::Offered;
    signal();
    return true;
}

bool OrientationFeed::withdraw()
{
    std::unique_lock<std::mutex> lock(mutex_);
    if (side_ == Side::Offered) {
        side_ = Side::None;
        return true;
    }
    if (side_ == Side::Running) {
        const unsigned seen = signals_.load(std::memory_order_acquire);
        lock.unlock();
        spinWhile([&] { return signals_.load(std::memory_order_acquire) == seen; });
        lock.lock();
    }
    changed_.wait(lock, [this] { return side_ == Side::Done; });
    side_ = Side::None;
    sideWork_ = nullptr;
    const std::exception_ptr error = sideError_;
    sideError_ = nullptr;
    if (error)
        std::rethrow_exception(error);
    return false;
}

void OrientationFeed::signal()
{
    signals_.fetch_add(1, std::memory_order_release);
    changed_.notify_all();
}
