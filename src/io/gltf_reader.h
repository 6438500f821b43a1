#pragma once

#include "model/chart.h"
#include "model/iuv_vector.h"

#include <cstdint>
#include <string>
#include <vector>

// True when the name ends in ".gltf" or ".glb" (any letter case).
bool isGLTFFileName(const std::string& filename);

// Parsing step for glTF 2.0 (".gltf" with embedded or external buffers, or
// ".glb"; told apart by the file's first bytes): one chart per triangle
// primitive of every mesh, in file order, so that more than one is refused
// by the loader like a second OBJ shape. Of each primitive it takes POSITION,
// TEXCOORD_0 when present (a primitive without it is untextured) and COLOR_0
// (red, green and blue) as the vertex colours; node transforms are not
// applied.
//
// glTF keeps one UV per vertex, so a seam arrives as vertices duplicated at
// one position: vertices whose positions are bit-identical become one 3D
// vertex (numbered in the order of their first occurrence), and corners that
// share a 3D vertex and bit-identical texture coordinates share one UV
// vertex, as the separate v and vt numbers of an OBJ file would give. The v
// axis is turned over (v = 1 - t), since glTF puts the texture's origin at its
// top left corner and the layout puts it at the bottom left.
//
// Prints the same lines as the OBJ step ("Successfully loaded.", "Read N
// parts, ..."); a file that cannot be parsed or whose data cannot be used
// (bad accessors, buffer views or buffers, indices out of range, non-finite
// values, primitives that are not triangles) prints the reason and "Failed to
// load/parse glTF." and returns false with the outputs empty.
// fileVertexToModel, when given, receives the 3D vertex of every glTF vertex
// (primitives one after another), for numbers that refer to the file; reason,
// when given, receives the reason of a failure.
bool loadGLTF(const std::string& filename, ChartList& charts, iuv::DoubleVector& sharedPositions,
              iuv::DoubleVector& vertexColors, std::vector<uint32_t>* fileVertexToModel = nullptr,
              std::string* reason = nullptr);
