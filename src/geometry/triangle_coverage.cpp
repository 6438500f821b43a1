// The crossing and inside predicates and the two triangle-to-cell coverage
// rules. A cell is tested by its centre (inside the triangle) and by its four
// edges against the triangle's three (segmentsCross); the label grid also
// takes a cell that holds the whole triangle. Cell edges run left to right
// and bottom to top, so neighbouring cells test their shared edge alike.
//
// Most of the twelve edge tests cannot hold for a given cell, and the drawing
// skips those whose outcome is certain: tests against a triangle edge whose
// line passes clearly beside the cell edge; every test of a cell lying clearly
// beyond one edge line of a well-shaped triangle; and cells clearly apart from
// such a triangle's box. "Clearly" means by a margin many orders of magnitude
// above the rounding of the predicates, and the reach of the parallel branch
// of segmentsCross (which accepts nearly collinear cell edges off the line) is
// respected, so the result is the same as running every test. Conversely,
// the cells of a row whose centres lie clearly inside a well-shaped triangle
// form one run that is covered without any test, so a large triangle costs
// time in proportion to its outline rather than its area.
#include "geometry/raster.h"
#include "geometry/predicates.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// The smaller and the larger of two finite values, as plain values, which
// compiles to the processor's min and max instead of branches (the corners
// of small triangles order themselves at random).
double lesser(double p, double q) { return q < p ? q : p; }
double greater(double p, double q) { return p < q ? q : p; }

// Cell range [first, last] of a triangle spanning [lo, hi] of the unit
// interval on an n-cell axis: first = trunc(n * lo), last = min(n - 1,
// trunc(ceil(n * hi))), clipped to the grid. False when nothing remains.
bool cellRange(double lo, double hi, int32_t n, int32_t& first, int32_t& last)
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
double spanMagnitude(const TriangleSpan& span)
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

// Whether every cell of a span of at most 16 cells holds the label (false for
// a larger span).
[[gnu::always_inline]] inline bool spanLabelled(const uint32_t* grid, int32_t width, const TriangleSpan& span,
                                                uint32_t label)
{
    if (span.c1 - span.c0 <= 1 && span.r1 - span.r0 <= 1) {
        // Up to 2 x 2 cells: the corners of the span are all of them.
        const uint32_t* low = grid + static_cast<size_t>(span.r0) * width;
        const uint32_t* high = grid + static_cast<size_t>(span.r1) * width;
        return ((low[span.c0] == label) & (low[span.c1] == label) & (high[span.c0] == label) &
                (high[span.c1] == label)) != 0;
    }
    if ((int64_t(span.c1) - span.c0 + 1) * (int64_t(span.r1) - span.r0 + 1) > 16)
        return false;
    for (int32_t r = span.r0; r <= span.r1; ++r) {
        const uint32_t* row = grid + static_cast<size_t>(r) * width;
        for (int32_t col = span.c0; col <= span.c1; ++col)
            if (row[col] != label)
                return false;
    }
    return true;
}

// Smallest share of an edge's extent that each of its axis components must
// have before cells are ruled out by crossedCells: segmentsCross then stays
// accurate far within the margins against every cell edge.
constexpr double MinAxisShare = 1e-4;

// Whether no edge of the triangle is within MinAxisShare of an axis.
bool clearOfAxes(const Point2D (&corners)[3])
{
    bool clear = true;
    for (int e = 0; e < 3; ++e) {
        const double rx = std::fabs(corners[(e + 1) % 3].x - corners[e].x);
        const double ry = std::fabs(corners[(e + 1) % 3].y - corners[e].y);
        const double least = MinAxisShare * (rx + ry);
        clear = clear && rx > least && ry > least;
    }
    return clear;
}

