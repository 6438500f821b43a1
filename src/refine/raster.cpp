#include "refine/raster.h"

#include <algorithm>
#include <cmath>

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

bool finitePoint(const Point2D& p) { return std::isfinite(p.x) && std::isfinite(p.y); }

// Cell range [first, last] of a triangle spanning [lo, hi] of the unit
// interval on an n-cell axis: first = trunc(n * lo), last = min(n - 1,
// trunc(ceil(n * hi))), clipped to the grid. False when nothing remains.
bool cellRange(double lo, double hi, int32_t n, int32_t& first, int32_t& last)
{
    const double a = n * lo;
    const double b = std::ceil(n * hi);
    if (!(a < n) || !(b >= 0.0))
        return false;
    first = a <= 0.0 ? 0 : static_cast<int32_t>(a);
    last = b >= n - 1 ? n - 1 : static_cast<int32_t>(b);
    return first <= last;
}

struct TriangleSpan {
    int32_t c0, c1, r0, r1;
    double minX, maxX, minY, maxY;
};

bool triangleSpan(const Point2D& a, const Point2D& b, const Point2D& c, int32_t width,
                  int32_t height, TriangleSpan& span)
{
    if (!finitePoint(a) || !finitePoint(b) || !finitePoint(c))
        return false;
    span.minX = std::min(a.x, std::min(b.x, c.x));
    span.maxX = std::max(a.x, std::max(b.x, c.x));
    span.minY = std::min(a.y, std::min(b.y, c.y));
    span.maxY = std::max(a.y, std::max(b.y, c.y));
    return cellRange(span.minX, span.maxX, width, span.c0, span.c1) &&
           cellRange(span.minY, span.maxY, height, span.r0, span.r1);
}

// True when one of the triangle's edges crosses one of the four edges of the
// cell square [x0, x1] x [y0, y1].
bool edgesCrossCell(const Point2D tri[3], double x0, double x1, double y0, double y1,
                    double tolerance)
{
    const Point2D p00{x0, y0}, p10{x1, y0}, p01{x0, y1}, p11{x1, y1};
    for (int e = 0; e < 3; ++e) {
        const Point2D& a = tri[e];
        const Point2D& b = tri[(e + 1) % 3];
        if (segmentsCross(a, b, p00, p10, tolerance) || segmentsCross(a, b, p01, p11, tolerance) ||
            segmentsCross(a, b, p00, p01, tolerance) || segmentsCross(a, b, p10, p11, tolerance))
            return true;
    }
    return false;
}

} // namespace

void drawOccupancyTriangle(std::vector<uint8_t>& grid, int32_t n, const Point2D& a,
                           const Point2D& b, const Point2D& c)
{
    TriangleSpan span;
    if (n <= 0 || grid.size() < static_cast<size_t>(n) * static_cast<size_t>(n) ||
        !triangleSpan(a, b, c, n, n, span))
        return;
    const Point2D tri[3] = {a, b, c};
    const double dn = n;
    for (int32_t r = span.r0; r <= span.r1; ++r) {
        const double y0 = r / dn, y1 = (r + 1) / dn;
        uint8_t* row = grid.data() + static_cast<size_t>(r) * n;
        for (int32_t col = span.c0; col <= span.c1; ++col) {
            if (row[col] == OccupancyCovered)
                continue;
            const Point2D centre{(col + 0.5) / dn, (r + 0.5) / dn};
            if (pointInTriangle(centre, a, b, c, 0.0) ||
                edgesCrossCell(tri, col / dn, (col + 1) / dn, y0, y1, OccupancySeamTolerance))
                row[col] = OccupancyCovered;
        }
    }
}

void drawLabelTriangle(uint32_t* grid, int32_t width, int32_t height, const Point2D& a,
                       const Point2D& b, const Point2D& c, uint32_t label, LabelStroke& stroke)
{
    TriangleSpan span;
    if (width <= 0 || height <= 0 || !triangleSpan(a, b, c, width, height, span))
        return;
    const Point2D tri[3] = {a, b, c};
    const double dw = width, dh = height;
    for (int32_t r = span.r0; r <= span.r1; ++r) {
        const double y0 = r / dh, y1 = (r + 1) / dh;
        uint32_t* row = grid + static_cast<size_t>(r) * width;
        for (int32_t col = span.c0; col <= span.c1; ++col) {
            // A cell that already holds the label cannot change anything.
            if (row[col] == label)
                continue;
            const double x0 = col / dw, x1 = (col + 1) / dw;
            const bool boxInside =
                span.minX >= x0 && span.maxX <= x1 && span.minY >= y0 && span.maxY <= y1;
            const Point2D centre{(col + 0.5) / dw, (r + 0.5) / dh};
            if (!boxInside && !pointInTriangle(centre, a, b, c, 0.0) &&
                !edgesCrossCell(tri, x0, x1, y0, y1, 0.0))
                continue;
            row[col] = label;
            ++stroke.filled;
            stroke.minCol = std::min(stroke.minCol, col);
            stroke.maxCol = std::max(stroke.maxCol, col);
            stroke.minRow = std::min(stroke.minRow, r);
            stroke.maxRow = std::max(stroke.maxRow, r);
        }
    }
}

