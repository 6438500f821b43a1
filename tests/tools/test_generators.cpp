// The test-mesh generators: each mesh is valid input of its kind and has the
// shape that defines it; the bundled examples are the generators' output.
#include "meshgen/meshgen.h"
#include "io/obj_reader.h"
#include "support/test_support.h"
#include "support/uv_coverage.h"
#include "topology/halfedge.h"
#include "model/chart.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <set>
#include <tuple>

using meshgen::MeshData;
using meshgen::Outline;

namespace {

// False when an edge has three triangles, a vertex is unused or pinched.
bool halfedges(const std::vector<uint32_t>& tri, size_t n, HalfedgeMesh& h)
{
    return !buildHalfedgeMesh(iuv::UIntVector(tri), n, h) && h.isManifold;
}

// The OBJ file read by the program's own parser.
MeshData readBack(const std::string& path)
{
    ChartList c;
    iuv::DoubleVector p, colors;
    iuv::UIntVector cones;
    testing::internal::CaptureStdout();
    const bool loaded = loadOBJ(path, c, p, colors, &cones);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(loaded && c.size() == 1) << path << out;
    c.resize(1);
    return {{p.begin(), p.end()}, {colors.begin(), colors.end()}, {c[0].uvCoords2D.begin(), c[0].uvCoords2D.end()},
            {c[0].triIndicesPos.begin(), c[0].triIndicesPos.end()}, {c[0].triIndicesUV.begin(), c[0].triIndicesUV.end()},
            {cones.begin(), cones.end()}};
}

// Bit-identical: the writer prints the shortest text that reads back exactly.
auto fields(const MeshData& m) { return std::tie(m.posIndices, m.uvIndices, m.cones, m.positions, m.uvs, m.colors); }

MeshData withColors(MeshData mesh) { return meshgen::addColors(mesh), mesh; }

} // namespace

