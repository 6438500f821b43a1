#include "topology/halfedge.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <vector>

namespace {

iuv::UIntVector tris(std::vector<uint32_t> v) { return iuv::UIntVector(v); }

// Checks every structural invariant of a successfully built mesh and returns
// the number of boundary halfedges.
size_t expectConsistent(const HalfedgeMesh& m, const iuv::UIntVector& tri, size_t vertexCount)
{
    const size_t n = m.halfedges.size();
    EXPECT_EQ(n % 2, 0u);
    EXPECT_EQ(m.vertexHalfedge.size(), vertexCount);
    EXPECT_EQ(m.manifoldVertices.size(), vertexCount);
    size_t numBoundary = 0;
    std::vector<int> cornerUse(tri.size(), 0);
    for (uint32_t h = 0; h < n; ++h) {
        const Halfedge& e = m.halfedges[h];
        EXPECT_NE(e.to, m.source(h)) << h;
        EXPECT_LT(e.next, n);
        EXPECT_LT(e.prev, n);
        if (e.next >= n || e.prev >= n)
            return 0;
        EXPECT_EQ(m.halfedges[e.next].prev, h);
        EXPECT_EQ(m.halfedges[e.prev].next, h);
        EXPECT_EQ(m.source(e.next), e.to) << h;
        if (m.isBoundary(h)) {
            ++numBoundary;
            EXPECT_FALSE(m.isBoundary(twin(h))) << "both twins on the boundary: " << h;
            EXPECT_TRUE(m.isBoundary(e.next));
        } else {
            EXPECT_LT(e.corner, tri.size());
            ++cornerUse[e.corner];
            EXPECT_EQ(tri[e.corner], e.to);
            EXPECT_EQ(m.halfedges[m.halfedges[e.next].next].next, h);
            EXPECT_EQ(e.corner / 3, m.halfedges[e.next].corner / 3);
        }
    }
    for (int use : cornerUse)
        EXPECT_EQ(use, 1);
    bool allManifold = true;
    for (size_t v = 0; v < vertexCount; ++v) {
        const uint32_t h = m.vertexHalfedge[v];
        EXPECT_EQ(m.source(h), v);
        allManifold = allManifold && m.manifoldVertices[v];
    }
    EXPECT_EQ(m.isManifold, allManifold);

    // Boundary loops cover every boundary halfedge once and pass each
    // vertex at most once.
    std::vector<bool> seen(n, false);
    size_t covered = 0;
    for (uint32_t start : m.boundaryLoops) {
        EXPECT_TRUE(m.isBoundary(start));
        std::set<uint32_t> sources;
        uint32_t h = start;
        do {
            EXPECT_FALSE(seen[h]) << "halfedge in two loops: " << h;
            seen[h] = true;
            ++covered;
            EXPECT_TRUE(sources.insert(m.source(h)).second) << "loop passes a vertex twice";
            h = m.halfedges[h].next;
        } while (h != start && covered <= n);
    }
    EXPECT_EQ(covered, numBoundary);
    return numBoundary;
}

// Grid of nx x ny quads with random diagonals, some triangles removed and
// the used vertices renumbered densely.
iuv::UIntVector randomGrid(int nx, int ny, double dropShare, std::mt19937& rng, size_t& vertexCount)
{
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<uint32_t> raw;
    auto id = [nx](int i, int j) { return static_cast<uint32_t>(j * (nx + 1) + i); };
    for (int j = 0; j < ny; ++j) {
        for (int i = 0; i < nx; ++i) {
            const uint32_t a = id(i, j), b = id(i + 1, j), c = id(i + 1, j + 1), d = id(i, j + 1);
            std::vector<uint32_t> quad = unit(rng) < 0.5 ? std::vector<uint32_t>{a, b, c, a, c, d}
                                                          : std::vector<uint32_t>{a, b, d, b, c, d};
            for (int t = 0; t < 2; ++t)
                if (unit(rng) >= dropShare)
                    raw.insert(raw.end(), quad.begin() + 3 * t, quad.begin() + 3 * t + 3);
        }
    }
    std::vector<uint32_t> map(static_cast<size_t>((nx + 1) * (ny + 1)), InvalidIndex);
    uint32_t next = 0;
    for (uint32_t& v : raw) {
        if (map[v] == InvalidIndex)
            map[v] = next++;
        v = map[v];
    }
    vertexCount = next;
    return iuv::UIntVector(raw);
}

} // namespace

