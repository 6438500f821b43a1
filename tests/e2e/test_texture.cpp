// Texture transfer through the real program. The test paints the input
// texture itself from a known function of the surface point, then checks the
// written textures against it: colours at random surface points (PSNR), the
// texel density and the pixel count, the gutter and the transparent
// background (a per-texel coverage rule of its own), and that every written
// file parses and refers to the next one. Bad texture files end the run with
// status 2 before anything is written.
#include "e2e_support.h"
#include "meshgen/meshgen.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QString>

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

// Texels of the gutter around every chart: 4, or the packing gap between
// charts (a fraction of the layout's longer side) when that is more.
int gutterTexels(const ObjMesh& mesh, int width, int height, double gap)
{
    double lo[2] = {1, 1}, hi[2] = {0, 0};
    for (size_t i = 0; i < mesh.uvs.size(); ++i) {
        lo[i % 2] = std::min(lo[i % 2], mesh.uvs[i]);
        hi[i % 2] = std::max(hi[i % 2], mesh.uvs[i]);
    }
    return std::max(4, int(std::ceil(gap * std::max((hi[0] - lo[0]) * width, (hi[1] - lo[1]) * height) - 1e-9)));
}

// The surface colour: smooth, a few periods across the models.
Rgb surfaceColour(const Vec3& p)
{
    return {127.5 + 120.0 * std::sin(4.1 * p[0] + 2.3 * p[1] + 0.7),
            127.5 + 120.0 * std::sin(3.7 * p[1] - 2.9 * p[2] + 1.9),
            127.5 + 120.0 * std::sin(3.3 * p[2] + 2.1 * p[0] - 0.4)};
}

// Barycentric weights of (x, y) in the 2D triangle a, b, c.
std::array<double, 3> weights2D(const std::array<double, 2>& a, const std::array<double, 2>& b,
                                const std::array<double, 2>& c, double x, double y)
{
    const double d = (b[0] - a[0]) * (c[1] - a[1]) - (c[0] - a[0]) * (b[1] - a[1]);
    const double wb = ((x - a[0]) * (c[1] - a[1]) - (c[0] - a[0]) * (y - a[1])) / d;
    const double wc = ((b[0] - a[0]) * (y - a[1]) - (x - a[0]) * (b[1] - a[1])) / d;
    return {1.0 - wb - wc, wb, wc};
}

double minOf(const std::array<double, 3>& w) { return std::min({w[0], w[1], w[2]}); }

// Bilinear sample with repetition, v upwards, the top row at v = 1.
Rgb sample(const QImage& image, double u, double v)
{
    const double px = u * image.width() - 0.5, py = (1.0 - v) * image.height() - 0.5;
    const int x0 = int(std::floor(px)), y0 = int(std::floor(py));
    const double fx = px - x0, fy = py - y0;
    auto texel = [&](int x, int y) {
        x = ((x % image.width()) + image.width()) % image.width();
        y = ((y % image.height()) + image.height()) % image.height();
        const QRgb c = image.pixel(x, y);
        return Rgb{double(qRed(c)), double(qGreen(c)), double(qBlue(c))};
    };
    const Rgb a = texel(x0, y0), b = texel(x0 + 1, y0), c = texel(x0, y0 + 1), d = texel(x0 + 1, y0 + 1);
    Rgb out;
    for (int k = 0; k < 3; ++k)
        out[size_t(k)] = (1 - fy) * ((1 - fx) * a[size_t(k)] + fx * b[size_t(k)]) + fy * ((1 - fx) * c[size_t(k)] + fx * d[size_t(k)]);
    return out;
}

// Paints the input texture: each texel centre takes the colour of the surface
// point of the triangle that contains it in UV (or, outside the layout, of
// the nearest triangle's plane extended).
QImage paintInputTexture(const ObjMesh& mesh, int side)
{
    QImage image(side, side, QImage::Format_RGB32);
    for (int j = 0; j < side; ++j) {
        for (int i = 0; i < side; ++i) {
            const double u = (i + 0.5) / side, v = 1.0 - (j + 0.5) / side;
            size_t best = 0;
            double bestMin = -1e300;
            std::array<double, 3> bestW{};
            for (size_t t = 0; t < mesh.triangles(); ++t) {
                const auto w = weights2D(mesh.t(t, 0), mesh.t(t, 1), mesh.t(t, 2), u, v);
                if (minOf(w) > bestMin) {
                    bestMin = minOf(w);
                    best = t;
                    bestW = w;
                }
            }
            Vec3 p{0, 0, 0};
            for (int k = 0; k < 3; ++k)
                for (int c = 0; c < 3; ++c)
                    p[size_t(c)] += bestW[size_t(k)] * mesh.p(best, k)[size_t(c)];
            const Rgb col = surfaceColour(p);
            image.setPixel(i, j, qRgb(int(std::lround(col[0])), int(std::lround(col[1])), int(std::lround(col[2]))));
        }
    }
    return image;
}

