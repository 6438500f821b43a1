// Texture transfer through the real program: every written texture against the input texture painted here,
// at random surface points traced back into the input by 3D geometry of its own (PSNR); the texel density;
// the gutter, the background and the --padding gap between charts by a per-texel rule of its own.
#include "e2e_support.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QString>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>
#include <set>

using namespace e2e;

namespace {

using Vec3 = std::array<double, 3>;
constexpr int kInputSide = 1024; // of the square input texture

Vec3 sub(const Vec3& a, const Vec3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
double dot(const Vec3& a, const Vec3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
Vec3 cross(const Vec3& a, const Vec3& b)
{
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

// The least barycentric weight of p, projected into the plane of the triangle a, b, c, and all three.
double minWeight(const Vec3& a, const Vec3& b, const Vec3& c, const Vec3& p, Vec3* all = nullptr)
{
    const Vec3 n = cross(sub(b, a), sub(c, a));
    const double wa = dot(cross(sub(b, p), sub(c, p)), n) / dot(n, n);
    const double wb = dot(cross(sub(c, p), sub(a, p)), n) / dot(n, n);
    if (all)
        *all = {wa, wb, 1.0 - wa - wb};
    return std::min({wa, wb, 1.0 - wa - wb});
}

// Bilinear sample with repetition, v upwards, the top row at v = 1.
Vec3 sample(const QImage& image, double u, double v)
{
    const double px = u * image.width() - 0.5, py = (1.0 - v) * image.height() - 0.5;
    const int x0 = int(std::floor(px)), y0 = int(std::floor(py));
    Vec3 out{0, 0, 0};
    for (int k = 0; k < 4; ++k) {
        const int x = ((x0 + k % 2) % image.width() + image.width()) % image.width();
        const int y = ((y0 + k / 2) % image.height() + image.height()) % image.height();
        const double weight = (k % 2 ? px - x0 : 1 - px + x0) * (k / 2 ? py - y0 : 1 - py + y0);
        const QRgb c = image.pixel(x, y);
        out = {out[0] + weight * qRed(c), out[1] + weight * qGreen(c), out[2] + weight * qBlue(c)};
    }
    return out;
}

// The input texture: a smooth function of the texture coordinates, a few periods across the square.
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

// PSNR of the written texture against the input texture at 3000 random surface points, uniform over the
// written UV area; each found in the input triangle whose plane holds it and that contains it best.
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
        Vec3 p{0, 0, 0}, in{0, 0, 0}, got{0, 0, 0};
        for (size_t k = 0; k < 3; ++k) {
            for (size_t c = 0; c < 3; ++c)
                p[c] += w[k] * mesh.p(t, int(k))[c];
            for (size_t c = 0; c < 2; ++c)
                got[c] += w[k] * mesh.t(t, int(k))[c];
        }
        double bestMin = -1e300;
        for (size_t s = 0; s < input.triangles(); ++s) {
            const Vec3 a = input.p(s, 0), b = input.p(s, 1), c = input.p(s, 2), n = cross(sub(b, a), sub(c, a));
            Vec3 v;
            const double m = minWeight(a, b, c, p, &v);
            if (std::fabs(dot(sub(p, a), n)) / std::sqrt(dot(n, n)) > 1e-5 || m <= bestMin)
                continue;
            bestMin = m;
            for (size_t k = 0; k < 2; ++k)
                in[k] = v[0] * input.t(s, 0)[k] + v[1] * input.t(s, 1)[k] + v[2] * input.t(s, 2)[k];
        }
        const Vec3 expected = sample(inputTexture, in[0], in[1]), written = sample(texture, got[0], got[1]);
        for (size_t c = 0; c < 3; ++c)
            squared += (expected[c] - written[c]) * (expected[c] - written[c]);
    }
    const double mse = squared / (3.0 * points);
    return mse > 0.0 ? 10.0 * std::log10(255.0 * 255.0 / mse) : 99.0;
}

// A per-texel rule of its own: centres strictly inside a written UV triangle are opaque and `gap` texels or
// more from those of other charts (UV-connected groups); other texels within `gutter` of one equal one of the
// nearest, the rest are transparent black; texels with an edge-straddling centre in reach are skipped.
// Returns the number of charts; `checked` counts the gutter texels checked.
size_t expectTexels(const ObjMesh& mesh, const QImage& texture, int gutter, double gap, size_t& checked)
{
    std::vector<int> chart(mesh.uvs.size() / 2);
    std::iota(chart.begin(), chart.end(), 1);
    for (bool changed = true; changed;) { // each UV vertex takes the least number in its chart
        changed = false;
        for (size_t i = 0; i < mesh.uv.size(); ++i) {
            int &a = chart[mesh.uv[i]], &b = chart[mesh.uv[i - i % 3 + (i + 1) % 3]];
            changed = changed || a != b;
            a = b = std::min(a, b);
        }
    }
    const int w = texture.width(), h = texture.height(), g2 = gutter * gutter;
    std::vector<int> cover(size_t(w) * size_t(h), 0); // the chart inside a triangle, -1 on an edge
    std::set<int> charts;
    for (size_t t = 0; t < mesh.triangles(); ++t) {
        charts.insert(chart[mesh.uv[3 * t]]);
        std::array<Vec3, 3> c;
        for (int k = 0; k < 3; ++k)
            c[size_t(k)] = {mesh.t(t, k)[0] * w, (1.0 - mesh.t(t, k)[1]) * h, 0.0};
        const auto [x0, x1] = std::minmax({c[0][0], c[1][0], c[2][0]});
        const auto [y0, y1] = std::minmax({c[0][1], c[1][1], c[2][1]});
        for (int y = std::max(0, int(y0) - 1); y <= std::min(h - 1, int(y1) + 1); ++y) {
            for (int x = std::max(0, int(x0) - 1); x <= std::min(w - 1, int(x1) + 1); ++x) {
                const double m = minWeight(c[0], c[1], c[2], {x + 0.5, y + 0.5, 0.0});
                int& cell = cover[size_t(y) * size_t(w) + size_t(x)];
                cell = m > 1e-9 ? chart[mesh.uv[3 * t]] : m > -1e-9 && cell == 0 ? -1 : cell;
            }
        }
    }
    size_t wrong = 0;
    checked = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const int cell = cover[size_t(y) * size_t(w) + size_t(x)];
            const QRgb colour = texture.pixel(x, y);
            int best = g2 + 1;
            bool unsure = false, matched = false, tooNear = false;
            for (int sy = std::max(0, y - gutter); sy <= std::min(h - 1, y + gutter); ++sy) {
                for (int sx = std::max(0, x - gutter); sx <= std::min(w - 1, x + gutter); ++sx) {
                    const int s = cover[size_t(sy) * size_t(w) + size_t(sx)];
                    const int d2 = (sx - x) * (sx - x) + (sy - y) * (sy - y);
                    unsure = unsure || (s < 0 && d2 <= g2);
                    tooNear = tooNear || (cell > 0 && s > 0 && s != cell && d2 < gap * gap - 1e-9);
                    if (s > 0 && d2 <= best) {
                        matched = (d2 == best && matched) || texture.pixel(sx, sy) == colour;
                        best = d2;
                    }
                }
            }
            if (cell != 0) {
                wrong += cell > 0 && (qAlpha(colour) != 255 || tooNear);
                continue;
            }
            checked += !unsure && best <= g2;
            wrong += !unsure && (best <= g2 ? !matched : colour != 0u);
        }
    }
    EXPECT_EQ(wrong, 0u) << "of " << w * h << " texels, " << checked << " in the gutter";
    return charts.size();
}

