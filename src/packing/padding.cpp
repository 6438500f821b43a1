#include "packing/padding.h"

#include <algorithm>
#include <cmath>

uint32_t dilateLabel(std::vector<uint32_t>& grid, int32_t width, int32_t height, uint32_t label,
                     uint32_t emptyMarker, int32_t radius, int32_t x0, int32_t y0, int32_t x1, int32_t y1)
{
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, width - 1);
    y1 = std::min(y1, height - 1);
    if (radius <= 0 || x1 < x0 || y1 < y0 || grid.size() < size_t(width) * size_t(height))
        return 0;
    const int32_t w = x1 - x0 + 1, h = y1 - y0 + 1;
    // Square dilation is separable: first along rows, then along columns,
    // each with a running count of labelled cells in the window.
    std::vector<uint8_t> rows(size_t(w) * size_t(h), 0);
    for (int32_t y = 0; y < h; ++y) {
        const uint32_t* row = grid.data() + size_t(y + y0) * width + x0;
        int32_t inWindow = 0;
        for (int32_t x = 0; x < std::min(radius, w); ++x)
            inWindow += row[x] == label;
        for (int32_t x = 0; x < w; ++x) {
            if (x + radius < w)
                inWindow += row[x + radius] == label;
            if (x - radius - 1 >= 0)
                inWindow -= row[x - radius - 1] == label;
            rows[size_t(y) * w + x] = inWindow > 0;
        }
    }
    uint32_t changed = 0;
    for (int32_t x = 0; x < w; ++x) {
        int32_t inWindow = 0;
        for (int32_t y = 0; y < std::min(radius, h); ++y)
            inWindow += rows[size_t(y) * w + x];
        for (int32_t y = 0; y < h; ++y) {
            if (y + radius < h)
                inWindow += rows[size_t(y + radius) * w + x];
            if (y - radius - 1 >= 0)
                inWindow -= rows[size_t(y - radius - 1) * w + x];
            uint32_t& cell = grid[size_t(y + y0) * width + x + x0];
            if (inWindow > 0 && cell == emptyMarker) {
                cell = label;
                ++changed;
            }
        }
    }
    return changed;
}

int32_t paddingCells(double padding, double sideCells)
{
    if (!(padding > 0.0) || !(sideCells > 0.0))
        return 0;
    const double cells = std::ceil(padding * sideCells / 2.0) + 1.0;
    return cells > 4096.0 ? 4096 : static_cast<int32_t>(cells);
}
