#include "io/gltf_reader.h"

#include "io/gltf_accessors.h"

#include "base/file_input.h"

#include <tiny_gltf.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <iostream>
#include <tuple>
#include <unordered_map>

namespace {

// Vertex numbers are stored in 32 bits with all bits set reserved.
constexpr uint64_t kMaxVertices = 4294967295ull;
// The parser addresses a binary file with 32-bit lengths.
constexpr uint64_t kMaxFileSize = 4294967295ull;

struct PrimitiveData {
    std::vector<double> positions; // x,y,z per glTF vertex
    std::vector<double> texcoords; // s,t per glTF vertex, or empty
    std::vector<double> colors;    // r,g,b per glTF vertex, or empty
    std::vector<uint32_t> indices; // three per triangle
};

bool allFinite(const std::vector<double>& values)
{
    return std::all_of(values.begin(), values.end(), [](double x) { return std::isfinite(x); });
}

// Images are never decoded: only the geometry is read.
bool skipImage(tinygltf::Image*, const int, std::string*, std::string*, int, int, const unsigned char*, int, void*)
{
    return true;
}

std::string readColors(const tinygltf::Model& model, int accessor, std::vector<double>& rgb)
{
    const int type = accessor >= 0 && static_cast<size_t>(accessor) < model.accessors.size()
                         ? model.accessors[static_cast<size_t>(accessor)].type
                         : TINYGLTF_TYPE_VEC3;
    const int components = type == TINYGLTF_TYPE_VEC4 ? 4 : 3;
    std::vector<double> values;
    const std::string problem = readAccessorValues(model, accessor, components, "COLOR_0", values);
    if (!problem.empty() || components == 3) {
        rgb = std::move(values);
        return problem;
    }
    rgb.clear();
    rgb.reserve(values.size() / 4 * 3);
    for (size_t i = 0; i + 3 < values.size(); i += 4)
        rgb.insert(rgb.end(), values.begin() + static_cast<long>(i), values.begin() + static_cast<long>(i) + 3);
    return std::string();
}

std::string readPrimitive(const tinygltf::Model& model, const tinygltf::Primitive& primitive, PrimitiveData& data)
{
    if (primitive.mode != -1 && primitive.mode != TINYGLTF_MODE_TRIANGLES)
        return "The file holds a primitive that is not made of triangles.";
    const auto position = primitive.attributes.find("POSITION");
    if (position == primitive.attributes.end())
        return "The file holds a primitive without POSITION.";
    if (accessorComponentType(model, position->second) != TINYGLTF_COMPONENT_TYPE_FLOAT &&
        accessorComponentType(model, position->second) != -1)
        return "POSITION must hold floating-point values.";
    std::string problem = readAccessorValues(model, position->second, 3, "POSITION", data.positions);
    const size_t n = data.positions.size() / 3;
    const auto texcoord = primitive.attributes.find("TEXCOORD_0");
    if (problem.empty() && texcoord != primitive.attributes.end()) {
        problem = readAccessorValues(model, texcoord->second, 2, "TEXCOORD_0", data.texcoords);
        if (problem.empty() && data.texcoords.size() != 2 * n)
            problem = "TEXCOORD_0 and POSITION hold different numbers of vertices.";
    }
    const auto color = primitive.attributes.find("COLOR_0");
    if (problem.empty() && color != primitive.attributes.end()) {
        problem = readColors(model, color->second, data.colors);
        if (problem.empty() && data.colors.size() != 3 * n)
            problem = "COLOR_0 and POSITION hold different numbers of vertices.";
    }
    if (!problem.empty())
        return problem;
    if (n >= kMaxVertices)
        return "The file holds more vertices than can be processed.";
    if (!allFinite(data.positions) || !allFinite(data.texcoords) || !allFinite(data.colors))
        return "The file holds coordinates that are not finite numbers.";

    if (primitive.indices >= 0) {
        problem = readIndexValues(model, primitive.indices, data.indices);
        if (!problem.empty())
            return problem;
        for (uint32_t index : data.indices) {
            if (index >= n)
                return "The file holds faces that refer to vertices that do not exist.";
        }
    } else {
        data.indices.resize(n);
        for (size_t i = 0; i < n; ++i)
            data.indices[i] = static_cast<uint32_t>(i);
    }
    if (data.indices.size() % 3 != 0)
        return "The file holds a triangle primitive whose corner count is not a multiple of 3.";
    return std::string();
}

struct BitsHash {
    size_t operator()(const std::tuple<uint64_t, uint64_t, uint64_t>& key) const
    {
        const uint64_t h = std::get<0>(key) * 0x9E3779B97F4A7C15ull ^ (std::get<1>(key) + 0x632BE59BD9B4E019ull) *
                                                                         0xC2B2AE3D27D4EB4Full ^
                           std::get<2>(key) * 0x165667B19E3779F9ull;
        return static_cast<size_t>(h ^ (h >> 29));
    }
};

uint64_t bitsOf(double x)
{
    uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return bits;
}

// Welds bit-identical positions across all primitives.
class PositionWelder {
public:
    uint32_t add(const double* p)
    {
        const auto key = std::make_tuple(bitsOf(p[0]), bitsOf(p[1]), bitsOf(p[2]));
        const auto found = ids_.emplace(key, static_cast<uint32_t>(positions_.size() / 3));
        if (found.second)
            positions_.insert(positions_.end(), p, p + 3);
        return found.first->second;
    }
    size_t size() const { return positions_.size() / 3; }
    const std::vector<double>& positions() const { return positions_; }

private:
    std::unordered_map<std::tuple<uint64_t, uint64_t, uint64_t>, uint32_t, BitsHash> ids_;
    std::vector<double> positions_;
};

// One chart from a primitive: corners on the welded 3D vertices; UV vertices
// for the distinct (3D vertex, texture coordinate) pairs of the used glTF
// vertices, numbered in increasing glTF vertex order.
void buildChart(const PrimitiveData& data, const std::vector<uint32_t>& vertexOf, Chart& chart)
{
    chart.triIndicesPos.reserve(data.indices.size());
    for (uint32_t index : data.indices)
        chart.triIndicesPos.push_back(vertexOf[index]);
    if (data.texcoords.empty())
        return;
    const size_t n = vertexOf.size();
    std::vector<char> used(n, 0);
    for (uint32_t index : data.indices)
        used[index] = 1;
    std::unordered_map<std::tuple<uint64_t, uint64_t, uint64_t>, uint32_t, BitsHash> uvIds;
    std::vector<uint32_t> uvOf(n, 0);
    for (size_t i = 0; i < n; ++i) {
        if (!used[i])
            continue;
        const double u = data.texcoords[2 * i];
        const double v = 1.0 - data.texcoords[2 * i + 1];
        const auto key = std::make_tuple(static_cast<uint64_t>(vertexOf[i]), bitsOf(u), bitsOf(v));
        const auto found = uvIds.emplace(key, static_cast<uint32_t>(chart.uvCoords2D.size() / 2));
        if (found.second) {
            chart.uvCoords2D.push_back(u);
            chart.uvCoords2D.push_back(v);
        }
        uvOf[i] = found.first->second;
    }
    chart.triIndicesUV.reserve(data.indices.size());
    for (uint32_t index : data.indices)
        chart.triIndicesUV.push_back(uvOf[index]);
}

// Parses the file with the glTF parser; returns its error text (or ours).
// Buffers and images named by the file are read like the file itself: regular
// files only, so that a URI naming a pipe or a device cannot hang the load.
bool readExternalFile(std::vector<unsigned char>* out, std::string* err, const std::string& path, void*)
{
    std::string contents;
    std::string whyNot;
    if (!readRegularFile(path, contents, whyNot, kMaxFileSize - 1)) {
        if (err)
            *err += "Cannot read " + path + ": " + whyNot + ".\n";
        return false;
    }
    out->assign(contents.begin(), contents.end());
    return true;
}

// URIs are taken as written: no shell-style expansion of their text.
std::string keepFilePath(const std::string& path, void*) { return path; }

std::string parseFile(const std::string& filename, tinygltf::Model& model, std::string& warnings)
{
    std::string contents;
    std::string whyNot;
    if (!readRegularFile(filename, contents, whyNot, kMaxFileSize - 1))
        return "Cannot read the file: " + whyNot + ".";
    if (contents.empty())
        return "The file is empty.";
    const std::vector<unsigned char> bytes(contents.begin(), contents.end());
    contents = std::string();
    const size_t slash = filename.find_last_of('/');
    const std::string baseDir = slash == std::string::npos ? std::string(".") : filename.substr(0, slash);

    tinygltf::TinyGLTF parser;
    parser.SetImageLoader(skipImage, nullptr);
    parser.SetFsCallbacks({&tinygltf::FileExists, &keepFilePath, &readExternalFile, &tinygltf::WriteWholeFile, nullptr});
    std::string error;
    bool ok = false;
    const bool binary = bytes.size() >= 4 && std::memcmp(bytes.data(), "glTF", 4) == 0;
    try {
        if (binary)
            ok = parser.LoadBinaryFromMemory(&model, &error, &warnings, bytes.data(),
                                             static_cast<unsigned int>(bytes.size()), baseDir);
        else
            ok = parser.LoadASCIIFromString(&model, &error, &warnings, reinterpret_cast<const char*>(bytes.data()),
                                            static_cast<unsigned int>(bytes.size()), baseDir);
    } catch (const std::exception& e) {
        ok = false;
        error = e.what();
    }
    if (ok)
        return std::string();
    while (!error.empty() && (error.back() == '\n' || error.back() == '\r' || error.back() == ' '))
        error.pop_back();
    return error.empty() ? std::string("The glTF parser refused the file.") : error;
}

void fail(const std::string& why, std::string* reason)
{
    std::cout << why << std::endl;
    std::cout << "Failed to load/parse glTF." << std::endl;
    if (reason)
        *reason = why;
}

} // namespace

