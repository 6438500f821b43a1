#pragma once

#include "model/model.h"
#include "topology/mesh_topology.h"

#include <QPointF>

#include <cstddef>
#include <cstdint>
#include <vector>

// UV end points of the joined halfedges of a model's topology, looked up in
// the chart that holds each halfedge's triangle. Every index is checked, so a
// stale or partly built topology gives "no point" rather than a bad read.
class SeamGeometry {
public:
    SeamGeometry(const Model& model, const MeshTopology& topology);

    struct EdgeUV {
        size_t chart = 0;
        QPointF from; // UV of the vertex the halfedge leaves
        QPointF to;   // UV of the vertex it points to
    };

    // False for boundary halfedges (no triangle) and inconsistent indices.
    bool edgeUV(uint32_t joinedHalfedge, EdgeUV& out) const;
    // Chart of the triangle of the joined halfedge, or false.
    bool edgeChart(uint32_t joinedHalfedge, size_t& chart) const;

    // The halfedges of seam s in boundaryAndSeamHalfedges (empty when the
    // topology's lengths do not fit its list).
    std::vector<uint32_t> seamHalfedges(size_t s) const;
    size_t numSeams() const { return topology_.seamSegmentLengths.size(); }

private:
    bool chartCorner(uint32_t joinedHalfedge, size_t& chart, size_t& localCorner) const;
    QPointF uvAt(size_t chart, size_t localCorner) const;
    // UV vertex numbers of the source and target of a joined halfedge.
    bool edgeUVVertices(uint32_t joinedHalfedge, size_t& chart, uint32_t& from, uint32_t& to) const;

    const Model& model_;
    const MeshTopology& topology_;
    std::vector<size_t> firstTriangle_; // first joined triangle of each chart
    std::vector<size_t> seamStart_;     // first entry of each seam in boundaryAndSeamHalfedges
};
