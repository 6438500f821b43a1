// Random multi-chart layouts: grid patches of random size, aspect, outline and
// UV rotation, placed side by side in rows.
#include "meshgen/meshgen.h"
#include "meshgen/meshgen_internal.h"

#include <algorithm>
#include <cmath>

namespace meshgen {

using namespace detail;

namespace {

struct Patch {
    MeshData mesh;   // positions and UVs in patch units (UV rotated, box at origin)
    double width = 0.0;  // UV box
    double height = 0.0;
    double extentX = 0.0; // 3D extent along x
};

Outline pickOutline(std::mt19937& rng)
{
    const int r = uniformInt(rng, 0, 9);
    return r < 4 ? Outline::Rectangle : (r < 7 ? Outline::LShape : Outline::WithHoles);
}

// Share of the nx x ny quads that the outline keeps (roughly).
double outlineCoverage(Outline outline)
{
    return outline == Outline::Rectangle ? 1.0 : (outline == Outline::LShape ? 0.75 : 0.84);
}

Patch makePatch(std::mt19937& rng, double targetTriangles, double baseCell)
{
    Outline outline = pickOutline(rng);
    const double aspect = std::exp(uniformIn(rng, std::log(1.0 / 3.0), std::log(3.0)));
    const double cell = baseCell * uniformIn(rng, 0.6, 1.4);
    const double angle = uniformIn(rng, 0.0, 2.0 * kPi);
    const double bend = uniformIn(rng, -0.3, 0.3);

    const double quads = std::max(1.0, targetTriangles / 2.0 / outlineCoverage(outline));
    const int widest = int(std::min(std::floor(quads), double(kMaxGridSize)));
    const int nx = clampInt(int(std::lround(std::sqrt(quads * aspect))), 1, widest);
    const int ny = clampInt(int(std::lround(quads / nx)), 1, kMaxGridSize);
    if (outline == Outline::WithHoles && (nx < 5 || ny < 5))
        outline = Outline::LShape;
    if (outline == Outline::LShape && (nx < 2 || ny < 2))
        outline = Outline::Rectangle;

    Patch patch;
    patch.mesh = flatGrid(nx, ny, outline);
    MeshData& mesh = patch.mesh;
    const double sizeX = nx * cell, sizeY = ny * cell;
    patch.extentX = sizeX;
    for (size_t k = 0; k < mesh.positions.size(); k += 3) {
        const double x = mesh.positions[k] * sizeX;
        const double y = mesh.positions[k + 1] * sizeY;
        const double s = x / std::max(sizeX, sizeY) - 0.5;
        mesh.positions[k] = x;
        mesh.positions[k + 1] = y;
        mesh.positions[k + 2] = bend * sizeX * s * s;
    }
    // The UV layout is the flat patch turned by the angle (a rotation keeps
    // every triangle counter-clockwise), then moved to the origin.
    const double c = std::cos(angle), s = std::sin(angle);
    double minU = 1e300, minV = 1e300, maxU = -1e300, maxV = -1e300;
    for (size_t k = 0; k < mesh.uvs.size(); k += 2) {
        const double x = mesh.uvs[k] * sizeX, y = mesh.uvs[k + 1] * sizeY;
        mesh.uvs[k] = c * x - s * y;
        mesh.uvs[k + 1] = s * x + c * y;
        minU = std::min(minU, mesh.uvs[k]);
        maxU = std::max(maxU, mesh.uvs[k]);
        minV = std::min(minV, mesh.uvs[k + 1]);
        maxV = std::max(maxV, mesh.uvs[k + 1]);
    }
    for (size_t k = 0; k < mesh.uvs.size(); k += 2) {
        mesh.uvs[k] -= minU;
        mesh.uvs[k + 1] -= minV;
    }
    patch.width = maxU - minU;
    patch.height = maxV - minV;
    return patch;
}

} // namespace

Model randomChartLayout(int count, int totalTriangles, uint32_t seed)
{
    count = clampInt(count, 1, kMaxRandomCharts);
    totalTriangles = clampInt(totalTriangles, 0, kMaxRandomTriangles);
    std::mt19937 rng(seed);

    std::vector<double> weights(static_cast<size_t>(count));
    double weightSum = 0.0;
    for (double& w : weights) {
        w = uniformIn(rng, 0.3, 1.7);
        weightSum += w;
    }
    // Cells of about 1/sqrt(quads) keep the whole layout near unit size.
    const double baseCell = 1.0 / std::sqrt(std::max(1.0, totalTriangles / 2.0));

    std::vector<Patch> patches;
    patches.reserve(weights.size());
    double boxArea = 0.0;
    for (double w : weights) {
        patches.push_back(makePatch(rng, totalTriangles * w / weightSum, baseCell));
        boxArea += (patches.back().width + baseCell) * (patches.back().height + baseCell);
    }

    // Rows of patches in UV, a gap of one base cell between neighbours; in 3D
    // the patches stand side by side along x.
    const double rowWidth = std::sqrt(boxArea) * 1.2;
    double u = 0.0, v = 0.0, rowHeight = 0.0, x3D = 0.0;
    Model model;
    model.charts.reserve(patches.size());
    for (Patch& patch : patches) {
        if (u > 0.0 && u + patch.width > rowWidth) {
            u = 0.0;
            v += rowHeight + baseCell;
            rowHeight = 0.0;
        }
        MeshData& mesh = patch.mesh;
        for (size_t k = 0; k < mesh.uvs.size(); k += 2) {
            mesh.uvs[k] += u;
            mesh.uvs[k + 1] += v;
        }
        for (size_t k = 0; k < mesh.positions.size(); k += 3)
            mesh.positions[k] += x3D;
        roundToFloat(mesh);
        u += patch.width + baseCell;
        rowHeight = std::max(rowHeight, patch.height);
        x3D += patch.extentX + baseCell;

        const uint32_t base = static_cast<uint32_t>(model.sharedPositions.size() / 3);
        Chart chart;
        chart.triIndicesPos.reserve(mesh.posIndices.size());
        for (uint32_t p : mesh.posIndices)
            chart.triIndicesPos.push_back(base + p);
        chart.triIndicesUV = iuv::UIntVector(mesh.uvIndices);
        chart.uvCoords2D = iuv::DoubleVector(mesh.uvs);
        model.sharedPositions.insert(model.sharedPositions.end(), mesh.positions.begin(), mesh.positions.end());
        model.charts.push_back(std::move(chart));
    }
    return model;
}

} // namespace meshgen
