#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tinygltf {
class Model;
}

namespace testsupport {

// A single-primitive glTF mesh as the file stores it: per glTF vertex a
// position, texture coordinate (s, t with t = 1 - v) and colour; three indices
// per triangle. Empty lists are absent attributes (or an unindexed primitive).
struct GltfMesh {
    std::vector<float> positions, texcoords, colors;
    std::vector<uint32_t> indices;
};

// The mesh as glTF text with the buffer in a data URI, in fixed spellings that
// tests alter by string replacement: accessors POSITION 0, then TEXCOORD_0,
// COLOR_0 and the indices (those present), each written as
// {"bufferView":K,"componentType":C,"count":N,"type":"T"} with K its own index.
// `primitives` copies of the primitive.
std::string gltfText(const GltfMesh& mesh, int primitives = 1);
// The same as binary glTF.
std::string glbBytes(const GltfMesh& mesh);

// The first primitive of a binary glTF file, read by the glTF parser library
// (float attributes, 32-bit indices, tightly packed); the whole parsed file in
// *model when given. False with the reason otherwise.
bool readGlb(const std::string& path, GltfMesh& mesh, std::string& error, tinygltf::Model* model = nullptr);

} // namespace testsupport
