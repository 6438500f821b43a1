#pragma once

#include "model/model.h"
#include "packing/atlas.h"

// Cuts every UV edge between an overlapping and a non-overlapping triangle and
// appends the resulting pieces.
void splitOffOverlaps(const Chart& chart, ChartList& out);

// Replaces the chart list: with trivialSplit by the pieces of splitOffOverlaps
// of every chart, otherwise by the output of removeOverlapsBySegmentation.
void removeOverlapsPlain(ChartList& charts, const iuv::UIntVector& coneSingularities,
                         const iuv::DoubleVector& sharedPositions, bool seamSeparating, bool trivialSplit);

// Splits every chart in which triangles overlap with positive area
// (findAreaOverlapPairs) into pieces free of such overlaps, in place of the
// chart: each piece grows through shared UV edges and takes no triangle that
// overlaps one it already holds. Charts without overlaps stay as they are.
// Returns true when a chart was split. The pieces still lie on top of each
// other; packing separates them.
bool separateOverlappingTriangles(ChartList& charts);

// The overlap-removal stages on the model, without display update or result
// files (the pipeline adds those).
// Plain removal: split off overlapping triangles, segment what still overlaps,
// separate what overlaps after that, pack without mirroring. Does nothing on
// an empty chart list.
void runTrivialOverlapRemoval(Model& model, Atlas& atlas);
// Full removal: flip repair, UV components, segmentation (seam-separating when
// the model has cones), separation of remaining overlaps, pack without
// mirroring when any of these changed the chart list, compact. Prints the
// "Model with/without singularities" line.
void runOverlapRemoval(Model& model, Atlas& atlas);
