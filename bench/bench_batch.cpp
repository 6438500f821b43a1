// The whole batch sequence on generated models of about 1,000, 10,000 and
// 100,000 triangles: wall and processor time per stage, peak memory, final
// efficiency and normalised boundary length. The stages are driven exactly as
// the batch runner drives them; the console report of the stages is hidden.
#include "app/pipeline.h"
#include "meshgen/meshgen.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

struct Timing {
    double wall;
    double cpu;
};

Timing timeIt(const std::function<void()>& fn)
{
    const auto w0 = std::chrono::steady_clock::now();
    const std::clock_t c0 = std::clock();
    fn();
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - w0).count(),
            double(std::clock() - c0) / CLOCKS_PER_SEC};
}

double peakMemoryMiB()
{
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0; // kilobytes on Linux
}

struct BenchModel {
    std::string description;
    meshgen::MeshData mesh;
};

// A cube net (one clean chart with cones) and a strip whose layout loops over
// itself (overlap removal has real work), of about the given triangle count.
std::vector<BenchModel> models(int triangles)
{
    std::vector<BenchModel> list;
    const int n = std::max(1, int(std::lround(std::sqrt(triangles / 12.0))));
    list.push_back({"cube net", meshgen::cubeNet(n)});
    meshgen::MeshData strip = meshgen::foldedStrip(std::max(16, triangles / 8), 4);
    const size_t nV = strip.positions.size() / 3;
    for (size_t k = 1; k < 4; ++k)
        strip.cones.push_back(uint32_t(k * nV / 4));
    list.push_back({"looping strip", strip});
    return list;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<int> sizes = {1000, 10000, 100000};
    if (argc > 1) {
        sizes.clear();
        for (int i = 1; i < argc; ++i)
            sizes.push_back(std::atoi(argv[i]));
    }
    char dirTemplate[] = "/tmp/tarnwick_bench_batchXXXXXX";
    if (!mkdtemp(dirTemplate) || chdir(dirTemplate) != 0)
        return 1;

    for (int size : sizes)
    for (const BenchModel& bm : models(size)) {
        const std::string path = "model.obj";
        meshgen::writeOBJ(bm.mesh, path);

        std::ostringstream quiet;
        std::streambuf* saved = std::cout.rdbuf(quiet.rdbuf());
        Pipeline p;
        p.setBatchMode(true);
        std::vector<std::pair<std::string, Timing>> stages;
        stages.emplace_back("load", timeIt([&] { p.loadModelFromFile(path, true); }));
        stages.emplace_back("input files", timeIt([&] {
                                p.writeResultJSON("input.json");
                                p.exportResults("input.svg", "input.obj", "");
                            }));
        stages.emplace_back("plain overlap removal", timeIt([&] { p.removeOverlapsTrivial(); }));
        stages.emplace_back("reload", timeIt([&] { p.reload(); }));
        // Step runs the stages one by one: overlap removal, welding (which
        // records the reference boundary length), refinement.
        stages.emplace_back("overlap removal", timeIt([&] { p.step(); }));
        stages.emplace_back("welding", timeIt([&] { p.step(); }));
        const UnwrappingStats welded = p.currentStats();
        stages.emplace_back("refinement", timeIt([&] { p.step(); }));
        const UnwrappingStats final = p.currentStats();
        std::cout.rdbuf(saved);

        std::printf("model: %s, %zu triangles, %zu charts after welding\n", bm.description.c_str(),
                    bm.mesh.numTriangles(), welded.numCharts);
        double wall = 0, cpu = 0;
        for (const auto& s : stages) {
            std::printf("  %-24s wall %8.2f s   cpu %8.2f s\n", s.first.c_str(), s.second.wall, s.second.cpu);
            wall += s.second.wall;
            cpu += s.second.cpu;
        }
        std::printf("  %-24s wall %8.2f s   cpu %8.2f s\n", "total", wall, cpu);
        std::printf("  welded:  efficiency %.2f %%  normBLen %.3f\n", welded.packingEfficiency, welded.normBLen);
        std::printf("  final:   efficiency %.2f %%  normBLen %.3f  charts %zu\n", final.packingEfficiency,
                    final.normBLen, final.numCharts);
        std::printf("  peak memory so far: %.0f MiB\n\n", peakMemoryMiB());
        std::remove(path.c_str());
        std::fflush(stdout);
    }
    return 0;
}
