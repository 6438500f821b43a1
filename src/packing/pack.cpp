#include "packing/pack.h"

#include "base/console.h"
#include "packing/compaction.h"
#include "packing/orientation_cache.h"
#include "packing/pack_threads.h"
#include "packing/padding.h"
#include "packing/placement_memory.h"
#include "packing/settings.h"
#include "geometry/raster.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <numeric>

namespace {

constexpr double FullTurn = 6.283185307178;
// Charts filling 33 % of a square map that square onto 128 x 128 cells.
constexpr double InverseFillShare = 3.0303030303030303;
constexpr double TargetSide = 128.0;
// Longest side of an orientation raster. The packing scale is lowered when a
// chart would exceed it (a very long chart, or no total area at all), which
// bounds every raster and therefore how far the atlas has to grow.
constexpr int32_t MaxRasterSide = 1024;

double orientationAngle(int32_t k) { return (k % 8) * FullTurn * 0.125; }

// `from` mirrored (u -> -u) when asked, then rotated counter-clockwise about
// the UV origin, into `to` (which may be `from`).
void orientUVs(const iuv::DoubleVector& from, iuv::DoubleVector& to, bool mirror, double angle)
{
    const double c = std::cos(angle), s = std::sin(angle);
    const size_t n = from.size() / 2;
    to.resize(from.size());
    for (size_t i = 0; i < n; ++i) {
        const double u = mirror ? -from[2 * i] : from[2 * i];
        const double v = from[2 * i + 1];
        to[2 * i] = u * c - v * s;
        to[2 * i + 1] = u * s + v * c;
    }
}

bool finiteBox(const UVBox& box)
{
    return !box.isInverted() && std::isfinite(box.width()) && std::isfinite(box.height());
}

double chartSortArea(const Chart& chart)
{
    static const iuv::DoubleVector noPositions;
    const double area = chartArea(chart, noPositions, true);
    return std::isnan(area) ? 0.0 : area;
}

// Cells per UV unit: 128 / sqrt(3.0303... * A), lowered so that no chart in
// any rotation exceeds MaxRasterSide cells (a rotated chart's box side never
// exceeds its box diagonal). Without a usable total area (charts of no area,
// or an area too large for a double) the longest chart diagonal spans 128
// cells instead. `boxes` are the charts' UV boxes.
double packingScale(const std::vector<UVBox>& boxes, double totalArea)
{
    double longest = 0.0;
    for (const UVBox& box : boxes) {
        if (finiteBox(box))
            longest = std::max(longest, std::hypot(box.width(), box.height()));
    }
    if (!(longest > 0.0) || !std::isfinite(longest))
        return 1.0; // only points: every raster is one cell whatever the scale
    double s = TargetSide / std::sqrt(InverseFillShare * totalArea);
    if (!(s > 0.0) || !std::isfinite(s))
        s = TargetSide / longest;
    s = std::min(s, (MaxRasterSide - 1) / longest);
    return std::isfinite(s) && s > 0.0 ? s : 1.0;
}

int32_t rasterSide(double extent, double s)
{
    const double cells = std::ceil(extent * s);
    if (!(cells >= 1.0))
        return 1;
    return cells >= MaxRasterSide ? MaxRasterSide : static_cast<int32_t>(cells);
}

// The raster of one orientation. With a margin of g cells the raster has g
// more cells on every side and the chart is grown by g cells into them, so
// that charts placed without sharing a cell keep 2 g cells apart.
// The UV indices the chart's triangles use (those within its coordinates),
// each once, in the order of first use.
std::vector<size_t> usedUVs(const Chart& chart)
{
    const size_t count = chart.uvCoords2D.size() / 2;
    std::vector<bool> seen(count, false);
    std::vector<size_t> used;
    for (const auto k : chart.triIndicesUV)
        if (size_t(k) < count && !seen[k]) {
            seen[k] = true;
            used.push_back(k);
        }
    return used;
}

// chartUVBounds of a chart whose used UVs are `used`: the box of the same
// points met in the same order (a point met again never changes the box).
UVBox usedUVBounds(const iuv::DoubleVector& uv, const std::vector<size_t>& used)
{
    UVBox box;
    for (size_t k : used)
        box.include(uv[2 * k], uv[2 * k + 1]);
    return box;
}

// The grid axes of the raster sides met so far (a chart's orientations share
// a few sides), built once each.
class AxisShelf {
public:
    const GridAxis& axis(int32_t n)
    {
        for (const GridAxis& a : axes_)
            if (a.centres.size() == size_t(n))
                return a;
        axes_.emplace_back(n);
        return axes_.back();
    }

private:
    std::deque<GridAxis> axes_;
};

// Builds into `o`, whose vectors keep their memory.
void buildOrientation(const Chart& oriented, const UVBox& box, double s, uint32_t label, double angle,
                      int32_t margin, AxisShelf& axes, OrientationRaster& o)
{
    o.angle = angle;
    o.originU = box.minU;
    o.originV = box.minV;
    const int32_t w = rasterSide(box.width(), s) + 2 * margin, h = rasterSide(box.height(), s) + 2 * margin;
    o.w = static_cast<uint32_t>(w);
    o.h = static_cast<uint32_t>(h);
    o.raster.assign(size_t(w) * size_t(h), EmptyLabel);
    const double m = margin / s;
    const UVBox frame(box.minU - m, box.minV - m, box.minU - m + w / s, box.minV - m + h / s);
    CellRect rect;
    rasterizeChart(oriented, frame, o.raster, w, h, label, EmptyLabel, o.filled, rect, nullptr,
                   false, 0, axes.axis(w), axes.axis(h));
    if (margin > 0)
        o.filled += dilateLabel(o.raster, w, h, label, EmptyLabel, margin, 0, 0, w - 1, h - 1);
    collectRasterCells(o, label);
}

// Builds into `result`, which may hold another chart's orientations whose
// memory is reused.
void buildOrientations(const Chart& chart, uint32_t label, int32_t count, double s, int32_t margin,
                       ChartOrientations& result)
{
    result.label = label;
    result.x = 0;
    result.y = 0;
    result.orientation = -1;
    result.orientations.resize(size_t(count));
    // Only the UVs and their triangles are drawn.
    Chart oriented;
    oriented.triIndicesUV = chart.triIndicesUV;
    const std::vector<size_t> used = usedUVs(chart);
    AxisShelf axes;
    for (int32_t k = 0; k < count; ++k) {
        orientUVs(chart.uvCoords2D, oriented.uvCoords2D, k >= 8, orientationAngle(k));
        const UVBox box = usedUVBounds(oriented.uvCoords2D, used);
        buildOrientation(oriented, box, s, label, orientationAngle(k), margin, axes, result.orientations[size_t(k)]);
    }
}

// Processor time of the calling thread since `start`: a packing may run on a
// worker thread next to others, whose time must not count towards it (its
// own helper thread's time is added).
double secondsSince(double start) { return threadProcessorSeconds() - start; }

} // namespace

