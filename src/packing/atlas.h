#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The packer's occupancy pyramid. Level 0 holds chart labels (or the empty
// marker); level L >= 1 holds per cell the number of free level-0 cells in
// the block under it.
struct Atlas {
    static constexpr uint32_t EmptyMarker = 2147483647u;

    std::vector<std::vector<uint32_t>> levels;
    std::vector<int32_t> widths;
    std::vector<int32_t> heights;
    int32_t occupiedRect[4]; // minX, minY, maxX, maxY

    Atlas(int32_t width = 384, int32_t height = 384);

    bool isEmpty() const { return occupiedRect[0] == 2147483647; }
    int32_t blockFactor(size_t level) const { return widths[0] / widths[level]; }
};

void resetAtlas(Atlas& atlas);
int32_t growthCost(const Atlas& atlas, int32_t x, int32_t y, int32_t w, int32_t h);
void enlargeAtlas(Atlas& atlas);
