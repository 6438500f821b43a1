#pragma once

#include "model/chart.h"
#include "topology/halfedge.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Appends labelCount new charts; triangle t goes to chart labels[t]. Each new
// chart renumbers its used UV vertices densely in their old order; 3D indices
// are unchanged. Triangles whose label is not below labelCount are left out.
void splitChartByLabels(const Chart& chart, const std::vector<uint64_t>& labels, size_t labelCount,
                        ChartList& out);

// Labels the triangles of a chart by connected pieces: a piece grows from its
// lowest unlabelled triangle through every corner c (of triangle from) whose
// partner corner lies in triangle to, as long as canCross(c, from, to) holds.
// Labels count up from 0 in order of each piece's lowest triangle (the result
// does not depend on the order in which a piece is explored). Returns the
// number of pieces.
template <typename CanCross>
size_t labelTrianglePieces(size_t numTriangles, const std::vector<CornerMatch>& partners, CanCross canCross,
                           std::vector<uint64_t>& labels)
{
    const uint64_t unset = ~uint64_t(0);
    labels.assign(numTriangles, unset);
    std::vector<size_t> stack;
    uint64_t count = 0;
    for (size_t start = 0; start < numTriangles; ++start) {
        if (labels[start] != unset)
            continue;
        labels[start] = count;
        stack.push_back(start);
        while (!stack.empty()) {
            const size_t from = stack.back();
            stack.pop_back();
            for (size_t c = 3 * from; c < 3 * from + 3 && c < partners.size(); ++c) {
                const uint64_t p = partners[c].partner;
                if (p == InvalidIndex || p / 3 >= numTriangles)
                    continue;
                const size_t to = size_t(p / 3);
                if (labels[to] != unset || !canCross(c, from, to))
                    continue;
                labels[to] = count;
                stack.push_back(to);
            }
        }
        ++count;
    }
    return size_t(count);
}

// Labels the triangles through partner corners that are not marked cut (cutCorners has one entry per corner) and appends one
// chart per connected piece, in order of each piece's lowest triangle.
void splitChartAlongCuts(const Chart& chart, const std::vector<CornerMatch>& partners,
                         const std::vector<bool>& cutCorners, ChartList& out);

// Appends one chart per group of triangles connected through shared UV edges.
void splitIntoUVComponents(const Chart& chart, ChartList& out);
