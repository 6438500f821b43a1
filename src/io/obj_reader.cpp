#include "io/obj_reader.h"

#include <tiny_obj_loader.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>

namespace {

// Vertex numbers are stored in 32 bits with all bits set reserved.
const long long kMaxElements = 4294967295LL;

bool allFinite(const std::vector<tinyobj::real_t>& values)
{
    return std::all_of(values.begin(), values.end(), [](tinyobj::real_t x) { return std::isfinite(x); });
}

// Checks what the parser handed back before anything indexes with it. Returns
// an empty string when the data is usable, otherwise the reason.
std::string validateParsedData(const tinyobj::attrib_t& attrib, const std::vector<tinyobj::shape_t>& shapes)
{
    if (!allFinite(attrib.vertices) || !allFinite(attrib.texcoords) || !allFinite(attrib.colors))
        return "The file holds coordinates that are not finite numbers.";
    const long long numVertices = static_cast<long long>(attrib.vertices.size() / 3);
    const long long numTexCoords = static_cast<long long>(attrib.texcoords.size() / 2);
    if (numVertices >= kMaxElements || numTexCoords >= kMaxElements)
        return "The file holds more vertices than can be processed.";
    for (const tinyobj::shape_t& shape : shapes) {
        if (shape.mesh.indices.size() % 3 != 0)
            return "The file holds faces that could not be triangulated.";
        for (const tinyobj::index_t& idx : shape.mesh.indices) {
            if (idx.vertex_index < 0 || idx.vertex_index >= numVertices)
                return "The file holds faces that refer to vertices that do not exist.";
            if (idx.texcoord_index < -1 || idx.texcoord_index >= numTexCoords)
                return "The file holds faces that refer to texture coordinates that do not exist.";
        }
    }
    return std::string();
}

// One chart per shape; texture coordinates renumbered compactly in the order
// of their file index. Returns true when the shape is untextured.
bool buildChart(const tinyobj::shape_t& shape, const tinyobj::attrib_t& attrib, Chart& chart)
{
    const std::vector<tinyobj::index_t>& indices = shape.mesh.indices;
    chart.triIndicesPos.reserve(indices.size());
    bool untextured = false;
    for (const tinyobj::index_t& idx : indices) {
        chart.triIndicesPos.push_back(static_cast<uint32_t>(idx.vertex_index));
        if (idx.texcoord_index < 0)
            untextured = true;
    }
    if (untextured || indices.empty())
        return untextured;

    std::map<int, uint32_t> renumbered;
    for (const tinyobj::index_t& idx : indices)
        renumbered.emplace(idx.texcoord_index, 0u);
    uint32_t next = 0;
    chart.uvCoords2D.reserve(2 * renumbered.size());
    for (auto& entry : renumbered) {
        entry.second = next++;
        chart.uvCoords2D.push_back(attrib.texcoords[2 * static_cast<size_t>(entry.first)]);
        chart.uvCoords2D.push_back(attrib.texcoords[2 * static_cast<size_t>(entry.first) + 1]);
    }
    chart.triIndicesUV.reserve(indices.size());
    for (const tinyobj::index_t& idx : indices)
        chart.triIndicesUV.push_back(renumbered[idx.texcoord_index]);
    return false;
}

// Parses a cone line "c N" (blanks allowed before and after the c). Returns
// false for every other line; number receives N, which may be out of range.
bool parseConeLine(const std::string& line, long long& number)
{
    size_t i = line.find_first_not_of(" \t\r");
    if (i == std::string::npos || line[i] != 'c')
        return false;
    ++i;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
        ++i;
    if (i >= line.size())
        return false;
    const char* begin = line.c_str() + i;
    if (!(std::isdigit(static_cast<unsigned char>(*begin)) || *begin == '-' || *begin == '+'))
        return false;
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(begin, &end, 10);
    if (end == begin)
        return false;
    number = (errno == ERANGE) ? (value < 0 ? -1 : kMaxElements + 1) : value;
    return true;
}

} // namespace