// ---------------------------------------------------------------------------

TEST(MatchEdges, PairsSharedEdgesAndLeavesBoundaryAlone)
{
    const auto m = matchEdges(tris({0, 1, 2, 0, 2, 3}), 4);
    ASSERT_EQ(m.size(), 6u);
    EXPECT_EQ(m[2].partner, 3u); // edge 2-0 of the first triangle, 0-2 of the second
    EXPECT_EQ(m[3].partner, 2u);
    for (size_t c : {0u, 1u, 4u, 5u})
        EXPECT_EQ(m[c].partner, InvalidIndex);
    for (const auto& c : m)
        EXPECT_FALSE(c.nonManifold);
}

TEST(MatchEdges, SameDirectionEdgesArePairedToo)
{
    const auto m = matchEdges(tris({0, 1, 2, 0, 1, 3}), 4);
    EXPECT_EQ(m[0].partner, 3u);
    EXPECT_EQ(m[3].partner, 0u);
}

TEST(MatchEdges, ThreeCornersOnOneEdgeFormAMarkedCycle)
{
    const auto m = matchEdges(tris({0, 1, 2, 1, 0, 3, 0, 1, 4}), 5);
    EXPECT_EQ(m[0].partner, 3u);
    EXPECT_EQ(m[3].partner, 6u);
    EXPECT_EQ(m[6].partner, 0u);
    for (size_t c : {0u, 3u, 6u})
        EXPECT_TRUE(m[c].nonManifold);
    EXPECT_FALSE(m[1].nonManifold);
}

TEST(MatchEdges, DegenerateAndOutOfRangeInputIsHarmless)
{
    EXPECT_TRUE(matchEdges(tris({}), 0).empty());
    // Vertex numbers far beyond the vertex count, and a partial triangle.
    const auto m = matchEdges(tris({7, 4000000, 9, 9, 4000000, 8, 1}), 3);
    ASSERT_EQ(m.size(), 6u);
    EXPECT_EQ(m[1].partner, 3u);
    // A huge vertex count does not size the buckets.
    EXPECT_EQ(matchEdges(tris({0, 1, 2}), size_t(1) << 60).size(), 3u);
    // A triangle repeating a vertex pairs its two real edges with each other.
    const auto d = matchEdges(tris({5, 5, 6}), 7);
    EXPECT_EQ(d[0].partner, InvalidIndex);
    EXPECT_EQ(d[1].partner, 2u);
}

// ---------------------------------------------------------------------------

TEST(BuildHalfedgeMesh, SingleTriangle)
{
    HalfedgeMesh m;
    const auto tri = tris({0, 1, 2});
    ASSERT_FALSE(buildHalfedgeMesh(tri, 3, m));
    EXPECT_EQ(m.halfedges.size(), 6u);
    EXPECT_TRUE(m.isManifold);
    ASSERT_EQ(m.boundaryLoops.size(), 1u);
    EXPECT_EQ(expectConsistent(m, tri, 3), 3u);
    for (uint32_t v = 0; v < 3; ++v)
        EXPECT_TRUE(m.isBoundary(m.vertexHalfedge[v]));
    // The boundary loop runs against the triangle: 0 -> 2 -> 1 -> 0.
    const uint32_t h = m.vertexHalfedge[0];
    EXPECT_EQ(m.halfedges[h].to, 2u);
    EXPECT_EQ(m.halfedges[m.halfedges[h].next].to, 1u);
}

