#pragma once

#include "model/chart.h"
#include "model/iuv_vector.h"

// The model the pipeline works on: the chart list, the 3D data shared by all
// charts and the cone singularities named in the input file.
struct Model {
    ChartList charts;
    iuv::DoubleVector sharedPositions;   // x,y,z per 3D vertex
    iuv::DoubleVector vertexColors;      // r,g,b per 3D vertex, or empty
    iuv::UIntVector coneSingularities;   // 0-based 3D vertex numbers
    // The layout as read from the input file (its own texture coordinates,
    // before any normalisation or repair), one triangle per input triangle:
    // where the charts' sourceTriangle entries point. Empty for an untextured
    // input.
    Chart sourceLayout;

    size_t numVertices() const { return sharedPositions.size() / 3; }
    void clear();
};
