#include "topology/halfedge.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <vector>

namespace {

iuv::UIntVector tris(std::vector<uint32_t> v) { return iuv::UIntVector(v); }

// Every structural invariant of a built mesh.
void expectConsistent(const HalfedgeMesh& m, const iuv::UIntVector& tri, size_t vertexCount)
{
    const size_t n = m.halfedges.size();
    ASSERT_EQ(m.vertexHalfedge.size(), vertexCount);
    std::vector<int> cornerUse(tri.size(), 0);
    size_t numBoundary = 0;
    for (uint32_t h = 0; h < n; ++h) {
        const Halfedge& e = m.halfedges[h];
        ASSERT_TRUE(e.next < n && e.prev < n);
        EXPECT_EQ(m.halfedges[e.next].prev, h);
        EXPECT_EQ(m.source(e.next), e.to);
        if (m.isBoundary(h)) {
            ++numBoundary;
            EXPECT_FALSE(m.isBoundary(twin(h)));
        } else {
            ASSERT_LT(e.corner, tri.size());
            ++cornerUse[e.corner];
            EXPECT_EQ(tri[e.corner], e.to);
            EXPECT_EQ(m.halfedges[m.halfedges[e.next].next].next, h);
        }
    }
    for (int use : cornerUse)
        EXPECT_EQ(use, 1);
    bool allManifold = true;
    for (size_t v = 0; v < vertexCount; ++v) {
        EXPECT_EQ(m.source(m.vertexHalfedge[v]), v);
        allManifold = allManifold && m.manifoldVertices[v];
    }
    EXPECT_EQ(m.isManifold, allManifold);
    // Loops cover each boundary halfedge once and pass each vertex at most once.
    std::vector<bool> seen(n, false);
    size_t covered = 0;
    for (uint32_t start : m.boundaryLoops) {
        std::set<uint32_t> sources;
        uint32_t h = start;
        do {
            ASSERT_TRUE(m.isBoundary(h) && !seen[h]);
            seen[h] = true;
            ++covered;
            EXPECT_TRUE(sources.insert(m.source(h)).second) << "loop passes a vertex twice";
            h = m.halfedges[h].next;
        } while (h != start && covered <= n);
    }
    EXPECT_EQ(covered, numBoundary);
}

} // namespace

TEST(MatchEdges, PartnersAndNonManifoldMarks)
{
    struct Case { std::vector<uint32_t> tri; size_t vertices; std::vector<uint32_t> partner; std::vector<bool> nonManifold; };
    const uint32_t X = InvalidIndex;
    const std::vector<Case> cases = {
        {{0, 1, 2, 0, 2, 3}, 4, {X, X, 3, 2, X, X}, {}},
        {{0, 1, 2, 0, 1, 3}, 4, {3, X, X, 0, X, X}, {}},                                   // same direction
        {{0, 1, 2, 1, 0, 3, 0, 1, 4}, 5, {3, X, X, 6, X, X, 0, X, X}, {1, 0, 0, 1, 0, 0, 1, 0, 0}}, // three on one edge
        {{7, 4000000, 9, 9, 4000000, 8, 1}, 3, {X, 3, X, 1, X, X}, {}},                    // out of range, partial
        {{5, 5, 6}, 7, {X, 2, 1}, {}},                                                      // repeated vertex
        {{0, 1, 2}, size_t(1) << 60, {X, X, X}, {}},                                        // huge vertex count
        {{}, 0, {}, {}},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        const auto m = matchEdges(tris(cases[i].tri), cases[i].vertices);
        ASSERT_EQ(m.size(), cases[i].partner.size()) << i;
        for (size_t c = 0; c < m.size(); ++c) {
            EXPECT_EQ(m[c].partner, cases[i].partner[c]) << i << " corner " << c;
            EXPECT_EQ(m[c].nonManifold, !cases[i].nonManifold.empty() && cases[i].nonManifold[c]) << i;
        }
    }
}

