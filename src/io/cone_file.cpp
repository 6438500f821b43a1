#include "io/cone_file.h"

#include <cctype>
#include <fstream>
#include <vector>

namespace {

std::string trimmed(const std::string& text)
{
    size_t first = 0, last = text.size();
    while (first < last && std::isspace(static_cast<unsigned char>(text[first])))
        ++first;
    while (last > first && std::isspace(static_cast<unsigned char>(text[last - 1])))
        --last;
    return text.substr(first, last - first);
}

// The decimal number of text, or 0 when text is not one or is too large.
unsigned long long parseNumber(const std::string& text)
{
    if (text.empty() || text.size() > 19)
        return 0;
    unsigned long long n = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return 0;
        n = n * 10 + static_cast<unsigned>(c - '0');
    }
    return n;
}

} // namespace

bool readConeFile(const std::string& filename, size_t vertexCount, iuv::UIntVector& cones, std::string& why)
{
    cones.clear();
    std::ifstream in(filename);
    if (!in) {
        why = "Cannot read the cone file " + filename + ".";
        return false;
    }
    std::vector<bool> seen(vertexCount, false);
    std::string line;
    size_t lineNumber = 0;
    while (std::getline(in, line)) {
        ++lineNumber;
        const std::string text = trimmed(line.substr(0, line.find('#')));
        if (text.empty())
            continue;
        const unsigned long long n = parseNumber(text);
        if (n == 0 || n > vertexCount) {
            why = "Cone file " + filename + ", line " + std::to_string(lineNumber) + ": '" + text +
                  "' is not a vertex number between 1 and " + std::to_string(vertexCount) + ".";
            cones.clear();
            return false;
        }
        const auto vertex = static_cast<uint32_t>(n - 1);
        if (!seen[vertex]) {
            seen[vertex] = true;
            cones.push_back(vertex);
        }
    }
    if (in.bad()) {
        why = "Cannot read the cone file " + filename + ".";
        cones.clear();
        return false;
    }
    return true;
}
