#pragma once

#include <cstdint>
#include <vector>

// Splits a polygon into the n - 2 triangles of its own corners. corners holds
// x, y, z per corner, in the polygon's order. The polygon is projected onto
// the plane that it faces most (by its Newell normal) and cut by ear clipping:
// at every step the ear whose smallest angle is the largest goes first, so a
// convex polygon is not fanned into slivers from one corner. A polygon that
// is not simple in that projection still gives n - 2 triangles (the best
// convex corner, or failing that the best corner, is clipped when no ear is
// free). Returns three corner positions (0 .. n-1) per triangle, each in the
// polygon's orientation.
std::vector<uint32_t> triangulatePolygon(const std::vector<double>& corners);
