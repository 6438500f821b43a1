#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// A decoded PNG file as 8-bit RGB, rows from the top.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;

    // Number of distinct colours, and of pixels that differ from (r, g, b).
    size_t distinctColours() const;
    size_t pixelsOtherThan(uint8_t r, uint8_t g, uint8_t b) const;
};

// Decodes a PNG file with libpng; false with the reason when it is not one.
bool readPng(const std::string& path, RgbImage& image, std::string& error);

} // namespace testsupport
