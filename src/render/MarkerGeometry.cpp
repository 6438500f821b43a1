#include "render/MarkerGeometry.h"

#include <array>
#include <cmath>
#include <cstdint>

namespace {

constexpr double kPi = 3.14159265358979323846;

const uint32_t kIcosahedronFaces[kIcosahedronTriangles][3] = {
    {0, 1, 2},  {0, 3, 2},  {0, 4, 3},  {0, 5, 4},   {0, 1, 5},
    {1, 2, 7},  {2, 3, 8},  {3, 4, 9},  {4, 5, 10},  {5, 1, 6},
    {1, 7, 6},  {2, 8, 7},  {3, 9, 8},  {4, 10, 9},  {5, 6, 10},
    {6, 7, 11}, {7, 8, 11}, {8, 9, 11}, {9, 10, 11}, {10, 6, 11},
};

struct Vec3 {
    double x, y, z;
};

Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3 operator*(Vec3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
Vec3 cross(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double length(Vec3 a) { return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z); }

// The 12 unit vertices: the poles and two rings at latitude -/+ atan(1/2).
std::array<Vec3, kIcosahedronVertices> makeIcosahedronVertices()
{
    std::array<Vec3, kIcosahedronVertices> vertices{};
    const double phi = std::atan(0.5);
    vertices[0] = {0.0, 0.0, -1.0};
    for (int i = 0; i < 5; ++i) {
        const double lower = (36.0 + 72.0 * i) * kPi / 180.0;
        vertices[1 + i] = {std::cos(lower) * std::cos(phi), std::sin(lower) * std::cos(phi), -std::sin(phi)};
        const double upper = (72.0 * i) * kPi / 180.0;
        vertices[6 + i] = {std::cos(upper) * std::cos(phi), std::sin(upper) * std::cos(phi), std::sin(phi)};
    }
    vertices[11] = {0.0, 0.0, 1.0};
    return vertices;
}

const std::array<Vec3, kIcosahedronVertices>& icosahedronVertices()
{
    static const std::array<Vec3, kIcosahedronVertices> vertices = makeIcosahedronVertices();
    return vertices;
}

bool vertexInRange(uint32_t vertex, const iuv::DoubleVector& positions)
{
    return static_cast<size_t>(vertex) < positions.size() / 3;
}

Vec3 vertexAt(const iuv::DoubleVector& positions, uint32_t vertex)
{
    const size_t i = 3 * static_cast<size_t>(vertex);
    return {positions[i], positions[i + 1], positions[i + 2]};
}

void appendVertex(TriangleGeometry& geometry, Vec3 p)
{
    geometry.vertices.push_back(p.x);
    geometry.vertices.push_back(p.y);
    geometry.vertices.push_back(p.z);
}

// A unit vector perpendicular to the unit vector d: the cross product with
// the coordinate axis least aligned with d.
Vec3 perpendicular(Vec3 d)
{
    const double ax = std::fabs(d.x), ay = std::fabs(d.y), az = std::fabs(d.z);
    Vec3 axis{1.0, 0.0, 0.0};
    if (ay <= ax && ay <= az)
        axis = {0.0, 1.0, 0.0};
    else if (az <= ax && az <= ay)
        axis = {0.0, 0.0, 1.0};
    const Vec3 e = cross(d, axis);
    return e * (1.0 / length(e));
}

void appendTube(TriangleGeometry& geometry, Vec3 p, Vec3 q, double radius)
{
    Vec3 d = q - p;
    const double len = length(d);
    // A zero-length (or non-finite) edge still gets a tube, in an arbitrary frame.
    d = (len > 0.0 && std::isfinite(len)) ? d * (1.0 / len) : Vec3{0.0, 0.0, 1.0};
    const Vec3 e1 = perpendicular(d);
    const Vec3 e2 = cross(d, e1);
    const Vec3 s1 = e1 * radius, s2 = e2 * radius;

    const uint32_t base = static_cast<uint32_t>(geometry.vertexCount());
    for (Vec3 c : {p, q}) {
        appendVertex(geometry, c + s1);
        appendVertex(geometry, c + s2);
        appendVertex(geometry, c - s1);
        appendVertex(geometry, c - s2);
    }
    for (uint32_t k = 0; k < 4; ++k) {
        const uint32_t next = (k + 1) % 4;
        const uint32_t tri[6] = {k, k + 4, next + 4, next, k, next + 4};
        for (uint32_t v : tri)
            geometry.indices.push_back(base + v);
    }
    appendIcosahedron(geometry, p.x, p.y, p.z, radius);
    appendIcosahedron(geometry, q.x, q.y, q.z, radius);
}

} // namespace

double BoundingBox3::diagonal() const
{
    if (!valid)
        return 0.0;
    const double ex = extent(0), ey = extent(1), ez = extent(2);
    return std::sqrt(ex * ex + ey * ey + ez * ez);
}

BoundingBox3 boundingBox(const iuv::DoubleVector& positions)
{
    BoundingBox3 box;
    for (size_t i = 0; i + 2 < positions.size(); i += 3) {
        const double p[3] = {positions[i], positions[i + 1], positions[i + 2]};
        if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2]))
            continue;
        for (int a = 0; a < 3; ++a) {
            if (!box.valid || p[a] < box.min[a])
                box.min[a] = p[a];
            if (!box.valid || p[a] > box.max[a])
                box.max[a] = p[a];
        }
        box.valid = true;
    }
    return box;
}

void appendIcosahedron(TriangleGeometry& geometry, double cx, double cy, double cz, double scale)
{
    const uint32_t base = static_cast<uint32_t>(geometry.vertexCount());
    const auto& unit = icosahedronVertices();
    const Vec3 centre{cx, cy, cz};
    for (size_t i = 0; i < kIcosahedronVertices; ++i)
        appendVertex(geometry, centre + unit[i] * scale);
    for (const auto& face : kIcosahedronFaces)
        for (uint32_t v : face)
            geometry.indices.push_back(base + v);
}

TriangleGeometry buildConeMarkers(const iuv::UIntVector& cones, const iuv::DoubleVector& positions,
                                  double size)
{
    TriangleGeometry geometry;
    for (uint32_t cone : cones) {
        if (!vertexInRange(cone, positions))
            continue;
        const Vec3 p = vertexAt(positions, cone);
        appendIcosahedron(geometry, p.x, p.y, p.z, size);
    }
    return geometry;
}

double edgeTubeRadius(const iuv::DoubleVector& positions)
{
    return 0.003 * boundingBox(positions).diagonal();
}

TriangleGeometry buildEdgeTubes(const iuv::UIntVector& lineIndices, const iuv::DoubleVector& positions,
                                double radius)
{
    TriangleGeometry geometry;
    for (size_t i = 0; i + 1 < lineIndices.size(); i += 2) {
        const uint32_t a = lineIndices[i], b = lineIndices[i + 1];
        if (!vertexInRange(a, positions) || !vertexInRange(b, positions))
            continue;
        appendTube(geometry, vertexAt(positions, a), vertexAt(positions, b), radius);
    }
    return geometry;
}
