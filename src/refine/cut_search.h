#pragma once

#include "model/chart.h"
#include "model/iuv_vector.h"
#include "packing/atlas.h"
#include "refine/cut_candidate.h"
#include "geometry/empty_spaces.h"

#include <cstdint>
#include <functional>
#include <vector>

// The local and the global cut search. The local search looks for empty space
// inside each chart's own box and cuts one chart; the global search looks for
// gaps in the packed atlas and cuts every chart. Both try each candidate on a
// copy of the layout (cut, repack, score) and apply the best one.

constexpr double MinEmptySpaceSide = 0.01;
constexpr double EmptySpaceResolution = 1.0;
constexpr size_t CutCandidateLimit = 4;
constexpr double CutEdgeTolerance = 1e-05;
constexpr double CutWindowShare = 0.45;
constexpr double CutWindowCap = 0.05;
constexpr double CutMinHalfWindow = 0.010000000000000002;
constexpr int CutPositionSamples = 101;
constexpr double BoundaryExponent = 0.2;

// With global set, the global search (findGlobalCut); otherwise the local
// search. Changes the lists in place when a cut was applied and writes the
// score of the applied solution to scoreOut.
bool findCutSolution(ChartList& charts, iuv::DoubleVector& sharedPositions,
                     iuv::DoubleVector& vertexColors, bool global, double A, double& scoreOut,
                     Atlas& atlas);

bool findGlobalCut(ChartList& charts, iuv::DoubleVector& sharedPositions,
                   iuv::DoubleVector& vertexColors, double A, double& scoreOut, Atlas& atlas);

// Moves the line through p (the opposite line lies at q) within a window of at
// most 0.05 to where it cuts the given charts shortest. The line stays when it
// lies on the edge of box or the window is too small.
double optimizeCutPosition(double p, double q, bool horizontal,
                           const std::vector<const Chart*>& charts, const UVBox& box);
double optimizeCutPosition(double p, double q, bool horizontal, const ChartList& charts,
                           const UVBox& box);

// efficiency / (totalBoundaryLength(charts) / sqrt(A))^0.2; 0 when that is not
// a finite number (no area, no boundary).
double cutScore(double efficiency, const ChartList& charts, double A);
// The same score from a boundary length measured beforehand.
double cutScoreFromLength(double efficiency, double boundaryLength, double A);

// The horizontal or vertical candidate of an empty space. Ends the process with
// status 23 when the optimised lines come out in the wrong order.
CutCandidate candidateFromSpace(const EmptySpace& space, bool horizontal,
                                const std::vector<const Chart*>& charts, const UVBox& box);

// Tries candidates 0 .. count-1 in order: trial(k, score) returns true with the
// candidate's score when it is feasible. Prints "Found feasible configuration
// with score " for each feasible one and returns the index of the highest
// score (the earliest among equal scores), or NoCandidate.
constexpr size_t NoCandidate = static_cast<size_t>(-1);
size_t chooseBestCandidate(size_t count, const std::function<bool(size_t, double&)>& trial);

// Cuts chart chartIndex of the list along the candidate. False (lists
// unchanged) when the cut leaves the chart count unchanged.
bool applyLocalCut(ChartList& charts, const CutCandidate& candidate, int32_t chartIndex,
                   iuv::DoubleVector& sharedPositions, iuv::DoubleVector& vertexColors);

// Cuts every chart along the candidate. False (lists unchanged) when exactly
// one chart results.
bool applyGlobalCut(ChartList& charts, const CutCandidate& candidate,
                    iuv::DoubleVector& sharedPositions, iuv::DoubleVector& vertexColors);
