#include "support/test_support.h"
#include "topology/overlap.h"
#include "geometry/predicates.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using testsupport::makeChart;

namespace {

const double NaN = std::numeric_limits<double>::quiet_NaN();

// Triangle 0 = (0,1,2) counter-clockwise; triangle 1 uses the listed corners.
Chart twoTriangles(std::vector<uint32_t> second, std::vector<double> uv)
{
    std::vector<uint32_t> idx = {0, 1, 2};
    idx.insert(idx.end(), second.begin(), second.end());
    return makeChart(idx, idx, uv);
}

} // namespace

TEST(OverlapPredicates, PointStrictlyInTriangleUsesMargin)
{
    const UVPoint a{0, 0}, b{1, 0}, c{0, 1};
    EXPECT_TRUE(pointStrictlyInTriangle({0.25, 0.25}, a, b, c));
    EXPECT_FALSE(pointStrictlyInTriangle({0.5, 0.0}, a, b, c));      // on an edge
    EXPECT_FALSE(pointStrictlyInTriangle({0.5, 0.0005}, a, b, c));   // within the 0.001 margin
    EXPECT_TRUE(pointStrictlyInTriangle({0.5, 0.0015}, a, b, c));
    EXPECT_FALSE(pointStrictlyInTriangle({0.0, 0.0}, a, b, c));      // at a vertex
    EXPECT_FALSE(pointStrictlyInTriangle({2.0, 2.0}, a, b, c));
    // Orientation does not matter.
    EXPECT_TRUE(pointStrictlyInTriangle({0.25, 0.25}, a, c, b));
    // Degenerate triangles contain nothing.
    EXPECT_FALSE(pointStrictlyInTriangle({0.5, 0.0}, a, b, {2, 0}));
    EXPECT_FALSE(pointStrictlyInTriangle({0, 0}, a, a, a));
    EXPECT_FALSE(pointStrictlyInTriangle({NaN, 0.2}, a, b, c));
}

TEST(OverlapPredicates, SegmentsCrossingAndNearEndpoints)
{
    EXPECT_TRUE(segmentsIntersect({0, 0}, {1, 1}, {0, 1}, {1, 0}, 0.001));
    // Crossing at parameter 0.0005 of p: only counts without tolerance.
    EXPECT_FALSE(segmentsIntersect({0, 0}, {1, 0}, {0.0005, -1}, {0.0005, 1}, 0.001));
    EXPECT_TRUE(segmentsIntersect({0, 0}, {1, 0}, {0.0005, -1}, {0.0005, 1}, 0.0));
    // Near the far end: u = 0.9995 > 1 - tol.
    EXPECT_FALSE(segmentsIntersect({0, 0}, {1, 0}, {0.9995, -1}, {0.9995, 1}, 0.001));
    // Touching at the start counts with tolerance 0, at the end it does not.
    EXPECT_TRUE(segmentsIntersect({0, 0}, {1, 0}, {0, -1}, {0, 1}, 0.0));
    EXPECT_FALSE(segmentsIntersect({0, 0}, {1, 0}, {1, -1}, {1, 1}, 0.0));
    // Lines crossing outside the segments.
    EXPECT_FALSE(segmentsIntersect({0, 0}, {1, 0}, {2, -1}, {2, 1}, 0.0));
}

TEST(OverlapPredicates, ParallelAndCollinearSegments)
{
    // Parallel at a distance.
    EXPECT_FALSE(segmentsIntersect({0, 0}, {1, 0}, {0, 1}, {1, 1}, 0.0));
    // Collinear and overlapping: q1 strictly inside p.
    EXPECT_TRUE(segmentsIntersect({0, 0}, {2, 0}, {1, 0}, {3, 0}, 0.0));
    // Collinear, q2 inside p.
    EXPECT_TRUE(segmentsIntersect({0, 0}, {2, 0}, {-1, 0}, {1, 0}, 0.0));
    // Collinear and disjoint, or only touching at an end.
    EXPECT_FALSE(segmentsIntersect({0, 0}, {1, 0}, {2, 0}, {3, 0}, 0.0));
    EXPECT_FALSE(segmentsIntersect({0, 0}, {1, 0}, {1, 0}, {2, 0}, 0.0));
    // q starts where p starts and runs along it.
    EXPECT_TRUE(segmentsIntersect({0, 0}, {2, 0}, {0, 0}, {1, 0}, 0.0));
    // Degenerate and NaN segments never intersect.
    EXPECT_FALSE(segmentsIntersect({0, 0}, {0, 0}, {0, 0}, {0, 0}, 0.0));
    EXPECT_FALSE(segmentsIntersect({0, 0}, {1, 1}, {NaN, 1}, {1, 0}, 0.0));
}