// The cells of a span of at most 2 x 2 cells that the triangle certainly
// covers because one of its edges crosses a cell edge inside the span: bit
// 2 k + j for the cell in row r0 + k, column c0 + j. A corner clearly on
// either side of the line between the span's columns (or rows) joins one
// on the other side by an edge; where that edge meets the line clearly
// inside one cell's extent, it crosses the edge between the two cells there
// well inside both segments, and segmentsCross finds it for either cell (a
// denominator far from zero, both parameters far from their bounds).
//
// `apart` receives, in the same bits, cells the triangle certainly does not
// cover, for a well-shaped triangle with no edge near an axis: those on the
// far side of a line between the columns (rows) that all corners lie clearly
// on one side of; and, when the triangle meets the line between the columns
// clearly within one row and the line between the rows clearly within one
// column, the cell in neither. Such a cell lies in a quadrant beyond both
// lines whose border the triangle keeps clear of, while some corner lies
// outside it; the triangle, being convex, stays out of it. Its centre is
// then far outside, and no edge crossing is near enough to a segment's end
// for rounding to matter.
uint32_t crossedCells(const Point2D (&corners)[3], const TriangleSpan& span, const double* xEdge,
                      const double* yEdge, bool shapely, uint32_t& apart)
{
    const double margin = RelativeMargin * spanMagnitude(span);
    const int32_t columns = span.c1 - span.c0 + 1, rows = span.r1 - span.r0 + 1;
    uint32_t taken = 0;
    uint32_t beyond = 0;
    int32_t metWithin[2] = {-1, -1}; // the one row (column) both crossings lie clearly in
    // along = 0: the line x = xEdge[c0 + 1] between the columns, met at
    // heights checked against the rows; along = 1 the other way round.
    for (int along = 0; along < 2; ++along) {
        if ((along == 0 ? columns : rows) != 2)
            continue;
        const double line = along == 0 ? xEdge[span.c0 + 1] : yEdge[span.r0 + 1];
        const double* across = along == 0 ? yEdge + span.r0 : xEdge + span.c0;
        const int32_t spans = along == 0 ? rows : columns;
        const auto offset = [&](const Point2D& p) { return (along == 0 ? p.x : p.y) - line; };
        const auto height = [&](const Point2D& p) { return along == 0 ? p.y : p.x; };
        bool clear = true;
        for (const Point2D& p : corners)
            clear = clear && std::fabs(offset(p)) > margin;
        if (!clear)
            continue;
        int crossings = 0;
        uint32_t within = 0;
        bool unclear = false;
        for (int e = 0; e < 3; ++e) {
            const Point2D& p = corners[e];
            const Point2D& q = corners[(e + 1) % 3];
            const double fp = offset(p), fq = offset(q);
            if ((fp < 0.0) == (fq < 0.0))
                continue;
            ++crossings;
            const double met = height(p) + (height(q) - height(p)) * (-fp / (fq - fp));
            bool inside = false;
            for (int32_t k = 0; k < spans; ++k)
                if (met > across[k] + margin && met < across[k + 1] - margin) {
                    taken |= along == 0 ? 3u << (2 * k) : 5u << k;
                    within |= 1u << k;
                    inside = true;
                }
            unclear = unclear || !inside;
        }
        if (crossings == 0) {
            // Every corner on one side: the cells on the other side.
            const int32_t far = offset(corners[0]) < 0.0 ? 1 : 0;
            beyond |= along == 0 ? 5u << far : 3u << (2 * far);
        } else if (!unclear && (within == 1u || within == 2u)) {
            metWithin[along] = within == 1u ? 0 : 1;
        }
    }
    apart = 0;
    if (shapely && (beyond != 0 || (metWithin[0] >= 0 && metWithin[1] >= 0)) && clearOfAxes(corners)) {
        apart = beyond;
        if (metWithin[0] >= 0 && metWithin[1] >= 0)
            apart |= 1u << (2 * (1 - metWithin[0]) + (1 - metWithin[1]));
        apart &= ~taken;
    }
    return taken;
}

} // namespace

