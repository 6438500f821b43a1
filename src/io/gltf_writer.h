#pragma once

#include "model/chart.h"
#include "model/iuv_vector.h"

#include <string>

// Writes the layout, merged into one chart, as binary glTF 2.0: one mesh with
// one indexed triangle primitive. Every distinct (3D vertex, UV vertex) pair
// of the corners becomes one glTF vertex, in increasing order of 3D vertex
// and then UV vertex, so a 3D vertex with several UVs is split along its
// seams. POSITION and TEXCOORD_0 (t = 1 - v, the texture origin at the top
// left) are single-precision; COLOR_0 (r,g,b) is written when colors holds
// one colour per 3D vertex; pngBytes, when not empty, is embedded as the base
// colour texture of the primitive's material. The file is written under
// NAME.part and renamed to filename when complete. Returns false after
// printing "Unable to open file NAME for writing." (or the reason the layout
// cannot be stored) when it could not be written.
bool writeLayoutGLB(const Chart& merged, const iuv::DoubleVector& positions, const iuv::DoubleVector& colors,
                    const std::string& filename, const std::string& pngBytes = std::string());

// filename with a final ".obj" replaced by ".glb" (or ".glb" appended).
std::string glbNameFor(const std::string& filename);
