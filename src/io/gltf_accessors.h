#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tinygltf {
class Model;
}

// Reading of glTF accessors with every bound checked before a byte is read:
// accessor, buffer view and buffer indices, offsets, strides and counts
// against the data actually present, and sparse substitutions. Each function
// returns an empty string on success, otherwise the reason the data cannot be
// used; the output is then unspecified.

// Accessor `index` as doubles, `components` per element (its type must have
// exactly that many). Float components are widened; integer components are
// mapped to [0,1] (unsigned) or [-1,1] (signed) when the accessor is
// normalised and taken as they are otherwise. `what` names the accessor in
// the reasons ("POSITION", ...).
std::string readAccessorValues(const tinygltf::Model& model, int index, int components,
                               const std::string& what, std::vector<double>& values);

// Component type of accessor `index`, or -1 when there is no such accessor.
int accessorComponentType(const tinygltf::Model& model, int index);

// An index accessor (scalar unsigned byte, short or int) as 32-bit numbers.
std::string readIndexValues(const tinygltf::Model& model, int index, std::vector<uint32_t>& values);
