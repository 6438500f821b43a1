// Untextured open disks: a spherical cap and a saddle, both triangulated as
// concentric rings around a centre vertex.
#include "meshgen/meshgen.h"
#include "meshgen/meshgen_internal.h"

namespace meshgen {

using namespace detail;

namespace {

// Disk of `rings` rings around a centre vertex; ring k (1 <= k <= rings) has
// 6k vertices at radius k / rings, its vertex j at azimuth 2 pi j / (6k).
// place(radius, azimuth, xyz) gives the 3D position. Triangles are
// counter-clockwise seen from above the (radius, azimuth) plane.
template <typename Place>
MeshData ringDisk(int rings, Place place)
{
    MeshData mesh;
    double p[3];
    place(0.0, 0.0, p);
    addPosition(mesh, p[0], p[1], p[2]);
    for (int k = 1; k <= rings; ++k)
        for (int j = 0; j < 6 * k; ++j) {
            place(double(k) / rings, 2.0 * kPi * j / (6.0 * k), p);
            addPosition(mesh, p[0], p[1], p[2]);
        }

    // First vertex of ring k (ring 0 is the centre).
    auto ringStart = [](int k) { return k == 0 ? 0u : uint32_t(1 + 3 * k * (k - 1)); };
    for (int j = 0; j < 6; ++j)
        addTriangle(mesh, 0, ringStart(1) + uint32_t(j), ringStart(1) + uint32_t((j + 1) % 6));

    // Between rings k - 1 and k, walk both rings by azimuth and always step
    // on the ring whose next vertex comes first.
    for (int k = 2; k <= rings; ++k) {
        const int n0 = 6 * (k - 1), n1 = 6 * k;
        const uint32_t s0 = ringStart(k - 1), s1 = ringStart(k);
        auto inner = [&](int i) { return s0 + uint32_t(i % n0); };
        auto outer = [&](int j) { return s1 + uint32_t(j % n1); };
        int i = 0, j = 0;
        while (i < n0 || j < n1) {
            const bool stepOuter = i >= n0 || (j < n1 && int64_t(j + 1) * n0 <= int64_t(i + 1) * n1);
            if (stepOuter) {
                addTriangle(mesh, inner(i), outer(j), outer(j + 1));
                ++j;
            } else {
                addTriangle(mesh, inner(i), outer(j), inner(i + 1));
                ++i;
            }
        }
    }
    roundToFloat(mesh);
    return mesh;
}

} // namespace

MeshData sphericalCap(int rings, double capAngle)
{
    rings = clampInt(rings, 1, kMaxDiskRings);
    if (!std::isfinite(capAngle))
        capAngle = 0.5 * kPi;
    capAngle = capAngle < 0.01 ? 0.01 : (capAngle > 3.0 ? 3.0 : capAngle);
    return ringDisk(rings, [capAngle](double radius, double azimuth, double* p) {
        const double polar = capAngle * radius;
        p[0] = std::sin(polar) * std::cos(azimuth);
        p[1] = std::sin(polar) * std::sin(azimuth);
        p[2] = std::cos(polar);
    });
}

MeshData saddle(int rings)
{
    rings = clampInt(rings, 1, kMaxDiskRings);
    return ringDisk(rings, [](double radius, double azimuth, double* p) {
        p[0] = radius * std::cos(azimuth);
        p[1] = radius * std::sin(azimuth);
        p[2] = p[0] * p[0] - p[1] * p[1];
    });
}

} // namespace meshgen
