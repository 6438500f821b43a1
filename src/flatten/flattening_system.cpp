#include "flatten/flattening_system.h"

#include <algorithm>
#include <cmath>
#include <iostream>

namespace anglesystem {

namespace {

// Corners grouped by the vertex they sit at (compressed rows).
void groupCornersByVertex(const iuv::UIntVector& triIndices, size_t numVertices, std::vector<uint32_t>& start,
                          std::vector<uint32_t>& corners)
{
    start.assign(numVertices + 1, 0);
    for (uint32_t v : triIndices) {
        if (v < numVertices)
            ++start[v + 1];
    }
    for (size_t v = 0; v < numVertices; ++v)
        start[v + 1] += start[v];
    corners.assign(start[numVertices], 0);
    std::vector<uint32_t> fill(start.begin(), start.end() - 1);
    for (size_t c = 0; c < triIndices.size(); ++c) {
        const uint32_t v = triIndices[c];
        if (v < numVertices)
            corners[fill[v]++] = static_cast<uint32_t>(c);
    }
}

// True when the outgoing halfedges of v, rotated from its vertexHalfedge, form
// one closed fan of exactly cornerCount triangles. Bounded, so a corrupt or
// inconsistently oriented structure cannot make it loop forever.
bool isClosedSingleFan(const HalfedgeMesh& mesh, uint32_t v, size_t cornerCount)
{
    const size_t numHalfedges = mesh.halfedges.size();
    const uint32_t h0 = mesh.vertexHalfedge[v];
    if (h0 >= numHalfedges || mesh.isBoundary(h0))
        return false;
    uint32_t h = h0;
    size_t count = 0;
    do {
        ++count;
        if (count > cornerCount)
            return false;
        const uint32_t incoming = twin(h);
        if (incoming >= numHalfedges || mesh.isBoundary(incoming))
            return false;
        h = mesh.halfedges[incoming].next;
        if (h >= numHalfedges || mesh.isBoundary(h))
            return false;
    } while (h != h0);
    return count == cornerCount;
}

} // namespace

AngleSystem buildAngleSystem(const iuv::UIntVector& triIndices, const HalfedgeMesh& mesh,
                             const std::vector<uint32_t>* exemptVertices)
{
    AngleSystem sys;
    sys.numTriangles = triIndices.size() / 3;
    sys.numVertices = mesh.vertexHalfedge.size();
    const size_t nV = sys.numVertices;

    std::vector<uint32_t> cornerStart;
    std::vector<uint32_t> cornersAt;
    groupCornersByVertex(triIndices, nV, cornerStart, cornersAt);

    std::vector<bool> exempt(nV, false);
    if (exemptVertices) {
        for (uint32_t v : *exemptVertices) {
            if (v < nV)
                exempt[v] = true;
        }
    }

    sys.interiorIndex.assign(nV, InvalidIndex);
    sys.planarityIndex.assign(nV, InvalidIndex);
    sys.fanStart.push_back(0);
    for (uint32_t v = 0; v < nV; ++v) {
        const size_t count = cornerStart[v + 1] - cornerStart[v];
        if (count == 0 || !isClosedSingleFan(mesh, v, count))
            continue;
        sys.interiorIndex[v] = static_cast<uint32_t>(sys.numInterior++);
        sys.interiorVertices.push_back(v);
        sys.fanCorners.insert(sys.fanCorners.end(), cornersAt.begin() + cornerStart[v],
                              cornersAt.begin() + cornerStart[v + 1]);
        sys.fanStart.push_back(static_cast<uint32_t>(sys.fanCorners.size()));
    }
    for (uint32_t v : sys.interiorVertices) {
        if (!exempt[v])
            sys.planarityIndex[v] = static_cast<uint32_t>(sys.numPlanarity++);
    }
    return sys;
}

AngleState initialAngleState(const AngleSystem& system, const std::vector<double>& angles3D)
{
    AngleState state;
    const size_t nA = system.numCorners();
    state.alpha.resize(nA);
    state.weight.resize(nA);
    for (size_t c = 0; c < nA; ++c) {
        const double a = std::min(std::max(angles3D[c], MinAngle), PiPrime - MinAngle);
        state.alpha[c] = a;
        state.weight[c] = 1.0 / (a * a);
    }
    state.beta = state.alpha;
    for (size_t i = 0; i < system.numInterior; ++i) {
        if (system.planarityIndex[system.interiorVertices[i]] == InvalidIndex)
            continue;
        double sum = 0.0;
        for (uint32_t k = system.fanStart[i]; k < system.fanStart[i + 1]; ++k)
            sum += state.alpha[system.fanCorners[k]];
        const double scale = TwoPiPrime / sum;
        for (uint32_t k = system.fanStart[i]; k < system.fanStart[i + 1]; ++k)
            state.beta[system.fanCorners[k]] *= scale;
    }
    state.lambda.assign(system.numConstraints(), 0.0);
    return state;
}

void evaluateAngleSystem(const AngleSystem& system, const AngleState& state, AngleEvaluation& out)
{
    const size_t nT = system.numTriangles;
    const size_t nA = system.numCorners();
    const size_t nC = system.numConstraints();
    const std::vector<double>& alpha = state.alpha;

    std::vector<Eigen::Triplet<double>> triplets;
    triplets.reserve(3 * nT + 3 * system.fanCorners.size());
    out.constraints.setZero(static_cast<Eigen::Index>(nC));

    for (size_t t = 0; t < nT; ++t) {
        double sum = 0.0;
        for (size_t k = 0; k < 3; ++k) {
            triplets.emplace_back(static_cast<int>(t), static_cast<int>(3 * t + k), 1.0);
            sum += alpha[3 * t + k];
        }
        out.constraints[static_cast<Eigen::Index>(t)] = sum - PiPrime;
    }

    std::vector<double> sinA, sinB, prefixA, prefixB;
    for (size_t i = 0; i < system.numInterior; ++i) {
        const uint32_t v = system.interiorVertices[i];
        const uint32_t begin = system.fanStart[i];
        const uint32_t end = system.fanStart[i + 1];
        const size_t deg = end - begin;

        const uint32_t p = system.planarityIndex[v];
        if (p != InvalidIndex) {
            const int row = static_cast<int>(system.planarityRow(p));
            double sum = 0.0;
            for (uint32_t k = begin; k < end; ++k) {
                triplets.emplace_back(row, static_cast<int>(system.fanCorners[k]), 1.0);
                sum += alpha[system.fanCorners[k]];
            }
            out.constraints[row] = sum - TwoPiPrime;
        }

        // Products of sines over the fan and, for each factor, the product of
        // all the others (prefix times suffix), so that the derivative needs
        // no division by a sine that may be tiny.
        sinA.resize(deg);
        sinB.resize(deg);
        for (size_t k = 0; k < deg; ++k) {
            const size_t a = nextCorner(system.fanCorners[begin + k]);
            const size_t b = nextCorner(a);
            sinA[k] = std::sin(alpha[a]);
            sinB[k] = std::sin(alpha[b]);
        }
        prefixA.assign(deg + 1, 1.0);
        prefixB.assign(deg + 1, 1.0);
        for (size_t k = 0; k < deg; ++k) {
            prefixA[k + 1] = prefixA[k] * sinA[k];
            prefixB[k + 1] = prefixB[k] * sinB[k];
        }
        const int row = static_cast<int>(system.reconstructionRow(i));
        out.constraints[row] = prefixB[deg] - prefixA[deg];
        double suffixA = 1.0;
        double suffixB = 1.0;
        for (size_t k = deg; k-- > 0;) {
            const size_t a = nextCorner(system.fanCorners[begin + k]);
            const size_t b = nextCorner(a);
            triplets.emplace_back(row, static_cast<int>(b), prefixB[k] * suffixB * std::cos(alpha[b]));
            triplets.emplace_back(row, static_cast<int>(a), -prefixA[k] * suffixA * std::cos(alpha[a]));
            suffixA *= sinA[k];
            suffixB *= sinB[k];
        }
    }

    out.jacobian.resize(static_cast<Eigen::Index>(nC), static_cast<Eigen::Index>(nA));
    out.jacobian.setFromTriplets(triplets.begin(), triplets.end());

    const Eigen::Map<const Eigen::VectorXd> lambda(state.lambda.data(), static_cast<Eigen::Index>(nC));
    out.gradAlpha = out.jacobian.transpose() * lambda;
    out.energyAngles = 0.0;
    for (size_t c = 0; c < nA; ++c) {
        const double d = alpha[c] - state.beta[c];
        out.gradAlpha[static_cast<Eigen::Index>(c)] += 2.0 * state.weight[c] * d;
        out.energyAngles += state.weight[c] * d * d;
    }

    const Eigen::Index nTi = static_cast<Eigen::Index>(nT);
    const Eigen::Index nPi = static_cast<Eigen::Index>(system.numPlanarity);
    const Eigen::Index nIi = static_cast<Eigen::Index>(system.numInterior);
    out.energyTriangles = lambda.head(nTi).dot(out.constraints.head(nTi));
    out.energyPlanarity = lambda.segment(nTi, nPi).dot(out.constraints.segment(nTi, nPi));
    out.energyReconstruction = lambda.tail(nIi).dot(out.constraints.tail(nIi));
    out.gradientNorm = std::sqrt(out.gradAlpha.squaredNorm() + out.constraints.squaredNorm());
}

bool NewtonSolver::solve(const AngleSystem& system, const AngleState& state, const AngleEvaluation& eval,
                         Eigen::VectorXd& deltaAlpha, Eigen::VectorXd& deltaLambda)
{
    const Eigen::Index nA = static_cast<Eigen::Index>(system.numCorners());
    Eigen::VectorXd invLambda(nA);
    for (Eigen::Index c = 0; c < nA; ++c)
        invLambda[c] = 1.0 / (2.0 * state.weight[static_cast<size_t>(c)]);

    const Eigen::SparseMatrix<double> scaledJ = eval.jacobian * invLambda.asDiagonal();
    const Eigen::SparseMatrix<double> schur = scaledJ * eval.jacobian.transpose();
    const Eigen::VectorXd rhs = scaledJ * (-eval.gradAlpha) + eval.constraints;

    if (!analysed_ || schur.nonZeros() != analysedNonZeros_) {
        Eigen::AMDOrdering<int> amd;
        amd(schur.selfadjointView<Eigen::Lower>(), ordering_);
    }
    Eigen::SparseMatrix<double> permuted;
    permuted = schur.twistedBy(ordering_.inverse());
    if (!analysed_ || schur.nonZeros() != analysedNonZeros_) {
        // The Schur complement is symmetric positive definite when the
        // constraints are independent, so diagonal pivots are safe; a relaxed
        // threshold keeps them unless they are tiny, and with them the fill
        // that the ordering planned.
        lu_.setPivotThreshold(0.1);
        lu_.analyzePattern(permuted);
        analysed_ = true;
        analysedNonZeros_ = schur.nonZeros();
    }
    lu_.factorize(permuted);
    if (lu_.info() != Eigen::Success) {
        std::cout << "Factorization unsuccessful" << std::endl;
        return false;
    }
    const Eigen::VectorXd permutedRhs = ordering_.inverse() * rhs;
    const Eigen::VectorXd permutedDelta = lu_.solve(permutedRhs);
    if (lu_.info() != Eigen::Success)
        std::cout << "Solving unsuccessful" << std::endl;
    deltaLambda = ordering_ * permutedDelta;
    deltaAlpha = invLambda.cwiseProduct(-eval.gradAlpha - eval.jacobian.transpose() * deltaLambda);
    return deltaAlpha.allFinite() && deltaLambda.allFinite();
}

StepOutcome applyStep(AngleState& state, const Eigen::VectorXd& deltaAlpha, const Eigen::VectorXd& deltaLambda)
{
    bool rejected = false;
    for (size_t c = 0; c < state.alpha.size(); ++c) {
        const double next = state.alpha[c] + deltaAlpha[static_cast<Eigen::Index>(c)];
        if (!(next > 0.0 && next < PiPrime)) {
            state.weight[c] *= WeightGrowth;
            rejected = true;
        }
    }
    if (rejected)
        return StepOutcome::Rejected;
    for (size_t c = 0; c < state.alpha.size(); ++c)
        state.alpha[c] += deltaAlpha[static_cast<Eigen::Index>(c)];
    for (size_t k = 0; k < state.lambda.size(); ++k)
        state.lambda[k] += deltaLambda[static_cast<Eigen::Index>(k)];
    return StepOutcome::Taken;
}

} // namespace anglesystem
