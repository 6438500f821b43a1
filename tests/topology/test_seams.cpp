#include "model/model.h"
#include "support/test_support.h"
#include "topology/mesh_topology.h"
#include "topology/overlap.h"
#include "topology/seams.h"
#include "topology/boundary_length.h"

#include <gtest/gtest.h>

#include <cmath>

using testsupport::makeChart;

namespace {

const double Pi = 3.14159265358979323846;

// A unit square of 3D vertices 0..3 cut along its diagonal 0-2 into two
// one-triangle charts; the second chart is rotated by 90 degrees and moved.
Model diagonalSquare()
{
    Model m;
    m.sharedPositions = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
    m.charts.push_back(makeChart({0, 1, 2}, {0, 1, 2}, {0, 0, 1, 0, 1, 1}));
    // (0,2,3) at (0,0),(1,1),(0,1) rotated by 90 degrees about the origin
    // and moved by (5, 5).
    m.charts.push_back(makeChart({0, 2, 3}, {0, 1, 2}, {5, 5, 4, 6, 4, 5}));
    return m;
}

MeshTopology topologyOf(const Model& m, const iuv::UIntVector& cones = {})
{
    MeshTopology t;
    buildMeshTopology(m.charts, m.numVertices(), cones, t);
    return t;
}

double uvX(const Chart& c, uint32_t k) { return c.uvCoords2D[2 * size_t(k)]; }
double uvY(const Chart& c, uint32_t k) { return c.uvCoords2D[2 * size_t(k) + 1]; }

} // namespace

TEST(SeamAlignment, RightAnglesAndOppositeDirections)
{
    const iuv::DoubleVector moving = {0, 0, 1, 0};
    const iuv::DoubleVector up = {2, 2, 2, 3};
    const SeamAlignment quarter = computeSeamAlignment(moving, up, 0, 1, 0, 1);
    EXPECT_NEAR(quarter.angle, Pi / 2, 1e-12);
    EXPECT_EQ(quarter.anchorU, 2.0);
    EXPECT_EQ(quarter.anchorV, 2.0);
    EXPECT_EQ(quarter.translationU, 2.0);
    EXPECT_EQ(quarter.translationV, 2.0);

    const iuv::DoubleVector down = {2, 2, 2, 1};
    EXPECT_NEAR(computeSeamAlignment(moving, down, 0, 1, 0, 1).angle, 3 * Pi / 2, 1e-12);

    // Opposite directions: the clamp leaves the angle just below pi.
    const iuv::DoubleVector back = {0, 0, -1, 0};
    const double opposite = computeSeamAlignment(moving, back, 0, 1, 0, 1).angle;
    EXPECT_LT(opposite, Pi);
    EXPECT_GT(opposite, Pi - 1e-3);

    // Coinciding sides: identity.
    const SeamAlignment same = computeSeamAlignment(moving, moving, 0, 1, 0, 1);
    EXPECT_EQ(same.angle, 0.0);
    EXPECT_EQ(same.translationU, 0.0);
    EXPECT_EQ(same.translationV, 0.0);
}

TEST(SeamAlignment, AppliedMotionLaysStartAndDirectionOntoTheFixedSide)
{
    iuv::DoubleVector moving = {1, 1, 1, 3, 0, 1};
    const iuv::DoubleVector fixed = {10, 0, 12, 0};
    const SeamAlignment a = computeSeamAlignment(moving, fixed, 0, 1, 0, 1);
    applySeamAlignment(a, moving);
    EXPECT_NEAR(moving[0], 10.0, 1e-12);
    EXPECT_NEAR(moving[1], 0.0, 1e-12);
    EXPECT_NEAR(moving[2], 12.0, 1e-7);
    EXPECT_NEAR(moving[3], 0.0, 1e-7);
    // Lengths are kept: vertex 2 stays at distance 1 from vertex 0.
    EXPECT_NEAR(std::hypot(moving[4] - moving[0], moving[5] - moving[1]), 1.0, 1e-12);
}

TEST(SeamAlignment, DegenerateSidesOnlyTranslate)
{
    const iuv::DoubleVector closed = {1, 1, 1, 1};
    const iuv::DoubleVector fixed = {0, 0, 0, 1};
    const SeamAlignment a = computeSeamAlignment(closed, fixed, 0, 1, 0, 1);
    EXPECT_EQ(a.angle, 0.0);
    EXPECT_EQ(a.translationU, -1.0);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const SeamAlignment b = computeSeamAlignment({0, 0, nan, 1}, fixed, 0, 1, 0, 1);
    EXPECT_EQ(b.angle, 0.0);
    // Out-of-range vertices: identity.
    const SeamAlignment c = computeSeamAlignment(fixed, fixed, 0, 7, 0, 1);
    EXPECT_EQ(c.angle, 0.0);
    EXPECT_EQ(c.translationU, 0.0);
}

TEST(SeamLookup, FindsSeamInBothDirections)
{
    const Model m = diagonalSquare();
    const MeshTopology t = topologyOf(m);
    ASSERT_EQ(t.numSeams(), 1u);
    SeamEnds ends;
    ASSERT_TRUE(findSeamEnds(t, 0, ends));
    EXPECT_NE(ends.c1, ends.c2);
    const uint32_t a = t.joinedMesh.halfedges[twin(ends.firstHalfedge)].to;
    const uint32_t b = t.joinedMesh.halfedges[ends.firstHalfedge].to;
    EXPECT_EQ(std::min(a, b), 0u);
    EXPECT_EQ(std::max(a, b), 2u);

    const SeamLookup forward = findSeamSegment(t, a, b);
    EXPECT_EQ(forward.seam, 0u);
    EXPECT_FALSE(forward.reversed);
    const SeamLookup backward = findSeamSegment(t, b, a);
    EXPECT_EQ(backward.seam, 0u);
    EXPECT_TRUE(backward.reversed);
    EXPECT_FALSE(findSeamSegment(t, 0, 1).found()); // a boundary edge
    EXPECT_FALSE(findSeamEnds(t, 1, ends));
}

