#include "geometry/efficiency.h"
#include "geometry/empty_spaces.h"
#include "geometry/predicates.h"
#include "geometry/raster.h"
#include "meshgen/meshgen.h"
#include "support/chart_layouts.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

namespace {

const double NaN = std::numeric_limits<double>::quiet_NaN();
const double Inf = std::numeric_limits<double>::infinity();

Chart triangleChart(double ax, double ay, double bx, double by, double cx, double cy)
{
    return testsupport::makeChart({0, 1, 2}, {}, {ax, ay, bx, by, cx, cy});
}

size_t countLabel(const std::vector<uint32_t>& grid, uint32_t label)
{
    return static_cast<size_t>(std::count(grid.begin(), grid.end(), label));
}

} // namespace

TEST(RasterPredicates, PointsAndSegmentsAtTheEdges)
{
    // point: pointInTriangle(p; a, b, c) with p = s, a = e; otherwise segmentsCross(s -> e, c -> d).
    struct Case { bool point; Point2D s, e, c, d; double tol; bool hit; };
    const Point2D o{0, 0}, x{1, 0}, y{0, 1};
    const std::vector<Case> cases = {
        {true, {0.25, 0.25}, o, x, y, 0.0, true}, {true, {0.5, 0.0}, o, x, y, 0.0, false},
        {true, {0.5, -0.05}, o, x, y, 0.1, true}, {true, {NaN, 0}, o, x, y, 0.0, false},
        {false, {0, 0}, {2, 2}, {0, 2}, {2, 0}, 0.0, true},
        {false, {0, 0}, {1, 0}, {0, 0}, {0, 1}, 0.0, true},         // meeting at both starts counts
        {false, {0, 0}, {1, 0}, {1, 0}, {1, 1}, 0.0, false},        // at an end it does not
        {false, {0, 0}, {1, 0}, {0.5, -1}, {0.5, 1}, 0.001, true},
        {false, {0, 0}, {1, 0}, {0.0005, -1}, {0.0005, 1}, 0.001, false},
        {false, {0, 0}, {4, 0}, {1, 0}, {6, 0}, 0.0, true},         // collinear overlapping
        {false, {0, 0}, {4, 0}, {5, 0}, {6, 0}, 0.0, false},
        {false, {0, 0}, {100, 0}, {50, 0.1}, {60, 0.1}, 0.0, true}, // nearly on the line
        {false, {0, 0}, {0, 0}, {0, 0}, {1, 0}, 0.0, false},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& k = cases[i];
        const bool hit =
            k.point ? pointInTriangle(k.s, k.e, k.c, k.d, k.tol) : segmentsCross(k.s, k.e, k.c, k.d, k.tol);
        EXPECT_EQ(hit, k.hit) << i;
    }
}

