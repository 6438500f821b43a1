#include "support/test_support.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <vector>

#include <unistd.h>

namespace testsupport {

Chart makeChart(const std::vector<uint32_t>& posIndices, const std::vector<uint32_t>& uvIndices,
                const std::vector<double>& uv)
{
    Chart c;
    c.triIndicesPos = iuv::UIntVector(posIndices);
    c.triIndicesUV = iuv::UIntVector(uvIndices.empty() ? posIndices : uvIndices);
    c.uvCoords2D = iuv::DoubleVector(uv);
    return c;
}

Chart unitSquareChart()
{
    return makeChart({0, 1, 2, 0, 2, 3}, {}, {0, 0, 1, 0, 1, 1, 0, 1});
}

namespace {

// Directories made by this process (from any thread), removed when it exits
// normally. A forked child that exits does not remove its parent's directories.
class TempDirRegistry {
public:
    ~TempDirRegistry()
    {
        if (getpid() != owner_)
            return;
        for (const std::string& dir : dirs_)
            removeTree(dir);
    }
    void add(const std::string& dir)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        dirs_.push_back(dir);
    }

private:
    std::mutex mutex_;
    pid_t owner_ = getpid();
    std::vector<std::string> dirs_;
};

TempDirRegistry& tempDirRegistry()
{
    static TempDirRegistry registry;
    return registry;
}

} // namespace

std::string exampleFile(const std::string& name)
{
    return std::string(TARNWICK_EXAMPLES_DIR) + "/" + name;
}

std::string makeTempDir(const std::string& prefix)
{
    const char* base = std::getenv("TMPDIR");
    std::string templ = std::string(base && *base ? base : "/tmp") + "/" + prefix + "XXXXXX";
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data()))
        throw std::runtime_error("mkdtemp failed");
    tempDirRegistry().add(buf.data());
    return std::string(buf.data());
}

void removeTree(const std::string& path)
{
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

std::string writeTextFile(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
    return path;
}

std::string readTextFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

} // namespace testsupport
