#pragma once

#include "model/chart.h"
#include "model/stats.h"

#include <mutex>

// The statistics of a layout: counts, flips, overlaps (triangles overlapping
// with positive area, within a chart or between charts, and boundary edges
// crossing), efficiency and normalised boundary length.
UnwrappingStats computeStats(const ChartList& charts, const iuv::DoubleVector& sharedPositions);

// computeStats that remembers its last layout: asked again for a layout
// equal bit for bit (charts and positions), it returns the statistics it
// computed for it. The pipeline asks for the same layout's statistics several
// times between changes (display, statistics file, stage report). Safe to
// use from several threads.
class StatsCache {
public:
    UnwrappingStats get(const ChartList& charts, const iuv::DoubleVector& sharedPositions);

private:
    std::mutex mutex_;
    bool valid_ = false;
    ChartList charts_;
    iuv::DoubleVector positions_;
    UnwrappingStats stats_;
};
