#include "packing/placement_memory.h"

#include "packing/pack_threads.h"
#include "packing/placement_search.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

namespace {

// Shapes and raster words (8 bytes each) kept at most; beyond either (a
// layout of very varied or very large charts) the memory starts afresh.
constexpr size_t MaxShapes = 8192;
constexpr size_t MaxWords = size_t(1) << 22;

uint64_t shapeHash(const OrientationRaster& o)
{
    uint64_t hash = 1469598103934665603ull;
    const auto mix = [&hash](uint64_t v) {
        hash ^= v;
        hash *= 1099511628211ull;
        hash ^= hash >> 29;
    };
    mix(o.w);
    mix(o.h);
    mix(o.filled);
    for (uint64_t bits : o.rowBits)
        mix(bits);
    return hash;
}

using namespace placement_detail;

// Stamps since a shape's last search beyond which searching afresh is cheaper.
constexpr size_t MaxResumedStamps = 64;

// Searches orientation k of a chart whose other orientations' best so far is
// `best`, resumed from the shape's memory where that still holds, and records
// what the search learnt. The result is the orientation's best placement when
// it beats `best`; otherwise it is either not found or loses to `best`.
class ShapeSearch {
    enum class Knowledge {
        None,    // the memory does not describe this atlas
        Exact,   // it holds the shape's best, or that it fits nowhere
        AtLeast, // no placement that the stamps since left alone comes before its best
    };

public:
    ShapeSearch(const Atlas& atlas, int32_t k, const OrientationRaster& o, ShapeMemory& memory)
        : atlas_(atlas), k_(k), o_(o), memory_(memory)
    {
    }

    PlacementChoice run(const PlacementChoice& best)
    {
        const Knowledge known = knowledge();
        const size_t stamps = atlas_.stampBoxes.size();
        PlacementSearch search(atlas_, true);
        PlacementChoice bound; // what the memory will hold beyond the best found
        bool exact = true;
        if (known == Knowledge::Exact) {
            search.resumeFrom(memory_.stampCount, memory_.best, memory_.bestLevel, k_);
        } else if (known == Knowledge::AtLeast && best.found && !keyBefore(memory_.best, best)) {
            // Every position the stamps left alone is known to lose to `best`
            // (which, of an earlier orientation, also wins a full tie).
            search.resumeFrom(memory_.stampCount, PlacementChoice(), 0, k_);
            search.limitTo(best);
            exact = false;
            bound = best;
        } else if (best.found) {
            search.limitTo(best);
            exact = false;
            bound = best;
        }
        search.searchOrientation(k_, o_);
        const PlacementChoice found = search.choice();
        memory_.epoch = atlas_.epoch.value();
        memory_.stampCount = stamps;
        std::copy(atlas_.occupiedRect, atlas_.occupiedRect + 4, memory_.rect);
        memory_.exact = exact || found.found;
        memory_.best = found.found ? found : bound;
        memory_.bestLevel = search.bestLevel();
        return found;
    }

private:
    // What the memory tells: nothing unless it was made on this atlas and
    // occupied rectangle, few stamps ago. A best that a stamp since may have
    // taken away still bounds the positions the stamps left alone.
    Knowledge knowledge() const
    {
        const ShapeMemory& m = memory_;
        if (m.epoch != atlas_.epoch.value() || atlas_.stampBoxes.size() - m.stampCount > MaxResumedStamps ||
            !std::equal(m.rect, m.rect + 4, atlas_.occupiedRect))
            return Knowledge::None;
        if (!m.exact)
            return Knowledge::AtLeast;
        if (!m.best.found)
            return Knowledge::Exact;
        const bool touched =
            stampedSince(atlas_, m.stampCount,
                         cellsDeciding(atlas_, int32_t(o_.w), int32_t(o_.h), size_t(m.bestLevel),
                                       m.best.x >> m.bestLevel, m.best.y >> m.bestLevel));
        return touched ? Knowledge::AtLeast : Knowledge::Exact;
    }

    const Atlas& atlas_;
    const int32_t k_;
    const OrientationRaster& o_;
    ShapeMemory& memory_;
};

// The running best of the earlier half of a chart's orientations, read by
// the searches of the later half on another thread.
class SharedChoice {
public:
    void set(const PlacementChoice& c)
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        choice_ = c;
    }
    PlacementChoice get() const
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        return choice_;
    }

private:
    mutable std::mutex mutex_;
    PlacementChoice choice_;
};

