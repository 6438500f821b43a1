#include "topology/chart_pieces.h"

#include <algorithm>

void splitChartByLabels(const Chart& chart, const std::vector<uint64_t>& labels, size_t labelCount,
                        ChartList& out)
{
    const size_t first = out.size();
    out.resize(first + labelCount);
    const size_t n = std::min(chart.numTriangles(), labels.size());
    for (size_t t = 0; t < n; ++t) {
        if (labels[t] >= labelCount)
            continue;
        Chart& piece = out[first + labels[t]];
        piece.sourceTriangle.push_back(sourceOf(chart, t));
        for (size_t k = 0; k < 3; ++k) {
            piece.triIndicesPos.push_back(chart.triIndicesPos[3 * t + k]);
            piece.triIndicesUV.push_back(chart.triIndicesUV[3 * t + k]);
        }
    }
    // Dense renumbering of the used UV vertices in their old order.
    const size_t numUV = chart.numUVVertices();
    std::vector<uint32_t> newIndex;
    for (size_t l = 0; l < labelCount; ++l) {
        Chart& piece = out[first + l];
        std::vector<uint32_t> used(piece.triIndicesUV.begin(), piece.triIndicesUV.end());
        std::sort(used.begin(), used.end());
        used.erase(std::unique(used.begin(), used.end()), used.end());
        piece.uvCoords2D.reserve(2 * used.size());
        for (uint32_t old : used) {
            if (old < numUV) {
                piece.uvCoords2D.push_back(chart.uvCoords2D[2 * size_t(old)]);
                piece.uvCoords2D.push_back(chart.uvCoords2D[2 * size_t(old) + 1]);
            } else {
                piece.uvCoords2D.push_back(0.0);
                piece.uvCoords2D.push_back(0.0);
            }
        }
        for (uint32_t& k : piece.triIndicesUV)
            k = uint32_t(std::lower_bound(used.begin(), used.end(), k) - used.begin());
    }
}

void splitChartAlongCuts(const Chart& chart, const std::vector<CornerMatch>& partners,
                         const std::vector<bool>& cutCorners, ChartList& out)
{
    std::vector<uint64_t> labels;
    const size_t count = labelTrianglePieces(
        chart.numTriangles(), partners,
        [&](size_t corner, size_t, size_t) { return !(corner < cutCorners.size() && cutCorners[corner]); },
        labels);
    splitChartByLabels(chart, labels, count, out);
}

void splitIntoUVComponents(const Chart& chart, ChartList& out)
{
    const size_t n = chart.numTriangles();
    if (n == 0)
        return;
    if (!chartIndicesValid(chart)) {
        out.push_back(chart);
        return;
    }
    const std::vector<CornerMatch> partners = matchEdges(chart.triIndicesUV, chart.numUVVertices());
    std::vector<uint64_t> labels;
    const size_t count = labelTrianglePieces(n, partners, [](size_t, size_t, size_t) { return true; }, labels);
    splitChartByLabels(chart, labels, count, out);
}
