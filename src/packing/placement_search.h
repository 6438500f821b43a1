#pragma once

// The placement search itself, shared by the plain search (placement.cpp)
// and the remembering one (placement_memory.cpp); not for other callers.

#include "packing/atlas.h"
#include "packing/row_probe.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

namespace placement_detail {

// The cells that decide what the block of the level at (x, y) yields for a
// w x h raster (level 0: the raster's cells at position (x, y)). A block's
// cells hold those of its children.
inline CellBox cellsDeciding(const Atlas& atlas, int32_t w, int32_t h, size_t level, int32_t x, int32_t y)
{
    if (level == 0)
        return {x, y, x + w - 1, y + h - 1};
    const int32_t f = atlas.blockFactor(level);
    const int64_t cx = int64_t(x) + ((int64_t(w) + f - 1) >> level);
    const int64_t cy = int64_t(y) + ((int64_t(h) + f - 1) >> level);
    const int64_t xEnd = std::min<int64_t>(atlas.widths[level] - 1, cx);
    const int64_t yEnd = std::min<int64_t>(atlas.heights[level] - 1, cy);
    return {x * f, y * f, static_cast<int32_t>((xEnd + 1) * f - 1), static_cast<int32_t>((yEnd + 1) * f - 1)};
}

// Whether a stamp from `firstStamp` on occupied a cell of the box.
inline bool stampedSince(const Atlas& atlas, size_t firstStamp, const CellBox& box)
{
    const std::vector<CellBox>& stamps = atlas.stampBoxes;
    for (size_t i = firstStamp; i < stamps.size(); ++i) {
        const CellBox& s = stamps[i];
        if (s.x0 <= box.x1 && box.x0 <= s.x1 && s.y0 <= box.y1 && box.y0 <= s.y1)
            return true;
    }
    return false;
}

// Whether a's score and distance come before b's.
inline bool keyBefore(const PlacementChoice& a, const PlacementChoice& b)
{
    return a.score != b.score ? a.score < b.score : a.distance < b.distance;
}

// Whether `later`, the choice among orientations searched after those of
// `earlier`, replaces it: searching both in one go would have chosen it.
inline bool laterChoiceWins(const PlacementChoice& later, const PlacementChoice& earlier)
{
    return later.found && (!earlier.found || keyBefore(later, earlier));
}

// The coarse-to-fine placement search over one chart's orientations. The
// best candidate has the lowest growth cost, then the smallest distance of
// its raster box centre from cell (0, 0); on a full tie the earlier one stays.
class PlacementSearch {
public:
    PlacementSearch(const Atlas& atlas, bool pruneByCost) : atlas_(atlas), growth_(atlas), prune_(pruneByCost) {}

    void searchOrientation(int32_t k, const OrientationRaster& o)
    {
        k_ = k;
        o_ = &o;
        w_ = static_cast<int32_t>(o.w);
        h_ = static_cast<int32_t>(o.h);
        probe_ = RowProbe(o);
        const size_t top = atlas_.topLevel();
        const int32_t f = atlas_.blockFactor(top);
        const int32_t* rect = atlas_.occupiedRect;
        const int32_t w0 = atlas_.widths[0], h0 = atlas_.heights[0];
        const int64_t x0 = std::max<int64_t>(int64_t(rect[0]) - w_, 0) / f;
        const int64_t x1 = std::min<int64_t>(w0 - 1, int64_t(rect[2]) + w_) / f;
        const int64_t y0 = std::max<int64_t>(int64_t(rect[1]) - h_, 0) / f;
        const int64_t y1 = std::min<int64_t>(h0 - 1, int64_t(rect[3]) + h_) / f;
        for (int64_t x = x0; x <= x1; ++x)
            for (int64_t y = y0; y <= y1; ++y)
                evaluate(static_cast<int32_t>(x), static_cast<int32_t>(y), top);
    }

    const PlacementChoice& choice() const { return best_; }
    int32_t bestLevel() const { return bestLevel_; }

    // Makes the search keep only candidates that beat `bound`, a placement
    // of an earlier orientation.
    void limitTo(const PlacementChoice& bound)
    {
        bounded_ = true;
        best_.score = bound.score;
        best_.distance = bound.distance;
        bestSquareBound_ = squareBound(bound.distance);
    }

