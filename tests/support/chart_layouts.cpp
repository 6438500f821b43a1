#include "support/chart_layouts.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <unordered_map>

namespace packtest {

Chart gridChart(int nx, int ny, double x0, double y0, double w, double h)
{
    Chart c;
    for (int j = 0; j <= ny; ++j)
        for (int i = 0; i <= nx; ++i) {
            c.uvCoords2D.push_back(x0 + w * i / nx);
            c.uvCoords2D.push_back(y0 + h * j / ny);
        }
    const auto id = [nx](int i, int j) { return uint32_t(j * (nx + 1) + i); };
    for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i) {
            const uint32_t a = id(i, j), b = id(i + 1, j), d = id(i + 1, j + 1), e = id(i, j + 1);
            for (uint32_t v : {a, b, d, a, d, e})
                c.triIndicesUV.push_back(v);
        }
    c.triIndicesPos = c.triIndicesUV;
    return c;
}

Chart lShapeChart()
{
    Chart c = gridChart(4, 4, 0.0, 0.0, 1.0, 1.0);
    // Drop the quads of the upper right quadrant (columns 2-3, rows 2-3).
    iuv::UIntVector kept;
    for (size_t q = 0; q < 16; ++q) {
        const int i = int(q % 4), j = int(q / 4);
        if (i >= 2 && j >= 2)
            continue;
        for (size_t k = 0; k < 6; ++k)
            kept.push_back(c.triIndicesUV[6 * q + k]);
    }
    c.triIndicesUV = kept;
    c.triIndicesPos = kept;
    return c;
}

ChartList randomLayout(int count, int totalTriangles, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    ChartList charts;
    if (count <= 0)
        return charts;
    const int perChart = std::max(2, totalTriangles / count);
    uint32_t posOffset = 0;
    for (int n = 0; n < count; ++n) {
        // Quads per chart vary between a quarter and twice the mean.
        const int quads = std::max(1, int(perChart / 2 * (0.25 + 1.75 * unit(rng))));
        const double aspect = 0.25 + 3.75 * unit(rng);
        const int nx = std::max(1, int(std::round(std::sqrt(quads * aspect))));
        const int ny = std::max(1, quads / nx);
        const double size = 0.2 + unit(rng);
        Chart c = gridChart(nx, ny, 0.0, 0.0, size * nx / std::max(nx, ny), size * ny / std::max(nx, ny));
        // Remove a corner block now and then for concave outlines.
        if (nx >= 3 && ny >= 3 && unit(rng) < 0.5) {
            iuv::UIntVector kept;
            for (int q = 0; q < nx * ny; ++q) {
                const int i = q % nx, j = q / nx;
                if (i >= nx / 2 && j >= ny / 2)
                    continue;
                for (int k = 0; k < 6; ++k)
                    kept.push_back(c.triIndicesUV[6 * q + k]);
            }
            c.triIndicesUV = kept;
        }
        const double angle = 6.283185307179586 * unit(rng);
        const double ox = 10.0 * unit(rng), oy = 10.0 * unit(rng);
        const double cs = std::cos(angle), sn = std::sin(angle);
        for (size_t i = 0; i < c.uvCoords2D.size(); i += 2) {
            const double u = c.uvCoords2D[i], v = c.uvCoords2D[i + 1];
            c.uvCoords2D[i] = ox + u * cs - v * sn;
            c.uvCoords2D[i + 1] = oy + u * sn + v * cs;
        }
        c.triIndicesPos.clear();
        for (uint32_t v : c.triIndicesUV)
            c.triIndicesPos.push_back(v + posOffset);
        posOffset += uint32_t(c.uvCoords2D.size() / 2);
        charts.push_back(c);
    }
    return charts;
}