TEST(BuildHalfedgeMesh, ClosedTetrahedronHasNoBoundary)
{
    HalfedgeMesh m;
    const auto tri = tris({0, 2, 1, 0, 1, 3, 1, 2, 3, 2, 0, 3});
    ASSERT_FALSE(buildHalfedgeMesh(tri, 4, m));
    EXPECT_EQ(m.halfedges.size(), 12u);
    EXPECT_TRUE(m.boundaryLoops.empty());
    EXPECT_TRUE(m.isManifold);
    EXPECT_EQ(expectConsistent(m, tri, 4), 0u);
    // Rotating around a vertex visits its three outgoing halfedges.
    const uint32_t h0 = m.vertexHalfedge[3];
    uint32_t h = h0;
    std::set<uint32_t> targets;
    for (int i = 0; i < 3; ++i) {
        targets.insert(m.halfedges[h].to);
        h = m.halfedges[twin(h)].next;
    }
    EXPECT_EQ(h, h0);
    EXPECT_EQ(targets, (std::set<uint32_t>{0, 1, 2}));
}

TEST(BuildHalfedgeMesh, BowtieGivesTwoLoopsThroughTheSharedVertex)
{
    HalfedgeMesh m;
    const auto tri = tris({0, 1, 2, 0, 3, 4});
    ASSERT_FALSE(buildHalfedgeMesh(tri, 5, m));
    EXPECT_FALSE(m.isManifold);
    EXPECT_FALSE(m.manifoldVertices[0]);
    for (uint32_t v = 1; v < 5; ++v)
        EXPECT_TRUE(m.manifoldVertices[v]);
    EXPECT_EQ(m.boundaryLoops.size(), 2u);
    EXPECT_EQ(expectConsistent(m, tri, 5), 6u);
    for (uint32_t start : m.boundaryLoops) {
        int through = 0, length = 0;
        uint32_t h = start;
        do {
            through += m.halfedges[h].to == 0;
            ++length;
            h = m.halfedges[h].next;
        } while (h != start);
        EXPECT_EQ(through, 1);
        EXPECT_EQ(length, 3);
    }
}

TEST(BuildHalfedgeMesh, LoopPassingAPinchedVertexTwiceIsSplit)
{
    // A strip of triangles bent round so that its two ends touch at vertex 0
    // only: one outline that passes vertex 0 twice before the split.
    const auto tri = tris({0, 1, 2, 1, 3, 2, 2, 3, 4, 3, 5, 4, 4, 5, 0, 5, 6, 0});
    HalfedgeMesh m;
    ASSERT_FALSE(buildHalfedgeMesh(tri, 7, m));
    EXPECT_FALSE(m.manifoldVertices[0]);
    EXPECT_EQ(m.boundaryLoops.size(), 2u);
    expectConsistent(m, tri, 7);
}

TEST(BuildHalfedgeMesh, RandomGridsKeepEveryInvariant)
{
    std::mt19937 rng(12345);
    for (int round = 0; round < 40; ++round) {
        size_t vertexCount = 0;
        const double drop = round < 5 ? 0.0 : 0.35;
        const auto tri = randomGrid(3 + round % 7, 2 + round % 5, drop, rng, vertexCount);
        if (tri.empty())
            continue;
        HalfedgeMesh m;
        ASSERT_FALSE(buildHalfedgeMesh(tri, vertexCount, m)) << round;
        expectConsistent(m, tri, vertexCount);
        // A vertex of a flat grid has several fans exactly when it has
        // several outgoing boundary halfedges.
        std::vector<int> outgoingBoundary(vertexCount, 0);
        for (uint32_t h = 0; h < m.halfedges.size(); ++h)
            outgoingBoundary[m.source(h)] += m.isBoundary(h);
        for (size_t v = 0; v < vertexCount; ++v)
            EXPECT_EQ(m.manifoldVertices[v], outgoingBoundary[v] <= 1) << round << " vertex " << v;
        if (drop == 0.0) {
            EXPECT_TRUE(m.isManifold);
            EXPECT_EQ(m.boundaryLoops.size(), 1u);
        }
    }
}

