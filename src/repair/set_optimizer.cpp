#include "repair/set_optimizer.h"

#include <algorithm>
#include <deque>
#include <iomanip>
#include <iostream>
#include <limits>
#include <numeric>
#include <queue>

namespace {

constexpr double LargestWeight = std::numeric_limits<double>::max();
constexpr double Epsilon = std::numeric_limits<double>::epsilon();

enum NodeState : uint8_t { Outside = 0, Unlocked = 1, Locked = 2 };

} // namespace

WeightSum WeightSum::of(double weight)
{
    WeightSum s;
    if (weight == -LargestWeight)
        s.units = -1;
    else if (weight == LargestWeight)
        s.units = 1;
    else
        s.rest = weight;
    return s;
}

double WeightSum::toDouble() const
{
    if (units == 0)
        return rest;
    return double(units) * LargestWeight + rest;
}

// ---------------------------------------------------------------------------
// Graph, segments and energy

size_t SegmentationGraph::addEdge(uint64_t a, uint64_t b)
{
    edges.emplace_back(a, b);
    return edges.size() - 1;
}

void SegmentationGraph::buildAdjacency()
{
    offsets.assign(numNodes + 1, 0);
    for (const auto& e : edges) {
        ++offsets[e.first + 1];
        ++offsets[e.second + 1];
    }
    for (size_t n = 0; n < numNodes; ++n)
        offsets[n + 1] += offsets[n];
    entries.resize(offsets[numNodes]);
    std::vector<size_t> fill(offsets.begin(), offsets.end() - 1);
    for (size_t i = 0; i < edges.size(); ++i) {
        const auto& e = edges[i];
        entries[fill[e.first]++] = {e.second, i};
        entries[fill[e.second]++] = {e.first, i};
    }
}

std::vector<uint64_t> labelSegments(const SegmentationGraph& graph, const std::vector<uint64_t>& labels)
{
    const size_t n = graph.numNodes;
    const uint64_t unset = ~uint64_t(0);
    std::vector<uint64_t> segments(n, unset);
    if (labels.size() != n || graph.offsets.size() != n + 1)
        return segments;
    std::deque<uint64_t> queue;
    uint64_t count = 0;
    for (uint64_t start = 0; start < n; ++start) {
        if (segments[start] != unset)
            continue;
        segments[start] = count;
        queue.push_back(start);
        while (!queue.empty()) {
            const uint64_t v = queue.front();
            queue.pop_front();
            for (const auto* e = graph.begin(v); e != graph.end(v); ++e) {
                if (segments[e->node] == unset && labels[e->node] == labels[v]) {
                    segments[e->node] = count;
                    queue.push_back(e->node);
                }
            }
        }
        ++count;
    }
    return segments;
}

WeightSum exactSegmentationEnergy(const SegmentationGraph& graph, const std::vector<WeightSum>& weights,
                                  const std::vector<uint64_t>& segmentLabels)
{
    WeightSum energy;
    for (size_t i = 0; i < graph.edges.size() && i < weights.size(); ++i) {
        const auto& e = graph.edges[i];
        if (segmentLabels[e.first] != segmentLabels[e.second])
            energy += weights[i];
    }
    return energy;
}

double segmentationEnergy(const SegmentationGraph& graph, const std::vector<double>& weights,
                          const std::vector<uint64_t>& segmentLabels)
{
    std::vector<WeightSum> exact(weights.size());
    for (size_t i = 0; i < weights.size(); ++i)
        exact[i] = WeightSum::of(weights[i]);
    if (segmentLabels.size() != graph.numNodes)
        return 0.0;
    return exactSegmentationEnergy(graph, exact, segmentLabels).toDouble();
}

// ---------------------------------------------------------------------------
// Pair updates

struct SetOptimizer::HeapEntry {
    WeightSum gain;
    uint64_t position;
    uint64_t node;

    // Largest gain on top; of equal gains the earliest candidate.
    bool operator<(const HeapEntry& o) const
    {
        if (gain < o.gain)
            return true;
        if (o.gain < gain)
            return false;
        return position > o.position;
    }
};

