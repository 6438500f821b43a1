#include "geometry/empty_spaces.h"

#include "geometry/raster.h"
#include "geometry/predicates.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr double BaseResolution = 1024.0;
// Upper bound of the grid side, whatever resolution factor a caller passes
// (every caller passes 1.0): the grids cost 6 bytes per cell, 24 MiB here.
constexpr int32_t MaxGridSide = 2048;
constexpr double PruneOverlapShare = 0.1;
constexpr size_t MaxSpaces = 8;

// The occupancy grid (row-major, as drawn) turned column-major, with the run
// table alongside: the seed scan and the rectangle growth walk columns.
// Columns lie `stride` cells apart, a little more than n: with a power-of-two
// distance the cells of one row in neighbouring columns would all fall into
// the same few cache sets and the turn would miss the cache on every write.
struct ColumnGrids {
    int32_t n = 0;
    size_t stride = 0;
    std::vector<uint8_t> covered; // index c * stride + r: 1 covered, 0 empty
    std::vector<uint16_t> run;    // empty cells strictly right of (c, r) in its row (< MaxGridSide)

    bool isCovered(int32_t c, int32_t r) const { return covered[size_t(c) * stride + r] != 0; }
};

// The 8 x 8 bytes x[0..7] (x[i] byte j: row i, column j) turned in place, so
// that x[j] byte i holds what row i held in column j.
void transposeBytes8x8(uint64_t x[8])
{
    const auto swap = [](uint64_t& a, uint64_t& b, unsigned shift, uint64_t mask) {
        const uint64_t t = ((a >> shift) ^ b) & mask;
        b ^= t;
        a ^= t << shift;
    };
    for (int i = 0; i < 8; i += 2)
        swap(x[i], x[i + 1], 8, 0x00FF00FF00FF00FFull);
    for (int i : {0, 1, 4, 5})
        swap(x[i], x[i + 2], 16, 0x0000FFFF0000FFFFull);
    for (int i = 0; i < 4; ++i)
        swap(x[i], x[i + 4], 32, 0x00000000FFFFFFFFull);
}

// Fills g from the row-major occupancy grid. g's vectors keep their capacity
// from call to call, so a thread that searches many charts allocates once.
void buildColumnGrids(const std::vector<uint8_t>& occupancy, int32_t n, ColumnGrids& g)
{
    g.n = n;
    g.stride = size_t(n) + 64;
    // Every cell of rows [0, n) is written below; the padding is never read.
    g.covered.resize(g.stride * size_t(n));
    g.run.resize(g.stride * size_t(n));
    const size_t stride = g.stride;
    // The grids are thread-local: plain pointers keep the loops below from
    // looking them up again on every cell.
    uint8_t* covered = g.covered.data();
    uint16_t* runs = g.run.data();
    const uint8_t* cells = occupancy.data();
    // Covered cells are 255 and empty ones 0, so the lowest bit of a cell is
    // its covered flag. The grid is turned 8 x 8 cells at a time, the rest
    // (past the last multiple of 8 rows or columns) a cell at a time.
    static_assert((OccupancyCovered & 1) == 1 && (OccupancyEmpty & 1) == 0, "the lowest bit tells covered cells");
    const int32_t whole = n / 8 * 8;
    for (int32_t r = 0; r < whole; r += 8)
        for (int32_t c = 0; c < whole; c += 8) {
            uint64_t block[8];
            for (int i = 0; i < 8; ++i)
                std::memcpy(&block[i], cells + size_t(r + i) * n + c, 8);
            transposeBytes8x8(block);
            for (int j = 0; j < 8; ++j) {
                const uint64_t flags = block[j] & 0x0101010101010101ull;
                std::memcpy(covered + size_t(c + j) * stride + r, &flags, 8);
            }
        }
    for (int32_t r = 0; r < n; ++r) {
        const uint8_t* row = cells + size_t(r) * n;
        for (int32_t c = r < whole ? whole : 0; c < n; ++c)
            covered[size_t(c) * stride + r] = row[c] == OccupancyCovered ? 1 : 0;
    }
    // run(c, r) = 0 in the last column, else the right neighbour's run plus
    // one when that neighbour is empty, 0 when it is covered; eight rows at a
    // time.
    using Runs8 = uint16_t __attribute__((vector_size(16)));
    using Flags8 = uint8_t __attribute__((vector_size(8)));
    uint16_t* last = runs + size_t(n - 1) * stride;
    std::fill(last, last + n, uint16_t(0));
    for (int32_t c = n - 2; c >= 0; --c) {
        const uint8_t* rightCovered = covered + size_t(c + 1) * stride;
        const uint16_t* rightRun = runs + size_t(c + 1) * stride;
        uint16_t* run = runs + size_t(c) * stride;
        int32_t r = 0;
        for (; r + 8 <= n; r += 8) {
            Runs8 right;
            Flags8 flags;
            std::memcpy(&right, rightRun + r, sizeof right);
            std::memcpy(&flags, rightCovered + r, sizeof flags);
            const Runs8 next = (right + 1) & (__builtin_convertvector(flags, Runs8) - 1);
            std::memcpy(run + r, &next, sizeof next);
        }
        for (; r < n; ++r)
            run[r] = static_cast<uint16_t>((rightRun[r] + 1u) & (rightCovered[r] - 1u));
    }
}

