// Refinement benchmark: one cut step (applyBestCut) and a whole refineAtlas
// run on random chart layouts of about 5,000, 20,000 and 100,000 triangles.
//
//   bench_refine [--step-only] [--no-step] [triangles ...]
//
// Prints processor times, the number of iterations, and the packing efficiency
// and normalised boundary length before and after. The console output of the
// pipeline itself is swallowed (only counted).
#include "meshgen/meshgen.h"
#include "packing/pack.h"
#include "refine/best_cut.h"
#include "geometry/efficiency.h"
#include "refine/refinement.h"
#include "topology/boundary_length.h"

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

double seconds(std::clock_t from) { return double(std::clock() - from) / CLOCKS_PER_SEC; }

double normBLen(const ChartList& charts)
{
    return totalBoundaryLength(charts) / std::sqrt(totalUVArea(charts));
}

size_t countLines(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// Runs fn with std::cout captured into the returned string.
template <typename Fn>
std::string quietly(Fn fn)
{
    std::ostringstream sink;
    std::streambuf* old = std::cout.rdbuf(sink.rdbuf());
    fn();
    std::cout.rdbuf(old);
    return sink.str();
}

// A layout as overlap removal leaves it: random charts, packed.
Model packedLayout(int triangles, Atlas& atlas)
{
    const int charts = std::max(4, triangles / 1000);
    Model model = meshgen::randomChartLayout(charts, triangles, 12345u);
    quietly([&] { packCharts(model.charts, model.sharedPositions, true, atlas); });
    return model;
}

size_t triangleCount(const ChartList& charts)
{
    size_t n = 0;
    for (const Chart& c : charts)
        n += c.numTriangles();
    return n;
}

void benchStep(int triangles)
{
    Atlas atlas;
    Model model = packedLayout(triangles, atlas);
    const double A = totalUVArea(model.charts);
    const double e0 = atlasPackingEfficiency(model.charts);
    const double b0 = normBLen(model.charts);
    const size_t c0 = model.charts.size();
    const size_t t0 = triangleCount(model.charts);
    double score = 0.0;
    bool applied = false;
    const std::clock_t start = std::clock();
    const std::string out = quietly([&] {
        applied = applyBestCut(model.charts, model.sharedPositions, model.vertexColors, A, score,
                               atlas);
    });
    const double t = seconds(start);
    std::cout << "applyBestCut  " << t0 << " triangles, " << c0 << " charts: " << t
              << " s (applied " << (applied ? "yes" : "no") << ", "
              << countLines(out, "Packing charts") << " packings); charts " << c0 << " -> "
              << model.charts.size() << ", efficiency " << e0 << " -> "
              << atlasPackingEfficiency(model.charts) << ", normBLen " << b0 << " -> "
              << normBLen(model.charts) << std::endl;
}

void benchRun(int triangles)
{
    Atlas atlas;
    Model model = packedLayout(triangles, atlas);
    const double e0 = atlasPackingEfficiency(model.charts);
    const double b0 = normBLen(model.charts);
    const size_t c0 = model.charts.size();
    const size_t t0 = triangleCount(model.charts);
    double boxifyTime = 0.0;
    const std::clock_t start = std::clock();
    const std::string out = quietly([&] { refineAtlas(model, b0, boxifyTime, atlas, RefinementHooks{}); });
    const double t = seconds(start);
    const size_t iterations = countLines(out, " *** ITERATION ");
    std::cout << "refineAtlas   " << t0 << " triangles, " << c0 << " charts: " << t << " s, "
              << iterations << " iterations (" << (iterations ? t / iterations : 0.0)
              << " s each); charts " << c0 << " -> " << model.charts.size() << ", efficiency "
              << e0 << " -> " << atlasPackingEfficiency(model.charts) << ", normBLen " << b0
              << " -> " << normBLen(model.charts) << std::endl;
    const size_t report = out.find("Finished.");
    if (report != std::string::npos)
        std::cout << out.substr(report) << std::flush;
}

} // namespace

int main(int argc, char** argv)
{
    bool step = true, run = true;
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--step-only")
            run = false;
        else if (a == "--no-step")
            step = false;
        else
            sizes.push_back(std::atoi(a.c_str()));
    }
    if (sizes.empty())
        sizes = {5000, 20000, 100000};
    for (int n : sizes) {
        if (step)
            benchStep(n);
        if (run)
            benchRun(n);
    }
    return 0;
}
