#pragma once

#include "meshgen/meshgen.h"
#include "model/chart.h"
#include "topology/halfedge.h"
#include "topology/overlap.h"
#include "topology/chart_pieces.h"

#include <map>
#include <set>
#include <sstream>
#include <string>

// What is wrong with a generated mesh as input of the program, checked with
// the program's own connectivity and overlap tests ("" when nothing is).
// A textured mesh must be one counter-clockwise UV chart whose boundary
// crosses itself exactly when overlapsExpected.
inline std::string inputProblems(const meshgen::MeshData& mesh, bool overlapsExpected = false)
{
    std::ostringstream p;
    const Model model = meshgen::toModel(mesh);
    if (model.charts.size() != 1)
        return "not one chart";
    const Chart& c = model.charts[0];
    const size_t nV = model.numVertices();
    for (uint32_t k : c.triIndicesPos) {
        if (k >= nV)
            return "3D index out of range";
    }
    HalfedgeMesh joined;
    if (buildHalfedgeMesh(c.triIndicesPos, nV, joined))
        p << "3D mesh has an edge of three triangles or an unused vertex; ";
    else if (!joined.isManifold)
        p << "3D mesh has a pinched vertex; ";
    std::set<std::pair<uint32_t, uint32_t>> directed;
    for (size_t t = 0; t < c.numTriangles(); ++t) {
        const uint32_t* v = &c.triIndicesPos[3 * t];
        for (int k = 0; k < 3; ++k) {
            if (!directed.insert({v[k], v[(k + 1) % 3]}).second)
                p << "inconsistent 3D orientation at triangle " << t << "; ";
        }
        Chart one;
        one.triIndicesPos = {v[0], v[1], v[2]};
        if (v[0] == v[1] || v[1] == v[2] || v[0] == v[2] || !(chartArea(one, model.sharedPositions, false) > 1e-12))
            p << "degenerate triangle " << t << "; ";
    }
    for (uint32_t cone : model.coneSingularities) {
        if (cone >= nV)
            p << "cone out of range; ";
    }
    if (!model.vertexColors.empty() && model.vertexColors.size() != 3 * nV)
        p << "colour count; ";
    if (c.triIndicesUV.empty())
        return p.str();

    if (!chartIndicesValid(c))
        return p.str() + "UV indices invalid";
    HalfedgeMesh uv;
    if (buildHalfedgeMesh(c.triIndicesUV, c.numUVVertices(), uv))
        p << "UV mesh broken or has an unused UV vertex; ";
    std::map<uint32_t, uint32_t> uvTo3D;
    for (size_t i = 0; i < c.triIndicesUV.size(); ++i) {
        const auto entry = uvTo3D.emplace(c.triIndicesUV[i], c.triIndicesPos[i]).first;
        if (entry->second != c.triIndicesPos[i])
            p << "UV vertex stands for two 3D vertices; ";
    }
    for (size_t t = 0; t < c.numTriangles(); ++t) {
        if (!(uvTriangleCross(c, t) > 0.0))
            p << "UV triangle " << t << " not counter-clockwise; ";
    }
    ChartList pieces;
    splitIntoUVComponents(c, pieces);
    if (pieces.size() != 1)
        p << pieces.size() << " UV components; ";
    if (hasUVOverlaps(c) != overlapsExpected)
        p << (overlapsExpected ? "no UV overlap; " : "UV boundary crosses itself; ");
    return p.str();
}
