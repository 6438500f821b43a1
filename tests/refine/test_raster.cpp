#include "refine/raster.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

const double NaN = std::numeric_limits<double>::quiet_NaN();

Chart triangleChart(double ax, double ay, double bx, double by, double cx, double cy)
{
    Chart c;
    c.triIndicesPos = {0, 1, 2};
    c.triIndicesUV = {0, 1, 2};
    c.uvCoords2D = {ax, ay, bx, by, cx, cy};
    return c;
}

size_t countLabel(const std::vector<uint32_t>& grid, uint32_t label)
{
    return static_cast<size_t>(std::count(grid.begin(), grid.end(), label));
}

} // namespace

TEST(PointInTriangle, WeightsAboveMinusTolerance)
{
    const Point2D a{0, 0}, b{1, 0}, c{0, 1};
    EXPECT_TRUE(pointInTriangle({0.25, 0.25}, a, b, c, 0.0));
    EXPECT_TRUE(pointInTriangle({0.25, 0.25}, c, b, a, 0.0)); // orientation does not matter
    EXPECT_FALSE(pointInTriangle({0.5, 0.0}, a, b, c, 0.0));  // on an edge: outside
    EXPECT_FALSE(pointInTriangle({0.0, 0.0}, a, b, c, 0.0));  // on a corner: outside
    EXPECT_TRUE(pointInTriangle({0.5, -0.05}, a, b, c, 0.1)); // within the tolerance
    EXPECT_FALSE(pointInTriangle({0.6, 0.6}, a, b, c, 0.0));
}

TEST(PointInTriangle, DegenerateOrNonFiniteContainsNothing)
{
    EXPECT_FALSE(pointInTriangle({0.5, 0.5}, {0, 0}, {1, 1}, {2, 2}, 0.5));
    EXPECT_FALSE(pointInTriangle({0, 0}, {0, 0}, {0, 0}, {0, 0}, 1.0));
    EXPECT_FALSE(pointInTriangle({NaN, 0}, {0, 0}, {1, 0}, {0, 1}, 0.0));
    EXPECT_FALSE(pointInTriangle({0.1, 0.1}, {0, 0}, {NaN, 0}, {0, 1}, 0.0));
}

TEST(SegmentsCross, ParameterRangesIncludeStartExcludeEnd)
{
    EXPECT_TRUE(segmentsCross({0, 0}, {2, 2}, {0, 2}, {2, 0}, 0.0));
    // Meeting at the start of both segments counts with tolerance 0 ...
    EXPECT_TRUE(segmentsCross({0, 0}, {1, 0}, {0, 0}, {0, 1}, 0.0));
    // ... meeting at the end of one does not.
    EXPECT_FALSE(segmentsCross({0, 0}, {1, 0}, {1, 0}, {1, 1}, 0.0));
    EXPECT_FALSE(segmentsCross({0, 0}, {1, 0}, {0.5, 1}, {0.5, 0}, 0.0));
    // The tolerance keeps touching near the ends from counting.
    EXPECT_TRUE(segmentsCross({0, 0}, {1, 0}, {0.5, -1}, {0.5, 1}, 0.001));
    EXPECT_FALSE(segmentsCross({0, 0}, {1, 0}, {0.0005, -1}, {0.0005, 1}, 0.001));
    EXPECT_FALSE(segmentsCross({0, 0}, {1, 0}, {0.5, 0.2}, {0.5, 1}, 0.0));
}

TEST(SegmentsCross, ParallelSegmentsCountOnlyWhenCollinearAndOverlapping)
{
    EXPECT_TRUE(segmentsCross({0, 0}, {4, 0}, {1, 0}, {6, 0}, 0.0));  // c inside a->b
    EXPECT_TRUE(segmentsCross({0, 0}, {4, 0}, {-2, 0}, {3, 0}, 0.0)); // d inside a->b
    EXPECT_FALSE(segmentsCross({0, 0}, {4, 0}, {5, 0}, {6, 0}, 0.0)); // disjoint
    EXPECT_FALSE(segmentsCross({0, 0}, {4, 0}, {1, 1}, {3, 1}, 0.0)); // parallel, off the line
    // c only nearly on the line (cosine above 0.9999) still counts.
    EXPECT_TRUE(segmentsCross({0, 0}, {100, 0}, {50, 0.1}, {60, 0.1}, 0.0));
    // Degenerate segments and c on a have no direction: never a crossing.
    EXPECT_FALSE(segmentsCross({0, 0}, {0, 0}, {0, 0}, {1, 0}, 0.0));
    EXPECT_FALSE(segmentsCross({0, 0}, {4, 0}, {0, 0}, {2, 0}, 0.0));
}

