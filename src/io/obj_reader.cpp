#include "io/obj_reader.h"

#include "base/file_input.h"
#include "geometry/polygon_triangulation.h"
#include "io/obj_statements.h"

#include <algorithm>
#include <iostream>
#include <limits>
#include <unordered_set>

namespace {

const uint32_t kUnused = std::numeric_limits<uint32_t>::max();

void refuse(const ObjProblem& problem, std::string* refusal)
{
    std::cout << problem.reason << std::endl;
    if (!problem.detail.empty())
        std::cout << problem.detail << std::endl;
    std::cout << "Failed to load/parse .obj." << std::endl;
    if (refusal)
        *refusal = problem.detail.empty() ? problem.reason : problem.reason + "\n" + problem.detail;
}

// Corner positions of a polygon, x, y, z per corner.
std::vector<double> polygonCorners(const ObjStatements& s, const ObjFace& face)
{
    std::vector<double> corners;
    corners.reserve(3 * face.cornerCount);
    for (size_t k = 0; k < face.cornerCount; ++k) {
        const size_t v = s.vertexOfCorner[face.firstCorner + k];
        corners.insert(corners.end(), s.positions.begin() + static_cast<long>(3 * v),
                       s.positions.begin() + static_cast<long>(3 * v + 3));
    }
    return corners;
}

// The corners of every triangle of every shape, in face order: a triangle is
// taken as it stands, a polygon is cut by ear clipping. False when a polygon
// names a vertex twice (it has no triangulation of its own corners).
bool triangulateFaces(const ObjStatements& s, std::vector<std::vector<size_t>>& cornersOfShape, ObjProblem& problem)
{
    cornersOfShape.assign(s.shapeCount, {});
    std::unordered_set<uint32_t> seen;
    for (const ObjFace& face : s.faces) {
        std::vector<size_t>& out = cornersOfShape[face.shape];
        if (face.cornerCount == 3) {
            for (size_t k = 0; k < 3; ++k)
                out.push_back(face.firstCorner + k);
            continue;
        }
        seen.clear();
        for (size_t k = 0; k < face.cornerCount; ++k) {
            const uint32_t v = s.vertexOfCorner[face.firstCorner + k];
            if (!seen.insert(v).second) {
                problem.reason = "The file holds a face whose corners repeat a vertex.";
                problem.detail = "Line " + std::to_string(face.line) + ": vertex " + std::to_string(v + 1ull) +
                                 " is a corner more than once.";
                return false;
            }
        }
        for (uint32_t k : triangulatePolygon(polygonCorners(s, face)))
            out.push_back(face.firstCorner + k);
    }
    return true;
}

// One chart from a shape's triangle corners; texture coordinates renumbered
// compactly in the order of their file index. Returns true when untextured.
bool buildChart(const ObjStatements& s, const std::vector<size_t>& corners, Chart& chart,
                std::vector<uint32_t>& renumbered)
{
    chart.triIndicesPos.reserve(corners.size());
    for (size_t c : corners)
        chart.triIndicesPos.push_back(s.vertexOfCorner[c]);
    if (s.texcoordOfCorner.empty())
        return true;

    std::vector<uint32_t> used;
    for (size_t c : corners) {
        const uint32_t t = s.texcoordOfCorner[c];
        if (renumbered[t] == kUnused) {
            renumbered[t] = 0;
            used.push_back(t);
        }
    }
    std::sort(used.begin(), used.end());
    chart.uvCoords2D.reserve(2 * used.size());
    for (size_t i = 0; i < used.size(); ++i) {
        renumbered[used[i]] = static_cast<uint32_t>(i);
        chart.uvCoords2D.push_back(s.texcoords[2 * size_t(used[i])]);
        chart.uvCoords2D.push_back(s.texcoords[2 * size_t(used[i]) + 1]);
    }
    chart.triIndicesUV.reserve(corners.size());
    for (size_t c : corners)
        chart.triIndicesUV.push_back(renumbered[s.texcoordOfCorner[c]]);
    for (uint32_t t : used)
        renumbered[t] = kUnused;
    return false;
}

iuv::UIntVector conesInRange(const ObjStatements& s)
{
    const size_t vertexCount = s.positions.size() / 3;
    iuv::UIntVector cones;
    for (const ObjConeLine& cone : s.cones) {
        if (cone.number < 1 || static_cast<unsigned long long>(cone.number) > vertexCount) {
            std::cout << "Ignoring cone singularity on line " << cone.line << ": vertex number " << cone.number
                      << " is out of range." << std::endl;
            continue;
        }
        cones.push_back(static_cast<uint32_t>(cone.number - 1));
    }
    return cones;
}

} // namespace

