#include "topology/halfedge.h"

#include <algorithm>
#include <utility>

void HalfedgeMesh::clear() { *this = HalfedgeMesh(); }

// ---------------------------------------------------------------------------
// Edge matching
// ---------------------------------------------------------------------------

namespace {

struct BucketEntry {
    uint32_t larger; // the larger vertex of the edge
    size_t corner;   // the corner the edge starts at
};

// Stable insertion sort by the larger vertex only; buckets hold a vertex's
// edges, so they are short.
void sortBucket(BucketEntry* first, BucketEntry* last)
{
    if (last - first > 32) {
        std::stable_sort(first, last,
                         [](const BucketEntry& a, const BucketEntry& b) { return a.larger < b.larger; });
        return;
    }
    for (BucketEntry* i = first + 1; i < last; ++i) {
        const BucketEntry value = *i;
        BucketEntry* j = i;
        while (j > first && (j - 1)->larger > value.larger) {
            *j = *(j - 1);
            --j;
        }
        *j = value;
    }
}

} // namespace

std::vector<CornerMatch> matchEdges(const iuv::UIntVector& triIndices, size_t /*vertexCount*/)
{
    // Only whole triangles take part; the buckets are sized by the vertex
    // numbers actually used, so neither a too small nor a huge vertex count
    // can make the matching index out of range.
    const size_t numCorners = triIndices.size() / 3 * 3;
    std::vector<CornerMatch> result(numCorners);
    if (numCorners == 0)
        return result;

    size_t numBuckets = 0;
    for (size_t c = 0; c < numCorners; ++c)
        numBuckets = std::max(numBuckets, static_cast<size_t>(triIndices[c]) + 1);

    // Per-vertex buckets in one flat array: count, prefix sums, fill.
    std::vector<size_t> bucketStart(numBuckets + 1, 0);
    for (size_t c = 0; c < numCorners; ++c) {
        const uint32_t a = triIndices[c];
        const uint32_t b = triIndices[nextCorner(c)];
        ++bucketStart[std::min(a, b) + size_t(1)];
    }
    for (size_t v = 0; v < numBuckets; ++v)
        bucketStart[v + 1] += bucketStart[v];

    std::vector<BucketEntry> entries(numCorners);
    std::vector<size_t> cursor(bucketStart.begin(), bucketStart.end() - 1);
    for (size_t c = 0; c < numCorners; ++c) {
        const uint32_t a = triIndices[c];
        const uint32_t b = triIndices[nextCorner(c)];
        entries[cursor[std::min(a, b)]++] = BucketEntry{std::max(a, b), c};
    }

    for (size_t v = 0; v < numBuckets; ++v) {
        BucketEntry* first = entries.data() + bucketStart[v];
        BucketEntry* last = entries.data() + bucketStart[v + 1];
        if (last - first < 2)
            continue;
        sortBucket(first, last);

        // Runs of equal larger vertex: a cycle of partners.
        for (BucketEntry* run = first; run < last;) {
            BucketEntry* runEnd = run + 1;
            while (runEnd < last && runEnd->larger == run->larger)
                ++runEnd;
            const size_t length = static_cast<size_t>(runEnd - run);
            if (length >= 2) {
                for (size_t i = 0; i < length; ++i) {
                    CornerMatch& m = result[run[i].corner];
                    m.partner = run[(i + 1) % length].corner;
                    m.nonManifold = length >= 3;
                }
            }
            run = runEnd;
        }
    }
    return result;
}

// ---------------------------------------------------------------------------
// Halfedge construction
// ---------------------------------------------------------------------------

namespace {

// Inputs that the construction cannot represent: a partial triangle, a vertex
// number outside the vertex range, a triangle that repeats a vertex (its edges
// would be loops), or more halfedges than 32-bit numbers can address. A vertex
// count above the number of corners always leaves a vertex unreferenced.
bool isUnbuildable(const iuv::UIntVector& tri, size_t vertexCount)
{
    if (tri.size() % 3 != 0)
        return true;
    if (vertexCount > tri.size())
        return true;
    if (2 * tri.size() >= static_cast<size_t>(InvalidIndex))
        return true;
    for (size_t t = 0; t + 2 < tri.size(); t += 3) {
        const uint32_t a = tri[t], b = tri[t + 1], c = tri[t + 2];
        if (a >= vertexCount || b >= vertexCount || c >= vertexCount)
            return true;
        if (a == b || b == c || a == c)
            return true;
    }
    return false;
}

// Outgoing halfedges grouped by source vertex (counting sort): the halfedges
// of vertex v are list[start[v]] .. list[start[v + 1] - 1], in index order.
struct OutgoingGroups {
    std::vector<uint32_t> start;
    std::vector<uint32_t> list;

