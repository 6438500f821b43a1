#pragma once

#include <cstdint>
#include <vector>

// The two list types of the model. Each owns one growable array and copies
// deeply. Their spelled names appear in signal signatures of the views, so
// they are distinct classes rather than aliases.
namespace iuv {

class UIntVector : public std::vector<uint32_t> {
public:
    using std::vector<uint32_t>::vector;
    UIntVector() = default;
    UIntVector(const std::vector<uint32_t>& v) : std::vector<uint32_t>(v) {}

    void append(const UIntVector& other) { insert(end(), other.begin(), other.end()); }
};

class DoubleVector : public std::vector<double> {
public:
    using std::vector<double>::vector;
    DoubleVector() = default;
    DoubleVector(const std::vector<double>& v) : std::vector<double>(v) {}

    void append(const DoubleVector& other) { insert(end(), other.begin(), other.end()); }
};

} // namespace iuv
