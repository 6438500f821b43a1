#include "app/model_loading.h"

#include "flatten/flattening.h"
#include "io/gltf_reader.h"
#include "io/obj_reader.h"
#include "packing/atlas.h"
#include "packing/pack.h"
#include "topology/chart_pieces.h"

#include <cmath>
#include <iostream>

namespace {

const char* const kRejectionTitle = "Input Mesh Not Accepted";

void reject(Model& model, const RejectionNotifier& notify, const std::string& boxText,
            const std::string& consoleLine)
{
    if (notify)
        notify(kRejectionTitle, boxText);
    std::cout << consoleLine << std::endl;
    model.clear();
}

} // namespace

LoadStatus loadModel(const std::string& filename, bool repack, Model& model,
                     const RejectionNotifier& notify)
{
    model.charts.clear();
    model.sourceLayout = Chart();
    std::cout << "Loading " << filename << std::endl;

    // glTF files carry no cone lines; their cones come from a cone file only.
    const bool gltf = isGLTFFileName(filename);
    const bool parsed = gltf ? loadGLTF(filename, model.charts, model.sharedPositions, model.vertexColors)
                             : loadOBJ(filename, model.charts, model.sharedPositions, model.vertexColors);
    if (!parsed) {
        model.clear();
        return LoadStatus::ParseFailed;
    }

    model.coneSingularities =
        gltf ? iuv::UIntVector() : readConeSingularities(filename, model.numVertices());

    if (model.charts.size() > 1) {
        reject(model, notify, "Cannot process input: must be a single chart.",
               "Input must be a single chart.");
        return LoadStatus::Rejected;
    }
    if (model.charts.empty() || model.charts.front().numTriangles() == 0) {
        reject(model, notify, "Cannot process input: must have at least one triangle.",
               "Input must have at least one triangle.");
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
               "Input must not have degenerate triangles.");
        return LoadStatus::Rejected;
    }

    if (chart.triIndicesUV.empty()) {
        FlatteningRefusal refusal;
        if (!flattenUntexturedChart(chart, model.sharedPositions, refusal)) {
            reject(model, notify, refusal.boxText, refusal.consoleLine);
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
               "Input UV layout must have a non-zero area.");
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
