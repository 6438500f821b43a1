#include "mesh_checks.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>
#include <sstream>
#include <unordered_map>
#include <utility>

namespace meshchecks {

using meshgen::MeshData;

namespace {

uint64_t edgeKey(uint32_t a, uint32_t b)
{
    return (uint64_t(a) << 32) | b;
}

double cross2(const double* a, const double* b, const double* c)
{
    return (b[0] - a[0]) * (c[1] - a[1]) - (c[0] - a[0]) * (b[1] - a[1]);
}

template <typename T>
std::string str(const T& value)
{
    std::ostringstream s;
    s << value;
    return s.str();
}

struct UnionFind {
    std::vector<size_t> parent;
    explicit UnionFind(size_t n) : parent(n) { std::iota(parent.begin(), parent.end(), 0); }
    size_t find(size_t x)
    {
        while (parent[x] != x)
            x = parent[x] = parent[parent[x]];
        return x;
    }
    void unite(size_t a, size_t b) { parent[find(a)] = find(b); }
};

} // namespace

std::vector<std::string> basicProblems(const MeshData& mesh)
{
    std::vector<std::string> problems;
    if (mesh.positions.size() % 3 != 0)
        problems.push_back("positions not a multiple of 3");
    if (mesh.posIndices.size() % 3 != 0)
        problems.push_back("posIndices not a multiple of 3");
    if (mesh.uvs.size() % 2 != 0)
        problems.push_back("uvs not a multiple of 2");
    const bool textured = !mesh.uvIndices.empty();
    if (textured && mesh.uvIndices.size() != mesh.posIndices.size())
        problems.push_back("uvIndices and posIndices differ in length");
    if (!mesh.colors.empty() && mesh.colors.size() != mesh.positions.size())
        problems.push_back("colours not one triple per vertex");
    if (!problems.empty())
        return problems;

    const size_t nv = mesh.numVertices(), nuv = mesh.numUVVertices();
    std::vector<bool> usedPos(nv, false), usedUV(nuv, false);
    std::vector<uint32_t> posOfUV(nuv, 0xFFFFFFFFu);
    for (size_t c = 0; c < mesh.posIndices.size(); ++c) {
        if (mesh.posIndices[c] >= nv) {
            problems.push_back("3D index out of range at corner " + str(c));
            return problems;
        }
        usedPos[mesh.posIndices[c]] = true;
        if (!textured)
            continue;
        const uint32_t t = mesh.uvIndices[c];
        if (t >= nuv) {
            problems.push_back("UV index out of range at corner " + str(c));
            return problems;
        }
        usedUV[t] = true;
        if (posOfUV[t] == 0xFFFFFFFFu)
            posOfUV[t] = mesh.posIndices[c];
        else if (posOfUV[t] != mesh.posIndices[c])
            problems.push_back("UV vertex " + str(t) + " stands for two 3D vertices");
    }
    if (std::count(usedPos.begin(), usedPos.end(), false) > 0)
        problems.push_back("unused 3D vertices");
    if (std::count(usedUV.begin(), usedUV.end(), false) > 0)
        problems.push_back("unused UV vertices");
    for (uint32_t c : mesh.cones)
        if (c >= nv)
            problems.push_back("cone out of range: " + str(c));
    for (double x : mesh.positions)
        if (!std::isfinite(x))
            problems.push_back("non-finite position");
    for (double x : mesh.uvs)
        if (!std::isfinite(x))
            problems.push_back("non-finite UV");

    for (size_t t = 0; t < mesh.numTriangles(); ++t) {
        const uint32_t* p = &mesh.posIndices[3 * t];
        if (p[0] == p[1] || p[1] == p[2] || p[0] == p[2])
            problems.push_back("repeated 3D corner in triangle " + str(t));
        if (textured) {
            const uint32_t* q = &mesh.uvIndices[3 * t];
            if (q[0] == q[1] || q[1] == q[2] || q[0] == q[2])
                problems.push_back("repeated UV corner in triangle " + str(t));
        }
        const double* a = &mesh.positions[3 * p[0]];
        const double* b = &mesh.positions[3 * p[1]];
        const double* c = &mesh.positions[3 * p[2]];
        const double e1[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
        const double e2[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
        const double n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                             e1[0] * e2[1] - e1[1] * e2[0]};
        if (!(n[0] * n[0] + n[1] * n[1] + n[2] * n[2] > 0.0))
            problems.push_back("zero 3D area in triangle " + str(t));
        if (problems.size() > 20)
            break;
    }
    return problems;
}

std::vector<std::string> manifoldProblems(const MeshData& mesh)
{
    std::vector<std::string> problems;
    std::unordered_map<uint64_t, size_t> directed;
    for (size_t t = 0; t < mesh.numTriangles(); ++t)
        for (int i = 0; i < 3; ++i) {
            const uint32_t a = mesh.posIndices[3 * t + i], b = mesh.posIndices[3 * t + (i + 1) % 3];
            if (++directed[edgeKey(a, b)] > 1)
                problems.push_back("directed edge " + str(a) + "-" + str(b) + " used twice");
        }
    // Around each vertex the triangles must form one fan: link the triangles
    // through the edges at the vertex and count the groups.
    std::vector<std::vector<size_t>> trianglesAt(mesh.numVertices());
    for (size_t t = 0; t < mesh.numTriangles(); ++t)
        for (int i = 0; i < 3; ++i)
            trianglesAt[mesh.posIndices[3 * t + i]].push_back(t);
    for (size_t v = 0; v < trianglesAt.size() && problems.size() < 20; ++v) {
        const std::vector<size_t>& around = trianglesAt[v];
        UnionFind groups(around.size());
        std::map<uint32_t, size_t> firstWithNeighbour;
        for (size_t k = 0; k < around.size(); ++k) {
            const uint32_t* p = &mesh.posIndices[3 * around[k]];
            for (int i = 0; i < 3; ++i) {
                if (p[i] == v)
                    continue;
                const auto found = firstWithNeighbour.emplace(p[i], k);
                if (!found.second)
                    groups.unite(k, found.first->second);
            }
        }
        size_t fans = 0;
        for (size_t k = 0; k < around.size(); ++k)
            fans += groups.find(k) == k;
        if (fans > 1)
            problems.push_back("vertex " + str(v) + " joins " + str(fans) + " fans");
    }
    return problems;
}

std::vector<std::string> orientationProblems(const MeshData& mesh)
{
    std::vector<std::string> problems;
    for (size_t t = 0; t < mesh.numTriangles() && mesh.isTextured(); ++t) {
        const uint32_t* q = &mesh.uvIndices[3 * t];
        const double cross = cross2(&mesh.uvs[2 * q[0]], &mesh.uvs[2 * q[1]], &mesh.uvs[2 * q[2]]);
        if (!(cross > 0.0)) {
            problems.push_back("UV triangle " + str(t) + " not counter-clockwise (" + str(cross) + ")");
            if (problems.size() > 20)
                break;
        }
    }
    return problems;
}

Topology topology(const MeshData& mesh)
{
    Topology topo;
    topo.triangles = mesh.numTriangles();
    std::unordered_map<uint64_t, int> undirected;
    std::vector<bool> used(mesh.numVertices(), false);
    for (size_t t = 0; t < mesh.numTriangles(); ++t)
        for (int i = 0; i < 3; ++i) {
            const uint32_t a = mesh.posIndices[3 * t + i], b = mesh.posIndices[3 * t + (i + 1) % 3];
            used[a] = true;
            ++undirected[edgeKey(std::min(a, b), std::max(a, b))];
        }
    topo.vertices = size_t(std::count(used.begin(), used.end(), true));
    topo.edges = undirected.size();
    for (const auto& e : undirected)
        topo.boundaryEdges += e.second == 1;

    if (!mesh.isTextured())
        return topo;
    std::unordered_map<uint64_t, size_t> triangleOfUVEdge;
    for (size_t t = 0; t < mesh.numTriangles(); ++t)
        for (int i = 0; i < 3; ++i)
            triangleOfUVEdge[edgeKey(mesh.uvIndices[3 * t + i], mesh.uvIndices[3 * t + (i + 1) % 3])] = t;
    UnionFind groups(mesh.numTriangles());
    for (const auto& e : triangleOfUVEdge) {
        const auto twin = triangleOfUVEdge.find((e.first << 32) | (e.first >> 32));
        if (twin == triangleOfUVEdge.end())
            ++topo.uvBoundaryEdges;
        else
            groups.unite(e.second, twin->second);
    }
    for (size_t t = 0; t < mesh.numTriangles(); ++t)
        topo.uvComponents += groups.find(t) == t;
    return topo;
}

bool uvBoundaryCrossesItself(const MeshData& mesh)
{
    if (!mesh.isTextured())
        return false;
    std::unordered_map<uint64_t, bool> edges;
    for (size_t t = 0; t < mesh.numTriangles(); ++t)
        for (int i = 0; i < 3; ++i)
            edges[edgeKey(mesh.uvIndices[3 * t + i], mesh.uvIndices[3 * t + (i + 1) % 3])] = true;
    std::vector<std::pair<uint32_t, uint32_t>> boundary;
    for (const auto& e : edges)
        if (!edges.count((e.first << 32) | (e.first >> 32)))
            boundary.emplace_back(uint32_t(e.first >> 32), uint32_t(e.first & 0xFFFFFFFFu));

    auto uv = [&](uint32_t k) { return &mesh.uvs[2 * k]; };
    auto onSegment = [&](const double* a, const double* b, const double* p) {
        return std::min(a[0], b[0]) <= p[0] && p[0] <= std::max(a[0], b[0]) && std::min(a[1], b[1]) <= p[1] &&
               p[1] <= std::max(a[1], b[1]);
    };
    auto sign = [](double x) { return (x > 0.0) - (x < 0.0); };
    // Sort by the left end of the edges' boxes and sweep.
    std::sort(boundary.begin(), boundary.end(), [&](const auto& e, const auto& f) {
        return std::min(uv(e.first)[0], uv(e.second)[0]) < std::min(uv(f.first)[0], uv(f.second)[0]);
    });
    for (size_t i = 0; i < boundary.size(); ++i) {
        const double* a = uv(boundary[i].first);
        const double* b = uv(boundary[i].second);
        const double maxU = std::max(a[0], b[0]);
        for (size_t j = i + 1; j < boundary.size(); ++j) {
            const double* c = uv(boundary[j].first);
            const double* d = uv(boundary[j].second);
            if (std::min(c[0], d[0]) > maxU)
                break;
            if (boundary[i].first == boundary[j].first || boundary[i].first == boundary[j].second ||
                boundary[i].second == boundary[j].first || boundary[i].second == boundary[j].second)
                continue;
            const int o1 = sign(cross2(a, b, c)), o2 = sign(cross2(a, b, d));
            const int o3 = sign(cross2(c, d, a)), o4 = sign(cross2(c, d, b));
            if (o1 != o2 && o3 != o4)
                return true;
            if ((o1 == 0 && onSegment(a, b, c)) || (o2 == 0 && onSegment(a, b, d)) ||
                (o3 == 0 && onSegment(c, d, a)) || (o4 == 0 && onSegment(c, d, b)))
                return true;
        }
    }
    return false;
}

MeshData chartAsMesh(const Model& model, size_t chartIndex)
{
    const Chart& chart = model.charts.at(chartIndex);
    MeshData mesh;
    std::unordered_map<uint32_t, uint32_t> renumber;
    for (uint32_t p : chart.triIndicesPos) {
        const auto found = renumber.emplace(p, uint32_t(renumber.size()));
        if (found.second)
            for (int c = 0; c < 3; ++c)
                mesh.positions.push_back(model.sharedPositions.at(3 * size_t(p) + c));
        mesh.posIndices.push_back(found.first->second);
    }
    mesh.uvIndices.assign(chart.triIndicesUV.begin(), chart.triIndicesUV.end());
    mesh.uvs.assign(chart.uvCoords2D.begin(), chart.uvCoords2D.end());
    return mesh;
}

std::string describe(const std::vector<std::string>& problems)
{
    std::string text;
    for (const std::string& p : problems)
        text += p + "\n";
    return text;
}

} // namespace meshchecks
