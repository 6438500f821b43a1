#include "refine/cut_search.h"

#include "base/console.h"

#include "packing/pack.h"
#include "refine/cut_apply.h"
#include "refine/cutting.h"
#include "refine/parallel_jobs.h"
#include "refine/trial_set.h"
#include "topology/boundary_length.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <queue>
#include <utility>

namespace {

struct ScoredCandidate {
    size_t index;
    double score;
    bool operator<(const ScoredCandidate& other) const { return score < other.score; }
};

using CandidateHeap = std::priority_queue<ScoredCandidate>;

// Space found in the box of one chart of the list.
struct LocalSpace {
    int32_t chart;
    EmptySpace space;
};

void sortByAreaLargestFirst(std::vector<EmptySpace>& spaces)
{
    std::stable_sort(spaces.begin(), spaces.end(), [](const EmptySpace& a, const EmptySpace& b) {
        return a.area() > b.area();
    });
}

void printCandidateCount(size_t count)
{
    console() << "Detected " << count << " cut candidates." << std::endl;
}

// Replaces the model's lists with the result of a cut.
void installCut(ChartList& charts, iuv::DoubleVector& positions, iuv::DoubleVector& colours,
                ChartList& first, ChartList& second, iuv::DoubleVector& newPositions,
                iuv::DoubleVector& newColours)
{
    first.reserve(first.size() + second.size());
    for (Chart& c : second)
        first.push_back(std::move(c));
    charts.swap(first);
    positions.swap(newPositions);
    colours.swap(newColours);
}

bool localSearch(ChartList& charts, iuv::DoubleVector& positions, iuv::DoubleVector& colours,
                 double A, double& scoreOut, Atlas& atlas)
{
    std::vector<UVBox> boxes;
    boxes.reserve(charts.size());
    for (const Chart& c : charts)
        boxes.push_back(chartUVBounds(c));

    // Each chart's search is independent; the spaces are collected in chart
    // order whatever thread found them.
    std::vector<std::vector<EmptySpace>> perChart(charts.size());
    runJobs(charts.size(), [&](size_t i) {
        const ChartList single{charts[i]};
        findEmptySpaces(single, perChart[i], MinEmptySpaceSide, EmptySpaceResolution, nullptr);
    });
    std::vector<LocalSpace> spaces;
    for (size_t i = 0; i < charts.size(); ++i)
        for (const EmptySpace& s : perChart[i])
            spaces.push_back(LocalSpace{static_cast<int32_t>(i), s});
    if (spaces.empty()) {
        console() << "No empty spaces found." << std::endl;
        return false;
    }
    std::stable_sort(spaces.begin(), spaces.end(), [](const LocalSpace& a, const LocalSpace& b) {
        return a.space.area() > b.space.area();
    });

    std::vector<CutCandidate> candidates;
    std::vector<int32_t> candidateChart;
    for (const LocalSpace& s : spaces) {
        const std::vector<const Chart*> one{&charts[size_t(s.chart)]};
        const UVBox& box = boxes[size_t(s.chart)];
        candidates.push_back(candidateFromSpace(s.space, true, one, box));
        candidateChart.push_back(s.chart);
        candidates.push_back(candidateFromSpace(s.space, false, one, box));
        candidateChart.push_back(s.chart);
        if (candidates.size() >= CutCandidateLimit)
            break;
    }
    printCandidateCount(candidates.size());

    TrialSet trials(charts, positions, colours, A, atlas,
                    [&](size_t k, ChartList& c, iuv::DoubleVector& p, iuv::DoubleVector& col) {
                        return applyLocalCut(c, candidates[k], candidateChart[k], p, col);
                    },
                    candidates.size());
    const size_t chosen = chooseBestCandidate(candidates.size(),
                                              [&](size_t k, double& s) { return trials.take(k, s); });
    if (chosen == NoCandidate) {
        console() << "> No local cut improves the result." << std::endl;
        return false;
    }
    double e = 0.0;
    if (!trials.install(chosen, charts, positions, colours, e)) {
        applyLocalCut(charts, candidates[chosen], candidateChart[chosen], positions, colours);
        e = packCharts(charts, positions, true, atlas);
    }
    scoreOut = cutScore(e, charts, A);
    return true;
}

} // namespace

