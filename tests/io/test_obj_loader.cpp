#include "io/obj_reader.h"
#include "io/obj_writer.h"
#include "support/test_support.h"
#include "app/model_loading.h"

#include <gtest/gtest.h>

#include <cmath>

using testsupport::readTextFile;
using testsupport::writeTextFile;

namespace {

struct Rejection {
    int calls = 0;
    std::string title;
    std::string text;
};

class LoaderTest : public ::testing::Test {
protected:
    void SetUp() override { dir = testsupport::makeTempDir("tarnwick_loader"); }
    void TearDown() override { testsupport::removeTree(dir); }

    std::string file(const std::string& name, const std::string& text)
    {
        return writeTextFile(dir + "/" + name, text);
    }

    LoadStatus load(const std::string& path, bool repack, std::string* console = nullptr)
    {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const LoadStatus status = loadModel(path, repack, model, [this](const std::string& t, const std::string& x) {
            ++rejection.calls;
            rejection.title = t;
            rejection.text = x;
        });
        const std::string out = testing::internal::GetCapturedStdout();
        testing::internal::GetCapturedStderr();
        if (console)
            *console = out;
        return status;
    }

    void expectEmptyModel()
    {
        EXPECT_TRUE(model.charts.empty());
        EXPECT_TRUE(model.sharedPositions.empty());
        EXPECT_TRUE(model.vertexColors.empty());
        EXPECT_TRUE(model.coneSingularities.empty());
    }

    std::string dir;
    Model model;
    Rejection rejection;
};

const char* kQuad = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n"
                    "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n"
                    "f 1/1 2/2 3/3 4/4\n";

} // namespace