TEST(RasterizeChart, CountsRectangleAndBoundary)
{
    // The lower right half of the unit square on an 8 x 8 grid.
    const Chart half = triangleChart(0, 0, 1, 0, 1, 1);
    std::vector<uint32_t> grid(8 * 8, EmptyLabel);
    uint32_t filled = 0;
    CellRect rect;
    CellList boundary;
    rasterizeChart(half, UVBox(0, 0, 1, 1), grid, 8, 8, 5, EmptyLabel, filled, rect, &boundary, false, 0);
    EXPECT_EQ(filled, countLabel(grid, 5));
    EXPECT_EQ(std::make_tuple(rect.x, rect.y, rect.w, rect.h), std::make_tuple(0, 0, 8, 8));
    // Boundary cells hold the label, come column by column, and skip the interior.
    ASSERT_FALSE(boundary.empty());
    for (size_t i = 0; i < boundary.size(); ++i) {
        EXPECT_EQ(grid[boundary[i].second * 8 + boundary[i].first], 5u);
        if (i > 0) {
            EXPECT_LT(boundary[i - 1], boundary[i]);
        }
    }
    EXPECT_EQ(std::count(boundary.begin(), boundary.end(), CellPos(5, 2)), 0);
    EXPECT_EQ(std::count(boundary.begin(), boundary.end(), CellPos(7, 0)), 1);
    // Drawing it again finds no new cell; another label counts every cell it takes.
    rasterizeChart(half, UVBox(0, 0, 1, 1), grid, 8, 8, 5, EmptyLabel, filled, rect, nullptr, false, 0);
    EXPECT_EQ(filled, 0u);
    rasterizeChart(half, UVBox(0, 0, 1, 1), grid, 8, 8, 6, EmptyLabel, filled, rect, nullptr, false, 0);
    EXPECT_EQ(filled, countLabel(grid, 6));

    // Keeping only the boundary empties the interior.
    Chart square = triangleChart(0.1, 0.1, 0.9, 0.1, 0.9, 0.9);
    square.triIndicesUV.append(iuv::UIntVector{0, 2, 3});
    square.triIndicesPos = square.triIndicesUV;
    square.uvCoords2D.append(iuv::DoubleVector{0.1, 0.9});
    std::vector<uint32_t> big(20 * 20, EmptyLabel);
    rasterizeChart(square, UVBox(0, 0, 1, 1), big, 20, 20, 2, EmptyLabel, filled, rect, &boundary, true, 0);
    EXPECT_GT(filled, boundary.size());
    EXPECT_EQ(countLabel(big, 2), boundary.size());
    EXPECT_EQ(big[10 * 20 + 10], EmptyLabel);
    EXPECT_EQ(std::make_pair(rect.x, rect.w), std::make_pair(2, 17)); // the edge at 0.9 runs along column 18

    // A gap shifts by one cell and dilates once: the 3 x 3 block around (1, 1).
    std::vector<uint32_t> ten(10 * 10, EmptyLabel);
    rasterizeChart(triangleChart(0, 0, 0.01, 0, 0, 0.01), UVBox(0, 0, 1, 1), ten, 10, 10, 1, EmptyLabel, filled, rect, nullptr, false, 1);
    EXPECT_EQ(filled, 9u);
    EXPECT_EQ(ten[1 * 10 + 1], 1u);
    EXPECT_EQ(std::make_pair(rect.x, rect.w), std::make_pair(0, 3));
}

TEST(RasterizeChart, BadInputLeavesTheGridAlone)
{
    Chart badIndex = triangleChart(0, 0, 1, 0, 0, 1);
    badIndex.triIndicesUV[2] = 17;
    const Chart fine = triangleChart(0, 0, 1, 0, 0, 1);
    struct Case { Chart chart; UVBox frame; int side; int32_t gap; };
    const std::vector<Case> cases = {
        {Chart(), UVBox(0, 0, 1, 1), 4, 0},
        {triangleChart(NaN, 0, 1, 0, 0, 1), UVBox(0, 0, 1, 1), 4, 0},
        {triangleChart(0, 0, 1, NaN, 0, 1), UVBox(0, 0, 1, 1), 4, 0},
        {triangleChart(0, 0, Inf, 0, 0, 1), UVBox(0, 0, 1, 1), 4, 0},
        {triangleChart(0, 0, 1, 0, 0, -Inf), UVBox(0, 0, 1, 1), 4, 0},
        {badIndex, UVBox(0, 0, 1, 1), 4, 0},
        {fine, UVBox(0, 0, 1, 1), 5, 0},          // grid smaller than its stated size
        {fine, UVBox(0, 0, 0, 0), 4, 0},          // frame without extent
        {fine, UVBox(0, 0, 1, 1), 4, 2147483647}, // gap beyond the grid
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        std::vector<uint32_t> grid(16, EmptyLabel);
        uint32_t filled = 99;
        CellRect rect;
        CellList boundary{{1, 1}};
        rasterizeChart(cases[i].chart, cases[i].frame, grid, cases[i].side, cases[i].side, 1, EmptyLabel, filled, rect,
                       &boundary, cases[i].gap == 0, cases[i].gap);
        EXPECT_EQ(countLabel(grid, 1), 0u) << i;
        EXPECT_EQ(filled, 0u) << i;
    }
}

