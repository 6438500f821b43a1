#include "io/obj_reader.h"
#include "io/obj_writer.h"
#include "support/test_support.h"
#include "app/model_loading.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include <sys/stat.h>

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
    ChartList charts;
    iuv::DoubleVector pos, colors;
    iuv::UIntVector cones;
    testing::internal::CaptureStdout();
    ASSERT_TRUE(loadOBJ(path, charts, pos, colors, &cones));
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(cones, (iuv::UIntVector{0, 2}));
    EXPECT_NE(out.find("Ignoring cone singularity on line 14: vertex number 0 is out of range."),
              std::string::npos);
    EXPECT_NE(out.find("line 15: vertex number -2"), std::string::npos);
    EXPECT_NE(out.find("line 16: vertex number 5"), std::string::npos);
    EXPECT_NE(out.find("line 17:"), std::string::npos);
}

// Files that hold a valid mesh in a less common form load as the plain one.
TEST_F(LoaderTest, AcceptedVariants)
{
    const std::string tri = "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\n";
    struct Case {
        const char* name;
        std::string text;
        const char* console; // a line the load prints, or ""
    };
    const std::vector<Case> cases = {
        {"bom", "\xEF\xBB\xBF" + tri + "f 1/1 2/2 3/3\n", ""},
        {"crlf_comments", "# made by hand\r\n" + tri + "f 1/1 2/2 3/3 # one face\r\n", ""},
        {"relative", tri + "f -3/-3 -2/-2 -1/-1\n", ""},
        {"normals", tri + "vn 0 0 1\nf 1/1/1 2/2/1 3/3/1\n", ""},
        {"materials_ignored", "mtllib /dev/zero\nusemtl x\ns 1\n" + tri + "f 1/1 2/2 3/3\n", ""},
        {"plus_and_tiny", "v +0 0 0\nv 1 0 1e-400\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\nf 1/1 2/2 3/3\n", ""},
        {"short_faces", tri + "f 1/1 2/2 3/3\nf 1/1 2/2\nf\n",
         "Skipped 2 faces with fewer than three corners (the first on line 8)."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string console;
        ASSERT_EQ(load(file(std::string(c.name) + ".obj", c.text), true, &console), LoadStatus::Loaded) << console;
        EXPECT_NE(console.find(c.console), std::string::npos) << console;
        ASSERT_EQ(model.charts.size(), 1u);
        EXPECT_EQ(model.charts[0].numTriangles(), 1u);
        EXPECT_EQ(model.sharedPositions.size(), 9u);
        EXPECT_EQ(rejection.calls, 0);
    }
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

// Every refused file: its console reason, the same reason in the window's
// box, and an empty model.
TEST_F(LoaderTest, BadFilesLeaveAnEmptyModel)
{
    const std::string tri = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";
    const std::string uv = "vt 0 0\nvt 1 0\nvt 0 1\n";
    const char* noVertex = "The file holds faces that refer to vertices that do not exist.";
    const char* noTexcoord = "The file holds faces that refer to texture coordinates that do not exist.";
    const char* notFinite = "The file holds coordinates that are not finite numbers.";
    const char* unreadable = "The file holds a statement that cannot be read.";
    std::string polygon1001 = "f";
    for (int i = 0; i < 1001; ++i)
        polygon1001 += " " + std::to_string(1 + i % 3);
    std::string repeated999;
    for (int i = 0; i < 999; ++i) {
        const double a = 6.283185307179586 * i / 999;
        repeated999 += "v " + std::to_string(std::cos(a)) + " " + std::to_string(std::sin(a)) + " 0\n";
    }
    repeated999 += "f";
    for (int i = 0; i < 999; ++i)
        repeated999 += " " + std::to_string(i == 500 || i == 700 || i == 900 ? 3 : i + 1);
    struct Case {
        const char* name;
        std::string text;
        LoadStatus status;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"empty.obj", "", LoadStatus::Rejected, "Input must have at least one triangle."},
        {"nofaces.obj", tri, LoadStatus::Rejected, "Input must have at least one triangle."},
        {"text.obj", "This is not an OBJ file.\nJust words.\n", LoadStatus::Rejected,
         "Input must have at least one triangle."},
        {"binary.obj", std::string("\x7f\x45\x4c\x46\x00\x01\xff\xfe v\x00 f\x01\n\x00\x00", 18),
         LoadStatus::Rejected, "Input must have at least one triangle."},
        {"badv.obj", tri + "f 1 2 7\n", LoadStatus::ParseFailed, noVertex},
        {"negv.obj", tri + "f 1 2 -9\n", LoadStatus::ParseFailed, noVertex},
        {"zero.obj", tri + "f 0 1 2\n", LoadStatus::ParseFailed, noVertex},
        {"hugev.obj", tri + "f 1 2 4000000000\n", LoadStatus::ParseFailed, noVertex},
        {"overflowv.obj", tri + "f 1 2 99999999999999999999\n", LoadStatus::ParseFailed, noVertex},
        {"quad_missing.obj", tri + "f 1 2 3 4\n", LoadStatus::ParseFailed, noVertex},
        {"badvt.obj", tri + "vt 0 0\nf 1/1 2/2 3/9\n", LoadStatus::ParseFailed, noTexcoord},
        {"relative_vt.obj", tri + "f 1/-1 2/-1 3/-1\n" + uv, LoadStatus::ParseFailed, noTexcoord},
        {"overflowvt.obj", tri + uv + "f 1/1 2/2 3/-99999999999999999999\n", LoadStatus::ParseFailed, noTexcoord},
        {"mixed.obj", tri + "v 1 1 0\n" + uv + "f 1/1 2/2 3/3\nf 2 4 3\n", LoadStatus::ParseFailed,
         "The file holds faces that give texture coordinates on some corners but not on others."},
        {"nan.obj", "v 0 0 0\nv nan 0 0\nv 0 1 0\nf 1 2 3\n", LoadStatus::ParseFailed, notFinite},
        {"inf_vt.obj", tri + "vt 0 0\nvt inf 0\nvt 0 1\nf 1/1 2/2 3/3\n", LoadStatus::ParseFailed, notFinite},
        {"minus_inf.obj", "v 0 0 -inf\nv 1 0 0\nv 0 1 0\nf 1 2 3\n", LoadStatus::ParseFailed, notFinite},
        {"overflow.obj", "v 0 0 0\nv 1e400 0 0\nv 0 1 0\nf 1 2 3\n", LoadStatus::ParseFailed, notFinite},
        {"bad_number.obj", "v 0 0 0\nv 1 0 x\nv 0 1 0\nf 1 2 3\n", LoadStatus::ParseFailed, unreadable},
        {"two_numbers.obj", "v 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n", LoadStatus::ParseFailed, unreadable},
        {"bad_corner.obj", tri + uv + "f 1/1 2/ 3/3\n", LoadStatus::ParseFailed, unreadable},
        {"corners1001.obj", tri + polygon1001 + "\n", LoadStatus::ParseFailed,
         "The file holds a face with too many corners."},
        {"repeats999.obj", repeated999 + "\n", LoadStatus::ParseFailed,
         "The file holds a face whose corners repeat a vertex."},
        {"repeat.obj", tri + uv + "f 1/1 1/2 3/3\n", LoadStatus::Rejected, "Input must not have degenerate triangles."},
        {"collinear.obj", "v 0 0 0\nv 1 0 0\nv 2 0 0\n" + uv + "f 1/1 2/2 3/3\n", LoadStatus::Rejected,
         "Input must not have degenerate triangles."},
        {"flatuv.obj", tri + "vt 0.5 0.5\nf 1/1 2/1 3/1\n", LoadStatus::Rejected,
         "Input UV layout must have a non-zero area."},
        {"truncated.obj", std::string(kQuad).substr(0, 60), LoadStatus::Rejected,
         "Input must have at least one triangle."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        model.sharedPositions = {1, 2, 3};
        model.coneSingularities = {0};
        rejection = Rejection();
        std::string console;
        EXPECT_EQ(load(file(c.name, c.text), true, &console), c.status);
        EXPECT_NE(console.find(c.message), std::string::npos) << console;
        EXPECT_EQ(rejection.calls, 1);
        EXPECT_EQ(rejection.title, "Input Mesh Not Accepted");
        if (c.status == LoadStatus::ParseFailed) {
            EXPECT_NE(console.find("Failed to load/parse .obj."), std::string::npos) << console;
            EXPECT_EQ(rejection.text.find(c.message), 0u) << rejection.text;
        } else {
            EXPECT_EQ(rejection.text.find("Cannot process input: "), 0u) << rejection.text;
        }
        expectEmptyModel();
    }
}

// What is not a regular file is refused before anything is read from it, with
// the reason on the console line.
TEST_F(LoaderTest, OnlyRegularFilesAreRead)
{
    ASSERT_EQ(mkfifo((dir + "/fifo.obj").c_str(), 0600), 0);
    struct Case {
        std::string path;
        const char* reason;
    };
    const std::vector<Case> cases = {
        {dir + "/does-not-exist.obj", "No such file or directory."},
        {dir, "it is a directory, not a regular file."},
        {dir + "/fifo.obj", "it is a pipe (FIFO), not a regular file."},
        {"/dev/zero", "it is a device, not a regular file."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        rejection = Rejection();
        std::string console;
        EXPECT_EQ(load(c.path, true, &console), LoadStatus::ParseFailed);
        EXPECT_NE(console.find("Cannot open " + c.path + ": " + c.reason + "\nFailed to load/parse .obj.\n"),
                  std::string::npos)
            << console;
        EXPECT_EQ(rejection.calls, 1);
        EXPECT_NE(rejection.text.find(c.reason), std::string::npos);
        expectEmptyModel();
    }
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
    iuv::UIntVector rcones;
    ASSERT_TRUE(loadOBJ(dir + "/e.obj", charts, rpos, rcolors, &rcones));
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

// Every coordinate is written in the shortest form that reads back as the
// same double; the text is read back by strtod, independently of the reader.
TEST(ObjWriter, CoordinatesReadBackBitIdentical)
{
    const testsupport::TempDir dir("tarnwick_objw");
    const iuv::DoubleVector pos = {123456.001, 654321.002, 0.1 + 0.2, 1e-300, -2.5e-7, 1000.0000000000001,
                                   0.0,        1.0 / 3.0,  -0.0};
    const iuv::DoubleVector colors = {0.1, 0.7, 1.0 / 7.0, 1, 0, 0.5, 0.25, 0.125, 2.0 / 3.0};
    Chart chart;
    chart.triIndicesPos = {0, 1, 2};
    chart.triIndicesUV = {0, 1, 2};
    chart.uvCoords2D = {0.1, 1.0 / 3.0, 1, 1e-17, 0.9999999999999999, 0.5};
    ASSERT_TRUE(writeLayoutOBJ(chart, pos, colors, {}, dir.file("x.obj")));
    const std::string text = readTextFile(dir.file("x.obj"));
    EXPECT_EQ(text.substr(0, text.find('\n')), "v 123456.001 654321.002 0.30000000000000004 0.1 0.7 0.14285714285714285");

    std::vector<double> values, uvs;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string keyword, word;
        words >> keyword;
        if (keyword != "v" && keyword != "vt")
            continue;
        while (words >> word)
            (keyword == "v" ? values : uvs).push_back(std::strtod(word.c_str(), nullptr));
    }
    ASSERT_EQ(values.size(), 18u);
    for (size_t i = 0; i < 3; ++i) {
        for (size_t k = 0; k < 3; ++k) {
            EXPECT_EQ(std::memcmp(&values[6 * i + k], &pos[3 * i + k], sizeof(double)), 0) << i << " " << k;
            EXPECT_EQ(std::memcmp(&values[6 * i + 3 + k], &colors[3 * i + k], sizeof(double)), 0) << i << " " << k;
        }
    }
    ASSERT_EQ(uvs.size(), 6u);
    for (size_t i = 0; i < 6; ++i)
        EXPECT_EQ(std::memcmp(&uvs[i], &chart.uvCoords2D[i], sizeof(double)), 0) << i;

    // The reader keeps them as well.
    ChartList charts;
    iuv::DoubleVector rpos, rcolors;
    testing::internal::CaptureStdout();
    ASSERT_TRUE(loadOBJ(dir.file("x.obj"), charts, rpos, rcolors));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(std::memcmp(rpos.data(), pos.data(), pos.size() * sizeof(double)), 0);
    EXPECT_EQ(std::memcmp(rcolors.data(), colors.data(), colors.size() * sizeof(double)), 0);
}
