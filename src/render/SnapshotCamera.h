#pragma once

#include "model/iuv_vector.h"

#include <array>
#include <istream>

// A 4 x 4 float matrix stored column by column (m[column * 4 + row]), the
// layout OpenGL takes. Operations round in float like the window's matrices,
// so a snapshot drawn with them matches the window's own frame.
struct Mat4 {
    std::array<float, 16> m{};

    static Mat4 identity();
    // From 16 values listed row by row.
    static Mat4 fromRows(const float* rows);
    float at(int row, int column) const { return m[column * 4 + row]; }
    float& at(int row, int column) { return m[column * 4 + row]; }

    Mat4 operator*(const Mat4& other) const;
    // this = this * translation(x, y, z)
    void translate(float x, float y, float z);
    // this = this * perspective(vertical angle in degrees, aspect, near, far)
    void perspective(float verticalAngle, float aspect, float nearPlane, float farPlane);
    // Inverse transpose of the upper-left 3 x 3 block, column by column; the
    // identity when that block is singular.
    std::array<float, 9> normalMatrix() const;
};

// The camera of the 3D view: projection, model rotation, view translation and
// the pivot the model turns about.
struct SnapshotCamera {
    Mat4 projection = Mat4::identity();
    Mat4 rotation = Mat4::identity();
    Mat4 view = Mat4::identity();
    std::array<float, 3> pivot{{0.0f, 0.0f, 0.0f}};
    float navigationUnit = 1.0f;

    // Perspective of 20 degrees vertically, near 0.01 and far 100 navigation
    // units, for a viewport of width x height pixels.
    void setProjection(int width, int height);
    // Fits the camera to the positions as the 3D view does after a load: the
    // model's box fills the viewport, the rotation is reset. Does nothing when
    // the list has no finite point.
    void fit(const iuv::DoubleVector& positions, int width, int height);
    // Reads the stored pose ("navigation.mtx": view, then rotation, 16 numbers
    // each row by row). Changes nothing unless all 32 are finite numbers.
    bool readView(std::istream& in);
    // view * translate(pivot) * rotation * translate(-pivot)
    Mat4 modelView() const;
};
