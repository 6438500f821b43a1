// Overlap removal and welding on a long strip whose single chart folds over
// itself several times (about 50,000 triangles, a few cone singularities).
// Prints the processor time and resulting chart count of each stage.
#include "meshgen/meshgen.h"
#include "model/model.h"
#include "packing/atlas.h"
#include "topology/overlap.h"
#include "topology/overlap_removal.h"
#include "topology/welding.h"

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
    return 0;
}
