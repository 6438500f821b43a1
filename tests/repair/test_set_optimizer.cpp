#include "repair/set_optimizer.h"

#include <gtest/gtest.h>

#include <iostream>
#include <algorithm>
#include <limits>
#include <tuple>
#include <sstream>

namespace {

using Edges = std::vector<std::tuple<uint64_t, uint64_t, double>>;

struct WeightedGraph {
    SegmentationGraph graph;
    std::vector<double> weights;

    WeightedGraph(size_t nodes, const Edges& edges) : graph(nodes)
    {
        for (const auto& [a, b, w] : edges) {
            graph.addEdge(a, b);
            weights.push_back(w);
        }
        graph.buildAdjacency();
    }
};

size_t countSegments(const std::vector<uint64_t>& labels)
{
    uint64_t m = 0;
    for (uint64_t l : labels)
        m = std::max(m, l + 1);
    return labels.empty() ? 0 : size_t(m);
}

} // namespace

TEST(LabelSegments, ComponentsPerLabelInOrderOfLowestNodeAndTheirEnergy)
{
    WeightedGraph g(5, {{0, 1, 1}, {1, 2, 1}, {3, 4, 1}, {2, 4, -1}, {3, 3, 7}}); // a loop never lies between segments
    // Label 7 on nodes 0 and 2 is not connected through label-7 nodes.
    const std::vector<uint64_t> segments = labelSegments(g.graph, {7, 3, 7, 3, 3});
    EXPECT_EQ(segments, (std::vector<uint64_t>{0, 1, 2, 3, 3}));
    EXPECT_EQ(labelSegments(g.graph, {0, 0, 0, 0, 0}), (std::vector<uint64_t>{0, 0, 0, 0, 0}));
    EXPECT_EQ(labelSegments(g.graph, {0}), std::vector<uint64_t>(5, ~uint64_t(0))); // wrong size
    // The search passes over the loop; node 2 stays away from its repelling neighbour.
    const std::vector<uint64_t> optimized = optimizeSets(g.graph, g.weights, {}, SegmentationOptions());
    EXPECT_NE(optimized[2], optimized[4]);
    // The energy sums the records between segments; two overlap weights saturate.
    EXPECT_EQ(segmentationEnergy(g.graph, g.weights, segments), 1.0);
    EXPECT_EQ(segmentationEnergy(g.graph, g.weights, {0}), 0.0);
    g.weights[0] = -OverlapWeight;
    EXPECT_EQ(segmentationEnergy(g.graph, g.weights, segments), -OverlapWeight);
    g.weights[0] = g.weights[1] = OverlapWeight;
    EXPECT_EQ(segmentationEnergy(g.graph, g.weights, segments), -std::numeric_limits<double>::infinity());
    // A graph without adjacency gives one segment.
    EXPECT_EQ(optimizeSets(SegmentationGraph(3), {}, {}, SegmentationOptions()), std::vector<uint64_t>(3, 0));
}

