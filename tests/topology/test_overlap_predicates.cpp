#include "geometry/predicates.h"
#include "support/test_support.h"
#include "topology/overlap.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <boost/geometry.hpp>
#pragma GCC diagnostic pop
#include <gtest/gtest.h>

#include <limits>
#include <random>

using testsupport::makeChart;

namespace {

const double NaN = std::numeric_limits<double>::quiet_NaN();
namespace bg = boost::geometry;
using BPoint = bg::model::d2::point_xy<double>;
using BPolygon = bg::model::polygon<BPoint, false>;

BPolygon triangle(const Chart& c, size_t t)
{
    BPolygon p;
    for (int k : {0, 1, 2, 0}) {
        const uint32_t v = c.triIndicesUV[3 * t + k];
        bg::append(p.outer(), BPoint(c.uvCoords2D[2 * v], c.uvCoords2D[2 * v + 1]));
    }
    bg::correct(p);
    return p;
}

} // namespace

TEST(OverlapPredicates, PointsAndSegmentsNearTheMargins)
{
    const UVPoint a{0, 0}, b{1, 0}, c{0, 1};
    const std::vector<std::tuple<UVPoint, UVPoint, UVPoint, UVPoint, bool>> points = {
        {{0.25, 0.25}, a, b, c, true},   {{0.5, 0.0}, a, b, c, false},    {{0.5, 0.0005}, a, b, c, false},
        {{0.5, 0.0015}, a, b, c, true},  {{0, 0}, a, b, c, false},        {{2, 2}, a, b, c, false},
        {{0.25, 0.25}, a, c, b, true},   {{0.5, 0}, a, b, {2, 0}, false}, {{NaN, 0.2}, a, b, c, false},
    };
    for (size_t i = 0; i < points.size(); ++i) {
        const auto& [p, u, v, w, inside] = points[i];
        EXPECT_EQ(pointStrictlyInTriangle(p, u, v, w), inside) << i;
    }
    struct Seg { UVPoint p1, p2, q1, q2; double tol; bool hit; };
    const std::vector<Seg> segments = {
        {{0, 0}, {1, 1}, {0, 1}, {1, 0}, 0.001, true},
        {{0, 0}, {1, 0}, {0.0005, -1}, {0.0005, 1}, 0.001, false}, // within the tolerance of p's start
        {{0, 0}, {1, 0}, {0.0005, -1}, {0.0005, 1}, 0.0, true},
        {{0, 0}, {1, 0}, {0.9995, -1}, {0.9995, 1}, 0.001, false},
        {{0, 0}, {1, 0}, {0, -1}, {0, 1}, 0.0, true},               // touching at the start counts
        {{0, 0}, {1, 0}, {1, -1}, {1, 1}, 0.0, false},              // at the end it does not
        {{0, 0}, {1, 0}, {2, -1}, {2, 1}, 0.0, false},
        {{0, 0}, {1, 0}, {0, 1}, {1, 1}, 0.0, false},               // parallel
        {{0, 0}, {2, 0}, {1, 0}, {3, 0}, 0.0, true},                // collinear overlapping
        {{0, 0}, {2, 0}, {-1, 0}, {1, 0}, 0.0, true},
        {{0, 0}, {2, 0}, {0, 0}, {1, 0}, 0.0, true},
        {{0, 0}, {1, 0}, {2, 0}, {3, 0}, 0.0, false},
        {{0, 0}, {1, 0}, {1, 0}, {2, 0}, 0.0, false},
        {{0, 0}, {0, 0}, {0, 0}, {0, 0}, 0.0, false},
        {{0, 0}, {1, 1}, {NaN, 1}, {1, 0}, 0.0, false},
    };
    for (size_t i = 0; i < segments.size(); ++i) {
        const Seg& s = segments[i];
        EXPECT_EQ(segmentsIntersect(s.p1, s.p2, s.q1, s.q2, s.tol), s.hit) << i;
    }
}