bool loadOBJ(const std::string& filename, ChartList& charts, iuv::DoubleVector& sharedPositions,
             iuv::DoubleVector& vertexColors)
{
    tinyobj::attrib_t attrib;
    std::vector<tinyobj::shape_t> shapes;
    std::vector<tinyobj::material_t> materials;
    std::string warn;
    std::string err;
    // Colours only when every vertex line carries them; no material directory.
    const bool ok = tinyobj::LoadObj(&attrib, &shapes, &materials, &warn, &err, filename.c_str(),
                                     nullptr, true, false);
    const std::string messages = warn + err;
    if (!messages.empty())
        std::cerr << messages << std::endl;
    if (!ok) {
        std::cout << "Failed to load/parse .obj." << std::endl;
        return false;
    }
    const std::string problem = validateParsedData(attrib, shapes);
    if (!problem.empty()) {
        std::cout << problem << std::endl;
        std::cout << "Failed to load/parse .obj." << std::endl;
        return false;
    }
    std::cout << "Successfully loaded." << std::endl;

    sharedPositions.assign(attrib.vertices.begin(), attrib.vertices.end());
    vertexColors.clear();
    if (attrib.colors.size() == attrib.vertices.size())
        vertexColors.assign(attrib.colors.begin(), attrib.colors.end());

    size_t untextured = 0;
    charts.clear();
    charts.reserve(shapes.size());
    for (const tinyobj::shape_t& shape : shapes) {
        charts.emplace_back();
        if (buildChart(shape, attrib, charts.back()))
            ++untextured;
    }
    std::cout << "Read " << shapes.size() << " parts, including " << untextured << " untextured ones."
              << std::endl;
    return true;
}

iuv::UIntVector readConeSingularities(const std::string& filename, size_t vertexCount)
{
    iuv::UIntVector cones;
    std::ifstream in(filename);
    if (!in)
        return cones;
    std::string line;
    size_t lineNumber = 0;
    while (std::getline(in, line)) {
        ++lineNumber;
        long long number = 0;
        if (!parseConeLine(line, number))
            continue;
        if (number < 1 || static_cast<unsigned long long>(number) > vertexCount) {
            std::cout << "Ignoring cone singularity on line " << lineNumber
                      << ": vertex number " << number << " is out of range." << std::endl;
            continue;
        }
        cones.push_back(static_cast<uint32_t>(number - 1));
    }
    return cones;
}

bool hasDegenerateTriangle(const Chart& chart, const iuv::DoubleVector& positions)
{
    const size_t nT = chart.numTriangles();
    for (size_t t = 0; t < nT; ++t) {
        const uint32_t a = chart.triIndicesPos[3 * t], b = chart.triIndicesPos[3 * t + 1],
                       c = chart.triIndicesPos[3 * t + 2];
        if (a == b || b == c || a == c)
            return true;
        const double* pa = positions.data() + 3 * size_t(a);
        const double* pb = positions.data() + 3 * size_t(b);
        const double* pc = positions.data() + 3 * size_t(c);
        const double e1[3] = {pb[0] - pa[0], pb[1] - pa[1], pb[2] - pa[2]};
        const double e2[3] = {pc[0] - pa[0], pc[1] - pa[1], pc[2] - pa[2]};
        const double e3[3] = {pc[0] - pb[0], pc[1] - pb[1], pc[2] - pb[2]};
        const double cx = e1[1] * e2[2] - e1[2] * e2[1];
        const double cy = e1[2] * e2[0] - e1[0] * e2[2];
        const double cz = e1[0] * e2[1] - e1[1] * e2[0];
        const double cross2 = cx * cx + cy * cy + cz * cz;
        const double l1 = e1[0] * e1[0] + e1[1] * e1[1] + e1[2] * e1[2];
        const double l2 = e2[0] * e2[0] + e2[1] * e2[1] + e2[2] * e2[2];
        const double l3 = e3[0] * e3[0] + e3[1] * e3[1] + e3[2] * e3[2];
        const double longest2 = std::max(l1, std::max(l2, l3));
        // |cross| is twice the area; compare it with the squared longest edge.
        if (!(cross2 > 1e-24 * longest2 * longest2))
            return true;
    }
    return false;
}

