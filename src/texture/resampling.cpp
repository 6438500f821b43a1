#include "texture/resampling.h"

#include "texture/parallel_rows.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr int kBandRows = 32;

int wrap(int i, int n)
{
    const int r = i % n;
    return r < 0 ? r + n : r;
}

// Wraps a texel position far outside the image into a range where the integer
// conversion below cannot overflow.
double reduce(double p, int n)
{
    if (std::fabs(p) < 1.0e9)
        return p;
    return std::fmod(p, double(n));
}

// Index lists of the triangles touching each band of kBandRows rows.
std::vector<std::vector<uint32_t>> bucketByBand(const std::vector<TexelTriangle>& triangles, int rows)
{
    const int bands = (rows + kBandRows - 1) / kBandRows;
    std::vector<std::vector<uint32_t>> buckets(size_t(std::max(bands, 0)));
    for (size_t t = 0; t < triangles.size(); ++t) {
        const TexelTriangle& tri = triangles[t];
        const double lo = std::min({tri.y[0], tri.y[1], tri.y[2]});
        const double hi = std::max({tri.y[0], tri.y[1], tri.y[2]});
        if (!(lo < double(rows)) || !(hi >= 0.0))
            continue; // outside the image, or not finite
        const int r0 = std::max(0, int(std::ceil(lo - 0.5)));
        const int r1 = std::min(rows - 1, int(std::floor(hi - 0.5)));
        for (int b = r0 / kBandRows; b <= r1 / kBandRows && r0 <= r1; ++b)
            buckets[size_t(b)].push_back(uint32_t(t));
    }
    return buckets;
}

void paintTriangle(const TexelTriangle& tri, int firstRow, int lastRow, const RgbaImage& input,
                   RgbaImage& output, std::vector<uint8_t>& covered)
{
    const double* x = tri.x;
    const double* y = tri.y;
    const double area = (x[1] - x[0]) * (y[2] - y[0]) - (x[2] - x[0]) * (y[1] - y[0]);
    if (!(std::fabs(area) > 0.0) || !std::isfinite(area))
        return;
    const double sign = area > 0.0 ? 1.0 : -1.0;
    const double inv = 1.0 / std::fabs(area);
    const double minX = std::min({x[0], x[1], x[2]});
    const double maxX = std::max({x[0], x[1], x[2]});
    const double minY = std::min({y[0], y[1], y[2]});
    const double maxY = std::max({y[0], y[1], y[2]});
    const int i0 = std::max(0, int(std::ceil(std::max(minX - 0.5, -1.0))));
    const int i1 = std::min(output.width - 1, int(std::floor(std::min(maxX - 0.5, double(output.width)))));
    const int j0 = std::max(firstRow, int(std::ceil(std::max(minY - 0.5, -1.0))));
    const int j1 = std::min(lastRow - 1, int(std::floor(std::min(maxY - 0.5, double(output.height)))));
    for (int j = j0; j <= j1; ++j) {
        const double py = j + 0.5;
        for (int i = i0; i <= i1; ++i) {
            const double px = i + 0.5;
            // Edge weights: w_k belongs to corner k (opposite edge k+1, k+2).
            const double w0 = sign * ((x[2] - x[1]) * (py - y[1]) - (px - x[1]) * (y[2] - y[1]));
            const double w1 = sign * ((x[0] - x[2]) * (py - y[2]) - (px - x[2]) * (y[0] - y[2]));
            const double w2 = sign * ((x[1] - x[0]) * (py - y[0]) - (px - x[0]) * (y[1] - y[0]));
            if (w0 < 0.0 || w1 < 0.0 || w2 < 0.0)
                continue;
            const double l0 = w0 * inv, l1 = w1 * inv, l2 = w2 * inv;
            const double u = l0 * tri.u[0] + l1 * tri.u[1] + l2 * tri.u[2];
            const double v = l0 * tri.v[0] + l1 * tri.v[1] + l2 * tri.v[2];
            float rgba[4];
            sampleBilinear(input, u, v, rgba);
            uint8_t* out = output.pixel(i, j);
            for (int c = 0; c < 4; ++c)
                out[c] = uint8_t(std::lround(std::clamp(rgba[c], 0.0f, 255.0f)));
            covered[size_t(j) * size_t(output.width) + size_t(i)] = 1;
        }
    }
}

} // namespace

