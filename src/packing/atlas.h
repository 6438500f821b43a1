#pragma once

#include "packing/settings.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

// Level-0 cells [x0, x1] x [y0, y1].
struct CellBox {
    int32_t x0, y0, x1, y1;
};

// Names one state of an atlas between construction, resets and
// enlargements, unique in the process. A copied atlas takes a new one, so
// that what was learnt about the original never applies to the copy.
class AtlasEpoch {
public:
    AtlasEpoch() : value_(next()) {}
    AtlasEpoch(const AtlasEpoch&) : value_(next()) {}
    AtlasEpoch& operator=(const AtlasEpoch&)
    {
        value_ = next();
        return *this;
    }
    void renew() { value_ = next(); }
    uint64_t value() const { return value_; }

private:
    static uint64_t next();
    uint64_t value_;
};

class OrientationCache;

// The packer's occupancy pyramid. Level 0 holds chart labels (or the empty
// marker); level L >= 1 holds per cell the number of free level-0 cells in
// the block under it.
//
// Every level halves the one below exactly, so the block of a level-L cell is
// 2^L x 2^L level-0 cells: the constructor uses as many levels as the size
// allows (8 for 384 x 384) but stops early when a side would not halve evenly.
struct Atlas {
    static constexpr uint32_t EmptyMarker = 2147483647u;

    std::vector<std::vector<uint32_t>> levels;
    std::vector<int32_t> widths;
    std::vector<int32_t> heights;
    int32_t occupiedRect[4]; // minX, minY, maxX, maxY
    // Per level L >= 1 its summed-area table, (widths[L] + 1) x (heights[L]
    // + 1) entries: entry (X, Y) sums the cells x < X, y < Y. Empty for 0.
    std::vector<std::vector<uint32_t>> sums;
    // Level 0's occupancy as bits: bit x % 64 of word x / 64 of row y is set
    // when cell (x, y) holds a label. A row has occupancyWords words, one
    // more than its cells need, so that any 64 bits of a row are two words.
    std::vector<uint64_t> occupancy;
    int32_t occupancyWords = 0;
    // The stamps since the epoch began that occupied any cell: per stamp the
    // box of the cells it occupied.
    AtlasEpoch epoch;
    std::vector<CellBox> stampBoxes;
    // Chart rasters kept for the packings into this atlas and its copies
    // (none unless set): only what a packing would build anyway.
    std::shared_ptr<OrientationCache> orientationCache;

    Atlas(int32_t width = 384, int32_t height = 384);

    bool isEmpty() const { return occupiedRect[0] == 2147483647; }
    // widths[0] / widths[level], which every level's exact halving makes 2^level.
    int32_t blockFactor(size_t level) const { return int32_t(1) << level; }
    size_t topLevel() const { return levels.size() - 1; }
    uint32_t label(int32_t x, int32_t y) const { return levels[0][size_t(y) * widths[0] + x]; }
    // The 64 occupancy bits of row y from column x on (bit i: column x + i),
    // for 0 <= x < widths[0]; columns past the row read as free.
    uint64_t occupancyFrom(int32_t x, int32_t y) const
    {
        const uint64_t* word = occupancy.data() + size_t(y) * size_t(occupancyWords) + size_t(x >> 6);
        const unsigned shift = unsigned(x) & 63u;
        return (word[0] >> shift) | ((word[1] << 1) << (63u - shift));
    }

    // The free level-0 cells under the level-L cells [x0, x1] x [y0, y1]
    // (inside the level, L >= 1); 0 for an empty range.
    uint32_t blockSum(size_t level, int32_t x0, int32_t y0, int32_t x1, int32_t y1) const
    {
        if (x1 < x0 || y1 < y0)
            return 0;
        const std::vector<uint32_t>& s = sums[level];
        const size_t stride = size_t(widths[level]) + 1;
        return s[size_t(y1 + 1) * stride + size_t(x1 + 1)] - s[size_t(y0) * stride + size_t(x1 + 1)] -
               s[size_t(y1 + 1) * stride + size_t(x0)] + s[size_t(y0) * stride + size_t(x0)];
    }
};

// Largest level-0 side that enlargeAtlas produces; beyond it enlarging throws
// std::length_error (packing never needs it: its rasters are bounded).
constexpr int32_t MaxAtlasSide = 8192;

void resetAtlas(Atlas& atlas);

// How much placing a w x h raster box at (x, y) enlarges the occupied
// rectangle's area (under the aspect setting), clamped to int32, for one
// state of the atlas: what depends on the atlas alone is worked out once,
// for the placement search that asks it for nearly every candidate.
class GrowthMeasure {
public:
    explicit GrowthMeasure(const Atlas& atlas)
        : empty_(atlas.isEmpty()), ratio_(atlasAspectRatio),
          shapeFree_(!(ratio_ > 0.0) || !std::isfinite(ratio_))
    {
        std::copy(atlas.occupiedRect, atlas.occupiedRect + 4, rect_);
        if (empty_)
            return;
        const int64_t ow = int64_t(rect_[2]) - rect_[0] + 1;
        const int64_t oh = int64_t(rect_[3]) - rect_[1] + 1;
        const int64_t oldLong = std::max(ow, oh), oldShort = std::min(ow, oh);
        oldArea_ = shapeFree_ ? oldShort * oldLong : shortSide(oldLong, oldShort) * oldLong;
    }

