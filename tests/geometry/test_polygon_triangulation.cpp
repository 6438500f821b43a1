// Ear clipping against Boost.Geometry: the triangles cover the polygon
// exactly (their union has the polygon's area and no two overlap), and a
// convex polygon is not cut into the slivers of a fan.
#include "geometry/polygon_triangulation.h"

#include <gtest/gtest.h>

// Boost.Geometry's rescaling trips GCC's flow analysis in this file only.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <boost/geometry.hpp>
#include <boost/geometry/geometries/point_xy.hpp>
#include <boost/geometry/geometries/polygon.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace bg = boost::geometry;
using BPoint = bg::model::d2::point_xy<double>;
using BPolygon = bg::model::polygon<BPoint, false>; // counter-clockwise

namespace {

const double kPi = 3.14159265358979323846;

struct Outline {
    const char* name;
    std::vector<double> xy; // counter-clockwise
};

std::vector<double> regular(int n)
{
    std::vector<double> xy;
    for (int i = 0; i < n; ++i)
        xy.insert(xy.end(), {std::cos(2 * kPi * i / n), std::sin(2 * kPi * i / n)});
    return xy;
}

std::vector<double> star(int points)
{
    std::vector<double> xy;
    for (int i = 0; i < 2 * points; ++i) {
        const double r = i % 2 ? 0.4 : 1.0;
        xy.insert(xy.end(), {r * std::cos(kPi * i / points), r * std::sin(kPi * i / points)});
    }
    return xy;
}

std::vector<double> comb(int teeth)
{
    std::vector<double> xy = {0, 0};
    for (int i = 0; i < teeth; ++i)
        xy.insert(xy.end(), {2.0 * i + 1, 0, 2.0 * i + 1, 3, 2.0 * i + 2, 3, 2.0 * i + 2, 0.5});
    xy.insert(xy.end(), {2.0 * teeth + 1, 0.5, 2.0 * teeth + 1, 4, 0, 4});
    return xy;
}

BPolygon toPolygon(const std::vector<BPoint>& points)
{
    BPolygon p;
    for (const BPoint& q : points)
        bg::append(p.outer(), q);
    bg::append(p.outer(), points.front());
    return p;
}

// Embeds the plane in 3D, tilted, optionally mirrored (a clockwise polygon).
std::vector<double> embed(const std::vector<double>& xy, bool reversed)
{
    std::vector<double> corners;
    const size_t n = xy.size() / 2;
    for (size_t k = 0; k < n; ++k) {
        const size_t i = reversed ? n - 1 - k : k;
        const double x = xy[2 * i], y = xy[2 * i + 1];
        corners.insert(corners.end(), {x, 0.6 * y, 0.8 * y + 5.0});
    }
    return corners;
}

} // namespace

TEST(PolygonTriangulation, TrianglesCoverThePolygonExactly)
{
    const std::vector<Outline> outlines = {
        {"square", {0, 0, 1, 0, 1, 1, 0, 1}},
        {"dart", {0, 0, 2, 1, 0, 2, 0.5, 1}},
        {"l_shape", {0, 0, 2, 0, 2, 1, 1, 1, 1, 2, 0, 2}},
        {"collinear_corner", {0, 0, 1, 0, 2, 0, 2, 1, 0, 1}},
        {"regular_12", regular(12)},
        {"regular_1000", regular(1000)},
        {"star", star(7)},
        {"comb", comb(6)},
    };
    for (const Outline& o : outlines) {
        for (bool reversed : {false, true}) {
            SCOPED_TRACE(std::string(o.name) + (reversed ? " reversed" : ""));
            const std::vector<double> corners = embed(o.xy, reversed);
            const size_t n = corners.size() / 3;
            const std::vector<uint32_t> tri = triangulatePolygon(corners);
            ASSERT_EQ(tri.size(), 3 * (n - 2));
            // Back in the plane of the outline (y from the tilted coordinates).
            std::vector<BPoint> plane(n);
            for (size_t k = 0; k < n; ++k)
                plane[k] = BPoint(corners[3 * k], corners[3 * k + 1] / 0.6);
            std::vector<BPoint> ccw = plane;
            if (reversed)
                std::reverse(ccw.begin(), ccw.end());
            const double area = bg::area(toPolygon(ccw));
            double sum = 0.0;
            std::vector<BPolygon> pieces;
            for (size_t t = 0; t < tri.size(); t += 3) {
                ASSERT_LT(tri[t] , n);
                std::vector<BPoint> p = {plane[tri[t]], plane[tri[t + 1]], plane[tri[t + 2]]};
                if (reversed)
                    std::reverse(p.begin(), p.end());
                pieces.push_back(toPolygon(p));
                const double a = bg::area(pieces.back());
                EXPECT_GE(a, -1e-12 * area) << "triangle " << t / 3 << " turns the wrong way";
                sum += a;
            }
            EXPECT_NEAR(sum, area, 1e-9 * area);
            // Pairwise overlap of neighbours in the output, by intersection area.
            if (n <= 64) {
                for (size_t i = 0; i < pieces.size(); ++i) {
                    for (size_t j = i + 1; j < pieces.size(); ++j) {
                        std::vector<BPolygon> common;
                        bg::intersection(pieces[i], pieces[j], common);
                        double overlap = 0.0;
                        for (const BPolygon& c : common)
                            overlap += bg::area(c);
                        EXPECT_LT(overlap, 1e-9 * area) << i << " " << j;
                    }
                }
            }
        }
    }
}

TEST(PolygonTriangulation, ConvexPolygonIsNotFanned)
{
    // A fan of a regular n-gon has n - 2 triangles whose smallest angle is
    // pi / n. Any triangulation keeps n / 2 such ears along the outline; of
    // the others, most come out wider.
    for (int n : {64, 1000}) {
        SCOPED_TRACE(n);
        const std::vector<double> corners = embed(regular(n), false);
        const std::vector<uint32_t> tri = triangulatePolygon(corners);
        size_t slivers = 0;
        double sum = 0.0;
        for (size_t t = 0; t < tri.size(); t += 3) {
            double smallest = kPi;
            for (int k = 0; k < 3; ++k) {
                const double* a = &corners[3 * tri[t + k]];
                const double* b = &corners[3 * tri[t + (k + 1) % 3]];
                const double* c = &corners[3 * tri[t + (k + 2) % 3]];
                double e1[3], e2[3];
                for (int d = 0; d < 3; ++d) {
                    e1[d] = b[d] - a[d];
                    e2[d] = c[d] - a[d];
                }
                const double dotp = e1[0] * e2[0] + e1[1] * e2[1] + e1[2] * e2[2];
                const double cx = e1[1] * e2[2] - e1[2] * e2[1], cy = e1[2] * e2[0] - e1[0] * e2[2],
                             cz = e1[0] * e2[1] - e1[1] * e2[0];
                smallest = std::min(smallest, std::atan2(std::sqrt(cx * cx + cy * cy + cz * cz), dotp));
            }
            sum += smallest;
            if (smallest < 1.5 * kPi / n)
                ++slivers;
        }
        std::printf("n = %d: %zu slivers of %zu, mean smallest angle %.2f x pi/n\n", n, slivers, tri.size() / 3,
                    sum / double(tri.size() / 3) / (kPi / n));
        EXPECT_LE(slivers, size_t(2 * n / 3));
        EXPECT_GT(sum / double(tri.size() / 3), 1.5 * kPi / n);
    }
}
