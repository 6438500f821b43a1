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
#include "geometry/triangle_cells.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

using namespace coverage_detail;

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

// The cell tester of one triangle, set up when first asked for: small
// triangles are mostly settled by the box rule or by cells that already hold
// the label.
class LazyTester {
public:
    LazyTester(const Point2D& a, const Point2D& b, const Point2D& c, bool shapely)
        : a_(a), b_(b), c_(c), shapely_(shapely)
    {
    }
    const CellTester& get()
    {
        if (!ready_) {
            tester_.prepare(a_, b_, c_, 0.0, shapely_);
            ready_ = true;
        }
        return tester_;
    }

private:
    const Point2D &a_, &b_, &c_;
    const bool shapely_;
    bool ready_ = false;
    CellTester tester_;
};

// Whether the label rule takes the cell [x0, x1] x [y0, y1]: the triangle's
// box lies inside it, or its centre or an edge crossing is found.
bool cellCovered(const TriangleSpan& span, LazyTester& tester, double x0, double x1, double y0, double y1,
                 const Point2D& centre)
{
    const bool boxInside = span.minX >= x0 && span.maxX <= x1 && span.minY >= y0 && span.maxY <= y1;
    return boxInside || tester.get().centreOrCrossing(x0, x1, y0, y1, centre);
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
        LazyTester tester(a, b, c, shapely);
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
                    if (!cellCovered(span, tester, x0, x1, y0, y1, {xCentre[col], yCentre[r]}))
                        continue;
                }
                cell = label;
                stroke.take(col, r);
            }
        return;
    }
    LazyTester tester(a, b, c, shapely);
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
            tester.get().clearlyInsideRun(cy, span.c0, span.c1, dw, [&](int32_t col) { return xCentre[col]; },
                                          inFirst, inLast);
            // Cells clearly beyond an edge line are left out without tests,
            // unless the box rule could take one (a box less than a cell and
            // a half wide and high).
            if (wideBox && span.c1 - span.c0 >= MinNarrowedColumns)
                tester.get().candidateColumns(y0, y1, dw, [&](int32_t col) { return xEdge[col]; }, colFirst,
                                              colLast);
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
            if (!cellCovered(span, tester, x0, x1, y0, y1, {xCentre[col], cy}))
                continue;
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
