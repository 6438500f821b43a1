#pragma once

#include "support/formats.h"
#include "support/run_process.h"
#include "support/test_support.h"

#include <map>
#include <string>
#include <vector>

namespace e2e {

// Path of the program under test and of the bundled examples (set by CMake).
std::string programPath();
std::string examplesDir();
bool programHasGui();

struct BatchRun {
    std::string dir;                      // working directory of the run
    testsupport::ProcessResult result;
};

// Runs "tarnwick MODEL --batchmode [extra...]" in a fresh directory.
BatchRun runBatch(const std::string& model, const std::vector<std::string>& extra = {},
                  const std::vector<std::string>& env = {}, int timeoutSeconds = 600);

// The statistics file of a result family, parsed ("" when missing or invalid).
using Stats = std::vector<std::pair<std::string, std::string>>;
bool readStats(const std::string& path, Stats& stats, std::string& error);
double statValue(const Stats& stats, const std::string& key);

// The bodies of every "//BEGIN STATS" ... "//END STATS" block of a console log.
std::vector<std::string> consoleStatsBlocks(const std::string& console);

// Line number (0-based) of the first console line starting with prefix at or
// after line `from`, or -1.
long findLine(const std::vector<std::string>& lines, const std::string& prefix, long from = 0);
std::vector<std::string> splitLines(const std::string& text);

} // namespace e2e
