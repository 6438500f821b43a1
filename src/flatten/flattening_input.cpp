// The loader's entry to flattening: checks that an untextured mesh can be
// flattened, then flattens each of its connected pieces.
#include "flatten/flattening.h"
#include "topology/halfedge.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iostream>
#include <numeric>

namespace {

class DisjointSets {
public:
    explicit DisjointSets(size_t n) : parent_(n) { std::iota(parent_.begin(), parent_.end(), size_t(0)); }
    size_t find(size_t x)
    {
        while (parent_[x] != x) {
            parent_[x] = parent_[parent_[x]];
            x = parent_[x];
        }
        return x;
    }
    void unite(size_t a, size_t b)
    {
        a = find(a);
        b = find(b);
        if (a != b)
            parent_[std::max(a, b)] = std::min(a, b);
    }

private:
    std::vector<size_t> parent_;
};

bool refuse(FlatteningRefusal& refusal, const char* boxText, const char* consoleLine)
{
    refusal.boxText = boxText;
    refusal.consoleLine = consoleLine;
    return false;
}

bool refuseUnflattenable(FlatteningRefusal& refusal)
{
    return refuse(refusal, "Cannot process input: the mesh could not be flattened.", "Input could not be flattened.");
}

// One edge-connected piece of the mesh.
struct Piece {
    std::vector<uint32_t> triangles; // in input order
    std::vector<uint32_t> vertices;  // 3D vertices, increasing
    size_t boundaryLoops = 0;
};

// Number of boundary loops of a manifold, consistently oriented triangle list:
// each boundary vertex has exactly one outgoing boundary edge, so the loops
// are the cycles of "boundary edge -> boundary edge leaving its end".
void countBoundaryLoops(const iuv::UIntVector& tri, const std::vector<CornerMatch>& matches,
                        const std::vector<size_t>& pieceOfTriangle, std::vector<Piece>& pieces, size_t numVertices)
{
    std::vector<uint32_t> outgoing(numVertices, InvalidIndex); // boundary corner leaving each vertex
    for (size_t c = 0; c < tri.size(); ++c) {
        if (matches[c].partner == InvalidIndex)
            outgoing[tri[c]] = static_cast<uint32_t>(c);
    }
    std::vector<bool> visited(tri.size(), false);
    for (size_t c = 0; c < tri.size(); ++c) {
        if (matches[c].partner != InvalidIndex || visited[c])
            continue;
        ++pieces[pieceOfTriangle[c / 3]].boundaryLoops;
        size_t e = c;
        while (e != InvalidIndex && !visited[e]) {
            visited[e] = true;
            e = outgoing[tri[nextCorner(e)]];
        }
    }
}

// Flattens one piece on its own vertex numbering (its vertices in increasing
// 3D order); false when no usable layout came out.
bool flattenPiece(const iuv::UIntVector& tri, const iuv::DoubleVector& positions, const Piece& piece,
                  const std::vector<uint32_t>& localIndex, iuv::UIntVector& localTri, iuv::DoubleVector& localPos,
                  iuv::DoubleVector& localUV)
{
    localTri.clear();
    for (uint32_t t : piece.triangles) {
        for (size_t k = 0; k < 3; ++k)
            localTri.push_back(localIndex[tri[3 * t + k]]);
    }
    localPos.clear();
    for (uint32_t v : piece.vertices)
        localPos.insert(localPos.end(), positions.begin() + 3 * v, positions.begin() + 3 * v + 3);

    if (piece.boundaryLoops > 1) {
        std::cout << "The mesh has " << piece.boundaryLoops
                  << " boundary loops; its flattened layout may overlap itself." << std::endl;
    }
    Chart local;
    local.triIndicesPos = localTri;
    local.triIndicesUV = localTri;
    local.uvCoords2D.assign(2 * piece.vertices.size(), 0.0);
    if (!runAngleFlattening(local, localPos, nullptr).flattened)
        return false;
    for (double x : local.uvCoords2D) {
        if (!std::isfinite(x))
            return false;
    }
    const double area = chartArea(local, localPos, true);
    if (!(area > 0.0) || !std::isfinite(area))
        return false;
    localUV = local.uvCoords2D;
    return true;
}

} // namespace

