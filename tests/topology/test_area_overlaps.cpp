// The positive-area overlap test and the overlap flag of the statistics,
// against Boost.Geometry's intersection areas.
#include "support/test_support.h"
#include "support/uv_coverage.h"
#include "geometry/predicates.h"
#include "topology/layout_stats.h"
#include "topology/overlap.h"

#include <gtest/gtest.h>

using testsupport::makeChart;

namespace {

struct TrianglePair {
    const char* name;
    UVPoint a[3];
    UVPoint b[3];
};

// Whether Boost finds a common area of the two triangles.
bool oracleOverlaps(const TrianglePair& p)
{
    const std::vector<double> uv = {p.a[0].u, p.a[0].v, p.a[1].u, p.a[1].v, p.a[2].u, p.a[2].v,
                                    p.b[0].u, p.b[0].v, p.b[1].u, p.b[1].v, p.b[2].u, p.b[2].v};
    const testsupport::UVCoverage c = testsupport::uvCoverage(uv, {0, 1, 2, 3, 4, 5});
    return c.overlapArea > 1e-12 * c.summedArea;
}

} // namespace

TEST(TrianglesOverlapWithArea, AgreesWithIntersectionAreas)
{
    const TrianglePair pairs[] = {
        {"same vertex only", {{0, 0}, {1, 0}, {0, 1}}, {{0, 0}, {-1, 0}, {0, -1}}},
        {"shared edge, opposite sides", {{0, 0}, {1, 0}, {0, 1}}, {{1, 0}, {0, 0}, {0.5, -1}}},
        {"shared edge, folded over", {{0, 0}, {1, 0}, {0, 1}}, {{1, 0}, {0, 0}, {0.2, 0.3}}},
        {"same triangle reversed", {{0, 0}, {1, 0}, {0, 1}}, {{0, 0}, {0, 1}, {1, 0}}},
        {"vertex on an edge", {{0, 0}, {2, 0}, {0, 2}}, {{1, 0}, {2, -1}, {3, 0}}},
        {"vertex just inside an edge", {{0, 0}, {2, 0}, {0, 2}}, {{1, 1e-4}, {2, -1}, {3, -1e-4}}},
        {"one inside the other", {{0, 0}, {4, 0}, {0, 4}}, {{0.5, 0.5}, {1, 0.5}, {0.5, 1}}},
        {"edges crossing", {{0, 0}, {2, 0}, {1, 2}}, {{0, 1}, {2, 1}, {1, -1}}},
        {"collinear edges overlapping on one side", {{0, 0}, {2, 0}, {1, 1}}, {{1, 0}, {3, 0}, {2, 0.5}}},
        {"collinear edges on opposite sides", {{0, 0}, {2, 0}, {1, 1}}, {{3, 0}, {1, 0}, {2, -0.5}}},
        {"apart", {{0, 0}, {1, 0}, {0, 1}}, {{2, 2}, {3, 2}, {2, 3}}},
        {"boxes overlap, triangles apart", {{0, 0}, {1, 0}, {0, 1}}, {{1, 1}, {0.6, 1}, {1, 0.6}}},
        {"far from the origin", {{1e6, 1e6}, {1e6 + 1, 1e6}, {1e6, 1e6 + 1}}, {{1e6 + 0.2, 1e6 + 0.2}, {1e6 + 2, 1e6}, {1e6, 1e6 + 2}}},
    };
    for (const TrianglePair& p : pairs) {
        SCOPED_TRACE(p.name);
        EXPECT_EQ(trianglesOverlapWithArea(p.a, p.b), oracleOverlaps(p));
        EXPECT_EQ(trianglesOverlapWithArea(p.b, p.a), oracleOverlaps(p));
    }
    // A triangle without area overlaps nothing.
    const UVPoint flat[3] = {{0, 0}, {1, 0}, {2, 0}};
    const UVPoint big[3] = {{-5, -5}, {5, -5}, {0, 5}};
    EXPECT_FALSE(trianglesOverlapWithArea(flat, big));
}

TEST(OverlapsFound, CountsAreaAndCrossingsButNotTouchingPoints)
{
    struct Case {
        const char* name;
        ChartList charts;
        bool overlaps;
    };
    // Two triangles of one chart whose tips meet at one point through two
    // distinct UV vertices: the boundary touches itself there.
    const Chart touching = makeChart({0, 1, 2, 3, 4, 5}, {0, 1, 2, 3, 4, 5}, {0, 0, 1, 0, 1, 1, 1, 1, 2, 1, 2, 2});
    // One triangle folded over its neighbour: no boundary crossing, but area.
    const Chart folded = makeChart({0, 1, 2, 1, 0, 3}, {0, 1, 2, 1, 0, 3}, {0, 0, 1, 0, 0, 1, 0.2, 0.3});
    const Chart square = testsupport::unitSquareChart();
    Chart shifted = square;
    for (size_t i = 0; i < shifted.uvCoords2D.size(); i += 2)
        shifted.uvCoords2D[i] += 0.5;
    Chart beside = square;
    for (size_t i = 0; i < beside.uvCoords2D.size(); i += 2)
        beside.uvCoords2D[i] += 1.0;
    const Case cases[] = {
        {"touching point", {touching}, false},
        {"fold without crossing", {folded}, true},
        {"charts side by side", {square, beside}, false},
        {"charts overlapping", {square, shifted}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(computeStats(c.charts, iuv::DoubleVector(std::vector<double>(18, 0.0))).overlapsFound, c.overlaps);
        const testsupport::UVCoverage oracle = testsupport::uvCoverage(c.charts);
        EXPECT_EQ(oracle.overlapArea > 1e-12, c.overlaps);
    }
    // Welding's own test still refuses the touching point.
    EXPECT_TRUE(hasUVOverlaps(touching));
}

TEST(SegmentsCrossProperly, OnlyTransversalCrossingsInsideBoth)
{
    struct Case {
        const char* name;
        UVPoint p1, p2, q1, q2;
        bool crosses;
    };
    const Case cases[] = {
        {"crossing", {0, 0}, {2, 2}, {0, 2}, {2, 0}, true},
        {"touching at an end point", {0, 0}, {2, 0}, {1, 0}, {1, 1}, false},
        {"sharing an end point", {0, 0}, {2, 0}, {2, 0}, {3, 1}, false},
        {"collinear overlap", {0, 0}, {2, 0}, {1, 0}, {3, 0}, false},
        {"apart", {0, 0}, {1, 0}, {0, 1}, {1, 1}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(segmentsCrossProperly(c.p1, c.p2, c.q1, c.q2), c.crosses);
        EXPECT_EQ(segmentsCrossProperly(c.q1, c.q2, c.p1, c.p2), c.crosses);
    }
}
