// Topology rebuild on meshes of about 100,000 triangles: a flat grid cut into
// 16 charts with UV slits inside the charts and cones on the seams, and the
// cube net (one chart cut open along a spanning tree, eight cones). Prints
// the processor time of buildMeshTopology and of buildHalfedgeMesh on the
// joined 3D triangle list alone, best of several runs.
#include "meshgen/meshgen.h"
#include "topology/mesh_topology.h"

#include <algorithm>
#include <ctime>
#include <functional>
#include <iostream>
#include <map>
#include <sstream>
#include <string>

namespace {

struct Case {
    std::string name;
    ChartList charts;
    size_t vertexCount = 0;
    iuv::UIntVector cones;
};

// n x n quads split into blocks x blocks charts; inside every chart a UV slit
// runs from the chart's lower edge half way up its middle column.
Case cutGrid(int n, int blocks)
{
    Case c;
    c.name = "grid cut into charts";
    const int side = n / blocks;
    auto id = [n](int i, int j) { return static_cast<uint32_t>(j * (n + 1) + i); };
    c.vertexCount = static_cast<size_t>((n + 1) * (n + 1));
    c.charts.resize(static_cast<size_t>(blocks * blocks));
    std::vector<std::map<uint64_t, uint32_t>> uvOf(c.charts.size());
    for (int j = 0; j < n; ++j) {
        for (int i = 0; i < n; ++i) {
            const int bi = std::min(i / side, blocks - 1), bj = std::min(j / side, blocks - 1);
            const size_t chart = static_cast<size_t>(bj * blocks + bi);
            const int slitColumn = bi * side + side / 2;
            const int slitTop = bj * side + side / 2;
            Chart& ch = c.charts[chart];
            const int corners[6][2] = {{i, j}, {i + 1, j}, {i + 1, j + 1}, {i, j}, {i + 1, j + 1}, {i, j + 1}};
            for (const auto& p : corners) {
                const uint32_t v = id(p[0], p[1]);
                // Corners right of the slit use a second UV copy.
                const bool right = p[0] == slitColumn && i >= slitColumn && p[1] >= bj * side && p[1] < slitTop;
                const uint64_t key = 2 * uint64_t(v) + (right ? 1 : 0);
                auto it = uvOf[chart].find(key);
                if (it == uvOf[chart].end()) {
                    it = uvOf[chart].emplace(key, static_cast<uint32_t>(uvOf[chart].size())).first;
                    ch.uvCoords2D.push_back(double(p[0]) / n + (right ? 1e-3 : 0.0));
                    ch.uvCoords2D.push_back(double(p[1]) / n);
                }
                ch.triIndicesPos.push_back(v);
                ch.triIndicesUV.push_back(it->second);
            }
        }
    }
    for (int k = 1; k < blocks; ++k)
        c.cones.push_back(id(k * side, n / 3)); // on the vertical chart borders
    return c;
}

Case cubeNet(int n)
{
    const meshgen::MeshData mesh = meshgen::cubeNet(n);
    const Model model = meshgen::toModel(mesh);
    Case c;
    c.name = "cube net";
    c.charts = model.charts;
    c.vertexCount = model.numVertices();
    c.cones = model.coneSingularities;
    return c;
}

double bestOf(int runs, const std::function<void()>& fn)
{
    double best = 1e300;
    for (int r = 0; r < runs; ++r) {
        const std::clock_t c0 = std::clock();
        fn();
        best = std::min(best, double(std::clock() - c0) / CLOCKS_PER_SEC);
    }
    return best;
}

void run(const Case& c)
{
    size_t triangles = 0;
    iuv::UIntVector joined;
    for (const Chart& ch : c.charts) {
        triangles += ch.numTriangles();
        joined.append(ch.triIndicesPos);
    }

    MeshTopology topo;
    const double topologyTime = bestOf(5, [&] { buildMeshTopology(c.charts, c.vertexCount, c.cones, topo); });
    HalfedgeMesh mesh;
    bool failed = false;
    const double halfedgeTime = bestOf(5, [&] {
        mesh.clear();
        failed = buildHalfedgeMesh(joined, c.vertexCount, mesh);
    });

    std::ostringstream line;
    line << c.name << ": " << triangles << " triangles, " << c.charts.size() << " charts, "
         << topo.numBoundaryHalfedges << " boundary halfedges, " << topo.numSeams() << " seams";
    std::cout << line.str() << std::endl;
    std::cout << "  buildMeshTopology: " << topologyTime << " s" << std::endl;
    std::cout << "  buildHalfedgeMesh (joined mesh only): " << halfedgeTime << " s"
              << (failed ? " (FAILED)" : "") << std::endl;
}

} // namespace

int main()
{
    run(cutGrid(224, 4));
    run(cubeNet(91));
    return 0;
}