TEST(GlueAlongSeam, MergesSeamVerticesAndRestoresTheSquare)
{
    const Model m = diagonalSquare();
    const MeshTopology t = topologyOf(m);
    SeamEnds ends;
    ASSERT_TRUE(findSeamEnds(t, 0, ends));
    const uint32_t a = t.joinedMesh.halfedges[twin(ends.firstHalfedge)].to;
    const uint32_t b = t.joinedMesh.halfedges[ends.firstHalfedge].to;

    for (bool moveFirst : {true, false}) {
        const std::optional<Chart> glued = glueAlongSeam(m.charts, a, b, t, moveFirst);
        ASSERT_TRUE(glued.has_value());
        // N1 + N2 minus the two c1 copies of the seam vertices.
        EXPECT_EQ(glued->numUVVertices(), 4u);
        EXPECT_EQ(glued->numTriangles(), 2u);
        EXPECT_TRUE(chartIndicesValid(*glued));
        // c1's triangles come first.
        const Chart& c1 = m.charts[ends.c1];
        EXPECT_EQ(glued->triIndicesPos[0], c1.triIndicesPos[0]);
        EXPECT_FALSE(hasUVOverlaps(*glued));
        EXPECT_FALSE(hasUVFlips(*glued));
        EXPECT_NEAR(chartArea(*glued, m.sharedPositions, true), 1.0, 1e-9);
        EXPECT_NEAR(chartBoundaryLength(*glued), 4.0, 1e-9);
        // The fixed chart keeps its coordinates.
        const Chart& fixedChart = m.charts[moveFirst ? ends.c2 : ends.c1];
        bool found = false;
        for (uint32_t k = 0; k < glued->numUVVertices(); ++k)
            found = found || (uvX(*glued, k) == uvX(fixedChart, 2) && uvY(*glued, k) == uvY(fixedChart, 2));
        EXPECT_TRUE(found) << "moveFirst " << moveFirst;
    }
}

TEST(GlueAlongSeam, ReversedLookupMovesTheOtherSide)
{
    const Model m = diagonalSquare();
    const MeshTopology t = topologyOf(m);
    SeamEnds ends;
    ASSERT_TRUE(findSeamEnds(t, 0, ends));
    const uint32_t a = t.joinedMesh.halfedges[twin(ends.firstHalfedge)].to;
    const uint32_t b = t.joinedMesh.halfedges[ends.firstHalfedge].to;
    // Given against the seam direction, moveFirstSide = true moves c2.
    const std::optional<Chart> reversed = glueAlongSeam(m.charts, b, a, t, true);
    const std::optional<Chart> c2Moves = glueAlongSeam(m.charts, a, b, t, false);
    ASSERT_TRUE(reversed && c2Moves);
    EXPECT_EQ(reversed->uvCoords2D, c2Moves->uvCoords2D);
    EXPECT_EQ(reversed->triIndicesUV, c2Moves->triIndicesUV);
}

TEST(GlueAlongSeam, UnknownEdgeReportsFatalError)
{
    const Model m = diagonalSquare();
    const MeshTopology t = topologyOf(m);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(glueAlongSeam(m.charts, 0, 1, t, true).has_value());
    const std::string frame(67, 'x');
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              frame + "\nxxx FATAL ERROR: SEAM MUST BE PART OF THE CURRENT SET OF SEAMS! xxx\n" + frame + "\n");
    // A topology that does not belong to the chart list gives nothing.
    ChartList other(1, m.charts[0]);
    EXPECT_FALSE(glueAlongSeam(other, 0, 2, t, true).has_value());
}

TEST(GlueAlongSeam, SeamInsideOneChartIsRefused)
{
    // An open cylinder of three quads unrolled into one chart: the edge 0-3
    // is a seam with both sides in that chart.
    Model m;
    m.sharedPositions = {1, 0, 0, -0.5, 0.87, 0, -0.5, -0.87, 0, 1, 0, 1, -0.5, 0.87, 1, -0.5, -0.87, 1};
    // UV: columns 0..3 (column 3 repeats 3D vertices 0 and 3).
    m.charts.push_back(makeChart({0, 1, 4, 0, 4, 3, 1, 2, 5, 1, 5, 4, 2, 0, 3, 2, 3, 5},
                                 {0, 1, 5, 0, 5, 4, 1, 2, 6, 1, 6, 5, 2, 3, 7, 2, 7, 6},
                                 {0, 0, 1, 0, 2, 0, 3, 0, 0, 1, 1, 1, 2, 1, 3, 1}));
    const MeshTopology t = topologyOf(m);
    ASSERT_EQ(t.numSeams(), 1u);
    SeamEnds ends;
    ASSERT_TRUE(findSeamEnds(t, 0, ends));
    EXPECT_EQ(ends.c1, ends.c2);
    const uint32_t a = t.joinedMesh.halfedges[twin(ends.firstHalfedge)].to;
    const uint32_t b = t.joinedMesh.halfedges[ends.firstHalfedge].to;
    EXPECT_FALSE(glueAlongSeam(m.charts, a, b, t, true).has_value());
}
