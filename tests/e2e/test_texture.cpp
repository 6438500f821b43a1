// Texture transfer through the real program: every written texture against the input texture painted
// here, at random surface points found in the input by 3D geometry of its own (PSNR); the texel density
// and pixel count; the gutter and transparent background (a per-texel coverage rule of its own); the gap
// that --padding keeps between charts (Boost.Geometry distances); and the files naming each other.
#include "e2e_support.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QString>

#include <boost/geometry.hpp>
#include <boost/geometry/geometries/point_xy.hpp>
#include <boost/geometry/geometries/polygon.hpp>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numeric>
#include <random>
#include <sstream>

using namespace e2e;

namespace {

using Vec3 = std::array<double, 3>;
using Rgb = std::array<double, 3>;
constexpr int kInputSide = 1024; // of the square input texture

Vec3 sub(const Vec3& a, const Vec3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
double dot(const Vec3& a, const Vec3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
Vec3 cross(const Vec3& a, const Vec3& b)
{
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

// Barycentric weights of p, projected into the plane of the triangle a, b, c.
Vec3 weights(const Vec3& a, const Vec3& b, const Vec3& c, const Vec3& p)
{
    const Vec3 n = cross(sub(b, a), sub(c, a));
    const double wa = dot(cross(sub(b, p), sub(c, p)), n) / dot(n, n);
    const double wb = dot(cross(sub(c, p), sub(a, p)), n) / dot(n, n);
    return {wa, wb, 1.0 - wa - wb};
}

double minOf(const Vec3& w) { return std::min({w[0], w[1], w[2]}); }

// Bilinear sample with repetition, v upwards, the top row at v = 1.
Rgb sample(const QImage& image, double u, double v)
{
    const double px = u * image.width() - 0.5, py = (1.0 - v) * image.height() - 0.5;
    const int x0 = int(std::floor(px)), y0 = int(std::floor(py));
    const double fx = px - x0, fy = py - y0;
    Rgb out{0, 0, 0};
    for (int k = 0; k < 4; ++k) {
        const int x = ((x0 + k % 2) % image.width() + image.width()) % image.width();
        const int y = ((y0 + k / 2) % image.height() + image.height()) % image.height();
        const double weight = (k % 2 ? fx : 1 - fx) * (k / 2 ? fy : 1 - fy);
        const QRgb c = image.pixel(x, y);
        out = {out[0] + weight * qRed(c), out[1] + weight * qGreen(c), out[2] + weight * qBlue(c)};
    }
    return out;
}

// The input texture: a smooth function of the texture coordinates, a few
// periods across the square.
QImage paintInputTexture()
{
    QImage image(kInputSide, kInputSide, QImage::Format_RGB32);
    for (int j = 0; j < kInputSide; ++j) {
        for (int i = 0; i < kInputSide; ++i) {
            const double u = (i + 0.5) / kInputSide, v = 1.0 - (j + 0.5) / kInputSide;
            image.setPixel(i, j, qRgb(int(127.5 + 120.0 * std::sin(11.0 * u + 5.0 * v + 0.7)),
                                      int(127.5 + 120.0 * std::sin(9.0 * v - 4.0 * u + 1.9)),
                                      int(127.5 + 120.0 * std::sin(7.0 * (u + v) - 0.4))));
        }
    }
    return image;
}

// Running sums of the UV triangle areas.
std::vector<double> summedUVAreas(const ObjMesh& mesh)
{
    std::vector<double> sums;
    for (size_t t = 0; t < mesh.triangles(); ++t) {
        const auto a = mesh.t(t, 0), b = mesh.t(t, 1), c = mesh.t(t, 2);
        const double area = 0.5 * std::fabs((b[0] - a[0]) * (c[1] - a[1]) - (c[0] - a[0]) * (b[1] - a[1]));
        sums.push_back((sums.empty() ? 0.0 : sums.back()) + area);
    }
    return sums;
}

// The input UV of a surface point: the input triangle whose plane holds it
// and that contains it best.
std::array<double, 2> inputUVAt(const ObjMesh& input, const Vec3& p)
{
    double bestMin = -1e300;
    std::array<double, 2> uv{0, 0};
    for (size_t t = 0; t < input.triangles(); ++t) {
        const Vec3 a = input.p(t, 0), b = input.p(t, 1), c = input.p(t, 2), n = cross(sub(b, a), sub(c, a));
        const Vec3 w = weights(a, b, c, p);
        if (std::fabs(dot(sub(p, a), n)) / std::sqrt(dot(n, n)) > 1e-5 || minOf(w) <= bestMin)
            continue;
        bestMin = minOf(w);
        for (size_t k = 0; k < 2; ++k)
            uv[k] = w[0] * input.t(t, 0)[k] + w[1] * input.t(t, 1)[k] + w[2] * input.t(t, 2)[k];
    }
    return uv;
}

// PSNR of the written texture against the input texture at 3000 random
// surface points, uniform over the written layout's UV area.
double psnrAtRandomPoints(const ObjMesh& input, const QImage& inputTexture, const ObjMesh& mesh, const QImage& texture)
{
    const std::vector<double> areas = summedUVAreas(mesh);
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const int points = 3000;
    double squared = 0.0;
    for (int i = 0; i < points; ++i) {
        const size_t t = size_t(std::lower_bound(areas.begin(), areas.end(), unit(rng) * areas.back()) - areas.begin());
        const double r1 = std::sqrt(unit(rng)), r2 = unit(rng);
        const Vec3 w{1.0 - r1, r1 * (1.0 - r2), r1 * r2};
        Vec3 p{0, 0, 0};
        std::array<double, 2> uv{0, 0};
        for (size_t k = 0; k < 3; ++k) {
            for (size_t c = 0; c < 3; ++c)
                p[c] += w[k] * mesh.p(t, int(k))[c];
            for (size_t c = 0; c < 2; ++c)
                uv[c] += w[k] * mesh.t(t, int(k))[c];
        }
        const std::array<double, 2> in = inputUVAt(input, p);
        const Rgb expected = sample(inputTexture, in[0], in[1]), got = sample(texture, uv[0], uv[1]);
        for (size_t c = 0; c < 3; ++c)
            squared += (expected[c] - got[c]) * (expected[c] - got[c]);
    }
    const double mse = squared / (3.0 * points);
    return mse > 0.0 ? 10.0 * std::log10(255.0 * 255.0 / mse) : 99.0;
}

// Texels whose centre lies strictly inside an output triangle (1), on or
// within a hair of an edge (2, either way), or outside every triangle (0).
std::vector<uint8_t> coverage(const ObjMesh& mesh, int width, int height)
{
    std::vector<uint8_t> cover(size_t(width) * size_t(height), 0);
    for (size_t t = 0; t < mesh.triangles(); ++t) {
        std::array<Vec3, 3> c;
        for (int k = 0; k < 3; ++k)
            c[size_t(k)] = {mesh.t(t, k)[0] * width, (1.0 - mesh.t(t, k)[1]) * height, 0.0};
        const int x0 = std::max(0, int(std::floor(std::min({c[0][0], c[1][0], c[2][0]}))) - 1);
        const int x1 = std::min(width - 1, int(std::ceil(std::max({c[0][0], c[1][0], c[2][0]}))) + 1);
        const int y0 = std::max(0, int(std::floor(std::min({c[0][1], c[1][1], c[2][1]}))) - 1);
        const int y1 = std::min(height - 1, int(std::ceil(std::max({c[0][1], c[1][1], c[2][1]}))) + 1);
        for (int y = y0; y <= y1; ++y) {
            for (int x = x0; x <= x1; ++x) {
                const double m = minOf(weights(c[0], c[1], c[2], {x + 0.5, y + 0.5, 0.0}));
                uint8_t& cell = cover[size_t(y) * size_t(width) + size_t(x)];
                if (m > 1e-9)
                    cell = 1;
                else if (m > -1e-9 && cell == 0)
                    cell = 2;
            }
        }
    }
    return cover;
}

// Covered texels must be opaque; gutter texels (not covered, within `gutter`
// of a covered one) must equal one of their nearest covered texels; texels
// farther out must be transparent black. Texels near an edge-straddling
// centre are left out. Returns the number of gutter texels checked.
size_t expectGutter(const ObjMesh& mesh, const QImage& texture, int gutter)
{
    const int w = texture.width(), h = texture.height(), reach = gutter + 1;
    const std::vector<uint8_t> cover = coverage(mesh, w, h);
    size_t translucent = 0, gutterChecked = 0, gutterWrong = 0, outsideWrong = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const uint8_t cell = cover[size_t(y) * size_t(w) + size_t(x)];
            const QRgb colour = texture.pixel(x, y);
            translucent += cell == 1 && qAlpha(colour) != 255;
            if (cell != 0)
                continue;
            int best = 1 << 30;
            bool unsure = false;
            std::vector<QRgb> nearest;
            for (int sy = std::max(0, y - reach); sy <= std::min(h - 1, y + reach); ++sy) {
                for (int sx = std::max(0, x - reach); sx <= std::min(w - 1, x + reach); ++sx) {
                    const uint8_t s = cover[size_t(sy) * size_t(w) + size_t(sx)];
                    const int d2 = (sx - x) * (sx - x) + (sy - y) * (sy - y);
                    unsure = unsure || (s == 2 && d2 <= gutter * gutter);
                    if (s != 1 || d2 > best)
                        continue;
                    if (d2 < best)
                        nearest.clear();
                    best = d2;
                    nearest.push_back(texture.pixel(sx, sy));
                }
            }
            if (unsure)
                continue;
            if (best <= gutter * gutter) {
                ++gutterChecked;
                gutterWrong += std::find(nearest.begin(), nearest.end(), colour) == nearest.end();
            } else {
                outsideWrong += texture.pixelColor(x, y).rgba() != 0u;
            }
        }
    }
    EXPECT_EQ(translucent, 0u);
    EXPECT_EQ(gutterWrong, 0u) << "of " << gutterChecked << " gutter texels";
    EXPECT_EQ(outsideWrong, 0u);
    return gutterChecked;
}

// The least UV distance, measured by Boost.Geometry, between triangles of
// different charts (the UV-connected groups of triangles), over the longer
// side of the layout's box; infinity for one chart.
double chartGap(const ObjMesh& mesh, size_t& charts)
{
    namespace bg = boost::geometry;
    using Point = bg::model::d2::point_xy<double>;
    std::vector<size_t> parent(mesh.uvs.size() / 2);
    std::iota(parent.begin(), parent.end(), size_t(0));
    const auto find = [&parent](size_t v) {
        while (parent[v] != v)
            v = parent[v] = parent[parent[v]];
        return v;
    };
    std::vector<bg::model::polygon<Point>> triangles(mesh.triangles());
    for (size_t t = 0; t < mesh.triangles(); ++t) {
        parent[find(mesh.uv[3 * t])] = find(mesh.uv[3 * t + 1]);
        parent[find(mesh.uv[3 * t + 1])] = find(mesh.uv[3 * t + 2]);
        for (int k : {0, 1, 2, 0})
            bg::append(triangles[t].outer(), Point(mesh.t(t, k)[0], mesh.t(t, k)[1]));
        bg::correct(triangles[t]);
    }
    std::set<size_t> roots;
    double best = INFINITY;
    for (size_t i = 0; i < mesh.triangles(); ++i) {
        roots.insert(find(mesh.uv[3 * i]));
        for (size_t j = i + 1; j < mesh.triangles(); ++j) {
            if (find(mesh.uv[3 * i]) != find(mesh.uv[3 * j]))
                best = std::min(best, double(bg::distance(triangles[i], triangles[j])));
        }
    }
    charts = roots.size();
    const std::array<double, 4> box = mesh.uvBox();
    return best / std::max(box[2] - box[0], box[3] - box[1]);
}

// A cube net with its UVs stretched over [0,1]^2 but for a margin of 4 input
// texels (bilinear samples never wrap); a grid whose right half is folded over
// its left half in UV (flipped and overlapping triangles).
meshgen::MeshData cubeFillingTheSquare()
{
    meshgen::MeshData mesh = meshgen::cubeNet(3);
    const double margin = 4.0 / kInputSide;
    for (size_t k = 0; k < mesh.numUVVertices(); ++k) {
        mesh.uvs[2 * k] = margin + (1.0 - 2.0 * margin) * mesh.uvs[2 * k] / 3.0;
        mesh.uvs[2 * k + 1] = margin + (1.0 - 2.0 * margin) * mesh.uvs[2 * k + 1] / 4.0;
    }
    return mesh;
}

meshgen::MeshData foldedGrid()
{
    meshgen::MeshData mesh = meshgen::flatGrid(8, 6, meshgen::Outline::Rectangle);
    for (size_t k = 0; k < mesh.numUVVertices(); ++k) {
        double& u = mesh.uvs[2 * k];
        if (u > 0.5)
            u = 0.5 - 0.8 * (u - 0.5);
    }
    for (size_t k = 0; k < mesh.numVertices(); ++k)
        mesh.positions[3 * k + 2] = 0.3 * mesh.positions[3 * k] * mesh.positions[3 * k + 1];
    return mesh;
}

struct TextureCase {
    const char* name;
    std::function<meshgen::MeshData()> make;
    std::vector<std::string> options;
    double texelScale;
    double minPsnr;
    bool checkPixelCount; // the input fills the unit square
    double gap;           // --padding over --resolution, 0 for none
};

bool has(const std::vector<std::string>& list, const std::string& item)
{
    return std::find(list.begin(), list.end(), item) != list.end();
}

class TextureRoundTrip : public ::testing::TestWithParam<TextureCase> {};

TEST_P(TextureRoundTrip, WrittenTexturesMatchTheSurface)
{
    const TextureCase& tc = GetParam();
    const std::string model = generatedModel(std::string("texture_") + tc.name, tc.make());
    const ObjMesh input = readObj(model);
    const QImage inputTexture = paintInputTexture();
    const std::string texturePath = model.substr(0, model.size() - 4) + ".png";
    ASSERT_TRUE(inputTexture.save(QString::fromStdString(texturePath), "PNG"));

    std::vector<std::string> options = {"--texture", texturePath};
    options.insert(options.end(), tc.options.begin(), tc.options.end());
    const BatchRun run = runBatch(model, options);
    ASSERT_EQ(run.result.exitStatus, 0) << run.result.out;

    size_t severalCharts = 0;
    for (const std::string& stage : kFamilies) {
        SCOPED_TRACE(stage);
        const std::string base = run.dir + (has(tc.options, "--output") ? "/out/" : "/") + stage;
        const ObjMesh output = readObj(base + ".obj");
        ASSERT_GT(output.triangles(), 0u);
        EXPECT_EQ(output.mtllib, stage + ".mtl");
        const std::string mtl = testsupport::readTextFile(base + ".mtl");
        EXPECT_NE(mtl.find("newmtl " + output.usemtl + "\n"), std::string::npos) << mtl;
        EXPECT_NE(mtl.find("map_Kd " + stage + "_texture.png\n"), std::string::npos) << mtl;
        const std::string png = testsupport::readTextFile(base + "_texture.png");
        // The glb twin embeds the very PNG written beside the OBJ.
        EXPECT_TRUE(!has(tc.options, "glb") || testsupport::readTextFile(base + ".glb").find(png) != std::string::npos);
        QImage texture;
        ASSERT_TRUE(texture.loadFromData(reinterpret_cast<const uchar*>(png.data()), int(png.size()), "PNG"));
        texture = texture.convertToFormat(QImage::Format_ARGB32);
        const std::array<double, 4> box = output.uvBox();
        EXPECT_GE(std::min(box[0], box[1]), 0.0);
        EXPECT_LE(std::max(box[2], box[3]), 1.0);
        std::ostringstream line;
        line << stage << "_texture.png: input " << kInputSide << " x " << kInputSide << " ("
             << kInputSide * kInputSide << " pixels), output " << texture.width() << " x " << texture.height()
             << " (" << texture.width() * texture.height() << " pixels).";
        EXPECT_NE(run.result.out.find(line.str()), std::string::npos) << line.str();
        // Sides of a power of two with --pot, else of a multiple of 4.
        for (const int side : {texture.width(), texture.height()})
            EXPECT_EQ(side & (has(tc.options, "--pot") ? side - 1 : 3), 0) << side;

        // The layout covers texel-scale times the input's texels; the pixel
        // count follows the gain in efficiency (UV area over the UV box).
        const double inputTexels = summedUVAreas(input).back() * kInputSide * kInputSide;
        const double area = summedUVAreas(output).back();
        EXPECT_NEAR(area * texture.width() * texture.height() / inputTexels, tc.texelScale, 0.01 * tc.texelScale);
        if (tc.checkPixelCount) {
            const double expected = inputTexels * tc.texelScale * (box[2] - box[0]) * (box[3] - box[1]) / area;
            EXPECT_NEAR(texture.width() * double(texture.height()) / expected, 1.0, 0.05);
        }
        EXPECT_GE(psnrAtRandomPoints(input, inputTexture, output, texture), tc.minPsnr);
        size_t charts = 0;
        const double gap = tc.gap > 0 ? chartGap(output, charts) : 0.0;
        if (charts > 1) {
            ++severalCharts;
            EXPECT_GE(gap, tc.gap) << charts << " charts";
        }
        if (stage == "overlap_free" || stage == "export") {
            // The gutter reaches 4 texels, or the packing gap when that is more.
            const double side = std::max((box[2] - box[0]) * texture.width(), (box[3] - box[1]) * texture.height());
            EXPECT_GT(expectGutter(output, texture, std::max(4, int(std::ceil(tc.gap * side - 1e-9)))), 100u);
        }
    }
    EXPECT_TRUE(tc.gap == 0 || severalCharts > 0) << "no written layout had more than one chart";
    testsupport::removeTree(run.dir);
}

INSTANTIATE_TEST_SUITE_P(
    Models, TextureRoundTrip,
    ::testing::Values(TextureCase{"cube", cubeFillingTheSquare, {}, 1.0, 35.0, true, 0.0},
                      // Charts packed without a gap can lie a fraction of a texel apart, so
                      // that one texel serves two places of the surface; a padding of 1.5
                      // keeps about 3 texels between them here, within the 4-texel gutter.
                      TextureCase{"cube_scale2", cubeFillingTheSquare, {"--texel-scale", "2", "--padding", "1.5"},
                                  2.0, 45.0, true, 0.0},
                      // Into an output folder, with a gap of 4 / 512 of the layout's side between charts.
                      TextureCase{"folded_pot", foldedGrid,
                                  {"--pot", "--format", "glb", "--padding", "4", "--resolution", "512", "--output", "out"},
                                  1.0, 35.0, false, 4.0 / 512.0}),
    [](const ::testing::TestParamInfo<TextureCase>& info) { return std::string(info.param.name); });

} // namespace
