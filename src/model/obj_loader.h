#pragma once

#include "model/chart.h"
#include "model/model.h"

#include <functional>
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

enum class LoadStatus {
    Loaded,      // the model holds the loaded, split (and packed) charts
    ParseFailed, // the file could not be read or parsed; the chart list is empty
    Rejected     // the input was refused (several charts, degenerate, not flattenable)
};

// Called with the title and text of a refusal before its console line, so that
// an interactive caller can show its message box.
using RejectionNotifier = std::function<void(const std::string& title, const std::string& text)>;

// The model load: parse, read cones, check for a single chart, flatten when
// untextured, normalise, split into UV components and (repack) pack into a
// fresh 384 x 384 atlas. The display update is left to the caller.
LoadStatus loadModel(const std::string& filename, bool repack, Model& model,
                     const RejectionNotifier& notify);
