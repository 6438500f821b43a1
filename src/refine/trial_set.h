#pragma once

#include "model/chart.h"
#include "model/iuv_vector.h"
#include "packing/atlas.h"

#include <cstddef>
#include <exception>
#include <functional>
#include <string>
#include <vector>

// The trials of one cut search, evaluated concurrently but observed as if they
// ran one after the other on the shared atlas.
//
// Every trial cuts a copy of the layout, repacks it and scores it. Trials only
// influence each other through the atlas, whose size survives a packing (an
// atlas once enlarged stays enlarged). All trials start speculatively from the
// atlas as it is when the set is made; when a trial taken earlier in order
// has left the atlas with another size, the later trials are run again from
// that size, so the outcome never depends on timing or the thread count.

// Applies candidate k to copies of the lists; false when it is not feasible.
using TrialCut = std::function<bool(size_t k, ChartList& charts, iuv::DoubleVector& positions,
                                    iuv::DoubleVector& colours)>;

class TrialSet {
public:
    // Runs the count trials on the refinement threads. A is the UV area of
    // the score. The lists and the atlas must outlive the set.
    TrialSet(const ChartList& charts, const iuv::DoubleVector& positions,
             const iuv::DoubleVector& colours, double A, Atlas& atlas, TrialCut cut, size_t count);

    // Takes trial k, in order k = 0, 1, ...: prints its messages, leaves the
    // atlas as the trial's packing left it and returns whether it was feasible,
    // with its score. Rethrows what the trial threw.
    bool take(size_t k, double& score);

    // Puts the layout of taken feasible trial k into the lists, repacked, and
    // prints the messages of its cut and packing, exactly as cutting the lists
    // along its candidate and packing them into the atlas now would. The
    // efficiency of the packing goes to efficiencyOut. False, with nothing
    // changed, when the atlas is no longer in the state the trial started from.
    bool install(size_t k, ChartList& charts, iuv::DoubleVector& positions,
                 iuv::DoubleVector& colours, double& efficiencyOut);

private:
    struct Outcome {
        bool feasible = false;
        double efficiency = 0.0;
        double score = 0.0;
        std::string log;
        ChartList charts;
        iuv::DoubleVector positions;
        iuv::DoubleVector colours;
        Atlas atlas;                        // after the trial's packing
        std::vector<int32_t> startWidths;   // the atlas size it started from
        std::vector<int32_t> startHeights;
        std::exception_ptr error;
    };

    void run(size_t k, const Atlas& start);
    bool startedFromCurrentAtlas(const Outcome& outcome) const;

    const ChartList& charts_;
    const iuv::DoubleVector& positions_;
    const iuv::DoubleVector& colours_;
    double A_;
    Atlas& atlas_;
    TrialCut cut_;
    std::vector<Outcome> outcomes_;
};
