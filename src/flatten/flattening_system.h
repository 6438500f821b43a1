#pragma once

// The constrained angle problem behind angle-based flattening: unknown corner
// angles, triangle / planarity / reconstruction constraints, the Lagrangian's
// gradient and one Newton step through the Schur complement.

#include "model/iuv_vector.h"
#include "topology/halfedge.h"

#include <Eigen/SparseCore>
#include <Eigen/OrderingMethods>
#include <Eigen/SparseLU>

#include <cstdint>
#include <vector>

namespace anglesystem {

// The truncated constants the constraints and the step check use.
constexpr double PiPrime = 3.141592653;
constexpr double TwoPiPrime = 6.283185306;

// Weight growth of a corner whose step would leave 0..PiPrime.
constexpr double WeightGrowth = 1.33;

// Connectivity of the constraints. Corner 3t + k is corner k of triangle t.
struct AngleSystem {
    size_t numTriangles = 0;
    size_t numVertices = 0;
    size_t numPlanarity = 0; // nP
    size_t numInterior = 0;  // nI

    std::vector<uint32_t> interiorIndex;  // per vertex, InvalidIndex on the boundary
    std::vector<uint32_t> planarityIndex; // per vertex, InvalidIndex without planarity constraint

    // Corners at each interior vertex (interior order), compressed rows:
    // entries fanStart[i] .. fanStart[i + 1] - 1 of fanCorners are the corners
    // at the vertex; for corner c there, the triangle's other corners are
    // a = nextCorner(c) and b = nextCorner(a).
    std::vector<uint32_t> fanStart;
    std::vector<uint32_t> fanCorners;

    // Interior vertex of each interior index (vertex order).
    std::vector<uint32_t> interiorVertices;

    size_t numCorners() const { return 3 * numTriangles; }
    size_t numConstraints() const { return numTriangles + numPlanarity + numInterior; }
    size_t planarityRow(size_t p) const { return numTriangles + p; }
    size_t reconstructionRow(size_t i) const { return numTriangles + numPlanarity + i; }
};

// Builds the constraint connectivity. A vertex is interior when its outgoing
// halfedge lies in a triangle and the triangles around it form one closed fan
// holding all its corners; any other vertex carries no constraint.
// exemptVertices (may be null) lists interior vertices without planarity
// constraint; numbers outside the vertex range are ignored.
AngleSystem buildAngleSystem(const iuv::UIntVector& triIndices, const HalfedgeMesh& mesh,
                             const std::vector<uint32_t>* exemptVertices);

// The unknowns and the energy's data, all per corner except lambda.
struct AngleState {
    std::vector<double> alpha;  // current angles
    std::vector<double> beta;   // target angles
    std::vector<double> weight; // deviation weights
    std::vector<double> lambda; // one multiplier per constraint
};

// Initial state from the 3D corner angles: alpha = beta = the angles (kept
// inside [MinAngle, PiPrime - MinAngle] so that degenerate triangles stay
// finite), weight = 1 / alpha^2, beta scaled to 2 PiPrime around every
// planarity-constrained vertex, lambda = 0.
constexpr double MinAngle = 1e-6;
AngleState initialAngleState(const AngleSystem& system, const std::vector<double>& angles3D);

// Everything the iteration needs at the current state.
struct AngleEvaluation {
    Eigen::SparseMatrix<double> jacobian; // nC x nA
    Eigen::VectorXd constraints;          // Phi, nC
    Eigen::VectorXd gradAlpha;            // dF/dalpha, nA
    double gradientNorm = 0.0;            // |(dF/dalpha, Phi)|
    double energyAngles = 0.0;            // E
    double energyTriangles = 0.0;         // sum of lambda * Phi per constraint kind
    double energyPlanarity = 0.0;
    double energyReconstruction = 0.0;

    double energy() const { return energyAngles + energyTriangles + energyPlanarity + energyReconstruction; }
};

void evaluateAngleSystem(const AngleSystem& system, const AngleState& state, AngleEvaluation& out);

enum class StepOutcome {
    Taken,    // alpha and lambda moved
    Rejected, // some angle would have left 0..PiPrime: only weights grew
    Failed    // the linear solve gave no usable step; nothing changed
};

// Solves the Schur complement system with a sparse LU factorisation. The
// fill-reducing ordering is an approximate minimum-degree ordering of the
// (symmetric) Schur complement, applied as a symmetric permutation before the
// factorisation; it gives about half the fill of a column ordering of the
// unsymmetric view. Ordering and symbolic analysis are computed once and
// reused, since the sparsity pattern does not change between iterations.
class NewtonSolver {
public:
    // Computes (dalpha, dlambda) at the evaluated state. Prints
    // "Factorization unsuccessful" / "Solving unsuccessful" on failure.
    // Returns false when no finite step came out.
    bool solve(const AngleSystem& system, const AngleState& state, const AngleEvaluation& eval,
               Eigen::VectorXd& deltaAlpha, Eigen::VectorXd& deltaLambda);

private:
    Eigen::SparseLU<Eigen::SparseMatrix<double>, Eigen::NaturalOrdering<int>> lu_;
    Eigen::PermutationMatrix<Eigen::Dynamic, Eigen::Dynamic, int> ordering_;
    bool analysed_ = false;
    Eigen::Index analysedNonZeros_ = 0;
};

// Step check and update: a corner whose new angle would not lie strictly
// inside (0, PiPrime) has its weight multiplied by WeightGrowth and the step
// is rejected; otherwise alpha and lambda take the step.
StepOutcome applyStep(AngleState& state, const Eigen::VectorXd& deltaAlpha, const Eigen::VectorXd& deltaLambda);

} // namespace anglesystem
