// Malformed and hostile inputs run through the real program: each ends with a
// clear message and a defined exit status, in bounded time, writing nothing.
#include "e2e_support.h"
#include "meshgen/meshgen.h"

#include <gtest/gtest.h>

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
    return {
        {"empty", "", 2, "Input must have at least one triangle."},
        {"garbage", garbage, 2, "Input must have at least one triangle."},
        {"truncated", cube.substr(0, cube.find("vt ") + 50), 2, "Input must have at least one triangle."},
        {"huge_index", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 99999999999\n", 2, "Failed to load/parse .obj."},
        {"missing_vertex", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 4\n", 2,
         "The file holds faces that refer to vertices that do not exist."},
        {"missing_texcoord", "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nf 1/1 2/2 3/3\n", 2,
         "The file holds faces that refer to texture coordinates that do not exist."},
        {"nan_coordinates", "v 0 0 0\nv 1e999 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\nf 1/1 2/2 3/3\n", 2,
         "The file holds coordinates that are not finite numbers."},
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

TEST(BadInput, MissingFile)
{
    const BatchRun run = runBatch("/nonexistent/model.obj");
    EXPECT_EQ(run.result.exitStatus, 2);
    EXPECT_NE(run.result.out.find("Failed to load/parse .obj."), std::string::npos);
    EXPECT_NE(run.result.err.find("/nonexistent/model.obj"), std::string::npos);
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
    EXPECT_NE(r.out.find("Unable to open file welded.json for writing."), std::string::npos);
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
