#include "refine/cut_apply.h"

#include "topology/halfedge.h"
#include "topology/chart_pieces.h"

#include <algorithm>
#include <map>
#include <tuple>
#include <utility>
#include <vector>

namespace {

// Each pass only inserts vertices that were created after the edge's ends, so
// repeated passes end on their own; the bound is a guard against corrupt data.
constexpr int MaxRepairPasses = 1000;

} // namespace

bool repairTJunctions(Chart& chart, const SplitEdgeRegistry& registry)
{
    if (registry.empty() || !chartIndicesValid(chart))
        return false;
    bool changed = false;
    const size_t nT = chart.numTriangles();
    // Within one pass, two triangles on the same UV edge get the same new UV
    // vertex for a split point.
    std::map<std::tuple<uint32_t, uint32_t, uint32_t>, uint32_t> newUV;
    std::vector<uint32_t> chainUV, chainPos;
    std::vector<SplitEdgeRegistry::Between> points;
    for (size_t t = 0; t < nT; ++t) {
        uint32_t pos[3], uv[3];
        for (int k = 0; k < 3; ++k) {
            pos[k] = chart.triIndicesPos[3 * t + k];
            uv[k] = chart.triIndicesUV[3 * t + k];
        }
        // A triangle with a repeated 3D vertex would keep the split edge after
        // the fan and be split again on every pass.
        if (pos[0] == pos[1] || pos[1] == pos[2] || pos[0] == pos[2])
            continue;
        int edge = -1;
        for (int k = 0; k < 3 && edge < 0; ++k) {
            if (registry.pointsBetween(pos[k], pos[(k + 1) % 3], points))
                edge = k;
        }
        if (edge < 0)
            continue;
        const int ia = edge, ib = (edge + 1) % 3, ic = (edge + 2) % 3;

        chainUV.assign(1, uv[ia]);
        chainPos.assign(1, pos[ia]);
        for (const SplitEdgeRegistry::Between& sp : points) {
            if (sp.vertex == pos[ic])
                continue;
            const auto key = std::make_tuple(std::min(uv[ia], uv[ib]), std::max(uv[ia], uv[ib]),
                                             sp.vertex);
            auto found = newUV.find(key);
            uint32_t uvIndex;
            if (found != newUV.end()) {
                uvIndex = found->second;
            } else {
                iuv::DoubleVector& c = chart.uvCoords2D;
                const size_t a = uv[ia], b = uv[ib];
                const double u = sp.atX * c[2 * a] + sp.atY * c[2 * b];
                const double v = sp.atX * c[2 * a + 1] + sp.atY * c[2 * b + 1];
                uvIndex = static_cast<uint32_t>(c.size() / 2);
                c.push_back(u);
                c.push_back(v);
                newUV.emplace(key, uvIndex);
            }
            chainUV.push_back(uvIndex);
            chainPos.push_back(sp.vertex);
        }
        if (chainUV.size() == 1)
            continue;
        chainUV.push_back(uv[ib]);
        chainPos.push_back(pos[ib]);

        for (size_t i = 0; i + 1 < chainUV.size(); ++i) {
            const uint32_t tu[3] = {chainUV[i], chainUV[i + 1], uv[ic]};
            const uint32_t tp[3] = {chainPos[i], chainPos[i + 1], pos[ic]};
            if (i == 0) {
                for (int k = 0; k < 3; ++k) {
                    chart.triIndicesUV[3 * t + k] = tu[k];
                    chart.triIndicesPos[3 * t + k] = tp[k];
                }
            } else {
                chart.triIndicesUV.insert(chart.triIndicesUV.end(), tu, tu + 3);
                chart.triIndicesPos.insert(chart.triIndicesPos.end(), tp, tp + 3);
            }
        }
        // the fan triangles lie in the replaced triangle's input triangle
        const uint32_t source = sourceOf(chart, t);
        chart.sourceTriangle.resize(chart.numTriangles() - (chainUV.size() - 2), UnknownSourceTriangle);
        chart.sourceTriangle.resize(chart.numTriangles(), source);
        changed = true;
    }
    return changed;
}

