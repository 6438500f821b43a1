#pragma once

#include "packing/atlas.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// Whether packCharts may build chart rasters on a helper thread while it
// places the charts before them (the layout is the same either way).
// Process-wide; the default is on when the machine has more than one
// hardware thread.
void setPackingHelperThread(bool allowed);
bool packingHelperThreadAllowed();

// Processor seconds the calling thread has used (the process's when the
// system cannot tell one thread's).
double threadProcessorSeconds();

// While alive, packCharts called from this thread uses no helper thread: for
// threads that already run beside others. Scopes nest.
class SerialPackingScope {
public:
    SerialPackingScope();
    ~SerialPackingScope();
    SerialPackingScope(const SerialPackingScope&) = delete;
    SerialPackingScope& operator=(const SerialPackingScope&) = delete;
};

// Runs work(i, lane) for every i in [0, count), each once: on the calling
// thread alone (lane 0), or shared with one helper thread (lane 1) when
// packingHelperThreadAllowed(). The first exception is rethrown at the end.
void forEachOnTwoLanes(size_t count, const std::function<void(size_t, int)>& work);

// Somewhere to run work beside the caller: another thread's spare time.
class SideLane {
public:
    virtual ~SideLane() = default;
    // Offers `work` (which must stay alive until withdraw()); false when
    // nobody could run it. At most one offer at a time.
    virtual bool offer(const std::function<void()>& work) = 0;
    // Ends the offer: true when the work had not been started (the caller
    // does it then); false once it has run, rethrowing what it threw.
    virtual bool withdraw() = 0;
};

// The orientation rasters of a sequence of charts, handed out in order. With
// a helper thread they are built a few charts ahead of the caller, by the
// helper and, while the helper is still busy with the chart asked for, by the
// caller too; without, each is built when asked for. An exception of a build
// is rethrown by the next() that would have returned its result.
class OrientationFeed : public SideLane {
public:
    // Builds chart i's orientations into `into`, which may hold those of an
    // earlier chart (handed back by retire()) whose memory it can reuse.
    using Build = std::function<void(size_t, ChartOrientations& into)>;

    // Builds build(i) for every i of `indices`, in order.
    OrientationFeed(std::vector<size_t> indices, Build build, bool helper);
    ~OrientationFeed();
    OrientationFeed(const OrientationFeed&) = delete;
    OrientationFeed& operator=(const OrientationFeed&) = delete;

    // The next chart's orientations; at most indices.size() calls.
    ChartOrientations next();
    // Hands back orientations that next() returned and that are no longer
    // needed: later builds reuse their memory.
    void retire(ChartOrientations&& done);
    // Processor seconds the helper thread has spent (0 without one); ends
    // the helper, so only once every result has been taken.
    double helperSeconds();

    // The helper runs offered work when it has no chart to build; without a
    // helper nothing is offered.
    bool offer(const std::function<void()>& work) override;
    bool withdraw() override;

private:
    enum class State { Waiting, Building, Ready };
    struct Slot {
        State state = State::Waiting;
        ChartOrientations result;
        std::exception_ptr error;
    };

    void produce();
    // Builds position k into `into`, catching the build's exception.
    void buildInto(size_t k, ChartOrientations& into, std::exception_ptr& error);
    // A handed-back result to build into (an empty one when there is none);
    // called with the lock held when there is a helper.
    ChartOrientations takeSpare();
    // Builds the chart at position k (claimed by the caller) into its slot;
    // called and returning with the lock held.
    void buildSlot(std::unique_lock<std::mutex>& lock, size_t k);
    // The position the helper or the caller may claim next, or npos.
    size_t claimable() const;
    // Counts a change that the helper or the caller may wait for, and
    // wakes them; called with the lock held.
    void signal();

    const std::vector<size_t> indices_;
    const Build build_;
    size_t taken_ = 0;   // positions handed out (or being handed out)
    size_t claimed_ = 0; // positions whose build has begun
    std::vector<Slot> slots_;
    std::vector<ChartOrientations> spares_; // handed back, to be built into
    std::mutex mutex_;
    std::condition_variable changed_;

    enum class Side { None, Offered, Running, Done };
    Side side_ = Side::None;
    const std::function<void()>* sideWork_ = nullptr;
    std::exception_ptr sideError_;
    std::atomic<unsigned> signals_{0};
    bool stop_ = false;
    bool finished_ = false;
    double helperSeconds_ = 0.0;
    std::thread helper_;
};