    // Makes the next searchOrientation() look only at blocks whose cells
    // include one that a stamp from `firstStamp` on has occupied, starting
    // from `earlier` (scored at `level`, or none), the shape's best before
    // those stamps; full ties then go to the earlier position in search order.
    void resumeFrom(size_t firstStamp, const PlacementChoice& earlier, int32_t level, int32_t k)
    {
        resumed_ = true;
        firstStamp_ = firstStamp;
        if (earlier.found) {
            best_ = earlier;
            best_.orientation = k;
            bestLevel_ = level;
            bestOrder_ = searchOrder(earlier.x, earlier.y);
            bestSquareBound_ = tieSquareBound(earlier.distance);
        }
    }

private:
    static double squaredCentreDistance(int64_t x, int64_t y, int32_t w, int32_t h)
    {
        const double cx = x + 0.5 * w, cy = y + 0.5 * h;
        return cx * cx + cy * cy;
    }

    // Whether a candidate of this score and squared centre distance would
    // replace the best: a lower score, or the same and sqrt(squared) below
    // the best distance, which holds exactly when squared is below
    // bestSquareBound_ (a resumed search's bound also lets full ties pass).
    bool beats(int32_t score, double squared) const
    {
        if (score != best_.score)
            return score < best_.score;
        return squared < bestSquareBound_;
    }

    // The smallest square whose rounded root reaches `distance` (a rounded
    // root itself). The rounded root never falls as its argument grows, so
    // every square below it has a smaller root and every other one does not.
    static double squareBound(double distance)
    {
        double t = distance * distance;
        while (std::sqrt(t) < distance)
            t = std::nextafter(t, std::numeric_limits<double>::infinity());
        while (t > 0.0 && std::sqrt(std::nextafter(t, 0.0)) >= distance)
            t = std::nextafter(t, 0.0);
        return t;
    }

    // The same bound letting a root equal to `distance` pass as well.
    static double tieSquareBound(double distance)
    {
        return squareBound(std::nextafter(distance, std::numeric_limits<double>::infinity()));
    }

    // beats() for a candidate whose raster box starts at (x, y), the distance
    // only computed when the score ties.
    bool beatsAt(int32_t score, int64_t x, int64_t y) const
    {
        if (score != best_.score)
            return score < best_.score;
        return beats(score, squaredCentreDistance(x, y, w_, h_));
    }

    // The position's place in the order in which the search from the top
    // reaches it: top-level blocks column by column, then at each level the
    // children by x, then y.
    uint64_t searchOrder(int32_t x, int32_t y) const
    {
        const size_t top = atlas_.topLevel();
        uint64_t order = (uint64_t(uint32_t(x) >> top) << 44) | (uint64_t(uint32_t(y) >> top) << 32);
        uint64_t path = 0;
        for (size_t b = top; b-- > 0;)
            path = (path << 2) | (uint64_t((x >> b) & 1) << 1) | uint64_t((y >> b) & 1);
        return order | path;
    }

    void score(int32_t x, int32_t y, int32_t level)
    {
        const int32_t cost = growth_.cost(x, y, w_, h_);
        const double squared = squaredCentreDistance(x, y, w_, h_);
        if (!beats(cost, squared))
            return;
        const double distance = std::sqrt(squared);
        uint64_t order = 0;
        if (resumed_) {
            // A resumed search passes ties (see resumeFrom) and visits
            // positions out of order only relative to the remembered best.
            order = searchOrder(x, y);
            if (best_.found && cost == best_.score && distance == best_.distance && order > bestOrder_)
                return;
        }
        best_ = PlacementChoice{true, cost, distance, k_, x, y};
        bestLevel_ = level;
        bestOrder_ = order;
        bestSquareBound_ = resumed_ ? tieSquareBound(distance) : squareBound(distance);
    }

    // The placement of the level-0 range [first, first + span) on one axis
    // that keeps the occupied rectangle narrowest: the cost only grows with
    // the new rectangle's sides, so it is the cost's lower bound per axis.
    static int32_t narrowestPosition(int32_t first, int32_t span, int32_t size, int32_t occMin,
                                     int32_t occMax)
    {
        const int64_t occupied = int64_t(occMax) - occMin + 1;
        const int64_t best = size <= occupied ? occMin : int64_t(occMax) - size + 1;
        return static_cast<int32_t>(std::min<int64_t>(std::max<int64_t>(best, first), int64_t(first) + span - 1));
    }

