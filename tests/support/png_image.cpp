#include "support/png_image.h"

#include <png.h>

#include <cstring>
#include <set>

namespace testsupport {

size_t RgbImage::distinctColours() const
{
    std::set<uint32_t> colours;
    for (size_t i = 0; i + 2 < pixels.size(); i += 3)
        colours.insert(uint32_t(pixels[i]) << 16 | uint32_t(pixels[i + 1]) << 8 | pixels[i + 2]);
    return colours.size();
}

size_t RgbImage::pixelsOtherThan(uint8_t r, uint8_t g, uint8_t b) const
{
    size_t n = 0;
    for (size_t i = 0; i + 2 < pixels.size(); i += 3)
        n += (pixels[i] != r || pixels[i + 1] != g || pixels[i + 2] != b) ? 1 : 0;
    return n;
}

bool readPng(const std::string& path, RgbImage& image, std::string& error)
{
    png_image png;
    std::memset(&png, 0, sizeof(png));
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) {
        error = path + ": " + png.message;
        return false;
    }
    png.format = PNG_FORMAT_RGB;
    image.width = int(png.width);
    image.height = int(png.height);
    image.pixels.assign(PNG_IMAGE_SIZE(png), 0);
    if (!png_image_finish_read(&png, nullptr, image.pixels.data(), 0, nullptr)) {
        error = path + ": " + png.message;
        png_image_free(&png);
        return false;
    }
    return true;
}

} // namespace testsupport