SetOptimizer::SetOptimizer(const SegmentationGraph& graph, const std::vector<double>& weights,
                           const SegmentationOptions& options)
    : graph_(graph), options_(options)
{
    weights_.resize(graph.edges.size());
    for (size_t i = 0; i < weights_.size() && i < weights.size(); ++i)
        weights_[i] = WeightSum::of(weights[i]);
    const size_t n = graph.numNodes;
    labels_.resize(n);
    std::iota(labels_.begin(), labels_.end(), uint64_t(0));
    nextLabel_ = n;
    gain_.resize(n);
    count_.assign(n, 0);
    state_.assign(n, Outside);
    position_.assign(n, 0);
}

void SetOptimizer::setLabels(const std::vector<uint64_t>& labels)
{
    if (labels.size() != graph_.numNodes)
        return;
    labels_ = labels;
    nextLabel_ = 0;
    for (uint64_t l : labels_)
        nextLabel_ = std::max(nextLabel_, l + 1);
}

WeightSum SetOptimizer::pairUpdateExact(std::vector<uint64_t>& a, std::vector<uint64_t>& b)
{
    if (a.empty())
        return WeightSum();
    const bool newSet = b.empty();
    const uint64_t labelA = labels_[a[0]];
    const uint64_t labelB = newSet ? nextLabel_ : labels_[b[0]];
    if (labelA == labelB)
        return WeightSum();

    // Gains, counts and the weight between the two sides.
    for (uint64_t n : a)
        state_[n] = Unlocked;
    for (uint64_t n : b)
        state_[n] = Unlocked;
    WeightSum between;
    auto initNode = [&](uint64_t n) {
        const uint64_t own = labels_[n];
        const uint64_t other = own == labelA ? labelB : labelA;
        WeightSum g;
        int64_t c = 0;
        for (const auto* e = graph_.begin(n); e != graph_.end(n); ++e) {
            if (e->node == n)
                continue;
            const uint64_t l = labels_[e->node];
            if (l == other) {
                g += weights_[e->edge];
                if (state_[e->node] != Outside) {
                    ++c;
                    between += weights_[e->edge];
                }
            } else if (l == own) {
                g -= weights_[e->edge];
            }
        }
        gain_[n] = g;
        count_[n] = c;
    };
    for (uint64_t n : a)
        initNode(n);
    for (uint64_t n : b)
        initNode(n);
    // Every edge between the sides was counted from both ends.
    WeightSum mergeGain;
    mergeGain.units = between.units / 2;
    mergeGain.rest = between.rest * 0.5;

    std::priority_queue<HeapEntry> heap;
    uint64_t nextPosition = 0;
    // A node's gain only needs a fresh heap entry when it rises or when the
    // node (re)joins the candidate list; an entry left above the current gain
    // is re-entered when it comes to the top. So every candidate always has an
    // entry at or above its gain, and the first entry that matches its node's
    // current gain and position is the largest gain, earliest on ties.
    auto pushCandidate = [&](uint64_t n) { heap.push({gain_[n], position_[n], n}); };
    for (const std::vector<uint64_t>* side : {&a, &b}) {
        for (uint64_t n : *side) {
            if (count_[n] > 0) {
                position_[n] = nextPosition++;
                pushCandidate(n);
            }
        }
    }

    std::vector<uint64_t> moves;
    WeightSum running;
    WeightSum best = WeightSum::of(-LargestWeight);
    size_t bestCount = 0;
    while (moves.size() < options_.maxMoves) {
        uint64_t node = ~uint64_t(0);
        if (newSet && moves.empty()) {
            node = a[0];
            for (uint64_t n : a)
                if (gain_[n] > gain_[node])
                    node = n;
        } else {
            while (!heap.empty()) {
                const HeapEntry top = heap.top();
                heap.pop();
                const uint64_t n = top.node;
                if (state_[n] != Unlocked || count_[n] <= 0 || position_[n] != top.position ||
                    top.gain < gain_[n])
                    continue;
                if (gain_[n] < top.gain) {
                    pushCandidate(n);
                    continue;
                }
                node = n;
                break;
            }
            if (node == ~uint64_t(0))
                break;
        }

        const uint64_t oldLabel = labels_[node];
        const uint64_t newLabel = oldLabel == labelA ? labelB : labelA;
        const WeightSum moveGain = gain_[node];
        labels_[node] = newLabel;
        state_[node] = Locked;
        count_[node] = 0;
        for (const auto* e = graph_.begin(node); e != graph_.end(node); ++e) {
            const uint64_t m = e->node;
            if (m == node || state_[m] != Unlocked)
                continue;
            const WeightSum& w = weights_[e->edge];
            if (labels_[m] == newLabel) {
                const WeightSum before = gain_[m];
                gain_[m] -= w;
                gain_[m] -= w;
                --count_[m];
                if (before < gain_[m] && count_[m] > 0)
                    pushCandidate(m);
            } else if (labels_[m] == oldLabel) {
                const WeightSum before = gain_[m];
                gain_[m] += w;
                gain_[m] += w;
                if (++count_[m] == 1) {
                    position_[m] = nextPosition++;
                    pushCandidate(m);
                } else if (before < gain_[m]) {
                    pushCandidate(m);
                }
            }
        }
        moves.push_back(node);
        running += moveGain;
        if (running > best) {
            best = running;
            bestCount = moves.size();
        }
    }

    auto undoMoves = [&](size_t from) {
        for (size_t k = from; k < moves.size(); ++k) {
            const uint64_t n = moves[k];
            labels_[n] = labels_[n] == labelA ? labelB : labelA;
        }
    };
    auto release = [&]() {
        for (uint64_t n : a)
            state_[n] = Outside;
        for (uint64_t n : b)
            state_[n] = Outside;
    };

    const WeightSum minGain = WeightSum::of(options_.minGain);
    if (mergeGain > best && mergeGain > minGain) {
        undoMoves(0);
        release();
        for (uint64_t n : b)
            labels_[n] = labelA;
        a.insert(a.end(), b.begin(), b.end());
        b.clear();
        return mergeGain;
    }
    if (best > minGain) {
        undoMoves(bestCount);
        release();
        if (newSet)
            ++nextLabel_;
        // Moved nodes leave their old list and join the other one in move order.
        for (size_t k = 0; k < bestCount; ++k)
            state_[moves[k]] = Locked;
        auto keepUnmoved = [&](std::vector<uint64_t>& list) {
            list.erase(std::remove_if(list.begin(), list.end(), [&](uint64_t n) { return state_[n] == Locked; }),
                       list.end());
        };
        keepUnmoved(a);
        keepUnmoved(b);
        for (size_t k = 0; k < bestCount; ++k) {
            const uint64_t n = moves[k];
            state_[n] = Outside;
            (labels_[n] == labelA ? a : b).push_back(n);
        }
        return best;
    }
    undoMoves(0);
    release();
    return WeightSum();
}

