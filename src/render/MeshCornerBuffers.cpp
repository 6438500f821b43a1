#include "render/MeshCornerBuffers.h"

#include "io/palette.h"

#include <array>
#include <cmath>
#include <cstdint>

namespace {

using Vec3 = std::array<double, 3>;

Vec3 positionOf(const iuv::DoubleVector& positions, uint32_t vertex)
{
    const size_t i = 3 * static_cast<size_t>(vertex);
    return {positions[i], positions[i + 1], positions[i + 2]};
}

// Face normal and area of a triangle; a degenerate one yields (0,0,1) and 0.
void faceNormal(const Vec3& p0, const Vec3& p1, const Vec3& p2, Vec3& normal, double& area)
{
    const Vec3 a{p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2]};
    const Vec3 b{p2[0] - p0[0], p2[1] - p0[1], p2[2] - p0[2]};
    const Vec3 c{a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
    const double len = std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]);
    if (!(len > 0.0) || !std::isfinite(len)) {
        normal = {0.0, 0.0, 1.0};
        area = 0.0;
        return;
    }
    normal = {c[0] / len, c[1] / len, c[2] / len};
    area = 0.5 * len;
}

// Chart number of every triangle from the per-chart triangle counts.
std::vector<size_t> chartOfTriangles(size_t numTriangles, const std::vector<size_t>& numTrianglesPerChart)
{
    std::vector<size_t> chartOf(numTriangles);
    size_t chart = 0;
    size_t remaining = numTrianglesPerChart.empty() ? 0 : numTrianglesPerChart[0];
    for (size_t t = 0; t < numTriangles; ++t) {
        while (remaining == 0 && chart < numTrianglesPerChart.size()) {
            ++chart;
            remaining = chart < numTrianglesPerChart.size() ? numTrianglesPerChart[chart] : 0;
        }
        chartOf[t] = chart;
        if (remaining > 0)
            --remaining;
    }
    return chartOf;
}

void appendCorner(std::vector<float>& buffer, const Vec3& p, const Vec3& n, double u, double v, const Rgb8& colour)
{
    const float record[kCornerFloats] = {
        static_cast<float>(p[0]), static_cast<float>(p[1]), static_cast<float>(p[2]),
        static_cast<float>(n[0]), static_cast<float>(n[1]), static_cast<float>(n[2]),
        static_cast<float>(u),    static_cast<float>(v),
        colour.r / 255.0f,        colour.g / 255.0f,        colour.b / 255.0f, 1.0f,
    };
    buffer.insert(buffer.end(), record, record + kCornerFloats);
}

} // namespace

CornerBuffers buildCornerBuffers(const iuv::UIntVector& triIndicesPos, const iuv::DoubleVector& positions,
                                 const iuv::UIntVector& triIndicesUV, const iuv::DoubleVector& uvCoords2D,
                                 const std::vector<size_t>& numTrianglesPerChart)
{
    const size_t numVertices = positions.size() / 3;
    const size_t numTriangles = triIndicesPos.size() / 3;
    const std::vector<size_t> chartOf = chartOfTriangles(numTriangles, numTrianglesPerChart);

    std::vector<Vec3> faceNormals(numTriangles, Vec3{0.0, 0.0, 1.0});
    std::vector<bool> usable(numTriangles, false);
    std::vector<Vec3> normalSums(numVertices, Vec3{0.0, 0.0, 0.0});
    std::vector<double> areaSums(numVertices, 0.0);

    for (size_t t = 0; t < numTriangles; ++t) {
        const uint32_t* v = &triIndicesPos[3 * t];
        if (v[0] >= numVertices || v[1] >= numVertices || v[2] >= numVertices)
            continue;
        usable[t] = true;
        double area = 0.0;
        faceNormal(positionOf(positions, v[0]), positionOf(positions, v[1]), positionOf(positions, v[2]),
                   faceNormals[t], area);
        for (int k = 0; k < 3; ++k) {
            for (int a = 0; a < 3; ++a)
                normalSums[v[k]][a] += area * faceNormals[t][a];
            areaSums[v[k]] += area;
        }
    }

    CornerBuffers buffers;
    buffers.flat.reserve(numTriangles * 3 * kCornerFloats);
    buffers.smooth.reserve(numTriangles * 3 * kCornerFloats);
    const size_t numUVs = uvCoords2D.size() / 2;
    for (size_t t = 0; t < numTriangles; ++t) {
        if (!usable[t])
            continue;
        const Rgb8 colour = chartColor(chartOf[t]);
        for (size_t k = 0; k < 3; ++k) {
            const size_t corner = 3 * t + k;
            const uint32_t vertex = triIndicesPos[corner];
            double u = 0.0, w = 0.0;
            if (corner < triIndicesUV.size() && triIndicesUV[corner] < numUVs) {
                u = uvCoords2D[2 * static_cast<size_t>(triIndicesUV[corner])];
                w = uvCoords2D[2 * static_cast<size_t>(triIndicesUV[corner]) + 1];
            }
            const Vec3 p = positionOf(positions, vertex);
            Vec3 smooth{0.0, 0.0, 1.0};
            if (areaSums[vertex] > 0.0) {
                const Vec3& sum = normalSums[vertex];
                // Faces that cancel out exactly leave no direction to average.
                if (sum[0] != 0.0 || sum[1] != 0.0 || sum[2] != 0.0)
                    for (int a = 0; a < 3; ++a)
                        smooth[a] = sum[a] / areaSums[vertex];
            }
            appendCorner(buffers.flat, p, faceNormals[t], u, w, colour);
            appendCorner(buffers.smooth, p, smooth, u, w, colour);
        }
    }
    return buffers;
}
