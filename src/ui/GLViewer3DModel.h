#pragma once

#include "model/iuv_vector.h"
#include "render/MarkerGeometry.h"

#include <QImage>
#include <QVector4D>
#include <QOpenGLFunctions>
#include <QOpenGLWidget>
#include <QPoint>
#include <QString>
#include <QTimer>

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

class ModelRenderer;

// The 3D view of the mesh: every triangle in its chart's colour with a UV
// checkerboard, optional cone markers and edge tubes. The left button turns
// the model (with inertia), the right button and the wheel dolly, the middle
// button pans. The OpenGL work is done by the owned ModelRenderer.
//
// Without OpenGL (no display, Qt's "offscreen" platform, a broken driver) the
// view still accepts every call: geometry and camera are kept on the CPU side,
// nothing is drawn, glViewer3DInitialized() is never emitted and the view
// prints one line saying so. A window that waits for glViewer3DInitialized()
// should check openGLAvailable() or install setOpenGLFailureHandler().
class GLViewer3DModel : public QOpenGLWidget, protected QOpenGLFunctions {
    Q_OBJECT

public:
    enum ShadingMode { FlatShading = 0, SmoothShading = 1, NoShading = 2 };

    explicit GLViewer3DModel(QWidget* parent = nullptr);
    ~GLViewer3DModel() override;

    // Whether this process can create an OpenGL context at all. Probed once
    // (needs a QGuiApplication); later calls return the cached answer.
    static bool openGLAvailable();

    // initializeGL has run (glViewer3DInitialized() was emitted).
    bool isGLInitialized() const { return glInitialized_; }
    // The view knows that it will never be initialised: no context could be
    // created, either in the probe or for this widget.
    bool openGLFailed() const { return glFailed_; }
    // Called once when the view learns that OpenGL cannot be used; called at
    // once from here if that is already known.
    void setOpenGLFailureHandler(std::function<void()> handler);

    // Builds the cone markers (does nothing when positions is empty).
    void setConeSingularities(const iuv::UIntVector& coneSingularities,
                              const iuv::DoubleVector& sharedPositions);

    // Display options; each setter repaints.
    void setShadingMode(int mode);
    void setShowConeSingularities(bool show);
    void setShowCutEdges(bool show);
    int shadingMode() const { return shadingMode_; }
    bool showConeSingularities() const { return showConeSingularities_; }
    bool showCutEdges() const { return showCutEdges_; }
    // The texture drawn instead of the checkerboard while shown (see
    // ModelRenderer::setSurfaceTexture); a null image removes it. Repaints.
    void setSurfaceTexture(const QImage& image, const QVector4D& uvTransform);
    void setShowSurfaceTexture(bool show);
    bool showSurfaceTexture() const;

    // Renders the view (window background and children included) at its
    // current size and returns the image; a null image when OpenGL is not
    // initialised.
    QImage snapshotImage();
    // Renders the view and saves it to fileName (format from the extension).
    // Returns false and sets *whyNot (when given) if no snapshot was written.
    bool saveSnapshot(const QString& fileName, QString* whyNot = nullptr);

    // The stored camera ("navigation.mtx" in the working folder by default),
    // read by every camera fit and written by storeView().
    void setNavigationFile(const QString& path) { navigationFile_ = path; }
    const QString& navigationFile() const { return navigationFile_; }

    // The window's start camera: a three-quarter view that fits the whole
    // model with a margin. Off: the camera looks along -z at the model's
    // bounding box, as the result snapshots do.
    void setThreeQuarterStart(bool on) { threeQuarterStart_ = on; }

    // Navigation state.
    float angularVelocityX() const { return velocityX_; }
    float angularVelocityY() const { return velocityY_; }
    float navigationUnit() const { return navigationUnit_; }
    const ModelRenderer& renderer() const { return *renderer_; }
    const TriangleGeometry& coneMarkerGeometry() const { return coneMarkers_; }
    const TriangleGeometry& edgeTubeGeometry() const { return edgeTubes_; }

    // One inertia step at time nowMs (milliseconds since the epoch). Returns
    // true when the model was turned and a repaint requested.
    bool stepAnimation(qint64 nowMs);

signals:
    void modelDragged(const char* fileName);
    void glViewer3DInitialized();

public slots:
    void updateAnimation();
    void updateMeshData(const iuv::UIntVector& triIndicesPos, const iuv::DoubleVector& sharedPositions,
                        const iuv::UIntVector& triIndicesUV, const iuv::DoubleVector& uvCoords2D,
                        const iuv::UIntVector& lineIndicesBEdges, size_t numBoundaryEdges3D,
                        const std::vector<size_t>& seamEdgeSegmentOffsets,
                        const std::vector<size_t>& numTrianglesPerChart);
    void updateCamera(const iuv::DoubleVector& positions3D);
    void storeView();
    void loadView();

protected:
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    bool event(QEvent* event) override;

private:
    void reportOpenGLFailure(const QString& reason);
    void checkWidgetContext();

    std::unique_ptr<ModelRenderer> renderer_;
    QPoint lastMousePosition_{0, 0};
    float velocityX_ = 0.0f;
    float velocityY_ = 0.0f;
    float navigationUnit_ = 1.0f;
    QTimer animationTimer_;
    qint64 lastAnimationTime_ = 0;
    int shadingMode_ = SmoothShading;
    bool showConeSingularities_ = false;
    bool showCutEdges_ = true;
    TriangleGeometry coneMarkers_;
    TriangleGeometry edgeTubes_;
    QString navigationFile_ = QStringLiteral("navigation.mtx");

    bool threeQuarterStart_ = false;
    bool glInitialized_ = false;
    bool glFailed_ = false;
    std::function<void()> failureHandler_;
    QMetaObject::Connection contextConnection_;
};
