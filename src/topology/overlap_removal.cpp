#include "topology/overlap_removal.h"

#include "packing/compaction.h"
#include "packing/pack.h"
#include "topology/flip_repair.h"
#include "topology/overlap.h"
#include "topology/segmentation.h"

#include <iostream>

void runTrivialOverlapRemoval(Model& model, Atlas& atlas)
{
    if (model.charts.empty())
        return;
    removeOverlapsPlain(model.charts, model.coneSingularities, model.sharedPositions, false, true);
    bool overlapsLeft = false;
    for (const Chart& chart : model.charts) {
        if (hasUVOverlaps(chart)) {
            overlapsLeft = true;
            break;
        }
    }
    if (overlapsLeft)
        removeOverlapsPlain(model.charts, model.coneSingularities, model.sharedPositions, false, false);
    packCharts(model.charts, model.sharedPositions, false, atlas);
}

void runOverlapRemoval(Model& model, Atlas& atlas)
{
    ChartList pieces;
    for (Chart& chart : model.charts) {
        fixFlippedTriangles(chart);
        splitIntoUVComponents(chart, pieces);
    }
    model.charts = std::move(pieces);

    const bool hasCones = !model.coneSingularities.empty();
    if (hasCones)
        std::cout << "Model with singularities - using seam-separating weights." << std::endl;
    else
        std::cout << "Model without singularities - no welding will be performed." << std::endl;

    ChartList segmented;
    if (removeOverlapsBySegmentation(model.charts, model.numVertices(), model.coneSingularities, segmented,
                                     hasCones)) {
        packCharts(segmented, model.sharedPositions, false, atlas);
        model.charts = std::move(segmented);
    }
    compactCharts(model.charts);
}
