#include "refine/refinement.h"

#include "refine/best_cut.h"
#include "geometry/efficiency.h"
#include "refine/parallel_jobs.h"
#include "refine/refinement_loop.h"
#include "topology/boundary_length.h"

#include <cmath>
#include <ctime>
#include <iostream>
#include <limits>
#include <utility>

namespace {

constexpr double FirstSnapshotFactor = 1.3;
constexpr double SecondSnapshotFactor = 1.5;
constexpr int MaxIterations = 2147483647;
constexpr double TimeLimitSeconds = 1800.0;
constexpr int StallLimit = 8;
constexpr double MinimumGain = 1.0;
constexpr size_t MaxChartCount = 2147483647;
constexpr double TargetEfficiency = std::numeric_limits<double>::max();
constexpr double MinimumImprovement = std::numeric_limits<double>::lowest();
constexpr double Exponent = 0.2;

void keepLayout(RefinementState& state, const Model& model)
{
    state.charts = model.charts;
    state.positions = model.sharedPositions;
    state.colors = model.vertexColors;
}

void swapWithModel(RefinementState& state, Model& model)
{
    std::swap(state.charts, model.charts);
    std::swap(state.positions, model.sharedPositions);
    std::swap(state.colors, model.vertexColors);
}

void writeFiles(const RefinementHooks& hooks, const std::string& base)
{
    if (hooks.writeResultJSON)
        hooks.writeResultJSON(base + ".json");
    if (hooks.exportResults)
        hooks.exportResults(base + ".svg", base + ".obj", base + "_3D.png");
}

// Writes the snapshot files of the best layout while the model holds the
// current one.
void writeBestSnapshot(const RefinementHooks& hooks, RefinementState& best, Model& model,
                       const std::string& base)
{
    swapWithModel(best, model);
    writeFiles(hooks, base);
    swapWithModel(best, model);
}

const char* yesNo(bool b) { return b ? "Yes" : "No"; }

} // namespace

void runRefinement(Model& model, double referenceNormBLen, double& boxifyTime, Atlas& atlas,
                   const RefinementHooks& hooks, const RefinementSteps& steps)
{
    const double A = totalUVArea(model.charts);
    const double sqrtA = std::sqrt(A);
    double nbl = totalBoundaryLength(model.charts) / sqrtA;
    const double E0 = steps.efficiency(model.charts);
    double prevScore = E0 / std::pow(nbl, Exponent);

    RefinementState best;
    keepLayout(best, model);
    double bestEff = E0;

    boxifyTime = 0.0;
    int iteration = 0;
    int stallCount = 0;
    bool cutApplied = true;
    bool wrote130 = false, wrote150 = false;
    double improvement = std::numeric_limits<double>::max();
    double score = std::numeric_limits<double>::lowest();
    const std::clock_t startClock = std::clock();

    const double maxBoundary = hooks.maxBoundaryFactor * referenceNormBLen;
    const double firstThreshold = FirstSnapshotFactor * referenceNormBLen;
    const double secondThreshold = SecondSnapshotFactor * referenceNormBLen;

    // The comparisons are written so that a NaN measure ends the run rather
    // than keeping it going until the time limit.
    bool cancelled = false;
    for (;;) {
        if (hooks.control && hooks.control->cancelRequested()) {
            cancelled = true;
            break;
        }
        if (!(nbl < maxBoundary) || iteration >= MaxIterations ||
            !(boxifyTime < TimeLimitSeconds) || stallCount >= StallLimit)
            break;

        std::cout << std::endl;
        std::cout << " *** ITERATION " << iteration << " ***" << std::endl;

        try {
            // A cancellation stops the cut search between its trials; the
            // half-done step is dropped with the current layout below.
            const CancelScope scope(hooks.control);
            cutApplied = steps.cut(model.charts, model.sharedPositions, model.vertexColors, A, score,
                                   atlas);
        } catch (const RefinementCancelled&) {
            cancelled = true;
            break;
        }

        const double E = steps.efficiency(model.charts);
        nbl = totalBoundaryLength(model.charts) / sqrtA;
        improvement = E - prevScore;
        prevScore = E;

        if (!(E - bestEff >= MinimumGain))
            ++stallCount;
        else
            stallCount = 0;

        std::cout << "Score      :          " << E << std::endl;
        std::cout << "Improvement:          " << improvement << std::endl;
        std::cout << "Number of charts:     " << model.charts.size() << std::endl;
        std::cout << "Boundary length:      " << nbl << std::endl;
        std::cout << "Packing efficiency:   " << E << std::endl;

        if (!wrote130 && nbl > firstThreshold) {
            writeBestSnapshot(hooks, best, model, "bl_130");
            wrote130 = true;
        }
        if (!wrote150 && nbl > secondThreshold) {
            writeBestSnapshot(hooks, best, model, "bl_150");
            wrote150 = true;
        }

        if (E > bestEff && nbl <= maxBoundary && model.charts.size() <= MaxChartCount) {
            keepLayout(best, model);
            bestEff = E;
        }

        boxifyTime = double(std::clock() - startClock) / CLOCKS_PER_SEC;
        if (hooks.iterationDone)
            hooks.iterationDone(model);
        if (hooks.control)
            hooks.control->report({"Refining", iteration, E, nbl});
        ++iteration;

        if (!cutApplied || model.charts.size() > MaxChartCount || bestEff > TargetEfficiency ||
            improvement < MinimumImprovement)
            break;
    }

    std::cout << std::endl;
    if (cancelled) {
        std::cout << "Refinement cancelled after " << iteration << " iterations." << std::endl;
    } else {
        std::cout << "Finished. Last score improvement: " << improvement << std::endl;
        std::cout << "Terminated due to lack of improvement?  " << yesNo(improvement < MinimumImprovement)
                  << std::endl;
        std::cout << "Terminated due to max. boundary length? " << yesNo(!(nbl < maxBoundary))
                  << std::endl;
        std::cout << "Terminated due to number of iterations? " << yesNo(iteration >= MaxIterations)
                  << std::endl;
        std::cout << "Terminated due to time limit?           "
                  << yesNo(!(boxifyTime < TimeLimitSeconds)) << std::endl;
        std::cout << "Terminated due to no empty spaces?      " << yesNo(!cutApplied) << std::endl;
        std::cout << "Terminated due to number of pieces?     "
                  << yesNo(model.charts.size() > MaxChartCount) << std::endl;
    }

    model.charts = std::move(best.charts);
    model.sharedPositions = std::move(best.positions);
    model.vertexColors = std::move(best.colors);

    if (hooks.updateDisplay)
        hooks.updateDisplay();
    if (cancelled)
        return;

    if (!wrote130)
        writeFiles(hooks, "bl_130");
    if (!wrote150)
        writeFiles(hooks, "bl_150");
    if (hooks.writeResultJSON)
        hooks.writeResultJSON("bl_200.json");
}

void refineAtlas(Model& model, double referenceNormBLen, double& boxifyTime, Atlas& atlas,
                 const RefinementHooks& hooks)
{
    RefinementSteps steps;
    steps.cut = applyBestCut;
    steps.efficiency = atlasPackingEfficiency;
    runRefinement(model, referenceNormBLen, boxifyTime, atlas, hooks, steps);
}
