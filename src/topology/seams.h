#pragma once

#include "model/chart.h"
#include "topology/mesh_topology.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>

// "No seam" as a seam index.
constexpr size_t NoSeam = std::numeric_limits<size_t>::max();

// The two charts along seam s of a topology and the UV copies of its end
// vertices: c1 holds the side of the seam's own halfedges, c2 the side of
// their twins; A1/A2 are the copies of the start vertex, B1/B2 those of the
// end vertex in c1 and c2.
struct SeamEnds {
    size_t seam = NoSeam;
    uint32_t firstHalfedge = InvalidIndex; // joined halfedges
    uint32_t lastHalfedge = InvalidIndex;
    uint64_t c1 = 0;
    uint64_t c2 = 0;
    uint32_t A1 = InvalidIndex;
    uint32_t B1 = InvalidIndex;
    uint32_t A2 = InvalidIndex;
    uint32_t B2 = InvalidIndex;
};

// Index into boundaryAndSeamHalfedges of the first halfedge of every seam
// (one entry per seam), computed in one sweep.
std::vector<size_t> seamStarts(const MeshTopology& topology);

// Fills ends for seam s. False when s is no seam of the topology or its
// halfedges do not lead to chart halfedges on both sides.
bool findSeamEnds(const MeshTopology& topology, size_t s, SeamEnds& ends);

struct SeamLookup {
    size_t seam = NoSeam;
    bool reversed = false;
    bool found() const { return seam != NoSeam; }
};

// The seam containing the 3D edge from a to b: first a seam whose first
// halfedge runs from a to b, then any seam halfedge from a to b, or (reversed)
// from b to a.
SeamLookup findSeamSegment(const MeshTopology& topology, uint32_t a, uint32_t b);

// Rigid motion laying a seam side of the moving chart onto the fixed one:
// rotation by angle (radians, in [0, 2 pi)) about anchor after a translation.
struct SeamAlignment {
    double angle = 0.0;
    double anchorU = 0.0;
    double anchorV = 0.0;
    double translationU = 0.0;
    double translationV = 0.0;
};

// Angle between the directions A_m->B_m (moving) and A_f->B_f (fixed), anchor
// at fixed A_f and translation fixed A_f - moving A_m. A side whose direction
// has no length (a closed seam, coincident points, NaN) gives angle 0: the
// motion is then a pure translation. Indices outside the lists give the
// identity.
SeamAlignment computeSeamAlignment(const iuv::DoubleVector& movingUV, const iuv::DoubleVector& fixedUV,
                                   uint32_t movingA, uint32_t movingB, uint32_t fixedA, uint32_t fixedB);

void applySeamAlignment(const SeamAlignment& alignment, iuv::DoubleVector& uvCoords2D);

// Glues the two charts along the seam containing the 3D edge (a, b) into a new
// chart (c1's triangles first), moving one side onto the other. Prints the
// framed fatal-error text and returns nothing when (a, b) lies on no seam;
// returns nothing as well when the seam's two sides lie in one chart or the
// topology does not match the chart list.
std::optional<Chart> glueAlongSeam(const ChartList& charts, uint32_t a, uint32_t b, const MeshTopology& topology,
                                   bool moveFirstSide);