int repairTJunctionsFully(Chart& chart, const SplitEdgeRegistry& registry)
{
    int passes = 0;
    while (passes < MaxRepairPasses && repairTJunctions(chart, registry))
        ++passes;
    return passes;
}

void splitIntoPieces(const Chart& chart, const CutCandidate& candidate, ChartList& secondList,
                     ChartList& firstList, const CutMask& maskLo, const CutMask& maskHi)
{
    const size_t nT = chart.numTriangles();
    if (nT == 0 || !chartIndicesValid(chart)) {
        // nothing to separate: the chart goes on as one piece
        secondList.push_back(chart);
        if (secondList.size() > 1) {
            firstList.push_back(std::move(secondList.back()));
            secondList.pop_back();
        }
        return;
    }
    const int axis = candidate.horizontal ? 1 : 0;
    const iuv::DoubleVector& uv = chart.uvCoords2D;
    std::vector<uint8_t> code(nT);
    for (size_t t = 0; t < nT; ++t) {
        double sum = 0.0;
        for (int k = 0; k < 3; ++k)
            sum += uv[2 * size_t(chart.triIndicesUV[3 * t + k]) + axis];
        const double centroid = sum / 3.0;
        code[t] = static_cast<uint8_t>((candidate.lo > centroid ? 1 : 0) |
                                       (candidate.hi > centroid ? 2 : 0));
    }
    auto marked = [](const CutMask& mask, size_t t) { return t < mask.size() && mask[t]; };

    const std::vector<CornerMatch> partners = matchEdges(chart.triIndicesUV, chart.numUVVertices());
    // Pieces are separated only along the lines, never at triangles the cut left whole.
    std::vector<uint64_t> labels;
    const size_t labelCount = labelTrianglePieces(
        nT, partners,
        [&](size_t, size_t s, size_t n) {
            const bool loOk = ((code[s] ^ code[n]) & 1) == 0 || marked(maskLo, s) || marked(maskLo, n);
            const bool hiOk = ((code[s] ^ code[n]) & 2) == 0 || marked(maskHi, s) || marked(maskHi, n);
            return loOk && hiOk;
        },
        labels);
    splitChartByLabels(chart, labels, labelCount, secondList);
    if (secondList.size() > 1) {
        firstList.push_back(std::move(secondList.back()));
        secondList.pop_back();
    }
}

void cutChart(const Chart& chart, iuv::DoubleVector& positions, iuv::DoubleVector& colours,
              const CutCandidate& candidate, ChartList& secondList, ChartList& firstList,
              SplitEdgeRegistry& registry)
{
    Chart copy = chart;
    repairTJunctionsFully(copy, registry);
    CutMask maskLo, maskHi;
    cutAlongLine(copy, positions, colours, registry, candidate.horizontal,
                 candidate.lo - CutLineOffset, maskLo, CutMargin);
    cutAlongLine(copy, positions, colours, registry, candidate.horizontal,
                 candidate.hi + CutLineOffset, maskHi, CutMargin);
    repairTJunctionsFully(copy, registry);
    splitIntoPieces(copy, candidate, secondList, firstList, maskLo, maskHi);
}

void cutChartList(const ChartList& charts, const CutCandidate& candidate,
                  const iuv::DoubleVector& positions, iuv::DoubleVector& newPositions,
                  const iuv::DoubleVector& colours, iuv::DoubleVector& newColours,
                  ChartList& firstList, ChartList& secondList, int32_t selector)
{
    firstList.clear();
    secondList.clear();
    newPositions = positions;
    newColours = colours;
    SplitEdgeRegistry registry;
    for (size_t j = 0; j < charts.size(); ++j) {
        if (selector == CutAllCharts || (selector >= 0 && static_cast<size_t>(selector) == j)) {
            cutChart(charts[j], newPositions, newColours, candidate, secondList, firstList,
                     registry);
        } else {
            secondList.push_back(charts[j]);
            repairTJunctionsFully(secondList.back(), registry);
        }
    }
    for (Chart& c : secondList)
        repairTJunctionsFully(c, registry);
    for (Chart& c : firstList)
        repairTJunctionsFully(c, registry);
    if (secondList.empty())
        secondList.swap(firstList);
}
