#pragma once

#include <string>
#include <vector>

struct CommandLine {
    bool showUsage = false;  // no argument at all
    bool showHelp = false;   // "--help": usage with every option
    std::string modelFile;   // the model to load
    bool batchMode = false;  // "--batchmode"
    bool square = false;     // "--square"

    // Batch runs for asset pipelines.
    std::string outputDir;   // "--output DIR": folder of the result files ("" = working folder)
    std::string coneFile;    // "--cones FILE": cone vertex numbers added to the model's own
    double padding = 0.0;     // "--padding P": texels between charts
    double resolution = 1024; // "--resolution R": texture side the padding refers to
    std::string meshFormat;  // "--format obj|glb" ("" = glb for glTF input, obj otherwise)
    std::string textureFile; // "--texture FILE": texture of the input layout ("" = none)
    bool powerOfTwo = false; // "--pot": texture sides are powers of two
    double texelScale = 1.0; // "--texel-scale S": output texel density relative to the input's
    unsigned threads = 0;    // "--threads N": refinement threads (0 = one per hardware thread)

    // Unknown options, reported on standard error and otherwise ignored.
    std::vector<std::string> warnings;
    // A malformed option value: the run is refused with this message (exit 2).
    std::string error;
};

// args[0] is the program path. Options may stand before or after the model
// file; the model file is the first argument that is not an option or an
// option's value, or, when every argument is one, the first argument.
CommandLine parseCommandLine(const std::vector<std::string>& args);

// "Usage:" and the synopsis line, each ended with a line end.
std::string usageText(const std::string& programPath);

// The usage text followed by one line per option with its default.
std::string helpText(const std::string& programPath);
