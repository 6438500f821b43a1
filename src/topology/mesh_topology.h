#pragma once

#include "model/chart.h"
#include "topology/halfedge.h"

#include <cstdint>
#include <vector>

// Connectivity of the current chart list: one halfedge mesh per chart over its
// UV vertices, one joined mesh over the 3D vertices, and the boundary and seam
// edges of the joined mesh (seam segment s is "seam s" everywhere else).
struct MeshTopology {
    std::vector<HalfedgeMesh> chartMeshes;
    HalfedgeMesh joinedMesh;
    std::vector<uint32_t> joinedToChartHalfedge;
    std::vector<uint64_t> triangleChart;
    std::vector<uint32_t> boundaryAndSeamHalfedges;
    uint64_t numBoundaryHalfedges = 0;
    std::vector<uint64_t> seamSegmentLengths;
    // Charts whose UV halfedges could not be built (their meshes are empty).
    std::vector<size_t> unbuiltCharts;

    void clear();
    size_t numSeams() const { return seamSegmentLengths.size(); }
    // Index into boundaryAndSeamHalfedges of the first halfedge of seam s.
    size_t seamStart(size_t s) const;
};

// Rebuilds the topology from scratch. A chart whose UV halfedges cannot be
// built is reported on standard output and listed in unbuiltCharts; the build
// carries on.
void buildMeshTopology(const ChartList& charts, size_t vertexCount3D,
                       const iuv::UIntVector& coneSingularities, MeshTopology& out);

bool isSeamHalfedge(uint32_t g, const MeshTopology& topology);
