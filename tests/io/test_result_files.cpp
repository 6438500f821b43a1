#include "io/palette.h"
#include "io/result_files.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <sstream>

using testsupport::makeChart;
using testsupport::readTextFile;

namespace {

std::string captureJSON(const UnwrappingStats& stats, double boxifyTime, const std::string& path,
                        bool* ok = nullptr)
{
    testing::internal::CaptureStdout();
    const bool written = writeResultJSON(stats, boxifyTime, path);
    if (ok)
        *ok = written;
    return testing::internal::GetCapturedStdout();
}

} // namespace

TEST(Palette, ColoursAndGamma)
{
    EXPECT_EQ(chartColor(0).r, 172);
    EXPECT_EQ(chartColor(33).r, chartColor(1).r); // index modulo 32
    EXPECT_EQ(chartColor(33).g, 87);
    const Rgb8 g = gammaCorrected(chartColor(0));
    EXPECT_EQ(g.r, 214);
    EXPECT_EQ(g.g, 239);
    EXPECT_EQ(g.b, 217);
    const Rgb8 black = gammaCorrected({0, 0, 0});
    const Rgb8 white = gammaCorrected({255, 255, 255});
    EXPECT_EQ(black.r, 0);
    EXPECT_EQ(white.r, 255);
}

TEST(StatisticsFile, ExactTextOnConsoleAndInFile)
{
    testsupport::TempDir tmp("tarnwick_json");
    const std::string& dir = tmp.path();
    UnwrappingStats s;
    s.numCharts = 3;
    s.numVertices = 120;
    s.numTriangles = 200;
    s.packingEfficiency = 71.234567;
    s.normBLen = 5.5;
    s.flipsFound = true;
    s.overlapsFound = false;
    const std::string out = captureJSON(s, 1234.5678, dir + "/a.json");
    const std::string body = "{\n"
                             "  \"boxifyTime\":1234.57,\n"
                             "  \"numVertices\":120,\n"
                             "  \"numTriangles\":200,\n"
                             "  \"numCharts\":3,\n"
                             "  \"packingEfficiency\":71.2346,\n"
                             "  \"normBLen\":5.5,\n"
                             "  \"flipsFound\":true,\n"
                             "  \"overlapsFound\":false\n"
                             "}\n";
    EXPECT_EQ(out, "//BEGIN STATS\n" + body + "//END STATS\n");
    EXPECT_EQ(readTextFile(dir + "/a.json"), body);

    // Small and whole numbers in their shortest general form.
    UnwrappingStats small;
    small.normBLen = 1e-7;
    captureJSON(small, 12.5, dir + "/b.json");
    const std::string text = readTextFile(dir + "/b.json");
    for (const char* field : {"\"boxifyTime\":12.5,", "\"normBLen\":1e-07,", "\"packingEfficiency\":0,"})
        EXPECT_NE(text.find(field), std::string::npos) << field;
}

TEST(StatisticsFile, UnwritableFileIsReportedButConsoleBlockStays)
{
    bool ok = true;
    const std::string out = captureJSON(UnwrappingStats(), 0.0, "/nonexistent-dir/x.json", &ok);
    EXPECT_FALSE(ok);
    EXPECT_NE(out.find("//BEGIN STATS\n"), std::string::npos);
    EXPECT_NE(out.find("//END STATS\n"), std::string::npos);
    EXPECT_NE(out.find("Unable to open file /nonexistent-dir/x.json for writing.\n"), std::string::npos);
}

