#pragma once

// The pieces of the triangle-to-cell coverage rules that the drawing routines
// share: a triangle's span of cells, its shape and reach, and the cell tester
// that runs the centre and edge tests, skipping those whose outcome is
// certain. For triangle_coverage.cpp only.

#include "geometry/predicates.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace coverage_detail {

// The smaller and the larger of two finite values, as plain values, which
// compiles to the processor's min and max instead of branches (the corners
// of small triangles order themselves at random).
inline double lesser(double p, double q) { return q < p ? q : p; }
inline double greater(double p, double q) { return p < q ? q : p; }

// Cell range [first, last] of a triangle spanning [lo, hi] of the unit
// interval on an n-cell axis: first = trunc(n * lo), last = min(n - 1,
// trunc(ceil(n * hi))), clipped to the grid. False when nothing remains.
inline bool cellRange(double lo, double hi, int32_t n, int32_t& first, int32_t& last)
{
    const double cells = n;
    const double a = cells * lo;
    const double b = cells * hi;
    // ceil(b) >= 0 exactly when b > -1.
    if (!(a < cells) || !(b > -1.0))
        return false;
    first = static_cast<int32_t>(greater(a, 0.0));
    // ceil(min(b, n - 1)) = min(ceil(b), n - 1), n - 1 being whole; for c in
    // (-1, n - 1] the ceiling is trunc(c), plus one when that falls short.
    const double c = lesser(b, cells - 1.0);
    const int32_t whole = static_cast<int32_t>(c);
    last = whole + int32_t(double(whole) < c);
    return first <= last;
}

struct TriangleSpan {
    int32_t c0, c1, r0, r1;
    double minX, maxX, minY, maxY;
};

[[gnu::always_inline]] inline bool triangleSpan(const Point2D& a, const Point2D& b, const Point2D& c,
                                                int32_t width, int32_t height, TriangleSpan& span)
{
    // Six independent tests (a NaN fails its own).
    const auto finite = [](double v) { return std::fabs(v) <= std::numeric_limits<double>::max(); };
    if (!(finite(a.x) & finite(a.y) & finite(b.x) & finite(b.y) & finite(c.x) & finite(c.y)))
        return false;
    span.minX = lesser(a.x, lesser(b.x, c.x));
    span.maxX = greater(a.x, greater(b.x, c.x));
    span.minY = lesser(a.y, lesser(b.y, c.y));
    span.maxY = greater(a.y, greater(b.y, c.y));
    return cellRange(span.minX, span.maxX, width, span.c0, span.c1) &&
           cellRange(span.minY, span.maxY, height, span.r0, span.r1);
}

// Direction components at or below this count as zero: their products with a
// cell side underflow, so the crossing test may take its parallel branch.
constexpr double TinyComponent = 1e-290;
// Distances below this (relative to the coordinates' magnitude) are treated
// as unknown; the predicates' rounding stays below 1e-12 of it.
constexpr double RelativeMargin = 1e-9;
// Smallest sine of a triangle angle for which cells beyond an edge line are
// skipped without the centre test.
constexpr double MinAngleSine = 0.02;

// Rows of fewer columns are tested cell by cell: narrowing them to the cells
// that may be covered would cost more than it saves.
constexpr int32_t MinNarrowedColumns = 8;

// The centre test's barycentric weights are only accurate enough to trust
// "clearly outside" when no angle of the triangle is tiny.
[[gnu::always_inline]] inline bool wellShaped(const Point2D& a, const Point2D& b, const Point2D& c)
{
    // All three corners are tested, without branching between them.
    const auto wideAt = [](const Point2D& p, const Point2D& q, const Point2D& r) {
        const double ux = q.x - p.x, uy = q.y - p.y, vx = r.x - p.x, vy = r.y - p.y;
        const double cross = ux * vy - uy * vx;
        return cross * cross > MinAngleSine * MinAngleSine * (ux * ux + uy * uy) * (vx * vx + vy * vy);
    };
    return wideAt(a, b, c) & wideAt(b, c, a) & wideAt(c, a, b);
}

// The magnitude of a span's coordinates, at least 1, for the margins.
inline double spanMagnitude(const TriangleSpan& span)
{
    return greater(greater(1.0, std::fabs(span.minX)),
                   greater(greater(std::fabs(span.maxX), std::fabs(span.minY)), std::fabs(span.maxY)));
}