TEST(PairUpdate, MovesMergesPrefixesAndThresholds)
{
    // maxMoves 0: the default.
    struct Case { const char* name; size_t nodes; Edges edges; size_t maxMoves; double gain;
                  std::vector<uint64_t> a, b, labels; };
    const std::vector<Case> cases = {
        // Moving node 1 then node 0 gains 4 + 1 = 5, as much as merging: the moves stand.
        {"moves win a tie", 4, {{0, 1, 1.0}, {1, 2, 5.0}, {2, 3, 1.0}}, 0, 5.0, {}, {2, 3, 1, 0}, {1, 1, 1, 1}},
        // The single best move gains 4 < 5: the sets merge.
        {"merge beats moves", 4, {{0, 1, 1.0}, {1, 2, 5.0}, {2, 3, 1.0}}, 1, 5.0, {0, 1, 2, 3}, {}, {0, 0, 0, 0}},
        // Node 1 leaves A for B, node 0 stays: the best prefix of the moves.
        {"best prefix", 4, {{0, 1, 1.0}, {1, 2, 5.0}, {2, 3, 9.0}, {0, 3, -3.0}}, 0, 4.0, {0}, {2, 3, 1}, {0, 1, 1, 1}},
        // Gains up to one millionth are no gain.
        {"at threshold", 2, {{0, 1, 1e-6}}, 0, 0.0, {0}, {1}, {0, 1}},
        {"above threshold", 2, {{0, 1, 2e-6}}, 0, 2e-6, {}, {1, 0}, {1, 1}},
        // An overlap between the sets blocks the merge.
        {"overlap blocks merge", 2, {{0, 1, 3.0}, {0, 1, OverlapWeight}}, 0, 0.0, {0}, {1}, {0, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WeightedGraph g(c.nodes, c.edges);
        SegmentationOptions options;
        if (c.maxMoves)
            options.maxMoves = c.maxMoves;
        SetOptimizer opt(g.graph, g.weights, options);
        std::vector<uint64_t> initial(c.nodes);
        for (size_t i = 0; i < c.nodes; ++i)
            initial[i] = i < c.nodes / 2 ? 0 : 1;
        opt.setLabels(initial);
        std::vector<uint64_t> a, b;
        for (uint64_t i = 0; i < c.nodes; ++i)
            (initial[i] == 0 ? a : b).push_back(i);
        EXPECT_DOUBLE_EQ(opt.pairUpdate(a, b), c.gain);
        EXPECT_EQ(a, c.a);
        EXPECT_EQ(b, c.b);
        EXPECT_EQ(opt.labels(), c.labels);
    }
}

TEST(PairUpdate, NewSetSplitsOffTheDoublyOverlappingNode)
{
    // Chain 0-1-2 in one set; node 1 overlaps both others. Plain double sums would reach inf - inf here.
    WeightedGraph g(3, {{0, 1, 1.0}, {1, 2, 1.0}, {0, 1, OverlapWeight}, {1, 2, OverlapWeight}});
    SetOptimizer opt(g.graph, g.weights, SegmentationOptions());
    opt.setLabels({0, 0, 0});
    std::vector<uint64_t> a = {0, 1, 2}, b;
    const WeightSum gain = opt.pairUpdateExact(a, b);
    EXPECT_EQ(gain.units, 2);
    EXPECT_DOUBLE_EQ(gain.rest, -2.0);
    EXPECT_EQ((WeightSum() - gain).toDouble(), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(a, (std::vector<uint64_t>{0, 2}));
    EXPECT_EQ(b, (std::vector<uint64_t>{1}));
    EXPECT_EQ(opt.labelCount(), 2u);
    EXPECT_EQ(opt.labels(), (std::vector<uint64_t>{0, 1, 0}));
    // Nothing more to split: the call changes nothing.
    std::vector<uint64_t> c;
    EXPECT_EQ(opt.pairUpdate(a, c), 0.0);
    EXPECT_TRUE(c.empty());
    EXPECT_EQ(opt.labelCount(), 2u);
    // No nodes, one set on both sides, labels of the wrong size: nothing happens.
    std::vector<uint64_t> none, same = {0, 2};
    EXPECT_EQ(opt.pairUpdate(none, c), 0.0);
    EXPECT_EQ(opt.pairUpdate(a, same), 0.0);
    opt.setLabels({5});
    EXPECT_EQ(opt.labels(), (std::vector<uint64_t>{0, 1, 0}));
}

TEST(OptimizeSets, OverlapsEndInDifferentSegmentsAtTheCheapestCut)
{
    // Ring 0..7 of attractive edges; 0 overlaps 4 and 1 overlaps 5: two cuts are enough.
    Edges ring;
    for (uint64_t i = 0; i < 8; ++i)
        ring.emplace_back(i, (i + 1) % 8, 1.0);
    ring.insert(ring.end(), {{0, 4, OverlapWeight}, {1, 5, OverlapWeight}});
    // Chain 0..5 (two records per edge, as for triangle adjacency) closed by an overlap between the ends:
    // every cut costs the same, unless a seam-separating edge between 2 and 3 makes that one the cheapest.
    Edges chain = {{0, 5, OverlapWeight}};
    for (uint64_t i = 0; i + 1 < 6; ++i)
        chain.insert(chain.end(), {{i, i + 1, 1.0}, {i + 1, i, 1.0}});
    Edges seam = chain;
    seam.emplace_back(2, 3, -1.0);
    // No labels (as any of the wrong size) start with one set per node.
    struct Case { const char* name; size_t nodes; Edges edges; std::vector<uint64_t> init; std::vector<std::pair<uint64_t, uint64_t>> apart; size_t segments; };
    const std::vector<Case> cases = {
        {"ring, one set per node", 8, ring, {}, {{0, 4}, {1, 5}}, 2},
        {"ring, all in one set", 8, ring, std::vector<uint64_t>(8, 0), {{0, 4}, {1, 5}}, 0},
        {"chain", 6, chain, {}, {{0, 5}}, 2},
        {"chain with a seam edge", 6, seam, {}, {{0, 5}, {2, 3}}, 2},
        {"nothing to gain", 3, {{0, 1, -1.0}, {1, 2, -2.0}}, {0, 1, 2}, {{0, 1}, {1, 2}}, 3},
        {"empty graph", 0, {}, {}, {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WeightedGraph g(c.nodes, c.edges);
        const auto labels = optimizeSets(g.graph, g.weights, c.init, SegmentationOptions());
        ASSERT_EQ(labels.size(), c.nodes);
        for (const auto& [a, b] : c.apart)
            EXPECT_NE(labels[a], labels[b]) << a << " " << b;
        if (c.segments > 0) {
            EXPECT_EQ(countSegments(labels), c.segments);
        }
    }
}

TEST(OptimizeSets, VerboseTable)
{
    // The table's format, and the stream's own format restored afterwards.
    const WeightedGraph two(2, {{0, 1, 1.0}});
    SegmentationOptions loud;
    loud.verbose = true;
    testing::internal::CaptureStdout();
    const auto labels = optimizeSets(two.graph, two.weights, {0, 1}, loud);
    std::cout << 1.5 << std::endl;
    EXPECT_EQ(labels, (std::vector<uint64_t>{0, 0}));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Starting number of segments: 2\n"
                                                      "Starting energy: 1.0000\n"
                                                      "Iter      Obj. value   Pair updates       New sets   # sets\n"
                                                      "   1          0.0000         1.0000         0.0000         1\n"
                                                      "Final objective: 0.0000\n"
                                                      "1.5\n");
}