TEST(BuildHalfedgeMesh, LoopsManifoldVerticesAndRefusals)
{
    // loops < 0: the input is refused and the mesh left empty.
    struct Case { std::vector<uint32_t> tri; size_t vertices; int loops; std::vector<uint32_t> pinched; };
    const std::vector<Case> cases = {
        {{0, 1, 2}, 3, 1, {}},
        {{0, 2, 1, 0, 1, 3, 1, 2, 3, 2, 0, 3}, 4, 0, {}},                            // closed tetrahedron
        {{0, 1, 2, 0, 3, 4}, 5, 2, {0}},                                              // bowtie
        {{0, 1, 2, 1, 3, 2, 2, 3, 4, 3, 5, 4, 4, 5, 0, 5, 6, 0}, 7, 2, {0}},          // strip touching itself
        {{}, 0, 0, {}},
        {{0, 1, 2, 1, 0, 3, 0, 1, 4}, 5, -1, {}}, // three triangles on one edge
        {{0, 1, 2}, 4, -1, {}},                   // unreferenced vertex
        {{}, 2, -1, {}},
        {{0, 1, 2}, size_t(1) << 62, -1, {}},
        {{0, 1, 5}, 3, -1, {}},                   // vertex out of range
        {{0, 1, 1, 0, 1, 2}, 3, -1, {}},          // repeated vertex
        {{0, 1, 2, 0}, 3, -1, {}},                // partial triangle
        {{0, 1, InvalidIndex}, 3, -1, {}},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        HalfedgeMesh m;
        const auto tri = tris(cases[i].tri);
        ASSERT_EQ(buildHalfedgeMesh(tri, cases[i].vertices, m), cases[i].loops < 0) << i;
        if (cases[i].loops < 0) {
            EXPECT_TRUE(m.empty()) << i;
            continue;
        }
        expectConsistent(m, tri, cases[i].vertices);
        EXPECT_EQ(int(m.boundaryLoops.size()), cases[i].loops) << i;
        for (uint32_t v = 0; v < cases[i].vertices; ++v) {
            const bool pinched = std::find(cases[i].pinched.begin(), cases[i].pinched.end(), v) != cases[i].pinched.end();
            EXPECT_EQ(m.manifoldVertices[v], !pinched) << i << " vertex " << v;
        }
    }
}

TEST(BuildHalfedgeMesh, RandomGridsKeepEveryInvariant)
{
    // Grids with random diagonals and dropped triangles; a flat grid's vertex
    // has several fans exactly when it has several outgoing boundary halfedges.
    std::mt19937 rng(12345);
    for (int round = 0; round < 30; ++round) {
        const int nx = 3 + round % 7, ny = 2 + round % 5;
        std::vector<uint32_t> raw;
        for (int j = 0; j < ny; ++j)
            for (int i = 0; i < nx; ++i) {
                const uint32_t a = j * (nx + 1) + i, b = a + 1, d = a + nx + 1, c = d + 1;
                const std::vector<uint32_t> q = rng() % 2 ? std::vector<uint32_t>{a, b, c, a, c, d}
                                                          : std::vector<uint32_t>{a, b, d, b, c, d};
                for (int t = 0; t < 2; ++t)
                    if (round < 5 || rng() % 100 >= 35)
                        raw.insert(raw.end(), q.begin() + 3 * t, q.begin() + 3 * t + 3);
            }
        std::vector<uint32_t> map((nx + 1) * (ny + 1), InvalidIndex);
        uint32_t next = 0;
        for (uint32_t& v : raw)
            v = map[v] == InvalidIndex ? (map[v] = next++) : map[v];
        HalfedgeMesh m;
        const auto tri = tris(raw);
        ASSERT_FALSE(buildHalfedgeMesh(tri, next, m)) << round;
        expectConsistent(m, tri, next);
        std::vector<int> outgoingBoundary(next, 0);
        for (uint32_t h = 0; h < m.halfedges.size(); ++h)
            outgoingBoundary[m.source(h)] += m.isBoundary(h);
        for (size_t v = 0; v < next; ++v)
            EXPECT_EQ(m.manifoldVertices[v], outgoingBoundary[v] <= 1) << round << " vertex " << v;
    }
}

TEST(BuildHalfedgeMesh, InconsistentOrientationStillClosesEveryLoop)
{
    for (const auto& raw : std::vector<std::vector<uint32_t>>{
             {0, 1, 2, 0, 1, 3},
             {0, 1, 2, 0, 1, 3, 0, 4, 5, 0, 5, 6, 0, 6, 4},
             {0, 1, 2, 0, 2, 3, 0, 3, 4, 0, 4, 1, 1, 2, 5, 5, 3, 4}}) {
        HalfedgeMesh m;
        ASSERT_FALSE(buildHalfedgeMesh(tris(raw), *std::max_element(raw.begin(), raw.end()) + 1, m));
        size_t covered = 0, numBoundary = 0;
        for (uint32_t start : m.boundaryLoops) {
            uint32_t h = start;
            do {
                ASSERT_TRUE(h < m.halfedges.size() && m.isBoundary(h));
                h = m.halfedges[h].next;
            } while (h != start && ++covered <= m.halfedges.size());
            ++covered;
        }
        for (uint32_t h = 0; h < m.halfedges.size(); ++h)
            numBoundary += m.isBoundary(h);
        EXPECT_EQ(covered, numBoundary);
    }
}