// ---------------------------------------------------------------------------
// Main loop

void SetOptimizer::relabel(std::vector<std::vector<uint64_t>>& lists)
{
    labels_ = labelSegments(graph_, labels_);
    nextLabel_ = 0;
    for (uint64_t l : labels_)
        nextLabel_ = std::max(nextLabel_, l + 1);
    lists.assign(nextLabel_, {});
    for (uint64_t n = 0; n < labels_.size(); ++n)
        lists[labels_[n]].push_back(n);
}

std::vector<bool> SetOptimizer::changedSegments(const std::vector<uint64_t>& reference, size_t numSegments) const
{
    std::vector<bool> changed(numSegments, false);
    for (uint64_t n = 0; n < graph_.numNodes; ++n) {
        if (changed[labels_[n]])
            continue;
        for (const auto* e = graph_.begin(n); e != graph_.end(n); ++e) {
            const bool sameNow = labels_[e->node] == labels_[n];
            const bool sameBefore = reference[e->node] == reference[n];
            if (sameNow != sameBefore) {
                changed[labels_[n]] = true;
                break;
            }
        }
    }
    return changed;
}

namespace {

// Restores the stream format of std::cout when the table is done.
class CoutFormatGuard {
public:
    CoutFormatGuard() : flags_(std::cout.flags()), precision_(std::cout.precision()) {}
    ~CoutFormatGuard()
    {
        std::cout.flags(flags_);
        std::cout.precision(precision_);
    }

private:
    std::ios::fmtflags flags_;
    std::streamsize precision_;
};

bool statusChanged(const SegmentationGraph& graph, const std::vector<uint64_t>& now,
                   const std::vector<uint64_t>& saved)
{
    for (const auto& e : graph.edges)
        if ((now[e.first] != now[e.second]) != (saved[e.first] != saved[e.second]))
            return true;
    return false;
}

} // namespace

