#pragma once

#include "model/model.h"

#include <functional>
#include <string>

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