namespace {

// The coverage rules written out plainly, cell by cell with all twelve edge tests, for the drawing routines (which
// skip tests that cannot hold). The label rule also takes a cell holding the whole triangle, without tolerance.
std::vector<uint32_t> referenceCells(int w, int h, const Point2D tri[3], bool occupancy)
{
    const double tol = occupancy ? OccupancySeamTolerance : 0.0;
    std::vector<uint32_t> grid(size_t(w) * h, occupancy ? OccupancyEmpty : EmptyLabel);
    const double minX = std::min({tri[0].x, tri[1].x, tri[2].x}), maxX = std::max({tri[0].x, tri[1].x, tri[2].x});
    const double minY = std::min({tri[0].y, tri[1].y, tri[2].y}), maxY = std::max({tri[0].y, tri[1].y, tri[2].y});
    const int c0 = std::max(0, int(w * minX)), c1 = std::min(w - 1, int(std::ceil(w * maxX)));
    const int r0 = std::max(0, int(h * minY)), r1 = std::min(h - 1, int(std::ceil(h * maxY)));
    for (int r = r0; r <= r1; ++r)
        for (int c = c0; c <= c1; ++c) {
            const double x0 = c / double(w), x1 = (c + 1) / double(w), y0 = r / double(h), y1 = (r + 1) / double(h);
            const Point2D p00{x0, y0}, p10{x1, y0}, p01{x0, y1}, p11{x1, y1};
            bool crossing = false;
            for (int e = 0; e < 3; ++e) {
                const Point2D& a = tri[e];
                const Point2D& b = tri[(e + 1) % 3];
                crossing = crossing || segmentsCross(a, b, p00, p10, tol) || segmentsCross(a, b, p01, p11, tol) ||
                           segmentsCross(a, b, p00, p01, tol) || segmentsCross(a, b, p10, p11, tol);
            }
            const bool boxInside = !occupancy && minX >= x0 && maxX <= x1 && minY >= y0 && maxY <= y1;
            const Point2D centre{(c + 0.5) / w, (r + 0.5) / h};
            if (boxInside || crossing || pointInTriangle(centre, tri[0], tri[1], tri[2], 0.0))
                grid[size_t(r) * w + c] = occupancy ? OccupancyCovered : 1;
        }
    return grid;
}

} // namespace

