#pragma once

// The geometric predicates of the overlap tests and of the rasterisers.

// Margin used by the triangle overlap test, both on barycentric weights and
// on segment parameters.
constexpr double OverlapTolerance = 0.001;

struct UVPoint {
    double u;
    double v;
};

// All three barycentric weights of p with respect to (a, b, c) exceed 0.001.
// Points on an edge or at a vertex, and any point of a degenerate triangle,
// are not inside.
bool pointStrictlyInTriangle(UVPoint p, UVPoint a, UVPoint b, UVPoint c);

// Segment p1p2 against q1q2. Collinear segments intersect when q1 or q2 lies
// strictly inside p1p2; otherwise both line parameters must lie in
// [tolerance, 1 - tolerance).
bool segmentsIntersect(UVPoint p1, UVPoint p2, UVPoint q1, UVPoint q2, double tolerance);

struct Point2D {
    double x;
    double y;
};

// Barycentric inside test: true when each of the three weights of p with
// respect to a, b, c is above -tolerance. With tolerance 0, points on an edge
// are outside. A degenerate triangle contains nothing.
bool pointInTriangle(const Point2D& p, const Point2D& a, const Point2D& b, const Point2D& c,
                     double tolerance);

// True when segment a->b crosses segment c->d: the intersection parameters s
// (along a->b) and t (along c->d) satisfy s >= tol, s + tol < 1, t >= tol and
// t + tol < 1. Parallel segments cross only when c lies on the line of a->b
// (absolute cosine above 0.9999) and c or d lies strictly inside a->b.
bool segmentsCross(const Point2D& a, const Point2D& b, const Point2D& c, const Point2D& d,
                   double tolerance);


// Distances below this share of the longer side of the two shapes' common box
// count as touching in the area-overlap and proper-crossing tests, so that
// rounding along shared edges and vertices is not taken for overlap.
constexpr double AreaOverlapMargin = 1e-9;

// True when the interiors of triangles a and b (either orientation) share a
// region of positive area: no edge line of either separates them. Triangles
// that only touch at a vertex or along an edge, and triangles without area,
// do not overlap.
bool trianglesOverlapWithArea(const UVPoint a[3], const UVPoint b[3]);

// True when segments p1p2 and q1q2 cross transversally at a point inside
// both: each has its end points strictly on opposite sides of the other's
// line. Touching (an end point on the other segment) and collinear runs do
// not count.
bool segmentsCrossProperly(UVPoint p1, UVPoint p2, UVPoint q1, UVPoint q2);
