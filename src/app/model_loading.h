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

// What a load takes besides the model file.
struct LoadOptions {
    // A cone file (readConeFile): 1-based vertex numbers of the model file
    // (for glTF the file's vertices, primitives one after another), added to
    // the cones the file names itself. A bad cone file refuses the load.
    std::string coneFile;
};

// The model load: parse, read cones, check for a single chart, flatten when
// untextured, normalise, split into UV components and (repack) pack into a
// fresh 384 x 384 atlas. The display update is left to the caller. refusal,
// when given, receives the console line of a failed or refused load.
LoadStatus loadModel(const std::string& filename, bool repack, Model& model,
                     const RejectionNotifier& notify, const LoadOptions& options = LoadOptions(),
                     std::string* refusal = nullptr);

// The load from the single chart of a model filled by the caller (positions,
// colours, cones, one chart with or without UVs): the checks and steps of
// loadModel after parsing. refusal as for loadModel.
LoadStatus prepareModel(Model& model, bool repack, const RejectionNotifier& notify,
                        std::string* refusal = nullptr);
