#include "meshgen/meshgen.h"
#include "model/model.h"
#include "support/test_support.h"
#include "topology/boundary_length.h"
#include "topology/mesh_topology.h"
#include "topology/overlap.h"
#include "topology/seams.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

using testsupport::makeChart;

namespace {

const double Pi = 3.14159265358979323846;

// A 2 x 2 grid over the unit square (vertex (i, j) numbered 3j + i), cut along x = 1/2 into its left and
// right column; the right chart is turned by 90 degrees and moved by (5, 5). The seam runs over two edges.
Model cutGrid()
{
    Model m;
    m.sharedPositions = meshgen::flatGrid(2, 2, meshgen::Outline::Rectangle).positions;
    const std::vector<uint32_t> uv = {0, 1, 2, 0, 2, 3, 3, 2, 4, 3, 4, 5};
    m.charts = {makeChart({0, 1, 4, 0, 4, 3, 3, 4, 7, 3, 7, 6}, uv, {0, 0, 0.5, 0, 0.5, 0.5, 0, 0.5, 0.5, 1, 0, 1}),
                makeChart({1, 2, 5, 1, 5, 4, 4, 5, 8, 4, 8, 7}, uv, {5, 5.5, 5, 6, 4.5, 6, 4.5, 5.5, 4, 6, 4, 5.5})};
    return m;
}

MeshTopology topologyOf(const Model& m)
{
    MeshTopology t;
    buildMeshTopology(m.charts, m.numVertices(), {}, t);
    return t;
}

} // namespace

TEST(SeamAlignment, LaysTheMovingSideOntoTheFixedOne)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case { iuv::DoubleVector moving, fixed; uint32_t end; double angle, tu, tv; };
    const std::vector<Case> cases = {
        {{0, 0, 1, 0}, {2, 2, 2, 3}, 1, Pi / 2, 2, 2},
        {{0, 0, 1, 0}, {2, 2, 2, 1}, 1, 3 * Pi / 2, 2, 2},
        {{0, 0, 1, 0}, {0, 0, 1, 0}, 1, 0, 0, 0},
        {{1, 1, 1, 1}, {0, 0, 0, 1}, 1, 0, -1, -1},   // degenerate side: translation only
        {{0, 0, nan, 1}, {0, 0, 0, 1}, 1, 0, 0, 0},
        {{0, 0, 0, 1}, {0, 0, 0, 1}, 7, 0, 0, 0},     // vertex out of range: identity
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        const SeamAlignment a = computeSeamAlignment(cases[i].moving, cases[i].fixed, 0, cases[i].end, 0, 1);
        EXPECT_NEAR(a.angle, cases[i].angle, 1e-12) << i;
        if (!std::isnan(cases[i].moving[2])) {
            EXPECT_EQ(a.translationU, cases[i].tu) << i;
            EXPECT_EQ(a.translationV, cases[i].tv) << i;
        }
    }
    // Opposite directions: the clamp leaves the angle just below pi.
    const double opposite = computeSeamAlignment({0, 0, 1, 0}, {0, 0, -1, 0}, 0, 1, 0, 1).angle;
    EXPECT_TRUE(opposite < Pi && opposite > Pi - 1e-3);
}

