// The overlap predicates and the chart-level overlap tests, against Boost.Geometry's areas where an area decides.
#include "geometry/predicates.h"
#include "support/test_support.h"
#include "support/uv_coverage.h"
#include "topology/layout_stats.h"
#include "topology/overlap.h"

#include <gtest/gtest.h>

#include <limits>

using testsupport::makeChart;

namespace {

const double NaN = std::numeric_limits<double>::quiet_NaN();

// Area shared by triangles a and b.
double sharedArea(const UVPoint a[3], const UVPoint b[3])
{
    std::vector<double> uv;
    for (const UVPoint* t : {a, b})
        for (int k = 0; k < 3; ++k)
            uv.insert(uv.end(), {t[k].u, t[k].v});
    return testsupport::uvCoverage(uv, {0, 1, 2, 3, 4, 5}).overlapArea;
}

} // namespace

TEST(OverlapPredicates, PointsAndSegmentsNearTheMargins)
{
    const UVPoint a{0, 0}, b{1, 0}, c{0, 1};
    // Within the margin of 0.001 of an edge a point is not inside.
    const std::vector<std::tuple<UVPoint, UVPoint, UVPoint, UVPoint, bool>> points = {
        {{0.25, 0.25}, a, c, b, true}, {{0.5, 0.0005}, a, b, c, false}, {{0.5, 0.0015}, a, b, c, true},
    };
    for (size_t i = 0; i < points.size(); ++i) {
        const auto& [p, u, v, w, inside] = points[i];
        EXPECT_EQ(pointStrictlyInTriangle(p, u, v, w), inside) << i;
    }
    // hit: segmentsIntersect with the tolerance; proper: segmentsCrossProperly (-1: not asserted).
    struct Seg { UVPoint p1, p2, q1, q2; double tol; bool hit; int proper; };
    const std::vector<Seg> segments = {
        {{0, 0}, {1, 0}, {0.0005, -1}, {0.0005, 1}, 0.001, 0, 1}, // within the tolerance of p's start
        {{0, 0}, {1, 0}, {0.0005, -1}, {0.0005, 1}, 0.0, 1, 1},
        {{0, 0}, {1, 0}, {0, -1}, {0, 1}, 0.0, 1, 0},               // touching at the start counts
        {{0, 0}, {1, 0}, {1, -1}, {1, 1}, 0.0, 0, 0},              // at the end it does not
        {{0, 0}, {2, 0}, {1, 0}, {3, 0}, 0.0, 1, 0},                // collinear overlapping
        {{0, 0}, {1, 1}, {NaN, 1}, {1, 0}, 0.0, 0, -1},
    };
    for (size_t i = 0; i < segments.size(); ++i) {
        const Seg& s = segments[i];
        EXPECT_EQ(segmentsIntersect(s.p1, s.p2, s.q1, s.q2, s.tol), s.hit) << i;
        if (s.proper >= 0) {
            EXPECT_EQ(segmentsCrossProperly(s.p1, s.p2, s.q1, s.q2), s.proper == 1) << i;
            EXPECT_EQ(segmentsCrossProperly(s.q1, s.q2, s.p1, s.p2), s.proper == 1) << i;
        }
    }
}