double packCharts(ChartList& charts, const iuv::DoubleVector& sharedPositions, bool allowMirroring,
                  Atlas& atlas)
{
    (void)sharedPositions; // areas are measured in UV
    if (charts.empty())
        return 0.0;
    if (!atlas.isEmpty())
        resetAtlas(atlas);

    console() << "Packing charts ..." << std::flush;
    const double packStart = threadProcessorSeconds();

    // Largest UV area first; equal areas keep their order.
    std::vector<double> areas(charts.size());
    for (size_t i = 0; i < charts.size(); ++i)
        areas[i] = chartSortArea(charts[i]);
    std::vector<size_t> order(charts.size());
    std::iota(order.begin(), order.end(), size_t(0));
    std::stable_sort(order.begin(), order.end(),
                     [&areas](size_t a, size_t b) { return areas[a] > areas[b]; });
    ChartList sorted;
    sorted.reserve(charts.size());
    double totalArea = 0.0;
    for (size_t i : order) {
        sorted.push_back(std::move(charts[i]));
        totalArea += areas[i]; // NaN areas count as 0; an infinite one makes the sum unusable
    }
    charts = std::move(sorted);

    std::vector<UVBox> boxes(charts.size());
    for (size_t i = 0; i < charts.size(); ++i)
        boxes[i] = chartUVBounds(charts[i]);
    const double s = packingScale(boxes, totalArea);
    const int32_t count = allowMirroring ? 16 : 8;

    // Orientations are built chart by chart, a few charts ahead of the one
    // placed (on a helper thread when there is one), so that only a few
    // charts' rasters are alive at a time. Charts without a finite box (no
    // triangles) take no place and keep their UVs.
    std::vector<size_t> placeable;
    for (size_t i = 0; i < charts.size(); ++i)
        if (finiteBox(boxes[i]))
            placeable.push_back(i);
    const bool helper = packingHelperThreadAllowed();
    OrientationCache* const cache = atlas.orientationCache.get();
    // A chart unchanged since an earlier packing at this scale keeps its rasters.
    const auto orientationsOf = [&](size_t i, int32_t margin, ChartOrientations& into) {
        const auto build = [&](ChartOrientations& built) {
            buildOrientations(charts[i], static_cast<uint32_t>(i), count, s, margin, built);
        };
        if (cache)
            cache->obtain(charts[i], s, margin, count, static_cast<uint32_t>(i), into, build);
        else
            build(into);
    };
    double helperSeconds = 0.0;
    std::vector<ChartOrientations> placed(charts.size());
    // The UV box corner of each chart in its chosen orientation.
    std::vector<std::pair<double, double>> origins(charts.size());
    const auto placeAll = [&](int32_t margin) {
        OrientationFeed feed(
            placeable,
            [&, margin](size_t i, ChartOrientations& into) { orientationsOf(i, margin, into); },
            helper);
        PlacementMemory memory, sideMemory;
        // With a helper, the later half of each chart's orientations is
        // shared with it when it has no chart to build.
        const auto place = [&](ChartOrientations& chart) {
            return helper ? tryPlaceChart(atlas, chart, memory, sideMemory, feed)
                          : tryPlaceChart(atlas, chart, memory);
        };
        for (size_t i : placeable) {
            ChartOrientations orientations = feed.next();
            while (!place(orientations)) {
                console() << "Enlarging atlas." << std::endl;
                enlargeAtlas(atlas);
            }
            placed[i].x = orientations.x;
            placed[i].y = orientations.y;
            placed[i].orientation = orientations.orientation;
            const OrientationRaster& chosen = orientations.orientations[size_t(orientations.orientation)];
            origins[i] = {chosen.originU, chosen.originV};
            feed.retire(std::move(orientations));
        }
        helperSeconds += feed.helperSeconds();
    };
    // With padding the gap must hold against the packed layout's longer
    // side, which is known only once the charts are placed: start from the
    // side charts at the usual fill would take and repack with a wider
    // margin until the layout is no longer than the margin allows.
    int32_t margin = paddingCells(atlasPadding, TargetSide * std::sqrt(InverseFillShare));
    placeAll(margin);
    for (int attempt = 0; margin > 0 && attempt < 8; ++attempt) {
        const double side = std::max(atlas.occupiedRect[2] - atlas.occupiedRect[0] + 1,
                                     atlas.occupiedRect[3] - atlas.occupiedRect[1] + 1);
        const int32_t needed = paddingCells(atlasPadding, side);
        if (needed <= margin)
            break;
        margin = needed;
        resetAtlas(atlas);
        placed.assign(charts.size(), ChartOrientations());
        placeAll(margin);
    }

    for (size_t i = 0; i < charts.size(); ++i) {
        const int32_t o = placed[i].orientation;
        if (o < 0)
            continue;
        Chart& chart = charts[i];
        orientUVs(chart.uvCoords2D, chart.uvCoords2D, allowMirroring && o >= count / 2, orientationAngle(o));
        translateUVs(chart.uvCoords2D, (placed[i].x + margin) / s - origins[i].first,
                     (placed[i].y + margin) / s - origins[i].second);
    }
    console() << "Done. Took " << secondsSince(packStart) + helperSeconds << "s. " << std::endl;

    console() << "Performing packing optimization ..." << std::flush;
    const double compactStart = threadProcessorSeconds();
    const double efficiency = compactCharts(charts);
    console() << "Done. Took " << secondsSince(compactStart) << "s. " << std::endl;
    return efficiency;
}
