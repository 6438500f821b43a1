#pragma once

#include "meshgen/meshgen.h"
#include "support/run_process.h"
#include "support/test_support.h"

#include <array>
#include <set>
#include <string>
#include <vector>

namespace e2e {

// Path of the program under test and of the bundled examples (set by CMake).
std::string programPath();
std::string examplesDir();

// The result families in the order a batch run writes them; every one has an
// OBJ, an SVG and a snapshot, all but "export" a statistics file.
extern const std::vector<std::string> kFamilies;

struct BatchRun {
    std::string dir; // working directory of the run
    testsupport::ProcessResult result;
};

// Runs "tarnwick MODEL --batchmode [extra...]" in a fresh directory.
BatchRun runBatch(const std::string& model, const std::vector<std::string>& extra = {},
                  const std::vector<std::string>& env = {});

// A batch run that several tests read: `name` identifies it within the test
// process. The first call for a name runs it; later calls return that run.
struct RunSetup {
    std::string name, model;
    std::vector<std::string> extra, env;
};
const BatchRun& sharedRun(const RunSetup& setup);
// Starts every setup that has not run yet, side by side, and waits for them.
void startSharedRuns(const std::vector<RunSetup>& setups);
// The examples, three folded projections and a grid far from the origin
// ("far_grid"), as shared runs. cube_net runs on two threads with a display
// that is gone; cap_untextured with --square.
const std::vector<RunSetup>& standardRuns();
const RunSetup& standardRun(const std::string& name);
// The path of a generated model written once per test process.
std::string generatedModel(const std::string& name, const meshgen::MeshData& mesh);

// A statistics file parsed by Qt's JSON parser: its fields in file order;
// empty, after a test failure, when it cannot be read.
using Stats = std::vector<std::pair<std::string, std::string>>;
Stats readStats(const std::string& path);
std::string statText(const Stats& stats, const std::string& key);
double statValue(const Stats& stats, const std::string& key); // -1 when missing

// The bodies of every "//BEGIN STATS" ... "//END STATS" block of a console log.
std::vector<std::string> consoleStatsBlocks(const std::string& console);
std::vector<std::string> splitLines(const std::string& text);
// Names in a folder (without "." and "..").
std::set<std::string> filesIn(const std::string& dir);
// Text with the processor-time figures ("boxifyTime", "Took Ns") masked.
std::string withoutTimes(std::string text);

// An OBJ file as read by a parser of the test's own: "v x y z [r g b]", "vt",
// triangular "f p/t" or "f p" corners (0-based here), "c" cone lines, mtllib and usemtl.
struct ObjMesh {
    std::vector<double> positions, colours, uvs;
    std::vector<uint32_t> pos, uv, cones;
    std::string mtllib, usemtl;
    size_t triangles() const { return pos.size() / 3; }
    std::array<double, 3> p(size_t t, int k) const;
    std::array<double, 2> t(size_t t, int k) const;
    // The box of the texture coordinates: lowest u, v, highest u, v.
    std::array<double, 4> uvBox() const;
};
// Empty, after a test failure, when the file is missing or not of that form.
ObjMesh readObj(const std::string& path);

} // namespace e2e