TEST(AtlasSVG, OneTriangleGolden)
{
    testsupport::TempDir tmp("tarnwick_svg");
    const std::string& dir = tmp.path();
    ChartList charts = {makeChart({0, 1, 2}, {}, {0, 0, 1, 0, 0, 1})};
    ASSERT_TRUE(writeAtlasSVG(charts, UVBox(0, 0, 1, 1), dir + "/t.svg"));
    const std::string expected =
        "<?xml version=\"1.0\"?>\n"
        "<svg width=\"1448.15\" height=\"1448.15\" xmlns=\"http://www.w3.org/2000/svg\">\n"
        "    <rect x=\"0\" y=\"0\" width=\"1448.15\" height=\"1448.15\" "
        "style=\"fill:none;stroke:gray;stroke-width:8\"/>\n"
        "    <polygon points=\"0,1448.15 1448.15,1448.15 0,0\" "
        "style=\"fill:rgb(214, 239, 217);stroke:rgb(214, 239, 217)\" fill-opacity=\"1.0\" />\n"
        "    <polygon points=\"1448.15,1448.15 0,0 0,1448.15 \" "
        "style=\"stroke-linecap:round;stroke-linejoin:bevel;fill:none;stroke:rgb(60, 60, 60);"
        "stroke-width:3\" />\n"
        "</svg>\n";
    const std::string text = readTextFile(dir + "/t.svg");
    // The outline may start at any vertex of the loop; compare all but that line exactly.
    const size_t outline = text.find("    <polygon points=\"", text.find("fill-opacity"));
    ASSERT_NE(outline, std::string::npos);
    EXPECT_EQ(text.substr(0, outline), expected.substr(0, expected.find("    <polygon points=\"1448.15,1448.15 0,0")));
    EXPECT_NE(text.find("stroke:rgb(60, 60, 60);stroke-width:3\" />\n</svg>\n"), std::string::npos);
    for (const char* point : {"0,1448.15 ", "1448.15,1448.15 ", "0,0 "})
        EXPECT_NE(text.find(point, outline), std::string::npos) << point;
}

TEST(AtlasSVG, MarkedTrianglesLinesAndPaletteIndex)
{
    testsupport::TempDir tmp("tarnwick_svg");
    const std::string& dir = tmp.path();
    ChartList charts;
    for (int i = 0; i < 34; ++i)
        charts.push_back(makeChart({0, 1, 2}, {}, {double(i), 0, double(i) + 1, 0, double(i), 1}));
    std::vector<bool> marked(34, false);
    marked[1] = true;
    std::vector<double> lines = {0, 0, 1, 1};
    ASSERT_TRUE(writeAtlasSVG(charts, chartListUVBounds(charts), dir + "/m.svg", &lines, &marked));
    const std::string text = readTextFile(dir + "/m.svg");
    const Rgb8 c1 = gammaCorrected(chartColor(1));
    std::ostringstream colour;
    colour << "rgb(" << c1.r << ", " << c1.g << ", " << c1.b << ")";
    EXPECT_NE(text.find("style=\"fill:red;stroke:" + colour.str() + "\""), std::string::npos);
    // Chart 33 uses palette entry 1 and is not marked.
    EXPECT_NE(text.find("style=\"fill:" + colour.str() + ";stroke:" + colour.str() + "\""), std::string::npos);
    EXPECT_NE(text.find("<line x1=\""), std::string::npos);
    EXPECT_NE(text.find("style=\"stroke:red;stroke-width:4\"/>"), std::string::npos);
    size_t polygons = 0;
    for (size_t p = text.find("<polygon"); p != std::string::npos; p = text.find("<polygon", p + 1))
        ++polygons;
    EXPECT_EQ(polygons, 34u + 34u); // one per triangle plus one outline per chart
}

TEST(AtlasSVG, EmptyLayoutStillWellFormed)
{
    testsupport::TempDir tmp("tarnwick_svg");
    const std::string& dir = tmp.path();
    ASSERT_TRUE(writeAtlasSVG(ChartList(), UVBox(), dir + "/e.svg"));
    const std::string text = readTextFile(dir + "/e.svg");
    EXPECT_EQ(text, "<?xml version=\"1.0\"?>\n"
                    "<svg width=\"0\" height=\"0\" xmlns=\"http://www.w3.org/2000/svg\">\n"
                    "    <rect x=\"0\" y=\"0\" width=\"0\" height=\"0\" "
                    "style=\"fill:none;stroke:gray;stroke-width:8\"/>\n"
                    "</svg>\n");
    testing::internal::CaptureStdout();
    EXPECT_FALSE(writeAtlasSVG(ChartList(), UVBox(), "/nonexistent-dir/e.svg"));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Unable to open file /nonexistent-dir/e.svg for writing.\n");
}