// Orientations [first, end), each on its own, in order, against the best of
// those before (starting from `best`, that of the orientations before
// first); the running best is also published to `shared` when given.
PlacementChoice searchRemembering(const Atlas& atlas, const OrientationRaster* rasters, size_t first, size_t end,
                                  PlacementMemory& memory, PlacementChoice best = PlacementChoice(),
                                  SharedChoice* shared = nullptr)
{
    memory.beginChart();
    for (size_t k = first; k < end; ++k) {
        const PlacementChoice c =
            ShapeSearch(atlas, static_cast<int32_t>(k), rasters[k], memory.recall(rasters[k])).run(best);
        if (laterChoiceWins(c, best)) {
            best = c;
            if (shared)
                shared->set(best);
        }
    }
    return best;
}

} // namespace

void PlacementMemory::beginChart()
{
    if (shapes_.size() >= MaxShapes || words_ >= MaxWords) {
        shapes_.clear();
        words_ = 0;
    }
}

ShapeMemory& PlacementMemory::recall(const OrientationRaster& o)
{
    ShapeMemory& m = shapes_[shapeHash(o)];
    if (m.w != o.w || m.h != o.h || m.filled != o.filled || m.rowBits != o.rowBits) {
        words_ += o.rowBits.size();
        words_ -= std::min(words_, m.rowBits.size());
        m = ShapeMemory();
        m.w = o.w;
        m.h = o.h;
        m.filled = o.filled;
        m.rowBits = o.rowBits;
    }
    return m;
}

bool tryPlaceChart(Atlas& atlas, ChartOrientations& chart, PlacementMemory& memory)
{
    if (chart.orientations.empty())
        return false;
    if (atlas.isEmpty())
        return placeOnEmptyAtlas(atlas, chart);
    const PlacementChoice best =
        searchRemembering(atlas, chart.orientations.data(), 0, chart.orientations.size(), memory);
    if (!best.found)
        return false;
    applyPlacement(atlas, chart, best);
    return true;
}

bool tryPlaceChart(Atlas& atlas, ChartOrientations& chart, PlacementMemory& memory, PlacementMemory& sideMemory,
                   SideLane& side)
{
    if (chart.orientations.empty())
        return false;
    if (atlas.isEmpty())
        return placeOnEmptyAtlas(atlas, chart);
    const OrientationRaster* rasters = chart.orientations.data();
    const size_t count = chart.orientations.size(), half = count / 2;
    if (half < 2)
        return tryPlaceChart(atlas, chart, memory);
    // The earlier half is searched here in order. The later half's
    // orientations are taken one at a time, in order, by the side lane and,
    // once done with the earlier half, by this thread too. Each is bounded
    // by its searcher's best so far and the earlier half's latest best, all
    // of orientations before it: its result is its own best whenever that
    // beats every earlier orientation, so folding the results in order
    // gives the choice of one search in order, however the work was shared.
    // The side lane starts once the first orientation's best bounds it.
    PlacementChoice best = searchRemembering(atlas, rasters, 0, 1, memory);
    SharedChoice earlier;
    earlier.set(best);
    std::atomic<size_t> next{half};
    std::vector<PlacementChoice> found(count);
    const auto searchLater = [&](PlacementMemory& with, PlacementChoice own) {
        with.beginChart();
        for (size_t k = next++; k < count; k = next++) {
            PlacementChoice bound = earlier.get();
            if (laterChoiceWins(own, bound))
                bound = own;
            found[k] = ShapeSearch(atlas, static_cast<int32_t>(k), rasters[k], with.recall(rasters[k])).run(bound);
            if (laterChoiceWins(found[k], bound))
                own = found[k];
        }
    };
    const std::function<void()> sideWork = [&] { searchLater(sideMemory, PlacementChoice()); };
    // The side lane must be done with what lives here before it goes, also
    // when a search here throws.
    struct Settle {
        SideLane* side;
        ~Settle()
        {
            if (side) {
                try {
                    side->withdraw();
                } catch (...) {
                }
            }
        }
    } settle{side.offer(sideWork) ? &side : nullptr};
    best = searchRemembering(atlas, rasters, 1, half, memory, best, &earlier);
    searchLater(memory, best);
    if (settle.side) {
        settle.side = nullptr;
        side.withdraw();
    }
    for (size_t k = half; k < count; ++k)
        if (laterChoiceWins(found[k], best))
            best = found[k];
    if (!best.found)
        return false;
    applyPlacement(atlas, chart, best);
    return true;
}
