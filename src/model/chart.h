#pragma once

#include "model/iuv_vector.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Marks a triangle whose input triangle is not known (a chart built by hand).
constexpr uint32_t UnknownSourceTriangle = 0xFFFFFFFFu;

// One connected piece of the UV layout. Triangle t is entries 3t..3t+2 of
// both index lists; triIndicesUV counts UV vertices within this chart.
// sourceTriangle[t] is the number of the input triangle that triangle t lies
// in (the loaded model's triangle order); every operation that copies, splits
// or merges triangles carries it along, so that each piece of a cut triangle
// still knows the input triangle it came from. It may be shorter than the
// triangle count for charts built by hand: missing entries are unknown.
struct Chart {
    iuv::UIntVector triIndicesPos;
    iuv::UIntVector triIndicesUV;
    iuv::DoubleVector uvCoords2D;
    iuv::UIntVector sourceTriangle;

    size_t numTriangles() const { return triIndicesPos.size() / 3; }
    size_t numUVVertices() const { return uvCoords2D.size() / 2; }
};

// The chart list owns its charts; its order is significant (chart labels,
// packing order and refinement all refer to it). Charts are plain values, so
// replacing the list releases the old charts.
using ChartList = std::vector<Chart>;

// Axis-aligned UV box. The default value is the inverted box that every
// union starts from.
struct UVBox {
    double minU;
    double minV;
    double maxU;
    double maxV;

    UVBox();
    UVBox(double minU, double minV, double maxU, double maxV);

    double width() const { return maxU - minU; }
    double height() const { return maxV - minV; }
    bool isInverted() const { return minU > maxU || minV > maxV; }
    void include(const UVBox& other);
    // Defined here: box loops over every UV corner call it.
    void include(double u, double v)
    {
        if (u < minU) minU = u;
        if (v < minV) minV = v;
        if (u > maxU) maxU = u;
        if (v > maxV) maxV = v;
    }
};

// Box of the chart's used UV coordinates; indices past the coordinates are
// skipped (the inverted box when nothing remains).
UVBox chartUVBounds(const Chart& chart);
// Union of chartUVBounds over the list (the inverted box for no triangles).
UVBox chartListUVBounds(const ChartList& charts);

double chartArea(const Chart& chart, const iuv::DoubleVector& sharedPositions, bool inUV);
bool hasUVFlips(const Chart& chart);
void translateUVs(iuv::DoubleVector& uvCoords2D, double du, double dv);
void normalizeToUnitSquare(Chart& chart);
void mergeCharts(const ChartList& charts, Chart& target);
double totalUVArea(const ChartList& charts);

// The chart's own invariants hold: both index lists have the same length, a
// multiple of three, and every UV index lies below the UV vertex count.
bool chartIndicesValid(const Chart& chart);

// The input triangle of triangle t, or UnknownSourceTriangle.
inline uint32_t sourceOf(const Chart& chart, size_t t)
{
    return t < chart.sourceTriangle.size() ? chart.sourceTriangle[t] : UnknownSourceTriangle;
}

// Numbers the chart's triangles as the input triangles 0, 1, 2, ... (the
// loaded model's own triangles).
void numberSourceTriangles(Chart& chart);

// Signed UV cross product (b - a) x (c - a) of triangle t.
double uvTriangleCross(const Chart& chart, size_t t);
