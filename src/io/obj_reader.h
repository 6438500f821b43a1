#pragma once

#include "model/chart.h"
#include "model/iuv_vector.h"

#include <string>

// Parsing step: one chart per OBJ shape (UV vertices renumbered compactly per
// shape), the positions and the per-vertex colours. Prints the parser's error
// text on standard error and the "Failed to load/parse .obj." /
// "Successfully loaded." / "Read N parts, ..." lines. Returns false when the
// file cannot be parsed or is unusable (indices out of range, non-finite
// numbers, no faces); the outputs are then empty.
bool loadOBJ(const std::string& filename, ChartList& charts, iuv::DoubleVector& sharedPositions,
             iuv::DoubleVector& vertexColors);

// Reads the cone singularity lines "c N" of the file (0-based results). Lines
// whose number is not in 1..vertexCount are ignored with a warning.
iuv::UIntVector readConeSingularities(const std::string& filename, size_t vertexCount);

// True when a triangle of the chart repeats a vertex or its 3D area vanishes
// against its own size.
bool hasDegenerateTriangle(const Chart& chart, const iuv::DoubleVector& positions);