TEST(OverlapPredicates, TrianglePairsAndWholeCharts)
{
    const std::vector<uint32_t> six = {0, 1, 2, 3, 4, 5};
    const double f = 1e6; // far from the origin
    // pair: trianglesOverlapUV, which forgives the margin; chart: hasUVOverlaps, which looks at outlines
    // only (-1: not asserted). trianglesOverlapWithArea must agree with the intersection area throughout.
    struct Case { const char* name; std::vector<uint32_t> tri; std::vector<double> uv; int pair, chart; };
    const std::vector<Case> cases = {
        {"shared edge, opposite sides", {0, 1, 2, 1, 0, 3}, {0, 0, 1, 0, 0, 1, 0.5, -1}, 0, 0},
        {"folded over the shared edge", {0, 1, 2, 1, 0, 3}, {0, 0, 1, 0, 0, 1, 0.3, 0.3}, 1, -1},
        {"free edges crossing", {0, 1, 2, 1, 0, 3}, {0, 0, 1, 0, 0, 1, 0.8, 0.8}, -1, 1},
        {"same vertices reversed", {0, 1, 2, 2, 1, 0}, {0, 0, 1, 0, 0, 1}, 1, -1},
        {"flipped neighbour", {0, 1, 2, 0, 1, 3}, {0, 0, 1, 0, 0, 1, 0.5, -1}, 0, 0},
        {"vertex on an edge", six, {0, 0, 1, 0, 0, 1, 0.5, 0.5, 1, 1, 0.9, 1.2}, 0, -1},
        {"vertex within the margin", six, {0, 0, 1, 0, 0, 1, 0.4999, 0.4999, 1, 1, 0.9, 1.2}, 0, -1},
        {"vertex inside", six, {0, 0, 1, 0, 0, 1, 0.3, 0.3, 1, 1, 0.9, 1.2}, 1, -1},
        {"vertex on a long edge", six, {0, 0, 2, 0, 0, 2, 1, 0, 2, -1, 3, 0}, -1, -1},
        {"vertex just inside an edge", six, {0, 0, 2, 0, 0, 2, 1, 1e-4, 2, -1, 3, -1e-4}, -1, -1},
        {"shared vertex only", {0, 1, 2, 0, 3, 4}, {0, 0, 1, 0, 0, 1, -1, 0, -1, -1}, 0, 0},
        {"star", six, {0, 0, 2, 0, 1, 1.7, 0, 1.1, 1, -0.6, 2, 1.1}, 1, -1},
        {"one inside the other", six, {0, 0, 4, 0, 0, 4, 0.5, 0.5, 1, 0.5, 0.5, 1}, -1, -1},
        {"edges crossing", six, {0, 0, 2, 0, 1, 2, 0, 1, 2, 1, 1, -1}, -1, -1},
        {"collinear edges on one side", six, {0, 0, 2, 0, 1, 1, 1, 0, 3, 0, 2, 0.5}, -1, -1},
        {"collinear edges on opposite sides", six, {0, 0, 2, 0, 0, 1, 1, 0, 3, 0, 3, -1}, -1, 1},
        {"collinear edges apart", six, {0, 0, 2, 0, 0, 1, 3, 0, 5, 0, 5, -1}, -1, 0},
        {"boxes overlap, triangles apart", six, {0, 0, 1, 0, 0, 1, 1, 1, 0.6, 1, 1, 0.6}, -1, -1},
        {"far from the origin", six, {f, f, f + 1, f, f, f + 1, f + 0.2, f + 0.2, f + 2, f, f, f + 2}, -1, -1},
        {"no area", six, {0, 0, 1, 0, 2, 0, -5, -5, 5, -5, 0, 5}, -1, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Chart chart = makeChart(c.tri, {}, c.uv);
        UVPoint p[6];
        for (size_t k = 0; k < 6; ++k)
            p[k] = {c.uv[2 * c.tri[k]], c.uv[2 * c.tri[k] + 1]};
        const bool oracle = sharedArea(p, p + 3) > 1e-12;
        EXPECT_EQ(trianglesOverlapWithArea(p, p + 3), oracle);
        EXPECT_EQ(trianglesOverlapWithArea(p + 3, p), oracle);
        if (c.pair >= 0) {
            EXPECT_EQ(trianglesOverlapUV(chart, 0, 1), c.pair == 1);
            EXPECT_EQ(trianglesOverlapUV(chart, 1, 0), c.pair == 1);
        }
        if (c.chart >= 0) {
            EXPECT_EQ(hasUVOverlaps(chart), c.chart == 1);
        }
    }
    // Inner flips with a simple outline are not overlaps.
    const Chart fan = makeChart({4, 0, 1, 4, 1, 2, 4, 2, 3, 4, 3, 0}, {}, {0, 0, 1, 0, 1, 1, 0, 1, 0.5, -0.2});
    ASSERT_TRUE(hasUVFlips(fan));
    EXPECT_FALSE(hasUVOverlaps(fan));
    // Marks and pairs name the overlapping triangles only.
    const Chart marked = makeChart({0, 1, 2, 1, 0, 3, 4, 5, 6}, {}, {0, 0, 1, 0, 0, 1, 0.3, 0.3, 5, 5, 6, 5, 5, 6});
    EXPECT_EQ(markOverlappingTriangles(marked), (std::vector<bool>{true, true, false}));
    EXPECT_EQ(findOverlappingTrianglePairs(marked), (std::vector<std::pair<uint64_t, uint64_t>>{{0, 1}}));
    // Bad charts are harmless.
    for (const Chart& c : {Chart(), makeChart({0, 1, 2}, {}, {0, 0, 0, 0, 0, 0}),
                           makeChart({0, 1, 2, 0, 2, 3}, {}, {0, 0, NaN, 0, 1, NaN, 0, 1}),
                           makeChart({0, 1, 9}, {}, {0, 0, 1, 0}),
                           makeChart({0, 1, 2}, {}, {-1e308, -1e308, 1e308, -1e308, 0, 1e308})})
        EXPECT_FALSE(hasUVOverlaps(c));
    EXPECT_FALSE(trianglesOverlapUV(testsupport::unitSquareChart(), 0, 7));
    EXPECT_TRUE(markOverlappingTriangles(Chart()).empty());
}

TEST(OverlapsFound, CountsAreaAndCrossingsButNotTouchingPoints)
{
    // Two triangles whose tips meet at one point through two distinct UV vertices: the boundary touches itself.
    const Chart touching = makeChart({0, 1, 2, 3, 4, 5}, {0, 1, 2, 3, 4, 5}, {0, 0, 1, 0, 1, 1, 1, 1, 2, 1, 2, 2});
    // One triangle folded over its neighbour: no boundary crossing, but area.
    const Chart folded = makeChart({0, 1, 2, 1, 0, 3}, {0, 1, 2, 1, 0, 3}, {0, 0, 1, 0, 0, 1, 0.2, 0.3});
    struct Case { const char* name; ChartList charts; bool overlaps; };
    const Case cases[] = {{"touching point", {touching}, false}, {"fold without crossing", {folded}, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(computeStats(c.charts, iuv::DoubleVector(std::vector<double>(18, 0.0))).overlapsFound, c.overlaps);
        EXPECT_EQ(testsupport::uvCoverage(c.charts).overlapArea > 1e-12, c.overlaps);
    }
    // Welding's own test still refuses the touching point.
    EXPECT_TRUE(hasUVOverlaps(touching));
}
