#include "topology/segmentation.h"

#include "topology/overlap.h"

#include <algorithm>
#include <deque>

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
    const size_t n = chart.numTriangles();
    const uint64_t unset = ~uint64_t(0);
    std::vector<uint64_t> labels(n, unset);
    std::deque<size_t> queue;
    uint64_t count = 0;
    for (size_t start = 0; start < n; ++start) {
        if (labels[start] != unset)
            continue;
        labels[start] = count;
        queue.push_back(start);
        while (!queue.empty()) {
            const size_t t = queue.front();
            queue.pop_front();
            for (size_t c = 3 * t; c < 3 * t + 3; ++c) {
                if (c >= partners.size() || (c < cutCorners.size() && cutCorners[c]))
                    continue;
                const uint64_t p = partners[c].partner;
                if (p == InvalidIndex || p / 3 >= n || labels[p / 3] != unset)
                    continue;
                labels[p / 3] = count;
                queue.push_back(size_t(p / 3));
            }
        }
        ++count;
    }
    splitChartByLabels(chart, labels, count, out);
}
