#pragma once

#include "model/chart.h"
#include "geometry/predicates.h"

#include <cstdint>
#include <utility>
#include <vector>

// Rasterisation of UV triangles into square-indexed grids.
//
// Two coverage rules exist. The occupancy grid of the empty-space search marks
// a cell when its centre lies inside the triangle or a triangle edge crosses a
// cell edge (with a small parameter tolerance, so that touching is not
// crossing). The label grid of the packer and the efficiency measure is more
// generous: a triangle that lies wholly inside a cell labels it as well, and
// crossings are exact. Both grids are row-major, cell (column c, row r) at
// index r * width + c.

// Marks an empty cell of a label grid (the largest int32).
constexpr uint32_t EmptyLabel = 2147483647u;

// Occupancy grid values.
constexpr uint8_t OccupancyEmpty = 0;
constexpr uint8_t OccupancyCovered = 255;

// Parameter tolerance of the occupancy rule's edge test.
constexpr double OccupancySeamTolerance = 0.001;

// Draws one triangle, its corners already mapped into the unit square of the
// grid's box, into an n x n occupancy grid (n * n bytes). Cells are only ever
// set to OccupancyCovered. Triangles with a non-finite corner draw nothing.
void drawOccupancyTriangle(std::vector<uint8_t>& grid, int32_t n, const Point2D& a,
                           const Point2D& b, const Point2D& c);

// A rectangle of grid cells: origin column x, row y, width w, height h.
struct CellRect {
    int32_t x = 0;
    int32_t y = 0;
    int32_t w = 0;
    int32_t h = 0;
};

// A grid cell (column, row).
using CellPos = std::pair<int32_t, int32_t>;
using CellList = std::vector<CellPos>;

// Running result of drawing triangles with one label.
struct LabelStroke {
    uint32_t filled = 0;         // cells that took the label from another value
    int32_t minCol = 2147483647; // extremes of the cells that took the label
    int32_t minRow = 2147483647;
    int32_t maxCol = -2147483647;
    int32_t maxRow = -2147483647;

    bool empty() const { return maxCol < minCol; }
    // Records that cell (col, row) took the label from another value.
    void take(int32_t col, int32_t row)
    {
        ++filled;
        minCol = col < minCol ? col : minCol;
        maxCol = col > maxCol ? col : maxCol;
        minRow = row < minRow ? row : minRow;
        maxRow = row > maxRow ? row : maxRow;
    }
};

// The cell edges k / n (k = 0..n), centres (k + 0.5) / n and side 1 / n of
// an n-cell grid axis, computed once for every triangle drawn into a grid.
struct GridAxis {
    std::vector<double> edges;
    std::vector<double> centres;
    double cell = 0.0;
    explicit GridAxis(int32_t n);
};

// Draws one triangle, corners already in the unit square of the frame (any
// gap shift applied), into a width x height label grid with the label-grid
// coverage rule. Non-finite corners draw nothing.
void drawLabelTriangle(uint32_t* grid, int32_t width, int32_t height, const Point2D& a,
                       const Point2D& b, const Point2D& c, uint32_t label, LabelStroke& stroke);
// The same with the grid's axes given (GridAxis(width), GridAxis(height)).
void drawLabelTriangle(uint32_t* grid, int32_t width, int32_t height, const Point2D& a,
                       const Point2D& b, const Point2D& c, uint32_t label, LabelStroke& stroke,
                       const GridAxis& columns, const GridAxis& rows);

// Draws the triangles of `corners` (triangleCount triples of indices into
// `points`, corners already mapped as for drawLabelTriangle) one after the
// other; a triangle with an index past pointCount is skipped.
void drawLabelTriangles(uint32_t* grid, int32_t width, int32_t height, const Point2D* points, size_t pointCount,
                        const uint32_t* corners, size_t triangleCount, uint32_t label, LabelStroke& stroke,
                        const GridAxis& columns, const GridAxis& rows);

// Draws a whole chart into a shared label grid covering the UV box `frame`
// with width x height cells. The grid must hold at least width * height
// entries (a smaller grid is left untouched). filledOut receives the number of
// cells that took the label from another value, rectOut the chart's cell
// rectangle (all zero when no cell took the label). When boundaryCellsOut is
// given it receives, column by column, the labelled cells on the rectangle's
// border or with a neighbour (of eight, clipped to the grid) holding another
// value; with keepOnlyBoundary the chart's other cells are then emptied. gap
// shifts the chart by gap cells and dilates it gap times.
void rasterizeChart(const Chart& chart, const UVBox& frame, std::vector<uint32_t>& grid,
                    int32_t width, int32_t height, uint32_t label, uint32_t emptyMarker,
                    uint32_t& filledOut, CellRect& rectOut, CellList* boundaryCellsOut,
                    bool keepOnlyBoundary, int32_t gap);
// The same with the grid's axes given (GridAxis(width), GridAxis(height)), for
// callers drawing many charts into one grid.
void rasterizeChart(const Chart& chart, const UVBox& frame, std::vector<uint32_t>& grid,
                    int32_t width, int32_t height, uint32_t label, uint32_t emptyMarker,
                    uint32_t& filledOut, CellRect& rectOut, CellList* boundaryCellsOut,
                    bool keepOnlyBoundary, int32_t gap, const GridAxis& columns, const GridAxis& rows);
