#include "support/uv_coverage.h"

#include <boost/geometry.hpp>
#include <boost/geometry/geometries/point_xy.hpp>
#include <boost/geometry/geometries/polygon.hpp>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace bg = boost::geometry;

namespace testsupport {

namespace {

using Point = bg::model::d2::point_xy<double>;
using Polygon = bg::model::polygon<Point, false, true>; // counter-clockwise, closed
using Box = bg::model::box<Point>;

} // namespace

UVCoverage uvCoverage(const std::vector<double>& uvs, const std::vector<uint32_t>& uvIndices,
                      const std::function<void(size_t, size_t, double)>& shared)
{
    UVCoverage coverage;
    std::vector<Polygon> parts;
    std::vector<size_t> number;
    for (size_t t = 0; t + 2 < uvIndices.size(); t += 3) {
        Point p[3];
        bool valid = true;
        for (size_t k = 0; k < 3 && valid; ++k) {
            valid = uvIndices[t + k] < uvs.size() / 2;
            if (valid)
                p[k] = Point(uvs[2 * uvIndices[t + k]], uvs[2 * uvIndices[t + k] + 1]);
        }
        const double cross = valid ? (p[1].x() - p[0].x()) * (p[2].y() - p[0].y()) -
                                         (p[2].x() - p[0].x()) * (p[1].y() - p[0].y())
                                   : 0.0;
        if (cross == 0.0 || !std::isfinite(cross))
            continue;
        Polygon triangle;
        triangle.outer() = {p[0], cross > 0.0 ? p[1] : p[2], cross > 0.0 ? p[2] : p[1], p[0]};
        coverage.summedArea += 0.5 * std::fabs(cross);
        parts.push_back(triangle);
        number.push_back(t / 3);
    }
    coverage.triangles = parts.size();
    // Sweep over the triangles by their boxes' smallest u; every pair whose
    // boxes meet is intersected.
    std::vector<Box> boxes;
    for (const Polygon& p : parts)
        boxes.push_back(bg::return_envelope<Box>(p));
    std::vector<size_t> order(parts.size());
    std::iota(order.begin(), order.end(), size_t(0));
    std::sort(order.begin(), order.end(),
              [&](size_t a, size_t b) { return boxes[a].min_corner().x() < boxes[b].min_corner().x(); });
    for (size_t i = 0; i < order.size(); ++i) {
        const Box& a = boxes[order[i]];
        for (size_t j = i + 1; j < order.size() && boxes[order[j]].min_corner().x() <= a.max_corner().x(); ++j) {
            const Box& b = boxes[order[j]];
            if (b.min_corner().y() > a.max_corner().y() || a.min_corner().y() > b.max_corner().y())
                continue;
            std::vector<Polygon> common;
            bg::intersection(parts[order[i]], parts[order[j]], common);
            double area = 0.0;
            for (const Polygon& c : common)
                area += std::fabs(bg::area(c));
            coverage.overlapArea += area;
            if (area > 0.0 && shared)
                shared(std::min(number[order[i]], number[order[j]]), std::max(number[order[i]], number[order[j]]), area);
        }
    }
    coverage.unionArea = coverage.summedArea - coverage.overlapArea;
    return coverage;
}

UVCoverage uvCoverage(const ChartList& charts, const std::function<void(size_t, size_t, double)>& shared)
{
    Chart merged;
    mergeCharts(charts, merged);
    return uvCoverage(std::vector<double>(merged.uvCoords2D.begin(), merged.uvCoords2D.end()),
                      std::vector<uint32_t>(merged.triIndicesUV.begin(), merged.triIndicesUV.end()), shared);
}

} // namespace testsupport
