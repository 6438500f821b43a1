// Grid-based generators: the open cylinder, the flat grids and the cube net,
// plus the vertex clean-up helpers shared by all generators.
#include "meshgen/meshgen.h"
#include "meshgen/meshgen_internal.h"

#include <algorithm>
#include <unordered_map>

namespace meshgen {

namespace detail {

void removeUnusedVertices(MeshData& mesh)
{
    const uint32_t unused = 0xFFFFFFFFu;
    std::vector<uint32_t> posMap(mesh.positions.size() / 3, unused);
    for (uint32_t p : mesh.posIndices)
        posMap[p] = 0;
    uint32_t next = 0;
    for (size_t k = 0; k < posMap.size(); ++k) {
        if (posMap[k] == unused)
            continue;
        posMap[k] = next;
        for (int c = 0; c < 3; ++c) {
            mesh.positions[3 * next + c] = mesh.positions[3 * k + c];
            if (!mesh.colors.empty())
                mesh.colors[3 * next + c] = mesh.colors[3 * k + c];
        }
        ++next;
    }
    mesh.positions.resize(3 * size_t(next));
    if (!mesh.colors.empty())
        mesh.colors.resize(3 * size_t(next));
    for (uint32_t& p : mesh.posIndices)
        p = posMap[p];

    std::vector<uint32_t> cones;
    for (uint32_t c : mesh.cones)
        if (c < posMap.size() && posMap[c] != unused)
            cones.push_back(posMap[c]);
    mesh.cones = cones;

    if (mesh.uvIndices.empty())
        return;
    std::vector<uint32_t> uvMap(mesh.uvs.size() / 2, unused);
    for (uint32_t t : mesh.uvIndices)
        uvMap[t] = 0;
    next = 0;
    for (size_t k = 0; k < uvMap.size(); ++k) {
        if (uvMap[k] == unused)
            continue;
        uvMap[k] = next;
        mesh.uvs[2 * next] = mesh.uvs[2 * k];
        mesh.uvs[2 * next + 1] = mesh.uvs[2 * k + 1];
        ++next;
    }
    mesh.uvs.resize(2 * size_t(next));
    for (uint32_t& t : mesh.uvIndices)
        t = uvMap[t];
}

void roundToFloat(MeshData& mesh)
{
    for (std::vector<double>* list : {&mesh.positions, &mesh.colors, &mesh.uvs})
        for (double& x : *list)
            x = static_cast<double>(static_cast<float>(x));
}

} // namespace detail

using namespace detail;

MeshData openCylinder(int segments, int rings)
{
    segments = clampInt(segments, 3, kMaxGridSize);
    rings = clampInt(rings, 1, kMaxGridSize);
    MeshData mesh;
    const double height = 2.0;
    for (int i = 0; i <= rings; ++i) {
        const double z = -1.0 + height * i / rings;
        for (int j = 0; j < segments; ++j) {
            const double angle = 2.0 * kPi * j / segments;
            addPosition(mesh, std::cos(angle), std::sin(angle), z);
        }
    }
    // The UV rectangle repeats the first column at its right end: the seam.
    for (int i = 0; i <= rings; ++i)
        for (int j = 0; j <= segments; ++j)
            addUV(mesh, 2.0 * kPi * j / segments, height * i / rings);

    auto pos = [&](int j, int i) { return static_cast<uint32_t>(i * segments + j % segments); };
    auto uv = [&](int j, int i) { return static_cast<uint32_t>(i * (segments + 1) + j); };
    for (int i = 0; i < rings; ++i) {
        for (int j = 0; j < segments; ++j) {
            addTriangle(mesh, pos(j, i), pos(j + 1, i), pos(j + 1, i + 1), uv(j, i), uv(j + 1, i),
                        uv(j + 1, i + 1));
            addTriangle(mesh, pos(j, i), pos(j + 1, i + 1), pos(j, i + 1), uv(j, i), uv(j + 1, i + 1),
                        uv(j, i + 1));
        }
    }
    roundToFloat(mesh);
    return mesh;
}

MeshData flatGrid(int nx, int ny, Outline outline)
{
    const int minSize = outline == Outline::WithHoles ? 5 : (outline == Outline::LShape ? 2 : 1);
    nx = clampInt(nx, minSize, kMaxGridSize);
    ny = clampInt(ny, minSize, kMaxGridSize);

    MeshData mesh;
    for (int j = 0; j <= ny; ++j) {
        for (int i = 0; i <= nx; ++i) {
            const double x = double(i) / nx;
            const double y = double(j) / ny;
            addPosition(mesh, x, y, 0.0);
            addUV(mesh, x, y);
        }
    }
    // Quad (i, j) is removed when it lies in a cut-away part of the outline.
    auto removed = [&](int i, int j) {
        switch (outline) {
        case Outline::Rectangle:
            return false;
        case Outline::LShape:
            return i >= nx / 2 && j >= ny / 2;
        case Outline::WithHoles: {
            // Quad ranges [lo, hi) of at least one quad each, separated by at
            // least one quad from each other and from the border.
            const bool hole1 = i >= nx / 5 && i < 2 * nx / 5 && j >= ny / 5 && j < 4 * ny / 5;
            const bool hole2 = i >= 3 * nx / 5 && i < 4 * nx / 5 && j >= 2 * ny / 5 && j < 3 * ny / 5;
            return hole1 || hole2;
        }
        }
        return false;
    };
    auto vertex = [&](int i, int j) { return static_cast<uint32_t>(j * (nx + 1) + i); };
    for (int j = 0; j < ny; ++j) {
        for (int i = 0; i < nx; ++i) {
            if (removed(i, j))
                continue;
            const uint32_t a = vertex(i, j), b = vertex(i + 1, j), c = vertex(i + 1, j + 1),
                           d = vertex(i, j + 1);
            addTriangle(mesh, a, b, c, a, b, c);
            addTriangle(mesh, a, c, d, a, c, d);
        }
    }
    removeUnusedVertices(mesh);
    roundToFloat(mesh);
    return mesh;
}

namespace {

// One face of the cube net: local grid point (a, b), 0 <= a, b <= n, lies at
// the integer 3D point n * origin + a * axisA + b * axisB and at the integer
// UV point n * uvOrigin + (a, b). axisA x axisB is the outward normal, so the
// counter-clockwise UV quads are outward-facing in 3D.
struct NetFace {
    int origin[3];
    int axisA[3];
    int axisB[3];
    int uvOrigin[2];
};

// The cross: a column of four faces (bottom, front, top, back from the lowest
// v up) with the left and right faces beside the top face.
const NetFace kNetFaces[6] = {
    {{0, 1, 0}, {1, 0, 0}, {0, -1, 0}, {1, 0}},  // z = 0
    {{0, 0, 0}, {1, 0, 0}, {0, 0, 1}, {1, 1}},   // y = 0
    {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}, {1, 2}},   // z = 1
    {{0, 1, 1}, {1, 0, 0}, {0, 0, -1}, {1, 3}},  // y = 1
    {{0, 0, 0}, {0, 0, 1}, {0, 1, 0}, {0, 2}},   // x = 0
    {{1, 0, 1}, {0, 0, -1}, {0, 1, 0}, {2, 2}},  // x = 1
};

uint64_t gridKey(int64_t x, int64_t y, int64_t z)
{
    return (uint64_t(x) << 42) | (uint64_t(y) << 21) | uint64_t(z);
}

} // namespace