// How far beyond a well-shaped triangle's box a cell can still be covered:
// only the crossing test's parallel branch reaches out, by at most 0.0142
// times an edge's extent plus the cell's side.
[[gnu::always_inline]] inline double coverageReach(const TriangleSpan& span, double cellWidth, double cellHeight)
{
    return 0.015 * ((span.maxX - span.minX) + (span.maxY - span.minY) + cellWidth + cellHeight) +
           RelativeMargin * spanMagnitude(span);
}

// A triangle edge a->b prepared for the cell tests.
struct EdgeLine {
    Point2D a, b;
    double rx, ry;
    double distanceMargin; // a distance clearly above rounding
    double sideMargin;     // the same for side() values
    double outerSign;      // side() sign away from the opposite corner; 0 when unclear
    bool horizontal;       // parallel, or all but, to horizontal cell edges
    bool vertical;
    bool degenerate;

    // Which side of the line (x, y) is on, times the edge length.
    double side(double x, double y) const { return rx * (y - a.y) - ry * (x - a.x); }

    // Whether segmentsCross(a, b, p, q, tol) can hold for the axis-parallel
    // cell edge p->q whose end points have the side values fp, fq.
    bool mayCross(const Point2D& p, const Point2D& q, double fp, double fq, bool cellEdgeHorizontal) const
    {
        if (cellEdgeHorizontal ? horizontal : vertical) {
            // The parallel branch accepts a start point whose offset from
            // the line is below 0.01415 times its distance along it, and
            // only within the edge's extent plus the cell edge's length.
            const double offset = cellEdgeHorizontal ? p.y - a.y : p.x - a.x;
            const double along = cellEdgeHorizontal ? std::fabs(rx) + (q.x - p.x) : std::fabs(ry) + (q.y - p.y);
            return std::fabs(offset) <= 0.015 * along + distanceMargin;
        }
        // Not parallel: crossing needs the cell edge's ends on both sides.
        return !((fp > sideMargin && fq > sideMargin) || (fp < -sideMargin && fq < -sideMargin));
    }
};

// Tests cells against one triangle.
class CellTester {
public:
    // shapeKnownGood: the caller has already found wellShaped(a, b, c).
    CellTester(const Point2D& a, const Point2D& b, const Point2D& c, double tolerance,
               bool shapeKnownGood = false)
    {
        prepare(a, b, c, tolerance, shapeKnownGood);
    }
    // Left unprepared (and uninitialised, which costs nothing) until prepare().
    CellTester() {}

    void prepare(const Point2D& a, const Point2D& b, const Point2D& c, double tolerance, bool shapeKnownGood)
    {
        corners_[0] = a;
        corners_[1] = b;
        corners_[2] = c;
        tolerance_ = tolerance;
        double magnitude = 1.0;
        for (const Point2D& p : corners_)
            magnitude = std::max(magnitude, std::max(std::fabs(p.x), std::fabs(p.y)));
        for (int e = 0; e < 3; ++e) {
            EdgeLine& line = lines_[e];
            line.a = corners_[e];
            line.b = corners_[(e + 1) % 3];
            line.rx = line.b.x - line.a.x;
            line.ry = line.b.y - line.a.y;
            line.distanceMargin = RelativeMargin * magnitude;
            line.sideMargin = line.distanceMargin * (std::fabs(line.rx) + std::fabs(line.ry));
            line.horizontal = std::fabs(line.ry) <= TinyComponent;
            line.vertical = std::fabs(line.rx) <= TinyComponent;
            line.degenerate = line.rx == 0.0 && line.ry == 0.0;
            const Point2D& opposite = corners_[(e + 2) % 3];
            const double oppositeSide = line.side(opposite.x, opposite.y);
            line.outerSign = oppositeSide > line.sideMargin ? -1.0 : (oppositeSide < -line.sideMargin ? 1.0 : 0.0);
        }
        if (!shapeKnownGood && !wellShaped(a, b, c))
            for (EdgeLine& line : lines_)
                line.outerSign = 0.0;
    }

