#include "repair/welding.h"

#include "packing/pack.h"
#include "geometry/efficiency.h"
#include "topology/overlap.h"
#include "topology/seams.h"
#include "topology/boundary_length.h"

#include <limits>

bool weldEfficiencyAcceptable(double efficiencyBefore, double efficiencyAfter)
{
    return !(efficiencyBefore - efficiencyAfter > WeldEfficiencyTolerance);
}

WeldChoice chooseWeldSeam(const ChartList& charts, const MeshTopology& topology)
{
    WeldChoice choice{NoSeam, InvalidIndex, std::numeric_limits<double>::lowest()};
    std::vector<double> boundaryLengths(charts.size());
    for (size_t c = 0; c < charts.size(); ++c)
        boundaryLengths[c] = chartBoundaryLength(charts[c]);

    const auto& joined = topology.joinedMesh.halfedges;
    for (size_t s = 0; s < topology.numSeams(); ++s) {
        SeamEnds ends;
        if (!findSeamEnds(topology, s, ends) || ends.c1 == ends.c2 || ends.c1 >= charts.size() ||
            ends.c2 >= charts.size())
            continue;
        const uint32_t g = ends.firstHalfedge;
        const std::optional<Chart> candidate =
            glueAlongSeam(charts, joined[twin(g)].to, joined[g].to, topology, true);
        if (!candidate || hasUVOverlaps(*candidate) || hasUVFlips(*candidate))
            continue;
        double others = 0.0;
        for (size_t c = 0; c < charts.size(); ++c)
            if (c != ends.c1 && c != ends.c2)
                others += boundaryLengths[c];
        const double score = -others - chartBoundaryLength(*candidate);
        if (score > choice.score) {
            choice.score = score;
            choice.seam = s;
            choice.halfedge = g;
        }
    }
    return choice;
}

void weldPass(ChartList& charts, const iuv::DoubleVector& sharedPositions, const MeshTopology& topology,
              double efficiencyBefore, Atlas& atlas, const PackFunction& pack)
{
    if (charts.size() == 2 && topology.numBoundaryHalfedges == 0 && topology.numSeams() == 1)
        return;

    const WeldChoice choice = chooseWeldSeam(charts, topology);
    ChartList welded;
    SeamEnds ends;
    const bool glue = choice.seam != NoSeam && findSeamEnds(topology, choice.seam, ends);
    if (glue) {
        const auto& joined = topology.joinedMesh.halfedges;
        std::optional<Chart> chart =
            glueAlongSeam(charts, joined[twin(choice.halfedge)].to, joined[choice.halfedge].to, topology, true);
        if (!chart)
            return;
        welded.push_back(std::move(*chart));
    }
    for (size_t c = 0; c < charts.size(); ++c)
        if (!glue || (c != ends.c1 && c != ends.c2))
            welded.push_back(charts[c]);

    const double efficiency = pack(welded, sharedPositions, true, atlas);
    if (weldEfficiencyAcceptable(efficiencyBefore, efficiency))
        charts = std::move(welded);
}

void weldPass(ChartList& charts, const iuv::DoubleVector& sharedPositions, const MeshTopology& topology,
              double efficiencyBefore, Atlas& atlas)
{
    weldPass(charts, sharedPositions, topology, efficiencyBefore, atlas, packCharts);
}

void runWelding(Model& model, Atlas& atlas)
{
    const double efficiencyBefore = atlasPackingEfficiency(model.charts);
    size_t count;
    do {
        count = model.charts.size();
        MeshTopology topology;
        buildMeshTopology(model.charts, model.numVertices(), model.coneSingularities, topology);
        weldPass(model.charts, model.sharedPositions, topology, efficiencyBefore, atlas);
    } while (model.charts.size() != count);
    packCharts(model.charts, model.sharedPositions, true, atlas);
}
