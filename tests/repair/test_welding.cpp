#include "model/model.h"
#include "packing/atlas.h"
#include "support/test_support.h"
#include "topology/mesh_topology.h"
#include "topology/seams.h"
#include "repair/welding.h"

#include <gtest/gtest.h>

#include <cmath>

using testsupport::makeChart;

namespace {

// A square chart C (3D vertices 0..3, side 8) with a triangle chart on its right edge (apex 4) and one on
// its left edge (apex 5). Every UV length is an integer when leftApexU = -3, so gluing either side scores
// exactly alike. mirrorRight lays the right triangle out mirrored: gluing it folds it onto the square.
Model crossModel(double leftApexU = -3.0, bool mirrorRight = false)
{
    Model m;
    m.sharedPositions = {0, 0, 0, 8, 0, 0, 8, 8, 0, 0, 8, 0, 11, 4, 0, leftApexU, 4, 0};
    m.charts.push_back(makeChart({0, 1, 2, 0, 2, 3}, {0, 1, 2, 0, 2, 3}, {0, 0, 8, 0, 8, 8, 0, 8}));
    if (mirrorRight)
        m.charts.push_back(makeChart({1, 4, 2}, {0, 1, 2}, {-20, 0, -23, 4, -20, 8}));
    else
        m.charts.push_back(makeChart({1, 4, 2}, {0, 1, 2}, {20, 0, 23, 4, 20, 8}));
    m.charts.push_back(makeChart({0, 3, 5}, {0, 1, 2}, {40, 0, 40, 8, 40 + leftApexU, 4}));
    return m;
}

MeshTopology topologyOf(const Model& m)
{
    MeshTopology t;
    buildMeshTopology(m.charts, m.numVertices(), m.coneSingularities, t);
    return t;
}

// The seam whose two charts are a and b, or NoSeam.
size_t seamBetween(const MeshTopology& t, uint64_t a, uint64_t b)
{
    for (size_t s = 0; s < t.numSeams(); ++s) {
        SeamEnds e;
        if (findSeamEnds(t, s, e) && ((e.c1 == a && e.c2 == b) || (e.c1 == b && e.c2 == a)))
            return s;
    }
    return NoSeam;
}

PackFunction fixedEfficiency(double efficiency, int* calls)
{
    return [efficiency, calls](ChartList&, const iuv::DoubleVector&, bool, Atlas&) {
        ++*calls;
        return efficiency;
    };
}

} // namespace

TEST(ChooseWeldSeam, SmallestBoundaryAmongSeamsThatDoNotFold)
{
    struct Case { const char* name; Model model; int expected; double score; };
    Model onlyFolding = crossModel(-12.0, true);
    onlyFolding.charts.pop_back();
    onlyFolding.sharedPositions.resize(15);
    const std::vector<Case> cases = {
        {"equal scores: the earlier seam", crossModel(), -1, -52.0}, // remaining triangle 18, glued chart 34
        {"smaller boundary wins", crossModel(-12.0), 1, 0},
        {"a folding seam is never chosen", crossModel(-12.0, true), 2, 0},
        {"nothing admissible", onlyFolding, 0, 0},
    };
    for (const Case& c : cases) {
        const MeshTopology t = topologyOf(c.model);
        const WeldChoice choice = chooseWeldSeam(c.model.charts, t);
        const size_t right = seamBetween(t, 0, 1), left = seamBetween(t, 0, 2);
        const size_t expected = c.expected < 0 ? std::min(left, right) : c.expected == 0 ? NoSeam : c.expected == 1 ? right : left;
        EXPECT_EQ(choice.seam, expected) << c.name;
        if (c.score != 0) {
            EXPECT_EQ(choice.score, c.score) << c.name;
        }
    }
}

TEST(WeldPass, GluedChartFirstEfficiencyRuleAndNothingToWeld)
{
    // Only a folding seam: no weld, one packing.
    Model two = crossModel(-3.0, true);
    two.charts.pop_back();
    two.sharedPositions.resize(15);
    // Tetrahedron: a triangle chart against a fan of three; one closed seam, no boundary: never welded or packed.
    Model tet;
    tet.sharedPositions = {0, 0, 1, 1, 0, 0, -0.5, 0.87, 0, -0.5, -0.87, 0};
    const double c = std::cos(2.0943951023931953), s = std::sin(2.0943951023931953);
    tet.charts.push_back(makeChart({0, 1, 2, 0, 2, 3, 0, 3, 1}, {0, 1, 2, 0, 2, 3, 0, 3, 1}, {0, 0, 1, 0, c, s, c, -s}));
    tet.charts.push_back(makeChart({1, 3, 2}, {0, 1, 2}, {5, 0, 6, 0, 5.5, 0.87}));
    // welded: the glued chart first, the triangle not on the seam after it as a copy; else the charts stay.
    struct Case { const char* name; Model model; double before, after; bool welded; int calls; };
    const std::vector<Case> cases = {
        {"efficiency kept", crossModel(), 80.0, 70.0, true, 1},
        {"efficiency lost", crossModel(), 80.0, 69.0, false, 1},
        {"no admissible seam", two, 50.0, 100.0, false, 1},
        {"closed mesh", tet, 0.0, 100.0, false, 0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        const MeshTopology t = topologyOf(k.model);
        Atlas atlas;
        int calls = 0;
        ChartList charts = k.model.charts;
        weldPass(charts, k.model.sharedPositions, t, k.before, atlas, fixedEfficiency(k.after, &calls));
        EXPECT_EQ(calls, k.calls);
        if (!k.welded) {
            ASSERT_EQ(charts.size(), k.model.charts.size());
            for (size_t i = 0; i < charts.size(); ++i)
                EXPECT_EQ(charts[i].uvCoords2D, k.model.charts[i].uvCoords2D);
            continue;
        }
        ASSERT_EQ(charts.size(), 2u);
        EXPECT_EQ(charts[0].numTriangles(), 3u);
        const size_t other = chooseWeldSeam(k.model.charts, t).seam == seamBetween(t, 0, 1) ? 2 : 1;
        EXPECT_EQ(charts[1].uvCoords2D, k.model.charts[other].uvCoords2D);
    }
}