// The seeds of column c in rising rows: its empty cells on the grid's border,
// and elsewhere the concave corners of the empty region (an empty cell with a
// covered cell beside it and one above or below it). Eight rows are tested
// at once, most words holding none.
template <class Visit>
void visitSeeds(const ColumnGrids& g, int32_t c, const Visit& visit)
{
    const int32_t n = g.n;
    const uint8_t* here = g.covered.data() + size_t(c) * g.stride;
    if (c == 0 || c == n - 1 || n < 3) {
        for (int32_t r = 0; r < n; ++r)
            if (!here[r])
                visit(r);
        return;
    }
    const uint8_t* left = here - g.stride;
    const uint8_t* right = here + g.stride;
    const auto load = [](const uint8_t* p) {
        uint64_t v;
        std::memcpy(&v, p, sizeof v);
        return v;
    };
    const auto seedAt = [&](int32_t r) {
        return !here[r] && (left[r] || right[r]) && (here[r - 1] || here[r + 1]);
    };
    if (!here[0])
        visit(0);
    int32_t r = 1;
    // Bytes are 0 or 1, so byte-wise or and and-not never carry across bytes.
    constexpr uint64_t Ones = 0x0101010101010101ull;
    for (; r + 9 <= n; r += 8) {
        const uint64_t side = load(left + r) | load(right + r);
        const uint64_t vertical = load(here + r - 1) | load(here + r + 1);
        const uint64_t seeds = ~load(here + r) & Ones & side & vertical;
        if (seeds == 0)
            continue;
        for (int32_t k = 0; k < 8; ++k)
            if (seedAt(r + k))
                visit(r + k);
    }
    for (; r < n - 1; ++r)
        if (seedAt(r))
            visit(r);
    if (!here[n - 1])
        visit(n - 1);
}

// For every row r of column c, how far the maximal rectangle grown from (c,
// r) reaches down and up: the rows next to r whose cell is empty with a run
// of at least run(c, r). Each is the distance to the nearest row on that
// side whose value (the run, or -1 for a covered cell) is smaller, found for
// the whole column at once with a stack of rows of rising values.
class ColumnReach {
public:
    explicit ColumnReach(int32_t n) : down_(size_t(n)), up_(size_t(n)), stack_(size_t(n)) {}

    void compute(const ColumnGrids& g, int32_t c)
    {
        const int32_t n = g.n;
        const uint8_t* covered = g.covered.data() + size_t(c) * g.stride;
        const uint16_t* run = g.run.data() + size_t(c) * g.stride;
        const auto value = [&](int32_t r) { return covered[r] ? int64_t(-1) : int64_t(run[r]); };
        size_t top = 0;
        for (int32_t r = n - 1; r >= 0; --r) {
            const int64_t v = value(r);
            while (top > 0 && value(stack_[top - 1]) >= v)
                --top;
            down_[size_t(r)] = (top > 0 ? stack_[top - 1] : n) - r - 1;
            stack_[top++] = r;
        }
        top = 0;
        for (int32_t r = 0; r < n; ++r) {
            const int64_t v = value(r);
            while (top > 0 && value(stack_[top - 1]) >= v)
                --top;
            up_[size_t(r)] = r - (top > 0 ? stack_[top - 1] : -1) - 1;
            stack_[top++] = r;
        }
    }

    int32_t down(int32_t r) const { return down_[size_t(r)]; }
    int32_t up(int32_t r) const { return up_[size_t(r)]; }

private:
    std::vector<int32_t> down_, up_, stack_;
};

// The rows next to r, down and up, that the rectangle grown from (c, r)
// spans, counted one by one; `steps` grows by the rows looked at.
void walkReach(const ColumnGrids& g, int32_t c, int32_t r, int32_t& down, int32_t& up, int64_t& steps)
{
    const uint8_t* covered = g.covered.data() + size_t(c) * g.stride;
    const uint16_t* run = g.run.data() + size_t(c) * g.stride;
    const uint32_t k = run[r];
    down = 0;
    for (int32_t rr = r + 1; rr < g.n && !covered[rr] && run[rr] >= k; ++rr)
        ++down;
    up = 0;
    for (int32_t rr = r - 1; rr >= 0 && !covered[rr] && run[rr] >= k; --rr)
        ++up;
    steps += down + up + 2;
}

// The maximal rectangle of empty cells whose left column starts at the seed
// and spans the seed's whole run to the right, reaching `down` and `up` rows.
EmptySpace grownRectangle(const ColumnGrids& g, int32_t c, int32_t r, int32_t down, int32_t up,
                          const UVBox& box, double du, double dv)
{
    const uint32_t k = g.run[size_t(c) * g.stride + r];
    return EmptySpace{box.minU + c * du, box.minV + (r - up) * dv,
                      box.minU + (c + 1 + static_cast<double>(k)) * du,
                      box.minV + (r + 1 + down) * dv};
}