    OutgoingGroups(const HalfedgeMesh& mesh, size_t vertexCount) : start(vertexCount + 1, 0)
    {
        const size_t n = mesh.halfedges.size();
        for (size_t h = 0; h < n; ++h)
            ++start[mesh.halfedges[h ^ 1].to + size_t(1)];
        for (size_t v = 0; v < vertexCount; ++v)
            start[v + 1] += start[v];
        list.resize(n);
        std::vector<uint32_t> cursor(start.begin(), start.end() - 1);
        for (size_t h = 0; h < n; ++h)
            list[cursor[mesh.halfedges[h ^ 1].to]++] = static_cast<uint32_t>(h);
    }
    uint32_t count(size_t v) const { return start[v + 1] - start[v]; }
};

// Step 11: a boundary vertex whose fan (counted from its boundary halfedge
// until the rotation reaches the boundary again) holds fewer halfedges than
// the vertex has outgoing ones has several fans.
void markNonManifoldVertices(HalfedgeMesh& mesh, const OutgoingGroups& groups)
{
    const size_t numVertices = mesh.vertexHalfedge.size();
    const size_t limit = mesh.halfedges.size();
    mesh.manifoldVertices.assign(numVertices, true);
    mesh.isManifold = true;
    for (size_t v = 0; v < numVertices; ++v) {
        const uint32_t h0 = mesh.vertexHalfedge[v];
        if (!mesh.isBoundary(h0))
            continue;
        size_t fan = 1;
        uint32_t o = h0;
        while (fan <= limit) {
            const uint32_t n = mesh.halfedges[twin(o)].next;
            if (n == InvalidIndex)
                break;
            o = n;
            ++fan;
        }
        if (fan < groups.count(v)) {
            mesh.manifoldVertices[v] = false;
            mesh.isManifold = false;
        }
    }
}

void link(HalfedgeMesh& mesh, uint32_t from, uint32_t to)
{
    mesh.halfedges[from].next = to;
    mesh.halfedges[to].prev = from;
}

// The boundary halfedge that follows boundary halfedge h (pointing to b)
// around the same fan of b: rotate backwards through the triangles of the fan
// until the rotation meets the boundary. InvalidIndex when the links are not
// those of a consistently oriented fan.
uint32_t fanSuccessor(const HalfedgeMesh& mesh, uint32_t h)
{
    const size_t limit = mesh.halfedges.size();
    uint32_t x = mesh.halfedges[twin(h)].prev;
    for (size_t steps = 0; x != InvalidIndex && steps <= limit; ++steps) {
        if (mesh.isBoundary(twin(x)))
            return twin(x);
        x = mesh.halfedges[twin(x)].prev;
    }
    return InvalidIndex;
}

// Records the loop through boundary halfedge h: follows the next links,
// marking every halfedge, and repairs the prev links along the way. A chain
// that does not lead back to h (possible only for inconsistently oriented
// input) is closed at h, so every recorded loop is a cycle of distinct
// boundary halfedges that no other loop shares.
void recordLoop(HalfedgeMesh& mesh, uint32_t h, std::vector<bool>& recorded)
{
    recorded[h] = true;
    uint32_t cur = h;
    for (;;) {
        const uint32_t n = mesh.halfedges[cur].next;
        if (n == h) {
            mesh.halfedges[h].prev = cur;
            break;
        }
        if (n == InvalidIndex || !mesh.isBoundary(n) || recorded[n]) {
            link(mesh, cur, h);
            break;
        }
        mesh.halfedges[n].prev = cur;
        recorded[n] = true;
        cur = n;
    }
    mesh.boundaryLoops.push_back(h);
}

// Step 13: boundary loops through vertices with several fans. The loops are
// linked fan by fan and then split so that every loop passes each such vertex
// once. All vertices are linked and split before any loop is recorded, so a
// loop through two of them is recorded once, in its final shape.
void linkNonManifoldLoops(HalfedgeMesh& mesh, const OutgoingGroups& groups, std::vector<bool>& recorded)
{
    const size_t numVertices = mesh.vertexHalfedge.size();
    const size_t limit = mesh.halfedges.size();
    std::vector<bool> linked(mesh.halfedges.size(), false);

    // a. Link the loops, choosing the successor in the same fan at vertices
    //    with several fans.
    for (size_t v = 0; v < numVertices; ++v) {
        if (mesh.manifoldVertices[v])
            continue;
        for (uint32_t i = groups.start[v]; i < groups.start[v + 1]; ++i) {
            uint32_t cur = groups.list[i];
            if (!mesh.isBoundary(cur) || linked[cur])
                continue;
            for (size_t steps = 0; steps <= limit; ++steps) {
                linked[cur] = true;
                const uint32_t b = mesh.halfedges[cur].to;
                const uint32_t succ = mesh.manifoldVertices[b] ? mesh.vertexHalfedge[b] : fanSuccessor(mesh, cur);
                if (succ == InvalidIndex || !mesh.isBoundary(succ))
                    break;
                link(mesh, cur, succ);
                if (linked[succ])
                    break;
                cur = succ;
            }
        }
    }

    // b. Close a loop the first time it comes back to the vertex.
    for (size_t v = 0; v < numVertices; ++v) {
        if (mesh.manifoldVertices[v])
            continue;
        for (uint32_t i = groups.start[v]; i < groups.start[v + 1]; ++i) {
            const uint32_t h = groups.list[i];
            if (!mesh.isBoundary(h))
                continue;
            uint32_t e = h;
            bool found = false;
            for (size_t steps = 0; e != InvalidIndex && steps <= limit; ++steps) {
                if (mesh.halfedges[e].to == v) {
                    found = true;
                    break;
                }
                e = mesh.halfedges[e].next;
            }
            if (!found)
                continue;
            const uint32_t f = mesh.halfedges[e].next;
            const uint32_t q = mesh.halfedges[h].prev;
            if (f == InvalidIndex || q == InvalidIndex)
                continue;
            link(mesh, q, f);
            link(mesh, e, h);
        }
    }

    // c. Record one halfedge per loop, vertex by vertex.
    for (size_t v = 0; v < numVertices; ++v) {
        if (mesh.manifoldVertices[v])
            continue;
        for (uint32_t i = groups.start[v]; i < groups.start[v + 1]; ++i) {
            const uint32_t h = groups.list[i];
            if (mesh.isBoundary(h) && !recorded[h])
                recordLoop(mesh, h, recorded);
        }
    }
}

// Step 14: the remaining loops only pass vertices with a single fan, whose
// vertexHalfedge is their one outgoing boundary halfedge.
void linkManifoldLoops(HalfedgeMesh& mesh, std::vector<bool>& recorded)
{
    const size_t n = mesh.halfedges.size();
    for (size_t i = 0; i < n; ++i) {
        const uint32_t h = static_cast<uint32_t>(i);
        if (!mesh.isBoundary(h) || recorded[h])
            continue;
        recorded[h] = true;
        uint32_t cur = h;
        for (;;) {
            const uint32_t s = mesh.vertexHalfedge[mesh.halfedges[cur].to];
            if (s == h || !mesh.isBoundary(s) || recorded[s]) {
                link(mesh, cur, h);
                break;
            }
            link(mesh, cur, s);
            recorded[s] = true;
            cur = s;
        }
        mesh.boundaryLoops.push_back(h);
    }
}

} // namespace