    // True when no level-0 position of the block at (x, y) of a level with
    // block factor f can beat the best candidate found so far.
    bool blockRuledOut(int32_t x, int32_t y, int32_t f) const
    {
        if (!prune_ || !(best_.found || bounded_))
            return false;
        const int32_t* rect = atlas_.occupiedRect;
        const int32_t px = narrowestPosition(x * f, f, w_, rect[0], rect[2]);
        const int32_t py = narrowestPosition(y * f, f, h_, rect[1], rect[3]);
        return !beatsAt(growth_.cost(px, py, w_, h_), int64_t(x) * f, int64_t(y) * f);
    }

    // coreFree: the block's core is known to be free.
    void evaluate(int32_t x, int32_t y, size_t level, bool coreFree = false)
    {
        switch (level) {
        case 0: evaluateCell(x, y); return;
        case 1: evaluateLevel<1>(x, y, 1, coreFree); return;
        case 2: evaluateLevel<2>(x, y, 2, coreFree); return;
        case 3: evaluateLevel<3>(x, y, 3, coreFree); return;
        case 4: evaluateLevel<4>(x, y, 4, coreFree); return;
        default: evaluateLevel<0>(x, y, level, coreFree); return;
        }
    }

    // evaluate() at level Fixed (known when compiling), or at `dynamicLevel`
    // when Fixed is 0. costChecked: the parent has just found that the block
    // is not ruled out by cost.
    template <int Fixed>
    void evaluateLevel(int32_t x, int32_t y, size_t dynamicLevel, bool coreFree, bool costChecked = false)
    {
        const size_t level = Fixed > 0 ? size_t(Fixed) : dynamicLevel;
        const int32_t f = atlas_.blockFactor(level);
        const int32_t levelW = atlas_.widths[level], levelH = atlas_.heights[level];
        const int64_t cx = int64_t(x) + ((int64_t(w_) + f - 1) >> level);
        const int64_t cy = int64_t(y) + ((int64_t(h_) + f - 1) >> level);
        if (cx > levelW || cy > levelH)
            return;
        const bool skipping = resumed_ && !fresh_;
        if (skipping && !stampedSince(atlas_, firstStamp_, cellsDeciding(atlas_, w_, h_, level, x, y)))
            return;
        // No position of the block fits unless the chart's core for the
        // block size is free (every candidate below, a fully free block's
        // corner included, is a position that fits).
        if (prune_ && !coreFree && level <= o_->cores.size() && !coreFreeAt(level, x * f, y * f))
            return;
        // Likewise for the level-2 block's children, whose cores are tested
        // at once; none free means no candidate (a fully free block's
        // children all have a free core).
        const int known = level == 2 && prune_ ? childCoresFree(x, y) : -1;
        if (known == 0)
            return;
        const int32_t xEnd = static_cast<int32_t>(std::min<int64_t>(levelW - 1, cx));
        const int32_t yEnd = static_cast<int32_t>(std::min<int64_t>(levelH - 1, cy));
        const uint64_t sum = atlas_.blockSum(level, x, y, xEnd, yEnd);
        if (sum < o_->filled)
            return;
        const uint64_t count = uint64_t(xEnd - x + 1) * uint64_t(yEnd - y + 1);
        if (sum == count * uint64_t(f) * uint64_t(f)) {
            score(x * f, y * f, static_cast<int32_t>(level));
            return;
        }
        // Ruling a block out by cost takes more work than its free count, so
        // it is only asked of blocks that would be split.
        if (!costChecked && blockRuledOut(x, y, f))
            return;
        // Levels 3 and 4 have no cores for most charts (fewer than 8 x 8
        // cells): a block of them that the probe rules out is not split.
        if ((Fixed == 3 || Fixed == 4) && prune_ && !probe_.anyFits(atlas_, x * f, y * f, Fixed))
            return;
        // A block that may have been wholly free when the shape was last
        // searched was scored there at its corner: nothing below it was seen.
        const bool wasFresh = fresh_;
        if (skipping)
            fresh_ = !occupiedBefore(cellsDeciding(atlas_, w_, h_, level, x, y), count * uint64_t(f) * uint64_t(f) - sum);
        if constexpr (Fixed == 0 || (Fixed >= 2 && Fixed <= 4)) {
            if (prune_ && growth_.separable() && (best_.found || bounded_)) {
                evaluateChildrenCostFirst<Fixed>(x, y, known, level);
                fresh_ = wasFresh;
                return;
            }
        }
        for (int32_t dx = 0; dx < 2; ++dx)
            for (int32_t dy = 0; dy < 2; ++dy)
                if (known < 0 || (known >> (2 * dx + dy)) & 1) {
                    if constexpr (Fixed == 1)
                        evaluateCell(2 * x + dx, 2 * y + dy);
                    else if constexpr (Fixed > 1)
                        evaluateLevel<Fixed - 1>(2 * x + dx, 2 * y + dy, size_t(Fixed - 1), known >= 0);
                    else
                        evaluate(2 * x + dx, 2 * y + dy, level - 1, known >= 0);
                }
        fresh_ = wasFresh;
    }