void drawOccupancyTriangle(std::vector<uint8_t>& grid, int32_t n, const Point2D& a,
                           const Point2D& b, const Point2D& c)
{
    TriangleSpan span;
    if (n <= 0 || grid.size() < static_cast<size_t>(n) * static_cast<size_t>(n) ||
        !triangleSpan(a, b, c, n, n, span))
        return;
    // Cell corners are k / n; for a power of two that equals k * (1 / n)
    // exactly, which is cheaper.
    const double dn = n, inverse = 1.0 / dn;
    const bool powerOfTwo = (n & (n - 1)) == 0;
    const auto at = [&](double k) { return powerOfTwo ? k * inverse : k / dn; };
    const bool shapely = wellShaped(a, b, c);
    const CellTester tester(a, b, c, OccupancySeamTolerance, shapely);
    // Cells clearly apart from a well-shaped triangle's box stay uncovered.
    const double reach = shapely ? coverageReach(span, inverse, inverse) : std::numeric_limits<double>::infinity();
    for (int32_t r = span.r0; r <= span.r1; ++r) {
        const double y0 = at(r), y1 = at(r + 1), cy = at(r + 0.5);
        if (y0 - span.maxY > reach || span.minY - y1 > reach)
            continue;
        uint8_t* row = grid.data() + static_cast<size_t>(r) * n;
        // Cells whose centre is clearly inside are covered without tests.
        int32_t inFirst = 1, inLast = 0;
        tester.clearlyInsideRun(cy, span.c0, span.c1, dn, [&](int32_t col) { return at(col + 0.5); },
                                inFirst, inLast);
        // Cells clearly beyond an edge line are left out without tests.
        int32_t colFirst = span.c0, colLast = span.c1;
        if (shapely && span.c1 - span.c0 >= MinNarrowedColumns)
            tester.candidateColumns(y0, y1, dn, at, colFirst, colLast);
        if (inFirst <= inLast) {
            colFirst = std::min(colFirst, inFirst);
            colLast = std::max(colLast, inLast);
        }
        for (int32_t col = colFirst; col <= colLast; ++col) {
            if (col == inFirst && inFirst <= inLast) {
                std::fill(row + inFirst, row + inLast + 1, OccupancyCovered);
                col = inLast;
                continue;
            }
            const double x0 = at(col), x1 = at(col + 1);
            if (row[col] != OccupancyCovered && !(x0 - span.maxX > reach || span.minX - x1 > reach) &&
                tester.centreOrCrossing(x0, x1, y0, y1, {at(col + 0.5), cy}))
                row[col] = OccupancyCovered;
        }
    }
}

GridAxis::GridAxis(int32_t n)
{
    if (n <= 0)
        return;
    const double dn = n;
    edges.resize(size_t(n) + 1);
    centres.resize(size_t(n));
    for (int32_t k = 0; k <= n; ++k)
        edges[size_t(k)] = k / dn;
    for (int32_t k = 0; k < n; ++k)
        centres[size_t(k)] = (k + 0.5) / dn;
    cell = 1.0 / dn;
}

void drawLabelTriangle(uint32_t* grid, int32_t width, int32_t height, const Point2D& a,
                       const Point2D& b, const Point2D& c, uint32_t label, LabelStroke& stroke)
{
    if (width <= 0 || height <= 0)
        return;
    drawLabelTriangle(grid, width, height, a, b, c, label, stroke, GridAxis(width), GridAxis(height));
}

