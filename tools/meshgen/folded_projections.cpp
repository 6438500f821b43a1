// Surfaces that fold over themselves when projected onto a plane: a mushroom
// (cap over a stem), a sheet folded back twice and a spiral ramp. Their UV
// layout is the projection of the 3D positions, so flipped and overlapping
// regions appear just as in layouts made by projecting real scans.
#include "meshgen/meshgen.h"
#include "meshgen/meshgen_internal.h"

#include <algorithm>
#include <functional>

namespace meshgen {

using namespace detail;

namespace {

// A planar curve sampled finely, then looked up at equal arc length.
class ArcCurve {
public:
    // curve(t, a, b) gives the point (a, b) at t in [0, 1].
    explicit ArcCurve(const std::function<void(double, double&, double&)>& curve)
    {
        const int fine = 8192;
        points_.resize(2 * (size_t(fine) + 1));
        arc_.assign(size_t(fine) + 1, 0.0);
        for (int i = 0; i <= fine; ++i) {
            curve(double(i) / fine, points_[2 * size_t(i)], points_[2 * size_t(i) + 1]);
            if (i > 0) {
                const double da = points_[2 * size_t(i)] - points_[2 * size_t(i) - 2];
                const double db = points_[2 * size_t(i) + 1] - points_[2 * size_t(i) - 1];
                arc_[size_t(i)] = arc_[size_t(i) - 1] + std::sqrt(da * da + db * db);
            }
        }
    }

    double length() const { return arc_.back(); }

