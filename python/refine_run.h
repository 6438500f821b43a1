#pragma once

#include "app/pipeline.h"
#include "base/run_control.h"
#include "model/model.h"

#include <string>
#include <vector>

// The batch sequence on a model given as data, without result files; no
// Python object is touched here, so it runs without the interpreter lock.
namespace tarnwick_python {

struct RefineSettings {
    bool square = false;
    double padding = 0.0;
    int resolution = 1024;
    int threads = 0;
    double maxBoundary = 2.0; // limit of the kept layout, in multiples of the welded boundary length
};

struct RefineOutcome {
    bool loaded = false;    // false: error holds the console line of the refusal
    bool cancelled = false; // stopPoint says where
    std::string error;
    std::string stopPoint;
    Model model;            // the final layout
    Chart merged;           // its charts merged, UVs in the unit square (as the exported OBJ)
    std::vector<uint32_t> chartOfTriangle;
    std::vector<StageStats> stats;
};

// Loads the model as the program loads a file, records the input statistics,
// runs the plain overlap removal, loads the model again and runs every stage,
// as the batch sequence does. Runs with different square settings never
// overlap in time (the setting is process-wide): a run waits until the runs
// of the other setting have ended. progress sees every report of the run.
RefineOutcome runRefinement(const Model& input, const RefineSettings& settings,
                            const RunControl::ProgressHandler& progress);

} // namespace tarnwick_python
