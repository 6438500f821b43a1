#include "model/chart.h"

#include <cmath>
#include <limits>

UVBox::UVBox()
    : minU(std::numeric_limits<double>::max()), minV(std::numeric_limits<double>::max()),
      maxU(std::numeric_limits<double>::lowest()), maxV(std::numeric_limits<double>::lowest())
{
}

UVBox::UVBox(double minU_, double minV_, double maxU_, double maxV_)
    : minU(minU_), minV(minV_), maxU(maxU_), maxV(maxV_)
{
}

void UVBox::include(const UVBox& other)
{
    if (other.minU < minU) minU = other.minU;
    if (other.minV < minV) minV = other.minV;
    if (other.maxU > maxU) maxU = other.maxU;
    if (other.maxV > maxV) maxV = other.maxV;
}

UVBox chartUVBounds(const Chart& chart)
{
    UVBox box;
    const size_t n = chart.triIndicesUV.size();
    for (size_t i = 0; i < n; ++i) {
        const size_t k = chart.triIndicesUV[i];
        if (2 * k + 1 >= chart.uvCoords2D.size())
            continue; // an index past the coordinates (a stale list) counts for nothing
        box.include(chart.uvCoords2D[2 * k], chart.uvCoords2D[2 * k + 1]);
    }
    return box;
}

UVBox chartListUVBounds(const ChartList& charts)
{
    UVBox box;
    for (const Chart& c : charts)
        box.include(chartUVBounds(c));
    return box;
}

namespace {

double triangleArea2D(double ax, double ay, double bx, double by, double cx, double cy)
{
    return 0.5 * std::fabs((bx - ax) * (cy - ay) - (cx - ax) * (by - ay));
}

double triangleArea3D(const double* a, const double* b, const double* c)
{
    const double e1[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
    const double e2[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
    const double x = e1[1] * e2[2] - e1[2] * e2[1];
    const double y = e1[2] * e2[0] - e1[0] * e2[2];
    const double z = e1[0] * e2[1] - e1[1] * e2[0];
    return 0.5 * std::sqrt(x * x + y * y + z * z);
}

} // namespace

double chartArea(const Chart& chart, const iuv::DoubleVector& sharedPositions, bool inUV)
{
    double area = 0.0;
    if (inUV) {
        const size_t nT = chart.triIndicesUV.size() / 3;
        const double* uv = chart.uvCoords2D.data();
        for (size_t t = 0; t < nT; ++t) {
            const size_t a = chart.triIndicesUV[3 * t], b = chart.triIndicesUV[3 * t + 1],
                         c = chart.triIndicesUV[3 * t + 2];
            area += triangleArea2D(uv[2 * a], uv[2 * a + 1], uv[2 * b], uv[2 * b + 1], uv[2 * c],
                                   uv[2 * c + 1]);
        }
    } else {
        const size_t nT = chart.triIndicesPos.size() / 3;
        const double* p = sharedPositions.data();
        for (size_t t = 0; t < nT; ++t) {
            const size_t a = chart.triIndicesPos[3 * t], b = chart.triIndicesPos[3 * t + 1],
                         c = chart.triIndicesPos[3 * t + 2];
            area += triangleArea3D(p + 3 * a, p + 3 * b, p + 3 * c);
        }
    }
    return area;
}

double uvTriangleCross(const Chart& chart, size_t t)
{
    const double* uv = chart.uvCoords2D.data();
    const size_t a = chart.triIndicesUV[3 * t], b = chart.triIndicesUV[3 * t + 1],
                 c = chart.triIndicesUV[3 * t + 2];
    const double ax = uv[2 * a], ay = uv[2 * a + 1];
    return (uv[2 * b] - ax) * (uv[2 * c + 1] - ay) - (uv[2 * c] - ax) * (uv[2 * b + 1] - ay);
}

bool hasUVFlips(const Chart& chart)
{
    if (chart.triIndicesUV.size() < 4)
        return false;
    const double s0 = uvTriangleCross(chart, 0);
    const size_t nT = chart.triIndicesUV.size() / 3;
    for (size_t t = 1; t < nT; ++t) {
        if (uvTriangleCross(chart, t) * s0 < 0.0)
            return true;
    }
    return false;
}

void translateUVs(iuv::DoubleVector& uvCoords2D, double du, double dv)
{
    const size_t n = uvCoords2D.size() / 2;
    for (size_t i = 0; i < n; ++i) {
        uvCoords2D[2 * i] += du;
        uvCoords2D[2 * i + 1] += dv;
    }
}

void normalizeToUnitSquare(Chart& chart)
{
    iuv::DoubleVector& uv = chart.uvCoords2D;
    if (uv.size() < 2)
        return;
    UVBox box;
    const size_t n = uv.size() / 2;
    for (size_t i = 0; i < n; ++i)
        box.include(uv[2 * i], uv[2 * i + 1]);
    const double s = std::max(box.width(), box.height());
    for (size_t i = 0; i < n; ++i) {
        uv[2 * i] = (uv[2 * i] - box.minU) / s;
        uv[2 * i + 1] = (uv[2 * i + 1] - box.minV) / s;
    }
}

void mergeCharts(const ChartList& charts, Chart& target)
{
    for (const Chart& c : charts) {
        if (&c == &target)
            return;
    }
    for (const Chart& c : charts) {
        const uint32_t offset = static_cast<uint32_t>(target.uvCoords2D.size() / 2);
        target.triIndicesPos.append(c.triIndicesPos);
        target.triIndicesUV.reserve(target.triIndicesUV.size() + c.triIndicesUV.size());
        for (uint32_t idx : c.triIndicesUV)
            target.triIndicesUV.push_back(idx + offset);
        target.uvCoords2D.append(c.uvCoords2D);
        // the sources of the target's earlier triangles first, then this chart's
        target.sourceTriangle.resize(target.triIndicesPos.size() / 3 - c.numTriangles(), UnknownSourceTriangle);
        for (size_t t = 0; t < c.numTriangles(); ++t)
            target.sourceTriangle.push_back(sourceOf(c, t));
    }
}

void numberSourceTriangles(Chart& chart)
{
    chart.sourceTriangle.resize(chart.numTriangles());
    for (size_t t = 0; t < chart.numTriangles(); ++t)
        chart.sourceTriangle[t] = static_cast<uint32_t>(t);
}

double totalUVArea(const ChartList& charts)
{
    static const iuv::DoubleVector noPositions;
    double area = 0.0;
    for (const Chart& c : charts)
        area += chartArea(c, noPositions, true);
    return area;
}

bool chartIndicesValid(const Chart& chart)
{
    const size_t n = chart.triIndicesUV.size();
    if (n != chart.triIndicesPos.size() || n % 3 != 0)
        return false;
    const size_t numUV = chart.uvCoords2D.size() / 2;
    for (uint32_t k : chart.triIndicesUV) {
        if (k >= numUV)
            return false;
    }
    return true;
}