    // The point at arc length sigma (clamped to the curve).
    void at(double sigma, double& a, double& b) const
    {
        const auto it = std::lower_bound(arc_.begin(), arc_.end(), sigma);
        size_t i = size_t(std::max<std::ptrdiff_t>(it - arc_.begin(), 1));
        i = std::min(i, arc_.size() - 1);
        const double span = arc_[i] - arc_[i - 1];
        const double f = span > 0.0 ? std::min(1.0, std::max(0.0, (sigma - arc_[i - 1]) / span)) : 0.0;
        a = points_[2 * (i - 1)] + f * (points_[2 * i] - points_[2 * (i - 1)]);
        b = points_[2 * (i - 1) + 1] + f * (points_[2 * i + 1] - points_[2 * (i - 1) + 1]);
    }

private:
    std::vector<double> points_;
    std::vector<double> arc_;
};

// A grid of (columns + 1) x (rows + 1) vertices numbered column by column,
// UV index equal to the 3D index, split into two triangles per quad.
void addGridTriangles(MeshData& mesh, int columns, int rows)
{
    auto vertex = [rows](int i, int r) { return uint32_t(i * (rows + 1) + r); };
    for (int i = 0; i < columns; ++i)
        for (int r = 0; r < rows; ++r) {
            const uint32_t a = vertex(i, r), b = vertex(i + 1, r), c = vertex(i + 1, r + 1), d = vertex(i, r + 1);
            addTriangle(mesh, a, b, c, a, b, c);
            addTriangle(mesh, a, c, d, a, c, d);
        }
}

// Reverses every triangle when the first one is clockwise in UV, so that the
// layout starts counter-clockwise (its folded-back parts are the flips).
void startCounterClockwise(MeshData& mesh)
{
    const auto uv = [&](size_t corner, int k) { return mesh.uvs[2 * size_t(mesh.uvIndices[corner]) + size_t(k)]; };
    const double cross = (uv(1, 0) - uv(0, 0)) * (uv(2, 1) - uv(0, 1)) - (uv(2, 0) - uv(0, 0)) * (uv(1, 1) - uv(0, 1));
    if (cross >= 0.0)
        return;
    for (size_t t = 0; t < mesh.numTriangles(); ++t) {
        std::swap(mesh.posIndices[3 * t + 1], mesh.posIndices[3 * t + 2]);
        std::swap(mesh.uvIndices[3 * t + 1], mesh.uvIndices[3 * t + 2]);
    }
}

} // namespace

MeshData mushroom(int rings, int segments)
{
    rings = clampInt(rings, 8, kMaxDiskRings);
    segments = clampInt(segments, 8, kMaxGridSize);
    // Profile (radius, height) from the top of the cap: the cap, its rounded
    // rim, the underside back in to the stem, and the slightly tapering stem.
    const ArcCurve profile([](double t, double& rho, double& z) {
        const double s = 4.0 * t;
        if (s <= 1.0) {
            rho = s;
            z = 1.0 - 0.2 * s * s;
        } else if (s <= 2.0) {
            const double phi = 0.5 * kPi - kPi * (s - 1.0);
            rho = 1.0 + 0.15 * std::cos(phi);
            z = 0.65 + 0.15 * std::sin(phi);
        } else if (s <= 3.0) {
            rho = 1.0 - 0.7 * (s - 2.0);
            z = 0.5 - 0.05 * (s - 2.0);
        } else {
            rho = 0.3 - 0.08 * (s - 3.0);
            z = 0.45 - 0.95 * (s - 3.0);
        }
    });
    MeshData mesh;
    const auto place = [&](double rho, double z, double azimuth) {
        const double x = rho * std::cos(azimuth), y = rho * std::sin(azimuth);
        addPosition(mesh, x, y, z);
        // Projected along a direction slightly off the axis.
        addUV(mesh, x + 0.15 * z, y);
    };
    place(0.0, 1.0, 0.0);
    for (int k = 1; k <= rings; ++k) {
        double rho = 0.0, z = 0.0;
        profile.at(profile.length() * k / rings, rho, z);
        for (int j = 0; j < segments; ++j)
            place(rho, z, 2.0 * kPi * j / segments);
    }
    auto ring = [segments](int k, int j) { return uint32_t(1 + (k - 1) * segments + (j % segments)); };
    for (int j = 0; j < segments; ++j)
        addTriangle(mesh, 0, ring(1, j), ring(1, j + 1), 0, ring(1, j), ring(1, j + 1));
    for (int k = 1; k < rings; ++k)
        for (int j = 0; j < segments; ++j) {
            const uint32_t a = ring(k, j), b = ring(k + 1, j), c = ring(k + 1, j + 1), d = ring(k, j + 1);
            addTriangle(mesh, a, b, c, a, b, c);
            addTriangle(mesh, a, c, d, a, c, d);
        }
    roundToFloat(mesh);
    startCounterClockwise(mesh);
    return mesh;
}

MeshData doubleFoldedSheet(int columns, int rows)
{
    columns = clampInt(columns, 24, kMaxGridSize);
    rows = clampInt(rows, 1, kMaxGridSize);
    // Side view (x, z): out to the right, back to the left above it, out to
    // the right again on top, joined by two half turns of radius 0.1.
    const double r = 0.1;
    const ArcCurve path([r](double t, double& x, double& z) {
        const double s = 5.0 * t;
        if (s <= 1.0) {
            x = s;
            z = 0.0;
        } else if (s <= 2.0) {
            const double phi = -0.5 * kPi + kPi * (s - 1.0);
            x = 1.0 + r * std::cos(phi);
            z = r + r * std::sin(phi);
        } else if (s <= 3.0) {
            x = 1.0 - 0.75 * (s - 2.0);
            z = 2.0 * r;
        } else if (s <= 4.0) {
            const double phi = 1.5 * kPi - kPi * (s - 3.0);
            x = 0.25 + r * std::cos(phi);
            z = 3.0 * r + r * std::sin(phi);
        } else {
            x = 0.25 + 0.85 * (s - 4.0);
            z = 4.0 * r;
        }
    });
    MeshData mesh;
    for (int i = 0; i <= columns; ++i) {
        const double sigma = path.length() * i / columns;
        double x = 0.0, z = 0.0;
        path.at(sigma, x, z);
        for (int k = 0; k <= rows; ++k) {
            const double y = 0.8 * k / rows;
            addPosition(mesh, x, y, z);
            // Each layer slides a little across the sheet, so that the
            // layers overlap in general position rather than edge on edge.
            addUV(mesh, x, y + 0.06 * sigma);
        }
    }
    addGridTriangles(mesh, columns, rows);
    roundToFloat(mesh);
    startCounterClockwise(mesh);
    return mesh;
}

MeshData spiralRamp(int segments, int rows)
{
    segments = clampInt(segments, 24, kMaxGridSize);
    rows = clampInt(rows, 1, kMaxGridSize);
    // 1.6 turns of a ramp 0.6 wide whose inner edge moves out by 0.35 per
    // turn: each turn half covers the one below it.
    const double turns = 1.6;
    MeshData mesh;
    for (int i = 0; i <= segments; ++i) {
        const double theta = 2.0 * kPi * turns * i / segments;
        const double inner = 1.0 + 0.35 * theta / (2.0 * kPi);
        for (int k = 0; k <= rows; ++k) {
            const double rho = inner + 0.6 * k / rows;
            const double x = rho * std::cos(theta), y = rho * std::sin(theta);
            addPosition(mesh, x, y, 0.3 * theta / (2.0 * kPi));
            addUV(mesh, x, y);
        }
    }
    addGridTriangles(mesh, segments, rows);
    roundToFloat(mesh);
    startCounterClockwise(mesh);
    return mesh;
}

} // namespace meshgen
