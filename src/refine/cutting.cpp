#include "refine/cutting.h"

#include "base/console.h"
#include "topology/halfedge.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double QualityReferenceAngle = 1.0471975;
constexpr double QualityRangeAbove = 2.094395153;
constexpr uint32_t NoGroup = 0xFFFFFFFFu;

inline double coordOf(const iuv::DoubleVector& uv, size_t k, bool horizontal)
{
    return uv[2 * k + (horizontal ? 1 : 0)];
}

bool posIndicesValid(const Chart& chart, size_t numPositions)
{
    for (uint32_t k : chart.triIndicesPos)
        if (k >= numPositions)
            return false;
    return true;
}

std::array<double, 6> triangleUVs(const Chart& chart, size_t t)
{
    std::array<double, 6> p;
    for (int k = 0; k < 3; ++k) {
        const size_t i = chart.triIndicesUV[3 * t + k];
        p[2 * k] = chart.uvCoords2D[2 * i];
        p[2 * k + 1] = chart.uvCoords2D[2 * i + 1];
    }
    return p;
}

// Weight of P for the point where the line at c crosses the edge P -> Q.
inline double edgeWeight(double cp, double cq, double c) { return 1.0 - (c - cp) / (cq - cp); }

SplitKey makeKey(uint32_t p, uint32_t q, double w)
{
    if (p <= q)
        return SplitKey{p, q, w};
    return SplitKey{q, p, 1.0 - w};
}

uint32_t splitUVVertex(Chart& chart, SplitMap& map, uint32_t p, uint32_t q, double w)
{
    const SplitKey key = makeKey(p, q, w);
    auto it = map.find(key);
    if (it != map.end())
        return it->second;
    iuv::DoubleVector& uv = chart.uvCoords2D;
    const double u = w * uv[2 * p] + (1.0 - w) * uv[2 * q];
    const double v = w * uv[2 * p + 1] + (1.0 - w) * uv[2 * q + 1];
    const uint32_t index = static_cast<uint32_t>(uv.size() / 2);
    uv.push_back(u);
    uv.push_back(v);
    map.emplace(key, index);
    return index;
}

uint32_t splitPosVertex(iuv::DoubleVector& positions, iuv::DoubleVector& colors, SplitMap& map,
                        SplitEdgeRegistry& registry, uint32_t p, uint32_t q, double w)
{
    const SplitKey key = makeKey(p, q, w);
    auto it = map.find(key);
    if (it != map.end())
        return it->second;
    const uint32_t index = static_cast<uint32_t>(positions.size() / 3);
    double x[3];
    for (int j = 0; j < 3; ++j)
        x[j] = w * positions[3 * size_t(p) + j] + (1.0 - w) * positions[3 * size_t(q) + j];
    positions.insert(positions.end(), x, x + 3);
    if (!colors.empty()) {
        // Colours follow the positions vertex by vertex; a list that is too
        // short for an end vertex contributes black rather than reading past it.
        double col[3];
        for (int j = 0; j < 3; ++j) {
            const size_t ip = 3 * size_t(p) + j, iq = 3 * size_t(q) + j;
            const double cp = ip < colors.size() ? colors[ip] : 0.0;
            const double cq = iq < colors.size() ? colors[iq] : 0.0;
            col[j] = w * cp + (1.0 - w) * cq;
        }
        colors.resize(3 * size_t(index), 0.0);
        colors.insert(colors.end(), col, col + 3);
    }
    map.emplace(key, index);
    registry.add(key.first, key.second, index, key.weight);
    return index;
}

} // namespace

bool SplitKeyLess::operator()(const SplitKey& a, const SplitKey& b) const
{
    if (a.first != b.first)
        return a.first < b.first;
    if (a.second != b.second)
        return a.second < b.second;
    if (std::fabs(a.weight - b.weight) <= SplitWeightTolerance)
        return false;
    return a.weight < b.weight;
}

