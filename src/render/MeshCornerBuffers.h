#pragma once

#include "model/iuv_vector.h"

#include <cstddef>
#include <vector>

// Interleaved corner records of the 3D view's mesh buffers, 12 floats
// (48 bytes) per corner: position (3), normal (3), texcoord (2), colour (4).
// Qt-free, so the layout can be checked without a display.
constexpr size_t kCornerFloats = 12;
constexpr size_t kCornerBytes = kCornerFloats * sizeof(float);
constexpr size_t kCornerPositionOffset = 0;
constexpr size_t kCornerNormalOffset = 12;
constexpr size_t kCornerTexcoordOffset = 24;
constexpr size_t kCornerColorOffset = 32;

// The attribute locations the mesh and overlay programs bind, and each
// corner attribute's location, float count and byte offset.
enum AttributeLocation : unsigned { PositionLocation = 0, NormalLocation = 1, TexcoordLocation = 2, ColorLocation = 3 };
struct CornerAttribute {
    AttributeLocation location;
    int size;
    size_t offset;
};
constexpr CornerAttribute kCornerAttributes[] = {
    {PositionLocation, 3, kCornerPositionOffset},
    {NormalLocation, 3, kCornerNormalOffset},
    {TexcoordLocation, 2, kCornerTexcoordOffset},
    {ColorLocation, 4, kCornerColorOffset},
};

struct CornerBuffers {
    std::vector<float> flat;    // face normals
    std::vector<float> smooth;  // area-weighted vertex normals

    size_t cornerCount() const { return flat.size() / kCornerFloats; }
};

// Three corner records per triangle, in triangle order. The chart of a
// triangle follows from numTrianglesPerChart (triangles beyond the listed
// counts continue with the next chart number); its colour is chartColor as
// fractions of 255 with alpha 1. A triangle naming a 3D vertex outside the
// positions list is left out; a missing UV index or coordinate reads (0,0).
// Degenerate triangles get the normal (0,0,1) and add nothing to the vertex
// normals; a vertex used only by such triangles also gets (0,0,1).
CornerBuffers buildCornerBuffers(const iuv::UIntVector& triIndicesPos, const iuv::DoubleVector& positions,
                                 const iuv::UIntVector& triIndicesUV, const iuv::DoubleVector& uvCoords2D,
                                 const std::vector<size_t>& numTrianglesPerChart);
