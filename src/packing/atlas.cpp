#include "packing/atlas.h"

#include "packing/settings.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <stdexcept>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

double atlasAspectRatio = -1.0;
double atlasPadding = 0.0;

namespace {

constexpr int32_t EmptyRectMin = 2147483647;
constexpr int32_t EmptyRectMax = -2147483647;

int32_t clampToInt32(int64_t v)
{
    return static_cast<int32_t>(std::min<int64_t>(std::max<int64_t>(v, std::numeric_limits<int32_t>::min()),
                                                  std::numeric_limits<int32_t>::max()));
}

// floor(log2(v)) for v >= 1.
int32_t floorLog2(int32_t v)
{
    int32_t n = 0;
    while (v > 1) {
        v >>= 1;
        ++n;
    }
    return n;
}

uint32_t initialValue(const Atlas& atlas, size_t level)
{
    if (level == 0)
        return Atlas::EmptyMarker;
    const uint32_t f = static_cast<uint32_t>(atlas.blockFactor(level));
    return f * f;
}

// Starts a new epoch of the atlas: earlier stamps no longer describe it.
void beginEpoch(Atlas& atlas)
{
    atlas.epoch.renew();
    atlas.stampBoxes.clear();
}

void clearOccupiedRect(Atlas& atlas)
{
    atlas.occupiedRect[0] = EmptyRectMin;
    atlas.occupiedRect[1] = EmptyRectMin;
    atlas.occupiedRect[2] = EmptyRectMax;
    atlas.occupiedRect[3] = EmptyRectMax;
}

// Adds `value` to every entry of [first, last), four at a time where the
// processor has 128-bit integer vectors (the compiler leaves this loop
// scalar at the optimisation level used).
void addToEach(uint32_t* first, uint32_t* last, uint32_t value)
{
#if defined(__SSE2__)
    const __m128i add = _mm_set1_epi32(static_cast<int>(value));
    for (; last - first >= 4; first += 4) {
        __m128i* at = reinterpret_cast<__m128i*>(first);
        _mm_storeu_si128(at, _mm_add_epi32(_mm_loadu_si128(at), add));
    }
#endif
    for (; first < last; ++first)
        *first += value;
}

// Brings the summed-area table of a level (>= 1) up to date after a change
// of cells within columns fromX..toX, from row fromY on. Only the entries
// right of column fromX and below row fromY move. A row's running sum starts
// from the unchanged entries of column fromX and is recomputed across the
// changed columns; every entry beyond them moves by as much as the row's
// last recomputed one did, since nothing changed to their left beyond it.
void updateSums(Atlas& atlas, size_t level, int32_t fromX, int32_t fromY, int32_t toX)
{
    const int32_t w = atlas.widths[level], h = atlas.heights[level];
    const size_t stride = size_t(w) + 1;
    std::vector<uint32_t>& s = atlas.sums[level];
    const uint32_t* cells = atlas.levels[level].data();
    toX = std::min(toX, w - 1);
    for (int32_t y = fromY; y < h; ++y) {
        const uint32_t* above = s.data() + size_t(y) * stride;
        uint32_t* here = s.data() + size_t(y + 1) * stride;
        const uint32_t* row = cells + size_t(y) * w;
        const uint32_t edgeBefore = here[toX + 1];
        uint32_t running = here[fromX] - above[fromX];
        for (int32_t x = fromX; x <= toX; ++x) {
            running += row[x];
            here[x + 1] = above[x + 1] + running;
        }
        // Counts wrap alike whichever way they are summed.
        addToEach(here + toX + 2, here + w + 1, here[toX + 1] - edgeBefore);
    }
}

// Rebuilds the occupancy bits from level 0.
void rebuildOccupancy(Atlas& atlas)
{
    const int32_t w = atlas.widths[0], h = atlas.heights[0];
    atlas.occupancyWords = (w + 63) / 64 + 1;
    atlas.occupancy.assign(size_t(atlas.occupancyWords) * size_t(h), 0u);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            if (atlas.levels[0][size_t(y) * w + x] != Atlas::EmptyMarker)
                atlas.occupancy[size_t(y) * atlas.occupancyWords + size_t(x >> 6)] |= uint64_t(1) << (x & 63);
}

// Rebuilds every level's summed-area table.
void rebuildSums(Atlas& atlas)
{
    atlas.sums.resize(atlas.levels.size());
    for (size_t level = 1; level < atlas.levels.size(); ++level) {
        atlas.sums[level].assign((size_t(atlas.widths[level]) + 1) * (size_t(atlas.heights[level]) + 1), 0u);
        updateSums(atlas, level, 0, 0, atlas.widths[level] - 1);
    }
}

} // namespace

