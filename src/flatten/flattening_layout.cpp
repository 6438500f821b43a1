// Corner angles of a triangle list and the least-squares layout of triangles
// from their angles.
#include "flatten/flattening.h"
#include "flatten/flattening_system.h"

#include <Eigen/SparseCholesky>
#include <Eigen/SparseCore>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <limits>

namespace {

struct Vec3 {
    double x, y, z;
};

// Unit vector of d, scaled first by its largest component so that neither
// huge nor tiny coordinates overflow or underflow. False for a zero or
// non-finite vector.
bool unitVector(Vec3 d, Vec3& out)
{
    const double m = std::max(std::fabs(d.x), std::max(std::fabs(d.y), std::fabs(d.z)));
    if (!(m > 0.0) || !std::isfinite(m))
        return false;
    d = {d.x / m, d.y / m, d.z / m};
    const double len = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
    out = {d.x / len, d.y / len, d.z / len};
    return true;
}

} // namespace

std::vector<double> cornerAngles(const iuv::UIntVector& triIndices, const iuv::DoubleVector& coordinates)
{
    const size_t numCorners = triIndices.size() / 3 * 3;
    const size_t numVertices = coordinates.size() / 3;
    std::vector<double> angles(numCorners, std::numeric_limits<double>::quiet_NaN());
    auto point = [&](uint32_t v) { return Vec3{coordinates[3 * v], coordinates[3 * v + 1], coordinates[3 * v + 2]}; };

    for (size_t c = 0; c < numCorners; ++c) {
        const uint32_t i0 = triIndices[c];
        const uint32_t i1 = triIndices[nextCorner(c)];
        const uint32_t i2 = triIndices[prevCorner(c)];
        if (i0 >= numVertices || i1 >= numVertices || i2 >= numVertices)
            continue; // no such vertex: the angle stays NaN
        const Vec3 p = point(i0);
        const Vec3 q = point(i1);
        const Vec3 r = point(i2);
        if (!std::isfinite(p.x + p.y + p.z + q.x + q.y + q.z + r.x + r.y + r.z))
            continue;
        Vec3 e1, e2;
        const bool has1 = unitVector({q.x - p.x, q.y - p.y, q.z - p.z}, e1);
        const bool has2 = unitVector({r.x - p.x, r.y - p.y, r.z - p.z}, e2);
        if (has1 && has2) {
            const double dot = e1.x * e2.x + e1.y * e2.y + e1.z * e2.z;
            angles[c] = std::acos(std::min(1.0, std::max(-1.0, dot)));
        } else if (has1 || has2) {
            // Two coincident corners of a sliver: the limit of a thin
            // isosceles triangle, so that the three angles still sum to pi.
            angles[c] = 0.5 * M_PI;
        } else {
            angles[c] = M_PI / 3.0; // all three corners coincide
        }
    }
    return angles;
}

bool reconstructUVsFromAngles(const iuv::UIntVector& triIndices, const std::vector<double>& angles,
                              iuv::DoubleVector& uvCoords2D)
{
    if (triIndices.empty())
        return true;

    auto fail = []() {
        std::cout << "Unable to reconstruct angles." << std::endl;
        return false;
    };

    const size_t nT = triIndices.size() / 3;
    const size_t nV = uvCoords2D.size() / 2;
    if (nV < 3 || angles.size() < 3 * nT)
        return fail();
    // Every vertex must be used: an unused one leaves its coordinates free, or,
    // when pinned, lets the triangles collapse onto the other pinned vertex.
    std::vector<bool> used(nV, false);
    for (size_t c = 0; c < 3 * nT; ++c) {
        if (triIndices[c] >= nV || !std::isfinite(angles[c]))
            return fail();
        used[triIndices[c]] = true;
    }
    if (std::find(used.begin(), used.end(), false) != used.end())
        return fail();

    // Unknowns: u of vertex i at 2i, v at 2i + 1; the last two vertices are
    // pinned and their coordinates move to the right-hand side.
    const size_t numFree = 2 * nV - 4;
    const double pinned[4] = {0.0, 1.0, 0.0, 0.0}; // vertex nV - 2 at (0, 1), nV - 1 at (0, 0)

    std::vector<Eigen::Triplet<double>> triplets;
    triplets.reserve(10 * nT);
    Eigen::VectorXd rhs = Eigen::VectorXd::Zero(static_cast<Eigen::Index>(2 * nT));
    auto add = [&](size_t row, size_t coordinate, double value) {
        if (coordinate < numFree)
            triplets.emplace_back(static_cast<int>(row), static_cast<int>(coordinate), value);
        else
            rhs[static_cast<Eigen::Index>(row)] -= value * pinned[coordinate - numFree];
    };

    for (size_t t = 0; t < nT; ++t) {
        // Angles are kept off 0 and pi so that a degenerate triangle gives
        // large but finite coefficients instead of a division by zero.
        double a[3];
        for (size_t k = 0; k < 3; ++k)
            a[k] = std::min(std::max(angles[3 * t + k], anglesystem::MinAngle), M_PI - anglesystem::MinAngle);
        const double r = std::sin(a[1]) / std::sin(a[2]);
        const double c = std::cos(a[0]);
        const double s = std::sin(a[0]);
        const size_t u0 = 2 * triIndices[3 * t], v0 = u0 + 1;
        const size_t u1 = 2 * triIndices[3 * t + 1], v1 = u1 + 1;
        const size_t u2 = 2 * triIndices[3 * t + 2], v2 = u2 + 1;
        const size_t row = 2 * t;

        add(row, u0, r * c - 1.0);
        add(row, v0, r * s);
        add(row, u1, -r * c);
        add(row, v1, -r * s);
        add(row, u2, 1.0);

        add(row + 1, u0, -r * s);
        add(row + 1, v0, r * c - 1.0);
        add(row + 1, u1, r * s);
        add(row + 1, v1, -r * c);
        add(row + 1, v2, 1.0);
    }

    Eigen::SparseMatrix<double> A(static_cast<Eigen::Index>(2 * nT), static_cast<Eigen::Index>(numFree));
    A.setFromTriplets(triplets.begin(), triplets.end());
    const Eigen::SparseMatrix<double> At = A.transpose();
    const Eigen::SparseMatrix<double> normal = At * A;
    const Eigen::VectorXd normalRhs = At * rhs;

    Eigen::SimplicialLDLT<Eigen::SparseMatrix<double>> ldlt;
    ldlt.compute(normal);
    if (ldlt.info() != Eigen::Success)
        return fail();
    const Eigen::VectorXd x = ldlt.solve(normalRhs);
    if (ldlt.info() != Eigen::Success || !x.allFinite())
        return fail();

    for (size_t k = 0; k < numFree; ++k)
        uvCoords2D[k] = x[static_cast<Eigen::Index>(k)];
    for (size_t k = 0; k < 4; ++k)
        uvCoords2D[numFree + k] = pinned[k];
    return true;
}
