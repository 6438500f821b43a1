#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Writes an 8-bit RGB image (rows from the top, three bytes per pixel) as a
// PNG file. False with the reason when the file cannot be written.
bool writePngRGB(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb,
                 std::string& whyNot);

// The same into an open stream, from its current position; the caller closes it.
bool writePngRGB(std::FILE* file, int width, int height, const std::vector<uint8_t>& rgb, std::string& whyNot);
