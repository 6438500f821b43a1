#include "support/gltf_files.h"

#include <tiny_gltf.h>

#include <QByteArray>

#include <cstring>
#include <sstream>

namespace testsupport {

namespace {

template <typename T>
std::string bytesOf(const std::vector<T>& values)
{
    return std::string(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(T));
}

// The JSON up to "buffers" and the binary buffer.
std::pair<std::string, std::string> layout(const GltfMesh& mesh, int primitives)
{
    std::string buffer;
    std::ostringstream views, accessors, attributes;
    int next = 0;
    auto add = [&](const std::string& data, int componentType, size_t count, const char* type) {
        const char* comma = next > 0 ? "," : "";
        views << comma << "{\"buffer\":0,\"byteOffset\":" << buffer.size() << ",\"byteLength\":" << data.size() << "}";
        accessors << comma << "{\"bufferView\":" << next << ",\"componentType\":" << componentType
                  << ",\"count\":" << count << ",\"type\":\"" << type << "\"}";
        buffer += data;
        return next++;
    };
    attributes << "\"POSITION\":" << add(bytesOf(mesh.positions), 5126, mesh.positions.size() / 3, "VEC3");
    if (!mesh.texcoords.empty())
        attributes << ",\"TEXCOORD_0\":" << add(bytesOf(mesh.texcoords), 5126, mesh.texcoords.size() / 2, "VEC2");
    if (!mesh.colors.empty())
        attributes << ",\"COLOR_0\":" << add(bytesOf(mesh.colors), 5126, mesh.colors.size() / 3, "VEC3");
    std::string primitive = "{\"attributes\":{" + attributes.str() + "}";
    if (!mesh.indices.empty())
        primitive += ",\"indices\":" + std::to_string(add(bytesOf(mesh.indices), 5125, mesh.indices.size(), "SCALAR"));
    primitive += ",\"mode\":4}";
    std::string list = primitive;
    for (int i = 1; i < primitives; ++i)
        list += "," + primitive;
    std::ostringstream json;
    json << "{\"asset\":{\"version\":\"2.0\"},\"scene\":0,\"scenes\":[{\"nodes\":[0]}],\"nodes\":[{\"mesh\":0}],"
         << "\"meshes\":[{\"primitives\":[" << list << "]}],\"bufferViews\":[" << views.str()
         << "],\"accessors\":[" << accessors.str() << "],";
    return {json.str(), buffer};
}

void put32(std::string& out, size_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 255));
}

// Image data is kept as stored, not decoded.
bool keepImage(tinygltf::Image*, const int, std::string*, std::string*, int, int, const unsigned char*, int, void*)
{
    return true;
}

template <typename T>
bool accessorValues(const tinygltf::Model& m, int index, int componentType, int components, std::vector<T>& out,
                    std::string& error)
{
    if (index < 0)
        return true;
    const tinygltf::Accessor& a = m.accessors.at(size_t(index));
    const tinygltf::BufferView& v = m.bufferViews.at(size_t(a.bufferView));
    if (a.componentType != componentType || tinygltf::GetNumComponentsInType(uint32_t(a.type)) != components ||
        (v.byteStride != 0 && v.byteStride != components * sizeof(T))) {
        error = "accessor " + std::to_string(index) + " is not of the form written";
        return false;
    }
    out.resize(a.count * size_t(components));
    std::memcpy(out.data(), m.buffers.at(size_t(v.buffer)).data.data() + v.byteOffset + a.byteOffset,
                out.size() * sizeof(T));
    return true;
}

} // namespace

std::string gltfText(const GltfMesh& mesh, int primitives)
{
    const auto parts = layout(mesh, primitives);
    const std::string data = QByteArray::fromStdString(parts.second).toBase64().toStdString();
    return parts.first + "\"buffers\":[{\"byteLength\":" + std::to_string(parts.second.size()) +
           ",\"uri\":\"data:application/octet-stream;base64," + data + "\"}]}";
}

std::string glbBytes(const GltfMesh& mesh)
{
    auto parts = layout(mesh, 1);
    std::string json = parts.first + "\"buffers\":[{\"byteLength\":" + std::to_string(parts.second.size()) + "}]}";
    json.resize((json.size() + 3) / 4 * 4, ' ');
    std::string& bin = parts.second;
    bin.resize((bin.size() + 3) / 4 * 4, '\0');
    std::string out = "glTF";
    put32(out, 2);
    put32(out, 12 + 8 + json.size() + 8 + bin.size());
    put32(out, json.size());
    put32(out, 0x4E4F534A);
    out += json;
    put32(out, bin.size());
    put32(out, 0x004E4942);
    return out + bin;
}

bool readGlb(const std::string& path, GltfMesh& mesh, std::string& error, tinygltf::Model* model)
{
    tinygltf::TinyGLTF parser;
    parser.SetImageLoader(keepImage, nullptr);
    tinygltf::Model local;
    tinygltf::Model& m = model ? *model : local;
    std::string warning;
    if (!parser.LoadBinaryFromFile(&m, &error, &warning, path))
        return false;
    if (m.meshes.size() != 1 || m.meshes[0].primitives.size() != 1) {
        error = "not a single primitive";
        return false;
    }
    const tinygltf::Primitive& p = m.meshes[0].primitives[0];
    const auto attribute = [&](const char* name) {
        const auto it = p.attributes.find(name);
        return it == p.attributes.end() ? -1 : it->second;
    };
    mesh = GltfMesh();
    return accessorValues(m, attribute("POSITION"), TINYGLTF_COMPONENT_TYPE_FLOAT, 3, mesh.positions, error) &&
           accessorValues(m, attribute("TEXCOORD_0"), TINYGLTF_COMPONENT_TYPE_FLOAT, 2, mesh.texcoords, error) &&
           accessorValues(m, attribute("COLOR_0"), TINYGLTF_COMPONENT_TYPE_FLOAT, 3, mesh.colors, error) &&
           accessorValues(m, p.indices, TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT, 1, mesh.indices, error);
}

} // namespace testsupport
