// The Python module: refine a mesh given as numpy arrays, load and save mesh
// files.
#include "array_conversion.h"
#include "refine_run.h"

#include "app/model_loading.h"
#include "io/gltf_reader.h"
#include "io/gltf_writer.h"
#include "io/obj_reader.h"
#include "io/obj_writer.h"

#include <pybind11/functional.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cmath>
#include <exception>
#include <mutex>

namespace py = pybind11;
using namespace tarnwick_python;

namespace {

py::dict statsDict(const StageStats& s)
{
    py::dict d;
    d["boxifyTime"] = s.boxifyTime;
    d["numVertices"] = s.stats.numVertices;
    d["numTriangles"] = s.stats.numTriangles;
    d["numCharts"] = s.stats.numCharts;
    d["packingEfficiency"] = s.stats.packingEfficiency;
    d["normBLen"] = s.stats.normBLen;
    d["flipsFound"] = s.stats.flipsFound;
    d["overlapsFound"] = s.stats.overlapsFound;
    return d;
}

// The Python callable behind the run's progress reports, called with the
// interpreter lock held. An exception it raises cancels the run and is
// raised again by refine.
class ProgressCallback {
public:
    explicit ProgressCallback(py::object callable) : callable_(std::move(callable)) {}

    bool operator()(const RunProgress& p)
    {
        py::gil_scoped_acquire gil;
        try {
            const py::object answer = callable_(p.stage, p.iteration, p.efficiency, p.normBLen);
            return !(py::isinstance<py::bool_>(answer) && !answer.cast<bool>());
        } catch (py::error_already_set& e) {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!error_)
                error_ = std::make_unique<py::error_already_set>(std::move(e));
            return false;
        }
    }
    // Raises what the callable raised, if anything (the lock held).
    void rethrow()
    {
        if (error_) {
            py::error_already_set e = std::move(*error_);
            error_.reset();
            throw e;
        }
    }

private:
    py::object callable_;
    std::mutex mutex_;
    std::unique_ptr<py::error_already_set> error_;
};

py::object cancelledError;

py::dict refine(const py::object& positions, const py::object& triangles, const py::object& uvs,
                const py::object& uvTriangles, const py::object& cones, bool square, double padding,
                int resolution, int threads, double maxBoundary, const py::object& progress)
{
    if (!std::isfinite(padding) || padding < 0)
        throw py::value_error("padding must be a finite number of at least 0.");
    if (resolution < 1)
        throw py::value_error("resolution must be at least 1.");
    if (padding * 4.0 > resolution)
        throw py::value_error("padding may be at most a quarter of the resolution.");
    if (threads < 0)
        throw py::value_error("threads must be at least 0 (0: one per core).");
    if (!std::isfinite(maxBoundary) || maxBoundary < 1.0)
        throw py::value_error("max_boundary must be a finite number of at least 1.");
    if (!progress.is_none() && !PyCallable_Check(progress.ptr()))
        throw py::value_error("progress must be callable or None.");

    const Model input = modelFromArrays(positions, triangles, uvs, uvTriangles, cones);
    RefineSettings settings;
    settings.square = square;
    settings.padding = padding;
    settings.resolution = resolution;
    settings.threads = threads;
    settings.maxBoundary = maxBoundary;

    std::shared_ptr<ProgressCallback> callback;
    RunControl::ProgressHandler handler;
    if (!progress.is_none()) {
        callback = std::make_shared<ProgressCallback>(progress);
        handler = [callback](const RunProgress& p) { return (*callback)(p); };
    }
    RefineOutcome out;
    {
        py::gil_scoped_release released;
        out = runRefinement(input, settings, handler);
    }
    if (callback)
        callback->rethrow();
    if (!out.loaded)
        throw py::value_error(out.error);
    if (out.cancelled) {
        PyErr_SetString(cancelledError.ptr(), ("Run cancelled " + out.stopPoint + ".").c_str());
        throw py::error_already_set();
    }

    iuv::UIntVector sources(out.merged.numTriangles());
    for (size_t t = 0; t < sources.size(); ++t)
        sources[t] = sourceOf(out.merged, t);
    py::dict result;
    result["positions"] = toArray(std::move(out.model.sharedPositions), 3);
    result["triangles"] = toArray(std::move(out.merged.triIndicesPos), 3);
    result["uvs"] = toArray(std::move(out.merged.uvCoords2D), 2);
    result["uv_triangles"] = toArray(std::move(out.merged.triIndicesUV), 3);
    result["chart_ids"] = toArray(iuv::UIntVector(std::move(out.chartOfTriangle)), 0);
    result["source_triangles"] = toArray(std::move(sources), 0);
    result["cones"] = toArray(std::move(out.model.coneSingularities), 0);
    py::dict stats;
    for (const StageStats& s : out.stats)
        stats[py::str(s.name)] = statsDict(s);
    result["stats"] = stats;
    return result;
}

