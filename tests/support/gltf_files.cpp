#include "support/gltf_files.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <utility>

namespace testsupport {

namespace {

std::string base64(const std::string& bytes)
{
    static const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const uint32_t v = (uint8_t(bytes[i]) << 16) | (uint8_t(bytes[i + 1]) << 8) | uint8_t(bytes[i + 2]);
        for (int k = 3; k >= 0; --k)
            out.push_back(digits[(v >> (6 * k)) & 63]);
    }
    if (i + 1 == bytes.size()) {
        const uint32_t v = uint8_t(bytes[i]) << 16;
        out += {digits[(v >> 18) & 63], digits[(v >> 12) & 63], '=', '='};
    } else if (i + 2 == bytes.size()) {
        const uint32_t v = (uint8_t(bytes[i]) << 16) | (uint8_t(bytes[i + 1]) << 8);
        out += {digits[(v >> 18) & 63], digits[(v >> 12) & 63], digits[(v >> 6) & 63], '='};
    }
    return out;
}

template <typename T>
void append(std::string& buffer, const std::vector<T>& values)
{
    const size_t offset = buffer.size();
    buffer.resize(offset + values.size() * sizeof(T));
    if (!values.empty())
        std::memcpy(&buffer[offset], values.data(), values.size() * sizeof(T));
}

// The JSON (without "buffers") and the binary buffer.
std::pair<std::string, std::string> layout(const GltfMesh& mesh, int primitives)
{
    std::string buffer;
    std::ostringstream views, accessors, attributes;
    int next = 0;
    auto add = [&](const std::string& data, int componentType, size_t count, const char* type) {
        if (next > 0) {
            views << ",";
            accessors << ",";
        }
        views << "{\"buffer\":0,\"byteOffset\":" << buffer.size() << ",\"byteLength\":" << data.size() << "}";
        accessors << "{\"bufferView\":" << next << ",\"componentType\":" << componentType << ",\"count\":" << count
                  << ",\"type\":\"" << type << "\"}";
        buffer += data;
        return next++;
    };
    std::string data;
    append(data, mesh.positions);
    attributes << "\"POSITION\":" << add(data, 5126, mesh.positions.size() / 3, "VEC3");
    if (!mesh.texcoords.empty()) {
        data.clear();
        append(data, mesh.texcoords);
        attributes << ",\"TEXCOORD_0\":" << add(data, 5126, mesh.texcoords.size() / 2, "VEC2");
    }
    if (!mesh.colors.empty()) {
        data.clear();
        append(data, mesh.colors);
        attributes << ",\"COLOR_0\":" << add(data, 5126, mesh.colors.size() / 3, "VEC3");
    }
    std::string primitive = "{\"attributes\":{" + attributes.str() + "}";
    if (!mesh.indices.empty()) {
        data.clear();
        append(data, mesh.indices);
        primitive += ",\"indices\":" + std::to_string(add(data, 5125, mesh.indices.size(), "SCALAR"));
    }
    primitive += ",\"mode\":4}";
    std::string primitiveList = primitive;
    for (int i = 1; i < primitives; ++i)
        primitiveList += "," + primitive;
    std::ostringstream json;
    json << "{\"asset\":{\"version\":\"2.0\"},\"scene\":0,\"scenes\":[{\"nodes\":[0]}],\"nodes\":[{\"mesh\":0}],"
         << "\"meshes\":[{\"primitives\":[" << primitiveList << "]}],"
         << "\"bufferViews\":[" << views.str() << "],\"accessors\":[" << accessors.str() << "],";
    return {json.str(), buffer};
}

void put32(std::string& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 255));
}

} // namespace

std::string gltfText(const GltfMesh& mesh, int primitives)
{
    const auto parts = layout(mesh, primitives);
    return parts.first + "\"buffers\":[{\"byteLength\":" + std::to_string(parts.second.size()) +
           ",\"uri\":\"data:application/octet-stream;base64," + base64(parts.second) + "\"}]}";
}

std::string glbBytes(const GltfMesh& mesh)
{
    auto parts = layout(mesh, 1);
    std::string json = parts.first + "\"buffers\":[{\"byteLength\":" + std::to_string(parts.second.size()) + "}]}";
    while (json.size() % 4)
        json.push_back(' ');
    std::string bin = parts.second;
    while (bin.size() % 4)
        bin.push_back('\0');
    std::string out = "glTF";
    put32(out, 2);
    put32(out, static_cast<uint32_t>(12 + 8 + json.size() + 8 + bin.size()));
    put32(out, static_cast<uint32_t>(json.size()));
    put32(out, 0x4E4F534A);
    out += json;
    put32(out, static_cast<uint32_t>(bin.size()));
    put32(out, 0x004E4942);
    out += bin;
    return out;
}

meshgen::MeshData canonicalForGltf(const meshgen::MeshData& mesh)
{
    meshgen::MeshData out = mesh;
    if (!mesh.isTextured())
        return out;
    std::map<std::pair<uint32_t, uint32_t>, uint32_t> pairs;
    for (size_t k = 0; k < mesh.posIndices.size(); ++k)
        pairs.emplace(std::make_pair(mesh.posIndices[k], mesh.uvIndices[k]), 0u);
    out.uvs.clear();
    uint32_t next = 0;
    for (auto& entry : pairs) {
        entry.second = next++;
        out.uvs.push_back(mesh.uvs[2 * entry.first.second]);
        out.uvs.push_back(mesh.uvs[2 * entry.first.second + 1]);
    }
    for (size_t k = 0; k < mesh.posIndices.size(); ++k)
        out.uvIndices[k] = pairs[std::make_pair(mesh.posIndices[k], mesh.uvIndices[k])];
    return out;
}

GltfMesh toGltfMesh(const meshgen::MeshData& mesh)
{
    const meshgen::MeshData canonical = canonicalForGltf(mesh);
    GltfMesh out;
    const size_t n = canonical.isTextured() ? canonical.numUVVertices() : canonical.numVertices();
    std::vector<uint32_t> posOf(n);
    for (size_t k = 0; k < canonical.posIndices.size(); ++k)
        posOf[canonical.isTextured() ? canonical.uvIndices[k] : canonical.posIndices[k]] = canonical.posIndices[k];
    for (size_t i = 0; i < n; ++i) {
        for (int c = 0; c < 3; ++c) {
            out.positions.push_back(static_cast<float>(canonical.positions[3 * posOf[i] + c]));
            if (!canonical.colors.empty())
                out.colors.push_back(static_cast<float>(canonical.colors[3 * posOf[i] + c]));
        }
        if (canonical.isTextured()) {
            out.texcoords.push_back(static_cast<float>(canonical.uvs[2 * i]));
            out.texcoords.push_back(static_cast<float>(1.0 - canonical.uvs[2 * i + 1]));
        }
    }
    out.indices = canonical.isTextured() ? canonical.uvIndices : canonical.posIndices;
    return out;
}

std::string writeBinaryFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
}

} // namespace testsupport
