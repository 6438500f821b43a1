// Coordinates survive the whole batch bit for bit, and a batch run told to
// stop by a signal ends at a safe point with no half-written file.
#include "e2e_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <sstream>

using namespace e2e;

namespace {

// The "v" coordinates of an OBJ text, read with strtod (not the program's reader).
std::vector<double> objPositions(const std::string& text)
{
    std::vector<double> values;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string keyword, word;
        words >> keyword;
        for (int k = 0; keyword == "v" && k < 3 && words >> word; ++k)
            values.push_back(std::strtod(word.c_str(), nullptr));
    }
    return values;
}

// The names in dir that contain part.
std::vector<std::string> namesContaining(const std::string& dir, const std::string& part)
{
    std::vector<std::string> names;
    for (const std::string& name : filesIn(dir))
        if (name.find(part) != std::string::npos)
            names.push_back(name);
    return names;
}

} // namespace

// A 1-mm grid near (123456, 654321): every result OBJ starts with the input's
// vertices, bit-identical.
TEST(ExactCoordinates, FarFromTheOriginThroughTheWholeBatch)
{
    const testsupport::TempDir modelDir("tarnwick_exact");
    const int n = 6;
    std::string text;
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
            text += "v 123456.00" + std::to_string(i) + " 654321.00" +
                    std::to_string(j) + " 0.25\n";
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
            text += "vt " + std::to_string(i) + " " + std::to_string(j) + "\n";
    for (int j = 0; j + 1 < n; ++j) {
        for (int i = 0; i + 1 < n; ++i) {
            const int a = j * n + i + 1, b = a + 1, c = a + n + 1, d = a + n;
            text += "f " + std::to_string(a) + "/" + std::to_string(a) + " " + std::to_string(b) + "/" +
                    std::to_string(b) + " " + std::to_string(c) + "/" + std::to_string(c) + " " +
                    std::to_string(d) + "/" + std::to_string(d) + "\n";
        }
    }
    const std::string model = testsupport::writeTextFile(modelDir.file("grid.obj"), text);
    const std::vector<double> input = objPositions(text);
    ASSERT_EQ(input.size(), size_t(3 * n * n));

    const BatchRun run = runBatch(model, {}, {}, 600);
    ASSERT_EQ(run.result.exitStatus, 0) << run.result.out;
    for (const char* family : {"input", "overlap_free_levy", "overlap_free", "welded", "bl_200", "export"}) {
        SCOPED_TRACE(family);
        const std::vector<double> out = objPositions(testsupport::readTextFile(run.dir + "/" + family + ".obj"));
        ASSERT_GE(out.size(), input.size());
        EXPECT_EQ(std::memcmp(out.data(), input.data(), input.size() * sizeof(double)), 0);
    }
    testsupport::removeTree(run.dir);
}

TEST(Interrupted, SignalDuringRefinementStopsCleanly)
{
    const testsupport::TempDir modelDir("tarnwick_signal");
    ASSERT_TRUE(meshgen::writeOBJ(meshgen::openCylinder(16, 6), modelDir.file("model.obj")));
    const std::vector<std::pair<int, int>> cases = {{SIGTERM, 143}, {SIGINT, 130}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        const testsupport::TempDir work("tarnwick_signal_run");
        const testsupport::ProcessResult r =
            testsupport::runProcess(programPath(), {modelDir.file("model.obj"), "--batchmode"}, work.path(), {},
                                    600, " *** ITERATION 0 ***", c.first);
        EXPECT_EQ(r.exitStatus, c.second) << r.out;
        const std::string name = c.first == SIGTERM ? "SIGTERM" : "SIGINT";
        EXPECT_NE(r.out.find("Interrupted by " + name +
                             " during refinement; the result files written before are complete.\n"),
                  std::string::npos)
            << r.out;
        EXPECT_EQ(namesContaining(work.path(), ".partial-"), std::vector<std::string>());
        Stats stats;
        std::string error;
        EXPECT_TRUE(readStats(work.file("welded.json"), stats, error)) << error;
        // The stages after the one that stopped write nothing.
        EXPECT_EQ(namesContaining(work.path(), "export"), std::vector<std::string>());
    }
}
