#pragma once

#include <cstdint>
#include <vector>

// Grows the cells holding `label` by `radius` cells in every direction,
// diagonals included (a square of side 2 radius + 1 around each of them),
// within the cell rectangle [x0, x1] x [y0, y1] of a width x height label
// grid. Only cells holding `emptyMarker` change. Returns how many did.
uint32_t dilateLabel(std::vector<uint32_t>& grid, int32_t width, int32_t height, uint32_t label,
                     uint32_t emptyMarker, int32_t radius, int32_t x0, int32_t y0, int32_t x1, int32_t y1);

// Cells by which every chart is grown on a raster whose longer side spans
// `sideCells` cells, so that two grown charts that do not share a cell keep
// at least `padding` times that side between them (one cell more for the
// cells a triangle only touches). 0 when padding is not positive.
int32_t paddingCells(double padding, double sideCells);
