// Accessors of a glTF model as the parser hands them over, altered the way a
// hostile file can alter them: each is read back as the glTF rules define it,
// or refused with its reason, without reading a byte outside the buffer.
#include "io/gltf_accessors.h"

#include <tiny_gltf.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

namespace {

// One buffer of 96 bytes, viewed whole: floats 1..8 in bytes 0-31, the bytes
// ff 80 01 7f 00 80 ff ff in 32-39, the 32-bit number 1 in 40-43 and the
// floats 9, 10, 11 in 44-55. Accessor 0 reads two float VEC3 from byte 0.
tinygltf::Model baseModel()
{
    tinygltf::Model m;
    m.buffers.resize(1);
    std::vector<unsigned char>& data = m.buffers[0].data;
    data.assign(96, 0);
    const float floats[] = {1, 2, 3, 4, 5, 6, 7, 8};
    const unsigned char bytes[] = {0xff, 0x80, 0x01, 0x7f, 0x00, 0x80, 0xff, 0xff};
    const uint32_t one = 1;
    const float replacement[] = {9, 10, 11};
    std::memcpy(&data[0], floats, sizeof floats);
    std::memcpy(&data[32], bytes, sizeof bytes);
    std::memcpy(&data[40], &one, sizeof one);
    std::memcpy(&data[44], replacement, sizeof replacement);
    tinygltf::BufferView view;
    view.buffer = 0;
    view.byteLength = 96;
    m.bufferViews.push_back(view);
    tinygltf::Accessor a;
    a.bufferView = 0;
    a.componentType = TINYGLTF_COMPONENT_TYPE_FLOAT;
    a.type = TINYGLTF_TYPE_VEC3;
    a.count = 2;
    m.accessors.push_back(a);
    return m;
}

// Accessor 0 as `components` integers of `type` from byte 32.
void integers(tinygltf::Model& m, int type, int components, bool normalized)
{
    tinygltf::Accessor& a = m.accessors[0];
    a.componentType = type;
    a.type = components == 1 ? TINYGLTF_TYPE_SCALAR : components;
    a.byteOffset = 32;
    a.normalized = normalized;
}

// A sparse substitution of element 1 by the floats 9, 10, 11.
void sparse(tinygltf::Model& m)
{
    auto& s = m.accessors[0].sparse;
    s.isSparse = true;
    s.count = 1;
    s.indices.bufferView = 0;
    s.indices.byteOffset = 40;
    s.indices.componentType = TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT;
    s.values.bufferView = 0;
    s.values.byteOffset = 44;
}

} // namespace

