#include "io/gltf_writer.h"

#include "base/file_output.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <limits>
#include <sstream>
#include <vector>

namespace {

constexpr uint32_t kFloat = 5126;
constexpr uint32_t kUnsignedInt = 5125;
constexpr uint32_t kArrayBuffer = 34962;
constexpr uint32_t kElementArrayBuffer = 34963;
// The binary container states its total length in 32 bits.
constexpr uint64_t kMaxFileSize = 4294967295ull;

void put32(std::string& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 255u));
}

template <typename T>
void appendValues(std::string& buffer, const std::vector<T>& values)
{
    const size_t offset = buffer.size();
    buffer.resize(offset + values.size() * sizeof(T));
    if (!values.empty())
        std::memcpy(&buffer[offset], values.data(), values.size() * sizeof(T));
}

std::string floatText(float x)
{
    std::ostringstream out;
    out << std::setprecision(std::numeric_limits<float>::max_digits10) << x;
    return out.str();
}

// The glTF vertices: the sorted distinct (3D vertex, UV vertex) pairs of the
// corners, and for every corner the number of its glTF vertex.
void splitVertices(const Chart& merged, std::vector<uint64_t>& pairs, std::vector<uint32_t>& indices)
{
    const bool withUV = merged.triIndicesUV.size() == merged.triIndicesPos.size();
    const size_t corners = merged.triIndicesPos.size();
    std::vector<uint64_t> keys(corners);
    for (size_t k = 0; k < corners; ++k)
        keys[k] = static_cast<uint64_t>(merged.triIndicesPos[k]) << 32 | (withUV ? merged.triIndicesUV[k] : 0u);
    pairs = keys;
    std::sort(pairs.begin(), pairs.end());
    pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
    indices.resize(corners);
    for (size_t k = 0; k < corners; ++k)
        indices[k] = static_cast<uint32_t>(std::lower_bound(pairs.begin(), pairs.end(), keys[k]) - pairs.begin());
}

class GlbBuilder {
public:
    // Appends data as one buffer view (padded to 4 bytes); returns its index.
    size_t addView(const std::string& data, uint32_t target)
    {
        if (!views_.empty())
            views_ += ",";
        views_ += "{\"buffer\":0,\"byteOffset\":" + std::to_string(bin_.size()) +
                  ",\"byteLength\":" + std::to_string(data.size());
        if (target)
            views_ += ",\"target\":" + std::to_string(target);
        views_ += "}";
        bin_ += data;
        while (bin_.size() % 4)
            bin_.push_back('\0');
        return viewCount_++;
    }
    // An accessor over a whole view; extra holds further members (",\"min\":...").
    size_t addAccessor(const std::string& data, uint32_t target, uint32_t componentType, size_t count,
                       const char* type, const std::string& extra = std::string())
    {
        const size_t view = addView(data, target);
        if (!accessors_.empty())
            accessors_ += ",";
        accessors_ += "{\"bufferView\":" + std::to_string(view) + ",\"componentType\":" +
                      std::to_string(componentType) + ",\"count\":" + std::to_string(count) + ",\"type\":\"" + type +
                      "\"" + extra + "}";
        return accessorCount_++;
    }

    const std::string& views() const { return views_; }
    const std::string& accessors() const { return accessors_; }
    const std::string& bin() const { return bin_; }

private:
    std::string views_, accessors_, bin_;
    size_t viewCount_ = 0, accessorCount_ = 0;
};

