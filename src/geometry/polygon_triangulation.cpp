#include "geometry/polygon_triangulation.h"

#include <algorithm>
#include <cmath>

namespace {

struct Vec3 {
    double x, y, z;
};

Vec3 sub(const Vec3& a, const Vec3& b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

double dot(const Vec3& a, const Vec3& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

Vec3 cross(const Vec3& a, const Vec3& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

double length(const Vec3& a)
{
    return std::sqrt(dot(a, a));
}

// Angle at a between a->b and a->c (0 for a degenerate corner).
double angleAt(const Vec3& a, const Vec3& b, const Vec3& c)
{
    const Vec3 e1 = sub(b, a), e2 = sub(c, a);
    return std::atan2(length(cross(e1, e2)), dot(e1, e2));
}

double smallestAngle(const Vec3& a, const Vec3& b, const Vec3& c)
{
    return std::min(angleAt(a, b, c), std::min(angleAt(b, c, a), angleAt(c, a, b)));
}

struct P2 {
    double x, y;
};

double orient(const P2& a, const P2& b, const P2& c)
{
    return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
}

// p inside or on the boundary of the counter-clockwise triangle abc.
bool insideOrOn(const P2& p, const P2& a, const P2& b, const P2& c)
{
    return orient(a, b, p) >= 0.0 && orient(b, c, p) >= 0.0 && orient(c, a, p) >= 0.0;
}

bool samePoint(const P2& a, const P2& b)
{
    return a.x == b.x && a.y == b.y;
}

class EarClipper {
public:
    explicit EarClipper(const std::vector<double>& corners) : n_(corners.size() / 3)
    {
        points_.resize(n_);
        for (size_t i = 0; i < n_; ++i)
            points_[i] = {corners[3 * i], corners[3 * i + 1], corners[3 * i + 2]};
        project();
        prev_.resize(n_);
        next_.resize(n_);
        for (size_t i = 0; i < n_; ++i) {
            prev_[i] = static_cast<uint32_t>((i + n_ - 1) % n_);
            next_[i] = static_cast<uint32_t>((i + 1) % n_);
        }
        alive_.assign(n_, true);
        quality_.assign(n_, 0.0);
        kind_.assign(n_, Kind::Other);
        for (size_t i = 0; i < n_; ++i)
            classify(static_cast<uint32_t>(i));
    }

    std::vector<uint32_t> run()
    {
        std::vector<uint32_t> triangles;
        triangles.reserve(3 * (n_ - 2));
        size_t remaining = n_;
        while (remaining > 3) {
            const uint32_t v = pick();
            const uint32_t a = prev_[v], b = next_[v];
            triangles.insert(triangles.end(), {a, v, b});
            alive_[v] = false;
            next_[a] = b;
            prev_[b] = a;
            --remaining;
            classify(a);
            classify(b);
        }
        uint32_t v = 0;
        while (!alive_[v])
            ++v;
        triangles.insert(triangles.end(), {prev_[v], v, next_[v]});
        return triangles;
    }

private:
    enum class Kind { Ear, Convex, Other };

    // Plane coordinates, turned so that the polygon runs counter-clockwise.
    void project()
    {
        Vec3 normal{0.0, 0.0, 0.0};
        for (size_t i = 0; i < n_; ++i) {
            const Vec3& p = points_[i];
            const Vec3& q = points_[(i + 1) % n_];
            normal.x += (p.y - q.y) * (p.z + q.z);
            normal.y += (p.z - q.z) * (p.x + q.x);
            normal.z += (p.x - q.x) * (p.y + q.y);
        }
        const double ax = std::fabs(normal.x), ay = std::fabs(normal.y), az = std::fabs(normal.z);
        plane_.resize(n_);
        for (size_t i = 0; i < n_; ++i) {
            const Vec3& p = points_[i];
            if (az >= ax && az >= ay)
                plane_[i] = {p.x, normal.z >= 0.0 ? p.y : -p.y};
            else if (ax >= ay)
                plane_[i] = {p.y, normal.x >= 0.0 ? p.z : -p.z};
            else
                plane_[i] = {p.z, normal.y >= 0.0 ? p.x : -p.x};
        }
    }

    void classify(uint32_t v)
    {
        const uint32_t a = prev_[v], b = next_[v];
        quality_[v] = smallestAngle(points_[a], points_[v], points_[b]);
        if (!(orient(plane_[a], plane_[v], plane_[b]) > 0.0)) {
            kind_[v] = Kind::Other;
            return;
        }
        kind_[v] = Kind::Ear;
        // No other remaining corner may lie in the ear (corners at the same
        // point as one of its own do not block it).
        for (uint32_t w = next_[b]; w != a; w = next_[w]) {
            const P2& p = plane_[w];
            if (samePoint(p, plane_[a]) || samePoint(p, plane_[v]) || samePoint(p, plane_[b]))
                continue;
            if (insideOrOn(p, plane_[a], plane_[v], plane_[b])) {
                kind_[v] = Kind::Convex;
                return;
            }
        }
    }

    // The best free ear; else the best convex corner; else the best corner.
    uint32_t pick() const
    {
        uint32_t best[3] = {kNone, kNone, kNone};
        for (uint32_t v = 0; v < n_; ++v) {
            if (!alive_[v])
                continue;
            const int k = kind_[v] == Kind::Ear ? 0 : kind_[v] == Kind::Convex ? 1 : 2;
            if (best[k] == kNone || quality_[v] > quality_[best[k]])
                best[k] = v;
        }
        return best[0] != kNone ? best[0] : best[1] != kNone ? best[1] : best[2];
    }

    static constexpr uint32_t kNone = 0xffffffffu;
    size_t n_;
    std::vector<Vec3> points_;
    std::vector<P2> plane_;
    std::vector<uint32_t> prev_, next_;
    std::vector<bool> alive_;
    std::vector<double> quality_;
    std::vector<Kind> kind_;
};

} // namespace

std::vector<uint32_t> triangulatePolygon(const std::vector<double>& corners)
{
    const size_t n = corners.size() / 3;
    if (n < 3)
        return {};
    if (n == 3)
        return {0, 1, 2};
    return EarClipper(corners).run();
}
