// Every #include under src/ points at the including file's own layer or one
// below it. The layer order is the TARNWICK_LAYERS list of src/CMakeLists.txt,
// handed to this test by the build (comma-separated).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::vector<std::string> layerOrder()
{
    std::vector<std::string> layers;
    std::stringstream list(TARNWICK_LAYER_LIST);
    std::string layer;
    while (std::getline(list, layer, ','))
        layers.push_back(layer);
    return layers;
}

// Index of a layer in the order; files directly under src/ (the program's
// entry point) stand above every layer.
int rankOf(const std::vector<std::string>& layers, const std::string& folder)
{
    const auto it = std::find(layers.begin(), layers.end(), folder);
    return it == layers.end() ? -1 : int(it - layers.begin());
}

struct Include {
    std::string file;
    int line;
    std::string target;
};

std::vector<Include> projectIncludes(const fs::path& file)
{
    static const std::regex include(R"re(^\s*#\s*include\s*"([^"]*)")re");
    std::vector<Include> found;
    std::ifstream in(file);
    std::string text;
    std::smatch match;
    for (int line = 1; std::getline(in, text); ++line)
        if (std::regex_search(text, match, include))
            found.push_back({file.string(), line, match[1]});
    return found;
}

} // namespace

TEST(Layers, EveryIncludePointsDown)
{
    const std::vector<std::string> layers = layerOrder();
    ASSERT_GE(layers.size(), 2u);
    const fs::path src = TARNWICK_SOURCE_DIR;
    size_t checked = 0;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(src)) {
        const std::string ext = entry.path().extension().string();
        if (!entry.is_regular_file() || (ext != ".h" && ext != ".cpp"))
            continue;
        const fs::path relative = fs::relative(entry.path(), src);
        const bool top = relative.parent_path().empty();
        const std::string folder = top ? std::string() : relative.begin()->string();
        const int own = top ? int(layers.size()) : rankOf(layers, folder);
        EXPECT_GE(own, 0) << relative << " lies in a folder that is not a layer";
        for (const Include& inc : projectIncludes(entry.path())) {
            const size_t slash = inc.target.find('/');
            ASSERT_NE(slash, std::string::npos)
                << inc.file << ":" << inc.line << " includes \"" << inc.target << "\" without its layer folder";
            const int target = rankOf(layers, inc.target.substr(0, slash));
            EXPECT_GE(target, 0) << inc.file << ":" << inc.line << " includes \"" << inc.target
                                 << "\" from outside the layers";
            EXPECT_LE(target, own) << inc.file << ":" << inc.line << " includes \"" << inc.target
                                   << "\" from a layer above its own";
            ++checked;
        }
    }
    EXPECT_GT(checked, 100u);
}
