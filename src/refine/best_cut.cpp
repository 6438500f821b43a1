#include "refine/best_cut.h"

#include "refine/cut_search.h"
#include "topology/halfedge.h"

#include <cmath>
#include <cstdint>
#include <iostream>
#include <limits>
#include <utility>
#include <vector>

namespace {

constexpr size_t MaxChartCount = 2147483647;

struct BoundaryEdge {
    double du;
    double dv;
};

// Boundary edges loop by loop, each walked from its recorded start halfedge.
std::vector<BoundaryEdge> boundaryEdges(const Chart& chart)
{
    std::vector<BoundaryEdge> edges;
    HalfedgeMesh mesh;
    if (chart.numTriangles() == 0 || buildHalfedgeMesh(chart.triIndicesUV, chart.numUVVertices(), mesh))
        return edges;
    const iuv::DoubleVector& uv = chart.uvCoords2D;
    const size_t limit = mesh.halfedges.size();
    for (uint32_t start : mesh.boundaryLoops) {
        uint32_t h = start;
        size_t steps = 0;
        do {
            if (h >= mesh.halfedges.size())
                break;
            const size_t a = mesh.source(h), b = mesh.halfedges[h].to;
            if (2 * a + 1 >= uv.size() || 2 * b + 1 >= uv.size())
                break;
            edges.push_back(BoundaryEdge{uv[2 * b] - uv[2 * a], uv[2 * b + 1] - uv[2 * a + 1]});
            h = mesh.halfedges[h].next;
        } while (h != start && ++steps < limit);
    }
    return edges;
}

} // namespace

int bestAxisAlignmentIndex(const Chart& chart)
{
    const std::vector<BoundaryEdge> edges = boundaryEdges(chart);
    if (edges.empty())
        return 0;
    const size_t n = edges.size();
    int bestIndex = 0;
    double bestCost = std::numeric_limits<double>::max();
    for (int a = 0; a < AxisAlignmentSteps; ++a) {
        const double theta = a * AxisAlignmentStep;
        const double cs = std::cos(theta), sn = std::sin(theta);
        double cost = 0.0;
        for (size_t i = 0; i < n; ++i) {
            const BoundaryEdge& e = edges[i];
            const BoundaryEdge& p = edges[i == 0 ? n - 1 : i - 1];
            const double su = (e.du * cs - e.dv * sn) + (p.du * cs - p.dv * sn);
            const double sv = (e.du * sn + e.dv * cs) + (p.du * sn + p.dv * cs);
            cost += std::fabs(su) + std::fabs(sv);
        }
        if (a == 0 || cost < bestCost) {
            bestCost = cost;
            bestIndex = a;
        }
    }
    return bestIndex;
}

void alignChartToAxes(Chart& chart)
{
    const int index = bestAxisAlignmentIndex(chart);
    const double theta = index * AxisAlignmentStep;
    const double cs = std::cos(theta), sn = std::sin(theta);
    iuv::DoubleVector& uv = chart.uvCoords2D;
    for (size_t i = 0; i + 1 < uv.size(); i += 2) {
        const double u = uv[i], v = uv[i + 1];
        uv[i] = u * cs - v * sn;
        uv[i + 1] = u * sn + v * cs;
    }
}

bool applyBestCut(ChartList& charts, iuv::DoubleVector& sharedPositions,
                  iuv::DoubleVector& vertexColors, double A, double& scoreOut, Atlas& atlas)
{
    ChartList local = charts;
    for (Chart& c : local)
        alignChartToAxes(c);
    iuv::DoubleVector localPositions = sharedPositions;
    iuv::DoubleVector localColours = vertexColors;

    std::cout << "> Trying local cut solutions... " << std::endl;
    double localScore = std::numeric_limits<double>::lowest();
    const bool localOk =
        findCutSolution(local, localPositions, localColours, false, A, localScore, atlas) &&
        local.size() <= MaxChartCount;

    std::cout << "> Trying global cut solutions... " << std::endl;
    const bool globalOk =
        findCutSolution(charts, sharedPositions, vertexColors, true, A, scoreOut, atlas) &&
        charts.size() <= MaxChartCount;

    if (localOk && (localScore > scoreOut || !globalOk)) {
        std::cout << "> Picking a local cut solution, "
                  << (localScore > scoreOut ? "had the better score."
                                            : "no feasible global solution found.")
                  << std::endl;
        charts.swap(local);
        sharedPositions.swap(localPositions);
        vertexColors.swap(localColours);
        scoreOut = localScore;
        return true;
    }
    std::cout << "> Picking a global cut solution." << std::endl;
    return globalOk;
}
