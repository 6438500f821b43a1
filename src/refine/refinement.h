#pragma once

#include "base/run_control.h"
#include "model/model.h"
#include "packing/atlas.h"

#include <functional>
#include <string>

// What the refinement driver needs from the pipeline that owns the model.
// Each hook works on the model as it is at the time of the call (the driver
// swaps the best layout in for the snapshots during the loop).
struct RefinementHooks {
    std::function<void(const std::string& jsonName)> writeResultJSON;
    std::function<void(const std::string& svgName, const std::string& objName,
                       const std::string& pngName)>
        exportResults;
    std::function<void()> updateDisplay; // display update with dirty UV data
    // Called at the end of every iteration, before its progress report, with
    // the layout that iteration produced (not necessarily the best one).
    std::function<void(const Model& current)> iterationDone;
    // Progress is reported after every iteration; a cancellation ends the loop
    // before the next one, installs the best layout and writes no more files.
    RunControl* control = nullptr;
    // The kept layout's limit on the boundary length, in multiples of
    // referenceNormBLen.
    double maxBoundaryFactor = 2.0;
};

// The refinement driver: repeats applyBestCut until a termination criterion
// holds, keeps the best layout within hooks.maxBoundaryFactor (by default
// twice) times referenceNormBLen, writes the bl_130/bl_150 snapshots and
// "bl_200.json" through the hooks and installs the best layout. boxifyTime
// receives the processor time of the run in seconds. When the run is
// cancelled it prints "Refinement cancelled after N iterations." instead of
// the termination report.
void refineAtlas(Model& model, double referenceNormBLen, double& boxifyTime, Atlas& atlas,
                 const RefinementHooks& hooks);
