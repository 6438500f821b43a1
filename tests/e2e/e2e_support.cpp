#include "e2e_support.h"

#include <cstdlib>
#include <sstream>

namespace e2e {

std::string programPath() { return TARNWICK_PROGRAM; }
std::string examplesDir() { return TARNWICK_EXAMPLES; }
bool programHasGui() { return TARNWICK_PROGRAM_HAS_GUI != 0; }

BatchRun runBatch(const std::string& model, const std::vector<std::string>& extra,
                  const std::vector<std::string>& env, int timeoutSeconds)
{
    BatchRun run;
    run.dir = testsupport::makeTempDir("tarnwick_e2e");
    std::vector<std::string> args = {model, "--batchmode"};
    args.insert(args.end(), extra.begin(), extra.end());
    run.result = testsupport::runProcess(programPath(), args, run.dir, env, timeoutSeconds);
    return run;
}

bool readStats(const std::string& path, Stats& stats, std::string& error)
{
    const std::string text = testsupport::readTextFile(path);
    if (text.empty()) {
        error = "missing or empty: " + path;
        return false;
    }
    return testsupport::parseFlatJSON(text, stats, error);
}

double statValue(const Stats& stats, const std::string& key)
{
    for (const auto& f : stats) {
        if (f.first == key)
            return std::strtod(f.second.c_str(), nullptr);
    }
    return -1.0;
}

std::vector<std::string> splitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

std::vector<std::string> consoleStatsBlocks(const std::string& console)
{
    std::vector<std::string> blocks;
    const std::vector<std::string> lines = splitLines(console);
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i] != "//BEGIN STATS")
            continue;
        std::string body;
        size_t j = i + 1;
        for (; j < lines.size() && lines[j] != "//END STATS"; ++j)
            body += lines[j] + "\n";
        blocks.push_back(body);
        i = j;
    }
    return blocks;
}

long findLine(const std::vector<std::string>& lines, const std::string& prefix, long from)
{
    for (size_t i = static_cast<size_t>(from < 0 ? 0 : from); i < lines.size(); ++i) {
        if (lines[i].compare(0, prefix.size(), prefix) == 0)
            return static_cast<long>(i);
    }
    return -1;
}

} // namespace e2e
