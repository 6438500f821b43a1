#include "refine_run.h"

#include "packing/settings.h"

#include <condition_variable>
#include <mutex>

namespace tarnwick_python {

namespace {

// Holds the process-wide aspect setting for the lifetime of a run.
class AspectSetting {
public:
    explicit AspectSetting(bool square) : ratio_(square ? 1.0 : -1.0)
    {
        std::unique_lock<std::mutex> lock(mutex());
        changed().wait(lock, [this] { return runs() == 0 || atlasAspectRatio == ratio_; });
        // Written only while no run reads it.
        if (runs() == 0)
            atlasAspectRatio = ratio_;
        ++runs();
    }
    ~AspectSetting()
    {
        std::lock_guard<std::mutex> lock(mutex());
        if (--runs() == 0)
            atlasAspectRatio = -1.0;
        changed().notify_all();
    }
    AspectSetting(const AspectSetting&) = delete;
    AspectSetting& operator=(const AspectSetting&) = delete;

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
};

} // namespace

RefineOutcome runRefinement(const Model& input, const RefineSettings& settings,
                            const RunControl::ProgressHandler& progress)
{
    RefineOutcome out;
    AspectSetting aspect(settings.square);
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
