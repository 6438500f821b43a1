#pragma once

#include "model/chart.h"

#include <string>

// One chart as OBJ ("v", "vt", "o objectN", "f" lines), for diagnostic dumps
// such as "error.obj". Prints "Unable to open file NAME for writing OBJ." and
// returns false when the file cannot be opened.
bool writeChartOBJ(const Chart& chart, const iuv::DoubleVector& positions, const std::string& filename,
                   const iuv::DoubleVector* colors = nullptr);

// A material of a textured OBJ: the library file (a name relative to the OBJ)
// and the material in it.
struct ObjMaterialRef {
    std::string library;
    std::string name;
};

// The whole layout, merged into one chart, as OBJ with the cone lines first
// ("c N 0.0"), then "v" (with colours when present), "vt" and "f" lines. With
// a material, "mtllib LIBRARY" stands before the vertices and "usemtl NAME"
// before the faces. Prints "Unable to open file NAME for writing OBJ." and
// returns false when the file cannot be opened.
bool writeLayoutOBJ(const Chart& merged, const iuv::DoubleVector& positions,
                    const iuv::DoubleVector& colors, const iuv::UIntVector& coneSingularities,
                    const std::string& filename, const ObjMaterialRef* material = nullptr);

// A material library of one material, white, whose diffuse colour map is
// textureFile (a name relative to the library). Prints "Unable to open file
// NAME for writing." and returns false when the file cannot be written.
bool writeMaterialFile(const std::string& filename, const std::string& materialName,
                       const std::string& textureFile);

// The UV mesh of a chart whose halfedges could not be built, as a chart OBJ
// with UV vertex i at the point (u_i, v_i, 0) (the "error.obj" dump).
bool writeFailedChartOBJ(const Chart& chart, const std::string& filename);