TEST(Generators, EveryMeshIsAnOrientedManifoldOfItsShape)
{
    // folded: part of the UV layout is covered twice (measured with Boost.Geometry).
    struct Row { const char* name; MeshData mesh; size_t triangles; long loops3D, euler, loopsUV; bool folded, flips; };
    const Row rows[] = {
        {"cylinder", meshgen::openCylinder(12, 4), 96, 2, 0, 1, false, false},
        {"rectangle", meshgen::flatGrid(6, 4, Outline::Rectangle), 48, 1, 1, 1, false, false},
        {"L shape", meshgen::flatGrid(8, 8, Outline::LShape), 96, 1, 1, 1, false, false},
        {"holes", meshgen::flatGrid(30, 30, Outline::WithHoles), 1512, 3, -1, 3, false, false},
        {"cube net, coloured", withColors(meshgen::cubeNet(3)), 108, 0, 2, 1, false, false},
        {"cap", meshgen::sphericalCap(5, 1.2), 150, 1, 1, -1, false, false},
        {"saddle", meshgen::saddle(5), 150, 1, 1, -1, false, false},
        {"folded strip", meshgen::foldedStrip(240, 3), 1920, 1, 1, 1, true, false},
        {"mushroom", meshgen::mushroom(10, 24), 24 * 19, 1, 1, 1, true, true},
        {"double folded sheet", meshgen::doubleFoldedSheet(40, 6), 480, 1, 1, 1, true, true},
        {"spiral ramp", meshgen::spiralRamp(60, 4), 480, 1, 1, 1, true, false},
        // Size arguments out of range are clamped to the smallest mesh.
        {"cylinder, clamped", meshgen::openCylinder(-3, 0), 6, 2, 0, 1, false, false},
        {"cube net, clamped", meshgen::cubeNet(0), 12, 0, 2, 1, false, false},
        {"cap, clamped", meshgen::sphericalCap(0, std::nan("")), 6, 1, 1, -1, false, false},
        {"mushroom, clamped", meshgen::mushroom(0, -5), 8 * 15, 1, 1, 1, true, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const MeshData& m = r.mesh;
        EXPECT_EQ(m.numTriangles(), r.triangles);
        HalfedgeMesh h;
        ASSERT_TRUE(halfedges(m.posIndices, m.numVertices(), h));
        EXPECT_EQ(long(h.boundaryLoops.size()), r.loops3D);
        EXPECT_EQ(long(m.numVertices()) - long(h.halfedges.size() / 2) + long(m.numTriangles()), r.euler);
        std::set<std::pair<uint32_t, uint32_t>> directed; // consistently oriented: each directed edge once
        std::map<uint32_t, uint32_t> uvTo3D; // a UV vertex stands for one 3D vertex
        for (size_t t = 0; t < m.numTriangles(); ++t) {
            const uint32_t* v = &m.posIndices[3 * t];
            for (int k = 0; k < 3; ++k) {
                EXPECT_TRUE(directed.insert({v[k], v[(k + 1) % 3]}).second) << t;
                EXPECT_TRUE(!m.isTextured() || uvTo3D.emplace(m.uvIndices[3 * t + k], v[k]).first->second == v[k]);
            }
            const double *a = &m.positions[3 * v[0]], *b = &m.positions[3 * v[1]], *c = &m.positions[3 * v[2]];
            const double u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]}, w[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
            EXPECT_GT(std::hypot(u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2], u[0] * w[1] - u[1] * w[0]), 1e-12) << t;
        }
        EXPECT_EQ(m.isTextured(), r.loopsUV >= 0);
        if (!m.isTextured())
            continue;
        HalfedgeMesh uv;
        ASSERT_TRUE(halfedges(m.uvIndices, m.numUVVertices(), uv));
        EXPECT_EQ(long(uv.boundaryLoops.size()), r.loopsUV);
        // One connected planar chart: Euler characteristic 2 - boundary loops.
        EXPECT_EQ(long(m.numUVVertices()) - long(uv.halfedges.size() / 2) + long(m.numTriangles()), 2 - r.loopsUV);
        const Model model = meshgen::toModel(m);
        EXPECT_GT(uvTriangleCross(model.charts.at(0), 0), 0.0);
        EXPECT_EQ(hasUVFlips(model.charts[0]), r.flips);
        const testsupport::UVCoverage cover = testsupport::uvCoverage(model.charts);
        EXPECT_TRUE(r.folded ? cover.overlapArea > 0.02 * cover.summedArea : cover.overlapArea < 1e-9 * cover.summedArea)
            << cover.overlapArea;
    }
    EXPECT_NEAR(testsupport::uvCoverage(meshgen::toModel(rows[2].mesh).charts).unionArea, 0.75, 1e-6);
    EXPECT_EQ(rows[4].mesh.cones.size(), 8u); // the cube's corners
    // The cube net keeps every edge length; flat grids have UVs equal to the positions.
    for (const MeshData* m : {&rows[4].mesh, &rows[1].mesh})
        for (size_t a = 0; a < m->posIndices.size(); ++a) {
            const size_t b = a % 3 == 2 ? a - 2 : a + 1;
            const double *pa = &m->positions[3 * m->posIndices[a]], *pb = &m->positions[3 * m->posIndices[b]];
            const double *ua = &m->uvs[2 * m->uvIndices[a]], *ub = &m->uvs[2 * m->uvIndices[b]];
            EXPECT_NEAR(std::hypot(pa[0] - pb[0], pa[1] - pb[1], pa[2] - pb[2]), std::hypot(ua[0] - ub[0], ua[1] - ub[1]), 1e-6);
            EXPECT_TRUE(m == &rows[4].mesh || (ua[0] == pa[0] && ua[1] == pa[1]));
        }
}

TEST(Generators, OBJFilesAndTheExamplesReadBackAsTheGeneratedMeshes)
{
    testsupport::TempDir tmp("meshgen_obj");
    for (const MeshData& mesh : {withColors(meshgen::cubeNet(2)), meshgen::saddle(3)}) { // textured and not
        ASSERT_TRUE(meshgen::writeOBJ(mesh, tmp.file("m.obj")));
        EXPECT_EQ(fields(readBack(tmp.file("m.obj"))), fields(mesh));
    }
    EXPECT_FALSE(meshgen::writeOBJ(meshgen::saddle(3), "/nonexistent-dir/u.obj"));
    const std::pair<const char*, std::function<MeshData()>> examples[] = { // the commands of examples/README.md
        {"cylinder.obj", [] { return meshgen::openCylinder(48, 16); }},
        {"cube_net.obj", [] { return meshgen::cubeNet(12); }},
        {"cube_net_colors.obj", [] { return withColors(meshgen::cubeNet(10)); }},
        {"grid_holes.obj", [] { return meshgen::flatGrid(30, 30, Outline::WithHoles); }},
        {"grid_lshape.obj", [] { return meshgen::flatGrid(24, 24, Outline::LShape); }},
        {"cap_untextured.obj", [] { return meshgen::sphericalCap(20, 1.2); }},
        {"saddle_untextured.obj", [] { return meshgen::saddle(16); }},
        {"folded_strip.obj", [] { return meshgen::foldedStrip(240, 3); }},
    };
    for (const auto& [file, generate] : examples)
        EXPECT_EQ(fields(readBack(testsupport::exampleFile(file))), fields(generate())) << file;
}
