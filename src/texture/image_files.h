#pragma once

#include "texture/rgba_image.h"

#include <functional>
#include <string>

// Reading and writing image files is left to handlers that the program
// installs (the layers below the widgets use no image library of their own).
// A handler returns false with a short reason ("the file is empty", ...).
using ImageFileReader = std::function<bool(const std::string& path, RgbaImage& image, std::string& why)>;
using ImageFileWriter = std::function<bool(const RgbaImage& image, const std::string& path, std::string& why)>;

// Replaces the handlers used by readImageFile and writeImageFile.
void setImageFileHandlers(ImageFileReader reader, ImageFileWriter writer);

// Reads an image through the installed reader; false with the reason when it
// fails or when no reader is installed.
bool readImageFile(const std::string& path, RgbaImage& image, std::string& why);

// Writes a PNG file through the installed writer; false with the reason when
// it fails or when no writer is installed.
bool writeImageFile(const RgbaImage& image, const std::string& path, std::string& why);
