// Angle-based flattening of curved open disks of about 5,000, 20,000 and
// 50,000 triangles: Newton iterations, time per iteration, total time and the
// final angle errors. Processor time. Usage: bench_flattening [triangles...]
#include "meshgen/meshgen.h"
#include "flatten/flattening.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <sstream>
#include <vector>

namespace {

struct Disk {
    iuv::UIntVector tri;
    iuv::DoubleVector pos;
};

enum class Surface { Cap, Saddle, Bumpy };

const char* surfaceName(Surface s)
{
    return s == Surface::Cap ? "cap" : s == Surface::Saddle ? "saddle" : "bumpy";
}

// Disk of about `triangles` triangles: the generated ring disks (a spherical
// cap reaching 1.2 radians from the pole, a saddle), or an n x n grid over
// [-1,1]^2 with bumps a few triangles wide (strong curvature at every vertex).
Disk curvedDisk(int triangles, Surface surface)
{
    Disk d;
    if (surface != Surface::Bumpy) {
        const int rings = static_cast<int>(std::lround(std::sqrt(triangles / 6.0)));
        const meshgen::MeshData m = surface == Surface::Cap ? meshgen::sphericalCap(rings, 1.2) : meshgen::saddle(rings);
        d.tri = iuv::UIntVector(m.posIndices);
        d.pos = iuv::DoubleVector(m.positions);
        return d;
    }
    const int n = static_cast<int>(std::lround(std::sqrt(triangles / 2.0)));
    const double k = 0.37 * M_PI * n;
    for (int j = 0; j <= n; ++j) {
        for (int i = 0; i <= n; ++i) {
            const double x = -1.0 + 2.0 * i / n;
            const double y = -1.0 + 2.0 * j / n;
            d.pos.insert(d.pos.end(), {x, y, 1.5 / n * std::sin(k * x) * std::sin(k * y)});
        }
    }
    auto id = [n](int i, int j) { return static_cast<uint32_t>(j * (n + 1) + i); };
    for (int j = 0; j < n; ++j) {
        for (int i = 0; i < n; ++i) {
            const uint32_t a = id(i, j), b = id(i + 1, j), c = id(i + 1, j + 1), e = id(i, j + 1);
            if ((i + j) % 2 == 0)
                d.tri.insert(d.tri.end(), {a, b, c, a, c, e});
            else
                d.tri.insert(d.tri.end(), {a, b, e, b, c, e});
        }
    }
    return d;
}

// Mean and largest |flattened angle - 3D angle| over all corners.
void angleDistortion(const Disk& d, const Chart& chart, double& mean, double& largest)
{
    iuv::DoubleVector flat(d.pos.size(), 0.0);
    for (size_t v = 0; v < d.pos.size() / 3; ++v) {
        flat[3 * v] = chart.uvCoords2D[2 * v];
        flat[3 * v + 1] = chart.uvCoords2D[2 * v + 1];
    }
    const std::vector<double> a3 = cornerAngles(d.tri, d.pos);
    const std::vector<double> a2 = cornerAngles(d.tri, flat);
    mean = 0.0;
    largest = 0.0;
    for (size_t c = 0; c < a3.size(); ++c) {
        mean += std::fabs(a2[c] - a3[c]);
        largest = std::max(largest, std::fabs(a2[c] - a3[c]));
    }
    mean /= static_cast<double>(a3.size());
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<int> sizes{5000, 20000, 50000};
    if (argc > 1) {
        sizes.clear();
        for (int k = 1; k < argc; ++k)
            sizes.push_back(std::atoi(argv[k]));
    }
    std::printf("%-7s %9s %5s %10s %9s %9s %9s %11s %11s %11s\n", "surface", "triangles", "iter", "s/iter",
                "newton s", "layout s", "total s", "final |g|", "layout err", "distortion");
    for (Surface surface : {Surface::Cap, Surface::Saddle, Surface::Bumpy}) {
        for (int n : sizes) {
            if (n < 6)
                continue;
            const Disk d = curvedDisk(n, surface);
            Chart chart;
            chart.triIndicesPos = d.tri;
            chart.triIndicesUV = d.tri;
            chart.uvCoords2D.assign(2 * (d.pos.size() / 3), 0.0);

            std::ostringstream sink;
            std::streambuf* old = std::cout.rdbuf(sink.rdbuf());
            const std::clock_t start = std::clock();
            const FlatteningReport r = runAngleFlattening(chart, d.pos, nullptr);
            const double total = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
            std::cout.rdbuf(old);

            double mean = 0.0, largest = 0.0;
            if (r.flattened)
                angleDistortion(d, chart, mean, largest);
            std::printf("%-7s %9zu %5d %10.4f %9.3f %9.3f %9.3f %11.3g %11.3g %11.3g\n", surfaceName(surface),
                        d.tri.size() / 3, r.iterations,
                        r.iterations > 0 ? r.newtonSeconds / r.iterations : 0.0, r.newtonSeconds,
                        r.layoutSeconds, total, r.finalGradient, r.largestError, mean);
            std::fflush(stdout);
        }
    }
    return 0;
}
