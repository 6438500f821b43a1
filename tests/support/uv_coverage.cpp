#include "support/uv_coverage.h"

#include <boost/geometry.hpp>
#include <boost/geometry/geometries/point_xy.hpp>
#include <boost/geometry/geometries/polygon.hpp>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace bg = boost::geometry;

namespace testsupport {

namespace {

using Point = bg::model::d2::point_xy<double>;
using Polygon = bg::model::polygon<Point, false, true>; // counter-clockwise, closed

struct Box {
    double minU, minV, maxU, maxV;
};

Box boxOf(const Polygon& p)
{
    Box b{p.outer()[0].x(), p.outer()[0].y(), p.outer()[0].x(), p.outer()[0].y()};
    for (const Point& q : p.outer()) {
        b.minU = std::min(b.minU, q.x());
        b.maxU = std::max(b.maxU, q.x());
        b.minV = std::min(b.minV, q.y());
        b.maxV = std::max(b.maxV, q.y());
    }
    return b;
}

} // namespace

UVCoverage uvCoverage(const std::vector<double>& uvs, const std::vector<uint32_t>& uvIndices)
{
    UVCoverage coverage;
    std::vector<Polygon> parts;
    const size_t numUV = uvs.size() / 2;
    for (size_t t = 0; t + 2 < uvIndices.size(); t += 3) {
        Point p[3];
        bool valid = true;
        for (size_t k = 0; k < 3; ++k) {
            const size_t i = uvIndices[t + k];
            valid = valid && i < numUV;
            if (valid)
                p[k] = Point(uvs[2 * i], uvs[2 * i + 1]);
        }
        if (!valid)
            continue;
        const double cross = (p[1].x() - p[0].x()) * (p[2].y() - p[0].y()) -
                             (p[2].x() - p[0].x()) * (p[1].y() - p[0].y());
        if (cross == 0.0 || !std::isfinite(cross))
            continue;
        Polygon triangle;
        if (cross > 0.0)
            triangle.outer() = {p[0], p[1], p[2], p[0]};
        else
            triangle.outer() = {p[0], p[2], p[1], p[0]};
        coverage.summedArea += 0.5 * std::fabs(cross);
        ++coverage.triangles;
        parts.push_back(triangle);
    }
    // Sweep over the triangles by their boxes' smallest u; every pair whose
    // boxes meet adds the area of its intersection.
    std::vector<Box> boxes;
    for (const Polygon& p : parts)
        boxes.push_back(boxOf(p));
    std::vector<size_t> order(parts.size());
    std::iota(order.begin(), order.end(), size_t(0));
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return boxes[a].minU < boxes[b].minU; });
    double twice = 0.0;
    for (size_t i = 0; i < order.size(); ++i) {
        const Box& a = boxes[order[i]];
        for (size_t j = i + 1; j < order.size() && boxes[order[j]].minU <= a.maxU; ++j) {
            const Box& b = boxes[order[j]];
            if (b.minV > a.maxV || a.minV > b.maxV)
                continue;
            std::vector<Polygon> common;
            bg::intersection(parts[order[i]], parts[order[j]], common);
            for (const Polygon& c : common)
                twice += std::fabs(bg::area(c));
        }
    }
    coverage.overlapArea = twice;
    coverage.unionArea = coverage.summedArea - twice;
    return coverage;
}

UVCoverage uvCoverage(const ChartList& charts)
{
    Chart merged;
    mergeCharts(charts, merged);
    return uvCoverage(std::vector<double>(merged.uvCoords2D.begin(), merged.uvCoords2D.end()),
                      std::vector<uint32_t>(merged.triIndicesUV.begin(), merged.triIndicesUV.end()));
}

bool readOBJTextureLayout(const std::string& path, std::vector<double>& uvs, std::vector<uint32_t>& uvIndices,
                          std::string& error)
{
    uvs.clear();
    uvIndices.clear();
    std::ifstream in(path);
    if (!in) {
        error = "cannot open " + path;
        return false;
    }
    std::string line;
    size_t number = 0;
    while (std::getline(in, line)) {
        ++number;
        std::istringstream fields(line);
        std::string keyword;
        fields >> keyword;
        const std::string where = path + ":" + std::to_string(number) + ": ";
        if (keyword == "vt") {
            double u = 0.0, v = 0.0;
            if (!(fields >> u >> v)) {
                error = where + "malformed vt line";
                return false;
            }
            uvs.push_back(u);
            uvs.push_back(v);
        } else if (keyword == "f") {
            std::string corner;
            size_t corners = 0;
            while (fields >> corner) {
                const size_t slash = corner.find('/');
                char* end = nullptr;
                const unsigned long t =
                    slash == std::string::npos ? 0 : std::strtoul(corner.c_str() + slash + 1, &end, 10);
                if (slash == std::string::npos || t == 0 || !end || (*end != '\0' && *end != '/')) {
                    error = where + "corner without a texture index: " + corner;
                    return false;
                }
                uvIndices.push_back(uint32_t(t - 1));
                ++corners;
            }
            if (corners != 3) {
                error = where + "face without three corners";
                return false;
            }
        }
    }
    for (uint32_t t : uvIndices)
        if (t >= uvs.size() / 2) {
            error = path + ": texture index beyond the vt lines";
            return false;
        }
    return true;
}

} // namespace testsupport
