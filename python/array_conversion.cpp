#include "array_conversion.h"

#include <cmath>
#include <memory>
#include <vector>

namespace py = pybind11;

namespace tarnwick_python {

namespace {

[[noreturn]] void refuse(const std::string& message) { throw py::value_error(message); }

py::array asArray(const py::handle& object, const char* name)
{
    try {
        return py::array::ensure(object);
    } catch (const py::error_already_set&) {
    }
    refuse(std::string(name) + " must be an array.");
}

void checkShape(const py::array& a, const char* name, size_t columns)
{
    if (a.ndim() != 2 || static_cast<size_t>(a.shape(1)) != columns)
        refuse(std::string(name) + " must be an array of shape (n, " + std::to_string(columns) + ").");
}

template <typename T>
py::array_t<T, py::array::c_style | py::array::forcecast> converted(const py::array& a, const char* name)
{
    auto result = py::array_t<T, py::array::c_style | py::array::forcecast>::ensure(a);
    if (!result) {
        PyErr_Clear();
        refuse(std::string(name) + " cannot be converted to numbers.");
    }
    return result;
}

} // namespace

iuv::DoubleVector readCoordinates(const py::handle& array, const char* name, size_t columns)
{
    const py::array a = asArray(array, name);
    checkShape(a, name, columns);
    const char kind = a.dtype().kind();
    if (kind != 'f' && kind != 'i' && kind != 'u')
        refuse(std::string(name) + " must hold real numbers.");
    const auto values = converted<double>(a, name);
    const double* data = values.data();
    iuv::DoubleVector out(data, data + values.size());
    for (double x : out) {
        if (!std::isfinite(x))
            refuse(std::string(name) + " hold values that are not finite numbers.");
    }
    return out;
}

iuv::UIntVector readTriangles(const py::handle& array, const char* name, size_t limit)
{
    const py::array a = asArray(array, name);
    checkShape(a, name, 3);
    const char kind = a.dtype().kind();
    if (kind != 'i' && kind != 'u')
        refuse(std::string(name) + " must hold integers.");
    const auto values = converted<long long>(a, name);
    iuv::UIntVector out;
    out.reserve(static_cast<size_t>(values.size()));
    const long long* data = values.data();
    for (py::ssize_t i = 0; i < values.size(); ++i) {
        if (data[i] < 0 || static_cast<unsigned long long>(data[i]) >= limit)
            refuse(std::string(name) + " refer to vertices that do not exist (" + std::to_string(data[i]) +
                   " is not in 0.." + std::to_string(limit == 0 ? 0 : limit - 1) + ").");
        out.push_back(static_cast<uint32_t>(data[i]));
    }
    return out;
}

iuv::UIntVector readCones(const py::handle& cones, size_t limit)
{
    iuv::UIntVector out;
    if (cones.is_none())
        return out;
    if (!py::isinstance<py::iterable>(cones) || py::isinstance<py::str>(cones))
        refuse("cones must be a sequence of vertex numbers.");
    std::vector<bool> seen(limit, false);
    for (const py::handle item : cones) {
        long long v = -1;
        try {
            if (py::isinstance<py::bool_>(item))
                throw py::cast_error();
            v = py::cast<long long>(item);
        } catch (const py::cast_error&) {
            refuse("cones must be a sequence of vertex numbers.");
        }
        if (v < 0 || static_cast<unsigned long long>(v) >= limit)
            refuse("cones refer to vertices that do not exist (" + std::to_string(v) + " is not in 0.." +
                   std::to_string(limit == 0 ? 0 : limit - 1) + ").");
        if (!seen[static_cast<size_t>(v)]) {
            seen[static_cast<size_t>(v)] = true;
            out.push_back(static_cast<uint32_t>(v));
        }
    }
    return out;
}

Model modelFromArrays(const py::handle& positions, const py::handle& triangles, const py::handle& uvs,
                      const py::handle& uvTriangles, const py::handle& cones)
{
    Model model;
    model.sharedPositions = readCoordinates(positions, "positions", 3);
    if (model.sharedPositions.size() / 3 >= 0xFFFFFFFFull)
        refuse("positions hold more vertices than can be processed.");
    Chart chart;
    chart.triIndicesPos = readTriangles(triangles, "triangles", model.numVertices());
    if (uvs.is_none() != uvTriangles.is_none())
        refuse("uvs and uv_triangles must be given together.");
    if (!uvs.is_none()) {
        chart.uvCoords2D = readCoordinates(uvs, "uvs", 2);
        chart.triIndicesUV = readTriangles(uvTriangles, "uv_triangles", chart.numUVVertices());
        if (chart.triIndicesUV.size() != chart.triIndicesPos.size())
            refuse("uv_triangles must have as many rows as triangles.");
    }
    model.coneSingularities = readCones(cones, model.numVertices());
    model.charts.push_back(std::move(chart));
    return model;
}

namespace {

template <typename T, typename List>
py::array_t<T> takeOver(List&& values, size_t columns)
{
    auto* owned = new List(std::move(values));
    py::capsule owner(owned, [](void* p) { delete static_cast<List*>(p); });
    if (columns == 0)
        return py::array_t<T>({static_cast<py::ssize_t>(owned->size())}, owned->data(), owner);
    const size_t rows = owned->size() / columns;
    return py::array_t<T>({static_cast<py::ssize_t>(rows), static_cast<py::ssize_t>(columns)}, owned->data(), owner);
}

} // namespace

py::array_t<double> toArray(iuv::DoubleVector&& values, size_t columns)
{
    return takeOver<double>(std::move(values), columns);
}

py::array_t<uint32_t> toArray(iuv::UIntVector&& values, size_t columns)
{
    return takeOver<uint32_t>(std::move(values), columns);
}

} // namespace tarnwick_python
