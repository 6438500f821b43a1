#include "texture/image_files.h"

#include <utility>

namespace {

struct Handlers {
    ImageFileReader reader;
    ImageFileWriter writer;
};

Handlers& handlers()
{
    static Handlers installed;
    return installed;
}

} // namespace

void setImageFileHandlers(ImageFileReader reader, ImageFileWriter writer)
{
    handlers().reader = std::move(reader);
    handlers().writer = std::move(writer);
}

bool readImageFile(const std::string& path, RgbaImage& image, std::string& why)
{
    if (!handlers().reader) {
        why = "this build cannot read image files";
        return false;
    }
    image = RgbaImage();
    return handlers().reader(path, image, why);
}

bool writeImageFile(const RgbaImage& image, const std::string& path, std::string& why)
{
    if (!handlers().writer) {
        why = "this build cannot write image files";
        return false;
    }
    return handlers().writer(image, path, why);
}