void sampleBilinear(const RgbaImage& image, double u, double v, float rgba[4])
{
    if (image.empty() || !std::isfinite(u) || !std::isfinite(v)) {
        rgba[0] = rgba[1] = rgba[2] = rgba[3] = 0.0f;
        return;
    }
    const double px = reduce(u * image.width - 0.5, image.width);
    const double py = reduce((1.0 - v) * image.height - 0.5, image.height);
    const double fx0 = std::floor(px);
    const double fy0 = std::floor(py);
    const float fx = float(px - fx0);
    const float fy = float(py - fy0);
    const int x0 = wrap(int(fx0), image.width), x1 = wrap(int(fx0) + 1, image.width);
    const int y0 = wrap(int(fy0), image.height), y1 = wrap(int(fy0) + 1, image.height);
    const uint8_t* a = image.pixel(x0, y0);
    const uint8_t* b = image.pixel(x1, y0);
    const uint8_t* c = image.pixel(x0, y1);
    const uint8_t* d = image.pixel(x1, y1);
    for (int k = 0; k < 4; ++k) {
        const float top = a[k] + (b[k] - a[k]) * fx;
        const float bottom = c[k] + (d[k] - c[k]) * fx;
        rgba[k] = top + (bottom - top) * fy;
    }
}

void rasterizeTexture(const std::vector<TexelTriangle>& triangles, const RgbaImage& input,
                      RgbaImage& output, std::vector<uint8_t>& covered)
{
    if (output.empty() || covered.size() < output.pixelCount())
        return;
    const std::vector<std::vector<uint32_t>> buckets = bucketByBand(triangles, output.height);
    forEachRowBand(output.height, kBandRows, [&](int first, int last) {
        for (uint32_t t : buckets[size_t(first / kBandRows)])
            paintTriangle(triangles[t], first, last, input, output, covered);
    });
}

void dilateGutter(RgbaImage& image, const std::vector<uint8_t>& covered, int gutter)
{
    if (gutter <= 0 || image.empty() || covered.size() < image.pixelCount())
        return;
    const int w = image.width;
    const int h = image.height;
    const int g2 = gutter * gutter;
    auto isCovered = [&](int x, int y) { return covered[size_t(y) * size_t(w) + size_t(x)] != 0; };
    // A covered texel with an uncovered 4-neighbour. The nearest covered texel
    // of an uncovered one is always such a texel: a step from it towards the
    // uncovered texel comes nearer.
    auto isBorder = [&](int x, int y) {
        return isCovered(x, y) && ((x > 0 && !isCovered(x - 1, y)) || (x + 1 < w && !isCovered(x + 1, y)) ||
                                   (y > 0 && !isCovered(x, y - 1)) || (y + 1 < h && !isCovered(x, y + 1)));
    };
    std::vector<int> bestDistance(image.pixelCount(), std::numeric_limits<int>::max());
    std::vector<uint32_t> nearest(image.pixelCount(), 0);
    forEachRowBand(h, kBandRows, [&](int first, int last) {
        // Sources in row order, each stamping the disc of its reach within
        // this band, so that ties go to the first source in row order.
        for (int sy = std::max(0, first - gutter); sy < std::min(h, last + gutter); ++sy) {
            for (int sx = 0; sx < w; ++sx) {
                if (!isBorder(sx, sy))
                    continue;
                const int dy0 = std::max(-gutter, first - sy);
                const int dy1 = std::min(gutter, last - 1 - sy);
                for (int dy = dy0; dy <= dy1; ++dy) {
                    const int reach = int(std::floor(std::sqrt(double(g2 - dy * dy))));
                    const int y = sy + dy;
                    for (int x = std::max(0, sx - reach); x <= std::min(w - 1, sx + reach); ++x) {
                        const size_t at = size_t(y) * size_t(w) + size_t(x);
                        const int d2 = (x - sx) * (x - sx) + dy * dy;
                        if (covered[at] || d2 >= bestDistance[at])
                            continue;
                        bestDistance[at] = d2;
                        nearest[at] = uint32_t(size_t(sy) * size_t(w) + size_t(sx));
                    }
                }
            }
        }
        for (int y = first; y < last; ++y) {
            for (int x = 0; x < w; ++x) {
                const size_t at = size_t(y) * size_t(w) + size_t(x);
                if (bestDistance[at] == std::numeric_limits<int>::max())
                    continue;
                const uint8_t* from = &image.pixels[size_t(nearest[at]) * 4];
                std::copy(from, from + 4, &image.pixels[at * 4]);
            }
        }
    });
}