size_t chooseBestCandidate(size_t count, const std::function<bool(size_t, double&)>& trial)
{
    // Only strictly better scores enter the heap, so its top is the earliest
    // of the best.
    CandidateHeap heap;
    double best = std::numeric_limits<double>::lowest();
    for (size_t k = 0; k < count; ++k) {
        double s = 0.0;
        if (!trial(k, s))
            continue;
        console() << "Found feasible configuration with score " << s << std::endl;
        if (s > best) {
            heap.push(ScoredCandidate{k, s});
            best = s;
        }
    }
    return heap.empty() ? NoCandidate : heap.top().index;
}

double cutScoreFromLength(double efficiency, double boundaryLength, double A)
{
    const double score = efficiency / std::pow(boundaryLength / std::sqrt(A), BoundaryExponent);
    return std::isfinite(score) ? score : 0.0;
}

double cutScore(double efficiency, const ChartList& charts, double A)
{
    return cutScoreFromLength(efficiency, totalBoundaryLength(charts), A);
}

double optimizeCutPosition(double p, double q, bool horizontal,
                           const std::vector<const Chart*>& charts, const UVBox& box)
{
    const double boxMin = horizontal ? box.minV : box.minU;
    const double boxMax = horizontal ? box.maxV : box.maxU;
    if (std::fabs(p - boxMin) <= CutEdgeTolerance || std::fabs(p - boxMax) <= CutEdgeTolerance)
        return p;
    double w = CutWindowShare * std::fabs(q - p);
    if (!(w > 0.0))
        w = 0.0;
    if (w >= CutWindowCap)
        w = CutWindowCap;
    if (w < CutMinHalfWindow)
        return p;

    // Only charts reaching into the window can be crossed by a sample line; a
    // line crosses a chart only strictly inside its box.
    struct Reach {
        const Chart* chart;
        double lo, hi;
        UVAdjacency adjacency;
    };
    std::vector<Reach> reach;
    for (const Chart* c : charts) {
        const UVBox b = chartUVBounds(*c);
        const double lo = horizontal ? b.minV : b.minU;
        const double hi = horizontal ? b.maxV : b.maxU;
        if (hi > p - w - CutOnLineTolerance && lo < p + w + CutOnLineTolerance)
            reach.push_back(Reach{c, lo, hi, buildUVAdjacency(*c)});
    }

    double bestT = p;
    double bestCost = std::numeric_limits<double>::max();
    bool found = false;
    for (int i = 0; i < CutPositionSamples; ++i) {
        const double t = i * (2.0 * w) / 100.0 + (p - w);
        double cost = 0.0;
        for (const Reach& r : reach) {
            if (!(r.lo < t - CutOnLineTolerance && r.hi > t + CutOnLineTolerance))
                continue;
            cost += cutLength(*r.chart, r.adjacency, t, horizontal, CutMargin);
        }
        if (cost > 0.0 && (!found || cost < bestCost)) {
            bestCost = cost;
            bestT = t;
            found = true;
        }
    }
    return found ? bestT : p;
}

double optimizeCutPosition(double p, double q, bool horizontal, const ChartList& charts,
                           const UVBox& box)
{
    std::vector<const Chart*> list;
    list.reserve(charts.size());
    for (const Chart& c : charts)
        list.push_back(&c);
    return optimizeCutPosition(p, q, horizontal, list, box);
}

CutCandidate candidateFromSpace(const EmptySpace& space, bool horizontal,
                                const std::vector<const Chart*>& charts, const UVBox& box)
{
    const double first = horizontal ? space.minV : space.minU;
    const double second = horizontal ? space.maxV : space.maxU;
    const double lo = optimizeCutPosition(first, second, horizontal, charts, box);
    const double hi = optimizeCutPosition(second, lo, horizontal, charts, box);
    // Written as the plain comparison: lines that came out NaN (from a
    // non-finite layout) cut nothing and must not end the process.
    if (lo >= hi) {
        console() << "ERROR: CUTS HAVE WRONG ORDER AFTER OPTIMIZATION!" << std::endl;
        std::exit(23);
    }
    return CutCandidate{lo, hi, horizontal};
}

