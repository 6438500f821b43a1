#pragma once

#include "model/iuv_vector.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Marks a missing halfedge, corner or vertex.
constexpr uint32_t InvalidIndex = 0xFFFFFFFFu;

// Corner c of a triangle is followed by nextCorner(c) in the same triangle.
inline size_t nextCorner(size_t c) { return 3 * (c / 3) + (c + 1) % 3; }
inline size_t prevCorner(size_t c) { return 3 * (c / 3) + (c + 2) % 3; }

// Edge matching result of one corner: the edge of corner c runs from the
// vertex at c to the vertex at nextCorner(c).
struct CornerMatch {
    uint64_t partner = InvalidIndex; // partner corner, InvalidIndex when none
    bool nonManifold = false;        // the edge is shared by three or more corners
};

// Matches the edges of a triangle index list (three vertex numbers per
// triangle) through per-vertex buckets. Orientation is not compared. Vertex
// numbers at or above vertexCount are tolerated (the buckets grow to fit).
std::vector<CornerMatch> matchEdges(const iuv::UIntVector& triIndices, size_t vertexCount);

struct Halfedge {
    uint32_t to = InvalidIndex;
    uint32_t corner = InvalidIndex; // corner at the target vertex, InvalidIndex on the boundary
    uint32_t next = InvalidIndex;
    uint32_t prev = InvalidIndex;
};

inline uint32_t twin(uint32_t h) { return h ^ 1u; }

struct HalfedgeMesh {
    std::vector<Halfedge> halfedges;       // twin pairs stored consecutively
    std::vector<uint32_t> vertexHalfedge;  // one outgoing halfedge per vertex
    std::vector<bool> manifoldVertices;    // one bit per vertex
    bool isManifold = true;
    std::vector<uint32_t> boundaryLoops;   // one boundary halfedge per loop

    bool empty() const { return halfedges.empty(); }
    void clear();
    uint32_t source(uint32_t h) const { return halfedges[twin(h)].to; }
    bool isBoundary(uint32_t h) const { return halfedges[h].corner == InvalidIndex; }
};

// Builds the halfedge structure. Returns true when the build FAILED (an edge
// shared by three or more triangles, or a vertex that no triangle uses); the
// mesh is then empty.
bool buildHalfedgeMesh(const iuv::UIntVector& triIndices, size_t vertexCount, HalfedgeMesh& out);
