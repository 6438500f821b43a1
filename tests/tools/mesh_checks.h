#pragma once

#include "meshgen/meshgen.h"

#include <string>
#include <vector>

// Structural checks of generated meshes, each returning a list of problems
// (empty when the mesh passes) so that a failing test names what is wrong.
namespace meshchecks {

// Index lists of matching length, every index in range, every 3D and UV
// vertex used, no triangle with a repeated 3D or UV corner or zero 3D area,
// cones in range, colours absent or one triple per vertex, each UV vertex
// standing for a single 3D vertex.
std::vector<std::string> basicProblems(const meshgen::MeshData& mesh);

// Consistently oriented manifold in 3D: every directed edge used once at most,
// every edge by at most two triangles, the triangles around every vertex one
// fan.
std::vector<std::string> manifoldProblems(const meshgen::MeshData& mesh);

// Every UV triangle strictly counter-clockwise.
std::vector<std::string> orientationProblems(const meshgen::MeshData& mesh);

struct Topology {
    size_t triangles = 0;
    size_t vertices = 0;      // 3D vertices used
    size_t edges = 0;         // undirected 3D edges
    size_t boundaryEdges = 0; // 3D edges with one triangle
    size_t uvComponents = 0;  // groups of triangles connected through shared UV edges
    size_t uvBoundaryEdges = 0;
    long eulerCharacteristic() const { return long(vertices) - long(edges) + long(triangles); }
};
Topology topology(const meshgen::MeshData& mesh);

// True when two UV boundary edges without a common UV vertex intersect or
// touch (the boundary crosses itself).
bool uvBoundaryCrossesItself(const meshgen::MeshData& mesh);

// The chart of a model as a mesh over the model's positions, with the 3D
// vertices that the chart does not use removed.
meshgen::MeshData chartAsMesh(const Model& model, size_t chartIndex);

// Joins a list of problems into one message.
std::string describe(const std::vector<std::string>& problems);

} // namespace meshchecks
