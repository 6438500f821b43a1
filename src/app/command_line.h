#pragma once

#include <string>
#include <vector>

struct CommandLine {
    bool showUsage = false;  // no model file given
    std::string modelFile;   // the first argument, whatever it says
    bool batchMode = false;  // "--batchmode" among the later arguments
    bool square = false;     // "--square" among the later arguments
};

// args[0] is the program path. Unknown later arguments are ignored.
CommandLine parseCommandLine(const std::vector<std::string>& args);

// "Usage:" and the synopsis line, each ended with a line end.
std::string usageText(const std::string& programPath);