std::vector<uint64_t> SetOptimizer::run(const std::vector<uint64_t>& initialLabels)
{
    CoutFormatGuard formatGuard;
    if (initialLabels.size() == graph_.numNodes)
        labels_ = initialLabels;
    else
        std::iota(labels_.begin(), labels_.end(), uint64_t(0));
    std::vector<std::vector<uint64_t>> lists;
    relabel(lists);
    WeightSum energy = exactSegmentationEnergy(graph_, weights_, labels_);

    if (options_.verbose) {
        std::cout << "Starting number of segments: " << lists.size() << std::endl;
        std::cout << "Starting energy: " << std::fixed << std::setprecision(4) << energy.toDouble()
                  << std::endl;
        std::cout << std::setw(4) << "Iter" << std::setw(16) << "Obj. value" << std::setw(15)
                  << "Pair updates" << std::setw(15) << "New sets" << std::setw(10) << "# sets\n"
                  << std::flush;
    }

    std::vector<uint64_t> result = labels_;       // saved at the end of the last accepted iteration
    std::vector<uint64_t> reference = labels_;    // saved one iteration before that
    WeightSum resultEnergy = energy;
    const WeightSum epsilon = WeightSum::of(Epsilon);

    for (uint64_t i = 0; i < options_.maxIterations; ++i) {
        const size_t numSegments = lists.size();
        std::vector<bool> changed =
            i == 0 ? std::vector<bool>(numSegments, true) : changedSegments(reference, numSegments);

        // Neighbouring segments, each set sorted.
        std::vector<std::pair<uint64_t, uint64_t>> neighbourPairs;
        for (const auto& e : graph_.edges) {
            const uint64_t s = labels_[e.first];
            const uint64_t t = labels_[e.second];
            if (s != t)
                neighbourPairs.emplace_back(std::min(s, t), std::max(s, t));
        }
        std::sort(neighbourPairs.begin(), neighbourPairs.end());
        neighbourPairs.erase(std::unique(neighbourPairs.begin(), neighbourPairs.end()), neighbourPairs.end());

        const WeightSum energyBefore = energy;
        for (size_t k = 0; k < neighbourPairs.size();) {
            const uint64_t s = neighbourPairs[k].first;
            size_t end = k;
            while (end < neighbourPairs.size() && neighbourPairs[end].first == s)
                ++end;
            for (size_t j = k; j < end && !lists[s].empty(); ++j) {
                const uint64_t t = neighbourPairs[j].second;
                if (lists[t].empty() || !(changed[s] || changed[t]))
                    continue;
                pairUpdateExact(lists[s], lists[t]);
            }
            k = end;
        }
        relabel(lists);
        const WeightSum energyAfterPairs = exactSegmentationEnergy(graph_, weights_, labels_);
        const WeightSum pairGain = energyBefore - energyAfterPairs;

        changed = i == 0 ? std::vector<bool>(lists.size(), true) : changedSegments(reference, lists.size());
        if (options_.createNewSets) {
            const size_t numNow = lists.size();
            for (size_t s = 0; s < numNow; ++s) {
                if (!changed[s])
                    continue;
                while (!lists[s].empty()) {
                    std::vector<uint64_t> split;
                    pairUpdateExact(lists[s], split);
                    if (split.empty())
                        break;
                }
            }
        }
        relabel(lists);
        energy = exactSegmentationEnergy(graph_, weights_, labels_);
        const WeightSum newSetGain = energyAfterPairs - energy;

        if (pairGain + newSetGain < epsilon)
            break;
        if (!statusChanged(graph_, labels_, result))
            break;
        reference = result;
        result = labels_;
        resultEnergy = energy;
        if (options_.verbose) {
            std::cout << std::setw(4) << (i + 1) << std::setw(16) << energy.toDouble() << std::setw(15)
                      << pairGain.toDouble() << std::setw(15) << newSetGain.toDouble() << std::setw(10)
                      << lists.size() << std::endl;
        }
    }

    if (options_.verbose)
        std::cout << "Final objective: " << resultEnergy.toDouble() << std::endl;
    labels_ = result;
    return result;
}

std::vector<uint64_t> optimizeSets(const SegmentationGraph& graph, const std::vector<double>& weights,
                                   const std::vector<uint64_t>& initialLabels,
                                   const SegmentationOptions& options)
{
    if (graph.offsets.size() != graph.numNodes + 1)
        return std::vector<uint64_t>(graph.numNodes, 0);
    SetOptimizer optimizer(graph, weights, options);
    return optimizer.run(initialLabels);
}