TEST(TriangleCoverage, DrawingMatchesTheRuleCellByCell)
{
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const auto snapped = [&](double v, int n) {
        // Corners on grid lines and cell centres, as layouts often have them.
        const int mode = int(rng() % 4);
        if (mode == 0)
            return std::round(v * n) / n;
        if (mode == 1)
            return (std::floor(v * n) + 0.5) / n;
        return v;
    };
    for (int trial = 0; trial < 4000; ++trial) {
        // Every 25th trial on larger grids, where most covered cells lie inside the triangle.
        const bool large = trial % 25 == 0;
        const int n = large ? 100 + int(rng() % 157) : 4 + int(rng() % 40);
        const int w = large ? 60 + int(rng() % 140) : 3 + int(rng() % 30);
        const int h = large ? 60 + int(rng() % 140) : 3 + int(rng() % 30);
        Point2D tri[3];
        // Every fifth trial a small triangle, every fifth one of about a
        // label cell and a half anywhere on the grid (as a chart's many
        // triangles are at the packing scale).
        const bool cellSized = trial % 5 == 1;
        const double scale = trial % 5 == 0 ? 0.05 : cellSized ? 1.5 / std::min(w, h) : 1.2;
        const Point2D base = cellSized ? Point2D{unit(rng), unit(rng)} : Point2D{-0.1, -0.1};
        for (Point2D& p : tri)
            p = {snapped(base.x + scale * unit(rng), n), snapped(base.y + scale * unit(rng), n)};
        if (trial % 7 == 0)
            tri[1].y = tri[0].y; // an axis-parallel edge
        if (trial % 11 == 0)
            tri[2].x = tri[1].x + (trial % 22 == 0 ? 0.0 : 1e-13); // vertical or nearly
        if (trial % 13 == 0)
            tri[2] = tri[1]; // degenerate
        if (trial % 17 == 0) // a sliver
            tri[2] = {tri[1].x + (tri[0].y - tri[1].y) * 1e-9, tri[1].y + (tri[1].x - tri[0].x) * 1e-9};
        if (trial % 29 == 0) { // wholly left of the grid, a vertical edge a hair from its first column
            tri[0] = {-1e-12, 0.2};
            tri[1] = {-1e-12, 0.6};
            tri[2] = {-0.5 / w, 0.4};
        }
        if (trial % 19 == 0) // a needle reaching far out
            tri[2] = {tri[0].x + 30.0 * (tri[1].x - tri[0].x), tri[0].y + 30.0 * (tri[1].y - tri[0].y) + 1e-7};
        std::vector<uint8_t> occupancy(size_t(n) * n, OccupancyEmpty);
        drawOccupancyTriangle(occupancy, n, tri[0], tri[1], tri[2]);
        ASSERT_EQ(std::vector<uint32_t>(occupancy.begin(), occupancy.end()), referenceCells(n, n, tri, true))
            << "trial " << trial;
        std::vector<uint32_t> labels(size_t(w) * h, EmptyLabel);
        LabelStroke stroke;
        drawLabelTriangle(labels.data(), w, h, tri[0], tri[1], tri[2], 1, stroke);
        const std::vector<uint32_t> expected = referenceCells(w, h, tri, false);
        ASSERT_EQ(labels, expected) << "trial " << trial;
        // The stroke counts the labelled cells and spans their extremes.
        LabelStroke box;
        for (int r = 0; r < h; ++r)
            for (int c = 0; c < w; ++c)
                if (expected[size_t(r) * w + c] == 1) {
                    ++box.filled;
                    box.minCol = std::min(box.minCol, c);
                    box.maxCol = std::max(box.maxCol, c);
                    box.minRow = std::min(box.minRow, r);
                    box.maxRow = std::max(box.maxRow, r);
                }
        ASSERT_EQ(std::vector<int64_t>({stroke.filled, stroke.minCol, stroke.maxCol, stroke.minRow, stroke.maxRow}),
                  std::vector<int64_t>({box.filled, box.minCol, box.maxCol, box.minRow, box.maxRow}))
            << "trial " << trial;
        // Drawn over cells that hold the label already (most of its own
        // cells and some around them, as in a chart of many triangles), the
        // triangle adds exactly its cells that were not labelled yet.
        std::vector<uint32_t> over(size_t(w) * h, EmptyLabel);
        for (size_t k = 0; k < over.size(); ++k)
            if (rng() % 8 < (expected[k] == 1 ? 7u : 2u))
                over[k] = 1;
        std::vector<uint32_t> united = over;
        LabelStroke added;
        for (int r = 0; r < h; ++r)
            for (int c = 0; c < w; ++c)
                if (expected[size_t(r) * w + c] == 1 && over[size_t(r) * w + c] != 1) {
                    united[size_t(r) * w + c] = 1;
                    ++added.filled;
                    added.minCol = std::min(added.minCol, c);
                    added.maxCol = std::max(added.maxCol, c);
                    added.minRow = std::min(added.minRow, r);
                    added.maxRow = std::max(added.maxRow, r);
                }
        LabelStroke overStroke;
        drawLabelTriangle(over.data(), w, h, tri[0], tri[1], tri[2], 1, overStroke);
        ASSERT_EQ(over, united) << "trial " << trial;
        ASSERT_EQ(std::vector<int64_t>({overStroke.filled, overStroke.minCol, overStroke.maxCol, overStroke.minRow,
                                        overStroke.maxRow}),
                  std::vector<int64_t>({added.filled, added.minCol, added.maxCol, added.minRow, added.maxRow}))
            << "trial " << trial;
    }
}