// The whole file, or an empty string when it would exceed the format's size.
std::string glbFile(const Chart& merged, const iuv::DoubleVector& positions, const iuv::DoubleVector& colors,
                    const std::string& pngBytes)
{
    std::vector<uint64_t> pairs;
    std::vector<uint32_t> indices;
    splitVertices(merged, pairs, indices);
    const bool withUV = !merged.triIndicesUV.empty() && merged.triIndicesUV.size() == merged.triIndicesPos.size();
    const bool withColors = !colors.empty() && colors.size() == positions.size();

    std::vector<float> xyz, st, rgb;
    float lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
    for (size_t i = 0; i < pairs.size(); ++i) {
        const size_t p = static_cast<size_t>(pairs[i] >> 32);
        const size_t t = static_cast<size_t>(pairs[i] & 0xFFFFFFFFu);
        for (size_t c = 0; c < 3; ++c) {
            const float x = static_cast<float>(positions[3 * p + c]);
            lo[c] = i == 0 ? x : std::min(lo[c], x);
            hi[c] = i == 0 ? x : std::max(hi[c], x);
            xyz.push_back(x);
            if (withColors)
                rgb.push_back(static_cast<float>(colors[3 * p + c]));
        }
        if (withUV) {
            st.push_back(static_cast<float>(merged.uvCoords2D[2 * t]));
            st.push_back(static_cast<float>(1.0 - merged.uvCoords2D[2 * t + 1]));
        }
    }

    GlbBuilder glb;
    std::string meshes, extra;
    if (!indices.empty()) {
        std::string data;
        appendValues(data, xyz);
        const std::string bounds = ",\"min\":[" + floatText(lo[0]) + "," + floatText(lo[1]) + "," +
                                   floatText(lo[2]) + "],\"max\":[" + floatText(hi[0]) + "," + floatText(hi[1]) +
                                   "," + floatText(hi[2]) + "]";
        std::string attributes =
            "\"POSITION\":" + std::to_string(glb.addAccessor(data, kArrayBuffer, kFloat, pairs.size(), "VEC3", bounds));
        if (withUV) {
            data.clear();
            appendValues(data, st);
            attributes += ",\"TEXCOORD_0\":" +
                          std::to_string(glb.addAccessor(data, kArrayBuffer, kFloat, pairs.size(), "VEC2"));
        }
        if (withColors) {
            data.clear();
            appendValues(data, rgb);
            attributes += ",\"COLOR_0\":" +
                          std::to_string(glb.addAccessor(data, kArrayBuffer, kFloat, pairs.size(), "VEC3"));
        }
        data.clear();
        appendValues(data, indices);
        const size_t indexAccessor =
            glb.addAccessor(data, kElementArrayBuffer, kUnsignedInt, indices.size(), "SCALAR");
        std::string primitive =
            "{\"attributes\":{" + attributes + "},\"indices\":" + std::to_string(indexAccessor) + ",\"mode\":4";
        if (!pngBytes.empty()) {
            const size_t image = glb.addView(pngBytes, 0);
            primitive += ",\"material\":0";
            extra = ",\"images\":[{\"bufferView\":" + std::to_string(image) +
                    ",\"mimeType\":\"image/png\"}],\"samplers\":[{\"magFilter\":9729,\"minFilter\":9729}],"
                    "\"textures\":[{\"sampler\":0,\"source\":0}],\"materials\":[{\"pbrMetallicRoughness\":"
                    "{\"baseColorTexture\":{\"index\":0},\"metallicFactor\":0}}]";
        }
        meshes = ",\"nodes\":[{\"mesh\":0}],\"meshes\":[{\"primitives\":[" + primitive + "}]}]";
    }

    std::string json = "{\"asset\":{\"version\":\"2.0\",\"generator\":\"Tarnwick\"},\"scene\":0,\"scenes\":[{" +
                       std::string(indices.empty() ? "" : "\"nodes\":[0]") + "}]" + meshes;
    if (!glb.bin().empty()) {
        json += ",\"bufferViews\":[" + glb.views() + "],\"accessors\":[" + glb.accessors() +
                "],\"buffers\":[{\"byteLength\":" + std::to_string(glb.bin().size()) + "}]";
    }
    json += extra + "}";
    while (json.size() % 4)
        json.push_back(' ');

    const uint64_t total = 12 + 8 + json.size() + (glb.bin().empty() ? 0 : 8 + glb.bin().size());
    if (total > kMaxFileSize)
        return std::string();
    std::string out = "glTF";
    put32(out, 2);
    put32(out, static_cast<uint32_t>(total));
    put32(out, static_cast<uint32_t>(json.size()));
    put32(out, 0x4E4F534Au); // "JSON"
    out += json;
    if (!glb.bin().empty()) {
        put32(out, static_cast<uint32_t>(glb.bin().size()));
        put32(out, 0x004E4942u); // "BIN\0"
        out += glb.bin();
    }
    return out;
}

} // namespace

std::string glbNameFor(const std::string& filename)
{
    const std::string obj = ".obj";
    if (filename.size() >= obj.size() && filename.compare(filename.size() - obj.size(), obj.size(), obj) == 0)
        return filename.substr(0, filename.size() - obj.size()) + ".glb";
    return filename + ".glb";
}

bool writeLayoutGLB(const Chart& merged, const iuv::DoubleVector& positions, const iuv::DoubleVector& colors,
                    const std::string& filename, const std::string& pngBytes)
{
    const std::string bytes = glbFile(merged, positions, colors, pngBytes);
    if (bytes.empty()) {
        std::cout << "Unable to write file " << filename << ": the layout is too large for binary glTF."
                  << std::endl;
        return false;
    }
    ResultFile file(filename);
    if (!file.isOpen()) {
        std::cout << "Unable to open file " << filename << " for writing." << std::endl;
        return false;
    }
    file.stream().write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return file.commit();
}
