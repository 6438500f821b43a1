#include "repair/overlap_removal.h"

#include "packing/compaction.h"
#include "packing/pack.h"
#include "repair/flip_repair.h"
#include "topology/overlap.h"
#include "repair/segmentation.h"
#include "topology/chart_pieces.h"

#include <deque>
#include <iostream>

namespace {

bool sameLayout(const ChartList& a, const ChartList& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const Chart& x = a[i];
        const Chart& y = b[i];
        if (x.triIndicesPos != y.triIndicesPos || x.triIndicesUV != y.triIndicesUV || x.uvCoords2D != y.uvCoords2D)
            return false;
    }
    return true;
}

// Labels the triangles by pieces that grow through shared UV edges from the
// lowest unlabelled triangle, breadth first, taking a neighbour only when
// none of the triangles it overlaps is already in the piece. Returns the
// number of pieces.
size_t labelOverlapFreePieces(const Chart& chart, const std::vector<std::pair<uint64_t, uint64_t>>& pairs,
                              std::vector<uint64_t>& labels)
{
    const size_t n = chart.numTriangles();
    std::vector<size_t> start(n + 1, 0);
    for (const auto& p : pairs) {
        ++start[p.first + 1];
        ++start[p.second + 1];
    }
    for (size_t t = 0; t < n; ++t)
        start[t + 1] += start[t];
    std::vector<uint64_t> overlapped(start[n]);
    std::vector<size_t> fill(start.begin(), start.end() - 1);
    for (const auto& p : pairs) {
        overlapped[fill[p.first]++] = p.second;
        overlapped[fill[p.second]++] = p.first;
    }

    const std::vector<CornerMatch> partners = matchEdges(chart.triIndicesUV, chart.numUVVertices());
    const uint64_t unset = ~uint64_t(0);
    labels.assign(n, unset);
    uint64_t count = 0;
    std::deque<size_t> queue;
    const auto fits = [&](size_t t) {
        for (size_t k = start[t]; k < start[t + 1]; ++k)
            if (labels[overlapped[k]] == count)
                return false;
        return true;
    };
    for (size_t first = 0; first < n; ++first) {
        if (labels[first] != unset)
            continue;
        labels[first] = count;
        queue.push_back(first);
        while (!queue.empty()) {
            const size_t from = queue.front();
            queue.pop_front();
            for (size_t c = 3 * from; c < 3 * from + 3; ++c) {
                const uint64_t p = partners[c].partner;
                if (p == InvalidIndex || p / 3 >= n)
                    continue;
                const size_t to = size_t(p / 3);
                if (labels[to] != unset || !fits(to))
                    continue;
                labels[to] = count;
                queue.push_back(to);
            }
        }
        ++count;
    }
    return size_t(count);
}

} // namespace

bool separateOverlappingTriangles(ChartList& charts)
{
    ChartList out;
    bool split = false;
    for (Chart& chart : charts) {
        const std::vector<std::pair<uint64_t, uint64_t>> pairs =
            chartIndicesValid(chart) ? findAreaOverlapPairs(chart) : std::vector<std::pair<uint64_t, uint64_t>>();
        if (pairs.empty()) {
            out.push_back(std::move(chart));
            continue;
        }
        std::vector<uint64_t> labels;
        const size_t pieces = labelOverlapFreePieces(chart, pairs, labels);
        splitChartByLabels(chart, labels, pieces, out);
        split = true;
    }
    charts = std::move(out);
    return split;
}

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
    separateOverlappingTriangles(model.charts);
    packCharts(model.charts, model.sharedPositions, false, atlas);
}

void runOverlapRemoval(Model& model, Atlas& atlas)
{
    const ChartList loaded = model.charts;
    ChartList pieces;
    for (Chart& chart : model.charts) {
        fixFlippedTriangles(chart);
        splitIntoUVComponents(chart, pieces);
    }
    model.charts = std::move(pieces);
    // Repaired flips and split charts lie where the repair left them, on top
    // of one another: they need packing even when nothing is segmented.
    const bool repaired = !sameLayout(model.charts, loaded);

    const bool hasCones = !model.coneSingularities.empty();
    if (hasCones)
        std::cout << "Model with singularities - using seam-separating weights." << std::endl;
    else
        std::cout << "Model without singularities - no welding will be performed." << std::endl;

    ChartList segmented;
    const bool wasSegmented = removeOverlapsBySegmentation(model.charts, model.numVertices(),
                                                           model.coneSingularities, segmented, hasCones);
    const bool wasSeparated = separateOverlappingTriangles(segmented);
    if (repaired || wasSegmented || wasSeparated) {
        packCharts(segmented, model.sharedPositions, false, atlas);
        model.charts = std::move(segmented);
    }
    compactCharts(model.charts);
}