bool SplitEdgeRegistry::commonEdge(uint64_t x, uint64_t y, Origin& edge, double& wx,
                                   double& wy) const
{
    // weight of v on the edge, when v is one of its ends or a split of it
    auto weightOn = [this](uint64_t v, const Origin& e, double& w) {
        if (v == e.first) {
            w = 1.0;
            return true;
        }
        if (v == e.second) {
            w = 0.0;
            return true;
        }
        auto it = origins.find(v);
        if (it == origins.end() || it->second.first != e.first || it->second.second != e.second)
            return false;
        w = it->second.weight;
        return true;
    };
    auto ox = origins.find(x);
    if (ox != origins.end() && weightOn(y, ox->second, wy)) {
        edge = ox->second;
        wx = edge.weight;
        return true;
    }
    auto oy = origins.find(y);
    if (oy != origins.end() && weightOn(x, oy->second, wx)) {
        edge = oy->second;
        wy = edge.weight;
        return true;
    }
    edge = Origin{std::min(x, y), std::max(x, y), 0.0};
    wx = x < y ? 1.0 : 0.0;
    wy = 1.0 - wx;
    return x != y;
}

void SplitEdgeRegistry::markInvolved(uint64_t v)
{
    if (v >= involved.size())
        involved.resize(std::max<size_t>(v + 1, 2 * involved.size()), false);
    involved[v] = true;
}

void SplitEdgeRegistry::add(uint64_t a, uint64_t b, uint32_t vertex, double weightOfSmaller)
{
    Origin edge;
    double wa = 0.0, wb = 0.0;
    if (!commonEdge(a, b, edge, wa, wb)) {
        edge = Origin{std::min(a, b), std::max(a, b), 0.0};
        wa = a < b ? 1.0 : 0.0;
        wb = 1.0 - wa;
    }
    // the point is weightOfSmaller * (smaller end) + (1 - weightOfSmaller) * (larger end)
    const double wSmall = a < b ? wa : wb;
    const double wLarge = a < b ? wb : wa;
    const double w = (wSmall == 1.0 && wLarge == 0.0)
                         ? weightOfSmaller
                         : weightOfSmaller * wSmall + (1.0 - weightOfSmaller) * wLarge;
    origins[vertex] = Origin{edge.first, edge.second, w};
    markInvolved(edge.first);
    markInvolved(edge.second);
    markInvolved(vertex);
    std::vector<SplitPoint>& list = edges[std::make_pair(edge.first, edge.second)];
    const SplitPoint point{vertex, w};
    auto at = std::upper_bound(list.begin(), list.end(), point,
                               [](const SplitPoint& p, const SplitPoint& q) {
                                   return p.weight < q.weight;
                               });
    list.insert(at, point);
}

const std::vector<SplitPoint>* SplitEdgeRegistry::find(uint64_t a, uint64_t b) const
{
    auto it = edges.find(std::make_pair(std::min(a, b), std::max(a, b)));
    return it == edges.end() ? nullptr : &it->second;
}

bool SplitEdgeRegistry::pointsBetween(uint64_t x, uint64_t y, std::vector<Between>& out) const
{
    out.clear();
    if (x == y || !isInvolved(x) || !isInvolved(y))
        return false;
    Origin edge;
    double wx = 0.0, wy = 0.0;
    if (!commonEdge(x, y, edge, wx, wy))
        return false;
    const std::vector<SplitPoint>* list = find(edge.first, edge.second);
    if (!list || !(wx != wy))
        return false;
    const double lo = std::min(wx, wy), hi = std::max(wx, wy);
    for (const SplitPoint& p : *list) {
        if (!(p.weight > lo && p.weight < hi) || p.vertex == x || p.vertex == y)
            continue;
        // exact w and 1 - w when x and y are the ends of the original edge
        out.push_back(Between{p.vertex, (p.weight - wy) / (wx - wy), (wx - p.weight) / (wx - wy)});
    }
    // the list runs by ascending weight, that is from the larger end towards
    // the smaller one
    if (wx > wy)
        std::reverse(out.begin(), out.end());
    return !out.empty();
}

