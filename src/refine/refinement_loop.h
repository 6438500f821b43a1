#pragma once

#include "model/chart.h"
#include "model/iuv_vector.h"
#include "model/model.h"
#include "packing/atlas.h"
#include "refine/refinement.h"

#include <functional>

// The refinement driver with its two measures made replaceable: refineAtlas
// runs it with applyBestCut and atlasPackingEfficiency; tests drive it with
// scripted steps.
struct RefinementSteps {
    std::function<bool(ChartList& charts, iuv::DoubleVector& sharedPositions,
                       iuv::DoubleVector& vertexColors, double A, double& scoreOut, Atlas& atlas)>
        cut;
    std::function<double(const ChartList& charts)> efficiency;
};

// The best layout seen so far in one refinement run.
struct RefinementState {
    ChartList charts;
    iuv::DoubleVector positions;
    iuv::DoubleVector colors;
};

void runRefinement(Model& model, double referenceNormBLen, double& boxifyTime, Atlas& atlas,
                   const RefinementHooks& hooks, const RefinementSteps& steps);
