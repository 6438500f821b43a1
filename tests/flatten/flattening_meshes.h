#pragma once

// Small open meshes for the flattening tests: grids over [-1,1]^2 mapped onto
// a plane, a sphere or a saddle.

#include "model/iuv_vector.h"

#include <cmath>
#include <cstdint>
#include <functional>

namespace flatmesh {

struct Mesh {
    iuv::UIntVector tri;
    iuv::DoubleVector pos;
    size_t numVertices() const { return pos.size() / 3; }
    size_t numTriangles() const { return tri.size() / 3; }
};

// n x n quads, two triangles each (diagonals alternating), counter-clockwise
// seen from +z before the mapping; vertex (i, j) is number j * (n + 1) + i.
inline Mesh grid(int n, const std::function<void(double, double, double*)>& map)
{
    Mesh m;
    for (int j = 0; j <= n; ++j) {
        for (int i = 0; i <= n; ++i) {
            double p[3];
            map(-1.0 + 2.0 * i / n, -1.0 + 2.0 * j / n, p);
            m.pos.insert(m.pos.end(), p, p + 3);
        }
    }
    auto id = [n](int i, int j) { return static_cast<uint32_t>(j * (n + 1) + i); };
    for (int j = 0; j < n; ++j) {
        for (int i = 0; i < n; ++i) {
            const uint32_t a = id(i, j), b = id(i + 1, j), c = id(i + 1, j + 1), d = id(i, j + 1);
            if ((i + j) % 2 == 0)
                m.tri.insert(m.tri.end(), {a, b, c, a, c, d});
            else
                m.tri.insert(m.tri.end(), {a, b, d, b, c, d});
        }
    }
    return m;
}

// Irregular flat mesh in a tilted plane: a jittered grid.
inline Mesh tiltedPlane(int n)
{
    return grid(n, [n](double x, double y, double* p) {
        const double h = 1.0 / n;
        x += 0.3 * h * std::sin(12.9898 * x + 78.233 * y);
        y += 0.3 * h * std::cos(39.346 * x + 11.135 * y);
        p[0] = 0.8 * x + 0.1 * y + 3.0;
        p[1] = 0.36 * x - 0.6 * y;
        p[2] = 0.48 * x + 0.8 * y - 1.0;
    });
}

// Patch of the unit sphere seen from its centre through the square, reaching
// out to about `halfAngle` radians from the pole along the axes.
inline Mesh sphericalCap(int n, double halfAngle)
{
    const double t = std::tan(halfAngle);
    return grid(n, [t](double x, double y, double* p) {
        const double d[3] = {x * t, y * t, 1.0};
        const double len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
        p[0] = d[0] / len;
        p[1] = d[1] / len;
        p[2] = d[2] / len;
    });
}

} // namespace flatmesh
