#pragma once

#include "model/chart.h"
#include "model/model.h"

#include <cstdint>
#include <string>
#include <vector>

// Generators of test meshes with a single-chart UV layout (or none), optional
// cone singularities and optional vertex colours.
namespace meshgen {

struct MeshData {
    std::vector<double> positions;   // x,y,z per 3D vertex
    std::vector<double> colors;      // r,g,b per 3D vertex, or empty
    std::vector<double> uvs;         // u,v per UV vertex, or empty (untextured)
    std::vector<uint32_t> posIndices; // three per triangle
    std::vector<uint32_t> uvIndices;  // three per triangle, parallel; empty when untextured
    std::vector<uint32_t> cones;      // 0-based 3D vertex numbers

    size_t numTriangles() const { return posIndices.size() / 3; }
};

// Open cylinder of the given segments around and rings along its axis,
// unrolled into one rectangle: one seam where the ends of the rectangle meet.
MeshData openCylinder(int segments, int rings);

// Closed cube surface, n x n quads per face, cut open along a spanning tree of
// edges into one disk-shaped chart laid out as a cross; the eight corners are
// cone singularities.
MeshData cubeNet(int n);

enum class Outline { Rectangle, LShape, WithHoles };

// Flat grid in the z = 0 plane over [0,1]^2 with nx x ny quads, the UV layout
// equal to the positions; LShape removes the upper right quadrant, WithHoles
// removes two rectangular holes.
MeshData flatGrid(int nx, int ny, Outline outline);

// Open spherical cap (polar angle up to capAngle radians) and a saddle
// z = x^2 - y^2 over a disk; both untextured, about `rings` rings of triangles.
MeshData sphericalCap(int rings, double capAngle);
MeshData saddle(int rings);

// A long strip whose UV layout folds back over itself `folds` times (a single
// chart with overlaps), for overlap removal.
MeshData foldedStrip(int segments, int folds);

// Adds per-vertex colours (a smooth function of the position).
void addColors(MeshData& mesh);
// Drops the UV layout (untextured mesh).
void dropUVs(MeshData& mesh);

// Writes the mesh as an OBJ file: "c" lines for the cones, "v" lines (with
// colours when present), "vt" lines and "f v/vt" (or "f v") lines.
bool writeOBJ(const MeshData& mesh, const std::string& path);

// The mesh as a model with a single chart (cones and colours included).
Model toModel(const MeshData& mesh);

// A layout of `count` random charts (grid patches of varying size, shape and
// orientation) with about `totalTriangles` triangles together, sharing no 3D
// vertices; deterministic for a given seed.
Model randomChartLayout(int count, int totalTriangles, uint32_t seed);

} // namespace meshgen
