// Overlap removal and welding on a long strip whose single chart folds over
// itself several times (about 50,000 triangles, a few cone singularities).
// Prints the processor time and resulting chart count of each stage. A second
// run welds a cube of about 50,000 triangles cut into its six faces, where
// every pass glues. A third run removes the overlaps of a projected mushroom
// of about 4,500 triangles (flipped underside under the cap). Each run also
// times the statistics, whose overlap flag tests every pair of close
// triangles of the whole layout.
#include "meshgen/meshgen.h"
#include "model/model.h"
#include "packing/atlas.h"
#include "topology/overlap.h"
#include "repair/overlap_removal.h"
#include "repair/segmentation.h"
#include "repair/welding.h"
#include "topology/chart_pieces.h"
#include "topology/layout_stats.h"

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <sstream>

namespace {

double seconds(std::clock_t start) { return double(std::clock() - start) / CLOCKS_PER_SEC; }

size_t chartsWithOverlaps(const Model& m)
{
    size_t n = 0;
    for (const Chart& c : m.charts)
        n += hasUVOverlaps(c) || hasUVFlips(c) ? 1 : 0;
    return n;
}

// One chart per cube face, by the dominant axis of each triangle's normal.
void splitIntoFaces(Model& model)
{
    const Chart net = model.charts.at(0);
    std::vector<uint64_t> face(net.numTriangles());
    for (size_t t = 0; t < net.numTriangles(); ++t) {
        const double* p[3];
        for (int k = 0; k < 3; ++k)
            p[k] = &model.sharedPositions[3 * size_t(net.triIndicesPos[3 * t + k])];
        double e1[3], e2[3];
        for (int i = 0; i < 3; ++i) {
            e1[i] = p[1][i] - p[0][i];
            e2[i] = p[2][i] - p[0][i];
        }
        const double n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                             e1[0] * e2[1] - e1[1] * e2[0]};
        int axis = 0;
        for (int i = 1; i < 3; ++i)
            if (std::fabs(n[i]) > std::fabs(n[axis]))
                axis = i;
        face[t] = uint64_t(2 * axis + (n[axis] > 0 ? 1 : 0));
    }
    model.charts.clear();
    splitChartByLabels(net, face, 6, model.charts);
}

// Times the statistics of the layout and prints their overlap and
// efficiency figures.
void printStats(const Model& model)
{
    const std::clock_t start = std::clock();
    const UnwrappingStats stats = computeStats(model.charts, model.sharedPositions);
    std::cout << "statistics: " << seconds(start) << " s, overlapsFound " << (stats.overlapsFound ? "true" : "false")
              << ", packingEfficiency " << stats.packingEfficiency << std::endl;
}

} // namespace

int main(int argc, char** argv)
{
    const int segments = argc > 1 ? std::atoi(argv[1]) : 6250; // 8 triangles per segment
    const int folds = argc > 2 ? std::atoi(argv[2]) : 6;

    meshgen::MeshData mesh = meshgen::foldedStrip(segments, folds);
    const uint32_t vertices = uint32_t(mesh.positions.size() / 3);
    for (uint32_t k = 1; k <= 4; ++k)
        mesh.cones.push_back(vertices * k / 5);
    Model model = meshgen::toModel(mesh);
    Atlas atlas(384, 384);

    std::cout << "Folded strip: " << mesh.numTriangles() << " triangles, " << folds << " folds, "
              << mesh.cones.size() << " cones" << std::endl;

    // The stages print their own progress; keep it out of the figures.
    std::ostringstream log;
    std::streambuf* console = std::cout.rdbuf(log.rdbuf());
    std::clock_t start = std::clock();
    runOverlapRemoval(model, atlas);
    const double removal = seconds(start);
    const size_t afterRemoval = model.charts.size();
    const size_t dirty = chartsWithOverlaps(model);
    start = std::clock();
    runWelding(model, atlas);
    const double welding = seconds(start);
    std::cout.rdbuf(console);

    std::cout << "removeOverlaps: " << removal << " s, " << afterRemoval << " charts, " << dirty
              << " with overlaps or flips" << std::endl;
    std::cout << "weldCharts: " << welding << " s, " << model.charts.size() << " charts, "
              << chartsWithOverlaps(model) << " with overlaps or flips" << std::endl;
    printStats(model);

    Model cube = meshgen::toModel(meshgen::cubeNet(64));
    splitIntoFaces(cube);
    size_t cubeTriangles = 0;
    for (const Chart& c : cube.charts)
        cubeTriangles += c.numTriangles();
    std::cout << "Cube: " << cubeTriangles << " triangles in " << cube.charts.size() << " face charts, "
              << cube.coneSingularities.size() << " cones" << std::endl;
    console = std::cout.rdbuf(log.rdbuf());
    start = std::clock();
    runWelding(cube, atlas);
    const double cubeWelding = seconds(start);
    std::cout.rdbuf(console);
    std::cout << "weldCharts: " << cubeWelding << " s, " << cube.charts.size() << " charts, "
              << chartsWithOverlaps(cube) << " with overlaps or flips" << std::endl;

    Model mushroom = meshgen::toModel(meshgen::mushroom(36, 64));
    std::cout << "Mushroom: " << mushroom.charts[0].numTriangles() << " triangles" << std::endl;
    printStats(mushroom);
    console = std::cout.rdbuf(log.rdbuf());
    start = std::clock();
    runOverlapRemoval(mushroom, atlas);
    const double mushroomRemoval = seconds(start);
    std::cout.rdbuf(console);
    std::cout << "removeOverlaps: " << mushroomRemoval << " s, " << mushroom.charts.size() << " charts" << std::endl;
    printStats(mushroom);
    return 0;
}
