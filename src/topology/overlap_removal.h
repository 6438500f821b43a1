#pragma once

#include "model/model.h"
#include "packing/atlas.h"

// The overlap-removal stages on the model, without display update or result
// files (the pipeline adds those).
// Plain removal: split off overlapping triangles, segment what still overlaps,
// pack without mirroring. Does nothing on an empty chart list.
void runTrivialOverlapRemoval(Model& model, Atlas& atlas);
// Full removal: flip repair, UV components, segmentation (seam-separating when
// the model has cones), pack without mirroring when something was segmented,
// compact. Prints the "Model with/without singularities" line.
void runOverlapRemoval(Model& model, Atlas& atlas);
