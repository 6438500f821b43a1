// Malformed and hostile inputs run through the real program: each ends with a
// clear message and a defined exit status, in bounded time, writing nothing.
#include "e2e_support.h"
#include "meshgen/meshgen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include <dirent.h>
#include <sys/stat.h>

using namespace e2e;

namespace {

size_t resultFileCount(const std::string& dir)
{
    size_t n = 0;
    DIR* d = opendir(dir.c_str());
    if (!d)
        return 0;
    while (dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        if (name != "." && name != ".." && name != "model.obj")
            ++n;
    }
    closedir(d);
    return n;
}

// Names in dir that contain part.
std::vector<std::string> resultFileNames(const std::string& dir, const std::string& part)
{
    std::vector<std::string> names;
    DIR* d = opendir(dir.c_str());
    if (!d)
        return names;
    while (dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        if (name.find(part) != std::string::npos)
            names.push_back(name);
    }
    closedir(d);
    return names;
}

struct BadInput {
    std::string name;
    std::string content;
    int status;
    std::string message;
};

std::string quad()
{
    return "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nf 1/1 2/2 3/3 4/4\n";
}

std::vector<BadInput> corpus()
{
    std::string garbage;
    for (int i = 0; i < 4096; ++i)
        garbage.push_back(static_cast<char>((i * 7919 + 13) % 256));
    std::string cube;
    {
        const std::string dir = testsupport::makeTempDir("tarnwick_corpus");
        meshgen::writeOBJ(meshgen::cubeNet(2), dir + "/c.obj");
        cube = testsupport::readTextFile(dir + "/c.obj");
    }
    const std::string noVertex = "The file holds faces that refer to vertices that do not exist.";
    const std::string noTexcoord = "The file holds faces that refer to texture coordinates that do not exist.";
    const std::string notFinite = "The file holds coordinates that are not finite numbers.";
    std::string manyCorners;
    for (int i = 0; i < 5000; ++i)
        manyCorners += " " + std::to_string(1 + i % 3);
    // 999 corners on a circle, three of them naming vertex 3 again.
    std::string repeatedCorners;
    for (int i = 0; i < 999; ++i)
        repeatedCorners += "v " + std::to_string(std::cos(0.00629 * i)) + " " + std::to_string(std::sin(0.00629 * i)) +
                           " 0\n";
    repeatedCorners += "f";
    for (int i = 0; i < 999; ++i)
        repeatedCorners += " " + std::to_string(i % 300 == 299 ? 3 : i + 1);
    repeatedCorners += "\n";
    return {
        {"empty", "", 2, "Input must have at least one triangle."},
        {"garbage", garbage, 2, "Input must have at least one triangle."},
        {"truncated", cube.substr(0, cube.find("vt ") + 50), 2, "Input must have at least one triangle."},
        {"huge_index", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 99999999999\n", 2, noVertex},
        {"overflowing_index", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 99999999999999999999\n", 2, noVertex},
        {"quad_missing_vertex", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3 4\n", 2, noVertex},
        {"relative_texcoord_before_first", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1/-1 2/-1 3/-1\nvt 0 0\n", 2,
         noTexcoord},
        {"mixed_texturing", "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\nvt 0 0\nvt 1 0\nvt 0 1\nf 1/1 2/2 3/3\nf 2 4 3\n", 2,
         "The file holds faces that give texture coordinates on some corners but not on others."},
        {"literal_nan", "v 0 0 0\nv nan 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\nf 1/1 2/2 3/3\n", 2, notFinite},
        {"literal_inf_texcoord", "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt inf 0\nvt 0 -inf\nf 1/1 2/2 3/3\n", 2,
         notFinite},
        {"too_many_corners", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf" + manyCorners + "\n", 2,
         "The file holds a face with too many corners."},
        {"repeated_polygon_corners", repeatedCorners, 2, "The file holds a face whose corners repeat a vertex."},
        {"missing_vertex", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 4\n", 2, noVertex},
        {"missing_texcoord", "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nf 1/1 2/2 3/3\n", 2, noTexcoord},
        {"overflowing_coordinate", "v 0 0 0\nv 1e999 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\nf 1/1 2/2 3/3\n", 2,
         notFinite},
        {"two_shapes", "o a\n" + quad() + "o b\nf 1/1 3/3 4/4\n", 2, "Input must be a single chart."},
        {"degenerate", "v 0 0 0\nv 1 0 0\nv 2 0 0\nvt 0 0\nvt 1 0\nvt 0 1\nf 1/1 2/2 3/3\n", 2,
         "Input must not have degenerate triangles."},
        {"repeated_vertex", "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\nf 1/1 1/2 3/3\n", 2,
         "Input must not have degenerate triangles."},
        {"zero_uv_area", "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nf 1/1 2/1 3/1\n", 2,
         "Input UV layout must have a non-zero area."},
        {"only_comments", "# nothing here\n# at all\n", 2, "Input must have at least one triangle."},
        {"untextured_non_manifold", "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 0 -1 0\nv 0 0 1\nf 1 2 3\nf 2 1 4\nf 1 2 5\n", 2,
         "Input without texture coordinates must be manifold."},
        {"untextured_closed", "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 0 0 1\nf 1 3 2\nf 1 2 4\nf 2 3 4\nf 3 1 4\n", 2,
         "Input without texture coordinates must have a boundary."},
    };
}

} // namespace

TEST(BadInput, CorpusEndsWithMessageAndStatus)
{
    for (const BadInput& c : corpus()) {
        SCOPED_TRACE(c.name);
        const std::string modelDir = testsupport::makeTempDir("tarnwick_bad");
        const std::string model = testsupport::writeTextFile(modelDir + "/model.obj", c.content);
        const BatchRun run = runBatch(model, {}, {}, 120);
        EXPECT_FALSE(run.result.timedOut);
        EXPECT_EQ(run.result.exitStatus, c.status) << run.result.out << run.result.err;
        EXPECT_NE(run.result.out.find(c.message), std::string::npos) << run.result.out;
        EXPECT_NE(run.result.out.find("Batch run stopped: the input was not loaded."), std::string::npos);
        EXPECT_EQ(resultFileCount(run.dir), 0u);
        EXPECT_EQ(run.result.err.find("ERROR: AddressSanitizer"), std::string::npos) << run.result.err;
        EXPECT_EQ(run.result.err.find("runtime error"), std::string::npos) << run.result.err;
    }
}

TEST(BadInput, TruncatedInsideTheFacesStillEndsCleanly)
{
    const std::string modelDir = testsupport::makeTempDir("tarnwick_bad");
    meshgen::writeOBJ(meshgen::cubeNet(2), modelDir + "/full.obj");
    const std::string full = testsupport::readTextFile(modelDir + "/full.obj");
    const size_t faces = full.find("\nf ");
    ASSERT_NE(faces, std::string::npos);
    const std::string model = testsupport::writeTextFile(
        modelDir + "/model.obj", full.substr(0, faces + (full.size() - faces) / 2 + 3));
    const BatchRun run = runBatch(model, {}, {}, 300);
    EXPECT_FALSE(run.result.timedOut);
    EXPECT_TRUE(run.result.exitStatus == 0 || run.result.exitStatus == 2) << run.result.exitStatus;
    EXPECT_EQ(run.result.err.find("ERROR: AddressSanitizer"), std::string::npos) << run.result.err;
    EXPECT_EQ(run.result.err.find("runtime error"), std::string::npos) << run.result.err;
}

// A textured mesh whose edge is shared by three triangles is not refused: the
// stages report the broken connectivity and carry on with what they have.
TEST(BadInput, NonManifoldTexturedMeshIsReportedAndProcessed)
{
    const std::string modelDir = testsupport::makeTempDir("tarnwick_bad");
    const std::string model = testsupport::writeTextFile(
        modelDir + "/model.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 0 -1 0\nv 0 0 1\n"
                                 "vt 0 0\nvt 1 0\nvt 0 1\nvt 0 -1\nvt 0.5 0.5\n"
                                 "f 1/1 2/2 3/3\nf 2/2 1/1 4/4\nf 1/1 2/2 5/5\n");
    const BatchRun run = runBatch(model, {}, {}, 300);
    EXPECT_FALSE(run.result.timedOut);
    EXPECT_EQ(run.result.exitStatus, 0) << run.result.out;
    EXPECT_NE(run.result.out.find("Cannot construct joined 3D halfedges - is the input OK?"), std::string::npos);
    EXPECT_NE(run.result.out.find("Cannot construct halfedges - is the input OK?"), std::string::npos);
    EXPECT_FALSE(testsupport::readTextFile(run.dir + "/error.obj").empty());
    EXPECT_FALSE(testsupport::readTextFile(run.dir + "/bl_200.json").empty());
    EXPECT_EQ(run.result.err.find("ERROR: AddressSanitizer"), std::string::npos) << run.result.err;
    EXPECT_EQ(run.result.err.find("runtime error"), std::string::npos) << run.result.err;
}

// What cannot be opened, or is not a regular file, is refused with the reason
// on the console line, without reading from it (a pipe or a device would
// never end).
TEST(BadInput, FilesThatCannotBeRead)
{
    const std::string modelDir = testsupport::makeTempDir("tarnwick_bad");
    ASSERT_EQ(mkfifo((modelDir + "/fifo.obj").c_str(), 0600), 0);
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"/nonexistent/model.obj", "No such file or directory"},
        {modelDir, "it is a directory, not a regular file"},
        {modelDir + "/fifo.obj", "it is a pipe (FIFO), not a regular file"},
        {"/dev/zero", "it is a device, not a regular file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        const BatchRun run = runBatch(c.first, {}, {}, 60);
        EXPECT_FALSE(run.result.timedOut);
        EXPECT_EQ(run.result.exitStatus, 2);
        EXPECT_NE(run.result.out.find("Cannot open " + c.first + ": " + c.second + ".\nFailed to load/parse .obj.\n"),
                  std::string::npos)
            << run.result.out;
        EXPECT_EQ(run.result.out.find("Successfully loaded."), std::string::npos);
        EXPECT_EQ(resultFileCount(run.dir), 0u);
    }
}

// A valid mesh behind a byte-order mark, a material library that must not be
// opened (reading /dev/zero would never end) and a truncated last face: it
// loads, warns once about the face, and runs through.
TEST(BadInput, AwkwardButValidFileRunsThrough)
{
    const std::string modelDir = testsupport::makeTempDir("tarnwick_bad");
    meshgen::writeOBJ(meshgen::openCylinder(8, 2), modelDir + "/c.obj");
    const std::string text = "\xEF\xBB\xBFmtllib /dev/zero\nusemtl skin\n" +
                             testsupport::readTextFile(modelDir + "/c.obj") + "f 1/1 2/2\n";
    const std::string model = testsupport::writeTextFile(modelDir + "/model.obj", text);
    const size_t lines = size_t(std::count(text.begin(), text.end(), '\n'));
    const BatchRun run = runBatch(model, {}, {}, 300);
    EXPECT_FALSE(run.result.timedOut);
    EXPECT_EQ(run.result.exitStatus, 0) << run.result.out;
    const std::string warning =
        "Skipped 1 face with fewer than three corners (the first on line " + std::to_string(lines) + ").\n";
    // One warning per load; the batch loads twice (at the start and on reload).
    size_t warnings = 0;
    for (size_t at = run.result.out.find(warning); at != std::string::npos; at = run.result.out.find(warning, at + 1))
        ++warnings;
    EXPECT_EQ(warnings, 2u) << run.result.out;
    EXPECT_FALSE(testsupport::readTextFile(run.dir + "/bl_200.json").empty());
}

TEST(BadInput, ConeLinesOutOfRangeAreIgnored)
{
    const std::string modelDir = testsupport::makeTempDir("tarnwick_bad");
    meshgen::MeshData mesh = meshgen::openCylinder(8, 2);
    meshgen::writeOBJ(mesh, modelDir + "/model.obj");
    std::string text = testsupport::readTextFile(modelDir + "/model.obj");
    text = "c 0\nc -4\nc 100000\nc 1\n" + text;
    testsupport::writeTextFile(modelDir + "/model.obj", text);
    const BatchRun run = runBatch(modelDir + "/model.obj");
    EXPECT_EQ(run.result.exitStatus, 0) << run.result.out;
    EXPECT_NE(run.result.out.find("Ignoring cone singularity on line 1: vertex number 0 is out of range."),
              std::string::npos);
    EXPECT_NE(run.result.out.find("Ignoring cone singularity on line 3:"), std::string::npos);
    EXPECT_NE(run.result.out.find("Model with singularities"), std::string::npos);
}

TEST(BadInput, UnwritableResultFileGivesNonZeroStatus)
{
    const std::string modelDir = testsupport::makeTempDir("tarnwick_bad");
    meshgen::writeOBJ(meshgen::openCylinder(8, 2), modelDir + "/model.obj");
    const std::string workDir = testsupport::makeTempDir("tarnwick_e2e");
    // A directory where a result file should go cannot be opened as a file.
    ASSERT_EQ(mkdir((workDir + "/welded.json").c_str(), 0755), 0);
    const testsupport::ProcessResult r =
        testsupport::runProcess(programPath(), {modelDir + "/model.obj", "--batchmode"}, workDir);
    EXPECT_EQ(r.exitStatus, 3) << r.out;
    EXPECT_NE(r.out.find("Unable to write file welded.json completely."), std::string::npos);
    // What stood under the name is left alone, and no temporary file remains.
    struct stat st;
    EXPECT_EQ(stat((workDir + "/welded.json").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(resultFileNames(workDir, ".partial-"), std::vector<std::string>());
    // The sequence still completed what it could.
    EXPECT_FALSE(testsupport::readTextFile(workDir + "/bl_200.json").empty());
}

TEST(CommandLineRun, UsageWithoutArguments)
{
    const std::string dir = testsupport::makeTempDir("tarnwick_e2e");
    const testsupport::ProcessResult r = testsupport::runProcess(programPath(), {}, dir);
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.out, "Usage:\n" + programPath() + " <model-file-obj> [--batchmode] [--square]\n");
}
