// Ear clipping: the triangles add up to the polygon, all turn its way, no two overlap (by Boost.Geometry's
// areas), and a regular polygon is not cut into the slivers of a fan.
#include "geometry/polygon_triangulation.h"

#include "support/uv_coverage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

namespace {

const double kPi = 3.14159265358979323846;

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

// The outline laid isometrically into a tilted plane in 3D, optionally reversed; xy gets it in corner order.
std::vector<double> embed(const std::vector<double>& outline, bool reversed, std::vector<double>& xy)
{
    std::vector<double> corners;
    const size_t n = outline.size() / 2;
    for (size_t k = 0; k < n; ++k) {
        const size_t i = reversed ? n - 1 - k : k;
        corners.insert(corners.end(), {outline[2 * i], 0.6 * outline[2 * i + 1], 0.8 * outline[2 * i + 1] + 5.0});
        xy.insert(xy.end(), {outline[2 * i], outline[2 * i + 1]});
    }
    return corners;
}

// Twice the signed area of triangle (a, b, c) of the plane points xy.
double cross(const std::vector<double>& xy, uint32_t a, uint32_t b, uint32_t c)
{
    return (xy[2 * b] - xy[2 * a]) * (xy[2 * c + 1] - xy[2 * a + 1]) - (xy[2 * c] - xy[2 * a]) * (xy[2 * b + 1] - xy[2 * a + 1]);
}

} // namespace

TEST(PolygonTriangulation, TrianglesCoverThePolygonExactly)
{
    const std::vector<std::pair<const char*, std::vector<double>>> outlines = {
        {"square", {0, 0, 1, 0, 1, 1, 0, 1}},
        {"dart", {0, 0, 2, 1, 0, 2, 0.5, 1}},
        {"l_shape", {0, 0, 2, 0, 2, 1, 1, 1, 1, 2, 0, 2}},
        {"collinear_corner", {0, 0, 1, 0, 2, 0, 2, 1, 0, 1}},
        {"regular_12", regular(12)},
        {"regular_64", regular(64)},
        {"regular_1000", regular(1000)},
        {"star", star(7)},
        {"comb", comb(6)},
    };
    for (const auto& [name, outline] : outlines) {
        for (bool reversed : {false, true}) {
            SCOPED_TRACE(std::string(name) + (reversed ? " reversed" : ""));
            std::vector<double> xy;
            const std::vector<double> corners = embed(outline, reversed, xy);
            const size_t n = xy.size() / 2;
            const std::vector<uint32_t> tri = triangulatePolygon(corners);
            ASSERT_EQ(tri.size(), 3 * (n - 2));
            double area = 0.0; // the shoelace formula, signed like the outline
            for (size_t k = 0; k < n; ++k)
                area += xy[2 * k] * xy[2 * ((k + 1) % n) + 1] - xy[2 * ((k + 1) % n)] * xy[2 * k + 1];
            double sum = 0.0, smallestSum = 0.0;
            size_t slivers = 0;
            for (size_t t = 0; t < tri.size(); t += 3) {
                ASSERT_TRUE(tri[t] < n && tri[t + 1] < n && tri[t + 2] < n);
                const double a = cross(xy, tri[t], tri[t + 1], tri[t + 2]);
                EXPECT_GE(a * area, -1e-12 * area * area) << "triangle " << t / 3 << " turns the wrong way";
                sum += a;
                double smallest = kPi;
                for (int k = 0; k < 3; ++k) {
                    const uint32_t p = tri[t + k], q = tri[t + (k + 1) % 3], r = tri[t + (k + 2) % 3];
                    const double dot = (xy[2 * q] - xy[2 * p]) * (xy[2 * r] - xy[2 * p]) +
                                       (xy[2 * q + 1] - xy[2 * p + 1]) * (xy[2 * r + 1] - xy[2 * p + 1]);
                    smallest = std::min(smallest, std::atan2(std::fabs(cross(xy, p, q, r)), dot));
                }
                smallestSum += smallest;
                slivers += smallest < 1.5 * kPi / n;
            }
            EXPECT_NEAR(sum, area, 1e-9 * std::fabs(area));
            // A fan of a regular n-gon has n - 2 triangles whose smallest angle is pi / n. Any
            // triangulation keeps n / 2 such ears along the outline; of the others, most come out wider.
            if (std::string(name).rfind("regular", 0) == 0 && n > 12) {
                EXPECT_LE(slivers, size_t(2 * n / 3));
                EXPECT_GT(smallestSum / double(n - 2), 1.5 * kPi / n);
            }
            if (n <= 64) {
                const testsupport::UVCoverage c = testsupport::uvCoverage(xy, tri);
                EXPECT_LT(c.overlapArea, 1e-9 * c.summedArea);
            }
        }
    }
}