namespace {

// The start of drawing a label triangle, which settles most small ones: the
// triangle's span, shape and reach, the span's outer rows and columns beyond
// the reach dropped, and the exit when every cell left holds the label. True
// when nothing remains to draw; otherwise span, shapely and reach are set.
// Inlined into the loop over a chart's triangles.
[[gnu::always_inline]] inline bool settledBySpan(const uint32_t* grid, int32_t width, int32_t height,
                                                 const Point2D& a, const Point2D& b, const Point2D& c,
                                                 uint32_t label, const GridAxis& columns, const GridAxis& rows,
                                                 TriangleSpan& span, bool& shapely, double& reach)
{
    if (!triangleSpan(a, b, c, width, height, span))
        return true;
    const double* xEdge = columns.edges.data();
    const double* yEdge = rows.edges.data();
    // Cells clearly apart from a well-shaped triangle's box stay uncovered.
    shapely = wellShaped(a, b, c);
    reach = shapely ? coverageReach(span, columns.cell, rows.cell) : std::numeric_limits<double>::infinity();
    // The span's outer rows and columns that lie beyond the reach (the cell
    // after the box, as a rule) are dropped, with the very tests the drawing
    // below skips them by: they are never drawn.
    if (shapely) {
        // A small triangle's span has at most one such row or column, at its
        // far end (the cell after the box): it is dropped here without
        // branching. The loops keep the same rows in either order.
        span.r1 -= int32_t(span.r1 > span.r0 && yEdge[span.r1] - span.maxY > reach);
        span.c1 -= int32_t(span.c1 > span.c0 && xEdge[span.c1] - span.maxX > reach);
        while (span.r0 <= span.r1 && span.minY - yEdge[span.r0 + 1] > reach)
            ++span.r0;
        while (span.r1 >= span.r0 && yEdge[span.r1] - span.maxY > reach)
            --span.r1;
        while (span.c0 <= span.c1 && span.minX - xEdge[span.c0 + 1] > reach)
            ++span.c0;
        while (span.c1 >= span.c0 && xEdge[span.c1] - span.maxX > reach)
            --span.c1;
        if (span.r0 > span.r1 || span.c0 > span.c1)
            return true;
    }
    // Every cell drawn lies in the span, and a cell that already holds the
    // label cannot change: a small triangle whose span is all labelled (one
    // among many in a chart's few cells) changes nothing.
    return spanLabelled(grid, width, span, label);
}

// The rest of drawing a label triangle that settledBySpan left unsettled.
void drawUnsettled(uint32_t* grid, int32_t width, int32_t height, const Point2D& a, const Point2D& b,
                   const Point2D& c, uint32_t label, LabelStroke& stroke, const GridAxis& columns,
                   const GridAxis& rows, const TriangleSpan& span, bool shapely, double reach)
{
    const double dw = width, dh = height;
    const double* xEdge = columns.edges.data();
    const double* yEdge = rows.edges.data();
    const double* xCentre = columns.centres.data();
    const double* yCentre = rows.centres.data();
    // A small triangle crossing the edges between the cells of its span
    // (the commonest case in a chart's many triangles) takes the cells on
    // both sides without tests, and leaves those it certainly stays clear
    // of; only the others are tested, each as the loop below would.
    if (span.c1 - span.c0 <= 1 && span.r1 - span.r0 <= 1) {
        const Point2D corners[3] = {a, b, c};
        uint32_t apart = 0;
        const uint32_t taken = crossedCells(corners, span, xEdge, yEdge, shapely, apart);
        CellTester tester;
        bool testerReady = false;
        for (int32_t k = 0; k <= span.r1 - span.r0; ++k)
            for (int32_t j = 0; j <= span.c1 - span.c0; ++j) {
                const int32_t r = span.r0 + k, col = span.c0 + j;
                uint32_t& cell = grid[static_cast<size_t>(r) * width + col];
                const uint32_t bit = 1u << (2 * k + j);
                if (cell == label || (apart & bit))
                    continue;
                if (!(taken & bit)) {
                    const double x0 = xEdge[col], x1 = xEdge[col + 1], y0 = yEdge[r], y1 = yEdge[r + 1];
                    if (y0 - span.maxY > reach || span.minY - y1 > reach || x0 - span.maxX > reach ||
                        span.minX - x1 > reach)
                        continue;
                    const bool boxInside =
                        span.minX >= x0 && span.maxX <= x1 && span.minY >= y0 && span.maxY <= y1;
                    if (!boxInside) {
                        if (!testerReady) {
                            tester.prepare(a, b, c, 0.0, shapely);
                            testerReady = true;
                        }
                        if (!tester.centreOrCrossing(x0, x1, y0, y1, {xCentre[col], yCentre[r]}))
                            continue;
                    }
                }
                cell = label;
                stroke.take(col, r);
            }
        return;
    }
    // Small triangles are mostly settled by the box rule or by cells that
    // already hold the label; the tester is only set up when needed.
    CellTester tester;
    bool testerReady = false;
    const auto prepared = [&]() -> const CellTester& {
        if (!testerReady) {
            tester.prepare(a, b, c, 0.0, shapely);
            testerReady = true;
        }
        return tester;
    };
    const bool wideBox = (span.maxX - span.minX) * dw > 1.5 || (span.maxY - span.minY) * dh > 1.5;
    for (int32_t r = span.r0; r <= span.r1; ++r) {
        const double y0 = yEdge[r], y1 = yEdge[r + 1], cy = yCentre[r];
        if (y0 - span.maxY > reach || span.minY - y1 > reach)
            continue;
        uint32_t* row = grid + static_cast<size_t>(r) * width;
        // Cells whose centre is clearly inside take the label without tests.
        int32_t inFirst = 1, inLast = 0;
        int32_t colFirst = span.c0, colLast = span.c1;
        if (shapely && span.c1 - span.c0 >= 2) {
            prepared().clearlyInsideRun(cy, span.c0, span.c1, dw, [&](int32_t col) { return xCentre[col]; },
                                     inFirst, inLast);
            // Cells clearly beyond an edge line are left out without tests,
            // unless the box rule could take one (a box less than a cell and
            // a half wide and high).
            if (wideBox && span.c1 - span.c0 >= MinNarrowedColumns)
                tester.candidateColumns(y0, y1, dw, [&](int32_t col) { return xEdge[col]; }, colFirst, colLast);
            if (inFirst <= inLast) {
                colFirst = std::min(colFirst, inFirst);
                colLast = std::max(colLast, inLast);
            }
        }
        for (int32_t col = colFirst; col <= colLast; ++col) {
            if (col == inFirst && inFirst <= inLast) {
                int32_t changedFirst = inLast + 1, changedLast = inFirst - 1;
                for (int32_t k = inFirst; k <= inLast; ++k) {
                    if (row[k] != label) {
                        row[k] = label;
                        ++stroke.filled;
                        changedFirst = std::min(changedFirst, k);
                        changedLast = k;
                    }
                }
                if (changedFirst <= changedLast) {
                    stroke.minCol = std::min(stroke.minCol, changedFirst);
                    stroke.maxCol = std::max(stroke.maxCol, changedLast);
                    stroke.minRow = std::min(stroke.minRow, r);
                    stroke.maxRow = std::max(stroke.maxRow, r);
                }
                col = inLast;
                continue;
            }
            // A cell that already holds the label cannot change anything.
            if (row[col] == label)
                continue;
            const double x0 = xEdge[col], x1 = xEdge[col + 1];
            if (x0 - span.maxX > reach || span.minX - x1 > reach)
                continue;
            const bool boxInside =
                span.minX >= x0 && span.maxX <= x1 && span.minY >= y0 && span.maxY <= y1;
            if (!boxInside) {
                if (!prepared().centreOrCrossing(x0, x1, y0, y1, {xCentre[col], cy}))
                    continue;
            }
            row[col] = label;
            stroke.take(col, r);
        }
    }
}

} // namespace