py::dict load(const std::string& path)
{
    Model model;
    bool parsed = false;
    std::string reason;
    {
        py::gil_scoped_release released;
        if (isGLTFFileName(path)) {
            parsed = loadGLTF(path, model.charts, model.sharedPositions, model.vertexColors, nullptr, &reason);
            if (!parsed)
                reason += " Failed to load/parse glTF.";
        } else {
            parsed = loadOBJ(path, model.charts, model.sharedPositions, model.vertexColors,
                             &model.coneSingularities, &reason);
            if (!parsed)
                reason = (reason.empty() ? std::string() : reason + " ") + "Failed to load/parse .obj.";
        }
    }
    if (!parsed)
        throw py::value_error(reason + " (" + path + ")");
    if (model.charts.size() > 1)
        throw py::value_error("Input must be a single chart.");
    if (model.charts.empty() || model.charts.front().numTriangles() == 0)
        throw py::value_error("Input must have at least one triangle.");
    Chart& chart = model.charts.front();
    py::dict mesh;
    mesh["positions"] = toArray(std::move(model.sharedPositions), 3);
    mesh["triangles"] = toArray(std::move(chart.triIndicesPos), 3);
    if (chart.triIndicesUV.empty()) {
        mesh["uvs"] = py::none();
        mesh["uv_triangles"] = py::none();
    } else {
        mesh["uvs"] = toArray(std::move(chart.uvCoords2D), 2);
        mesh["uv_triangles"] = toArray(std::move(chart.triIndicesUV), 3);
    }
    mesh["cones"] = toArray(std::move(model.coneSingularities), 0);
    return mesh;
}

bool endsWith(const std::string& text, const std::string& end)
{
    if (text.size() < end.size())
        return false;
    for (size_t i = 0; i < end.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[text.size() - end.size() + i])) != end[i])
            return false;
    }
    return true;
}

void save(const std::string& path, const py::dict& result)
{
    const bool glb = endsWith(path, ".glb");
    if (!glb && !endsWith(path, ".obj"))
        throw py::value_error("save writes .obj or .glb files, not " + path + ".");
    for (const char* key : {"positions", "triangles"}) {
        if (!result.contains(key))
            throw py::value_error(std::string("the result has no ") + key + ".");
    }
    auto item = [&](const char* key) -> py::object {
        if (result.contains(key))
            return result[key];
        return py::none();
    };
    Model model = modelFromArrays(result["positions"], result["triangles"], item("uvs"), item("uv_triangles"),
                                  item("cones"));
    bool written = false;
    {
        py::gil_scoped_release released;
        const Chart& chart = model.charts.front();
        written = glb ? writeLayoutGLB(chart, model.sharedPositions, model.vertexColors, path)
                      : writeLayoutOBJ(chart, model.sharedPositions, model.vertexColors, model.coneSingularities,
                                       path);
    }
    if (!written) {
        PyErr_SetString(PyExc_OSError, ("Unable to open file " + path + " for writing.").c_str());
        throw py::error_already_set();
    }
}

} // namespace

PYBIND11_MODULE(tarnwick, m)
{
    m.doc() = "Refines the texture atlas of a triangle mesh: overlap removal, welding, cutting and repacking.";
    cancelledError = py::reinterpret_borrow<py::object>(
        py::handle(PyErr_NewException("tarnwick.Cancelled", PyExc_RuntimeError, nullptr)));
    m.attr("Cancelled") = cancelledError;

    m.def("refine", &refine, py::arg("positions"), py::arg("triangles"), py::arg("uvs") = py::none(),
          py::arg("uv_triangles") = py::none(), py::arg("cones") = py::tuple(), py::arg("square") = false,
          py::arg("padding") = 0.0, py::arg("resolution") = 1024, py::arg("threads") = 0,
          py::arg("max_boundary") = 2.0, py::arg("progress") = py::none(),
          "Runs every stage on one mesh: positions (n, 3), triangles (m, 3) 0-based; uvs (k, 2) and\n"
          "uv_triangles (m, 3) for a textured mesh (otherwise it is flattened); cones are 0-based vertex\n"
          "numbers. progress(stage, iteration, efficiency, normBLen) is called at every safe point;\n"
          "returning False cancels (tarnwick.Cancelled). Returns a dict of the final layout (positions,\n"
          "triangles, uvs in the unit square, uv_triangles, chart_ids, source_triangles, cones) and stats,\n"
          "the statistics of every stage by the name of its statistics file. Raises ValueError for a\n"
          "refused input. The interpreter lock is released while it runs.");
    m.def("load", &load, py::arg("path"),
          "Reads an OBJ, glTF or glb file into the keyword arguments of refine (positions, triangles,\n"
          "uvs, uv_triangles, cones); uvs and uv_triangles are None for an untextured mesh.");
    m.def("save", &save, py::arg("path"), py::arg("result"),
          "Writes a mesh dict (the result of refine or load) as OBJ or binary glTF, by the name's extension.");
}
