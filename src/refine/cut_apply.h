#pragma once

#include "model/chart.h"
#include "model/iuv_vector.h"
#include "refine/cut_candidate.h"
#include "refine/cutting.h"

#include <cstdint>

// Applying a cut candidate to a chart list: the selected chart (or every
// chart) is cut along both lines, its triangles are sorted into the regions
// below, between and above the lines, and each connected piece becomes a new
// chart. Charts sharing a split 3D edge are repaired so that they keep sharing
// the new 3D vertices on it.

// The cut lines lie this far outside the candidate's lines.
constexpr double CutLineOffset = 0.0001;
// Chart selector value that cuts every chart.
constexpr int32_t CutAllCharts = -1;

// Leaves charts, positions and colours untouched; newPositions / newColours
// receive copies extended by the cuts, firstList and secondList the new charts
// that together (first list first) replace the old list.
void cutChartList(const ChartList& charts, const CutCandidate& candidate,
                  const iuv::DoubleVector& positions, iuv::DoubleVector& newPositions,
                  const iuv::DoubleVector& colours, iuv::DoubleVector& newColours,
                  ChartList& firstList, ChartList& secondList, int32_t selector);

// Cuts one chart along both lines of the candidate and appends its pieces.
void cutChart(const Chart& chart, iuv::DoubleVector& positions, iuv::DoubleVector& colours,
              const CutCandidate& candidate, ChartList& secondList, ChartList& firstList,
              SplitEdgeRegistry& registry);

// Sorts the triangles into connected pieces that are separated only along the
// cut lines, appends them to secondList and moves the last piece to firstList
// when secondList then holds more than one chart.
void splitIntoPieces(const Chart& chart, const CutCandidate& candidate, ChartList& secondList,
                     ChartList& firstList, const CutMask& maskLo, const CutMask& maskHi);

// One repair pass: every triangle (existing when the pass starts) with a
// registered split 3D edge is replaced by a fan through the split points.
// Returns true when it changed the chart.
bool repairTJunctions(Chart& chart, const SplitEdgeRegistry& registry);

// Repeats repairTJunctions until it changes nothing (bounded, so that even a
// corrupt registry cannot keep it going). Returns the number of changing passes.
int repairTJunctionsFully(Chart& chart, const SplitEdgeRegistry& registry);