bool flattenUntexturedChart(Chart& chart, const iuv::DoubleVector& sharedPositions, FlatteningRefusal& refusal)
{
    const iuv::UIntVector& tri = chart.triIndicesPos;
    const size_t numVertices = sharedPositions.size() / 3;
    const size_t numTriangles = tri.size() / 3;

    if (numTriangles == 0 || tri.size() % 3 != 0)
        return refuse(refusal, "Cannot process input: must have triangles.", "Input must have triangles.");
    std::vector<bool> used(numVertices, false);
    for (uint32_t v : tri) {
        if (v >= numVertices)
            return refuse(refusal, "Cannot process input: a triangle refers to a vertex that does not exist.",
                          "Input must only refer to existing vertices.");
        used[v] = true;
    }
    for (size_t v = 0; v < numVertices; ++v) {
        if (used[v] && !std::isfinite(sharedPositions[3 * v] + sharedPositions[3 * v + 1] + sharedPositions[3 * v + 2]))
            return refuse(refusal, "Cannot process input: must have finite vertex coordinates.",
                          "Input must have finite vertex coordinates.");
    }
    for (size_t t = 0; t < numTriangles; ++t) {
        if (tri[3 * t] == tri[3 * t + 1] || tri[3 * t + 1] == tri[3 * t + 2] || tri[3 * t + 2] == tri[3 * t])
            return refuse(refusal, "Cannot process input: must not have degenerate triangles.",
                          "Input must not have degenerate triangles.");
    }

    const char* const nonManifoldBox =
        "Cannot process input: a mesh without texture coordinates must be manifold to be flattened.";
    const char* const nonManifoldLine = "Input without texture coordinates must be manifold.";
    const std::vector<CornerMatch> matches = matchEdges(tri, numVertices);
    DisjointSets fans(tri.size());
    DisjointSets pieces(numTriangles);
    for (size_t c = 0; c < tri.size(); ++c) {
        if (matches[c].nonManifold)
            return refuse(refusal, nonManifoldBox, nonManifoldLine);
        const uint64_t p = matches[c].partner;
        if (p == InvalidIndex)
            continue;
        if (tri[c] != tri[nextCorner(p)] || tri[nextCorner(c)] != tri[p])
            return refuse(refusal,
                          "Cannot process input: a mesh without texture coordinates must be consistently oriented "
                          "to be flattened.",
                          "Input without texture coordinates must be consistently oriented.");
        fans.unite(c, nextCorner(p)); // the corners at tri[c] on both sides of the edge
        pieces.unite(c / 3, p / 3);
    }
    // Every vertex needs a single fan of triangles around it.
    std::vector<size_t> fanOfVertex(numVertices, SIZE_MAX);
    for (size_t c = 0; c < tri.size(); ++c) {
        const size_t root = fans.find(c);
        size_t& seen = fanOfVertex[tri[c]];
        if (seen == SIZE_MAX)
            seen = root;
        else if (seen != root)
            return refuse(refusal, nonManifoldBox, nonManifoldLine);
    }

    // Pieces in the order of their first triangle; each vertex belongs to one.
    std::vector<size_t> pieceOfRoot(numTriangles, SIZE_MAX);
    std::vector<size_t> pieceOfTriangle(numTriangles);
    std::vector<Piece> pieceList;
    for (size_t t = 0; t < numTriangles; ++t) {
        size_t& index = pieceOfRoot[pieces.find(t)];
        if (index == SIZE_MAX) {
            index = pieceList.size();
            pieceList.emplace_back();
        }
        pieceOfTriangle[t] = index;
        pieceList[index].triangles.push_back(static_cast<uint32_t>(t));
    }
    std::vector<size_t> pieceOfVertex(numVertices, SIZE_MAX);
    for (size_t c = 0; c < tri.size(); ++c)
        pieceOfVertex[tri[c]] = pieceOfTriangle[c / 3];
    std::vector<uint32_t> localIndex(numVertices, InvalidIndex);
    std::vector<uint32_t> uvIndex(numVertices, InvalidIndex);
    uint32_t numUsed = 0;
    for (size_t v = 0; v < numVertices; ++v) {
        if (!used[v])
            continue;
        Piece& piece = pieceList[pieceOfVertex[v]];
        localIndex[v] = static_cast<uint32_t>(piece.vertices.size());
        piece.vertices.push_back(static_cast<uint32_t>(v));
        uvIndex[v] = numUsed++;
    }
    countBoundaryLoops(tri, matches, pieceOfTriangle, pieceList, numVertices);
    for (const Piece& piece : pieceList) {
        if (piece.boundaryLoops == 0)
            return refuse(refusal,
                          "Cannot process input: a mesh without texture coordinates must have a boundary to be "
                          "flattened.",
                          "Input without texture coordinates must have a boundary.");
    }

    // Each piece is laid out on its own. Several pieces are brought to their
    // 3D scale and placed side by side, left to right in piece order.
    iuv::DoubleVector uv(2 * static_cast<size_t>(numUsed), 0.0);
    iuv::UIntVector localTri;
    iuv::DoubleVector localPos;
    iuv::DoubleVector localUV;
    double offsetU = 0.0;
    for (const Piece& piece : pieceList) {
        if (!flattenPiece(tri, sharedPositions, piece, localIndex, localTri, localPos, localUV))
            return refuseUnflattenable(refusal);
        if (pieceList.size() > 1) {
            Chart flattened;
            flattened.triIndicesPos = localTri;
            flattened.triIndicesUV = localTri;
            flattened.uvCoords2D = localUV;
            const double area3D = chartArea(flattened, localPos, false);
            const double scale = area3D > 0.0 && std::isfinite(area3D)
                                     ? std::sqrt(area3D / chartArea(flattened, localPos, true)) : 1.0;
            UVBox box;
            for (size_t k = 0; k < piece.vertices.size(); ++k)
                box.include(localUV[2 * k] * scale, localUV[2 * k + 1] * scale);
            for (size_t k = 0; k < piece.vertices.size(); ++k) {
                localUV[2 * k] = localUV[2 * k] * scale - box.minU + offsetU;
                localUV[2 * k + 1] = localUV[2 * k + 1] * scale - box.minV;
            }
            offsetU += box.width() * 1.05;
        }
        for (size_t k = 0; k < piece.vertices.size(); ++k) {
            const uint32_t target = uvIndex[piece.vertices[k]];
            uv[2 * target] = localUV[2 * k];
            uv[2 * target + 1] = localUV[2 * k + 1];
        }
    }
    for (double x : uv) {
        if (!std::isfinite(x))
            return refuseUnflattenable(refusal);
    }

    chart.triIndicesUV.resize(tri.size());
    for (size_t c = 0; c < tri.size(); ++c)
        chart.triIndicesUV[c] = uvIndex[tri[c]];
    chart.uvCoords2D = uv;
    return true;
}