bool buildHalfedgeMesh(const iuv::UIntVector& triIndices, size_t vertexCount, HalfedgeMesh& out)
{
    if (isUnbuildable(triIndices, vertexCount)) {
        out.clear();
        return true;
    }

    const std::vector<CornerMatch> match = matchEdges(triIndices, vertexCount);
    for (const CornerMatch& m : match)
        if (m.nonManifold)
            return true; // out stays as it was

    out.clear();
    const size_t numCorners = triIndices.size();
    std::vector<Halfedge>& he = out.halfedges;
    he.reserve(2 * numCorners);

    // 6. One twin pair per edge; the partner corner takes the twin.
    std::vector<uint32_t> cornerHalfedge(numCorners, InvalidIndex);
    for (size_t c = 0; c < numCorners; ++c) {
        if (cornerHalfedge[c] != InvalidIndex)
            continue;
        const uint32_t h = static_cast<uint32_t>(he.size());
        cornerHalfedge[c] = h;
        Halfedge own;
        own.to = triIndices[nextCorner(c)];
        own.corner = static_cast<uint32_t>(nextCorner(c));
        Halfedge other;
        other.to = triIndices[c];
        const uint64_t p = match[c].partner;
        if (p != InvalidIndex && p < numCorners && cornerHalfedge[p] == InvalidIndex) {
            other.corner = static_cast<uint32_t>(nextCorner(p));
            cornerHalfedge[p] = h + 1;
        }
        he.push_back(own);
        he.push_back(other);
    }

    // 7. One outgoing halfedge per vertex, a boundary one where possible.
    out.vertexHalfedge.assign(vertexCount, InvalidIndex);
    for (size_t h = 0; h < he.size(); ++h) {
        const uint32_t source = he[h ^ 1].to;
        if (he[h].corner == InvalidIndex || out.vertexHalfedge[source] == InvalidIndex)
            out.vertexHalfedge[source] = static_cast<uint32_t>(h);
    }

    // 10. Every vertex must be used by a triangle.
    for (uint32_t h : out.vertexHalfedge) {
        if (h == InvalidIndex) {
            out.clear();
            return true;
        }
    }

    // 8. Outgoing halfedges by vertex.
    const OutgoingGroups groups(out, vertexCount);

    // 9. Links inside each triangle.
    for (size_t c = 0; c < numCorners; ++c) {
        Halfedge& h = he[cornerHalfedge[c]];
        h.next = cornerHalfedge[nextCorner(c)];
        h.prev = cornerHalfedge[prevCorner(c)];
    }

    // 11.-14. Manifold vertices and boundary loops.
    markNonManifoldVertices(out, groups);
    std::vector<bool> recorded(he.size(), false);
    if (!out.isManifold)
        linkNonManifoldLoops(out, groups, recorded);
    linkManifoldLoops(out, recorded);
    return false;
}
