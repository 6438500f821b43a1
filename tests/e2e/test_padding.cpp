// Batch runs with a gutter between charts: in every written mesh the
// triangles of different charts keep at least padding / resolution apart in
// UV, measured here with plain segment geometry.
#include "e2e_support.h"
#include "meshgen/meshgen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>
#include <sstream>

using namespace e2e;

namespace {

using P2 = std::array<double, 2>;

struct UVMesh {
    std::vector<P2> uvs;
    std::vector<std::array<size_t, 3>> triangles; // UV vertex numbers
};

// The "vt" and "f p/t" lines of an OBJ file.
UVMesh readUVMesh(const std::string& path)
{
    UVMesh mesh;
    std::istringstream in(testsupport::readTextFile(path));
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string key;
        words >> key;
        if (key == "vt") {
            P2 p{};
            words >> p[0] >> p[1];
            mesh.uvs.push_back(p);
        } else if (key == "f") {
            std::array<size_t, 3> t{};
            for (size_t& corner : t) {
                std::string c;
                words >> c;
                corner = std::stoul(c.substr(c.find('/') + 1)) - 1;
            }
            mesh.triangles.push_back(t);
        }
    }
    return mesh;
}

// Charts are the UV-connected groups of triangles.
std::vector<size_t> chartOfTriangle(const UVMesh& mesh)
{
    std::vector<size_t> parent(mesh.uvs.size());
    std::iota(parent.begin(), parent.end(), size_t(0));
    const auto find = [&parent](size_t v) {
        while (parent[v] != v)
            v = parent[v] = parent[parent[v]];
        return v;
    };
    for (const auto& t : mesh.triangles) {
        parent[find(t[0])] = find(t[1]);
        parent[find(t[1])] = find(t[2]);
    }
    std::vector<size_t> chart;
    for (const auto& t : mesh.triangles)
        chart.push_back(find(t[0]));
    return chart;
}

double cross(const P2& o, const P2& a, const P2& b)
{
    return (a[0] - o[0]) * (b[1] - o[1]) - (a[1] - o[1]) * (b[0] - o[0]);
}

double pointSegment(const P2& p, const P2& a, const P2& b)
{
    const double dx = b[0] - a[0], dy = b[1] - a[1], l = dx * dx + dy * dy;
    const double t = l > 0 ? std::clamp(((p[0] - a[0]) * dx + (p[1] - a[1]) * dy) / l, 0.0, 1.0) : 0.0;
    return std::hypot(p[0] - a[0] - t * dx, p[1] - a[1] - t * dy);
}

bool segmentsCross(const P2& a, const P2& b, const P2& c, const P2& d)
{
    const double d1 = cross(c, d, a), d2 = cross(c, d, b), d3 = cross(a, b, c), d4 = cross(a, b, d);
    return ((d1 > 0) != (d2 > 0)) && ((d3 > 0) != (d4 > 0)) && d1 != 0 && d2 != 0 && d3 != 0 && d4 != 0;
}

bool inside(const P2& p, const std::array<P2, 3>& t)
{
    const double a = cross(t[0], t[1], p), b = cross(t[1], t[2], p), c = cross(t[2], t[0], p);
    return (a >= 0 && b >= 0 && c >= 0) || (a <= 0 && b <= 0 && c <= 0);
}

// Distance of two triangles: 0 when they meet, else the least distance of a
// corner of one to an edge of the other.
double triangleDistance(const std::array<P2, 3>& s, const std::array<P2, 3>& t)
{
    double best = 1e300;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            if (segmentsCross(s[i], s[(i + 1) % 3], t[j], t[(j + 1) % 3]))
                return 0.0;
            best = std::min({best, pointSegment(s[i], t[j], t[(j + 1) % 3]),
                             pointSegment(t[j], s[i], s[(i + 1) % 3])});
        }
    if (inside(s[0], t) || inside(t[0], s))
        return 0.0;
    return best;
}

// Least distance between triangles of different charts; infinity for one chart.
double chartGap(const UVMesh& mesh, size_t& charts)
{
    const std::vector<size_t> chart = chartOfTriangle(mesh);
    std::vector<size_t> distinct = chart;
    std::sort(distinct.begin(), distinct.end());
    charts = size_t(std::unique(distinct.begin(), distinct.end()) - distinct.begin());
    std::vector<std::array<P2, 3>> tri;
    for (const auto& t : mesh.triangles)
        tri.push_back({mesh.uvs[t[0]], mesh.uvs[t[1]], mesh.uvs[t[2]]});
    double best = INFINITY;
    for (size_t i = 0; i < tri.size(); ++i)
        for (size_t j = i + 1; j < tri.size(); ++j)
            if (chart[i] != chart[j])
                best = std::min(best, triangleDistance(tri[i], tri[j]));
    return best;
}

// Runs the model with a gutter of 4 texels of 512 and checks every written
// mesh that has more than one chart. Returns how many had.
size_t checkGutters(const std::string& model)
{
    const BatchRun run = runBatch(model, {"--padding", "4", "--resolution", "512"});
    EXPECT_EQ(run.result.exitStatus, 0) << run.result.out.substr(0, 2000);
    size_t severalCharts = 0;
    for (const char* family : {"input", "overlap_free_levy", "overlap_free", "welded", "bl_130", "bl_150",
                               "bl_200", "export"}) {
        SCOPED_TRACE(family);
        const UVMesh mesh = readUVMesh(run.dir + "/" + family + ".obj");
        EXPECT_FALSE(mesh.triangles.empty());
        size_t charts = 0;
        const double gap = chartGap(mesh, charts);
        if (charts > 1) {
            ++severalCharts;
            EXPECT_GE(gap, 4.0 / 512.0) << charts << " charts";
        }
    }
    testsupport::removeTree(run.dir);
    return severalCharts;
}

} // namespace

TEST(Padding, ChartsOfEveryWrittenMeshKeepTheGutter)
{
    // A layout split by the refinement, and one split by the overlap removal.
    testsupport::TempDir models("tarnwick_padding_model");
    meshgen::writeOBJ(meshgen::foldedStrip(48, 2), models.file("folded.obj"));
    for (const std::string& model : {testsupport::exampleFile("cube_net.obj"), models.file("folded.obj")}) {
        SCOPED_TRACE(model);
        EXPECT_GT(checkGutters(model), 0u) << "no written layout had more than one chart";
    }
}
