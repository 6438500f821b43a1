// Angle-based flattening: Newton iteration on the corner angles, then the
// layout from the solved angles.
#include "flatten/flattening.h"
#include "flatten/flattening_system.h"
#include "topology/halfedge.h"

#include <cmath>
#include <ctime>
#include <iostream>

namespace {

constexpr double GradientTolerance = 0.0001;
constexpr int MaxIterations = 20;
const char* const Separator = "---------------------------------------";

double secondsSince(std::clock_t start)
{
    return static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
}

bool allFinite(const std::vector<double>& values)
{
    for (double v : values) {
        if (!std::isfinite(v))
            return false;
    }
    return true;
}

// Solves for the angles; returns the number of iterations run.
int solveAngles(const anglesystem::AngleSystem& system, anglesystem::AngleState& state,
                anglesystem::AngleEvaluation& eval)
{
    using namespace anglesystem;
    NewtonSolver solver;
    Eigen::VectorXd deltaAlpha;
    Eigen::VectorXd deltaLambda;
    evaluateAngleSystem(system, state, eval);
    int iterations = 0;
    while (eval.gradientNorm > GradientTolerance && iterations < MaxIterations) {
        std::cout << Separator << std::endl;
        std::cout << "Gradient magnitude: " << eval.gradientNorm << std::endl;
        std::cout << "Energy:             " << eval.energy() << std::endl;
        std::cout << "Energy (angles):    " << eval.energyAngles << std::endl;

        const bool solved = solver.solve(system, state, eval, deltaAlpha, deltaLambda);
        ++iterations;
        // Without a usable step nothing changes, and the next iteration would
        // fail the same way.
        if (!solved)
            break;
        applyStep(state, deltaAlpha, deltaLambda);
        evaluateAngleSystem(system, state, eval);
    }
    return iterations;
}

} // namespace

FlatteningReport runAngleFlattening(Chart& chart, const iuv::DoubleVector& sharedPositions,
                                    const std::vector<uint32_t>* exemptVertices)
{
    using namespace anglesystem;
    FlatteningReport report;
    const std::clock_t start = std::clock();
    const iuv::UIntVector& triIndices = chart.triIndicesPos;
    if (triIndices.size() < 3)
        return report;
    const size_t numVertices = sharedPositions.size() / 3;

    for (uint32_t v : triIndices) {
        if (v >= numVertices) {
            std::cout << "Cannot flatten: a triangle refers to a vertex that does not exist." << std::endl;
            return report;
        }
    }
    HalfedgeMesh mesh;
    if (buildHalfedgeMesh(triIndices, numVertices, mesh)) {
        std::cout << "Cannot flatten: the mesh has an edge shared by more than two triangles or an unused vertex."
                  << std::endl;
        return report;
    }
    const std::vector<double> angles3D = cornerAngles(triIndices, sharedPositions);
    if (!allFinite(angles3D)) {
        std::cout << "Cannot flatten: the mesh has coordinates that are not finite." << std::endl;
        return report;
    }

    const AngleSystem system = buildAngleSystem(triIndices, mesh, exemptVertices);
    AngleState state = initialAngleState(system, angles3D);
    AngleEvaluation eval;
    report.iterations = solveAngles(system, state, eval);
    report.finalGradient = eval.gradientNorm;

    std::cout << Separator << std::endl;
    std::cout << "Done after " << report.iterations << " iterations" << std::endl;
    std::cout << "Final gradient magnitude: " << eval.gradientNorm << std::endl;
    std::cout << "Final energy:             " << eval.energy() << std::endl;
    std::cout << "Final energy (angles):            " << eval.energyAngles << std::endl;
    std::cout << "Final energy (tri c.):            " << eval.energyTriangles << std::endl;
    std::cout << "Final energy (planarity c.):      " << eval.energyPlanarity << std::endl;
    std::cout << "Final energy (reconstruction c.): " << eval.energyReconstruction << std::endl;
    report.newtonSeconds = secondsSince(start);

    const std::clock_t layoutStart = std::clock();
    if (chart.uvCoords2D.size() != 2 * numVertices)
        chart.uvCoords2D.assign(2 * numVertices, 0.0);
    if (!reconstructUVsFromAngles(triIndices, state.alpha, chart.uvCoords2D)) {
        report.layoutSeconds = secondsSince(layoutStart);
        return report;
    }
    report.flattened = true;

    iuv::DoubleVector flat(3 * numVertices, 0.0);
    for (size_t v = 0; v < numVertices; ++v) {
        flat[3 * v] = chart.uvCoords2D[2 * v];
        flat[3 * v + 1] = chart.uvCoords2D[2 * v + 1];
    }
    const std::vector<double> layoutAngles = cornerAngles(triIndices, flat);
    double squares = 0.0;
    double largest = 0.0;
    for (size_t c = 0; c < layoutAngles.size(); ++c) {
        const double d = layoutAngles[c] - state.alpha[c];
        squares += d * d;
        largest = std::max(largest, std::fabs(d));
    }
    report.solutionError = std::sqrt(squares);
    report.largestError = largest;
    std::cout << "Solution error:          " << report.solutionError << std::endl;
    std::cout << "Largest error (radians): " << report.largestError << std::endl;
    report.layoutSeconds = secondsSince(layoutStart);
    return report;
}

