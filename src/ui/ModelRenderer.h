#pragma once

#include "render/MarkerGeometry.h"
#include "render/MeshCornerBuffers.h"

#include <QImage>
#include <QMatrix4x4>
#include <QVector4D>
#include <QVector3D>

#include <istream>
#include <memory>
#include <ostream>
#include <vector>

class QOpenGLBuffer;
class QOpenGLFunctions;
class QOpenGLShaderProgram;
class QOpenGLTexture;
class QOpenGLVertexArrayObject;

// Name of an OpenGL error code as the 3D view prints it: the six classic
// codes by name, anything else as "GL_NO_ERROR".
const char* openGLErrorName(unsigned int error);

// The GPU side of the 3D view: mesh, marker and tube buffers, the three
// programs, the viewport and the camera matrices. Geometry handed over is
// kept on the CPU side and uploaded at the next paint, so data may arrive
// before the OpenGL context exists (or when it never will). The camera part
// needs no context at all.
class ModelRenderer {
public:
    ModelRenderer();
    ~ModelRenderer();
    ModelRenderer(const ModelRenderer&) = delete;
    ModelRenderer& operator=(const ModelRenderer&) = delete;

    // OpenGL lifetime; both need the widget's context current.
    void initializeGL(QOpenGLFunctions* functions);
    void releaseGL();
    bool glReady() const { return functions_ != nullptr; }

    // Draws the frame: mesh (smooth buffer for shading mode 1, flat
    // otherwise; unlit for mode 2), then markers and tubes when asked, then
    // prints any OpenGL errors.
    void paint(int shadingMode, bool showConeMarkers, bool showEdgeTubes);

    void setMeshBuffers(CornerBuffers buffers);
    void setConeMarkers(const TriangleGeometry& geometry);
    void setEdgeTubes(const TriangleGeometry& geometry);
    bool hasMesh() const { return hasMesh_; }

    // The image drawn on the mesh instead of the checkerboard while shown;
    // a mesh UV maps to image coordinates (v upwards) as
    // uv * (x, y) + (z, w) of uvTransform. A null image removes it.
    void setSurfaceTexture(const QImage& image, const QVector4D& uvTransform);
    void setSurfaceTextureShown(bool shown) { textureShown_ = shown; }
    bool surfaceTextureShown() const { return textureShown_ && !surfaceImage_.isNull(); }

    // Viewport and camera.
    void setViewportSize(int width, int height);
    int viewportWidth() const { return viewportWidth_; }
    int viewportHeight() const { return viewportHeight_; }
    // Perspective of 20 degrees vertically, near 0.01 and far 100 navigation units.
    void setProjection(float navigationUnit);
    // view * translate(pivot) * rotation * translate(-pivot)
    QMatrix4x4 modelViewMatrix() const;

    QMatrix4x4 projection;
    QMatrix4x4 rotation;
    QMatrix4x4 view;
    QVector3D pivot;

    // "navigation.mtx" contents: the view matrix, then the rotation matrix,
    // 16 numbers each in row order, each followed by a blank.
    void writeView(std::ostream& out) const;
    // Reads 32 numbers; the matrices change only when all of them were read
    // and are finite. Returns whether they changed.
    bool readView(std::istream& in);

private:
    struct MeshBuffer;
    struct IndexedBuffer;

    void createPrograms();
    void uploadPending();
    void drawMesh(int shadingMode);
    void drawIndexed(IndexedBuffer& buffer, QOpenGLShaderProgram* program, const int* locations);
    void reportErrors();

    QOpenGLFunctions* functions_ = nullptr;
    int viewportWidth_ = 0;
    int viewportHeight_ = 0;
    bool programsCreated_ = false;

    // CPU-side copies waiting for upload.
    CornerBuffers pendingMesh_;
    TriangleGeometry pendingMarkers_;
    TriangleGeometry pendingTubes_;
    bool meshDirty_ = false;
    bool markersDirty_ = false;
    bool tubesDirty_ = false;
    bool hasMesh_ = false;
    QImage surfaceImage_;
    QVector4D uvTransform_;
    bool textureDirty_ = false;
    bool textureShown_ = false;
    std::unique_ptr<QOpenGLTexture> surfaceTexture_;

    std::unique_ptr<MeshBuffer> flatMesh_;
    std::unique_ptr<MeshBuffer> smoothMesh_;
    std::unique_ptr<IndexedBuffer> markers_;
    std::unique_ptr<IndexedBuffer> tubes_;

    std::unique_ptr<QOpenGLShaderProgram> meshProgram_;
    std::unique_ptr<QOpenGLShaderProgram> markerProgram_;
    std::unique_ptr<QOpenGLShaderProgram> tubeProgram_;
    // Uniform locations: projMatrix, mvMatrix, normalMatrix, shadeFactor for
    // the mesh; projMatrix, mvMatrix, alpha for markers and tubes.
    int meshUniforms_[5] = {-1, -1, -1, -1, -1};
    int markerUniforms_[3] = {-1, -1, -1};
    int tubeUniforms_[3] = {-1, -1, -1};
};