// Small triangles reaching up to, barely across or barely short of the edge
// between two cells, or touching the edges of their row: where a triangle
// astride two cells takes both without tests, and where it must not.
TEST(TriangleCoverage, SmallTrianglesAtACellEdgeMatchTheRule)
{
    const double offsets[] = {-0.05, -0.012, -1e-6, -1e-9, -1e-12, 0.0, 1e-12, 1e-9, 1e-6, 0.012, 0.05};
    for (const int n : {8, 10}) {
        const double cell = 1.0 / n, edge = 3.0 / n, row = 4.0 / n;
        for (const bool upright : {false, true})
            for (const double reach : offsets)
                for (const double touch : offsets) {
                    // Across the edge x = edge by `reach` cells; the lowest corner `touch` cells above the
                    // row's bottom when touch > 0, the highest -touch cells below its top when touch < 0.
                    Point2D tri[3] = {{edge - 0.3 * cell, row + (touch > 0.0 ? touch : 0.1) * cell},
                                      {edge + reach * cell, row + 0.5 * cell},
                                      {edge - 0.2 * cell, row + (touch < 0.0 ? 1.0 + touch : 0.9) * cell}};
                    if (upright)
                        for (Point2D& p : tri)
                            std::swap(p.x, p.y);
                    std::vector<uint32_t> labels(size_t(n) * n, EmptyLabel);
                    LabelStroke stroke;
                    drawLabelTriangle(labels.data(), n, n, tri[0], tri[1], tri[2], 1, stroke);
                    ASSERT_EQ(labels, referenceCells(n, n, tri, false))
                        << "n " << n << " upright " << upright << " reach " << reach << " touch " << touch;
                }
    }
}

// Small triangles with corners in three of the four cells that meet at a
// grid corner, the edge between two of them passing just inside, through or
// just beyond that corner; and small triangles just short of, on or just
// across the edge between two columns. Where the drawing rules a cell out
// without tests, and where it must test it, in each quadrant and both ways
// round.
TEST(TriangleCoverage, SmallTrianglesAtACellCornerMatchTheRule)
{
    const double offsets[] = {-0.2, -0.01, -1e-6, -1e-9, -1e-12, 0.0, 1e-12, 1e-9, 1e-6, 0.01, 0.2};
    for (const int n : {8, 10}) {
        const double cell = 1.0 / n, x = 3.0 / n, y = 4.0 / n;
        for (const double pass : offsets)
            for (int shape = 0; shape < 2; ++shape)
                for (int quadrant = 0; quadrant < 4; ++quadrant)
                    for (const bool upright : {false, true}) {
                        Point2D tri[3];
                        if (shape == 0) {
                            // The edge from the second corner to the third
                            // passes `pass` cells beyond the corner (x, y).
                            tri[0] = {x - 0.4 * cell, y - 0.35 * cell};
                            tri[1] = {x + (0.3 + pass) * cell, y - 0.3 * cell};
                            tri[2] = {x - 0.3 * cell, y + (0.3 + pass) * cell};
                        } else {
                            // Left of the column edge x by -pass cells (across it when pass > 0).
                            tri[0] = {x - 0.45 * cell, y - 0.3 * cell};
                            tri[1] = {x + pass * cell, y - 0.1 * cell};
                            tri[2] = {x - 0.35 * cell, y + 0.4 * cell};
                        }
                        for (Point2D& p : tri) {
                            if (quadrant & 1)
                                p.x = 2.0 * x - p.x;
                            if (quadrant & 2)
                                p.y = 2.0 * y - p.y;
                            if (upright)
                                std::swap(p.x, p.y);
                        }
                        std::vector<uint32_t> labels(size_t(n) * n, EmptyLabel);
                        LabelStroke stroke;
                        drawLabelTriangle(labels.data(), n, n, tri[0], tri[1], tri[2], 1, stroke);
                        ASSERT_EQ(labels, referenceCells(n, n, tri, false))
                            << "n " << n << " shape " << shape << " pass " << pass << " quadrant " << quadrant
                            << " upright " << upright;
                    }
    }
}

