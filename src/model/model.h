#pragma once

#include "model/chart.h"
#include "model/iuv_vector.h"
#include "topology/mesh_topology.h"

// The model the pipeline works on: the chart list, the 3D data shared by all
// charts, the cone singularities named in the input file and the topology of
// the current chart list (rebuilt by every display update).
struct Model {
    ChartList charts;
    iuv::DoubleVector sharedPositions;   // x,y,z per 3D vertex
    iuv::DoubleVector vertexColors;      // r,g,b per 3D vertex, or empty
    iuv::UIntVector coneSingularities;   // 0-based 3D vertex numbers
    MeshTopology topology;

    size_t numVertices() const { return sharedPositions.size() / 3; }
    void clear();
};