bool loadOBJ(const std::string& filename, ChartList& charts, iuv::DoubleVector& sharedPositions,
             iuv::DoubleVector& vertexColors, iuv::UIntVector* coneSingularities, std::string* refusal)
{
    charts.clear();
    sharedPositions.clear();
    vertexColors.clear();
    if (coneSingularities)
        coneSingularities->clear();

    std::string text;
    std::string why;
    if (!readRegularFile(filename, text, why)) {
        refuse({"Cannot open " + filename + ": " + why + ".", std::string()}, refusal);
        return false;
    }
    ObjStatements statements;
    ObjProblem problem;
    if (!readObjStatements(text, statements, problem)) {
        refuse(problem, refusal);
        return false;
    }
    text = std::string();
    std::vector<std::vector<size_t>> cornersOfShape;
    if (!triangulateFaces(statements, cornersOfShape, problem)) {
        refuse(problem, refusal);
        return false;
    }
    if (statements.shortFaces > 0) {
        std::cout << "Skipped " << statements.shortFaces
                  << (statements.shortFaces == 1 ? " face" : " faces")
                  << " with fewer than three corners (the first on line " << statements.firstShortFaceLine
                  << ")." << std::endl;
    }
    std::cout << "Successfully loaded." << std::endl;

    std::vector<uint32_t> renumbered(statements.texcoords.size() / 2, kUnused);
    size_t untextured = 0;
    charts.reserve(statements.shapeCount);
    for (const std::vector<size_t>& corners : cornersOfShape) {
        charts.emplace_back();
        if (buildChart(statements, corners, charts.back(), renumbered))
            ++untextured;
    }
    sharedPositions.assign(statements.positions.begin(), statements.positions.end());
    vertexColors.assign(statements.colors.begin(), statements.colors.end());
    std::cout << "Read " << charts.size() << " parts, including " << untextured << " untextured ones."
              << std::endl;
    const iuv::UIntVector cones = conesInRange(statements);
    if (coneSingularities)
        *coneSingularities = cones;
    return true;
}

bool hasDegenerateTriangle(const Chart& chart, const iuv::DoubleVector& positions)
{
    const size_t nT = chart.numTriangles();
    for (size_t t = 0; t < nT; ++t) {
        const uint32_t a = chart.triIndicesPos[3 * t], b = chart.triIndicesPos[3 * t + 1],
                       c = chart.triIndicesPos[3 * t + 2];
        if (a == b || b == c || a == c)
            return true;
        const double* pa = positions.data() + 3 * size_t(a);
        const double* pb = positions.data() + 3 * size_t(b);
        const double* pc = positions.data() + 3 * size_t(c);
        const double e1[3] = {pb[0] - pa[0], pb[1] - pa[1], pb[2] - pa[2]};
        const double e2[3] = {pc[0] - pa[0], pc[1] - pa[1], pc[2] - pa[2]};
        const double e3[3] = {pc[0] - pb[0], pc[1] - pb[1], pc[2] - pb[2]};
        const double cx = e1[1] * e2[2] - e1[2] * e2[1];
        const double cy = e1[2] * e2[0] - e1[0] * e2[2];
        const double cz = e1[0] * e2[1] - e1[1] * e2[0];
        const double cross2 = cx * cx + cy * cy + cz * cz;
        const double l1 = e1[0] * e1[0] + e1[1] * e1[1] + e1[2] * e1[2];
        const double l2 = e2[0] * e2[0] + e2[1] * e2[1] + e2[2] * e2[2];
        const double l3 = e3[0] * e3[0] + e3[1] * e3[1] + e3[2] * e3[2];
        const double longest2 = std::max(l1, std::max(l2, l3));
        // |cross| is twice the area; compare it with the squared longest edge.
        if (!(cross2 > 1e-24 * longest2 * longest2))
            return true;
    }
    return false;
}