bool applyLocalCut(ChartList& charts, const CutCandidate& candidate, int32_t chartIndex,
                   iuv::DoubleVector& sharedPositions, iuv::DoubleVector& vertexColors)
{
    ChartList first, second;
    iuv::DoubleVector newPositions, newColours;
    cutChartList(charts, candidate, sharedPositions, newPositions, vertexColors, newColours, first,
                 second, chartIndex);
    if (first.size() + second.size() == charts.size())
        return false;
    installCut(charts, sharedPositions, vertexColors, first, second, newPositions, newColours);
    return true;
}

bool applyGlobalCut(ChartList& charts, const CutCandidate& candidate,
                    iuv::DoubleVector& sharedPositions, iuv::DoubleVector& vertexColors)
{
    ChartList first, second;
    iuv::DoubleVector newPositions, newColours;
    cutChartList(charts, candidate, sharedPositions, newPositions, vertexColors, newColours, first,
                 second, CutAllCharts);
    if (first.size() + second.size() == 1)
        return false;
    installCut(charts, sharedPositions, vertexColors, first, second, newPositions, newColours);
    return true;
}

bool findGlobalCut(ChartList& charts, iuv::DoubleVector& sharedPositions,
                   iuv::DoubleVector& vertexColors, double A, double& scoreOut, Atlas& atlas)
{
    std::vector<EmptySpace> spaces;
    UVBox unionBox;
    findEmptySpaces(charts, spaces, MinEmptySpaceSide, EmptySpaceResolution, &unionBox);
    sortByAreaLargestFirst(spaces);

    std::vector<const Chart*> all;
    all.reserve(charts.size());
    for (const Chart& c : charts)
        all.push_back(&c);
    std::vector<CutCandidate> candidates;
    for (const EmptySpace& s : spaces) {
        candidates.push_back(candidateFromSpace(s, true, all, unionBox));
        if (candidates.size() >= CutCandidateLimit)
            break;
        candidates.push_back(candidateFromSpace(s, false, all, unionBox));
        if (candidates.size() >= CutCandidateLimit)
            break;
    }
    printCandidateCount(candidates.size());
    if (candidates.empty())
        return false;

    const double L0 = totalBoundaryLength(charts);
    TrialSet trials(charts, sharedPositions, vertexColors, A, atlas,
                    [&](size_t k, ChartList& c, iuv::DoubleVector& p, iuv::DoubleVector& col) {
                        return applyGlobalCut(c, candidates[k], p, col);
                    },
                    candidates.size());
    const size_t chosen = chooseBestCandidate(candidates.size(),
                                              [&](size_t k, double& s) { return trials.take(k, s); });
    if (chosen == NoCandidate) {
        console() << "> No global cut improves the result." << std::endl;
        return false;
    }
    double e = 0.0;
    if (!trials.install(chosen, charts, sharedPositions, vertexColors, e)) {
        applyGlobalCut(charts, candidates[chosen], sharedPositions, vertexColors);
        e = packCharts(charts, sharedPositions, true, atlas);
    }
    const double L1 = totalBoundaryLength(charts);
    scoreOut = cutScoreFromLength(e, L1, A);
    if (L1 == L0) {
        console() << "> Global cut leads to same blength, not cutting anything." << std::endl;
        return false;
    }
    return true;
}

bool findCutSolution(ChartList& charts, iuv::DoubleVector& sharedPositions,
                     iuv::DoubleVector& vertexColors, bool global, double A, double& scoreOut,
                     Atlas& atlas)
{
    if (global)
        return findGlobalCut(charts, sharedPositions, vertexColors, A, scoreOut, atlas);
    return localSearch(charts, sharedPositions, vertexColors, A, scoreOut, atlas);
}