Atlas::Atlas(int32_t width, int32_t height)
{
    width = std::max(width, 1);
    height = std::max(height, 1);
    // floor(log2(min side)) levels (8 for 384), fewer when a side would not
    // halve evenly all the way up, and always at least level 0.
    int32_t n = std::max(floorLog2(std::min(width, height)), 1);
    while (n > 1 && (width % (1 << (n - 1)) != 0 || height % (1 << (n - 1)) != 0))
        --n;
    for (int32_t level = 0; level < n; ++level) {
        widths.push_back(width >> level);
        heights.push_back(height >> level);
    }
    levels.resize(n);
    resetAtlas(*this);
}

uint64_t AtlasEpoch::next()
{
    static std::atomic<uint64_t> epochs{0};
    return ++epochs;
}

void resetAtlas(Atlas& atlas)
{
    for (size_t level = 1; level < atlas.levels.size(); ++level) {
        atlas.widths[level] = atlas.widths[level - 1] / 2;
        atlas.heights[level] = atlas.heights[level - 1] / 2;
    }
    for (size_t level = 0; level < atlas.levels.size(); ++level)
        atlas.levels[level].assign(size_t(atlas.widths[level]) * size_t(atlas.heights[level]),
                                   initialValue(atlas, level));
    rebuildSums(atlas);
    rebuildOccupancy(atlas);
    clearOccupiedRect(atlas);
    beginEpoch(atlas);
}

void enlargeAtlas(Atlas& atlas)
{
    if (atlas.widths[0] > MaxAtlasSide / 2 || atlas.heights[0] > MaxAtlasSide / 2)
        throw std::length_error("atlas cannot grow beyond its largest size");
    // Every level doubles; its old cells keep their position, the new ones
    // are free. Block factors stay as they were.
    std::vector<uint32_t> freeValues(atlas.levels.size());
    for (size_t level = 0; level < atlas.levels.size(); ++level)
        freeValues[level] = initialValue(atlas, level);
    for (size_t level = 0; level < atlas.levels.size(); ++level) {
        const int32_t oldW = atlas.widths[level], oldH = atlas.heights[level];
        const int32_t newW = 2 * oldW, newH = 2 * oldH;
        std::vector<uint32_t> grown(size_t(newW) * size_t(newH), freeValues[level]);
        const std::vector<uint32_t>& old = atlas.levels[level];
        for (int32_t y = 0; y < oldH; ++y)
            std::copy(old.begin() + size_t(y) * oldW, old.begin() + size_t(y + 1) * oldW,
                      grown.begin() + size_t(y) * newW);
        atlas.levels[level] = std::move(grown);
        atlas.widths[level] = newW;
        atlas.heights[level] = newH;
    }
    // The new top level halves the doubled top level (whose sides are even),
    // each cell summing the free counts of its 2 x 2 children: its block
    // factor is twice the old top one, and every block refines into its four
    // children, so the search from the new top still reaches every level-0
    // cell.
    const size_t top = atlas.levels.size() - 1;
    const int32_t childW = atlas.widths[top], childH = atlas.heights[top];
    const int32_t topW = childW / 2, topH = childH / 2;
    std::vector<uint32_t> summed(size_t(topW) * size_t(topH), 0u);
    const std::vector<uint32_t>& child = atlas.levels[top];
    for (int32_t y = 0; y < topH; ++y)
        for (int32_t x = 0; x < topW; ++x) {
            uint32_t sum = 0;
            for (int32_t dy = 0; dy < 2; ++dy)
                for (int32_t dx = 0; dx < 2; ++dx) {
                    const uint32_t v = child[size_t(2 * y + dy) * childW + (2 * x + dx)];
                    // Level 0 holds labels: a free cell counts one.
                    sum += top == 0 ? (v == Atlas::EmptyMarker ? 1u : 0u) : v;
                }
            summed[size_t(y) * topW + x] = sum;
        }
    atlas.levels.push_back(std::move(summed));
    atlas.widths.push_back(topW);
    atlas.heights.push_back(topH);
    rebuildSums(atlas);
    rebuildOccupancy(atlas);
    beginEpoch(atlas);
}