void drawLabelTriangle(uint32_t* grid, int32_t width, int32_t height, const Point2D& a,
                       const Point2D& b, const Point2D& c, uint32_t label, LabelStroke& stroke,
                       const GridAxis& columns, const GridAxis& rows)
{
    TriangleSpan span;
    bool shapely = false;
    double reach = 0.0;
    if (width <= 0 || height <= 0 ||
        settledBySpan(grid, width, height, a, b, c, label, columns, rows, span, shapely, reach))
        return;
    drawUnsettled(grid, width, height, a, b, c, label, stroke, columns, rows, span, shapely, reach);
}

void drawLabelTriangles(uint32_t* grid, int32_t width, int32_t height, const Point2D* points, size_t pointCount,
                        const uint32_t* corners, size_t triangleCount, uint32_t label, LabelStroke& stroke,
                        const GridAxis& columns, const GridAxis& rows)
{
    if (width <= 0 || height <= 0)
        return;
    for (size_t t = 0; t < triangleCount; ++t, corners += 3) {
        const size_t i = corners[0], j = corners[1], k = corners[2];
        if (i >= pointCount || j >= pointCount || k >= pointCount)
            continue;
        TriangleSpan span;
        bool shapely = false;
        double reach = 0.0;
        if (!settledBySpan(grid, width, height, points[i], points[j], points[k], label, columns, rows, span,
                           shapely, reach))
            drawUnsettled(grid, width, height, points[i], points[j], points[k], label, stroke, columns, rows,
                          span, shapely, reach);
    }
}
