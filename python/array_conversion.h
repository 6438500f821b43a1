#pragma once

#include "model/model.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <string>

// Conversions between numpy arrays and the model. Every check that fails
// raises ValueError with a message naming the argument.
namespace tarnwick_python {

// An (n, columns) array of finite doubles, copied into a flat list.
iuv::DoubleVector readCoordinates(const pybind11::handle& array, const char* name, size_t columns);
// An (m, 3) array of integers, each below limit, copied into a flat list.
iuv::UIntVector readTriangles(const pybind11::handle& array, const char* name, size_t limit);
// A sequence of 0-based vertex numbers below limit, each kept once.
iuv::UIntVector readCones(const pybind11::handle& cones, size_t limit);

// The model of refine's arguments: one chart, with UVs when uvs and
// uvTriangles are given (both or neither).
Model modelFromArrays(const pybind11::handle& positions, const pybind11::handle& triangles,
                      const pybind11::handle& uvs, const pybind11::handle& uvTriangles,
                      const pybind11::handle& cones);

// Arrays that take over the list (no copy): (size / columns, columns), or
// one-dimensional for columns 0.
pybind11::array_t<double> toArray(iuv::DoubleVector&& values, size_t columns);
pybind11::array_t<uint32_t> toArray(iuv::UIntVector&& values, size_t columns);

} // namespace tarnwick_python
