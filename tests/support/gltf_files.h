#pragma once

#include "meshgen/meshgen.h"

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// A single-primitive glTF mesh as the file stores it: one position (and
// texture coordinate, colour) per glTF vertex, texture coordinates with the
// origin at the top left (t = 1 - v).
struct GltfMesh {
    std::vector<float> positions;  // x,y,z per vertex
    std::vector<float> texcoords;  // s,t per vertex, or empty
    std::vector<float> colors;     // r,g,b per vertex, or empty
    std::vector<uint32_t> indices; // three per triangle, or empty (not indexed)
};

// The mesh's data as one glTF text file with the buffer embedded as a data
// URI. The text uses fixed spellings so that tests can alter it by string
// replacement: the accessors are POSITION 0, then TEXCOORD_0, COLOR_0 and the
// indices in that order (each present one next), each written as
// {"bufferView":K,"componentType":C,"count":N,"type":"T"} with bufferView
// K equal to its own index; primitives copies of the primitive.
std::string gltfText(const GltfMesh& mesh, int primitives = 1);
// The same as binary glTF.
std::string glbBytes(const GltfMesh& mesh);

// The generated mesh with its UV vertices renumbered in the order of the
// distinct (vertex, UV vertex) pairs of its corners, sorted by vertex: an OBJ
// of it and the glTF mesh of toGltfMesh read back with the same vertex and
// UV vertex numbers.
meshgen::MeshData canonicalForGltf(const meshgen::MeshData& mesh);
// One glTF vertex per distinct (vertex, UV vertex) pair, in that order.
GltfMesh toGltfMesh(const meshgen::MeshData& mesh);

std::string writeBinaryFile(const std::string& path, const std::string& bytes);

} // namespace testsupport