LineCrossing lineCrossesTriangle(const std::array<double, 6>& corners, double c, bool horizontal)
{
    LineCrossing result;
    const int axis = horizontal ? 1 : 0;
    double x[3];
    for (int k = 0; k < 3; ++k) {
        x[k] = corners[2 * k + axis];
        if (!std::isfinite(x[k]))
            return result; // a non-finite corner is never cut
    }
    for (int k = 0; k < 3; ++k) {
        result.onLine[k] = std::fabs(x[k] - c) <= CutOnLineTolerance;
        const double a = x[k], b = x[(k + 1) % 3];
        const double lo = std::min(a, b), hi = std::max(a, b);
        result.edgeCrossed[k] = lo < c - CutOnLineTolerance && hi > c + CutOnLineTolerance;
        result.crosses = result.crosses || result.edgeCrossed[k];
    }
    return result;
}

UVAdjacency buildUVAdjacency(const Chart& chart)
{
    UVAdjacency adj;
    const size_t n = chart.numUVVertices();
    adj.offsets.assign(n + 1, 0);
    if (!chartIndicesValid(chart)) {
        adj.valid = false;
        return adj;
    }
    const iuv::UIntVector& tri = chart.triIndicesUV;
    for (size_t i = 0; i < tri.size(); ++i) {
        // each corner contributes its edge in both directions
        ++adj.offsets[tri[i] + 1];
        ++adj.offsets[tri[nextCorner(i)] + 1];
    }
    for (size_t v = 0; v < n; ++v)
        adj.offsets[v + 1] += adj.offsets[v];
    adj.neighbours.resize(adj.offsets[n]);
    std::vector<uint32_t> fill(adj.offsets.begin(), adj.offsets.end() - 1);
    for (size_t i = 0; i < tri.size(); ++i) {
        const uint32_t a = tri[i], b = tri[nextCorner(i)];
        adj.neighbours[fill[a]++] = b;
        adj.neighbours[fill[b]++] = a;
    }
    return adj;
}

void markUncuttableTriangles(const Chart& chart, bool horizontal, double c, CutMask& mask,
                             double margin)
{
    markUncuttableTriangles(chart, buildUVAdjacency(chart), horizontal, c, mask, margin);
}

void markUncuttableTriangles(const Chart& chart, const UVAdjacency& adjacency, bool horizontal,
                             double c, CutMask& mask, double margin)
{
    const size_t nT = chart.triIndicesUV.size() / 3;
    mask.assign(nT, false);
    if (!adjacency.valid || adjacency.offsets.size() != chart.numUVVertices() + 1) {
        mask.assign(nT, true);
        return;
    }
    const size_t n = chart.numUVVertices();
    const iuv::DoubleVector& uv = chart.uvCoords2D;
    std::vector<uint32_t> group(n, NoGroup);
    std::vector<char> groupFar; // group has a vertex farther than margin from the line
    std::vector<uint32_t> stack;
    for (size_t start = 0; start < n; ++start) {
        if (group[start] != NoGroup)
            continue;
        const uint32_t id = static_cast<uint32_t>(groupFar.size());
        groupFar.push_back(0);
        group[start] = id;
        stack.push_back(static_cast<uint32_t>(start));
        while (!stack.empty()) {
            const uint32_t v = stack.back();
            stack.pop_back();
            const double cv = coordOf(uv, v, horizontal);
            if (std::fabs(cv - c) > margin)
                groupFar[id] = 1;
            const bool below = cv < c;
            for (uint32_t i = adjacency.offsets[v]; i < adjacency.offsets[v + 1]; ++i) {
                const uint32_t w = adjacency.neighbours[i];
                if (group[w] != NoGroup || (coordOf(uv, w, horizontal) < c) != below)
                    continue;
                group[w] = id;
                stack.push_back(w);
            }
        }
    }
    for (size_t t = 0; t < nT; ++t) {
        for (int k = 0; k < 3; ++k) {
            if (!groupFar[group[chart.triIndicesUV[3 * t + k]]]) {
                mask[t] = true;
                break;
            }
        }
    }
}

