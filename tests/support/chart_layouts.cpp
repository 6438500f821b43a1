#include "support/chart_layouts.h"
#include "support/uv_coverage.h"

#include <algorithm>
#include <map>

namespace packtest {

Chart gridChart(int nx, int ny, double x0, double y0, double w, double h)
{
    Chart c;
    for (int j = 0; j <= ny; ++j)
        for (int i = 0; i <= nx; ++i)
            c.uvCoords2D.insert(c.uvCoords2D.end(), {x0 + w * i / nx, y0 + h * j / ny});
    for (uint32_t j = 0; j < uint32_t(ny); ++j)
        for (uint32_t i = 0; i < uint32_t(nx); ++i) {
            const uint32_t a = j * (nx + 1) + i, e = a + nx + 1;
            c.triIndicesUV.insert(c.triIndicesUV.end(), {a, a + 1, e + 1, a, e + 1, e});
        }
    c.triIndicesPos = c.triIndicesUV;
    return c;
}

OverlapReport findChartOverlaps(const ChartList& charts, double slack)
{
    std::vector<size_t> chartOf;
    for (size_t c = 0; c < charts.size(); ++c)
        chartOf.insert(chartOf.end(), charts[c].triIndicesUV.size() / 3, c);
    std::map<std::pair<size_t, size_t>, double> pairs;
    OverlapReport report;
    testsupport::uvCoverage(charts, [&](size_t i, size_t j, double area) {
        if (chartOf[i] != chartOf[j] && area > slack) {
            double& shared = pairs[std::minmax(chartOf[i], chartOf[j])];
            shared += area;
            report.largest = std::max(report.largest, shared);
        }
    });
    report.overlappingPairs = pairs.size();
    return report;
}

double signedUVArea(const Chart& chart)
{
    double area = 0.0;
    for (size_t t = 0; t < chart.numTriangles(); ++t)
        area += 0.5 * uvTriangleCross(chart, t);
    return area;
}

} // namespace packtest