TEST(TriangleCoverage, TriangleInsideOneCellLabelsItButIsNoOccupancy)
{
    // A tiny triangle inside cell (1, 1) of a 4 x 4 grid, away from the centre.
    const Point2D a{0.26, 0.26}, b{0.30, 0.26}, c{0.26, 0.30};
    std::vector<uint8_t> occupancy(16, OccupancyEmpty);
    drawOccupancyTriangle(occupancy, 4, a, b, c);
    EXPECT_EQ(std::count(occupancy.begin(), occupancy.end(), OccupancyCovered), 0);

    std::vector<uint32_t> labels(16, EmptyLabel);
    LabelStroke stroke;
    drawLabelTriangle(labels.data(), 4, 4, a, b, c, 7, stroke);
    EXPECT_EQ(labels[1 * 4 + 1], 7u);
    EXPECT_EQ(countLabel(labels, 7), 1u);
    EXPECT_EQ(stroke.filled, 1u);
    EXPECT_EQ(stroke.minCol, 1);
    EXPECT_EQ(stroke.maxRow, 1);
}

TEST(TriangleCoverage, CentreOrCrossingCoversACell)
{
    // A triangle covering the lower left half of a 4 x 4 grid's unit square.
    std::vector<uint8_t> occupancy(16, OccupancyEmpty);
    drawOccupancyTriangle(occupancy, 4, {0, 0}, {1, 0}, {0, 1});
    std::vector<uint32_t> labels(16, EmptyLabel);
    LabelStroke stroke;
    drawLabelTriangle(labels.data(), 4, 4, {0, 0}, {1, 0}, {0, 1}, 3, stroke);
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            // The hypotenuse x + y = 1 runs along the diagonals of the cells
            // with c + r = 3. In the label grid a crossing at the start of a
            // cell edge counts, so cells whose lower left corner lies on the
            // hypotenuse (c + r = 4) are labelled as well.
            EXPECT_EQ(labels[r * 4 + c] == 3u, c + r <= 4) << c << "," << r;
            // The occupancy grid's tolerance ignores touching: a cell that the
            // hypotenuse halves (centre on the edge, crossings at its corners)
            // stays empty, except where a triangle edge runs along a cell edge.
            const bool covered = c + r <= 2 || (r == 0 && c == 3) || (c == 0 && r == 3);
            EXPECT_EQ(occupancy[r * 4 + c] == OccupancyCovered, covered) << c << "," << r;
        }
    }
}

TEST(TriangleCoverage, NonFiniteOrOutsideTrianglesDrawNothing)
{
    std::vector<uint8_t> occupancy(16, OccupancyEmpty);
    drawOccupancyTriangle(occupancy, 4, {NaN, 0}, {1, 0}, {0, 1});
    drawOccupancyTriangle(occupancy, 4, {2, 2}, {3, 2}, {2, 3});
    drawOccupancyTriangle(occupancy, 4, {-3, -3}, {-2, -3}, {-3, -2});
    EXPECT_EQ(std::count(occupancy.begin(), occupancy.end(), OccupancyCovered), 0);
    std::vector<uint8_t> tooSmall(3, OccupancyEmpty);
    drawOccupancyTriangle(tooSmall, 4, {0, 0}, {1, 0}, {0, 1});
    EXPECT_EQ(std::count(tooSmall.begin(), tooSmall.end(), OccupancyCovered), 0);

    std::vector<uint32_t> labels(16, EmptyLabel);
    LabelStroke stroke;
    const double inf = std::numeric_limits<double>::infinity();
    drawLabelTriangle(labels.data(), 4, 4, {inf, 0}, {1, 0}, {0, 1}, 1, stroke);
    drawLabelTriangle(labels.data(), 4, 4, {1e300, 1e300}, {2e300, 1e300}, {1e300, 2e300}, 1, stroke);
    EXPECT_EQ(countLabel(labels, 1), 0u);
    EXPECT_TRUE(stroke.empty());
}

TEST(RasterizeChart, CountsRectangleAndBoundary)
{
    // The lower right half of the unit square on an 8 x 8 grid.
    const Chart half = triangleChart(0, 0, 1, 0, 1, 1);
    std::vector<uint32_t> grid(8 * 8, EmptyLabel);
    uint32_t filled = 0;
    CellRect rect;
    CellList boundary;
    rasterizeChart(half, UVBox(0, 0, 1, 1), grid, 8, 8, 5, EmptyLabel, filled, rect, &boundary,
                   false, 0);
    EXPECT_EQ(filled, countLabel(grid, 5));
    EXPECT_EQ(rect.x, 0);
    EXPECT_EQ(rect.y, 0);
    EXPECT_EQ(rect.w, 8);
    EXPECT_EQ(rect.h, 8);
    // Boundary cells hold the label and lie on the rectangle's border or next
    // to another value; they come column by column.
    ASSERT_FALSE(boundary.empty());
    for (size_t i = 0; i < boundary.size(); ++i) {
        const CellPos& p = boundary[i];
        EXPECT_EQ(grid[p.second * 8 + p.first], 5u);
        if (i > 0) {
            EXPECT_LT(boundary[i - 1], p);
        }
    }
    // The interior of the lower right triangle is not boundary.
    EXPECT_EQ(std::count(boundary.begin(), boundary.end(), CellPos(5, 2)), 0);
    EXPECT_EQ(std::count(boundary.begin(), boundary.end(), CellPos(7, 0)), 1);

    // Drawing it again over itself finds no new cell.
    rasterizeChart(half, UVBox(0, 0, 1, 1), grid, 8, 8, 5, EmptyLabel, filled, rect, nullptr,
                   false, 0);
    EXPECT_EQ(filled, 0u);
    // Drawing another label over it counts every cell it takes.
    rasterizeChart(half, UVBox(0, 0, 1, 1), grid, 8, 8, 6, EmptyLabel, filled, rect, nullptr,
                   false, 0);
    EXPECT_EQ(filled, countLabel(grid, 6));
}

