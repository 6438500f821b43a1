#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// An 8-bit RGBA image, rows from the top, four bytes per pixel (R, G, B, A).
struct RgbaImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;

    RgbaImage() = default;
    // A width x height image of transparent black pixels.
    RgbaImage(int w, int h) : width(w), height(h), pixels(size_t(w) * size_t(h) * 4, 0) {}

    bool empty() const { return width <= 0 || height <= 0; }
    size_t pixelCount() const { return size_t(width) * size_t(height); }
    uint8_t* pixel(int x, int y) { return &pixels[(size_t(y) * size_t(width) + size_t(x)) * 4]; }
    const uint8_t* pixel(int x, int y) const { return &pixels[(size_t(y) * size_t(width) + size_t(x)) * 4]; }
};