TEST(BuildHalfedgeMesh, NonManifoldEdgeFailsAndLeavesTheOutputAlone)
{
    HalfedgeMesh m;
    ASSERT_FALSE(buildHalfedgeMesh(tris({0, 1, 2}), 3, m));
    const size_t before = m.halfedges.size();
    EXPECT_TRUE(buildHalfedgeMesh(tris({0, 1, 2, 1, 0, 3, 0, 1, 4}), 5, m));
    EXPECT_EQ(m.halfedges.size(), before);
}

TEST(BuildHalfedgeMesh, UnreferencedVertexFailsWithAnEmptyMesh)
{
    HalfedgeMesh m;
    ASSERT_FALSE(buildHalfedgeMesh(tris({0, 1, 2}), 3, m));
    EXPECT_TRUE(buildHalfedgeMesh(tris({0, 1, 2}), 4, m));
    EXPECT_TRUE(m.empty());
    EXPECT_TRUE(m.vertexHalfedge.empty());
    EXPECT_TRUE(buildHalfedgeMesh(tris({}), 2, m));
    EXPECT_TRUE(buildHalfedgeMesh(tris({0, 1, 2}), size_t(1) << 62, m));
}

TEST(BuildHalfedgeMesh, MalformedInputFailsWithoutCrashing)
{
    HalfedgeMesh m;
    EXPECT_TRUE(buildHalfedgeMesh(tris({0, 1, 5}), 3, m));          // vertex out of range
    EXPECT_TRUE(m.empty());
    EXPECT_TRUE(buildHalfedgeMesh(tris({0, 1, 1, 0, 1, 2}), 3, m)); // repeated vertex
    EXPECT_TRUE(buildHalfedgeMesh(tris({0, 1, 2, 0}), 3, m));       // partial triangle
    EXPECT_TRUE(buildHalfedgeMesh(tris({0, 1, InvalidIndex}), 3, m));
    // No triangles and no vertices: nothing to build, nothing wrong.
    EXPECT_FALSE(buildHalfedgeMesh(tris({}), 0, m));
    EXPECT_TRUE(m.empty());
}

TEST(BuildHalfedgeMesh, InconsistentOrientationTerminatesWithClosedLoops)
{
    // Neighbours sharing edges in the same direction are not rejected; the
    // links are meaningless there, but every boundary loop must still close.
    const std::vector<iuv::UIntVector> cases = {
        tris({0, 1, 2, 0, 1, 3}),
        tris({0, 1, 2, 2, 1, 3, 3, 1, 4, 1, 0, 4}),
        tris({0, 1, 2, 0, 1, 3, 0, 4, 5, 0, 5, 6, 0, 6, 4}),
        tris({0, 1, 2, 0, 2, 3, 0, 3, 4, 0, 4, 1, 1, 2, 5, 5, 3, 4}),
    };
    for (const auto& tri : cases) {
        HalfedgeMesh m;
        uint32_t maxVertex = *std::max_element(tri.begin(), tri.end());
        ASSERT_FALSE(buildHalfedgeMesh(tri, maxVertex + 1, m));
        size_t covered = 0;
        for (uint32_t start : m.boundaryLoops) {
            uint32_t h = start;
            size_t steps = 0;
            do {
                ASSERT_LT(h, m.halfedges.size());
                ASSERT_TRUE(m.isBoundary(h));
                h = m.halfedges[h].next;
                ++steps;
            } while (h != start && steps <= m.halfedges.size());
            EXPECT_EQ(h, start);
            covered += steps;
        }
        size_t numBoundary = 0;
        for (uint32_t h = 0; h < m.halfedges.size(); ++h)
            numBoundary += m.isBoundary(h);
        EXPECT_EQ(covered, numBoundary);
    }
}
