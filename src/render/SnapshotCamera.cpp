#include "render/SnapshotCamera.h"

#include "render/MarkerGeometry.h"

#include <algorithm>
#include <cmath>

Mat4 Mat4::identity()
{
    Mat4 r;
    for (int i = 0; i < 4; ++i)
        r.at(i, i) = 1.0f;
    return r;
}

Mat4 Mat4::fromRows(const float* rows)
{
    Mat4 r;
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 4; ++column)
            r.at(row, column) = rows[row * 4 + column];
    return r;
}

Mat4 Mat4::operator*(const Mat4& o) const
{
    Mat4 r;
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 4; ++column)
            r.at(row, column) = at(row, 0) * o.at(0, column) + at(row, 1) * o.at(1, column) +
                                at(row, 2) * o.at(2, column) + at(row, 3) * o.at(3, column);
    return r;
}

void Mat4::translate(float x, float y, float z)
{
    for (int row = 0; row < 4; ++row)
        at(row, 3) += at(row, 0) * x + at(row, 1) * y + at(row, 2) * z;
}

void Mat4::perspective(float verticalAngle, float aspect, float nearPlane, float farPlane)
{
    if (nearPlane == farPlane || aspect == 0.0f)
        return;
    const float radians = (verticalAngle / 2.0f) * static_cast<float>(3.14159265358979323846 / 180.0);
    const float sine = std::sin(radians);
    if (sine == 0.0f)
        return;
    const float cotan = std::cos(radians) / sine;
    const float clip = farPlane - nearPlane;
    Mat4 p;
    p.at(0, 0) = cotan / aspect;
    p.at(1, 1) = cotan;
    p.at(2, 2) = -(nearPlane + farPlane) / clip;
    p.at(2, 3) = -(2.0f * nearPlane * farPlane) / clip;
    p.at(3, 2) = -1.0f;
    *this = *this * p;
}

std::array<float, 9> Mat4::normalMatrix() const
{
    const double a = at(0, 0), b = at(0, 1), c = at(0, 2);
    const double d = at(1, 0), e = at(1, 1), f = at(1, 2);
    const double g = at(2, 0), h = at(2, 1), i = at(2, 2);
    const double det = a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g);
    std::array<float, 9> n{{1, 0, 0, 0, 1, 0, 0, 0, 1}};
    if (std::fabs(det) <= 1e-9)
        return n;
    const double inv = 1.0 / det;
    // Inverse transpose: element (row, column) is the cofactor (row, column) / det.
    const double cof[3][3] = {{e * i - f * h, -(d * i - f * g), d * h - e * g},
                              {-(b * i - c * h), a * i - c * g, -(a * h - b * g)},
                              {b * f - c * e, -(a * f - c * d), a * e - b * d}};
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 3; ++column)
            n[column * 3 + row] = static_cast<float>(cof[row][column] * inv);
    return n;
}

void SnapshotCamera::setProjection(int width, int height)
{
    const float aspect =
        (width > 0 && height > 0) ? static_cast<float>(width) / static_cast<float>(height) : 1.0f;
    projection = Mat4::identity();
    projection.perspective(20.0f, aspect, 0.01f * navigationUnit, 100.0f * navigationUnit);
}

void SnapshotCamera::fit(const iuv::DoubleVector& positions, int width, int height)
{
    const BoundingBox3 box = boundingBox(positions);
    if (!box.valid)
        return;
    const float ex = static_cast<float>(box.extent(0));
    const float ey = static_cast<float>(box.extent(1));
    const float ez = static_cast<float>(box.extent(2));
    const float cx = static_cast<float>(box.centre(0));
    const float cy = static_cast<float>(box.centre(1));
    const float cz = static_cast<float>(box.centre(2));
    const float aspect =
        (width > 0 && height > 0) ? static_cast<float>(width) / static_cast<float>(height) : 1.0f;
    const float t = std::tan(10.0f * 3.14159265358979f / 180.0f);
    const float d1 = (ey / 2.0f) / t;
    const float d2 = (ex / 2.0f) / (aspect * t);

    float unit = 0.2f * std::sqrt(ex * ex + ey * ey + ez * ez);
    if (!(unit > 0.0f) || !std::isfinite(unit))
        unit = 1.0f;
    navigationUnit = unit;
    setProjection(width, height);

    rotation = Mat4::identity();
    pivot = {{cx, cy, cz}};
    view = Mat4::identity();
    view.translate(-cx, -cy, -(std::max(d1, d2) + static_cast<float>(box.max[2])));
}

bool SnapshotCamera::readView(std::istream& in)
{
    float values[32];
    for (float& v : values) {
        if (!(in >> v) || !std::isfinite(v))
            return false;
    }
    view = Mat4::fromRows(values);
    rotation = Mat4::fromRows(values + 16);
    return true;
}

Mat4 SnapshotCamera::modelView() const
{
    Mat4 m = view;
    m.translate(pivot[0], pivot[1], pivot[2]);
    m = m * rotation;
    m.translate(-pivot[0], -pivot[1], -pivot[2]);
    return m;
}
