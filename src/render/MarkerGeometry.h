#pragma once

#include "model/iuv_vector.h"

#include <cstddef>

// Triangle geometry of the 3D view's overlays (cone markers, edge tubes):
// x,y,z per vertex and three vertex numbers per triangle. Qt-free.
struct TriangleGeometry {
    iuv::DoubleVector vertices;
    iuv::UIntVector indices;

    size_t vertexCount() const { return vertices.size() / 3; }
    size_t triangleCount() const { return indices.size() / 3; }
    void clear()
    {
        vertices.clear();
        indices.clear();
    }
};

// Axis-aligned box of the finite points of an x,y,z list; `valid` is false
// when the list has no finite point.
struct BoundingBox3 {
    double min[3] = {0.0, 0.0, 0.0};
    double max[3] = {0.0, 0.0, 0.0};
    bool valid = false;

    double extent(int axis) const { return max[axis] - min[axis]; }
    double centre(int axis) const { return 0.5 * (min[axis] + max[axis]); }
    double diagonal() const;
};

BoundingBox3 boundingBox(const iuv::DoubleVector& positions);

// The marker icosahedron: 12 vertices, 20 triangles, unit radius.
constexpr size_t kIcosahedronVertices = 12;
constexpr size_t kIcosahedronTriangles = 20;

// Appends the icosahedron scaled by `scale` and centred at (cx, cy, cz); its
// indices are offset by the number of vertices already in `geometry`.
void appendIcosahedron(TriangleGeometry& geometry, double cx, double cy, double cz, double scale);

// One icosahedron of radius `size` per cone vertex, in list order. Cone
// numbers outside the positions list are skipped.
TriangleGeometry buildConeMarkers(const iuv::UIntVector& cones, const iuv::DoubleVector& positions,
                                  double size);

// Radius of the edge tubes: 0.003 times the diagonal of the positions' box.
double edgeTubeRadius(const iuv::DoubleVector& positions);

// One four-sided tube of the given radius per vertex pair of lineIndices
// (8 vertices, 8 triangles) with an icosahedron of the same radius at either
// end. Pairs naming a vertex outside the positions list are skipped, as is a
// trailing unpaired entry.
TriangleGeometry buildEdgeTubes(const iuv::UIntVector& lineIndices, const iuv::DoubleVector& positions,
                                double radius);