// A grid whose right half is folded over its left half in UV (flipped and overlapping input triangles),
// textured at half the input's density into an output folder, with power-of-two sides, glb twins and a gap
// of 4 / 512 of the layout's longer side between charts.
TEST(TextureRoundTrip, WrittenTexturesMatchTheSurface)
{
    meshgen::MeshData grid = meshgen::flatGrid(8, 6, meshgen::Outline::Rectangle);
    for (size_t k = 0; k < grid.numUVVertices(); ++k) {
        double& u = grid.uvs[2 * k];
        if (u > 0.5)
            u = 0.5 - 0.8 * (u - 0.5);
    }
    for (size_t k = 0; k < grid.numVertices(); ++k)
        grid.positions[3 * k + 2] = 0.3 * grid.positions[3 * k] * grid.positions[3 * k + 1];
    const std::string model = generatedModel("texture_folded", grid);
    const ObjMesh input = readObj(model);
    const QImage inputTexture = paintInputTexture();
    const std::string texturePath = model.substr(0, model.size() - 4) + ".png";
    ASSERT_TRUE(inputTexture.save(QString::fromStdString(texturePath), "PNG"));
    const double texelScale = 0.5, gap = 4.0 / 512.0;
    const BatchRun run = runBatch(model, {"--texture", texturePath, "--texel-scale", "0.5", "--pot", "--format", "glb",
                                          "--padding", "4", "--resolution", "512", "--output", "out"});
    ASSERT_EQ(run.result.exitStatus, 0) << run.result.out;

    size_t severalCharts = 0;
    for (const std::string& stage : kFamilies) {
        SCOPED_TRACE(stage);
        const std::string base = run.dir + "/out/" + stage;
        const ObjMesh output = readObj(base + ".obj");
        ASSERT_GT(output.triangles(), 0u);
        EXPECT_EQ(output.mtllib, stage + ".mtl");
        const std::string mtl = testsupport::readTextFile(base + ".mtl");
        EXPECT_NE(mtl.find("newmtl " + output.usemtl + "\n"), std::string::npos) << mtl;
        EXPECT_NE(mtl.find("map_Kd " + stage + "_texture.png\n"), std::string::npos) << mtl;
        const std::string png = testsupport::readTextFile(base + "_texture.png");
        // The glb twin embeds the very PNG written beside the OBJ.
        EXPECT_NE(testsupport::readTextFile(base + ".glb").find(png), std::string::npos);
        QImage texture;
        ASSERT_TRUE(texture.loadFromData(reinterpret_cast<const uchar*>(png.data()), int(png.size()), "PNG"));
        texture = texture.convertToFormat(QImage::Format_ARGB32);
        const std::array<double, 4> box = output.uvBox();
        EXPECT_GE(std::min(box[0], box[1]), 0.0);
        EXPECT_LE(std::max(box[2], box[3]), 1.0);
        const std::string line = stage + "_texture.png: input 1024 x 1024 (1048576 pixels), output " +
                                 std::to_string(texture.width()) + " x " + std::to_string(texture.height()) + " (" +
                                 std::to_string(texture.width() * texture.height()) + " pixels).";
        EXPECT_NE(run.result.out.find(line), std::string::npos) << line;
        for (const int side : {texture.width(), texture.height()})
            EXPECT_EQ(side & (side - 1), 0) << side;

        // The layout covers texel-scale times the input's texels.
        const double inputTexels = summedUVAreas(input).back() * kInputSide * kInputSide;
        const double area = summedUVAreas(output).back();
        EXPECT_NEAR(area * texture.width() * texture.height() / inputTexels, texelScale, 0.01 * texelScale);
        EXPECT_GE(psnrAtRandomPoints(input, inputTexture, output, texture), 35.0);
        if (stage == "overlap_free" || stage == "export") {
            // The gutter reaches 4 texels, or the packing gap when that is more.
            const double side = std::max((box[2] - box[0]) * texture.width(), (box[3] - box[1]) * texture.height());
            size_t checked = 0;
            const int gutter = std::max(4, int(std::ceil(gap * side - 1e-9)));
            severalCharts += expectTexels(output, texture, gutter, gap * side, checked) > 1;
            EXPECT_GT(checked, 100u);
        }
    }
    EXPECT_GT(severalCharts, 0u) << "no written layout had more than one chart";
    testsupport::removeTree(run.dir);
}

