#pragma once

#include "model/chart.h"

#include <string>
#include <vector>

// Figures of one flattening run, for callers that need more than the console
// report (the loader, benchmarks). Durations are processor time.
struct FlatteningReport {
    bool flattened = false;       // the chart received a new layout
    int iterations = 0;           // Newton iterations run
    double finalGradient = 0.0;   // gradient magnitude after the last iteration
    double solutionError = 0.0;   // norm of (layout angles - solved angles)
    double largestError = 0.0;    // largest |layout angle - solved angle|, radians
    double newtonSeconds = 0.0;   // angle solve, including set-up
    double layoutSeconds = 0.0;   // layout solve and its check
};

// Angle-based flattening: fills chart.uvCoords2D from the chart's 3D
// triangles, whose triIndicesUV must equal triIndicesPos, with two UV values
// per 3D vertex. exemptVertices (may be null) lists vertices without planarity
// constraint. flattened is false, and the UVs are left as they were, when the
// halfedge structure cannot be built, a coordinate is not finite or the layout
// solve fails.
FlatteningReport runAngleFlattening(Chart& chart, const iuv::DoubleVector& sharedPositions,
                                    const std::vector<uint32_t>* exemptVertices);

// Lays out the triangles from per-corner angles (least squares, last vertex at
// (0,0), the one before at (0,1)). False when the solve fails; the UVs are then
// left as they were.
bool reconstructUVsFromAngles(const iuv::UIntVector& triIndices, const std::vector<double>& angles,
                              iuv::DoubleVector& uvCoords2D);

// Angle at every corner (arccos of the dot product of the two unit edge vectors
// leaving the corner), from x,y,z coordinates. Degenerate triangles still give
// angles summing to pi: a corner with one zero-length edge gets pi/2 (the
// limit of a thin isosceles triangle), a triangle collapsed to a point pi/3 at
// each corner. A corner naming a vertex outside the list, or with a
// non-finite coordinate, gets NaN.
std::vector<double> cornerAngles(const iuv::UIntVector& triIndices, const iuv::DoubleVector& coordinates);

// Why an untextured input cannot be flattened: the text of the message box and
// the console line.
struct FlatteningRefusal {
    std::string boxText;
    std::string consoleLine;
};

// Loader entry point for an untextured single chart: gives the chart one UV
// vertex per 3D vertex that its triangles use (UV vertex k is 3D vertex k when
// every vertex is used) and flattens it. Separate pieces of the mesh are
// flattened one by one, brought to their 3D size and placed side by side; a
// piece with holes is flattened with a warning line (its layout may overlap
// itself). Returns false, filling refusal and leaving triIndicesUV empty, when
// the mesh has no triangles, refers to missing vertices, has non-finite
// coordinates or a triangle naming one vertex twice, is not manifold (an edge
// of three or more triangles, or a vertex whose triangles form more than one
// fan), is inconsistently oriented, has a closed piece (no boundary), or when
// no finite layout of non-zero area comes out. The caller reports the refusal.
bool flattenUntexturedChart(Chart& chart, const iuv::DoubleVector& sharedPositions,
                            FlatteningRefusal& refusal);
