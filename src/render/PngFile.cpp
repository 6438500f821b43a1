#include "render/PngFile.h"

#include <png.h>

#include <cstdio>
#include <memory>

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

} // namespace

namespace {

bool hasPixels(int width, int height, const std::vector<uint8_t>& rgb, std::string& whyNot)
{
    if (width <= 0 || height <= 0 || rgb.size() != size_t(width) * size_t(height) * 3) {
        whyNot = "the image has no pixels";
        return false;
    }
    return true;
}

} // namespace

bool writePngRGB(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb,
                 std::string& whyNot)
{
    if (!hasPixels(width, height, rgb, whyNot))
        return false;
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        whyNot = "the image could not be written";
        return false;
    }
    return writePngRGB(file.get(), width, height, rgb, whyNot);
}

bool writePngRGB(std::FILE* file, int width, int height, const std::vector<uint8_t>& rgb, std::string& whyNot)
{
    if (!hasPixels(width, height, rgb, whyNot))
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        whyNot = "the image could not be encoded";
        return false;
    }
    std::vector<png_bytep> rows(static_cast<size_t>(height));
    for (int y = 0; y < height; ++y)
        rows[size_t(y)] = const_cast<png_bytep>(rgb.data() + size_t(y) * size_t(width) * 3);
    // libpng reports errors by jumping back here; only plain data lives in this frame.
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        whyNot = "the image could not be written";
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    if (std::fflush(file) != 0) {
        whyNot = "the image could not be written";
        return false;
    }
    return true;
}
