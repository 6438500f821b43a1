#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

// The packer's occupancy pyramid. Level 0 holds chart labels (or the empty
// marker); level L >= 1 holds per cell the number of free level-0 cells in
// the block under it.
//
// Every level halves the one below exactly, so the block of a level-L cell is
// 2^L x 2^L level-0 cells: the constructor uses as many levels as the size
// allows (8 for 384 x 384) but stops early when a side would not halve evenly.
struct Atlas {
    static constexpr uint32_t EmptyMarker = 2147483647u;

    std::vector<std::vector<uint32_t>> levels;
    std::vector<int32_t> widths;
    std::vector<int32_t> heights;
    int32_t occupiedRect[4]; // minX, minY, maxX, maxY

    Atlas(int32_t width = 384, int32_t height = 384);

    bool isEmpty() const { return occupiedRect[0] == 2147483647; }
    int32_t blockFactor(size_t level) const { return widths[0] / widths[level]; }
    size_t topLevel() const { return levels.size() - 1; }
    uint32_t label(int32_t x, int32_t y) const { return levels[0][size_t(y) * widths[0] + x]; }
};

// Largest level-0 side that enlargeAtlas produces; beyond it enlarging throws
// std::length_error (packing never needs it: its rasters are bounded).
constexpr int32_t MaxAtlasSide = 8192;

void resetAtlas(Atlas& atlas);
int32_t growthCost(const Atlas& atlas, int32_t x, int32_t y, int32_t w, int32_t h);
void enlargeAtlas(Atlas& atlas);

// One orientation of a chart rasterised at the packing scale.
struct OrientationRaster {
    double angle = 0.0;                 // radians, counter-clockwise
    std::vector<uint32_t> raster;       // w x h cells: the chart's label or the empty marker
    uint32_t w = 0;
    uint32_t h = 0;
    uint32_t filled = 0;                // cells the chart covers
    std::vector<std::pair<int32_t, int32_t>> boundaryCells; // chart cells next to an empty cell
    std::vector<std::pair<int32_t, int32_t>> chartCells;    // every chart cell, column by column
};

// Fills boundaryCells and chartCells from the raster (scanning x, then y).
// Only neighbours inside the raster count.
void collectRasterCells(OrientationRaster& orientation, uint32_t label);

// All orientations of one chart and the placement chosen for it.
struct ChartOrientations {
    uint32_t label = 0;
    std::vector<OrientationRaster> orientations;
    int32_t x = 0;            // level-0 cell of the raster's cell (0, 0)
    int32_t y = 0;
    int32_t orientation = -1; // chosen orientation, -1 while unplaced
};

// Searches the placement of the chart (coarse to fine from the top level),
// stamps the best orientation and records it. False when it fits nowhere.
// pruneByCost skips candidates whose cost already rules them out; the result
// is the same either way (the exhaustive search exists for comparison).
bool tryPlaceChart(Atlas& atlas, ChartOrientations& chart, bool pruneByCost = true);

// Writes the raster's chart cells at (x, y) into level 0, counts them off the
// upper levels and grows occupiedRect by the whole raster box.
void stampRaster(Atlas& atlas, const OrientationRaster& orientation, uint32_t label, int32_t x,
                 int32_t y);