void stampRaster(Atlas& atlas, const OrientationRaster& orientation, uint32_t label, int32_t x,
                 int32_t y)
{
    const int32_t w0 = atlas.widths[0], h0 = atlas.heights[0];
    int64_t firstX = w0, firstY = h0; // the smallest column and row freed cells had
    int64_t lastX = -1, lastY = -1;
    for (const auto& cell : orientation.chartCells) {
        const int64_t cx = int64_t(x) + cell.first, cy = int64_t(y) + cell.second;
        if (cx < 0 || cy < 0 || cx >= w0 || cy >= h0)
            continue;
        uint32_t& target = atlas.levels[0][size_t(cy) * w0 + size_t(cx)];
        if (target != Atlas::EmptyMarker) {
            target = label;
            continue;
        }
        target = label;
        atlas.occupancy[size_t(cy) * atlas.occupancyWords + size_t(cx >> 6)] |= uint64_t(1) << (cx & 63);
        firstX = std::min(firstX, cx);
        firstY = std::min(firstY, cy);
        lastX = std::max(lastX, cx);
        lastY = std::max(lastY, cy);
        for (size_t level = 1; level < atlas.levels.size(); ++level)
            --atlas.levels[level][size_t(cy >> level) * atlas.widths[level] + size_t(cx >> level)];
    }
    if (firstX < w0) {
        for (size_t level = 1; level < atlas.levels.size(); ++level)
            updateSums(atlas, level, static_cast<int32_t>(firstX >> level), static_cast<int32_t>(firstY >> level),
                       static_cast<int32_t>(lastX >> level));
        atlas.stampBoxes.push_back({int32_t(firstX), int32_t(firstY), int32_t(lastX), int32_t(lastY)});
    }
    int32_t* rect = atlas.occupiedRect;
    rect[0] = std::min(rect[0], x);
    rect[1] = std::min(rect[1], y);
    rect[2] = std::max(rect[2], clampToInt32(int64_t(x) + orientation.w - 1));
    rect[3] = std::max(rect[3], clampToInt32(int64_t(y) + orientation.h - 1));
}

namespace {

// Bit x of the result is bits x and x - shift of the row (0 < shift < 64).
void andShiftedRow(const uint64_t* row, uint64_t* out, size_t words, unsigned shift)
{
    for (size_t j = words; j-- > 0;) {
        const uint64_t shifted = (row[j] << shift) | (j > 0 ? row[j - 1] >> (64u - shift) : 0u);
        out[j] = row[j] & shifted;
    }
}

// Each core is the one before it eroded by its own block side: a position
// block of side 2f is four of side f, f apart on each axis.
void collectCores(OrientationRaster& o)
{
    // The cores' vectors are reused (raster after raster), only the
    // levels found are kept.
    size_t found = 0;
    o.coreFirstRow.clear();
    const size_t words = o.rowWords, h = o.h;
    // Scratch rows kept by the thread: rasters are built by the thousand.
    thread_local std::vector<uint64_t> current, next, rows;
    current.assign(o.rowBits.begin(), o.rowBits.end());
    next.resize(current.size());
    rows.resize(2 * words);
    uint64_t* const here = rows.data();
    uint64_t* const below = here + words;
    // One core per block side 1, 2, 4, ... below 64 and both raster sides.
    size_t levels = 0;
    for (unsigned f = 1; f < 64 && f < o.w && f < h; f *= 2)
        ++levels;
    o.cores.reserve(levels);
    o.coreFirstRow.reserve(levels);
    for (unsigned f = 1; f < 64 && f < o.w && f < h; f *= 2) {
        bool any = false;
        for (size_t y = 0; y < h; ++y) {
            uint64_t* out = next.data() + y * words;
            if (y < f) {
                std::fill(out, out + words, 0u);
                continue;
            }
            andShiftedRow(current.data() + y * words, here, words, f);
            andShiftedRow(current.data() + (y - f) * words, below, words, f);
            for (size_t j = 0; j < words; ++j) {
                out[j] = here[j] & below[j];
                any = any || out[j] != 0;
            }
        }
        if (!any)
            break;
        current.swap(next);
        size_t first = f;
        while (first < h && std::all_of(current.begin() + first * words, current.begin() + (first + 1) * words,
                                        [](uint64_t v) { return v == 0; }))
            ++first;
        o.coreFirstRow.push_back(static_cast<uint32_t>(first));
        if (found == o.cores.size())
            o.cores.emplace_back();
        o.cores[found++].assign(current.begin() + first * words, current.end());
    }
    o.cores.resize(found);
}

} // namespace

void collectRasterCells(OrientationRaster& o, uint32_t label)
{
    o.chartCells.clear();
    o.rowBits.clear();
    o.rowWords = 0;
    const int32_t w = static_cast<int32_t>(o.w), h = static_cast<int32_t>(o.h);
    if (o.raster.size() < size_t(w) * size_t(h)) {
        o.cores.clear();
        o.coreFirstRow.clear();
        return;
    }
    o.rowWords = (o.w + 63) / 64;
    o.rowBits.assign(size_t(o.rowWords) * size_t(h), 0u);
    o.chartCells.reserve(o.filled);
    for (int32_t x = 0; x < w; ++x)
        for (int32_t y = 0; y < h; ++y)
            if (o.raster[size_t(y) * w + x] == label) {
                o.chartCells.emplace_back(x, y);
                o.rowBits[size_t(y) * o.rowWords + size_t(x >> 6)] |= uint64_t(1) << (x & 63);
            }
    collectCores(o);
}
