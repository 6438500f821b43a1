#include "support/chart_layouts.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <boost/geometry.hpp>
#include <boost/geometry/index/rtree.hpp>
#pragma GCC diagnostic pop

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
    namespace bg = boost::geometry;
    using Point = bg::model::d2::point_xy<double>;
    using Polygon = bg::model::polygon<Point>;
    using Box = bg::model::box<Point>;
    std::vector<Polygon> tris;
    std::vector<size_t> chartOf;
    bg::index::rtree<std::pair<Box, size_t>, bg::index::quadratic<16>> tree;
    for (size_t c = 0; c < charts.size(); ++c)
        for (size_t t = 0; t + 2 < charts[c].triIndicesUV.size(); t += 3) {
            Polygon p;
            for (int k : {0, 1, 2, 0}) {
                const uint32_t v = charts[c].triIndicesUV[t + k];
                bg::append(p.outer(), Point(charts[c].uvCoords2D[2 * v], charts[c].uvCoords2D[2 * v + 1]));
            }
            bg::correct(p);
            tree.insert({bg::return_envelope<Box>(p), tris.size()});
            tris.push_back(p);
            chartOf.push_back(c);
        }
    std::map<std::pair<size_t, size_t>, double> pairs;
    OverlapReport report;
    for (size_t i = 0; i < tris.size(); ++i) {
        std::vector<std::pair<Box, size_t>> near;
        tree.query(bg::index::intersects(bg::return_envelope<Box>(tris[i])), std::back_inserter(near));
        for (const auto& n : near) {
            const size_t j = n.second;
            if (j <= i || chartOf[i] == chartOf[j])
                continue;
            std::vector<Polygon> common;
            bg::intersection(tris[i], tris[j], common);
            double area = 0.0;
            for (const Polygon& piece : common)
                area += bg::area(piece);
            if (area > slack) {
                double& shared = pairs[std::minmax(chartOf[i], chartOf[j])];
                shared += area;
                report.largest = std::max(report.largest, shared);
            }
        }
    }
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
