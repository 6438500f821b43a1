#include "refine_run.h"

#include "packing/settings.h"
#include "refine/parallel_jobs.h"

#include <condition_variable>
#include <mutex>

namespace tarnwick_python {

namespace {

// Holds the process-wide packing settings (atlas aspect and gap between
// charts) for the lifetime of a run: runs with other values wait.
class PackingSetting {
public:
    PackingSetting(bool square, double gap) : ratio_(square ? 1.0 : -1.0), gap_(gap)
    {
        std::unique_lock<std::mutex> lock(mutex());
        changed().wait(lock, [this] { return runs() == 0 || (atlasAspectRatio == ratio_ && atlasPadding == gap_); });
        // Written only while no run reads them.
        if (runs() == 0) {
            atlasAspectRatio = ratio_;
            atlasPadding = gap_;
        }
        ++runs();
    }
    ~PackingSetting()
    {
        std::lock_guard<std::mutex> lock(mutex());
        if (--runs() == 0) {
            atlasAspectRatio = -1.0;
            atlasPadding = 0.0;
        }
        changed().notify_all();
    }
    PackingSetting(const PackingSetting&) = delete;
    PackingSetting& operator=(const PackingSetting&) = delete;

private:
    static std::mutex& mutex()
    {
        static std::mutex m;
        return m;
    }
    static std::condition_variable& changed()
    {
        static std::condition_variable c;
        return c;
    }
    static int& runs()
    {
        static int n = 0;
        return n;
    }
    double ratio_;
    double gap_;
};

} // namespace

RefineOutcome runRefinement(const Model& input, const RefineSettings& settings,
                            const RunControl::ProgressHandler& progress)
{
    RefineOutcome out;
    PackingSetting packing(settings.square, settings.padding / settings.resolution);
    // The thread count changes only the time of a run, never its result.
    setRefinementThreads(static_cast<unsigned>(settings.threads));
    Pipeline pipeline;
    pipeline.setBatchMode(true);
    pipeline.setResultFilesEnabled(false);
    pipeline.setMaxBoundaryFactor(settings.maxBoundary);
    if (progress)
        pipeline.control().setProgressHandler(progress);

    if (pipeline.loadModelFromData(input) != LoadStatus::Loaded) {
        out.error = pipeline.lastRefusal();
        return out;
    }
    out.loaded = true;
    pipeline.writeResultJSON("input.json");
    pipeline.removeOverlapsTrivial();
    pipeline.writeResultJSON("overlap_free_levy.json");
    std::vector<StageStats> first = pipeline.stageStats();
    if (pipeline.loadModelFromData(input) != LoadStatus::Loaded) {
        out.loaded = false;
        out.error = pipeline.lastRefusal();
        return out;
    }
    out.cancelled = !pipeline.runAll();
    out.stopPoint = pipeline.stopPoint();
    first.insert(first.end(), pipeline.stageStats().begin(), pipeline.stageStats().end());
    out.stats = std::move(first);

    out.model = std::move(pipeline.model());
    mergeCharts(out.model.charts, out.merged);
    normalizeToUnitSquare(out.merged);
    for (size_t c = 0; c < out.model.charts.size(); ++c)
        out.chartOfTriangle.insert(out.chartOfTriangle.end(), out.model.charts[c].numTriangles(),
                                   static_cast<uint32_t>(c));
    return out;
}

} // namespace tarnwick_python