// With no thread to be had (every new thread's stack is more than the address space allows) the run
// still writes every result, the same as with threads, and skips only the 3D snapshots.
TEST(TextureRoundTrip, WithoutThreadsOnlyTheSnapshotsAreMissing)
{
    const std::string model = std::string(TARNWICK_EXAMPLES) + "/cube_net.obj";
    const std::string dir = testsupport::makeTempDir("tarnwick_texture");
    ASSERT_TRUE(QImage(64, 48, QImage::Format_RGB32).save(QString::fromStdString(dir + "/t.png"), "PNG"));
    const std::vector<std::string> extra = {"--texture", dir + "/t.png", "--threads", "2"};
    const BatchRun normal = runBatch(model, extra);
    ASSERT_EQ(normal.result.exitStatus, 0) << normal.result.out;
    std::vector<std::string> args = {"-c", "ulimit -s 4000000 && ulimit -v 3000000 && exec \"$0\" \"$@\"",
                                     TARNWICK_PROGRAM, model, "--batchmode"};
    args.insert(args.end(), extra.begin(), extra.end());
    const testsupport::ProcessResult limited = testsupport::runProcess("/bin/sh", args, dir, {}, 600);
    ASSERT_EQ(limited.exitStatus, 0) << limited.out << limited.err;
    EXPECT_NE(limited.out.find("OpenGL is not available (no thread could be started for the offscreen renderer)"),
              std::string::npos) << limited.out;
    std::set<std::string> skipped;
    for (size_t at = limited.out.find("Skipping snapshot "); at != std::string::npos;
         at = limited.out.find("Skipping snapshot ", at + 1)) {
        const size_t from = at + 18;
        skipped.insert(limited.out.substr(from, limited.out.find(':', from) - from));
    }
    EXPECT_EQ(skipped.size(), kFamilies.size());
    std::set<std::string> expected = filesIn(dir);
    expected.insert(skipped.begin(), skipped.end());
    expected.erase("t.png");
    EXPECT_EQ(expected, filesIn(normal.dir));
    const auto withoutTimes = [](std::string text) {
        for (size_t at = text.find("\"boxifyTime\""); at != std::string::npos; at = text.find("\"boxifyTime\"", at + 1))
            text.erase(at, text.find('\n', at) - at);
        return text;
    };
    for (const std::string& name : filesIn(dir)) {
        if (name != "t.png") {
            EXPECT_EQ(withoutTimes(testsupport::readTextFile(dir + "/" + name)),
                      withoutTimes(testsupport::readTextFile(normal.dir + "/" + name))) << name;
        }
    }
    testsupport::removeTree(dir);
    testsupport::removeTree(normal.dir);
}

} // namespace