TEST(GltfAccessors, ValuesByTheGltfRulesOrTheReasonForRefusal)
{
    using M = tinygltf::Model;
    struct Case {
        const char* name;
        std::function<void(M&)> alter;
        int components; // 0: read as indices
        std::string error;
        std::vector<double> values; // expected when accepted
    };
    const Case cases[] = {
        {"floats", [](M&) {}, 3, "", {1, 2, 3, 4, 5, 6}},
        {"strided floats", [](M& m) { m.bufferViews[0].byteStride = 16; }, 3, "", {1, 2, 3, 5, 6, 7}},
        {"normalised unsigned bytes", [](M& m) { integers(m, 5121, 2, true); }, 2, "", {1, 128 / 255.0, 1 / 255.0, 127 / 255.0}},
        {"normalised bytes", [](M& m) { integers(m, 5120, 2, true); }, 2, "", {-1 / 127.0, -1, 1 / 127.0, 1}},
        {"bytes", [](M& m) { integers(m, 5120, 4, false); }, 4, "", {-1, -128, 1, 127, 0, -128, -1, -1}},
        {"unsigned shorts", [](M& m) { integers(m, 5123, 2, false); }, 2, "", {0x80ff, 0x7f01, 0x8000, 0xffff}},
        {"normalised unsigned shorts", [](M& m) { integers(m, 5123, 1, true); }, 1, "", {0x80ff / 65535.0, 0x7f01 / 65535.0}},
        {"normalised shorts", [](M& m) { integers(m, 5122, 2, true); }, 2, "",
         {-0x7f01 / 32767.0, 0x7f01 / 32767.0, -1, -1 / 32767.0}},
        {"shorts", [](M& m) { integers(m, 5122, 1, false); }, 1, "", {-0x7f01, 0x7f01}},
        {"no data: zeros, then sparse values", [](M& m) { m.accessors[0].bufferView = -1; sparse(m); }, 3, "",
         {0, 0, 0, 9, 10, 11}},
        {"sparse over data", sparse, 3, "", {1, 2, 3, 9, 10, 11}},
        {"empty", [](M& m) { m.accessors[0].count = 0; }, 3, "", {}},
        {"doubles", [](M& m) { m.accessors[0].componentType = 5130; }, 3, "P has an unknown component type.", {}},
        {"signed ints", [](M& m) { m.accessors[0].componentType = 5124; }, 3, "P has an unknown component type.", {}},
        {"matrix", [](M& m) { m.accessors[0].type = TINYGLTF_TYPE_MAT4; }, 3, "P has 0 components per element, not 3.", {}},
        {"count beyond 32 bits", [](M& m) { m.accessors[0].count = size_t(1) << 32; }, 3,
         "P holds more elements than can be processed.", {}},
        {"huge count without data", [](M& m) { m.accessors[0].bufferView = -1; m.accessors[0].count = 1 << 25; }, 3,
         "P holds more elements than its data can describe.", {}},
        {"view of a missing buffer", [](M& m) { m.bufferViews[0].buffer = 3; }, 3,
         "P refers to a buffer that does not exist.", {}},
        {"buffer without data", [](M& m) { m.buffers[0].data.clear(); }, 3, "P refers to a buffer whose data is missing.", {}},
        {"view past its buffer", [](M& m) { m.bufferViews[0].byteOffset = 90; }, 3,
         "P uses a buffer view that reaches outside its buffer.", {}},
        {"stride below the element", [](M& m) { m.bufferViews[0].byteStride = 8; }, 3,
         "P uses a buffer view with an invalid byte stride.", {}},
        {"stride off the components", [](M& m) { m.bufferViews[0].byteStride = 14; }, 3,
         "P uses a buffer view with an invalid byte stride.", {}},
        {"stride beyond 252", [](M& m) { m.bufferViews[0].byteStride = 256; }, 3,
         "P uses a buffer view with an invalid byte stride.", {}},
        {"offset past the view", [](M& m) { m.accessors[0].byteOffset = 90; }, 3, "P reaches outside its buffer view.", {}},
        {"sparse count zero", [](M& m) { sparse(m); m.accessors[0].sparse.count = 0; }, 3,
         "P has a sparse substitution count outside the accessor.", {}},
        {"sparse signed indices", [](M& m) { sparse(m); m.accessors[0].sparse.indices.componentType = 5120; }, 3,
         "P has sparse indices of an unsupported component type.", {}},
        {"sparse float indices", [](M& m) { sparse(m); m.accessors[0].sparse.indices.componentType = 5126; }, 3,
         "P has sparse indices of an unsupported component type.", {}},
        {"sparse indices without a view", [](M& m) { sparse(m); m.accessors[0].sparse.indices.bufferView = 4; }, 3,
         "P (sparse indices) refers to a buffer view that does not exist.", {}},
        {"sparse values without a view", [](M& m) { sparse(m); m.accessors[0].sparse.values.bufferView = -1; }, 3,
         "P (sparse values) refers to a buffer view that does not exist.", {}},
        {"sparse values past the view", [](M& m) { sparse(m); m.accessors[0].sparse.values.byteOffset = 90; }, 3,
         "P has sparse data that reaches outside its buffer view.", {}},
        {"sparse negative offset", [](M& m) { sparse(m); m.accessors[0].sparse.indices.byteOffset = -4; }, 3,
         "P has sparse data that reaches outside its buffer view.", {}},
        {"sparse index past the count", [](M& m) { sparse(m); m.accessors[0].sparse.indices.byteOffset = 0; }, 3,
         "P has a sparse index that points outside the accessor.", {}},
        {"byte indices", [](M& m) { integers(m, 5121, 1, false); m.accessors[0].count = 4; }, 0, "", {255, 128, 1, 127}},
        {"float indices", [](M&) {}, 0, "The indices have a component type other than unsigned byte, short or int.", {}},
        {"normalised indices", [](M& m) { integers(m, 5121, 1, true); }, 0, "The index accessor must not be normalised.", {}},
        {"indices without a view", [](M& m) { integers(m, 5125, 1, false); m.accessors[0].bufferView = 2; }, 0,
         "The index accessor refers to a buffer view that does not exist.", {}},
        {"no index accessor", [](M& m) { m.accessors.clear(); }, 0, "The index accessor refers to an accessor that does not exist.", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        M model = baseModel();
        c.alter(model);
        std::vector<double> values;
        std::string error;
        if (c.components > 0) {
            error = readAccessorValues(model, 0, c.components, "P", values);
        } else {
            std::vector<uint32_t> indices;
            error = readIndexValues(model, 0, indices);
            values.assign(indices.begin(), indices.end());
        }
        EXPECT_EQ(error, c.error);
        if (c.error.empty()) {
            EXPECT_EQ(values, c.values);
        }
    }
}