Vec3 sub(const Vec3& a, const Vec3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
double dot(const Vec3& a, const Vec3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
Vec3 cross(const Vec3& a, const Vec3& b)
{
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

// The input UV of a surface point: the input triangle whose plane holds it
// and that contains it best.
std::array<double, 2> inputUVAt(const ObjMesh& input, const Vec3& p)
{
    double bestMin = -1e300;
    std::array<double, 2> uv{0, 0};
    for (size_t t = 0; t < input.triangles(); ++t) {
        const Vec3 a = input.p(t, 0), b = input.p(t, 1), c = input.p(t, 2);
        const Vec3 n = cross(sub(b, a), sub(c, a));
        const double nn = dot(n, n);
        if (std::fabs(dot(sub(p, a), n)) / std::sqrt(nn) > 1e-5)
            continue;
        const double wa = dot(cross(sub(b, p), sub(c, p)), n) / nn;
        const double wb = dot(cross(sub(c, p), sub(a, p)), n) / nn;
        const std::array<double, 3> w{wa, wb, 1.0 - wa - wb};
        if (minOf(w) > bestMin) {
            bestMin = minOf(w);
            for (int k = 0; k < 2; ++k)
                uv[size_t(k)] = w[0] * input.t(t, 0)[size_t(k)] + w[1] * input.t(t, 1)[size_t(k)] + w[2] * input.t(t, 2)[size_t(k)];
        }
    }
    return uv;
}

// PSNR of the output texture against the input texture at random surface
// points (area-weighted over the output triangles).
double psnrAtRandomPoints(const ObjMesh& input, const QImage& inputTexture, const ObjMesh& output,
                          const QImage& outputTexture, int points)
{
    std::vector<double> cumulative;
    double total = 0.0;
    for (size_t t = 0; t < output.triangles(); ++t) {
        const Vec3 n = cross(sub(output.p(t, 1), output.p(t, 0)), sub(output.p(t, 2), output.p(t, 0)));
        total += std::sqrt(dot(n, n));
        cumulative.push_back(total);
    }
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    double squared = 0.0;
    for (int i = 0; i < points; ++i) {
        const size_t t = size_t(std::lower_bound(cumulative.begin(), cumulative.end(), unit(rng) * total) - cumulative.begin());
        double r1 = unit(rng), r2 = unit(rng);
        if (r1 + r2 > 1.0) {
            r1 = 1.0 - r1;
            r2 = 1.0 - r2;
        }
        const std::array<double, 3> w{1.0 - r1 - r2, r1, r2};
        Vec3 p{0, 0, 0};
        std::array<double, 2> uv{0, 0};
        for (int k = 0; k < 3; ++k) {
            for (int c = 0; c < 3; ++c)
                p[size_t(c)] += w[size_t(k)] * output.p(t, k)[size_t(c)];
            for (int c = 0; c < 2; ++c)
                uv[size_t(c)] += w[size_t(k)] * output.t(t, k)[size_t(c)];
        }
        const std::array<double, 2> in = inputUVAt(input, p);
        const Rgb expected = sample(inputTexture, in[0], in[1]);
        const Rgb got = sample(outputTexture, uv[0], uv[1]);
        for (int c = 0; c < 3; ++c)
            squared += (expected[size_t(c)] - got[size_t(c)]) * (expected[size_t(c)] - got[size_t(c)]);
    }
    const double mse = squared / (3.0 * points);
    return mse > 0.0 ? 10.0 * std::log10(255.0 * 255.0 / mse) : 99.0;
}

double uvArea(const ObjMesh& mesh)
{
    double area = 0.0;
    for (size_t t = 0; t < mesh.triangles(); ++t) {
        const auto a = mesh.t(t, 0), b = mesh.t(t, 1), c = mesh.t(t, 2);
        area += 0.5 * std::fabs((b[0] - a[0]) * (c[1] - a[1]) - (c[0] - a[0]) * (b[1] - a[1]));
    }
    return area;
}

// Texels whose centre lies strictly inside an output triangle (1), on or
// within a hair of an edge (2, either way), or outside every triangle (0).
std::vector<uint8_t> coverage(const ObjMesh& mesh, int width, int height)
{
    std::vector<uint8_t> cover(size_t(width) * size_t(height), 0);
    for (size_t t = 0; t < mesh.triangles(); ++t) {
        std::array<std::array<double, 2>, 3> c;
        for (int k = 0; k < 3; ++k)
            c[size_t(k)] = {mesh.t(t, k)[0] * width, (1.0 - mesh.t(t, k)[1]) * height};
        const int x0 = std::max(0, int(std::floor(std::min({c[0][0], c[1][0], c[2][0]}))) - 1);
        const int x1 = std::min(width - 1, int(std::ceil(std::max({c[0][0], c[1][0], c[2][0]}))) + 1);
        const int y0 = std::max(0, int(std::floor(std::min({c[0][1], c[1][1], c[2][1]}))) - 1);
        const int y1 = std::min(height - 1, int(std::ceil(std::max({c[0][1], c[1][1], c[2][1]}))) + 1);
        for (int y = y0; y <= y1; ++y) {
            for (int x = x0; x <= x1; ++x) {
                const double m = minOf(weights2D(c[0], c[1], c[2], x + 0.5, y + 0.5));
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

struct GutterReport {
    size_t coveredOpaque = 0, coveredTotal = 0;
    size_t gutterChecked = 0, gutterMatching = 0;
    size_t outsideChecked = 0, outsideClear = 0;
};

// Gutter texels (not covered, within `gutter` of a covered one) must equal one
// of their nearest covered texels; texels farther out must be transparent
// black. Texels near an edge-straddling centre are left out.
GutterReport checkGutter(const ObjMesh& mesh, const QImage& texture, int gutter)
{
    const int w = texture.width(), h = texture.height();
    const std::vector<uint8_t> cover = coverage(mesh, w, h);
    GutterReport r;
    const int reach = gutter + 1;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const uint8_t cell = cover[size_t(y) * size_t(w) + size_t(x)];
            const QRgb colour = texture.pixel(x, y);
            if (cell == 1) {
                ++r.coveredTotal;
                r.coveredOpaque += qAlpha(colour) == 255;
                continue;
            }
            if (cell == 2)
                continue;
            int best = 1 << 30;
            bool unsure = false;
            std::vector<QRgb> nearest;
            for (int dy = -reach; dy <= reach; ++dy) {
                for (int dx = -reach; dx <= reach; ++dx) {
                    const int sx = x + dx, sy = y + dy;
                    if (sx < 0 || sy < 0 || sx >= w || sy >= h)
                        continue;
                    const uint8_t s = cover[size_t(sy) * size_t(w) + size_t(sx)];
                    const int d2 = dx * dx + dy * dy;
                    if (s == 2 && d2 <= gutter * gutter)
                        unsure = true;
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
                ++r.gutterChecked;
                r.gutterMatching += std::find(nearest.begin(), nearest.end(), colour) != nearest.end();
            } else {
                ++r.outsideChecked;
                r.outsideClear += texture.pixelColor(x, y).rgba() == 0u;
            }
        }
    }
    return r;
}

// The least UV distance between triangles of different charts (the
// UV-connected groups of triangles), over the longer side of the layout's box;
// infinity for one chart. Plain segment geometry, counted in `charts`.
double chartGap(const ObjMesh& mesh, size_t& charts)
{
    using P2 = std::array<double, 2>;
    std::vector<size_t> parent(mesh.uvs.size() / 2);
    std::iota(parent.begin(), parent.end(), size_t(0));
    const auto find = [&parent](size_t v) {
        while (parent[v] != v)
            v = parent[v] = parent[parent[v]];
        return v;
    };
    for (size_t t = 0; t < mesh.triangles(); ++t) {
        parent[find(mesh.uv[3 * t])] = find(mesh.uv[3 * t + 1]);
        parent[find(mesh.uv[3 * t + 1])] = find(mesh.uv[3 * t + 2]);
    }
    std::set<size_t> roots;
    for (size_t t = 0; t < mesh.triangles(); ++t)
        roots.insert(find(mesh.uv[3 * t]));
    charts = roots.size();
    const auto cross = [](const P2& o, const P2& a, const P2& b) {
        return (a[0] - o[0]) * (b[1] - o[1]) - (a[1] - o[1]) * (b[0] - o[0]);
    };
    const auto pointSegment = [](const P2& p, const P2& a, const P2& b) {
        const double dx = b[0] - a[0], dy = b[1] - a[1], l = dx * dx + dy * dy;
        const double t = l > 0 ? std::clamp(((p[0] - a[0]) * dx + (p[1] - a[1]) * dy) / l, 0.0, 1.0) : 0.0;
        return std::hypot(p[0] - a[0] - t * dx, p[1] - a[1] - t * dy);
    };
    double lo[2] = {1e300, 1e300}, hi[2] = {-1e300, -1e300}, best = INFINITY;
    for (size_t i = 0; i < mesh.uvs.size(); ++i) {
        lo[i % 2] = std::min(lo[i % 2], mesh.uvs[i]);
        hi[i % 2] = std::max(hi[i % 2], mesh.uvs[i]);
    }
    for (size_t i = 0; i < mesh.triangles(); ++i) {
        for (size_t j = i + 1; j < mesh.triangles(); ++j) {
            if (find(mesh.uv[3 * i]) == find(mesh.uv[3 * j]))
                continue;
            for (int a = 0; a < 3; ++a) {
                const P2 s0 = mesh.t(i, a), s1 = mesh.t(i, (a + 1) % 3);
                for (int b = 0; b < 3; ++b) {
                    const P2 t0 = mesh.t(j, b), t1 = mesh.t(j, (b + 1) % 3);
                    const double d1 = cross(t0, t1, s0), d2 = cross(t0, t1, s1), d3 = cross(s0, s1, t0),
                                 d4 = cross(s0, s1, t1);
                    if (d1 * d2 < 0 && d3 * d4 < 0)
                        return 0.0; // edges cross
                    best = std::min({best, pointSegment(s0, t0, t1), pointSegment(t0, s0, s1)});
                }
            }
        }
    }
    return best / std::max(hi[0] - lo[0], hi[1] - lo[1]);
}

// A cube surface cut open as a cross, its UVs stretched to fill [0,1]^2 (half
// of it covered) but for a margin of 4 texels of a 1024 texture, so that
// bilinear samples of the input never wrap to the opposite edge; and a flat
// grid whose right half is folded over its left half in UV (flipped and
// overlapping triangles).
meshgen::MeshData cubeFillingTheSquare()
{
    meshgen::MeshData mesh = meshgen::cubeNet(3);
    const double margin = 4.0 / 1024.0;
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
    int inputSide; // of the square input texture
    std::vector<std::string> options;
    double texelScale;
    bool powerOfTwo;
    double minPsnr;
    bool checkPixelCount; // the input fills the unit square
    double gutter;        // --padding over --resolution, 0 for none
};

class TextureRoundTrip : public ::testing::TestWithParam<TextureCase> {};

TEST_P(TextureRoundTrip, WrittenTexturesMatchTheInputOnTheSurface)
{
    const TextureCase& tc = GetParam();
    testsupport::TempDir inputs("tarnwick_texture_in");
    const std::string model = inputs.file("model.obj");
    ASSERT_TRUE(meshgen::writeOBJ(tc.make(), model));
    ObjMesh input;
    std::string error;
    ASSERT_TRUE(readObj(model, input, error)) << error;
    const QImage inputTexture = paintInputTexture(input, tc.inputSide);
    const std::string texturePath = inputs.file("texture.png");
    ASSERT_TRUE(inputTexture.save(QString::fromStdString(texturePath), "PNG"));

    std::vector<std::string> options = {"--texture", texturePath};
    options.insert(options.end(), tc.options.begin(), tc.options.end());
    const BatchRun run = runBatch(model, options);
    ASSERT_EQ(run.result.exitStatus, 0) << run.result.out;

    const bool intoFolder = std::find(tc.options.begin(), tc.options.end(), "--output") != tc.options.end();
    size_t severalCharts = 0;
    for (const std::string& stage : kFamilies) {
        SCOPED_TRACE(stage);
        const std::string base = run.dir + (intoFolder ? "/out/" : "/") + stage;
        ObjMesh output;
        ASSERT_TRUE(readObj(base + ".obj", output, error)) << error;
        EXPECT_EQ(output.mtllib, stage + ".mtl");
        EXPECT_FALSE(output.usemtl.empty());
        const std::string mtl = testsupport::readTextFile(base + ".mtl");
        EXPECT_NE(mtl.find("newmtl " + output.usemtl + "\n"), std::string::npos) << mtl;
        EXPECT_NE(mtl.find("map_Kd " + stage + "_texture.png\n"), std::string::npos) << mtl;
        if (std::find(tc.options.begin(), tc.options.end(), "glb") != tc.options.end()) {
            // The glb twin embeds the very PNG written beside the OBJ.
            const std::string png = testsupport::readTextFile(base + "_texture.png");
            ASSERT_FALSE(png.empty());
            EXPECT_NE(testsupport::readTextFile(base + ".glb").find(png), std::string::npos);
        }
        QImage texture;
        ASSERT_TRUE(texture.load(QString::fromStdString(base + "_texture.png"), "PNG"));
        texture = texture.convertToFormat(QImage::Format_ARGB32);
        for (double x : output.uvs) {
            ASSERT_GE(x, 0.0);
            ASSERT_LE(x, 1.0);
        }
        // The console names the texture ("Texture [DIR/]NAME") and its sizes.
        std::ostringstream line;
        line << stage << "_texture.png: input " << tc.inputSide << " x " << tc.inputSide << " ("
             << tc.inputSide * tc.inputSide << " pixels), output " << texture.width() << " x " << texture.height()
             << " (" << texture.width() * texture.height() << " pixels).";
        EXPECT_NE(run.result.out.find(line.str()), std::string::npos) << line.str();

        if (tc.powerOfTwo) {
            EXPECT_EQ(texture.width() & (texture.width() - 1), 0);
            EXPECT_EQ(texture.height() & (texture.height() - 1), 0);
        } else {
            EXPECT_EQ(texture.width() % 4, 0);
            EXPECT_EQ(texture.height() % 4, 0);
        }
        // Texel density: the layout covers texel-scale times the input's texels.
        const double inputTexels = uvArea(input) * tc.inputSide * tc.inputSide;
        const double outputTexels = uvArea(output) * texture.width() * texture.height();
        EXPECT_NEAR(outputTexels / inputTexels, tc.texelScale, 0.01 * tc.texelScale);
        if (tc.checkPixelCount) {
            // Pixels follow the efficiency gain: input efficiency (its covered
            // share of the unit square) over the output's (UV area over the
            // UV box, both in the written texture's units).
            double minU = 1, minV = 1, maxU = 0, maxV = 0;
            for (size_t i = 0; i < output.uvs.size(); i += 2) {
                minU = std::min(minU, output.uvs[i]);
                maxU = std::max(maxU, output.uvs[i]);
                minV = std::min(minV, output.uvs[i + 1]);
                maxV = std::max(maxV, output.uvs[i + 1]);
            }
            const double efficiencyIn = uvArea(input);
            const double efficiencyOut = uvArea(output) / ((maxU - minU) * (maxV - minV));
            const double expected = double(tc.inputSide) * tc.inputSide * tc.texelScale * efficiencyIn / efficiencyOut;
            EXPECT_NEAR(texture.width() * double(texture.height()) / expected, 1.0, 0.05);
        }
        const double psnr = psnrAtRandomPoints(input, inputTexture, output, texture, 3000);
        EXPECT_GE(psnr, tc.minPsnr);
        size_t charts = 0;
        const double gap = tc.gutter > 0 ? chartGap(output, charts) : 0.0;
        if (charts > 1) {
            ++severalCharts;
            EXPECT_GE(gap, tc.gutter) << charts << " charts";
        }

        if (stage != "overlap_free" && stage != "export")
            continue;
        const GutterReport g =
            checkGutter(output, texture, gutterTexels(output, texture.width(), texture.height(), tc.gutter));
        EXPECT_EQ(g.coveredOpaque, g.coveredTotal);
        EXPECT_GT(g.gutterChecked, 100u);
        EXPECT_EQ(g.gutterMatching, g.gutterChecked);
        EXPECT_EQ(g.outsideClear, g.outsideChecked);
        if (stage == "export")
            std::cout << tc.name << ": " << texture.width() << " x " << texture.height() << ", PSNR " << psnr
                      << " dB, gutter texels " << g.gutterChecked << ", outside " << g.outsideChecked << "\n";
    }
    if (tc.gutter > 0) {
        EXPECT_GT(severalCharts, 0u) << "no written layout had more than one chart";
    }
    testsupport::removeTree(run.dir);
}

INSTANTIATE_TEST_SUITE_P(
    Models, TextureRoundTrip,
    ::testing::Values(TextureCase{"cube", cubeFillingTheSquare, 1024, {}, 1.0, false, 35.0, true, 0.0},
                      // Charts packed without a gap can lie a fraction of a texel apart, so
                      // that one texel serves two places of the surface; a padding of 1.5
                      // keeps about 3 texels between them here, within the 4-texel gutter.
                      TextureCase{"cube_scale2", cubeFillingTheSquare, 1024,
                                  {"--texel-scale", "2", "--padding", "1.5"}, 2.0, false, 45.0, true, 0.0},
                      // Into an output folder, with a gutter of 4 / 512 of the layout's side between charts.
                      TextureCase{"folded_pot", foldedGrid, 1024,
                                  {"--pot", "--format", "glb", "--padding", "4", "--resolution", "512", "--output", "out"},
                                  1.0, true, 35.0, false, 4.0 / 512.0}),
    [](const ::testing::TestParamInfo<TextureCase>& info) { return std::string(info.param.name); });

} // namespace
