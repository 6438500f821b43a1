#include "io/result_files.h"
#include "io/palette.h"
#include "base/file_output.h"
#include "topology/halfedge.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <iostream>
#include <sstream>

namespace {

void reportOpenFailure(const std::string& filename)
{
    std::cout << "Unable to open file " << filename << " for writing." << std::endl;
}


} // namespace

std::string statsJSONText(const UnwrappingStats& stats, double boxifyTime)
{
    std::ostringstream s;
    s << "{\n";
    s << "  \"boxifyTime\":" << boxifyTime << ",\n";
    s << "  \"numVertices\":" << stats.numVertices << ",\n";
    s << "  \"numTriangles\":" << stats.numTriangles << ",\n";
    s << "  \"numCharts\":" << stats.numCharts << ",\n";
    s << "  \"packingEfficiency\":" << stats.packingEfficiency << ",\n";
    s << "  \"normBLen\":" << stats.normBLen << ",\n";
    s << "  \"flipsFound\":" << (stats.flipsFound ? "true" : "false") << ",\n";
    s << "  \"overlapsFound\":" << (stats.overlapsFound ? "true" : "false") << "\n";
    s << "}\n";
    return s.str();
}

bool writeResultJSON(const UnwrappingStats& stats, double boxifyTime, const std::string& filename)
{
    const std::string body = statsJSONText(stats, boxifyTime);

    std::cout << "//BEGIN STATS" << std::endl;
    std::istringstream lines(body);
    std::string line;
    while (std::getline(lines, line))
        std::cout << line << std::endl;
    std::cout << "//END STATS" << std::endl;

    ResultFile file(filename);
    if (!file.isOpen()) {
        reportOpenFailure(filename);
        return false;
    }
    file.stream() << body;
    return file.commit();
}

namespace {

std::string rgbText(Rgb8 c)
{
    std::ostringstream s;
    s << "rgb(" << c.r << ", " << c.g << ", " << c.b << ")";
    return s.str();
}

// Maps UV points into the drawing: 1024 units on the side of a square of the
// charts' total UV area, v growing upwards.
struct SvgMapping {
    double scale;
    double minU;
    double minV;
    double height;

    double x(double u) const { return u * scale - minU * scale; }
    double y(double v) const { return height - (v * scale - minV * scale); }
};

// Appends v as a stream with default settings prints it (six significant
// digits, the shorter of fixed and scientific notation): the drawings have
// many thousands of coordinates, which the stream formats slowly.
void appendNumber(std::string& out, double v)
{
    char digits[64];
    const std::to_chars_result r = std::to_chars(digits, digits + sizeof digits, v, std::chars_format::general, 6);
    out.append(digits, r.ptr);
}

// "x,y" of a UV point in the drawing.
void appendPoint(std::string& out, const SvgMapping& map, double u, double v)
{
    appendNumber(out, map.x(u));
    out += ',';
    appendNumber(out, map.y(v));
}

void writeChartOutlines(std::string& out, const Chart& chart, const SvgMapping& map)
{
    HalfedgeMesh mesh;
    if (buildHalfedgeMesh(chart.triIndicesUV, chart.numUVVertices(), mesh))
        return;
    const size_t limit = mesh.halfedges.size();
    for (uint32_t start : mesh.boundaryLoops) {
        out += "    <polygon points=\"";
        uint32_t h = start;
        for (size_t steps = 0; steps <= limit; ++steps) {
            const uint32_t v = mesh.source(h);
            appendPoint(out, map, chart.uvCoords2D[2 * v], chart.uvCoords2D[2 * v + 1]);
            out += ' ';
            h = mesh.halfedges[h].next;
            if (h == start || h == InvalidIndex)
                break;
        }
        out += "\" style=\"stroke-linecap:round;stroke-linejoin:bevel;fill:none;"
               "stroke:rgb(60, 60, 60);stroke-width:3\" />\n";
    }
}

} // namespace

bool writeAtlasSVG(const ChartList& charts, const UVBox& bounds, const std::string& filename,
                   const std::vector<double>* lines, const std::vector<bool>* markedTriangles)
{
    ResultFile file(filename);
    if (!file.isOpen()) {
        reportOpenFailure(filename);
        return false;
    }
    std::ostream& out = file.stream();

    // A layout without area (or without charts) is drawn at unit scale inside
    // an empty frame rather than with infinite or undefined coordinates.
    const double area = totalUVArea(charts);
    SvgMapping map;
    map.scale = (area > 0.0 && std::isfinite(area)) ? 1024.0 / std::sqrt(area) : 1.0;
    const bool emptyBox = bounds.isInverted();
    map.minU = emptyBox ? 0.0 : bounds.minU;
    map.minV = emptyBox ? 0.0 : bounds.minV;
    const double width = emptyBox ? 0.0 : (bounds.maxU - bounds.minU) * map.scale;
    map.height = emptyBox ? 0.0 : (bounds.maxV - bounds.minV) * map.scale;

    out << "<?xml version=\"1.0\"?>\n";
    out << "<svg" << " width=\"" << width << "\"" << " height=\"" << map.height << "\""
        << " xmlns=\"http://www.w3.org/2000/svg\">\n";
    out << "    <rect" << " x=\"" << 0 << "\"" << " y=\"" << 0 << "\"" << " width=\"" << width << "\""
        << " height=\"" << map.height << "\"" << " style=\"fill:none;stroke:gray;stroke-width:8\""
        << "/>\n";

    // The shapes are put together in memory and written in one go.
    std::string shapes;
    size_t triangleNumber = 0;
    for (size_t c = 0; c < charts.size(); ++c) {
        const Chart& chart = charts[c];
        const std::string colour = rgbText(gammaCorrected(chartColor(c)));
        const std::string unmarkedStyle = "\" style=\"fill:" + colour + ";stroke:" + colour + "\" fill-opacity=\"1.0\" />\n";
        const std::string markedStyle = "\" style=\"fill:red;stroke:" + colour + "\" fill-opacity=\"1.0\" />\n";
        const size_t nT = chart.triIndicesUV.size() / 3;
        for (size_t t = 0; t < nT; ++t, ++triangleNumber) {
            shapes += "    <polygon points=\"";
            for (size_t k = 0; k < 3; ++k) {
                const size_t v = chart.triIndicesUV[3 * t + k];
                if (k > 0)
                    shapes += ' ';
                appendPoint(shapes, map, chart.uvCoords2D[2 * v], chart.uvCoords2D[2 * v + 1]);
            }
            const bool marked = markedTriangles && triangleNumber < markedTriangles->size() &&
                                (*markedTriangles)[triangleNumber];
            shapes += marked ? markedStyle : unmarkedStyle;
        }
    }

    for (const Chart& chart : charts)
        writeChartOutlines(shapes, chart, map);

    if (lines) {
        for (size_t i = 0; i + 3 < lines->size(); i += 4) {
            shapes += "    <line x1=\"";
            appendNumber(shapes, map.x((*lines)[i]));
            shapes += "\" y1=\"";
            appendNumber(shapes, map.y((*lines)[i + 1]));
            shapes += "\" x2=\"";
            appendNumber(shapes, map.x((*lines)[i + 2]));
            shapes += "\" y2=\"";
            appendNumber(shapes, map.y((*lines)[i + 3]));
            shapes += "\" style=\"stroke:red;stroke-width:4\"/>\n";
        }
    }
    out.write(shapes.data(), static_cast<std::streamsize>(shapes.size()));
    out << "</svg>\n";
    return file.commit();
}