    // Whether the centre lies inside the triangle or an edge crosses an edge
    // of the cell [x0, x1] x [y0, y1] (the cell edges run left to right and
    // bottom to top).
    bool centreOrCrossing(double x0, double x1, double y0, double y1, const Point2D& centre) const
    {
        double f[3][4]; // side values of the corners (x0,y0), (x1,y0), (x0,y1), (x1,y1)
        bool outside = false;
        bool parallelNear = false;
        for (int e = 0; e < 3; ++e) {
            const EdgeLine& line = lines_[e];
            f[e][0] = line.side(x0, y0);
            f[e][1] = line.side(x1, y0);
            f[e][2] = line.side(x0, y1);
            f[e][3] = line.side(x1, y1);
            const double m = line.sideMargin, o = line.outerSign;
            outside = outside ||
                      (o != 0.0 && o * f[e][0] > m && o * f[e][1] > m && o * f[e][2] > m && o * f[e][3] > m);
            // The parallel branch of the crossing test can accept cell edges
            // near an axis-parallel edge's line even off the triangle.
            if (line.horizontal && !line.degenerate)
                parallelNear = parallelNear || nearParallel(line, y0 - line.a.y, std::fabs(line.rx) + (x1 - x0)) ||
                               nearParallel(line, y1 - line.a.y, std::fabs(line.rx) + (x1 - x0));
            if (line.vertical && !line.degenerate)
                parallelNear = parallelNear || nearParallel(line, x0 - line.a.x, std::fabs(line.ry) + (y1 - y0)) ||
                               nearParallel(line, x1 - line.a.x, std::fabs(line.ry) + (y1 - y0));
        }
        // Wholly beyond one edge line, and away from where the parallel
        // branch could accept a cell edge: nothing of the triangle is here.
        if (outside && !parallelNear)
            return false;
        if (pointInTriangle(centre, corners_[0], corners_[1], corners_[2], 0.0))
            return true;

        const Point2D p00{x0, y0}, p10{x1, y0}, p01{x0, y1}, p11{x1, y1};
        for (int e = 0; e < 3; ++e) {
            const EdgeLine& line = lines_[e];
            if (line.degenerate)
                continue;
            const double* v = f[e];
            const double m = line.sideMargin;
            // All four corners clearly on one side: no cell edge crosses this
            // edge, unless the parallel branch applies.
            if (!line.horizontal && !line.vertical &&
                ((v[0] > m && v[1] > m && v[2] > m && v[3] > m) || (v[0] < -m && v[1] < -m && v[2] < -m && v[3] < -m)))
                continue;
            if ((line.mayCross(p00, p10, v[0], v[1], true) && crosses(line, p00, p10)) ||
                (line.mayCross(p01, p11, v[2], v[3], true) && crosses(line, p01, p11)) ||
                (line.mayCross(p00, p01, v[0], v[2], false) && crosses(line, p00, p01)) ||
                (line.mayCross(p10, p11, v[1], v[3], false) && crosses(line, p10, p11)))
                return true;
        }
        return false;
    }

    // Whether the point lies inside every edge line by the margin, which
    // for a well-shaped triangle makes the centre test certainly true.
    bool clearlyInside(double x, double y) const
    {
        for (const EdgeLine& line : lines_) {
            if (line.outerSign == 0.0 || !(line.outerSign * line.side(x, y) < -line.sideMargin))
                return false;
        }
        return true;
    }

    // The columns [first, last] of [c0, c1] whose cell centres (centreX(col),
    // y) lie clearly inside; first > last when there are none. The centres
    // clearly inside form one run, since each edge line bounds them on one
    // side: the run is estimated from the lines and its two ends are then
    // checked, every cell between them lying inside as well.
    template <class CentreX>
    void clearlyInsideRun(double y, int32_t c0, int32_t c1, double cells, const CentreX& centreX,
                          int32_t& first, int32_t& last) const
    {
        first = 1;
        last = 0;
        double lo = -std::numeric_limits<double>::infinity(), hi = std::numeric_limits<double>::infinity();
        for (const EdgeLine& line : lines_) {
            if (line.outerSign == 0.0)
                return;
            // outerSign * side(x, y) = slope * x + offset must stay below -margin.
            const double slope = -line.outerSign * line.ry;
            const double offset = line.outerSign * (line.rx * (y - line.a.y) + line.ry * line.a.x);
            const double bound = -line.sideMargin - offset;
            if (slope > 0.0)
                hi = std::min(hi, bound / slope);
            else if (slope < 0.0)
                lo = std::max(lo, bound / slope);
            else if (!(offset < -line.sideMargin))
                return;
        }
        if (!(lo < hi))
            return;
        const double from = std::max(std::ceil(lo * cells - 0.5), double(c0));
        const double to = std::min(std::floor(hi * cells - 0.5), double(c1));
        if (!(from <= to))
            return;
        first = static_cast<int32_t>(from);
        last = static_cast<int32_t>(to);
        while (first <= last && !clearlyInside(centreX(first), y))
            ++first;
        while (last >= first && !clearlyInside(centreX(last), y))
            --last;
    }