MeshData cubeNet(int n)
{
    n = clampInt(n, 1, kMaxCubeSize);
    MeshData mesh;
    std::unordered_map<uint64_t, uint32_t> posOf;
    std::unordered_map<uint64_t, uint32_t> uvOf;
    auto position = [&](int x, int y, int z) {
        const auto found = posOf.emplace(gridKey(x, y, z), uint32_t(mesh.positions.size() / 3));
        if (found.second) {
            const uint32_t k = addPosition(mesh, double(x) / n - 0.5, double(y) / n - 0.5, double(z) / n - 0.5);
            const bool corner = (x == 0 || x == n) && (y == 0 || y == n) && (z == 0 || z == n);
            if (corner)
                mesh.cones.push_back(k);
        }
        return found.first->second;
    };
    auto texcoord = [&](int u, int v) {
        const auto found = uvOf.emplace(gridKey(u, v, 0), uint32_t(mesh.uvs.size() / 2));
        if (found.second)
            addUV(mesh, double(u) / n, double(v) / n);
        return found.first->second;
    };

    for (const NetFace& face : kNetFaces) {
        std::vector<uint32_t> pos(size_t(n + 1) * (n + 1));
        std::vector<uint32_t> uv(pos.size());
        for (int b = 0; b <= n; ++b) {
            for (int a = 0; a <= n; ++a) {
                int p[3];
                for (int c = 0; c < 3; ++c)
                    p[c] = n * face.origin[c] + a * face.axisA[c] + b * face.axisB[c];
                pos[size_t(b) * (n + 1) + a] = position(p[0], p[1], p[2]);
                uv[size_t(b) * (n + 1) + a] = texcoord(n * face.uvOrigin[0] + a, n * face.uvOrigin[1] + b);
            }
        }
        auto at = [&](int a, int b) { return size_t(b) * (n + 1) + a; };
        for (int b = 0; b < n; ++b) {
            for (int a = 0; a < n; ++a) {
                const size_t q0 = at(a, b), q1 = at(a + 1, b), q2 = at(a + 1, b + 1), q3 = at(a, b + 1);
                addTriangle(mesh, pos[q0], pos[q1], pos[q2], uv[q0], uv[q1], uv[q2]);
                addTriangle(mesh, pos[q0], pos[q2], pos[q3], uv[q0], uv[q2], uv[q3]);
            }
        }
    }
    std::sort(mesh.cones.begin(), mesh.cones.end());
    roundToFloat(mesh);
    return mesh;
}

} // namespace meshgen
