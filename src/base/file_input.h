#pragma once

#include <cstddef>
#include <string>

// Reads a whole regular file into memory in one pass. Directories, pipes,
// sockets and devices are refused without reading from them (a pipe would
// block, a device may never end), as is a file larger than maxBytes.
// Returns false with whyNot set to a short reason ("No such file or
// directory", "it is a directory, not a regular file", ...); contents is then
// empty.
bool readRegularFile(const std::string& path, std::string& contents, std::string& whyNot,
                     std::size_t maxBytes = std::size_t(1) << 32);