TEST_F(LoaderTest, ParsesFacesCoordinatesAndColours)
{
    // Renumbering: the face uses file coordinates 5, 2 and 9 (1-based 6, 3, 10).
    std::string renumbered = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";
    for (int i = 0; i < 10; ++i)
        renumbered += "vt " + std::to_string(i) + " " + std::to_string(10 * i) + "\n";
    renumbered += "f 1/6 2/3 3/10\n";
    struct Case { const char* name; std::string text; const char* console; size_t triangles; iuv::DoubleVector uv; iuv::UIntVector uvIndices; iuv::DoubleVector colors; };
    const std::vector<Case> cases = {
        {"quad", kQuad, "Successfully loaded.\nRead 1 parts, including 0 untextured ones.\n", 2,
         {0, 0, 1, 0, 1, 1, 0, 1}, {}, {}}, // the split diagonal is not fixed here
        {"renumbered", renumbered, "Read 1 parts, including 0 untextured ones.", 1, {2, 20, 5, 50, 9, 90}, {1, 0, 2}, {}},
        {"colours", "v 0 0 0 1 0 0\nv 1 0 0 0 1 0\nv 0 1 0 0 0 1\nf 1 2 3\n", "", 1, {}, {}, {1, 0, 0, 0, 1, 0, 0, 0, 1}},
        {"colours on some vertices", "v 0 0 0 1 0 0\nv 1 0 0\nv 0 1 0 0 0 1\nf 1 2 3\n", "", 1, {}, {}, {}},
        {"a corner without coordinates", "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\nvt 0 0\nvt 1 0\nvt 0 1\nf 1/1 2/2 3/3\nf 2 4 3\n",
         "Read 1 parts, including 1 untextured ones.", 2, {}, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ChartList charts;
        iuv::DoubleVector pos, colors;
        testing::internal::CaptureStdout();
        ASSERT_TRUE(loadOBJ(file("p.obj", c.text), charts, pos, colors));
        EXPECT_NE(testing::internal::GetCapturedStdout().find(c.console), std::string::npos);
        ASSERT_EQ(charts.size(), 1u);
        EXPECT_EQ(charts[0].numTriangles(), c.triangles);
        EXPECT_EQ(charts[0].uvCoords2D, c.uv);
        if (!c.uvIndices.empty() || c.uv.empty()) {
            EXPECT_EQ(charts[0].triIndicesUV, c.uvIndices);
        }
        EXPECT_EQ(colors, c.colors);
    }
}

TEST_F(LoaderTest, ConeLines)
{
    const std::string path = file("k.obj", std::string(kQuad) +
                                               "c 1\n  c 3 0.0\ncurv 0.0 1.0 1 2\ncstype bspline\n"
                                               "c 0\nc -2\nc 5\nc 99999999999999999999\n");
    testing::internal::CaptureStdout();
    const iuv::UIntVector cones = readConeSingularities(path, 4);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(cones, (iuv::UIntVector{0, 2}));
    EXPECT_NE(out.find("Ignoring cone singularity on line 14: vertex number 0 is out of range."),
              std::string::npos);
    EXPECT_NE(out.find("line 15: vertex number -2"), std::string::npos);
    EXPECT_NE(out.find("line 16: vertex number 5"), std::string::npos);
    EXPECT_NE(out.find("line 17:"), std::string::npos);
    EXPECT_TRUE(readConeSingularities(dir + "/missing.obj", 4).empty());
}

TEST_F(LoaderTest, UnrepackedAreaIsOneAndUVFlipsAreReportedButAccepted)
{
    std::string console;
    ASSERT_EQ(load(file("a.obj", "v 0 0 0\nv 4 0 0\nv 0 4 0\nvt 0 0\nvt 4 0\nvt 0 4\nf 1/1 2/2 3/3\n"), false, &console),
              LoadStatus::Loaded);
    EXPECT_NEAR(totalUVArea(model.charts), 1.0, 1e-12);
    EXPECT_EQ(console.find("Loading "), 0u);
    ASSERT_EQ(load(file("f.obj", "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nvt 2 0.5\n"
                                 "f 1/1 2/2 3/3\nf 1/1 3/3 4/5\n"), false, &console),
              LoadStatus::Loaded);
    EXPECT_NE(console.find("Input has UV flips.\n"), std::string::npos);
    EXPECT_EQ(rejection.calls, 0);
}

TEST_F(LoaderTest, TwoShapesAreRejected)
{
    std::string console;
    const std::string text = std::string(kQuad) + "o second\nf 1/1 3/3 4/4\n";
    EXPECT_EQ(load(file("two.obj", "o first\n" + text), true, &console), LoadStatus::Rejected);
    EXPECT_EQ(rejection.calls, 1);
    EXPECT_EQ(rejection.title, "Input Mesh Not Accepted");
    EXPECT_EQ(rejection.text, "Cannot process input: must be a single chart.");
    EXPECT_NE(console.find("Input must be a single chart.\n"), std::string::npos);
    expectEmptyModel();
}

TEST_F(LoaderTest, BadFilesLeaveAnEmptyModel)
{
    struct Case {
        const char* name;
        std::string text;
        LoadStatus status;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"empty.obj", "", LoadStatus::Rejected, "Input must have at least one triangle."},
        {"nofaces.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\n", LoadStatus::Rejected, "Input must have at least one triangle."},
        {"text.obj", "This is not an OBJ file.\nJust words.\n", LoadStatus::Rejected,
         "Input must have at least one triangle."},
        {"binary.obj", std::string("\x7f\x45\x4c\x46\x00\x01\xff\xfe v\x00 f\x01\n\x00\x00", 18),
         LoadStatus::Rejected, "Input must have at least one triangle."},
        {"badv.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 7\n", LoadStatus::ParseFailed,
         "The file holds faces that refer to vertices that do not exist."},
        {"negv.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 -9\n", LoadStatus::ParseFailed,
         "The file holds faces that refer to vertices that do not exist."},
        {"hugev.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 4000000000\n", LoadStatus::ParseFailed,
         "Failed to load/parse .obj."},
        {"badvt.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nf 1/1 2/2 3/9\n", LoadStatus::ParseFailed,
         "The file holds faces that refer to texture coordinates that do not exist."},
        {"inf.obj", "v 0 0 0\nv 1e400 0 0\nv 0 1 0\nf 1 2 3\n", LoadStatus::ParseFailed,
         "The file holds coordinates that are not finite numbers."},
        {"zero.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 0 1 2\n", LoadStatus::ParseFailed, "Failed to load/parse .obj."},
        {"repeat.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\nf 1/1 1/2 3/3\n", LoadStatus::Rejected,
         "Input must not have degenerate triangles."},
        {"collinear.obj", "v 0 0 0\nv 1 0 0\nv 2 0 0\nvt 0 0\nvt 1 0\nvt 0 1\nf 1/1 2/2 3/3\n",
         LoadStatus::Rejected, "Input must not have degenerate triangles."},
        {"flatuv.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0.5 0.5\nf 1/1 2/1 3/1\n", LoadStatus::Rejected,
         "Input UV layout must have a non-zero area."},
        {"truncated.obj", std::string(kQuad).substr(0, 60), LoadStatus::Rejected,
         "Input must have at least one triangle."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        model.sharedPositions = {1, 2, 3};
        model.coneSingularities = {0};
        std::string console;
        EXPECT_EQ(load(file(c.name, c.text), true, &console), c.status);
        EXPECT_NE(console.find(c.message), std::string::npos) << console;
        expectEmptyModel();
    }
    std::string console;
    EXPECT_EQ(load(dir + "/does-not-exist.obj", true, &console), LoadStatus::ParseFailed);
    EXPECT_NE(console.find("Failed to load/parse .obj."), std::string::npos);
    expectEmptyModel();
}

TEST(ObjWriter, LayoutExportTextAndRoundTrip)
{
    testsupport::TempDir tmp("tarnwick_objw");
    const std::string& dir = tmp.path();
    Chart merged = testsupport::unitSquareChart();
    iuv::DoubleVector pos = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0.5};
    iuv::DoubleVector colors = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0.5, 0.5, 0.5};
    iuv::UIntVector cones = {0, 3};
    ASSERT_TRUE(writeLayoutOBJ(merged, pos, colors, cones, dir + "/e.obj"));
    const std::string text = readTextFile(dir + "/e.obj");
    EXPECT_EQ(text.substr(0, 23), "c 1 0.0\nc 4 0.0\nv 0 0 0");
    EXPECT_NE(text.find("v 0 1 0.5 0.5 0.5 0.5\n"), std::string::npos);
    EXPECT_NE(text.find("vt 1 1\n"), std::string::npos);
    EXPECT_NE(text.find("f 1/1 2/2 3/3\nf 1/1 3/3 4/4\n"), std::string::npos);

    ChartList charts;
    iuv::DoubleVector rpos, rcolors;
    testing::internal::CaptureStdout();
    ASSERT_TRUE(loadOBJ(dir + "/e.obj", charts, rpos, rcolors));
    const iuv::UIntVector rcones = readConeSingularities(dir + "/e.obj", rpos.size() / 3);
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(charts.size(), 1u);
    EXPECT_EQ(charts[0].triIndicesPos, merged.triIndicesPos);
    EXPECT_EQ(rpos, pos);
    EXPECT_EQ(rcolors, colors);
    EXPECT_EQ(rcones, cones);
}

TEST(ObjWriter, UntexturedFacesAndChartDump)
{
    testsupport::TempDir tmp("tarnwick_objw");
    const std::string& dir = tmp.path();
    Chart untextured;
    untextured.triIndicesPos = {0, 1, 2};
    iuv::DoubleVector pos = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    ASSERT_TRUE(writeLayoutOBJ(untextured, pos, {}, {}, dir + "/u.obj"));
    EXPECT_EQ(readTextFile(dir + "/u.obj"), "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");

    ASSERT_TRUE(writeChartOBJ(untextured, pos, dir + "/c.obj"));
    EXPECT_EQ(readTextFile(dir + "/c.obj"), "v 0 0 0\nv 1 0 0\nv 0 1 0\no object0\nf 1 2 3\n");

    testing::internal::CaptureStdout();
    EXPECT_FALSE(writeChartOBJ(untextured, pos, "/nonexistent-dir/c.obj"));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Unable to open file /nonexistent-dir/c.obj for writing OBJ.\n");
}