    int32_t cost(int32_t x, int32_t y, int32_t w, int32_t h) const
    {
        if (empty_)
            return clampToInt32(int64_t(w) * h);
        return costOfSides(sideX(x, w), sideY(y, h));
    }

    // Whether the cost is the product of sideX and sideY less a constant
    // (no aspect setting, an occupied atlas): costOfSides then holds.
    bool separable() const { return shapeFree_ && !empty_; }
    // The new rectangle's width with the box at column x, and its height
    // with the box at row y (an occupied atlas).
    int64_t sideX(int32_t x, int32_t w) const
    {
        return std::max<int64_t>(rect_[2], int64_t(x) + w - 1) - std::min<int64_t>(rect_[0], x) + 1;
    }
    int64_t sideY(int32_t y, int32_t h) const
    {
        return std::max<int64_t>(rect_[3], int64_t(y) + h - 1) - std::min<int64_t>(rect_[1], y) + 1;
    }
    // The cost of a new rectangle of these sides (an occupied atlas).
    int32_t costOfSides(int64_t nw, int64_t nh) const
    {
        // A ratio that is not a positive finite number leaves the shape free.
        if (shapeFree_)
            return clampToInt32(nw * nh - oldArea_);
        const int64_t newLong = std::max(nw, nh), newShort = std::min(nw, nh);
        return clampToInt32(shortSide(newLong, newShort) * newLong - oldArea_);
    }

private:
    static int32_t clampToInt32(int64_t v)
    {
        return static_cast<int32_t>(std::min<int64_t>(std::max<int64_t>(v, -2147483647 - 1), 2147483647));
    }
    int64_t shortSide(int64_t longSide, int64_t shorter) const
    {
        const double scaled = std::trunc(static_cast<double>(longSide) / ratio_);
        const int64_t fromLong = scaled >= 2147483647.0 ? 2147483647 : static_cast<int64_t>(scaled);
        return std::max(fromLong, shorter);
    }

    bool empty_;
    double ratio_;
    bool shapeFree_;
    int32_t rect_[4];
    int64_t oldArea_ = 0;
};

// GrowthMeasure(atlas).cost(x, y, w, h).
inline int32_t growthCost(const Atlas& atlas, int32_t x, int32_t y, int32_t w, int32_t h)
{
    return GrowthMeasure(atlas).cost(x, y, w, h);
}
void enlargeAtlas(Atlas& atlas);

// One orientation of a chart rasterised at the packing scale.
struct OrientationRaster {
    double angle = 0.0;                 // radians, counter-clockwise
    double originU = 0.0;               // the oriented chart's UV box corner (minU, minV)
    double originV = 0.0;
    std::vector<uint32_t> raster;       // w x h cells: the chart's label or the empty marker
    uint32_t w = 0;
    uint32_t h = 0;
    uint32_t filled = 0;                // cells the chart covers
    std::vector<std::pair<int32_t, int32_t>> chartCells; // every chart cell, column by column
    // The chart cells as bits, rowWords words per raster row: bit x % 64 of
    // word x / 64 of row y is set when cell (x, y) is the chart's.
    std::vector<uint64_t> rowBits;
    uint32_t rowWords = 0;
    // cores[L - 1] (L >= 1, as long as any remain): the cells that are the
    // chart's under every position of a 2^L x 2^L block of positions, i.e.
    // cell c when c - d is a chart cell for every d in [0, 2^L)^2. Laid out
    // like rowBits, rows [coreFirstRow[L - 1], h) only.
    std::vector<std::vector<uint64_t>> cores;
    std::vector<uint32_t> coreFirstRow;
};

// Fills chartCells (scanning x, then y), rowBits and cores from the raster.
void collectRasterCells(OrientationRaster& orientation, uint32_t label);

// All orientations of one chart and the placement chosen for it.
struct ChartOrientations {
    uint32_t label = 0;
    std::vector<OrientationRaster> orientations;
    int32_t x = 0;            // level-0 cell of the raster's cell (0, 0)
    int32_t y = 0;
    int32_t orientation = -1; // chosen orientation, -1 while unplaced
};

// The best placement found among some orientations of a chart: the lowest
// growth cost, then the smallest distance of the raster box centre from cell
// (0, 0), then the earliest in search order.
struct PlacementChoice {
    bool found = false;
    int32_t score = 2147483647;
    double distance = 1.7976931348623157e308;
    int32_t orientation = -1;
    int32_t x = 0;
    int32_t y = 0;
};

// Searches the placement of the chart (coarse to fine from the top level),
// stamps the best orientation and records it. False when it fits nowhere.
// pruneByCost skips candidates whose cost already rules them out and tests
// fits against the occupancy bits; the result is the same either way (the
// exhaustive search, testing cell by cell, exists for comparison).
bool tryPlaceChart(Atlas& atlas, ChartOrientations& chart, bool pruneByCost = true);

// Writes the raster's chart cells at (x, y) into level 0, counts them off the
// upper levels and grows occupiedRect by the whole raster box.
void stampRaster(Atlas& atlas, const OrientationRaster& orientation, uint32_t label, int32_t x,
                 int32_t y);
