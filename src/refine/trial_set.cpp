#include "refine/trial_set.h"

#include "base/console.h"
#include "packing/pack.h"
#include "refine/cut_search.h"
#include "refine/parallel_jobs.h"

#include <sstream>
#include <utility>

TrialSet::TrialSet(const ChartList& charts, const iuv::DoubleVector& positions,
                   const iuv::DoubleVector& colours, double A, Atlas& atlas, TrialCut cut, size_t count)
    : charts_(charts), positions_(positions), colours_(colours), A_(A), atlas_(atlas),
      cut_(std::move(cut)), outcomes_(count)
{
    const Atlas start = atlas_;
    runJobs(count, [&](size_t k) { run(k, start); });
}

void TrialSet::run(size_t k, const Atlas& start)
{
    Outcome& o = outcomes_[k];
    o = Outcome();
    o.atlas = start;
    o.startWidths = start.widths;
    o.startHeights = start.heights;
    std::ostringstream log;
    {
        const ConsoleCapture capture(log);
        try {
            o.charts = charts_;
            o.positions = positions_;
            o.colours = colours_;
            if (cut_(k, o.charts, o.positions, o.colours)) {
                o.efficiency = packCharts(o.charts, o.positions, true, o.atlas);
                o.score = cutScore(o.efficiency, o.charts, A_);
                o.feasible = true;
            }
        } catch (...) {
            o.error = std::current_exception();
        }
    }
    o.log = log.str();
    if (!o.feasible) {
        // Only a packing changes the atlas; the layout copies are not needed.
        o.charts.clear();
        o.positions.clear();
        o.colours.clear();
    }
}

bool TrialSet::startedFromCurrentAtlas(const Outcome& outcome) const
{
    // A packing resets the atlas to its size first, so the size (and the
    // number of levels) is all of the atlas that a trial depends on.
    return outcome.startWidths == atlas_.widths && outcome.startHeights == atlas_.heights;
}

bool TrialSet::take(size_t k, double& score)
{
    throwIfCancelled();
    if (!startedFromCurrentAtlas(outcomes_[k]))
        run(k, atlas_);
    Outcome& o = outcomes_[k];
    console() << o.log << std::flush;
    if (o.error)
        std::rethrow_exception(o.error);
    if (!o.feasible)
        return false;
    atlas_ = o.atlas;
    score = o.score;
    return true;
}

bool TrialSet::install(size_t k, ChartList& charts, iuv::DoubleVector& positions,
                       iuv::DoubleVector& colours, double& efficiencyOut)
{
    Outcome& o = outcomes_[k];
    if (!o.feasible || !startedFromCurrentAtlas(o))
        return false;
    console() << o.log << std::flush;
    charts = std::move(o.charts);
    positions = std::move(o.positions);
    colours = std::move(o.colours);
    atlas_ = std::move(o.atlas);
    efficiencyOut = o.efficiency;
    o.feasible = false;
    return true;
}
