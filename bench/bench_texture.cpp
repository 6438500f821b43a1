// Texture resampling: a 4096 x 4096 input texture painted over a layout of
// about 100,000 triangles (random charts normalised into the unit square),
// resampled into the same charts at the input's density (so the output is
// about 4096 x 4096 as well). Prints the wall-clock time of the resampling
// (sizing, rasterisation and gutter) and the threads it may use, best of
// three runs.
#include "meshgen/meshgen.h"
#include "texture/textured_layout.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <iostream>
#include <thread>

int main()
{
    Model model = meshgen::randomChartLayout(800, 100000, 18);
    // The input layout: the charts as they are, squeezed into [0,1]^2.
    Chart source;
    mergeCharts(model.charts, source);
    source.sourceTriangle.clear();
    const UVBox box = chartUVBounds(source);
    const double side = std::max(box.width(), box.height());
    for (size_t i = 0; i < source.numUVVertices(); ++i) {
        source.uvCoords2D[2 * i] = (source.uvCoords2D[2 * i] - box.minU) / side;
        source.uvCoords2D[2 * i + 1] = (source.uvCoords2D[2 * i + 1] - box.minV) / side;
    }
    model.sourceLayout = source;
    uint32_t next = 0;
    for (Chart& chart : model.charts) {
        chart.sourceTriangle.resize(chart.numTriangles());
        for (uint32_t& s : chart.sourceTriangle)
            s = next++;
    }

    RgbaImage input(4096, 4096);
    for (int y = 0; y < input.height; ++y) {
        for (int x = 0; x < input.width; ++x) {
            uint8_t* p = input.pixel(x, y);
            p[0] = uint8_t(128 + 100 * std::sin(x * 0.01));
            p[1] = uint8_t(128 + 100 * std::sin(y * 0.013));
            p[2] = uint8_t((x ^ y) & 255);
            p[3] = 255;
        }
    }

    TexturedLayout out;
    std::string why;
    double fastest = 1e300;
    for (int run = 0; run < 3; ++run) {
        const auto start = std::chrono::steady_clock::now();
        if (!makeTexturedLayout(model, input, TextureSettings(), out, why)) {
            std::cout << "resampling failed: " << why << std::endl;
            return 1;
        }
        fastest = std::min(fastest, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::cout << "triangles: " << out.layout.numTriangles() << "\n"
              << "input texture: " << input.width << " x " << input.height << "\n"
              << "output texture: " << out.image.width << " x " << out.image.height << "\n"
              << "threads available: " << std::max(1u, std::thread::hardware_concurrency()) << "\n"
              << "resampling time (best of 3): " << fastest << " s (target < 5 s on 2 cores)" << std::endl;
    return 0;
}
