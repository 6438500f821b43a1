#include "geometry/overlap_grid.h"

#include <cmath>

int OverlapGrid::sideForItems(size_t items)
{
    const double side = std::ceil(std::sqrt(double(items)));
    return side < Cells ? Cells : (side > 512.0 ? 512 : int(side));
}

OverlapGrid::OverlapGrid(const UVBox& frame, const std::vector<UVBox>& itemBoxes, int cellsPerSide)
    : cells_(cellsPerSide < 1 ? 1 : (cellsPerSide > 4096 ? 4096 : cellsPerSide))
{
    if (!frame.isInverted()) {
        originU_ = frame.minU;
        originV_ = frame.minV;
        const double w = frame.maxU - frame.minU;
        const double h = frame.maxV - frame.minV;
        // A flat or unbounded frame puts everything into the first cell along
        // that axis: slower, but still exact.
        scaleU_ = (w > 0.0 && std::isfinite(w)) ? cells_ / w : 0.0;
        scaleV_ = (h > 0.0 && std::isfinite(h)) ? cells_ / h : 0.0;
    }

    const size_t numCells = size_t(cells_) * cells_;
    std::vector<size_t> counts(numCells + 1, 0);
    std::vector<int> ranges(itemBoxes.size() * 4);
    for (size_t i = 0; i < itemBoxes.size(); ++i) {
        int* r = &ranges[4 * i];
        cellRange(itemBoxes[i], r[0], r[1], r[2], r[3]);
        for (int y = r[2]; y <= r[3]; ++y)
            for (int x = r[0]; x <= r[1]; ++x)
                ++counts[size_t(y) * cells_ + size_t(x)];
    }
    cellStart_.assign(numCells + 1, 0);
    for (size_t c = 0; c < numCells; ++c)
        cellStart_[c + 1] = cellStart_[c] + counts[c];
    items_.resize(cellStart_[numCells]);
    std::vector<size_t> fill(cellStart_.begin(), cellStart_.end() - 1);
    for (size_t i = 0; i < itemBoxes.size(); ++i) {
        const int* r = &ranges[4 * i];
        for (int y = r[2]; y <= r[3]; ++y)
            for (int x = r[0]; x <= r[1]; ++x)
                items_[fill[size_t(y) * cells_ + size_t(x)]++] = uint32_t(i);
    }
    seen_.assign(itemBoxes.size(), 0);
}

int OverlapGrid::cellOf(double value, double origin, double scale) const
{
    const double t = (value - origin) * scale;
    if (!(t >= 0.0))
        return 0;
    if (t >= double(cells_))
        return cells_ - 1;
    return int(t);
}

void OverlapGrid::cellRange(const UVBox& box, int& x0, int& x1, int& y0, int& y1) const
{
    x0 = std::isnan(box.minU) ? 0 : cellOf(box.minU, originU_, scaleU_);
    x1 = std::isnan(box.maxU) ? cells_ - 1 : cellOf(box.maxU, originU_, scaleU_);
    y0 = std::isnan(box.minV) ? 0 : cellOf(box.minV, originV_, scaleV_);
    y1 = std::isnan(box.maxV) ? cells_ - 1 : cellOf(box.maxV, originV_, scaleV_);
}
