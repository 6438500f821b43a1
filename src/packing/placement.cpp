#include "packing/placement_search.h"

namespace placement_detail {

bool placeOnEmptyAtlas(Atlas& atlas, ChartOrientations& chart)
{
    const int32_t w0 = atlas.widths[0], h0 = atlas.heights[0];
    int32_t bestK = -1;
    uint64_t bestArea = 0;
    for (size_t k = 0; k < chart.orientations.size(); ++k) {
        const OrientationRaster& o = chart.orientations[k];
        const int64_t w = o.w, h = o.h;
        if (w0 / 2 - w / 2 + w > w0 || h0 / 2 - h / 2 + h > h0)
            continue;
        const uint64_t area = uint64_t(w) * uint64_t(h);
        if (bestK < 0 || area < bestArea) {
            bestK = static_cast<int32_t>(k);
            bestArea = area;
        }
    }
    if (bestK < 0)
        return false;
    const OrientationRaster& o = chart.orientations[bestK];
    PlacementChoice choice;
    choice.found = true;
    choice.orientation = bestK;
    choice.x = w0 / 2 - static_cast<int32_t>(o.w / 2);
    choice.y = h0 / 2 - static_cast<int32_t>(o.h / 2);
    applyPlacement(atlas, chart, choice);
    return true;
}

void applyPlacement(Atlas& atlas, ChartOrientations& chart, const PlacementChoice& choice)
{
    chart.x = choice.x;
    chart.y = choice.y;
    chart.orientation = choice.orientation;
    stampRaster(atlas, chart.orientations[size_t(choice.orientation)], chart.label, chart.x, chart.y);
}

} // namespace placement_detail

using namespace placement_detail;

bool tryPlaceChart(Atlas& atlas, ChartOrientations& chart, bool pruneByCost)
{
    if (chart.orientations.empty())
        return false;
    if (atlas.isEmpty())
        return placeOnEmptyAtlas(atlas, chart);
    PlacementSearch search(atlas, pruneByCost);
    for (size_t k = 0; k < chart.orientations.size(); ++k)
        search.searchOrientation(static_cast<int32_t>(k), chart.orientations[k]);
    const PlacementChoice choice = search.choice();
    if (!choice.found)
        return false;
    applyPlacement(atlas, chart, choice);
    return true;
}
