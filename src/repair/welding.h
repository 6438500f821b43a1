#pragma once

#include "model/model.h"
#include "packing/atlas.h"
#include "topology/mesh_topology.h"

#include <cstddef>
#include <functional>

// Welding passes on a model with cone singularities: measures the efficiency
// before welding, glues one seam per pass while the result stays valid and
// efficient, then packs with mirroring. Callers handle the cone-free case.
void runWelding(Model& model, Atlas& atlas);

// A pass may lose at most this many percentage points of packing efficiency
// against the efficiency before welding.
constexpr double WeldEfficiencyTolerance = 10.0;

// False when the efficiency after a pass falls more than the tolerance below
// the efficiency before welding.
bool weldEfficiencyAcceptable(double efficiencyBefore, double efficiencyAfter);

struct WeldChoice {
    size_t seam;          // NoSeam when no seam qualifies
    uint32_t halfedge;    // first joined halfedge of the chosen seam
    double score;
};

// The seam between two different charts whose gluing (c1 onto c2) leaves no
// overlap and no flip and the smallest total UV boundary length; the earliest
// such seam on equal scores. Does not apply the two-chart closed-mesh rule.
WeldChoice chooseWeldSeam(const ChartList& charts, const MeshTopology& topology);

// Packs a chart list and returns the packing efficiency in percent.
using PackFunction =
    std::function<double(ChartList& charts, const iuv::DoubleVector& sharedPositions, bool allowMirroring,
                         Atlas& atlas)>;

// One welding pass: glues the best seam (if any), repacks with mirroring and
// keeps the result unless the efficiency fell too far below
// efficiencyBefore. The chart list is replaced or left as it was.
void weldPass(ChartList& charts, const iuv::DoubleVector& sharedPositions, const MeshTopology& topology,
              double efficiencyBefore, Atlas& atlas);
void weldPass(ChartList& charts, const iuv::DoubleVector& sharedPositions, const MeshTopology& topology,
              double efficiencyBefore, Atlas& atlas, const PackFunction& pack);