TEST(GlueAlongSeam, RestoresTheSquareFromEitherSideAndRefusesWhatIsNoSeam)
{
    const Model m = cutGrid();
    const MeshTopology t = topologyOf(m);
    ASSERT_EQ(t.seamSegmentLengths, (std::vector<uint64_t>{2}));
    SeamEnds ends;
    ASSERT_TRUE(findSeamEnds(t, 0, ends));
    EXPECT_FALSE(findSeamEnds(t, 1, ends));
    const uint32_t a = t.joinedMesh.halfedges[twin(ends.firstHalfedge)].to;
    const uint32_t b = t.joinedMesh.halfedges[ends.firstHalfedge].to;
    EXPECT_EQ(std::minmax(a, b), std::minmax(4u, a == 4 ? b : a)); // one end is the centre
    // Both edges of the seam are found either way round, and nothing else.
    for (const auto& [p, q] : {std::make_pair(1u, 4u), std::make_pair(4u, 7u)}) {
        EXPECT_TRUE(findSeamSegment(t, p, q).found() && findSeamSegment(t, q, p).found());
        EXPECT_NE(findSeamSegment(t, p, q).reversed, findSeamSegment(t, q, p).reversed);
    }
    EXPECT_FALSE(findSeamSegment(t, 0, 1).found()); // a boundary edge

    for (bool moveFirst : {true, false}) {
        const std::optional<Chart> glued = glueAlongSeam(m.charts, a, b, t, moveFirst);
        ASSERT_TRUE(glued.has_value());
        EXPECT_EQ(glued->numUVVertices(), 9u);
        EXPECT_TRUE(chartIndicesValid(*glued));
        EXPECT_FALSE(hasUVOverlaps(*glued) || hasUVFlips(*glued));
        EXPECT_NEAR(chartArea(*glued, m.sharedPositions, true), 1.0, 1e-9);
        EXPECT_NEAR(chartBoundaryLength(*glued), 4.0, 1e-9);
        // Every vertex of the fixed chart stays where it was.
        const Chart& fixedChart = m.charts[moveFirst ? ends.c2 : ends.c1];
        for (size_t i = 0; i < fixedChart.numUVVertices(); ++i) {
            double nearest = 1e300;
            for (size_t k = 0; k < glued->numUVVertices(); ++k)
                nearest = std::min(nearest, std::hypot(glued->uvCoords2D[2 * k] - fixedChart.uvCoords2D[2 * i],
                                                       glued->uvCoords2D[2 * k + 1] - fixedChart.uvCoords2D[2 * i + 1]));
            EXPECT_LT(nearest, 1e-9) << moveFirst << " vertex " << i;
        }
    }
    // Given against the seam direction, moving the first side moves c2.
    EXPECT_EQ(glueAlongSeam(m.charts, b, a, t, true)->uvCoords2D, glueAlongSeam(m.charts, a, b, t, false)->uvCoords2D);

    // What is not a seam between two charts glues nothing.
    testing::internal::CaptureStdout();
    EXPECT_FALSE(glueAlongSeam(m.charts, 0, 1, t, true).has_value());
    const std::string frame(67, 'x');
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              frame + "\nxxx FATAL ERROR: SEAM MUST BE PART OF THE CURRENT SET OF SEAMS! xxx\n" + frame + "\n");
    // Nor does a topology that does not describe the charts, or is damaged.
    const Chart triangle = makeChart({0, 1, 2}, {}, {0, 0, 1, 0, 0, 1});
    const std::vector<std::pair<const char*, std::function<void(MeshTopology&, ChartList&)>>> damage = {
        {"one chart", [](MeshTopology&, ChartList& c) { c.pop_back(); }},
        {"bad UV index", [&](MeshTopology&, ChartList& c) { c[ends.c1].triIndicesUV[0] = 99; }},
        {"first chart not the mesh's", [&](MeshTopology&, ChartList& c) { c[ends.c1] = triangle; }},
        {"second chart not the mesh's", [&](MeshTopology&, ChartList& c) { c[ends.c2] = triangle; }},
        {"no triangle charts", [](MeshTopology& d, ChartList&) { d.triangleChart.clear(); }},
        {"no chart halfedges", [](MeshTopology& d, ChartList&) { d.joinedToChartHalfedge.clear(); }},
        {"chart mesh cut short", [&](MeshTopology& d, ChartList&) { d.chartMeshes[ends.c2].halfedges.resize(2); }},
        {"seam halfedge out of range", [](MeshTopology& d, ChartList&) { d.boundaryAndSeamHalfedges.back() = 99999; }},
    };
    for (const auto& [name, apply] : damage) {
        MeshTopology d = t;
        ChartList charts = m.charts;
        apply(d, charts);
        EXPECT_FALSE(glueAlongSeam(charts, a, b, d, true).has_value()) << name;
    }

    // A cylinder unrolled into one chart: its seam has both sides in it.
    const Model cyl = meshgen::toModel(meshgen::openCylinder(3, 1));
    const MeshTopology ct = topologyOf(cyl);
    ASSERT_TRUE(findSeamEnds(ct, 0, ends));
    EXPECT_EQ(ends.c1, ends.c2);
    EXPECT_FALSE(glueAlongSeam(cyl.charts, ct.joinedMesh.halfedges[twin(ends.firstHalfedge)].to,
                               ct.joinedMesh.halfedges[ends.firstHalfedge].to, ct, true).has_value());
}