namespace {

// Dilation pass number `pass` (from 1): every empty cell with the label among
// its eight neighbours (as they were before the pass) takes the label. The
// stroke's extremes stay those of the triangles; the cell rectangle adds the
// gap itself.
void dilateOnce(uint32_t* grid, int32_t width, int32_t height, uint32_t label, uint32_t emptyMarker,
                int32_t pass, LabelStroke& stroke)
{
    const int32_t x0 = std::max(stroke.minCol - pass, 0), x1 = std::min(stroke.maxCol + pass, width - 1);
    const int32_t y0 = std::max(stroke.minRow - pass, 0), y1 = std::min(stroke.maxRow + pass, height - 1);
    CellList grown;
    for (int32_t y = y0; y <= y1; ++y) {
        for (int32_t x = x0; x <= x1; ++x) {
            if (grid[static_cast<size_t>(y) * width + x] != emptyMarker)
                continue;
            bool touches = false;
            for (int32_t ny = std::max(y - 1, 0); ny <= std::min(y + 1, height - 1) && !touches; ++ny)
                for (int32_t nx = std::max(x - 1, 0); nx <= std::min(x + 1, width - 1); ++nx)
                    if (grid[static_cast<size_t>(ny) * width + nx] == label) {
                        touches = true;
                        break;
                    }
            if (touches)
                grown.emplace_back(x, y);
        }
    }
    for (const CellPos& p : grown) {
        grid[static_cast<size_t>(p.second) * width + p.first] = label;
        ++stroke.filled;
    }
}

bool hasForeignNeighbour(const uint32_t* grid, int32_t width, int32_t height, int32_t x, int32_t y,
                         uint32_t label)
{
    for (int32_t ny = std::max(y - 1, 0); ny <= std::min(y + 1, height - 1); ++ny)
        for (int32_t nx = std::max(x - 1, 0); nx <= std::min(x + 1, width - 1); ++nx)
            if (grid[static_cast<size_t>(ny) * width + nx] != label)
                return true;
    return false;
}

} // namespace

void rasterizeChart(const Chart& chart, const UVBox& frame, std::vector<uint32_t>& grid,
                    int32_t width, int32_t height, uint32_t label, uint32_t emptyMarker,
                    uint32_t& filledOut, CellRect& rectOut, CellList* boundaryCellsOut,
                    bool keepOnlyBoundary, int32_t gap)
{
    filledOut = 0;
    rectOut = CellRect();
    if (boundaryCellsOut)
        boundaryCellsOut->clear();
    if (width <= 0 || height <= 0 ||
        grid.size() < static_cast<size_t>(width) * static_cast<size_t>(height))
        return;
    // Beyond the grid's larger side further dilation passes change nothing.
    gap = std::min(std::max(gap, 0), std::max(width, height));

    const double frameW = frame.maxU - frame.minU;
    const double frameH = frame.maxV - frame.minV;
    const double shiftU = static_cast<double>(gap) / width;
    const double shiftV = static_cast<double>(gap) / height;
    const size_t numUV = chart.uvCoords2D.size() / 2;
    const size_t numCorners = chart.triIndicesUV.size() / 3 * 3;
    const double* uv = chart.uvCoords2D.data();
    uint32_t* cells = grid.data();

    LabelStroke stroke;
    for (size_t t = 0; t < numCorners; t += 3) {
        Point2D p[3];
        bool valid = true;
        for (int i = 0; i < 3; ++i) {
            const size_t k = chart.triIndicesUV[t + i];
            if (k >= numUV) {
                valid = false;
                break;
            }
            p[i] = {(uv[2 * k] - frame.minU) / frameW + shiftU,
                    (uv[2 * k + 1] - frame.minV) / frameH + shiftV};
        }
        if (valid)
            drawLabelTriangle(cells, width, height, p[0], p[1], p[2], label, stroke);
    }
    for (int32_t pass = 1; pass <= gap && !stroke.empty(); ++pass)
        dilateOnce(cells, width, height, label, emptyMarker, pass, stroke);

    filledOut = stroke.filled;
    if (stroke.empty())
        return;

    const int64_t x = std::max<int64_t>(int64_t(stroke.minCol) - gap, 0);
    const int64_t y = std::max<int64_t>(int64_t(stroke.minRow) - gap, 0);
    rectOut.x = static_cast<int32_t>(x);
    rectOut.y = static_cast<int32_t>(y);
    rectOut.w = static_cast<int32_t>(std::min<int64_t>(stroke.maxCol + int64_t(gap) - x + 1, width - x));
    rectOut.h = static_cast<int32_t>(std::min<int64_t>(stroke.maxRow + int64_t(gap) - y + 1, height - y));
    if (!boundaryCellsOut)
        return;

    const int32_t xEnd = rectOut.x + rectOut.w, yEnd = rectOut.y + rectOut.h;
    for (int32_t cx = rectOut.x; cx < xEnd; ++cx) {
        for (int32_t cy = rectOut.y; cy < yEnd; ++cy) {
            if (cells[static_cast<size_t>(cy) * width + cx] != label)
                continue;
            const bool onBorder =
                cx == rectOut.x || cx == xEnd - 1 || cy == rectOut.y || cy == yEnd - 1;
            if (onBorder || hasForeignNeighbour(cells, width, height, cx, cy, label))
                boundaryCellsOut->emplace_back(cx, cy);
        }
    }
    if (!keepOnlyBoundary)
        return;
    for (int32_t cy = rectOut.y; cy < yEnd; ++cy) {
        uint32_t* row = cells + static_cast<size_t>(cy) * width;
        for (int32_t cx = rectOut.x; cx < xEnd; ++cx)
            if (row[cx] == label)
                row[cx] = emptyMarker;
    }
    for (const CellPos& p : *boundaryCellsOut)
        cells[static_cast<size_t>(p.second) * width + p.first] = label;
}
