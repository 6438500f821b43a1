#include "io/gltf_accessors.h"

#include <tiny_gltf.h>

#include <algorithm>
#include <cstring>

namespace {

// Vertex and index numbers are stored in 32 bits.
constexpr uint64_t kMaxCount = 4294967295ull;
// An accessor without a buffer view is all zeros (before sparse values); its
// size is bounded so that a hostile count cannot exhaust memory.
constexpr uint64_t kMaxUnbackedCount = 1ull << 24;
// Largest byte stride glTF allows.
constexpr uint64_t kMaxStride = 252;

int componentSize(int componentType)
{
    switch (componentType) {
    case TINYGLTF_COMPONENT_TYPE_BYTE:
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE:
        return 1;
    case TINYGLTF_COMPONENT_TYPE_SHORT:
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT:
        return 2;
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT:
    case TINYGLTF_COMPONENT_TYPE_FLOAT:
        return 4;
    default:
        return 0;
    }
}

int componentCount(int type)
{
    switch (type) {
    case TINYGLTF_TYPE_SCALAR:
        return 1;
    case TINYGLTF_TYPE_VEC2:
        return 2;
    case TINYGLTF_TYPE_VEC3:
        return 3;
    case TINYGLTF_TYPE_VEC4:
        return 4;
    default:
        return 0;
    }
}

template <typename T>
T load(const unsigned char* p)
{
    T value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

double readComponent(const unsigned char* p, int componentType, bool normalized)
{
    switch (componentType) {
    case TINYGLTF_COMPONENT_TYPE_FLOAT:
        return static_cast<double>(load<float>(p));
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE: {
        const double x = load<uint8_t>(p);
        return normalized ? x / 255.0 : x;
    }
    case TINYGLTF_COMPONENT_TYPE_BYTE: {
        const double x = load<int8_t>(p);
        return normalized ? std::max(x / 127.0, -1.0) : x;
    }
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT: {
        const double x = load<uint16_t>(p);
        return normalized ? x / 65535.0 : x;
    }
    case TINYGLTF_COMPONENT_TYPE_SHORT: {
        const double x = load<int16_t>(p);
        return normalized ? std::max(x / 32767.0, -1.0) : x;
    }
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT: {
        const double x = load<uint32_t>(p);
        return normalized ? x / 4294967295.0 : x;
    }
    default:
        return 0.0;
    }
}

struct Span {
    const unsigned char* data = nullptr;
    uint64_t size = 0;
    uint64_t stride = 0; // 0: tightly packed
};

// The bytes of buffer view `viewIndex`, checked against its buffer.
std::string resolveView(const tinygltf::Model& model, long long viewIndex, const std::string& what, Span& span)
{
    if (viewIndex < 0 || static_cast<uint64_t>(viewIndex) >= model.bufferViews.size())
        return what + " refers to a buffer view that does not exist.";
    const tinygltf::BufferView& view = model.bufferViews[static_cast<size_t>(viewIndex)];
    if (view.buffer < 0 || static_cast<size_t>(view.buffer) >= model.buffers.size())
        return what + " refers to a buffer that does not exist.";
    const tinygltf::Buffer& buffer = model.buffers[static_cast<size_t>(view.buffer)];
    const uint64_t available = buffer.data.size();
    if (available == 0)
        return what + " refers to a buffer whose data is missing.";
    if (view.byteOffset > available || view.byteLength > available - view.byteOffset)
        return what + " uses a buffer view that reaches outside its buffer.";
    span.data = buffer.data.data() + view.byteOffset;
    span.size = view.byteLength;
    span.stride = view.byteStride;
    return std::string();
}

// Checks that `count` elements of `elementSize` bytes, `stride` apart from
// `offset`, lie within `size` bytes.
bool elementsFit(uint64_t offset, uint64_t count, uint64_t stride, uint64_t elementSize, uint64_t size)
{
    if (count == 0)
        return offset <= size;
    if (offset > size || elementSize > size - offset)
        return false;
    // count <= 2^32 and stride <= 252, so the product cannot overflow.
    return (count - 1) * stride <= size - offset - elementSize;
}

struct Layout {
    int componentType = 0;
    int components = 0;
    uint64_t elementSize = 0;
};

std::string applySparse(const tinygltf::Model& model, const tinygltf::Accessor& accessor, const Layout& layout,
                        const std::string& what, std::vector<double>& values)
{
    const auto& sparse = accessor.sparse;
    if (sparse.count < 1 || static_cast<uint64_t>(sparse.count) > accessor.count)
        return what + " has a sparse substitution count outside the accessor.";
    const uint64_t n = static_cast<uint64_t>(sparse.count);
    const int indexSize = componentSize(sparse.indices.componentType);
    if (sparse.indices.componentType == TINYGLTF_COMPONENT_TYPE_BYTE ||
        sparse.indices.componentType == TINYGLTF_COMPONENT_TYPE_SHORT ||
        sparse.indices.componentType == TINYGLTF_COMPONENT_TYPE_FLOAT || indexSize == 0)
        return what + " has sparse indices of an unsupported component type.";
    Span indexSpan, valueSpan;
    std::string problem = resolveView(model, sparse.indices.bufferView, what + " (sparse indices)", indexSpan);
    if (problem.empty())
        problem = resolveView(model, sparse.values.bufferView, what + " (sparse values)", valueSpan);
    if (!problem.empty())
        return problem;
    if (sparse.indices.byteOffset < 0 || sparse.values.byteOffset < 0 ||
        !elementsFit(static_cast<uint64_t>(sparse.indices.byteOffset), n, static_cast<uint64_t>(indexSize),
                     static_cast<uint64_t>(indexSize), indexSpan.size) ||
        !elementsFit(static_cast<uint64_t>(sparse.values.byteOffset), n, layout.elementSize, layout.elementSize,
                     valueSpan.size))
        return what + " has sparse data that reaches outside its buffer view.";
    const unsigned char* indices = indexSpan.data + sparse.indices.byteOffset;
    const unsigned char* replacements = valueSpan.data + sparse.values.byteOffset;
    const size_t componentBytes = static_cast<size_t>(componentSize(layout.componentType));
    for (uint64_t i = 0; i < n; ++i) {
        const uint64_t target =
            static_cast<uint64_t>(readComponent(indices + i * indexSize, sparse.indices.componentType, false));
        if (target >= accessor.count)
            return what + " has a sparse index that points outside the accessor.";
        for (int c = 0; c < layout.components; ++c)
            values[target * layout.components + c] =
                readComponent(replacements + i * layout.elementSize + c * componentBytes, layout.componentType,
                              accessor.normalized);
    }
    return std::string();
}

} // namespace

int accessorComponentType(const tinygltf::Model& model, int index)
{
    if (index < 0 || static_cast<size_t>(index) >= model.accessors.size())
        return -1;
    return model.accessors[static_cast<size_t>(index)].componentType;
}

std::string readAccessorValues(const tinygltf::Model& model, int index, int components, const std::string& what,
                               std::vector<double>& values)
{
    if (index < 0 || static_cast<size_t>(index) >= model.accessors.size())
        return what + " refers to an accessor that does not exist.";
    const tinygltf::Accessor& accessor = model.accessors[static_cast<size_t>(index)];
    Layout layout;
    layout.componentType = accessor.componentType;
    layout.components = componentCount(accessor.type);
    const int size = componentSize(accessor.componentType);
    if (size == 0)
        return what + " has an unknown component type.";
    if (layout.components != components)
        return what + " has " + std::to_string(layout.components) + " components per element, not " +
               std::to_string(components) + ".";
    layout.elementSize = static_cast<uint64_t>(size) * static_cast<uint64_t>(components);
    const uint64_t count = accessor.count;
    if (count > kMaxCount)
        return what + " holds more elements than can be processed.";

    if (accessor.bufferView < 0) {
        // No data of its own: zeros, possibly replaced by sparse values.
        if (count > kMaxUnbackedCount)
            return what + " holds more elements than its data can describe.";
        values.assign(count * components, 0.0);
    } else {
        Span span;
        const std::string problem = resolveView(model, accessor.bufferView, what, span);
        if (!problem.empty())
            return problem;
        const uint64_t stride = span.stride ? span.stride : layout.elementSize;
        if (stride < layout.elementSize || stride > kMaxStride || stride % static_cast<uint64_t>(size) != 0)
            return what + " uses a buffer view with an invalid byte stride.";
        if (!elementsFit(accessor.byteOffset, count, stride, layout.elementSize, span.size))
            return what + " reaches outside its buffer view.";
        values.resize(count * components);
        const unsigned char* base = span.data + accessor.byteOffset;
        for (uint64_t i = 0; i < count; ++i) {
            for (int c = 0; c < components; ++c)
                values[i * components + c] =
                    readComponent(base + i * stride + static_cast<uint64_t>(c * size), accessor.componentType,
                                  accessor.normalized);
        }
    }
    if (accessor.sparse.isSparse)
        return applySparse(model, accessor, layout, what, values);
    return std::string();
}

std::string readIndexValues(const tinygltf::Model& model, int index, std::vector<uint32_t>& values)
{
    const int type = accessorComponentType(model, index);
    if (type != -1 && type != TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE && type != TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT &&
        type != TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT)
        return "The indices have a component type other than unsigned byte, short or int.";
    std::vector<double> raw;
    const std::string problem = readAccessorValues(model, index, 1, "The index accessor", raw);
    if (!problem.empty())
        return problem;
    if (model.accessors[static_cast<size_t>(index)].normalized)
        return "The index accessor must not be normalised.";
    values.resize(raw.size());
    for (size_t i = 0; i < raw.size(); ++i)
        values[i] = static_cast<uint32_t>(raw[i]);
    return std::string();
}