TEST(TrianglesOverlap, SharedEdgeOppositeSidesDoNotOverlap)
{
    // Triangle 1 = (1,0,3) shares edge 0-1 in opposite direction, on the other side.
    const Chart c = twoTriangles({1, 0, 3}, {0, 0, 1, 0, 0, 1, 0.5, -1});
    EXPECT_FALSE(trianglesOverlapUV(c, 0, 1));
    EXPECT_FALSE(trianglesOverlapUV(c, 1, 0));
}

TEST(TrianglesOverlap, FoldedTriangleOverlaps)
{
    // Opposite vertex 3 strictly inside triangle 0: folded over the shared edge.
    const Chart c = twoTriangles({1, 0, 3}, {0, 0, 1, 0, 0, 1, 0.3, 0.3});
    EXPECT_TRUE(trianglesOverlapUV(c, 0, 1));
    EXPECT_TRUE(trianglesOverlapUV(c, 1, 0));
}

TEST(TrianglesOverlap, SameVerticesReversedOverlap)
{
    const Chart c = twoTriangles({2, 1, 0}, {0, 0, 1, 0, 0, 1});
    EXPECT_TRUE(trianglesOverlapUV(c, 0, 1));
}

TEST(TrianglesOverlap, VertexOnEdgeWithinMarginDoesNotCount)
{
    // Triangle 1's vertex touches the hypotenuse of triangle 0 from outside.
    const Chart touching = makeChart({0, 1, 2, 3, 4, 5}, {},
                                     {0, 0, 1, 0, 0, 1, 0.5, 0.5, 1, 1, 0.9, 1.2});
    EXPECT_FALSE(trianglesOverlapUV(touching, 0, 1));
    // Pushed 0.0002 inside: barycentric margin not reached, edges meet at the
    // end of their parameter range: still no overlap.
    const Chart barely = makeChart({0, 1, 2, 3, 4, 5}, {},
                                   {0, 0, 1, 0, 0, 1, 0.4999, 0.4999, 1, 1, 0.9, 1.2});
    EXPECT_FALSE(trianglesOverlapUV(barely, 0, 1));
    // Clearly inside.
    const Chart inside = makeChart({0, 1, 2, 3, 4, 5}, {},
                                   {0, 0, 1, 0, 0, 1, 0.3, 0.3, 1, 1, 0.9, 1.2});
    EXPECT_TRUE(trianglesOverlapUV(inside, 0, 1));
}

TEST(TrianglesOverlap, SharedVertexOnlyAndCrossingEdges)
{
    // Share vertex 0, otherwise apart.
    const Chart apart = twoTriangles({0, 3, 4}, {0, 0, 1, 0, 0, 1, -1, 0, -1, -1});
    EXPECT_FALSE(trianglesOverlapUV(apart, 0, 1));
    // Star of David: no vertex inside the other, edges cross.
    const Chart star = makeChart({0, 1, 2, 3, 4, 5}, {},
                                 {0, 0, 2, 0, 1, 1.7, 0, 1.1, 1, -0.6, 2, 1.1});
    EXPECT_TRUE(trianglesOverlapUV(star, 0, 1));
    // Out-of-range triangles are not compared.
    EXPECT_FALSE(trianglesOverlapUV(star, 0, 7));
}