namespace {

Chart lShape() { return meshgen::toModel(meshgen::flatGrid(4, 4, meshgen::Outline::LShape)).charts[0]; }

// The empty-space search written out plainly: run table row by row, seeds column by column, one row at a time.
std::vector<EmptySpace> referenceSpaces(const ChartList& charts, int32_t n, double minSide)
{
    UVBox box;
    for (const Chart& chart : charts)
        box.include(chartUVBounds(chart));
    std::vector<uint8_t> grid(size_t(n) * n, OccupancyEmpty);
    for (const Chart& chart : charts)
        for (size_t t = 0; t + 2 < chart.triIndicesUV.size(); t += 3) {
            Point2D p[3];
            for (int i = 0; i < 3; ++i) {
                const size_t k = chart.triIndicesUV[t + i];
                p[i] = {(chart.uvCoords2D[2 * k] - box.minU) / box.width(),
                        (chart.uvCoords2D[2 * k + 1] - box.minV) / box.height()};
            }
            drawOccupancyTriangle(grid, n, p[0], p[1], p[2]);
        }
    const auto at = [&](int32_t c, int32_t r) { return grid[size_t(r) * n + c]; };
    std::vector<uint64_t> run(size_t(n) * n);
    for (int32_t r = 0; r < n; ++r) {
        uint64_t counter = 0;
        for (int32_t c = n - 1; c >= 0; --c) {
            run[size_t(r) * n + c] = counter;
            counter = at(c, r) == OccupancyCovered ? 0 : counter + 1;
        }
    }
    const double du = box.width() / n, dv = box.height() / n;
    std::vector<EmptySpace> found;
    for (int32_t c = 0; c < n; ++c)
        for (int32_t r = 0; r < n; ++r) {
            const uint8_t cell = at(c, r);
            if (cell == OccupancyCovered)
                continue;
            bool seed = c == 0 || c == n - 1 || r == 0 || r == n - 1;
            if (!seed) {
                const uint8_t L = at(c - 1, r), R = at(c + 1, r), D = at(c, r + 1), U = at(c, r - 1);
                seed = (L == D && L != cell) || (L == U && L != cell) || (R == D && R != cell) ||
                       (R == U && R != cell);
            }
            if (!seed)
                continue;
            const uint64_t k = run[size_t(r) * n + c];
            int32_t down = 0, up = 0;
            while (r + down + 1 < n && at(c, r + down + 1) == OccupancyEmpty && run[size_t(r + down + 1) * n + c] >= k)
                ++down;
            while (r - up - 1 >= 0 && at(c, r - up - 1) == OccupancyEmpty && run[size_t(r - up - 1) * n + c] >= k)
                ++up;
            const EmptySpace s{box.minU + c * du, box.minV + (r - up) * dv, box.minU + (c + 1 + double(k)) * du,
                               box.minV + (r + 1 + down) * dv};
            if (std::min(s.width(), s.height()) > minSide)
                found.push_back(s);
        }
    return selectEmptySpaces(found, 8);
}

} // namespace

