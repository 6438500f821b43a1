#include "packing/placement_memory.h"

#include "packing/placement_search.h"

#include <algorithm>

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

// Each orientation on its own, in order, against the best of those before.
PlacementChoice searchRemembering(const Atlas& atlas, const OrientationRaster* rasters, size_t count,
                                  PlacementMemory& memory)
{
    memory.beginChart();
    PlacementChoice best;
    for (size_t k = 0; k < count; ++k) {
        const PlacementChoice c =
            ShapeSearch(atlas, static_cast<int32_t>(k), rasters[k], memory.recall(rasters[k])).run(best);
        if (laterChoiceWins(c, best))
            best = c;
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
    const PlacementChoice best = searchRemembering(atlas, chart.orientations.data(), chart.orientations.size(), memory);
    if (!best.found)
        return false;
    applyPlacement(atlas, chart, best);
    return true;
}