TEST(TrianglesOverlap, SameOrientedSharedEdgeWithoutFolding)
{
    // Triangle 1 = (0,1,3) uses edge 0->1 in the same direction and lies on
    // the other side (it is flipped): no overlap.
    const Chart c = twoTriangles({0, 1, 3}, {0, 0, 1, 0, 0, 1, 0.5, -1});
    EXPECT_FALSE(trianglesOverlapUV(c, 0, 1));
}

TEST(HasUVOverlaps, DiskWithInnerFlipsHasNone)
{
    // A fan around a centre vertex; one inner triangle is flipped by moving
    // the centre outside its own triangle, the boundary stays a simple square.
    Chart c = makeChart({4, 0, 1, 4, 1, 2, 4, 2, 3, 4, 3, 0}, {},
                        {0, 0, 1, 0, 1, 1, 0, 1, 0.5, -0.2});
    ASSERT_TRUE(hasUVFlips(c));
    EXPECT_FALSE(hasUVOverlaps(c));
    EXPECT_FALSE(hasUVOverlaps(testsupport::unitSquareChart()));
}

TEST(HasUVOverlaps, CrossingBoundaryIsFound)
{
    // Two triangles sharing edge 0-1 with triangle 1 folded across triangle 0
    // so that their free edges cross.
    const Chart c = twoTriangles({1, 0, 3}, {0, 0, 1, 0, 0, 1, 0.8, 0.8});
    EXPECT_TRUE(hasUVOverlaps(c));
}

TEST(HasUVOverlaps, CollinearBoundaryEdgesOverlap)
{
    // Two separate triangles whose bottom edges lie on one line and overlap.
    const Chart c = makeChart({0, 1, 2, 3, 4, 5}, {},
                              {0, 0, 2, 0, 0, 1, 1, 0, 3, 0, 3, -1});
    EXPECT_TRUE(hasUVOverlaps(c));
    // The same triangles moved apart along the line.
    const Chart apart = makeChart({0, 1, 2, 3, 4, 5}, {},
                                  {0, 0, 2, 0, 0, 1, 3, 0, 5, 0, 5, -1});
    EXPECT_FALSE(hasUVOverlaps(apart));
    // Parallel edges at a distance.
    const Chart parallel = makeChart({0, 1, 2, 3, 4, 5}, {},
                                     {0, 0, 2, 0, 0, 1, 0, -0.5, 2, -0.5, 2, -1.5});
    EXPECT_FALSE(hasUVOverlaps(parallel));
}

TEST(HasUVOverlaps, BadInputIsHarmless)
{
    EXPECT_FALSE(hasUVOverlaps(Chart()));
    // Zero-area triangles.
    EXPECT_FALSE(hasUVOverlaps(makeChart({0, 1, 2}, {}, {0, 0, 0, 0, 0, 0})));
    // NaN coordinates.
    EXPECT_FALSE(hasUVOverlaps(makeChart({0, 1, 2, 0, 2, 3}, {}, {0, 0, NaN, 0, 1, NaN, 0, 1})));
    // Indices beyond the UV list.
    EXPECT_FALSE(hasUVOverlaps(makeChart({0, 1, 9}, {}, {0, 0, 1, 0})));
    // Huge coordinates.
    EXPECT_FALSE(hasUVOverlaps(makeChart({0, 1, 2}, {}, {-1e308, -1e308, 1e308, -1e308, 0, 1e308})));
}

TEST(MarkOverlappingTriangles, MarksBothOfAPairOnly)
{
    // Triangles 0 and 1 are folded over each other; triangle 2 lies apart.
    const Chart c = makeChart({0, 1, 2, 1, 0, 3, 4, 5, 6}, {},
                              {0, 0, 1, 0, 0, 1, 0.3, 0.3, 5, 5, 6, 5, 5, 6});
    const std::vector<bool> marks = markOverlappingTriangles(c);
    EXPECT_EQ(marks, (std::vector<bool>{true, true, false}));
    const auto pairs = findOverlappingTrianglePairs(c);
    ASSERT_EQ(pairs.size(), 1u);
    EXPECT_EQ(pairs[0], (std::pair<uint64_t, uint64_t>(0, 1)));
    EXPECT_TRUE(markOverlappingTriangles(Chart()).empty());
}