    // The four children of the block (x, y) of level Fixed (or `level` when
    // Fixed is 0), each ruled out by cost before any of its own tests: the
    // bound of blockRuledOut, whose new rectangle sides and squared corner
    // distance split by axis and are worked out once per axis half.
    template <int Fixed>
    void evaluateChildrenCostFirst(int32_t x, int32_t y, int known, size_t level)
    {
        const size_t childLevel = Fixed > 0 ? size_t(Fixed - 1) : level - 1;
        const int32_t fc = atlas_.blockFactor(childLevel);
        const int32_t* rect = atlas_.occupiedRect;
        int64_t sideX[2], sideY[2];
        double squareX[2], squareY[2];
        for (int d = 0; d < 2; ++d) {
            const int64_t cx = int64_t(2 * x + d) * fc, cy = int64_t(2 * y + d) * fc;
            sideX[d] = growth_.sideX(narrowestPosition(int32_t(cx), fc, w_, rect[0], rect[2]), w_);
            sideY[d] = growth_.sideY(narrowestPosition(int32_t(cy), fc, h_, rect[1], rect[3]), h_);
            const double centreX = cx + 0.5 * w_, centreY = cy + 0.5 * h_;
            squareX[d] = centreX * centreX;
            squareY[d] = centreY * centreY;
        }
        for (int32_t dx = 0; dx < 2; ++dx)
            for (int32_t dy = 0; dy < 2; ++dy) {
                if (known >= 0 && !((known >> (2 * dx + dy)) & 1))
                    continue;
                const int32_t cost = growth_.costOfSides(sideX[dx], sideY[dy]);
                if (cost != best_.score ? cost > best_.score : !beats(cost, squareX[dx] + squareY[dy]))
                    continue;
                if constexpr (Fixed > 0)
                    evaluateLevel<Fixed - 1>(2 * x + dx, 2 * y + dy, childLevel, known >= 0, true);
                else if (childLevel == 4)
                    evaluateLevel<4>(2 * x + dx, 2 * y + dy, childLevel, known >= 0, true);
                else
                    evaluateLevel<0>(2 * x + dx, 2 * y + dy, childLevel, known >= 0, true);
            }
    }

    // Whether some of the `occupied` cells of the box were occupied before
    // the stamps from firstStamp_ on: more than those stamps' boxes hold.
    bool occupiedBefore(const CellBox& box, uint64_t occupied) const
    {
        uint64_t stamped = 0;
        const std::vector<CellBox>& stamps = atlas_.stampBoxes;
        for (size_t i = firstStamp_; i < stamps.size() && stamped < occupied; ++i) {
            const CellBox& s = stamps[i];
            const int64_t w = int64_t(std::min(s.x1, box.x1)) - std::max(s.x0, box.x0) + 1;
            const int64_t h = int64_t(std::min(s.y1, box.y1)) - std::max(s.y0, box.y0) + 1;
            if (w > 0 && h > 0)
                stamped += uint64_t(w) * uint64_t(h);
        }
        return occupied > stamped;
    }

    // For the four level-1 children (2 x + dx, 2 y + dy) of the level-2 block
    // (x, y): bit 2 dx + dy is set when the child's core is free, all in one
    // pass over the atlas rows (a row serves both dx); -1 when the chart is
    // too wide for one word or the rows run past the atlas, and the children
    // test themselves. A child beyond the atlas's columns may read as free:
    // it is dropped by its own bounds test first.
    int childCoresFree(int32_t x, int32_t y) const
    {
        if (o_->cores.empty() || o_->rowWords != 1 || w_ + 2 > 64)
            return -1;
        const uint64_t* core = o_->cores[0].data();
        const int32_t rows = static_cast<int32_t>(o_->cores[0].size());
        const int32_t first = 4 * y + static_cast<int32_t>(o_->coreFirstRow[0]);
        if (int64_t(first) + rows + 2 > atlas_.heights[0])
            return -1;
        uint64_t c00 = 0, c01 = 0, c10 = 0, c11 = 0; // conflicts of child (dx, dy)
        for (int32_t r = 0; r < rows + 2; ++r) {
            const uint64_t occupied = atlas_.occupancyFrom(4 * x, first + r);
            if (r < rows) {
                c00 |= core[r] & occupied;
                c10 |= (core[r] << 2) & occupied;
            }
            if (r >= 2) {
                c01 |= core[r - 2] & occupied;
                c11 |= (core[r - 2] << 2) & occupied;
            }
            if (c00 && c01 && c10 && c11)
                return 0;
        }
        return (c00 ? 0 : 1) | (c01 ? 0 : 2) | (c10 ? 0 : 4) | (c11 ? 0 : 8);
    }

