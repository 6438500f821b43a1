#pragma once

#include "repair/segmentation.h"

#include <cstdint>
#include <vector>

// An exact sum of segmentation weights. The overlap weight (the most negative
// finite double) and its negation are counted as whole units apart from the
// ordinary weights, so that sums of them neither overflow to infinity nor
// swallow the ordinary terms. Values compare as the real numbers
// units * 1.7976931348623157e308 + rest do while |rest| stays below that
// magnitude: first by units, then by rest.
struct WeightSum {
    int64_t units = 0;
    double rest = 0.0;

    static WeightSum of(double weight);
    // The nearest double (plus or minus infinity beyond the double range).
    double toDouble() const;

    WeightSum& operator+=(const WeightSum& o)
    {
        units += o.units;
        rest += o.rest;
        return *this;
    }
    WeightSum& operator-=(const WeightSum& o)
    {
        units -= o.units;
        rest -= o.rest;
        return *this;
    }
    friend WeightSum operator+(WeightSum a, const WeightSum& b) { return a += b; }
    friend WeightSum operator-(WeightSum a, const WeightSum& b) { return a -= b; }
    friend bool operator<(const WeightSum& a, const WeightSum& b)
    {
        return a.units < b.units || (a.units == b.units && a.rest < b.rest);
    }
    friend bool operator>(const WeightSum& a, const WeightSum& b) { return b < a; }
    friend bool operator==(const WeightSum& a, const WeightSum& b)
    {
        return a.units == b.units && a.rest == b.rest;
    }
};

// Exact energy of a segmentation: the weights of the edge records whose
// endpoints lie in different segments.
WeightSum exactSegmentationEnergy(const SegmentationGraph& graph, const std::vector<WeightSum>& weights,
                                  const std::vector<uint64_t>& segmentLabels);

// The state of one set optimisation: the current set label of every node and
// the next free label, with the scratch space of the pair updates.
class SetOptimizer {
public:
    SetOptimizer(const SegmentationGraph& graph, const std::vector<double>& weights,
                 const SegmentationOptions& options);

    // Sets the labels (one per node) and makes the next free label one more
    // than the largest.
    void setLabels(const std::vector<uint64_t>& labels);
    const std::vector<uint64_t>& labels() const { return labels_; }
    uint64_t labelCount() const { return nextLabel_; }

    // One pass of moves between the sets of the nodes in a and in b (each list
    // holding exactly the nodes of its set), or a merge of the two; b may be
    // empty to ask for a new set split off a. Updates the labels and both
    // lists; returns the applied gain (0 when nothing changed).
    WeightSum pairUpdateExact(std::vector<uint64_t>& a, std::vector<uint64_t>& b);
    double pairUpdate(std::vector<uint64_t>& a, std::vector<uint64_t>& b)
    {
        return pairUpdateExact(a, b).toDouble();
    }

    // The main loop from the given labels; returns segment labels.
    std::vector<uint64_t> run(const std::vector<uint64_t>& initialLabels);

private:
    struct HeapEntry;

    void relabel(std::vector<std::vector<uint64_t>>& lists);
    std::vector<bool> changedSegments(const std::vector<uint64_t>& reference, size_t numSegments) const;

    const SegmentationGraph& graph_;
    SegmentationOptions options_;
    std::vector<WeightSum> weights_;
    std::vector<uint64_t> labels_;
    uint64_t nextLabel_ = 0;

    // Pair-update scratch, one entry per node.
    std::vector<WeightSum> gain_;
    std::vector<int64_t> count_;
    std::vector<uint8_t> state_;
    std::vector<uint64_t> position_;
};
