#pragma once

#include "model/chart.h"
#include "model/iuv_vector.h"

#include <cstdint>
#include <vector>

// Result of compactUVVertices: the renumbered index list and, for every new UV
// vertex, the old UV vertex it stands for.
struct CompactedUVIndices {
    iuv::UIntVector indices;
    std::vector<uint32_t> oldVertex;
};

// Renumbers the UV vertices that the list uses densely, keeping their old
// relative order (the lowest used old index becomes 0, and so on).
CompactedUVIndices compactUVVertices(const iuv::UIntVector& uvIndices);

// Mirrors the chart in u (u becomes -u) when all of its triangles share the
// orientation of the first one and that one is clockwise or has zero area.
void mirrorIfClockwise(Chart& chart);

// Moves the triangles oriented against the first triangle into a separate UV
// island after the others (mirrored when clockwise). Prints
// "Found N flipped triangles to fix." when there are any. Every chart with at
// least two triangles is rebuilt: unused UV vertices are dropped.
void fixFlippedTriangles(Chart& chart);
