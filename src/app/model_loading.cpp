#include "app/model_loading.h"

#include "flatten/flattening.h"
#include "io/cone_file.h"
#include "io/gltf_reader.h"
#include "io/obj_reader.h"
#include "packing/atlas.h"
#include "packing/pack.h"
#include "topology/chart_pieces.h"

#include <algorithm>
#include <cmath>
#include <iostream>

namespace {

const char* const kRejectionTitle = "Input Mesh Not Accepted";

void reject(Model& model, const RejectionNotifier& notify, const std::string& boxText,
            const std::string& consoleLine, std::string* refusal)
{
    if (notify)
        notify(kRejectionTitle, boxText);
    std::cout << consoleLine << std::endl;
    if (refusal)
        *refusal = consoleLine;
    model.clear();
}

// Adds the cones of the cone file, given in the file's own vertex numbers.
bool addConeFile(const LoadOptions& options, const std::vector<uint32_t>& fileVertexToModel, Model& model,
                 std::string* refusal)
{
    if (options.coneFile.empty())
        return true;
    const bool mapped = !fileVertexToModel.empty();
    iuv::UIntVector cones;
    std::string why;
    if (!readConeFile(options.coneFile, mapped ? fileVertexToModel.size() : model.numVertices(), cones, why)) {
        std::cout << why << std::endl;
        if (refusal)
            *refusal = why;
        return false;
    }
    for (uint32_t c : cones) {
        const uint32_t vertex = mapped ? fileVertexToModel[c] : c;
        if (std::find(model.coneSingularities.begin(), model.coneSingularities.end(), vertex) ==
            model.coneSingularities.end())
            model.coneSingularities.push_back(vertex);
    }
    return true;
}

} // namespace

LoadStatus loadModel(const std::string& filename, bool repack, Model& model,
                     const RejectionNotifier& notify, const LoadOptions& options, std::string* refusal)
{
    model.charts.clear();
    model.sourceLayout = Chart();
    std::cout << "Loading " << filename << std::endl;

    // glTF files carry no cone lines; their cones come from a cone file only.
    const bool gltf = isGLTFFileName(filename);
    std::vector<uint32_t> fileVertexToModel;
    std::string reason;
    const bool parsed = gltf ? loadGLTF(filename, model.charts, model.sharedPositions, model.vertexColors,
                                        &fileVertexToModel, &reason)
                             : loadOBJ(filename, model.charts, model.sharedPositions, model.vertexColors,
                                       &model.coneSingularities, &reason);
    if (!parsed) {
        // The reader has printed its reason; the window shows it as well.
        if (notify)
            notify(kRejectionTitle, reason);
        model.clear();
        if (refusal)
            *refusal = reason + (gltf ? " Failed to load/parse glTF." : " Failed to load/parse .obj.");
        return LoadStatus::ParseFailed;
    }

    if (gltf)
        model.coneSingularities.clear();
    if (!addConeFile(options, fileVertexToModel, model, refusal)) {
        model.clear();
        return LoadStatus::ParseFailed;
    }
    return prepareModel(model, repack, notify, refusal);
}

LoadStatus prepareModel(Model& model, bool repack, const RejectionNotifier& notify, std::string* refusal)
{
    if (model.charts.size() > 1) {
        reject(model, notify, "Cannot process input: must be a single chart.",
               "Input must be a single chart.", refusal);
        return LoadStatus::Rejected;
    }
    if (model.charts.empty() || model.charts.front().numTriangles() == 0) {
        reject(model, notify, "Cannot process input: must have at least one triangle.",
               "Input must have at least one triangle.", refusal);
        return LoadStatus::Rejected;
    }
    Chart& chart = model.charts.front();
    numberSourceTriangles(chart);
    if (!chart.triIndicesUV.empty()) {
        model.sourceLayout = chart;
        model.sourceLayout.sourceTriangle.clear();
    }
    if (hasUVFlips(chart))
        std::cout << "Input has UV flips." << std::endl;

    // Degenerate triangles are refused before anything (flattening in
    // particular) computes angles or areas from them.
    if (hasDegenerateTriangle(chart, model.sharedPositions)) {
        reject(model, notify, "Cannot process input: must not have degenerate triangles.",
               "Input must not have degenerate triangles.", refusal);
        return LoadStatus::Rejected;
    }

    if (chart.triIndicesUV.empty()) {
        FlatteningRefusal why;
        if (!flattenUntexturedChart(chart, model.sharedPositions, why)) {
            reject(model, notify, why.boxText, why.consoleLine, refusal);
            return LoadStatus::Rejected;
        }
    }

    if (repack) {
        normalizeToUnitSquare(chart);
    } else {
        const double area = totalUVArea(model.charts);
        if (area > 0.0 && std::isfinite(area)) {
            const double f = 1.0 / std::sqrt(area);
            for (double& x : chart.uvCoords2D)
                x *= f;
        }
    }
    // A layout without extent or area cannot be packed or measured.
    const double uvArea = totalUVArea(model.charts);
    if (!(uvArea > 0.0) || !std::isfinite(uvArea)) {
        reject(model, notify, "Cannot process input: the UV layout must have a non-zero area.",
               "Input UV layout must have a non-zero area.", refusal);
        return LoadStatus::Rejected;
    }

    ChartList pieces;
    splitIntoUVComponents(chart, pieces);
    model.charts = std::move(pieces);

    if (repack) {
        Atlas atlas(384, 384);
        packCharts(model.charts, model.sharedPositions, true, atlas);
    }
    return LoadStatus::Loaded;
}
