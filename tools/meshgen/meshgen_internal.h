#pragma once

#include "meshgen/meshgen.h"

#include <cmath>
#include <cstdint>
#include <random>

// Helpers shared by the generator files; not part of the library's interface.
namespace meshgen {
namespace detail {

constexpr double kPi = 3.14159265358979323846;

// n limited to [lo, hi].
inline int clampInt(int n, int lo, int hi)
{
    return n < lo ? lo : (n > hi ? hi : n);
}

// Appends one 3D vertex and returns its number.
inline uint32_t addPosition(MeshData& mesh, double x, double y, double z)
{
    const uint32_t k = static_cast<uint32_t>(mesh.positions.size() / 3);
    mesh.positions.push_back(x);
    mesh.positions.push_back(y);
    mesh.positions.push_back(z);
    return k;
}

inline uint32_t addUV(MeshData& mesh, double u, double v)
{
    const uint32_t k = static_cast<uint32_t>(mesh.uvs.size() / 2);
    mesh.uvs.push_back(u);
    mesh.uvs.push_back(v);
    return k;
}

// Triangle with 3D corners p0 p1 p2 and UV corners t0 t1 t2.
inline void addTriangle(MeshData& mesh, uint32_t p0, uint32_t p1, uint32_t p2, uint32_t t0, uint32_t t1,
                        uint32_t t2)
{
    mesh.posIndices.insert(mesh.posIndices.end(), {p0, p1, p2});
    mesh.uvIndices.insert(mesh.uvIndices.end(), {t0, t1, t2});
}

// Triangle of an untextured mesh.
inline void addTriangle(MeshData& mesh, uint32_t p0, uint32_t p1, uint32_t p2)
{
    mesh.posIndices.insert(mesh.posIndices.end(), {p0, p1, p2});
}

// Drops the 3D and UV vertices that no triangle uses and renumbers the rest
// in their old order; cones on dropped vertices are dropped too.
void removeUnusedVertices(MeshData& mesh);

// Rounds every coordinate and colour to the nearest single-precision value,
// so that writing the mesh and reading it back as floats is exact.
void roundToFloat(MeshData& mesh);

// Uniform double in [0, 1) and integer in [lo, hi] from the engine's raw
// output, independent of the standard library's distributions.
inline double uniform01(std::mt19937& rng)
{
    return (static_cast<double>(rng()) + 0.5) / 4294967296.0;
}

inline double uniformIn(std::mt19937& rng, double lo, double hi)
{
    return lo + (hi - lo) * uniform01(rng);
}

inline int uniformInt(std::mt19937& rng, int lo, int hi)
{
    if (hi <= lo)
        return lo;
    const uint32_t span = static_cast<uint32_t>(hi - lo) + 1u;
    return lo + static_cast<int>(rng() % span);
}

} // namespace detail
} // namespace meshgen
