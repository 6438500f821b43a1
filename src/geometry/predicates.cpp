#include "geometry/predicates.h"

#include <cmath>

namespace {

double dot(UVPoint a, UVPoint b) { return a.u * b.u + a.v * b.v; }
UVPoint sub(UVPoint a, UVPoint b) { return {a.u - b.u, a.v - b.v}; }
double length(UVPoint a) { return std::sqrt(dot(a, a)); }

} // namespace

bool pointStrictlyInTriangle(UVPoint p, UVPoint a, UVPoint b, UVPoint c)
{
    const UVPoint e1 = sub(b, a);
    const UVPoint e2 = sub(c, a);
    const UVPoint w = sub(p, a);
    const double d11 = dot(e1, e1);
    const double d12 = dot(e1, e2);
    const double d22 = dot(e2, e2);
    const double w1 = dot(w, e1);
    const double w2 = dot(w, e2);
    const double denom = d11 * d22 - d12 * d12;
    const double beta = (w1 * d22 - w2 * d12) / denom;
    const double gamma = (w2 * d11 - w1 * d12) / denom;
    const double alpha = 1.0 - beta - gamma;
    return alpha > OverlapTolerance && beta > OverlapTolerance && gamma > OverlapTolerance;
}

bool segmentsIntersect(UVPoint p1, UVPoint p2, UVPoint q1, UVPoint q2, double tolerance)
{
    const UVPoint d = sub(p2, p1);
    const UVPoint e = sub(q2, q1);
    const double cross = d.u * e.v - d.v * e.u;
    if (cross == 0.0) {
        // Parallel: apart unless q lies on the line of p. The direction to q1
        // says nothing when q1 coincides with p1; q2 is asked then.
        UVPoint w = sub(q1, p1);
        if (w.u == 0.0 && w.v == 0.0)
            w = sub(q2, p1);
        const double cosine = std::fabs(dot(d, w)) / (length(d) * length(w));
        if (!(cosine > 0.9999))
            return false;
        const bool q1Inside = dot(d, sub(q1, p1)) > 0.0 && dot(d, sub(q1, p2)) < 0.0;
        const bool q2Inside = dot(d, sub(q2, p1)) > 0.0 && dot(d, sub(q2, p2)) < 0.0;
        return q1Inside || q2Inside;
    }
    const UVPoint pq = sub(q1, p1);
    const double t = (pq.u * e.v - pq.v * e.u) / cross;
    const UVPoint x = {p1.u + t * d.u, p1.v + t * d.v};
    const double u = dot(sub(x, p1), d) / dot(d, d);
    const double v = dot(sub(x, q1), e) / dot(e, e);
    return tolerance <= u && u < 1.0 - tolerance && tolerance <= v && v < 1.0 - tolerance;
}

bool pointInTriangle(const Point2D& p, const Point2D& a, const Point2D& b, const Point2D& c,
                     double tolerance)
{
    const double e1x = b.x - a.x, e1y = b.y - a.y;
    const double e2x = c.x - a.x, e2y = c.y - a.y;
    const double ex = p.x - a.x, ey = p.y - a.y;
    const double d11 = e1x * e1x + e1y * e1y;
    const double d12 = e1x * e2x + e1y * e2y;
    const double d22 = e2x * e2x + e2y * e2y;
    const double d1 = e1x * ex + e1y * ey;
    const double d2 = e2x * ex + e2y * ey;
    const double det = d11 * d22 - d12 * d12;
    // A degenerate triangle would give infinite or undefined weights, which
    // never all pass the test; say so without dividing by zero.
    if (det == 0.0 || !std::isfinite(det))
        return false;
    const double k = 1.0 / det;
    const double wc = (d2 * d11 - d1 * d12) * k;
    const double wb = (d1 * d22 - d2 * d12) * k;
    const double wa = 1.0 - wb - wc;
    return wa > -tolerance && wb > -tolerance && wc > -tolerance;
}