TEST(OverlapPredicates, TrianglePairsAndWholeCharts)
{
    const std::vector<uint32_t> six = {0, 1, 2, 3, 4, 5};
    // -1: not asserted (the chart check looks at outlines only).
    struct Case { const char* name; Chart chart; int pairOverlaps; int chartOverlaps; };
    const std::vector<Case> cases = {
        {"shared edge, opposite sides", makeChart({0, 1, 2, 1, 0, 3}, {}, {0, 0, 1, 0, 0, 1, 0.5, -1}), 0, 0},
        {"folded over the shared edge", makeChart({0, 1, 2, 1, 0, 3}, {}, {0, 0, 1, 0, 0, 1, 0.3, 0.3}), 1, -1},
        {"free edges crossing", makeChart({0, 1, 2, 1, 0, 3}, {}, {0, 0, 1, 0, 0, 1, 0.8, 0.8}), -1, 1},
        {"same vertices reversed", makeChart({0, 1, 2, 2, 1, 0}, {}, {0, 0, 1, 0, 0, 1}), 1, -1},
        {"flipped neighbour", makeChart({0, 1, 2, 0, 1, 3}, {}, {0, 0, 1, 0, 0, 1, 0.5, -1}), 0, 0},
        {"vertex on an edge", makeChart(six, {}, {0, 0, 1, 0, 0, 1, 0.5, 0.5, 1, 1, 0.9, 1.2}), 0, -1},
        {"vertex within the margin", makeChart(six, {}, {0, 0, 1, 0, 0, 1, 0.4999, 0.4999, 1, 1, 0.9, 1.2}), 0, -1},
        {"vertex inside", makeChart(six, {}, {0, 0, 1, 0, 0, 1, 0.3, 0.3, 1, 1, 0.9, 1.2}), 1, -1},
        {"shared vertex only", makeChart({0, 1, 2, 0, 3, 4}, {}, {0, 0, 1, 0, 0, 1, -1, 0, -1, -1}), 0, 0},
        {"star", makeChart(six, {}, {0, 0, 2, 0, 1, 1.7, 0, 1.1, 1, -0.6, 2, 1.1}), 1, -1},
        {"collinear edges overlapping", makeChart(six, {}, {0, 0, 2, 0, 0, 1, 1, 0, 3, 0, 3, -1}), -1, 1},
        {"collinear edges apart", makeChart(six, {}, {0, 0, 2, 0, 0, 1, 3, 0, 5, 0, 5, -1}), -1, 0},
    };
    for (const Case& c : cases) {
        if (c.pairOverlaps >= 0) {
            EXPECT_EQ(trianglesOverlapUV(c.chart, 0, 1), c.pairOverlaps == 1) << c.name;
            EXPECT_EQ(trianglesOverlapUV(c.chart, 1, 0), c.pairOverlaps == 1) << c.name;
        }
        if (c.chartOverlaps >= 0) {
            EXPECT_EQ(hasUVOverlaps(c.chart), c.chartOverlaps == 1) << c.name;
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
}

TEST(OverlapPredicates, RandomTrianglePairsAgreeWithPolygonIntersection)
{
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> coord(0.0, 3.0);
    int checked = 0;
    for (int round = 0; round < 2000; ++round) {
        std::vector<double> uv(12);
        for (double& x : uv)
            x = coord(rng);
        const Chart c = makeChart({0, 1, 2, 3, 4, 5}, {}, uv);
        const BPolygon p = triangle(c, 0), q = triangle(c, 1);
        if (std::min(bg::area(p), bg::area(q)) < 0.05)
            continue;
        std::vector<BPolygon> common;
        bg::intersection(p, q, common);
        double shared = 0.0;
        for (const BPolygon& piece : common)
            shared += bg::area(piece);
        if (shared > 1e-3) {
            EXPECT_TRUE(trianglesOverlapUV(c, 0, 1)) << round;
            ++checked;
        } else if (bg::distance(p, q) > 1e-3) {
            EXPECT_FALSE(trianglesOverlapUV(c, 0, 1)) << round;
            ++checked;
        }
    }
    EXPECT_GT(checked, 1000);
}

TEST(OverlapPredicates, BadChartsAreHarmless)
{
    for (const Chart& c : {Chart(), makeChart({0, 1, 2}, {}, {0, 0, 0, 0, 0, 0}),
                           makeChart({0, 1, 2, 0, 2, 3}, {}, {0, 0, NaN, 0, 1, NaN, 0, 1}),
                           makeChart({0, 1, 9}, {}, {0, 0, 1, 0}),
                           makeChart({0, 1, 2}, {}, {-1e308, -1e308, 1e308, -1e308, 0, 1e308})})
        EXPECT_FALSE(hasUVOverlaps(c));
    EXPECT_FALSE(trianglesOverlapUV(testsupport::unitSquareChart(), 0, 7));
    EXPECT_TRUE(markOverlappingTriangles(Chart()).empty());
}
