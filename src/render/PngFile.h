#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Writes an 8-bit RGB image (rows from the top, three bytes per pixel) as a
// PNG file. False with the reason when the file cannot be written.
bool writePngRGB(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb,
                 std::string& whyNot);
