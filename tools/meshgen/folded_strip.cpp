// A strip whose UV layout runs across itself in loops: overlapping triangles
// and a self-crossing boundary, but no flipped triangle.
#include "meshgen/meshgen.h"
#include "meshgen/meshgen_internal.h"

#include <algorithm>

namespace meshgen {

using namespace detail;

namespace {

// Centre line in UV: the curve (t - b sin t, -b cos t) loops once around every
// t = 2 pi k. Its tightest bend has radius (b - 1)^2 / b = 0.9, more than the
// strip's half width, so the offset curves keep their orientation.
constexpr double kLoopRadius = 2.5;
constexpr double kHalfWidth = 0.4;
constexpr int kRows = 4;

void centreLine(double t, double* point, double* tangent)
{
    point[0] = t - kLoopRadius * std::sin(t);
    point[1] = -kLoopRadius * std::cos(t);
    const double dx = 1.0 - kLoopRadius * std::cos(t), dy = kLoopRadius * std::sin(t);
    const double speed = std::sqrt(dx * dx + dy * dy);
    tangent[0] = dx / speed;
    tangent[1] = dy / speed;
}

double speedAt(double t)
{
    return std::sqrt(1.0 - 2.0 * kLoopRadius * std::cos(t) + kLoopRadius * kLoopRadius);
}

} // namespace

MeshData foldedStrip(int segments, int folds)
{
    folds = clampInt(folds, 1, kMaxStripFolds);
    segments = clampInt(segments, 24 * folds, kMaxStripSegments);

    // From the crest before the first loop to the crest after the last one,
    // sampled at equal arc length (looked up in a finer table).
    const double t0 = kPi, t1 = kPi + 2.0 * kPi * folds;
    const int fine = 8 * segments;
    std::vector<double> arc(size_t(fine) + 1, 0.0);
    for (int i = 0; i < fine; ++i) {
        const double dt = (t1 - t0) / fine;
        arc[size_t(i) + 1] = arc[size_t(i)] + dt * speedAt(t0 + (i + 0.5) * dt);
    }
    const double length = arc.back();

    MeshData mesh;
    size_t cell = 0;
    for (int i = 0; i <= segments; ++i) {
        const double sigma = length * i / segments;
        while (cell + 1 < size_t(fine) && arc[cell + 1] < sigma)
            ++cell;
        const double span = arc[cell + 1] - arc[cell];
        const double f = span > 0.0 ? std::min(1.0, std::max(0.0, (sigma - arc[cell]) / span)) : 0.0;
        const double t = t0 + (t1 - t0) * (double(cell) + f) / fine;
        double point[2], tangent[2];
        centreLine(t, point, tangent);
        // A gentle arch along the strip in 3D.
        const double z = 0.05 * length * std::sin(kPi * sigma / length);
        for (int r = 0; r <= kRows; ++r) {
            const double s = -kHalfWidth + 2.0 * kHalfWidth * r / kRows;
            addPosition(mesh, sigma, s, z);
            addUV(mesh, point[0] - t0 - tangent[1] * s, point[1] + tangent[0] * s);
        }
    }
    auto vertex = [](int i, int r) { return uint32_t(i * (kRows + 1) + r); };
    for (int i = 0; i < segments; ++i)
        for (int r = 0; r < kRows; ++r) {
            const uint32_t a = vertex(i, r), b = vertex(i + 1, r), c = vertex(i + 1, r + 1), d = vertex(i, r + 1);
            addTriangle(mesh, a, b, c, a, b, c);
            addTriangle(mesh, a, c, d, a, c, d);
        }
    roundToFloat(mesh);
    return mesh;
}

} // namespace meshgen