    void evaluateCell(int32_t x, int32_t y)
    {
        const int32_t w0 = atlas_.widths[0], h0 = atlas_.heights[0];
        if (int64_t(x) + w_ >= w0 || int64_t(y) + h_ >= h0)
            return;
        if (resumed_ && !fresh_ && !stampedSince(atlas_, firstStamp_, cellsDeciding(atlas_, w_, h_, 0, x, y)))
            return;
        // The few placements that fit are scored (and compared) in score();
        // testing the cells first is cheaper than ruling out by cost, since
        // nearly every placement tried fails.
        if (prune_ ? fitsByRows(x, y) : fitsByCells(x, y))
            score(x, y, 0);
    }

    // Whether every chart cell is free at (x, y), a raster row at a time
    // against the occupancy bits.
    bool fitsByRows(int32_t x, int32_t y) const { return rowsFree(o_->rowBits, h_, x, y); }

    // Whether the core of the level's block size is free for the block's
    // first position (x, y).
    bool coreFreeAt(size_t level, int32_t x, int32_t y) const
    {
        const int32_t first = static_cast<int32_t>(o_->coreFirstRow[level - 1]);
        return rowsFree(o_->cores[level - 1], h_ - first, x, y + first);
    }

    // Whether the cells of `mask` (`rows` rows laid out like rowBits) are
    // free with its first row at row y and column 0 at column x.
    bool rowsFree(const std::vector<uint64_t>& mask, int32_t rowCount, int32_t x, int32_t y) const
    {
        const size_t words = o_->rowWords;
        const uint64_t* bits = mask.data();
        const size_t rows = words == 0 ? 0 : size_t(rowCount);
        if (words == 1) {
            for (size_t r = 0; r < rows; ++r)
                if (bits[r] & atlas_.occupancyFrom(x, y + int32_t(r)))
                    return false;
            return true;
        }
        for (size_t r = 0; r < rows; ++r)
            for (size_t j = 0; j < words; ++j)
                if (bits[r * words + j] & atlas_.occupancyFrom(x + int32_t(64 * j), y + int32_t(r)))
                    return false;
        return true;
    }

    // The same, a chart cell at a time against the level-0 labels: the
    // exhaustive search's independent reference.
    bool fitsByCells(int32_t x, int32_t y) const
    {
        const uint32_t* level0 = atlas_.levels[0].data();
        const size_t w0 = size_t(atlas_.widths[0]);
        for (const auto& c : o_->chartCells)
            if (level0[size_t(y + c.second) * w0 + size_t(x + c.first)] != Atlas::EmptyMarker)
                return false;
        return true;
    }

    const Atlas& atlas_;
    const GrowthMeasure growth_; // the atlas does not change during a search
    const bool prune_;
    const OrientationRaster* o_ = nullptr;
    int32_t k_ = 0, w_ = 0, h_ = 0;
    PlacementChoice best_;
    int32_t bestLevel_ = 0;
    // Every finite square has a root below the initial distance (the
    // largest double). A resumed search's bound also passes full ties.
    double bestSquareBound_ = std::numeric_limits<double>::infinity();
    bool resumed_ = false;
    bool fresh_ = false; // below a block that may have been wholly free then
    bool bounded_ = false;
    size_t firstStamp_ = 0;
    uint64_t bestOrder_ = 0;
    RowProbe probe_{OrientationRaster()};
};


// Places the chart on an empty atlas: centred, in the orientation with the
// smallest raster box that fits so. False when none fits.
bool placeOnEmptyAtlas(Atlas& atlas, ChartOrientations& chart);

// Stamps the chosen orientation at the chosen cell and records both.
void applyPlacement(Atlas& atlas, ChartOrientations& chart, const PlacementChoice& choice);

} // namespace placement_detail
