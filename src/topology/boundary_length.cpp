#include "topology/boundary_length.h"

#include "topology/halfedge.h"

#include <cmath>

double chartBoundaryLength(const Chart& chart)
{
    const std::vector<CornerMatch> match = matchEdges(chart.triIndicesUV, chart.numUVVertices());
    const double* uv = chart.uvCoords2D.data();
    double length = 0.0;
    for (size_t c = 0; c < match.size(); ++c) {
        if (match[c].partner != InvalidIndex)
            continue;
        const size_t a = chart.triIndicesUV[c];
        const size_t b = chart.triIndicesUV[nextCorner(c)];
        const double du = uv[2 * b] - uv[2 * a];
        const double dv = uv[2 * b + 1] - uv[2 * a + 1];
        length += std::sqrt(du * du + dv * dv);
    }
    return length;
}

double totalBoundaryLength(const ChartList& charts)
{
    double length = 0.0;
    for (const Chart& c : charts)
        length += chartBoundaryLength(c);
    return length;
}
