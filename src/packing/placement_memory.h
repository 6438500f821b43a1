#pragma once

#include "packing/atlas.h"

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

// What the last search of one raster shape found, and the atlas state it was
// found on. Exact: `best` is the shape's best placement (none when it fits
// nowhere), scored at pyramid level bestLevel. Otherwise no placement of the
// shape comes before best's score and distance.
struct ShapeMemory {
    uint32_t w = 0, h = 0, filled = 0;
    std::vector<uint64_t> rowBits;
    uint64_t epoch = 0; // the atlas epoch it was found in; 0: nothing remembered
    size_t stampCount = 0;
    int32_t rect[4] = {0, 0, 0, 0};
    bool exact = true;
    PlacementChoice best;
    int32_t bestLevel = 0;
};

// Per raster shape, the last search's finding, so that a later search of the
// same shape on the same atlas only looks where stamps have changed it since.
// Charts of a layout share shapes often (small charts above all).
class PlacementMemory {
public:
    // Forgets everything when too much is remembered (a few ten MiB at
    // most); memories recalled before are invalid after it.
    void beginChart();
    // The memory of the raster's shape; a new one when none is remembered.
    ShapeMemory& recall(const OrientationRaster& o);

private:
    std::unordered_map<uint64_t, ShapeMemory> shapes_;
    size_t words_ = 0; // raster words the shapes hold
};

// tryPlaceChart() with each orientation searched on its own and, where the
// memory knows its shape from an earlier search on this atlas, only where
// stamps have changed the atlas since: the same placement, found faster.
bool tryPlaceChart(Atlas& atlas, ChartOrientations& chart, PlacementMemory& memory);

class SideLane;
// The same with the later half of the orientations shared with `side`, which
// searches with `sideMemory`: the same placement, however the work is shared.
bool tryPlaceChart(Atlas& atlas, ChartOrientations& chart, PlacementMemory& memory, PlacementMemory& sideMemory,
                   SideLane& side);