bool segmentsCross(const Point2D& a, const Point2D& b, const Point2D& c, const Point2D& d,
                   double tolerance)
{
    const double rx = b.x - a.x, ry = b.y - a.y;
    const double qx = d.x - c.x, qy = d.y - c.y;
    const double acx = c.x - a.x, acy = c.y - a.y;
    const double denom = rx * qy - ry * qx;
    if (denom == 0.0) {
        // Parallel: only collinear overlaps count. A zero-length segment or c
        // on a has no defined angle and never counts.
        const double rr = rx * rx + ry * ry;
        const double lenR = std::sqrt(rr);
        const double lenAC = std::sqrt(acx * acx + acy * acy);
        if (lenR == 0.0 || lenAC == 0.0)
            return false;
        const double cosine = (rx * acx + ry * acy) / (lenR * lenAC);
        if (!(std::fabs(cosine) > 0.9999))
            return false;
        const double tc = (acx * rx + acy * ry) / rr;
        const double td = ((d.x - a.x) * rx + (d.y - a.y) * ry) / rr;
        return (tc > 0.0 && tc < 1.0) || (td > 0.0 && td < 1.0);
    }
    const double s = (acx * qy - acy * qx) / denom;
    const double t = (acx * ry - acy * rx) / denom;
    return s >= tolerance && s + tolerance < 1.0 && t >= tolerance && t + tolerance < 1.0;
}


namespace {

double orient(UVPoint a, UVPoint b, UVPoint c)
{
    return (b.u - a.u) * (c.v - a.v) - (c.u - a.u) * (b.v - a.v);
}

// The longer side of the common box of n points.
double commonExtent(const UVPoint* points, int n)
{
    double minU = points[0].u, maxU = points[0].u, minV = points[0].v, maxV = points[0].v;
    for (int i = 1; i < n; ++i) {
        minU = std::fmin(minU, points[i].u);
        maxU = std::fmax(maxU, points[i].u);
        minV = std::fmin(minV, points[i].v);
        maxV = std::fmax(maxV, points[i].v);
    }
    return std::fmax(maxU - minU, maxV - minV);
}

// True when the line of edge `from`->`to` of a triangle with orientation sign
// `sign` has all of `others` on its outer side or within `margin` of it.
bool edgeSeparates(UVPoint from, UVPoint to, double sign, const UVPoint others[3], double margin)
{
    const double reach = margin * length(sub(to, from));
    for (int j = 0; j < 3; ++j)
        if (sign * orient(from, to, others[j]) > reach)
            return false;
    return true;
}

} // namespace

bool trianglesOverlapWithArea(const UVPoint a[3], const UVPoint b[3])
{
    const UVPoint all[6] = {a[0], a[1], a[2], b[0], b[1], b[2]};
    for (const UVPoint& p : all)
        if (!std::isfinite(p.u) || !std::isfinite(p.v))
            return false;
    const double margin = AreaOverlapMargin * commonExtent(all, 6);
    const double areaA = orient(a[0], a[1], a[2]);
    const double areaB = orient(b[0], b[1], b[2]);
    // Twice the area over the longest side is the triangle's smallest height.
    const auto longest = [](const UVPoint t[3]) {
        return std::fmax(length(sub(t[1], t[0])), std::fmax(length(sub(t[2], t[1])), length(sub(t[0], t[2]))));
    };
    if (!(std::fabs(areaA) > margin * longest(a)) || !(std::fabs(areaB) > margin * longest(b)))
        return false;
    const double signA = areaA > 0.0 ? 1.0 : -1.0;
    const double signB = areaB > 0.0 ? 1.0 : -1.0;
    for (int i = 0; i < 3; ++i) {
        if (edgeSeparates(a[i], a[(i + 1) % 3], signA, b, margin) ||
            edgeSeparates(b[i], b[(i + 1) % 3], signB, a, margin))
            return false;
    }
    return true;
}

bool segmentsCrossProperly(UVPoint p1, UVPoint p2, UVPoint q1, UVPoint q2)
{
    const UVPoint all[4] = {p1, p2, q1, q2};
    const double margin = AreaOverlapMargin * commonExtent(all, 4);
    const double lp = length(sub(p2, p1)), lq = length(sub(q2, q1));
    const double o1 = orient(p1, p2, q1), o2 = orient(p1, p2, q2);
    const double o3 = orient(q1, q2, p1), o4 = orient(q1, q2, p2);
    const auto strictlyApart = [](double x, double y, double reach) {
        return (x > reach && y < -reach) || (x < -reach && y > reach);
    };
    return strictlyApart(o1, o2, margin * lp) && strictlyApart(o3, o4, margin * lq);
}