double intersectionArea(const EmptySpace& a, const EmptySpace& b, bool& intersects)
{
    const double u0 = std::max(a.minU, b.minU), u1 = std::min(a.maxU, b.maxU);
    const double v0 = std::max(a.minV, b.minV), v1 = std::min(a.maxV, b.maxV);
    intersects = u0 <= u1 && v0 <= v1;
    return intersects ? (u1 - u0) * (v1 - v0) : 0.0;
}

} // namespace

std::vector<EmptySpace> selectEmptySpaces(std::vector<EmptySpace> boxes, size_t limit)
{
    std::stable_sort(boxes.begin(), boxes.end(), [](const EmptySpace& a, const EmptySpace& b) {
        return a.area() > b.area();
    });
    // A box survives unless an earlier survivor shares more than a tenth of
    // its own area with it; survivors past the limit would be dropped anyway,
    // so the walk stops when the limit is reached.
    std::vector<EmptySpace> kept;
    for (const EmptySpace& candidate : boxes) {
        if (kept.size() >= limit)
            break;
        bool pruned = false;
        for (const EmptySpace& earlier : kept) {
            bool intersects = false;
            const double shared = intersectionArea(earlier, candidate, intersects);
            if (intersects && shared > PruneOverlapShare * earlier.area()) {
                pruned = true;
                break;
            }
        }
        if (!pruned)
            kept.push_back(candidate);
    }
    return kept;
}

void findEmptySpaces(const ChartList& charts, std::vector<EmptySpace>& spaces, double minSide,
                     double resolution, UVBox* boxOut)
{
    UVBox box;
    for (const Chart& chart : charts) {
        const UVBox chartBox = chartUVBounds(chart);
        box.include(chartBox);
        if (boxOut)
            boxOut->include(chartBox);
    }

    const double side = resolution * BaseResolution;
    const double width = box.width(), height = box.height();
    // No grid for a degenerate resolution, and no spaces in a box without
    // area (no charts, a single point or segment, or non-finite coordinates).
    if (!(side >= 1.0) || !(width > 0.0) || !(height > 0.0) || !std::isfinite(width) ||
        !std::isfinite(height))
        return;
    const int32_t n = side >= MaxGridSide ? MaxGridSide : static_cast<int32_t>(side);

    // Scratch grids kept per thread: the local search calls this once per
    // chart, and a fresh grid of several MiB would be mapped and faulted in
    // every time.
    thread_local std::vector<uint8_t> occupancy;
    thread_local ColumnGrids grids;
    occupancy.assign(size_t(n) * n, OccupancyEmpty);
    for (const Chart& chart : charts) {
        const size_t numUV = chart.uvCoords2D.size() / 2;
        const size_t numCorners = chart.triIndicesUV.size() / 3 * 3;
        const double* uv = chart.uvCoords2D.data();
        for (size_t t = 0; t < numCorners; t += 3) {
            Point2D p[3];
            bool valid = true;
            for (int i = 0; i < 3 && valid; ++i) {
                const size_t k = chart.triIndicesUV[t + i];
                valid = k < numUV;
                if (valid)
                    p[i] = {(uv[2 * k] - box.minU) / width, (uv[2 * k + 1] - box.minV) / height};
            }
            if (valid)
                drawOccupancyTriangle(occupancy, n, p[0], p[1], p[2]);
        }
    }

    buildColumnGrids(occupancy, n, grids);

    const double du = width / n, dv = height / n;
    std::vector<EmptySpace> found;
    ColumnReach reach(n);
    for (int32_t c = 0; c < n; ++c) {
        // A column's few seeds are grown row by row; once that has looked
        // at more rows than the stack passes would, the passes take over.
        bool reachKnown = false;
        int64_t steps = 0;
        const uint16_t* runs = grids.run.data() + size_t(c) * grids.stride;
        visitSeeds(grids, c, [&](int32_t r) {
            // The width does not depend on the reach: a rectangle too narrow
            // is dropped below whatever its height, so the column's reach is
            // only computed once a seed is wide enough.
            const double k = static_cast<double>(runs[r]);
            const double seedWidth = (box.minU + (c + 1 + k) * du) - (box.minU + c * du);
            if (!(seedWidth > minSide))
                return;
            int32_t down = 0, up = 0;
            if (!reachKnown && steps <= 2 * int64_t(n)) {
                walkReach(grids, c, r, down, up, steps);
            } else {
                if (!reachKnown) {
                    reach.compute(grids, c);
                    reachKnown = true;
                }
                down = reach.down(r);
                up = reach.up(r);
            }
            const EmptySpace s = grownRectangle(grids, c, r, down, up, box, du, dv);
            if (std::min(s.width(), s.height()) > minSide)
                found.push_back(s);
        });
    }

    const size_t room = spaces.size() < MaxSpaces ? MaxSpaces - spaces.size() : 0;
    const std::vector<EmptySpace> kept = selectEmptySpaces(std::move(found), room);
    spaces.insert(spaces.end(), kept.begin(), kept.end());
    if (spaces.size() > MaxSpaces)
        spaces.resize(MaxSpaces);
}
