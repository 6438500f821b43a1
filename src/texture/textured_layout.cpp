#include "texture/textured_layout.h"

#include "texture/resampling.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

using Vec3 = std::array<double, 3>;

Vec3 corner(const iuv::DoubleVector& positions, uint32_t v)
{
    return {positions[3 * size_t(v)], positions[3 * size_t(v) + 1], positions[3 * size_t(v) + 2]};
}

Vec3 sub(const Vec3& a, const Vec3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
double dot(const Vec3& a, const Vec3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

double uvCross(const double u[3], const double v[3])
{
    return (u[1] - u[0]) * (v[2] - v[0]) - (u[2] - u[0]) * (v[1] - v[0]);
}

bool indicesInRange(const Chart& chart, size_t t, size_t numPositions)
{
    for (int k = 0; k < 3; ++k) {
        if (chart.triIndicesPos[3 * t + k] >= numPositions || chart.triIndicesUV[3 * t + k] >= chart.numUVVertices())
            return false;
    }
    return true;
}

} // namespace

bool sourceUVsOf(const Chart& chart, size_t t, const iuv::DoubleVector& positions, const Chart& sourceLayout,
                 double u[3], double v[3])
{
    const uint32_t s = sourceOf(chart, t);
    const size_t numPositions = positions.size() / 3;
    if (s == UnknownSourceTriangle || s >= sourceLayout.numTriangles() || sourceLayout.triIndicesUV.size() < 3 * (size_t(s) + 1) ||
        t >= chart.numTriangles() || !indicesInRange(chart, t, numPositions) ||
        !indicesInRange(sourceLayout, s, numPositions))
        return false;
    const Vec3 q0 = corner(positions, sourceLayout.triIndicesPos[3 * size_t(s)]);
    const Vec3 e1 = sub(corner(positions, sourceLayout.triIndicesPos[3 * size_t(s) + 1]), q0);
    const Vec3 e2 = sub(corner(positions, sourceLayout.triIndicesPos[3 * size_t(s) + 2]), q0);
    const double d11 = dot(e1, e1), d12 = dot(e1, e2), d22 = dot(e2, e2);
    const double det = d11 * d22 - d12 * d12;
    if (!(det > 0.0) || !std::isfinite(det))
        return false;
    double su[3], sv[3];
    for (int k = 0; k < 3; ++k) {
        const uint32_t uvIndex = sourceLayout.triIndicesUV[3 * size_t(s) + k];
        su[k] = sourceLayout.uvCoords2D[2 * size_t(uvIndex)];
        sv[k] = sourceLayout.uvCoords2D[2 * size_t(uvIndex) + 1];
    }
    for (int k = 0; k < 3; ++k) {
        // The corner in the source triangle's plane: p = q0 + b1 e1 + b2 e2.
        const Vec3 d = sub(corner(positions, chart.triIndicesPos[3 * t + k]), q0);
        const double r1 = dot(d, e1), r2 = dot(d, e2);
        const double b1 = (d22 * r1 - d12 * r2) / det;
        const double b2 = (d11 * r2 - d12 * r1) / det;
        const double b0 = 1.0 - b1 - b2;
        u[k] = b0 * su[0] + b1 * su[1] + b2 * su[2];
        v[k] = b0 * sv[0] + b1 * sv[1] + b2 * sv[2];
    }
    return true;
}

int roundTextureSide(double texels, bool powerOfTwo)
{
    const double wanted = std::max(4.0, std::ceil(texels));
    if (!(wanted < double(MaxTextureSide)))
        return MaxTextureSide;
    const int n = int(wanted);
    if (!powerOfTwo)
        return (n + 3) / 4 * 4;
    int side = 4;
    while (side < n)
        side *= 2;
    return side;
}

bool makeTexturedLayout(const Model& model, const RgbaImage& input, const TextureSettings& settings,
                        TexturedLayout& out, std::string& why)
{
    out = TexturedLayout();
    if (input.empty()) {
        why = "the texture has no pixels";
        return false;
    }
    if (model.sourceLayout.triIndicesUV.empty()) {
        why = "the input has no texture coordinates";
        return false;
    }
    mergeCharts(model.charts, out.layout);
    const Chart& layout = out.layout;
    const size_t n = layout.numTriangles();

    // Input UVs of every triangle's corners, and the areas that fix the
    // density: texels of the input per unit of layout UV area.
    std::vector<std::array<double, 6>> sourceUV(n);
    std::vector<bool> known(n, false);
    double inputTexels = 0.0;
    double layoutArea = 0.0;
    for (size_t t = 0; t < n; ++t) {
        double u[3], v[3];
        if (!indicesInRange(layout, t, model.numVertices()) ||
            !sourceUVsOf(layout, t, model.sharedPositions, model.sourceLayout, u, v))
            continue;
        known[t] = true;
        sourceUV[t] = {u[0], u[1], u[2], v[0], v[1], v[2]};
        inputTexels += 0.5 * std::fabs(uvCross(u, v)) * double(input.width) * double(input.height);
        layoutArea += 0.5 * std::fabs(uvTriangleCross(layout, t));
    }
    const UVBox box = chartUVBounds(layout);
    if (!(inputTexels > 0.0) || !(layoutArea > 0.0) || box.isInverted() || !std::isfinite(inputTexels) ||
        !std::isfinite(layoutArea)) {
        why = "the layout covers no area of the texture";
        return false;
    }
    const double scale = std::isfinite(settings.texelScale) && settings.texelScale > 0.0 ? settings.texelScale : 1.0;
    double k = std::sqrt(scale * inputTexels / layoutArea);
    const double longest = std::max(box.width(), box.height()) * k;
    if (longest > double(MaxTextureSide)) {
        k *= double(MaxTextureSide) / longest;
        out.reduced = true;
    }
    out.texelsPerUV = k;
    // A margin of one gutter width on every side keeps the gutter whole and
    // keeps a repeating sampler from pulling in the opposite edge.
    int gutter = std::max(0, settings.gutter);
    if (std::isfinite(settings.gutterFraction) && settings.gutterFraction > 0.0)
        gutter = std::max(gutter, int(std::min(std::ceil(settings.gutterFraction * std::max(box.width(), box.height()) * k),
                                               double(MaxTextureSide / 8))));
    const double margin = double(gutter);
    const int width = roundTextureSide(box.width() * k + 2.0 * margin, settings.powerOfTwo);
    const int height = roundTextureSide(box.height() * k + 2.0 * margin, settings.powerOfTwo);
    const double originU = box.minU - margin / k;
    const double originV = box.minV - margin / k;
    out.originU = originU;
    out.originV = originV;

    // Texel positions (y down from the top edge) and the texture's own UVs.
    std::vector<TexelTriangle> triangles;
    triangles.reserve(n);
    for (size_t t = 0; t < n; ++t) {
        if (!known[t])
            continue;
        TexelTriangle tri;
        for (int c = 0; c < 3; ++c) {
            const uint32_t uvIndex = layout.triIndicesUV[3 * t + c];
            tri.x[c] = (layout.uvCoords2D[2 * size_t(uvIndex)] - originU) * k;
            tri.y[c] = double(height) - (layout.uvCoords2D[2 * size_t(uvIndex) + 1] - originV) * k;
            tri.u[c] = sourceUV[t][size_t(c)];
            tri.v[c] = sourceUV[t][size_t(c) + 3];
        }
        triangles.push_back(tri);
    }
    for (size_t i = 0; i < layout.numUVVertices(); ++i) {
        double& u = out.layout.uvCoords2D[2 * i];
        double& v = out.layout.uvCoords2D[2 * i + 1];
        u = (u - originU) * k / double(width);
        v = (v - originV) * k / double(height);
    }

    out.image = RgbaImage(width, height);
    std::vector<uint8_t> covered(out.image.pixelCount(), 0);
    rasterizeTexture(triangles, input, out.image, covered);
    dilateGutter(out.image, covered, gutter);
    return true;
}
