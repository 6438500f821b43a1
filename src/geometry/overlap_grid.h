#pragma once

#include "model/chart.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Uniform grid of 32 x 32 cells (or another count) over a UV box. Items (triangles or edges) are
// entered by their bounding boxes into every cell the box touches; a query
// visits, once each, the items of the cells that the query box touches.
// Coordinates that are not finite map to the whole grid along that axis.
class OverlapGrid {
public:
    static constexpr int Cells = 32;

    // cellsPerSide is clamped into [1, 4096].
    OverlapGrid(const UVBox& frame, const std::vector<UVBox>& itemBoxes, int cellsPerSide = Cells);

    // A side for about one item per cell: sqrt(items), at least 32 and at most 512.
    static int sideForItems(size_t items);

    // Returns true when the visitor stopped the query.
    template <typename Visit>
    bool query(const UVBox& box, Visit visit)
    {
        int x0, x1, y0, y1;
        cellRange(box, x0, x1, y0, y1);
        ++stamp_;
        for (int y = y0; y <= y1; ++y) {
            for (int x = x0; x <= x1; ++x) {
                const size_t cell = size_t(y) * size_t(cells_) + size_t(x);
                for (size_t k = cellStart_[cell]; k < cellStart_[cell + 1]; ++k) {
                    const uint32_t item = items_[k];
                    if (seen_[item] == stamp_)
                        continue;
                    seen_[item] = stamp_;
                    if (visit(size_t(item)))
                        return true;
                }
            }
        }
        return false;
    }

private:
    void cellRange(const UVBox& box, int& x0, int& x1, int& y0, int& y1) const;
    int cellOf(double value, double origin, double scale) const;

    int cells_ = Cells;
    double originU_ = 0.0;
    double originV_ = 0.0;
    double scaleU_ = 0.0;
    double scaleV_ = 0.0;
    std::vector<size_t> cellStart_;
    std::vector<uint32_t> items_;
    std::vector<uint64_t> seen_;
    uint64_t stamp_ = 0;
};

// Touching boxes count as intersecting.
inline bool boxesIntersect(const UVBox& a, const UVBox& b)
{
    return a.minU <= b.maxU && b.minU <= a.maxU && a.minV <= b.maxV && b.minV <= a.maxV;
}