namespace {

struct Tri {
    double x[3], y[3];
    double minX, minY, maxX, maxY;
    size_t chart;
};

// Penetration depth of two triangles by the separating axis test over the
// six edge normals (0 or less when they are separated or only touch).
double penetration(const Tri& a, const Tri& b)
{
    double depth = std::numeric_limits<double>::max();
    for (const Tri* t : {&a, &b})
        for (int e = 0; e < 3; ++e) {
            const double ex = t->x[(e + 1) % 3] - t->x[e], ey = t->y[(e + 1) % 3] - t->y[e];
            const double len = std::hypot(ex, ey);
            if (len == 0.0)
                continue;
            const double nx = -ey / len, ny = ex / len;
            double a0 = 1e300, a1 = -1e300, b0 = 1e300, b1 = -1e300;
            for (int k = 0; k < 3; ++k) {
                const double pa = a.x[k] * nx + a.y[k] * ny, pb = b.x[k] * nx + b.y[k] * ny;
                a0 = std::min(a0, pa);
                a1 = std::max(a1, pa);
                b0 = std::min(b0, pb);
                b1 = std::max(b1, pb);
            }
            depth = std::min(depth, std::min(a1, b1) - std::max(a0, b0));
        }
    return depth;
}

} // namespace

OverlapReport findChartOverlaps(const ChartList& charts, double slack)
{
    std::vector<Tri> tris;
    UVBox box;
    for (size_t c = 0; c < charts.size(); ++c) {
        const Chart& ch = charts[c];
        for (size_t t = 0; t + 2 < ch.triIndicesUV.size(); t += 3) {
            Tri tri;
            tri.chart = c;
            for (int k = 0; k < 3; ++k) {
                const uint32_t v = ch.triIndicesUV[t + k];
                tri.x[k] = ch.uvCoords2D[2 * v];
                tri.y[k] = ch.uvCoords2D[2 * v + 1];
            }
            tri.minX = std::min({tri.x[0], tri.x[1], tri.x[2]});
            tri.maxX = std::max({tri.x[0], tri.x[1], tri.x[2]});
            tri.minY = std::min({tri.y[0], tri.y[1], tri.y[2]});
            tri.maxY = std::max({tri.y[0], tri.y[1], tri.y[2]});
            box.include(tri.minX, tri.minY);
            box.include(tri.maxX, tri.maxY);
            tris.push_back(tri);
        }
    }
    OverlapReport report;
    if (tris.empty())
        return report;
    // Uniform buckets of about four triangles each.
    const int side = std::max(1, int(std::sqrt(tris.size() / 4.0)));
    const double cw = std::max(box.width(), 1e-300) / side, chh = std::max(box.height(), 1e-300) / side;
    const auto bucket = [&](double v, double lo, double size) {
        return std::min(side - 1, std::max(0, int((v - lo) / size)));
    };
    std::vector<std::vector<size_t>> buckets(size_t(side) * side);
    for (size_t i = 0; i < tris.size(); ++i)
        for (int by = bucket(tris[i].minY, box.minV, chh); by <= bucket(tris[i].maxY, box.minV, chh); ++by)
            for (int bx = bucket(tris[i].minX, box.minU, cw); bx <= bucket(tris[i].maxX, box.minU, cw); ++bx)
                buckets[size_t(by) * side + bx].push_back(i);
    std::unordered_map<uint64_t, double> pairs;
    for (const auto& b : buckets)
        for (size_t i = 0; i < b.size(); ++i)
            for (size_t j = i + 1; j < b.size(); ++j) {
                const Tri& p = tris[b[i]];
                const Tri& q = tris[b[j]];
                if (p.chart == q.chart || p.maxX <= q.minX || q.maxX <= p.minX || p.maxY <= q.minY ||
                    q.maxY <= p.minY)
                    continue;
                const double d = penetration(p, q);
                if (d > slack) {
                    const uint64_t key = (uint64_t(std::min(p.chart, q.chart)) << 32) | std::max(p.chart, q.chart);
                    pairs[key] = std::max(pairs[key], d);
                    report.deepest = std::max(report.deepest, d);
                }
            }
    report.overlappingPairs = pairs.size();
    return report;
}

UVBox layoutBox(const ChartList& charts) { return chartListUVBounds(charts); }

double signedUVArea(const Chart& chart)
{
    double area = 0.0;
    for (size_t t = 0; t < chart.numTriangles(); ++t)
        area += 0.5 * uvTriangleCross(chart, t);
    return area;
}

} // namespace packtest
