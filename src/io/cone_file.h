#pragma once

#include "model/iuv_vector.h"

#include <cstddef>
#include <string>

// Reads a cone file: one 1-based vertex number per line; "#" starts a comment
// that runs to the end of the line; blank lines are skipped. The numbers are
// returned 0-based in file order, each once. Returns false with a reason that
// names the file (and the line) when the file cannot be read or a line holds
// anything but one number between 1 and vertexCount.
bool readConeFile(const std::string& filename, size_t vertexCount, iuv::UIntVector& cones, std::string& why);