double triangleQuality(uint32_t a, uint32_t b, uint32_t c, const iuv::DoubleVector& uv)
{
    const double p[3][2] = {{uv[2 * size_t(a)], uv[2 * size_t(a) + 1]},
                            {uv[2 * size_t(b)], uv[2 * size_t(b) + 1]},
                            {uv[2 * size_t(c)], uv[2 * size_t(c) + 1]}};
    double angles[3];
    for (int k = 0; k < 3; ++k) {
        const double* o = p[k];
        const double* q = p[(k + 1) % 3];
        const double* r = p[(k + 2) % 3];
        double d1[2] = {q[0] - o[0], q[1] - o[1]};
        double d2[2] = {r[0] - o[0], r[1] - o[1]};
        const double l1 = std::hypot(d1[0], d1[1]), l2 = std::hypot(d2[0], d2[1]);
        if (!(l1 > 0.0) || !(l2 > 0.0) || !std::isfinite(l1) || !std::isfinite(l2))
            return std::numeric_limits<double>::infinity(); // degenerate: worst quality
        const double dot = (d1[0] * d2[0] + d1[1] * d2[1]) / (l1 * l2);
        angles[k] = std::acos(std::max(-1.0, std::min(1.0, dot)));
    }
    const double m = std::min({angles[0], angles[1], angles[2]});
    const double M = std::max({angles[0], angles[1], angles[2]});
    return std::max((QualityReferenceAngle - m) / QualityReferenceAngle,
                    (M - QualityReferenceAngle) / QualityRangeAbove);
}

void triangulatePolygon(std::vector<CutCorner>& polygon, std::vector<CutCorner>& extraTriangles,
                        const iuv::DoubleVector& uvCoords2D)
{
    if (polygon.size() != 4)
        return;
    const CutCorner p0 = polygon[0], p1 = polygon[1], p2 = polygon[2], p3 = polygon[3];
    const double q0 = triangleQuality(p0.uv, p1.uv, p2.uv, uvCoords2D);
    const double q1 = triangleQuality(p1.uv, p2.uv, p3.uv, uvCoords2D);
    if (q1 <= q0) {
        extraTriangles.insert(extraTriangles.end(), {p1, p2, p3});
        polygon = {p0, p1, p3};
    } else {
        extraTriangles.insert(extraTriangles.end(), {p0, p1, p2});
        polygon = {p0, p2, p3};
    }
}

void splitTriangle(size_t t, Chart& chart, bool horizontal, double c,
                   iuv::DoubleVector& sharedPositions, iuv::DoubleVector& vertexColors,
                   SplitMap& uvSplitMap, SplitMap& posSplitMap, SplitEdgeRegistry& registry)
{
    CutCorner corner[3];
    for (int k = 0; k < 3; ++k)
        corner[k] = CutCorner{chart.triIndicesUV[3 * t + k], chart.triIndicesPos[3 * t + k]};
    const std::array<double, 6> uvs = triangleUVs(chart, t);
    const LineCrossing crossing = lineCrossesTriangle(uvs, c, horizontal);
    if (!crossing.crosses)
        return;

    const int axis = horizontal ? 1 : 0;
    std::vector<CutCorner> ring;
    ring.reserve(6);
    size_t ringPos[3];
    std::vector<size_t> cutPoints;
    for (int k = 0; k < 3; ++k) {
        ringPos[k] = ring.size();
        ring.push_back(corner[k]);
        if (!crossing.edgeCrossed[k])
            continue;
        const int q = (k + 1) % 3;
        const double w = edgeWeight(uvs[2 * k + axis], uvs[2 * q + axis], c);
        const uint32_t uvNew = splitUVVertex(chart, uvSplitMap, corner[k].uv, corner[q].uv, w);
        const uint32_t posNew = splitPosVertex(sharedPositions, vertexColors, posSplitMap,
                                               registry, corner[k].pos, corner[q].pos, w);
        ring.push_back(CutCorner{uvNew, posNew});
        cutPoints.push_back(ring.size() - 1);
    }
    if (cutPoints.size() == 1) {
        for (int k = 0; k < 3; ++k)
            if (crossing.onLine[k])
                cutPoints.push_back(ringPos[k]);
    }
    if (cutPoints.size() != 2) {
        console() << "Cut through triangle would include an incorrect number of vertices - this is "
                     "unexpected."
                  << std::endl;
        return;
    }

    const size_t n = ring.size();
    const size_t c0 = cutPoints[0], c1 = cutPoints[1];
    std::vector<CutCorner> piece1{ring[c0], ring[c1]};
    for (size_t i = (c1 + 1) % n; i != c0; i = (i + 1) % n)
        piece1.push_back(ring[i]);
    std::vector<CutCorner> piece2{ring[c1], ring[c0]};
    for (size_t i = (c0 + 1) % n; i != c1; i = (i + 1) % n)
        piece2.push_back(ring[i]);

    std::vector<CutCorner> extra;
    triangulatePolygon(piece1, extra, chart.uvCoords2D);
    triangulatePolygon(piece2, extra, chart.uvCoords2D);
    if (piece1.size() != 3 || piece2.size() != 3)
        return; // cannot happen for a triangle cut by one line

    for (int k = 0; k < 3; ++k) {
        chart.triIndicesUV[3 * t + k] = piece1[k].uv;
        chart.triIndicesPos[3 * t + k] = piece1[k].pos;
    }
    for (const CutCorner& cc : piece2) {
        chart.triIndicesUV.push_back(cc.uv);
        chart.triIndicesPos.push_back(cc.pos);
    }
    for (const CutCorner& cc : extra) {
        chart.triIndicesUV.push_back(cc.uv);
        chart.triIndicesPos.push_back(cc.pos);
    }
    // every piece lies in the input triangle of the triangle it was cut from
    const uint32_t source = sourceOf(chart, t);
    chart.sourceTriangle.resize(chart.numTriangles() - (3 + extra.size()) / 3, UnknownSourceTriangle);
    chart.sourceTriangle.resize(chart.numTriangles(), source);
}