TEST(FindEmptySpaces, MatchesTheSearchWrittenOutPlainly)
{
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int trial = 0; trial < 24; ++trial) {
        // Scattered triangles and rectangles: many seeds, bays and holes.
        ChartList charts;
        const int pieces = 1 + int(rng() % 12);
        for (int i = 0; i < pieces; ++i) {
            const double x = unit(rng), y = unit(rng);
            if (rng() % 2 == 0) {
                charts.push_back(packtest::gridChart(1 + int(rng() % 3), 1 + int(rng() % 3), x, y,
                                                     0.05 + 0.4 * unit(rng), 0.05 + 0.4 * unit(rng)));
            } else {
                const double x2 = x + 0.3 * unit(rng), y3 = y + 0.3 * unit(rng);
                charts.push_back(testsupport::makeChart({0, 1, 2}, {0, 1, 2}, {x, y, x2, y + 0.01, x, y3}));
            }
        }
        const int32_t n = trial % 6 == 0 ? 1024 : 64 + int(rng() % 200);
        const double minSide = trial % 3 == 0 ? 0.0 : 0.01;
        std::vector<EmptySpace> spaces;
        findEmptySpaces(charts, spaces, minSide, n / 1024.0, nullptr);
        const std::vector<EmptySpace> expected = referenceSpaces(charts, n, minSide);
        ASSERT_EQ(spaces.size(), expected.size()) << "trial " << trial;
        for (size_t i = 0; i < spaces.size(); ++i)
            EXPECT_TRUE(spaces[i].minU == expected[i].minU && spaces[i].minV == expected[i].minV &&
                        spaces[i].maxU == expected[i].maxU && spaces[i].maxV == expected[i].maxV)
                << "trial " << trial << " space " << i;
    }
    // The L shape's missing quadrant, less the cells its edges touch.
    std::vector<EmptySpace> spaces;
    UVBox box;
    findEmptySpaces({lShape()}, spaces, 0.01, 1.0, &box);
    ASSERT_FALSE(spaces.empty());
    EXPECT_EQ(std::make_pair(box.minU, box.maxV), std::make_pair(0.0, 1.0));
    EXPECT_NEAR(spaces[0].minU, 0.5, 2 / 1024.0);
    EXPECT_EQ(std::make_pair(spaces[0].maxU, spaces[0].maxV), std::make_pair(1.0, 1.0));
    // Results are appended, never beyond eight.
    spaces.assign(9, EmptySpace{0, 0, 1, 1});
    findEmptySpaces({lShape()}, spaces, 0.0, 1.0, nullptr);
    EXPECT_EQ(spaces.size(), 8u);
}

TEST(SelectEmptySpaces, LargestFirstPruningAboveOneTenthOfAKeptBox)
{
    const EmptySpace r{0, 0, 10, 1}, big{0, 0, 4, 4}, middle{2.5, 2.5, 4.5, 4.5}, small{3.8, 3.8, 4.8, 4.8};
    struct Case { std::vector<EmptySpace> in; std::vector<double> keptMinU; };
    const std::vector<Case> cases = {
        {{EmptySpace{9, 0, 11, 1}, r}, {0, 9}},  // shares exactly a tenth: kept
        {{r, EmptySpace{8.9, 0, 10.9, 1}}, {0}}, // more than a tenth: pruned
        {{small, middle, big}, {0, 3.8}},        // a pruned box prunes nothing
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        std::vector<double> got;
        for (const EmptySpace& s : selectEmptySpaces(cases[i].in, 8))
            got.push_back(s.minU);
        EXPECT_EQ(got, cases[i].keptMinU) << i;
    }
}

TEST(FindEmptySpaces, NonFiniteInputOrResolutionGivesNoSpaces)
{
    Chart infinite = packtest::gridChart(1, 1, 0, 0, 1, 1);
    infinite.uvCoords2D[0] = std::numeric_limits<double>::infinity();
    for (const auto& [charts, resolution] : std::vector<std::pair<ChartList, double>>{
             {{infinite}, 1.0}, {{}, 1.0}, {{lShape()}, std::numeric_limits<double>::quiet_NaN()}, {{lShape()}, -1.0}}) {
        std::vector<EmptySpace> spaces;
        findEmptySpaces(charts, spaces, 0.01, resolution, nullptr);
        EXPECT_TRUE(spaces.empty());
    }
}

TEST(AtlasPackingEfficiency, CoveredCellsOverTheLayoutExtent)
{
    // Two unit squares meeting at a corner cover half their box; a layout without extent covers nothing.
    const double half = atlasPackingEfficiency({packtest::gridChart(1, 1, 0, 0, 1, 1), packtest::gridChart(1, 1, 1, 1, 1, 1)});
    EXPECT_TRUE(half >= 49.9 && half <= 50.2) << half;
    EXPECT_EQ(atlasPackingEfficiency({packtest::gridChart(1, 1, 1, 1, 0, 0)}), 0.0);
    EXPECT_EQ(atlasPackingEfficiency({}), 0.0);
}
