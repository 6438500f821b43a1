// Packing on generated chart layouts of 10, 100, 600 and 1,000 charts (about 100
// triangles per chart): wall time of packCharts (compaction included), of
// packCharts again with every chart's rasters kept from an earlier packing,
// of compactCharts alone on the packed layout, of findEmptySpaces on the
// largest chart and on the whole atlas, the efficiency reached and the peak
// resident memory. Best of several runs; the packer's console lines are
// swallowed.
//
//   bench_packing [--serial] [COUNT ...]    (default: 10 100 600 1000 charts)
//
// --serial packs on the calling thread alone (no helper building rasters).
#include "meshgen/meshgen.h"
#include "packing/compaction.h"
#include "packing/orientation_cache.h"
#include "packing/pack.h"
#include "packing/pack_threads.h"
#include "geometry/empty_spaces.h"

#include <sys/resource.h>

#include <algorithm>
#include <cstdlib>
#include <chrono>
#include <iomanip>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Runs fn `runs` times and returns the smallest wall time in seconds (packing
// builds its rasters on a helper thread, so processor time would add both).
template <typename Fn>
double best(int runs, Fn fn)
{
    double fastest = 1e300;
    for (int i = 0; i < runs; ++i) {
        const Clock::time_point start = Clock::now();
        fn();
        fastest = std::min(fastest, std::chrono::duration<double>(Clock::now() - start).count());
    }
    return fastest;
}

long peakResidentKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--serial")
            setPackingHelperThread(false);
        else
            counts.push_back(std::atoi(argv[i]));
    }
    if (counts.empty())
        counts = {10, 100, 600, 1000};
    std::cout << std::left << std::setw(8) << "charts" << std::setw(11) << "triangles"
              << std::setw(14) << "packCharts" << std::setw(14) << "rasters kept" << std::setw(16) << "compactCharts"
              << std::setw(18) << "emptySpaces/1" << std::setw(20) << "emptySpaces/atlas"
              << std::setw(12) << "efficiency" << "peak RSS" << std::endl;
    for (int count : counts) {
        const Model model = meshgen::randomChartLayout(count, count * 100, 2024);
        size_t triangles = 0;
        for (const Chart& c : model.charts)
            triangles += c.numTriangles();

        ChartList packed;
        double efficiency = 0.0;
        std::ostringstream swallowed;
        std::streambuf* console = std::cout.rdbuf(swallowed.rdbuf());
        Atlas atlas(384, 384);
        const double packTime = best(3, [&] {
            packed = model.charts;
            efficiency = packCharts(packed, model.sharedPositions, true, atlas);
        });
        // The same layout again into an atlas that keeps the charts'
        // rasters, as the trials of a refinement step pack the charts they
        // leave unchanged.
        Atlas keeping(384, 384);
        keeping.orientationCache = std::make_shared<OrientationCache>();
        ChartList warm = model.charts;
        packCharts(warm, model.sharedPositions, true, keeping);
        const double keptTime = best(3, [&] {
            warm = model.charts;
            packCharts(warm, model.sharedPositions, true, keeping);
        });
        std::cout.rdbuf(console);

        const double compactTime = best(3, [&] {
            ChartList copy = packed;
            compactCharts(copy);
        });
        // The largest chart comes first after packing.
        const ChartList largest{packed.front()};
        std::vector<EmptySpace> spaces;
        const double oneChartTime = best(3, [&] {
            spaces.clear();
            findEmptySpaces(largest, spaces, 0.01, 1.0, nullptr);
        });
        const double atlasTime = best(3, [&] {
            spaces.clear();
            findEmptySpaces(packed, spaces, 0.01, 1.0, nullptr);
        });

        const auto ms = [](double s) {
            std::ostringstream text;
            text << std::fixed << std::setprecision(1) << s * 1000.0 << " ms";
            return text.str();
        };
        std::ostringstream eff;
        eff << std::fixed << std::setprecision(1) << efficiency << " %";
        std::cout << std::left << std::setw(8) << count << std::setw(11) << triangles
                  << std::setw(14) << ms(packTime) << std::setw(14) << ms(keptTime) << std::setw(16) << ms(compactTime)
                  << std::setw(18) << ms(oneChartTime) << std::setw(20) << ms(atlasTime)
                  << std::setw(12) << eff.str() << peakResidentKiB() / 1024 << " MiB" << std::endl;
    }
    return 0;
}