    // Narrows the columns [first, last] of the row [y0, y1] to those whose
    // cells centreOrCrossing may cover: every column dropped lies clearly
    // beyond one edge line and away from the parallel branch, so the test
    // would reject it at once. cornerX(col) is the cell's left edge, cells
    // are `cells` to the unit. The bounds are estimated from the lines and
    // then checked on the last dropped cell of each side with the test's own
    // expressions: along a row the side value of a line changes monotonically
    // (so does its rounded value), hence a cell beyond the line proves every
    // cell farther out beyond it too.
    template <class CornerX>
    void candidateColumns(double y0, double y1, double cells, const CornerX& cornerX, int32_t& first,
                          int32_t& last) const
    {
        const int32_t c0 = first, c1 = last;
        double lo = -std::numeric_limits<double>::infinity(), hi = std::numeric_limits<double>::infinity();
        const double cell = 1.0 / cells;
        for (const EdgeLine& line : lines_) {
            if (line.outerSign == 0.0 || line.degenerate)
                return;
            // A row near a horizontal edge's line may meet the parallel branch.
            if (line.horizontal && (nearParallel(line, y0 - line.a.y, std::fabs(line.rx) + 2.0 * cell) ||
                                    nearParallel(line, y1 - line.a.y, std::fabs(line.rx) + 2.0 * cell)))
                return;
            // outerSign * side(x, y) = along + rate * (x - a.x) must exceed
            // twice the margin at the cell's nearer corners.
            const double o = line.outerSign;
            const double along = std::min(o * line.rx * (y0 - line.a.y), o * line.rx * (y1 - line.a.y));
            const double rate = -o * line.ry;
            if (rate > 0.0)
                hi = std::min(hi, line.a.x + (2.0 * line.sideMargin - along) / rate);
            else if (rate < 0.0)
                lo = std::max(lo, line.a.x + (2.0 * line.sideMargin - along) / rate - cell);
        }
        // A column index in [c0, c1 + 1] (or c0 - 1) near x; `otherwise`
        // when x is not a number.
        const auto column = [&](double x, int32_t otherwise) {
            const double k = x * cells;
            if (std::isnan(k))
                return otherwise;
            return static_cast<int32_t>(std::floor(std::min(std::max(k, c0 - 1.0), c1 + 1.0)));
        };
        // One column of slack either side of the estimate.
        int32_t f = std::min(std::max(c0, column(lo, c0) - 1), c1 + 1);
        int32_t l = std::max(std::min(c1, column(hi, c1) + 2), c0 - 1);
        // The cells beside a vertical edge's line must stay.
        for (const EdgeLine& line : lines_) {
            if (!line.vertical)
                continue;
            const double band = 0.015 * (std::fabs(line.ry) + (y1 - y0)) + line.distanceMargin + 2.0 * cell;
            f = std::min(f, std::max(c0, column(line.a.x - band, c0)));
            l = std::max(l, std::min(c1, column(line.a.x + band, c1) + 1));
        }
        const auto beyondSome = [&](int32_t col, double sign) {
            const double x0 = cornerX(col), x1 = cornerX(col + 1);
            for (const EdgeLine& line : lines_) {
                const double o = line.outerSign, m = line.sideMargin;
                if (sign * o * line.ry > 0.0 && o * line.side(x0, y0) > m && o * line.side(x1, y0) > m &&
                    o * line.side(x0, y1) > m && o * line.side(x1, y1) > m)
                    return true;
            }
            return false;
        };
        // Left of the row only lines whose outer side lies to the left can
        // hold the dropped cells (their side value falls with x), and
        // conversely on the right.
        if (f > c0 && !beyondSome(f - 1, 1.0))
            f = c0;
        if (l < c1 && !beyondSome(l + 1, -1.0))
            l = c1;
        first = f;
        last = l;
    }

private:
    // The parallel-branch bound of EdgeLine::mayCross for a cell edge at
    // `offset` from the line, with `along` = edge extent plus cell side.
    static bool nearParallel(const EdgeLine& line, double offset, double along)
    {
        return std::fabs(offset) <= 0.015 * along + line.distanceMargin;
    }

    bool crosses(const EdgeLine& line, const Point2D& p, const Point2D& q) const
    {
        return segmentsCross(line.a, line.b, p, q, tolerance_);
    }

    Point2D corners_[3];
    EdgeLine lines_[3];
    double tolerance_;
};

} // namespace coverage_detail
