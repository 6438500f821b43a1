#pragma once

#include "model/chart.h"
#include "model/iuv_vector.h"

#include <string>

// Parsing step: reads the file once into memory and builds one chart per OBJ
// shape (polygons cut into triangles by ear clipping, UV vertices renumbered
// compactly per shape), the positions and the per-vertex colours, and the cone
// singularities of its "c N" lines (0-based; numbers outside 1..vertex count
// are skipped with a warning). Prints "Successfully loaded." and "Read N
// parts, ..." on success. A file that cannot be read (missing, not a regular
// file, ...) or used (malformed statements, non-finite coordinates, indices
// naming nothing, mixed texturing, faces that repeat a vertex or have too many
// corners) prints its reason and "Failed to load/parse .obj." and returns
// false with the outputs empty; refusal then receives the reason for a
// message box.
bool loadOBJ(const std::string& filename, ChartList& charts, iuv::DoubleVector& sharedPositions,
             iuv::DoubleVector& vertexColors, iuv::UIntVector* coneSingularities = nullptr,
             std::string* refusal = nullptr);

// True when a triangle of the chart repeats a vertex or its 3D area vanishes
// against its own size.
bool hasDegenerateTriangle(const Chart& chart, const iuv::DoubleVector& positions);
