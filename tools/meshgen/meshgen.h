#pragma once

#include "model/chart.h"
#include "model/model.h"

#include <cstdint>
#include <string>
#include <vector>

// Generators of test meshes with a single-chart UV layout (or none), optional
// cone singularities and optional vertex colours.
//
// Every generated mesh uses each of its 3D and UV vertices, has no triangle
// with a repeated corner or zero 3D area, is an oriented manifold in 3D and,
// unless stated otherwise, has one connected UV chart whose triangles are all
// counter-clockwise and whose UV boundary does not cross itself. All
// coordinates are single-precision values; writeOBJ prints them so that an
// OBJ round trip reproduces them exactly.
//
// Size arguments outside the documented ranges are clamped into them.
namespace meshgen {

struct MeshData {
    std::vector<double> positions;   // x,y,z per 3D vertex
    std::vector<double> colors;      // r,g,b per 3D vertex, or empty
    std::vector<double> uvs;         // u,v per UV vertex, or empty (untextured)
    std::vector<uint32_t> posIndices; // three per triangle
    std::vector<uint32_t> uvIndices;  // three per triangle, parallel; empty when untextured
    std::vector<uint32_t> cones;      // 0-based 3D vertex numbers

    size_t numTriangles() const { return posIndices.size() / 3; }
    size_t numVertices() const { return positions.size() / 3; }
    size_t numUVVertices() const { return uvs.size() / 2; }
    bool isTextured() const { return !uvIndices.empty() && uvIndices.size() == posIndices.size(); }
};

// Largest accepted size arguments (they bound the output to a few million
// triangles).
constexpr int kMaxGridSize = 2048;        // cylinder segments and rings, grid nx and ny
constexpr int kMaxCubeSize = 1024;        // cubeNet n
constexpr int kMaxDiskRings = 1024;       // sphericalCap and saddle rings
constexpr int kMaxStripSegments = 1 << 20; // foldedStrip segments
constexpr int kMaxStripFolds = 1000;       // foldedStrip folds
constexpr int kMaxRandomCharts = 100000;   // randomChartLayout count
constexpr int kMaxRandomTriangles = 10000000; // randomChartLayout totalTriangles

// Open cylinder of the given segments around and rings along its axis,
// unrolled into one rectangle: one seam where the ends of the rectangle meet.
// Radius 1, height 2 around the z axis; segments in [3, kMaxGridSize], rings
// in [1, kMaxGridSize]; 2 * segments * rings triangles. The UV rectangle is
// [0, 2 pi] x [0, 2]; the seam's vertices appear twice in UV, once in 3D.
MeshData openCylinder(int segments, int rings);

// Closed cube surface, n x n quads per face, cut open along a spanning tree of
// edges into one disk-shaped chart laid out as a cross; the eight corners are
// cone singularities. Cube [-0.5, 0.5]^3, n in [1, kMaxCubeSize],
// 12 * n * n triangles, UV net within [0, 3] x [0, 4] with faces of size 1.
MeshData cubeNet(int n);

enum class Outline { Rectangle, LShape, WithHoles };

// Flat grid in the z = 0 plane over [0,1]^2 with nx x ny quads, the UV layout
// equal to the positions; LShape removes the upper right quadrant, WithHoles
// removes two rectangular holes.
// nx and ny in [1, kMaxGridSize], raised to at least 2 for LShape and 5 for
// WithHoles (the holes then stay inside, apart from each other and from the
// outer boundary, so the mesh stays manifold).
MeshData flatGrid(int nx, int ny, Outline outline);

// Open spherical cap (polar angle up to capAngle radians) and a saddle
// z = x^2 - y^2 over a disk; both untextured, about `rings` rings of triangles.
// Ring k holds 6k vertices, so the disks have 6 * rings^2 triangles (rings in
// [1, kMaxDiskRings]; 91 rings give about 50,000). The cap has radius 1 and
// capAngle is clamped into [0.01, 3.0] (a non-finite angle becomes pi/2); the
// saddle lies over the unit disk.
MeshData sphericalCap(int rings, double capAngle);
MeshData saddle(int rings);

// A long strip whose UV layout folds back over itself `folds` times (a single
// chart with overlaps), for overlap removal.
// The strip's centre line in UV is a looping curve: each fold is one loop in
// which the strip runs across itself, so triangles overlap and the UV
// boundary crosses itself, while every triangle stays counter-clockwise (no
// flips). In 3D the strip is gently arched and 0.8 wide. It is 4 quads wide:
// 8 * segments triangles. folds in [1, kMaxStripFolds]; segments in
// [24 * folds, kMaxStripSegments] (so every loop is finely resolved).
MeshData foldedStrip(int segments, int folds);

// Folded projections: surfaces whose UV layout is their projection onto a
// plane, so that parts folded under others come out flipped and overlapping,
// as in layouts made by projecting real scans. One connected UV chart each,
// its first triangle counter-clockwise.
//
// A mushroom: a cap of radius 1 with a rounded rim, its underside running
// back in to a stem that tapers down to an open end, projected along a
// direction slightly off its axis. The underside and the stem are flipped and
// lie under the cap. rings along the profile in [8, kMaxDiskRings], segments
// around in [8, kMaxGridSize]; segments * (2 * rings - 1) triangles (the
// defaults of the command, 16 and 32, give 992).
MeshData mushroom(int rings, int segments);
// A sheet 0.8 wide bent so that it folds back twice (a Z in side view), seen
// from above: three layers, the middle one flipped, each sliding a little
// across the sheet. columns along the sheet in [24, kMaxGridSize], rows
// across in [1, kMaxGridSize]; 2 * columns * rows triangles.
MeshData doubleFoldedSheet(int columns, int rows);
// 1.6 turns of a rising ramp whose inner edge moves out by 0.35 per turn, so
// each turn half covers the one below: overlaps and a self-crossing boundary
// without flips. segments around in [24, kMaxGridSize], rows across in
// [1, kMaxGridSize]; 2 * segments * rows triangles.
MeshData spiralRamp(int segments, int rows);

// Adds per-vertex colours (a smooth function of the position).
void addColors(MeshData& mesh);
// Drops the UV layout (untextured mesh).
void dropUVs(MeshData& mesh);

// Writes the mesh as an OBJ file: "c" lines for the cones, "v" lines (with
// colours when present), "vt" lines and "f v/vt" (or "f v") lines.
// Each number is the shortest text that reads back as the same double;
// indices in the file start at 1.
// Returns false when the file cannot be written.
bool writeOBJ(const MeshData& mesh, const std::string& path);

// The mesh as a model with a single chart (cones and colours included).
// An untextured mesh gives a chart with empty triIndicesUV and uvCoords2D.
Model toModel(const MeshData& mesh);

// A layout of `count` random charts (grid patches of varying size, shape and
// orientation) with about `totalTriangles` triangles together, sharing no 3D
// vertices; deterministic for a given seed.
// Patches are rectangles, L shapes or grids with holes, each rotated by a
// random angle in UV and placed so that charts do not overlap one another;
// every chart has at least two triangles. count in [1, kMaxRandomCharts],
// totalTriangles in [0, kMaxRandomTriangles].
Model randomChartLayout(int count, int totalTriangles, uint32_t seed);

} // namespace meshgen
