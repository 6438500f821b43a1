#include "repair/overlap_removal.h"

#include "packing/compaction.h"
#include "packing/pack.h"
#include "repair/flip_repair.h"
#include "topology/overlap.h"
#include "repair/segmentation.h"
#include "topology/chart_pieces.h"

#include <iostream>

void splitOffOverlaps(const Chart& chart, ChartList& out)
{
    const size_t n = chart.numTriangles();
    if (n == 0)
        return;
    if (!chartIndicesValid(chart)) {
        out.push_back(chart);
        return;
    }
    const std::vector<bool> marks = markOverlappingTriangles(chart);
    const std::vector<CornerMatch> partners = matchEdges(chart.triIndicesUV, chart.numUVVertices());
    std::vector<bool> cut(partners.size(), false);
    for (size_t c = 0; c < partners.size(); ++c) {
        const uint64_t p = partners[c].partner;
        if (p == InvalidIndex || p >= partners.size())
            continue;
        if (marks[c / 3] != marks[p / 3]) {
            cut[c] = true;
            cut[p] = true;
        }
    }
    splitChartAlongCuts(chart, partners, cut, out);
}

void removeOverlapsPlain(ChartList& charts, const iuv::UIntVector& coneSingularities,
                         const iuv::DoubleVector& sharedPositions, bool seamSeparating, bool trivialSplit)
{
    ChartList pieces;
    if (trivialSplit) {
        for (const Chart& chart : charts)
            splitOffOverlaps(chart, pieces);
    } else {
        removeOverlapsBySegmentation(charts, sharedPositions.size() / 3, coneSingularities, pieces,
                                     seamSeparating);
    }
    charts = std::move(pieces);
}

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
