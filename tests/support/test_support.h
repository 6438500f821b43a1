#pragma once

#include "model/chart.h"

#include <string>

namespace testsupport {

// Chart from explicit lists (UV indices equal 3D indices when uvIndices is empty).
Chart makeChart(const std::vector<uint32_t>& posIndices, const std::vector<uint32_t>& uvIndices,
                const std::vector<double>& uv);

// Unit square [0,1]^2 of two counter-clockwise triangles (4 UV vertices).
Chart unitSquareChart();

// A fresh, empty directory under $TMPDIR (or /tmp). It is removed with its
// content when the test process exits, if the caller has not removed it before.
std::string makeTempDir(const std::string& prefix);
// Removes a file or a directory with everything in it; no error when missing.
void removeTree(const std::string& path);

// A fresh temporary directory that is removed, with its content, when the
// object goes out of scope.
class TempDir {
public:
    explicit TempDir(const std::string& prefix) : path_(makeTempDir(prefix)) {}
    ~TempDir() { removeTree(path_); }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Path of a bundled example model (examples/NAME in the source tree).
std::string exampleFile(const std::string& name);

// Writes text to a file, returning its path.
std::string writeTextFile(const std::string& path, const std::string& text);
std::string readTextFile(const std::string& path);

} // namespace testsupport