TEST(RasterizeChart, KeepOnlyBoundaryEmptiesTheInterior)
{
    Chart square = triangleChart(0.1, 0.1, 0.9, 0.1, 0.9, 0.9);
    square.triIndicesUV.append(iuv::UIntVector{0, 2, 3});
    square.triIndicesPos = square.triIndicesUV;
    square.uvCoords2D.append(iuv::DoubleVector{0.1, 0.9});
    std::vector<uint32_t> grid(20 * 20, EmptyLabel);
    uint32_t filled = 0;
    CellRect rect;
    CellList boundary;
    rasterizeChart(square, UVBox(0, 0, 1, 1), grid, 20, 20, 2, EmptyLabel, filled, rect, &boundary,
                   true, 0);
    EXPECT_GT(filled, boundary.size());
    EXPECT_EQ(countLabel(grid, 2), boundary.size());
    EXPECT_EQ(grid[10 * 20 + 10], EmptyLabel);
    EXPECT_EQ(rect.x, 2);
    EXPECT_EQ(rect.w, 18 - 2 + 1); // columns 2 .. 18: the edge at 0.9 = 18 / 20 runs along column 18
}

TEST(RasterizeChart, GapShiftsAndDilates)
{
    const Chart dot = triangleChart(0.0, 0.0, 0.01, 0.0, 0.0, 0.01);
    std::vector<uint32_t> grid(10 * 10, EmptyLabel);
    uint32_t filled = 0;
    CellRect rect;
    rasterizeChart(dot, UVBox(0, 0, 1, 1), grid, 10, 10, 1, EmptyLabel, filled, rect, nullptr,
                   false, 1);
    // Shifted by one cell to (1, 1), dilated once: the 3 x 3 block around it.
    EXPECT_EQ(filled, 9u);
    EXPECT_EQ(countLabel(grid, 1), 9u);
    EXPECT_EQ(grid[1 * 10 + 1], 1u);
    EXPECT_EQ(rect.x, 0);
    EXPECT_EQ(rect.w, 3);
}

TEST(RasterizeChart, BadInputLeavesTheGridAlone)
{
    std::vector<uint32_t> grid(16, EmptyLabel);
    uint32_t filled = 99;
    CellRect rect;
    rect.w = 5;
    CellList boundary{{1, 1}};

    // No triangles.
    rasterizeChart(Chart(), UVBox(0, 0, 1, 1), grid, 4, 4, 1, EmptyLabel, filled, rect, &boundary,
                   true, 0);
    EXPECT_EQ(filled, 0u);
    EXPECT_EQ(rect.w, 0);
    EXPECT_TRUE(boundary.empty());

    // NaN coordinates, an index beyond the UV list, a grid that is too
    // small, a frame without extent, a huge gap.
    const Chart nanChart = triangleChart(NaN, 0, 1, 0, 0, 1);
    rasterizeChart(nanChart, UVBox(0, 0, 1, 1), grid, 4, 4, 1, EmptyLabel, filled, rect, &boundary,
                   true, 0);
    Chart badIndex = triangleChart(0, 0, 1, 0, 0, 1);
    badIndex.triIndicesUV[2] = 17;
    rasterizeChart(badIndex, UVBox(0, 0, 1, 1), grid, 4, 4, 1, EmptyLabel, filled, rect, &boundary,
                   true, 0);
    const Chart fine = triangleChart(0, 0, 1, 0, 0, 1);
    rasterizeChart(fine, UVBox(0, 0, 1, 1), grid, 5, 5, 1, EmptyLabel, filled, rect, &boundary,
                   true, 0);
    rasterizeChart(fine, UVBox(0, 0, 0, 0), grid, 4, 4, 1, EmptyLabel, filled, rect, &boundary,
                   true, 0);
    EXPECT_EQ(countLabel(grid, 1), 0u);
    // A gap larger than the grid shifts the chart off it.
    rasterizeChart(fine, UVBox(0, 0, 1, 1), grid, 4, 4, 1, EmptyLabel, filled, rect, &boundary,
                   false, 2147483647);
    EXPECT_EQ(countLabel(grid, 1), 0u);
    EXPECT_EQ(filled, 0u);
}