bool isGLTFFileName(const std::string& filename)
{
    std::string lower;
    const size_t dot = filename.find_last_of('.');
    if (dot == std::string::npos || filename.find('/', dot) != std::string::npos)
        return false;
    for (size_t i = dot; i < filename.size(); ++i)
        lower.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(filename[i]))));
    return lower == ".gltf" || lower == ".glb";
}

bool loadGLTF(const std::string& filename, ChartList& charts, iuv::DoubleVector& sharedPositions,
              iuv::DoubleVector& vertexColors, std::vector<uint32_t>* fileVertexToModel, std::string* reason)
{
    charts.clear();
    sharedPositions.clear();
    vertexColors.clear();
    if (fileVertexToModel)
        fileVertexToModel->clear();

    tinygltf::Model model;
    std::string warnings;
    const std::string error = parseFile(filename, model, warnings);
    if (!warnings.empty())
        std::cerr << warnings << std::endl;
    if (!error.empty()) {
        fail(error, reason);
        return false;
    }

    std::vector<PrimitiveData> primitives;
    for (const tinygltf::Mesh& mesh : model.meshes) {
        for (const tinygltf::Primitive& primitive : mesh.primitives) {
            primitives.emplace_back();
            const std::string problem = readPrimitive(model, primitive, primitives.back());
            if (!problem.empty()) {
                fail(problem, reason);
                return false;
            }
        }
    }

    PositionWelder welder;
    const bool withColors =
        !primitives.empty() &&
        std::all_of(primitives.begin(), primitives.end(), [](const PrimitiveData& p) { return !p.colors.empty(); });
    std::vector<double> colors;
    std::vector<uint32_t> allVertices;
    ChartList result;
    size_t untextured = 0;
    for (const PrimitiveData& data : primitives) {
        const size_t n = data.positions.size() / 3;
        std::vector<uint32_t> vertexOf(n);
        for (size_t i = 0; i < n; ++i) {
            const size_t before = welder.size();
            vertexOf[i] = welder.add(&data.positions[3 * i]);
            if (withColors && welder.size() > before)
                colors.insert(colors.end(), data.colors.begin() + static_cast<long>(3 * i),
                              data.colors.begin() + static_cast<long>(3 * i + 3));
        }
        if (welder.size() >= kMaxVertices) {
            fail("The file holds more vertices than can be processed.", reason);
            return false;
        }
        result.emplace_back();
        buildChart(data, vertexOf, result.back());
        if (data.texcoords.empty())
            ++untextured;
        allVertices.insert(allVertices.end(), vertexOf.begin(), vertexOf.end());
    }
    std::cout << "Successfully loaded." << std::endl;
    sharedPositions.assign(welder.positions().begin(), welder.positions().end());
    vertexColors.assign(colors.begin(), colors.end());
    charts = std::move(result);
    if (fileVertexToModel)
        *fileVertexToModel = std::move(allVertices);
    std::cout << "Read " << charts.size() << " parts, including " << untextured << " untextured ones." << std::endl;
    return true;
}
