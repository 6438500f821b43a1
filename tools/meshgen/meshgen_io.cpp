// Output of the generated meshes: OBJ text, the model record, and the colour
// and UV modifiers.
#include "meshgen/meshgen.h"
#include "meshgen/meshgen_internal.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <string>
#include <limits>

namespace meshgen {

void addColors(MeshData& mesh)
{
    const size_t n = mesh.positions.size() / 3;
    double lo[3] = {std::numeric_limits<double>::max(), std::numeric_limits<double>::max(),
                    std::numeric_limits<double>::max()};
    double hi[3] = {std::numeric_limits<double>::lowest(), std::numeric_limits<double>::lowest(),
                    std::numeric_limits<double>::lowest()};
    for (size_t k = 0; k < n; ++k) {
        for (int c = 0; c < 3; ++c) {
            lo[c] = std::min(lo[c], mesh.positions[3 * k + c]);
            hi[c] = std::max(hi[c], mesh.positions[3 * k + c]);
        }
    }
    double extent = 0.0;
    for (int c = 0; c < 3 && n > 0; ++c)
        extent = std::max(extent, hi[c] - lo[c]);
    if (!(extent > 0.0) || !std::isfinite(extent))
        extent = 1.0;

    mesh.colors.assign(3 * n, 0.5);
    for (size_t k = 0; k < n; ++k) {
        double p[3];
        for (int c = 0; c < 3; ++c) {
            p[c] = (mesh.positions[3 * k + c] - lo[c]) / extent;
            if (!std::isfinite(p[c]))
                p[c] = 0.0;
        }
        // Smooth waves mixing the coordinates, kept inside [0.05, 0.95].
        const double twoPi = 2.0 * detail::kPi;
        mesh.colors[3 * k] = 0.5 + 0.45 * std::cos(twoPi * (p[0] + 0.5 * p[2]));
        mesh.colors[3 * k + 1] = 0.5 + 0.45 * std::cos(twoPi * (p[1] + 0.5 * p[0]) + 2.0);
        mesh.colors[3 * k + 2] = 0.5 + 0.45 * std::cos(twoPi * (p[2] + 0.5 * p[1]) + 4.0);
    }
    for (double& c : mesh.colors)
        c = static_cast<double>(static_cast<float>(c));
}

void dropUVs(MeshData& mesh)
{
    mesh.uvs.clear();
    mesh.uvIndices.clear();
}

namespace {

// Shortest text that reads back as the same double, independent of the C
// locale.
void appendNumber(std::string& text, double x)
{
    char buffer[64];
    const std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, x);
    text.append(buffer, r.ptr);
}

void appendIndex(std::string& text, uint32_t zeroBased)
{
    char buffer[24];
    const std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, uint64_t(zeroBased) + 1);
    text.append(buffer, r.ptr);
}

} // namespace

bool writeOBJ(const MeshData& mesh, const std::string& path)
{
    std::ofstream out(path, std::ios::out | std::ios::trunc | std::ios::binary);
    if (!out)
        return false;
    std::string text;
    auto flushIfLarge = [&]() {
        if (text.size() > (1u << 20)) {
            out.write(text.data(), std::streamsize(text.size()));
            text.clear();
        }
    };

    for (uint32_t c : mesh.cones) {
        text += "c ";
        appendIndex(text, c);
        text += '\n';
    }

    const size_t numVertices = mesh.positions.size() / 3;
    const bool colored = !mesh.colors.empty() && mesh.colors.size() == 3 * numVertices;
    for (size_t k = 0; k < numVertices; ++k) {
        text += 'v';
        for (int c = 0; c < 3; ++c) {
            text += ' ';
            appendNumber(text, mesh.positions[3 * k + c]);
        }
        for (int c = 0; c < 3 && colored; ++c) {
            text += ' ';
            appendNumber(text, mesh.colors[3 * k + c]);
        }
        text += '\n';
        flushIfLarge();
    }

    const bool textured = mesh.isTextured();
    for (size_t k = 0; textured && k + 1 < mesh.uvs.size(); k += 2) {
        text += "vt ";
        appendNumber(text, mesh.uvs[k]);
        text += ' ';
        appendNumber(text, mesh.uvs[k + 1]);
        text += '\n';
        flushIfLarge();
    }

    for (size_t t = 0; t + 2 < mesh.posIndices.size(); t += 3) {
        text += 'f';
        for (size_t c = t; c < t + 3; ++c) {
            text += ' ';
            appendIndex(text, mesh.posIndices[c]);
            if (textured) {
                text += '/';
                appendIndex(text, mesh.uvIndices[c]);
            }
        }
        text += '\n';
        flushIfLarge();
    }
    out.write(text.data(), std::streamsize(text.size()));
    out.close();
    return !out.fail();
}

Model toModel(const MeshData& mesh)
{
    Model model;
    Chart chart;
    chart.triIndicesPos = iuv::UIntVector(mesh.posIndices);
    if (mesh.isTextured()) {
        chart.triIndicesUV = iuv::UIntVector(mesh.uvIndices);
        chart.uvCoords2D = iuv::DoubleVector(mesh.uvs);
    }
    model.charts.push_back(std::move(chart));
    model.sharedPositions = iuv::DoubleVector(mesh.positions);
    if (mesh.colors.size() == mesh.positions.size())
        model.vertexColors = iuv::DoubleVector(mesh.colors);
    model.coneSingularities = iuv::UIntVector(mesh.cones);
    return model;
}

} // namespace meshgen