void cutAlongLine(Chart& chart, iuv::DoubleVector& sharedPositions,
                  iuv::DoubleVector& vertexColors, SplitEdgeRegistry& registry, bool horizontal,
                  double c, CutMask& mask, double margin)
{
    markUncuttableTriangles(chart, horizontal, c, mask, margin);
    if (!posIndicesValid(chart, sharedPositions.size() / 3)) {
        mask.assign(mask.size(), true);
        return;
    }
    SplitMap uvSplitMap;
    SplitMap posSplitMap;
    const size_t nT = chart.triIndicesUV.size() / 3;
    for (size_t t = 0; t < nT; ++t) {
        if (!mask[t])
            splitTriangle(t, chart, horizontal, c, sharedPositions, vertexColors, uvSplitMap,
                          posSplitMap, registry);
    }
}

double cutLength(const Chart& chart, double c, bool horizontal, double margin)
{
    return cutLength(chart, buildUVAdjacency(chart), c, horizontal, margin);
}

double cutLength(const Chart& chart, const UVAdjacency& adjacency, double c, bool horizontal,
                 double margin)
{
    CutMask mask;
    markUncuttableTriangles(chart, adjacency, horizontal, c, mask, margin);
    const int axis = horizontal ? 1 : 0;
    double sum = 0.0;
    const size_t nT = mask.size();
    for (size_t t = 0; t < nT; ++t) {
        if (mask[t])
            continue;
        const std::array<double, 6> p = triangleUVs(chart, t);
        const LineCrossing crossing = lineCrossesTriangle(p, c, horizontal);
        if (!crossing.crosses)
            continue;
        double pts[4][2];
        int count = 0;
        for (int k = 0; k < 3 && count < 4; ++k) {
            if (!crossing.edgeCrossed[k])
                continue;
            const int q = (k + 1) % 3;
            const double w = edgeWeight(p[2 * k + axis], p[2 * q + axis], c);
            pts[count][0] = w * p[2 * k] + (1.0 - w) * p[2 * q];
            pts[count][1] = w * p[2 * k + 1] + (1.0 - w) * p[2 * q + 1];
            ++count;
        }
        if (count < 2) {
            for (int k = 0; k < 3 && count < 4; ++k) {
                if (!crossing.onLine[k])
                    continue;
                pts[count][0] = p[2 * k];
                pts[count][1] = p[2 * k + 1];
                ++count;
            }
        }
        if (count >= 2)
            sum += std::hypot(pts[1][0] - pts[0][0], pts[1][1] - pts[0][1]);
    }
    return 2.0 * sum;
}
