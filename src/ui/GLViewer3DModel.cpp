#include "ui/GLViewer3DModel.h"

#include "render/MeshCornerBuffers.h"
#include "ui/ModelRenderer.h"

#include "base/file_output.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDragEnterEvent>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMimeData>
#include <QMouseEvent>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QPixmap>
#include <QUrl>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>

namespace {

// A drag across the whole view turns the model by about half a turn.
constexpr float kDragAcrossViewDegrees = 180.0f;
constexpr float kMaxAngularVelocity = 180.0f;
// The start camera of the window: a three-quarter view from above and to the
// right, the whole model inside the view with this much room to spare.
constexpr float kThreeQuarterPitch = 25.0f;
constexpr float kThreeQuarterYaw = -35.0f;
constexpr float kFitMargin = 1.1f;
constexpr float kVelocityEpsilon = 1e-8f;
// An inertia step covers at most this many milliseconds. A longer gap (the
// event loop blocked by a pipeline stage) would turn the decay factor
// (1 - 0.005 dt) negative and make the spin grow; 200 ms brings it to rest.
constexpr qint64 kMaxAnimationStepMs = 200;

float clampVelocity(float v)
{
    return std::max(-kMaxAngularVelocity, std::min(kMaxAngularVelocity, v));
}

bool processReportedFailure = false;

} // namespace

GLViewer3DModel::GLViewer3DModel(QWidget* parent)
    : QOpenGLWidget(parent), renderer_(std::make_unique<ModelRenderer>())
{
    setAcceptDrops(true);
    lastAnimationTime_ = QDateTime::currentMSecsSinceEpoch();
    animationTimer_.setInterval(16);
    connect(&animationTimer_, &QTimer::timeout, this, &GLViewer3DModel::updateAnimation);
    animationTimer_.start();
    if (!openGLAvailable())
        reportOpenGLFailure(QStringLiteral("no OpenGL context can be created on this display"));
}

GLViewer3DModel::~GLViewer3DModel()
{
    QObject::disconnect(contextConnection_);
    if (glInitialized_ && context()) {
        makeCurrent();
        renderer_->releaseGL();
        doneCurrent();
    }
}

bool GLViewer3DModel::openGLAvailable()
{
    static int available = -1;
    if (available < 0) {
        if (!QGuiApplication::instance())
            return false;
        QOpenGLContext context;
        QOffscreenSurface surface;
        surface.setFormat(context.format());
        surface.create();
        bool ok = context.create() && surface.isValid() && context.makeCurrent(&surface);
        if (ok)
            context.doneCurrent();
        available = ok ? 1 : 0;
    }
    return available == 1;
}

void GLViewer3DModel::setOpenGLFailureHandler(std::function<void()> handler)
{
    failureHandler_ = std::move(handler);
    if (glFailed_ && failureHandler_)
        failureHandler_();
}

void GLViewer3DModel::reportOpenGLFailure(const QString& reason)
{
    if (glFailed_ || glInitialized_)
        return;
    glFailed_ = true;
    if (!processReportedFailure) {
        processReportedFailure = true;
        std::cout << "OpenGL is not available (" << reason.toStdString()
                  << "): the 3D view stays empty and no 3D snapshots are written." << std::endl;
    }
    if (failureHandler_)
        failureHandler_();
}

void GLViewer3DModel::checkWidgetContext()
{
    // QOpenGLWidget creates its context when it is shown with a non-empty
    // size inside a native window; if that has happened without
    // initializeGL, the context could not be created.
    if (glInitialized_ || glFailed_ || !isVisible() || size().isEmpty() || !window()->windowHandle())
        return;
    reportOpenGLFailure(QStringLiteral("the 3D view's OpenGL context could not be created"));
}

bool GLViewer3DModel::event(QEvent* event)
{
    const bool handled = QOpenGLWidget::event(event);
    if (event->type() == QEvent::Show || event->type() == QEvent::Resize)
        checkWidgetContext();
    return handled;
}

void GLViewer3DModel::initializeGL()
{
    initializeOpenGLFunctions();
    renderer_->initializeGL(context()->functions());
    QObject::disconnect(contextConnection_);
    contextConnection_ = connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, [this] {
        makeCurrent();
        renderer_->releaseGL();
        doneCurrent();
    });
    glInitialized_ = true;
    emit glViewer3DInitialized();
}

void GLViewer3DModel::resizeGL(int w, int h)
{
    glViewport(0, 0, w, h);
    renderer_->setViewportSize(w, h);
    renderer_->setProjection(navigationUnit_);
}

void GLViewer3DModel::paintGL()
{
    renderer_->paint(shadingMode_, showConeSingularities_, showCutEdges_);
}

void GLViewer3DModel::setShadingMode(int mode)
{
    shadingMode_ = mode;
    update();
}

void GLViewer3DModel::setShowConeSingularities(bool show)
{
    showConeSingularities_ = show;
    update();
}

void GLViewer3DModel::setShowCutEdges(bool show)
{
    showCutEdges_ = show;
    update();
}

void GLViewer3DModel::setSurfaceTexture(const QImage& image, const QVector4D& uvTransform)
{
    renderer_->setSurfaceTexture(image, uvTransform);
    update();
}

void GLViewer3DModel::setShowSurfaceTexture(bool show)
{
    renderer_->setSurfaceTextureShown(show);
    update();
}

bool GLViewer3DModel::showSurfaceTexture() const
{
    return renderer_->surfaceTextureShown();
}

void GLViewer3DModel::updateMeshData(const iuv::UIntVector& triIndicesPos, const iuv::DoubleVector& sharedPositions,
                                     const iuv::UIntVector& triIndicesUV, const iuv::DoubleVector& uvCoords2D,
                                     const iuv::UIntVector& lineIndicesBEdges, size_t /*numBoundaryEdges3D*/,
                                     const std::vector<size_t>& /*seamEdgeSegmentOffsets*/,
                                     const std::vector<size_t>& numTrianglesPerChart)
{
    renderer_->setMeshBuffers(
        buildCornerBuffers(triIndicesPos, sharedPositions, triIndicesUV, uvCoords2D, numTrianglesPerChart));
    edgeTubes_ = buildEdgeTubes(lineIndicesBEdges, sharedPositions, edgeTubeRadius(sharedPositions));
    renderer_->setEdgeTubes(edgeTubes_);
    update();
}

void GLViewer3DModel::setConeSingularities(const iuv::UIntVector& coneSingularities,
                                           const iuv::DoubleVector& sharedPositions)
{
    if (sharedPositions.empty())
        return;
    coneMarkers_ = buildConeMarkers(coneSingularities, sharedPositions, 0.025 * navigationUnit_);
    renderer_->setConeMarkers(coneMarkers_);
    update();
}

void GLViewer3DModel::updateCamera(const iuv::DoubleVector& positions3D)
{
    const BoundingBox3 box = boundingBox(positions3D);
    if (!box.valid)
        return;  // nothing to fit the camera to
    const float ex = static_cast<float>(box.extent(0));
    const float ey = static_cast<float>(box.extent(1));
    const float ez = static_cast<float>(box.extent(2));
    const QVector3D centre(static_cast<float>(box.centre(0)), static_cast<float>(box.centre(1)),
                           static_cast<float>(box.centre(2)));

    int w = renderer_->viewportWidth(), h = renderer_->viewportHeight();
    if (w <= 0 || h <= 0) {
        w = width();
        h = height();
    }
    const float aspect = (w > 0 && h > 0) ? static_cast<float>(w) / static_cast<float>(h) : 1.0f;
    const float t = std::tan(10.0f * 3.14159265358979f / 180.0f);
    const float d1 = (ey / 2.0f) / t;
    const float d2 = (ex / 2.0f) / (aspect * t);
    const QVector3D translation(-centre.x(), -centre.y(), -(std::max(d1, d2) + static_cast<float>(box.max[2])));

    float unit = 0.2f * std::sqrt(ex * ex + ey * ey + ez * ez);
    if (!(unit > 0.0f) || !std::isfinite(unit))
        unit = 1.0f;  // a single point: keep the translations and clipping planes usable
    navigationUnit_ = unit;
    renderer_->setProjection(unit);

    renderer_->rotation.setToIdentity();
    renderer_->view.setToIdentity();
    renderer_->pivot = centre;
    QMatrix4x4 move;
    if (threeQuarterStart_) {
        // The bounding sphere fits the narrower field of view, whatever the turn.
        const float radius = 0.5f * std::sqrt(ex * ex + ey * ey + ez * ez);
        const float halfV = 10.0f * 3.14159265358979f / 180.0f;
        const float halfH = std::atan(aspect * t);
        const float distance = kFitMargin * radius / std::sin(std::min(halfV, halfH));
        renderer_->rotation.rotate(kThreeQuarterPitch, 1.0f, 0.0f, 0.0f);
        renderer_->rotation.rotate(kThreeQuarterYaw, 0.0f, 1.0f, 0.0f);
        move.translate(-centre.x(), -centre.y(), -centre.z() - distance);
    } else {
        move.translate(translation);
    }
    renderer_->view = move * renderer_->view;

    loadView();
    update();
}

void GLViewer3DModel::storeView()
{
    ResultFile file(QFile::encodeName(navigationFile_).toStdString());
    if (!file.isOpen())
        return;
    renderer_->writeView(file.stream());
    file.commit();
}

void GLViewer3DModel::loadView()
{
    std::ifstream in(QFile::encodeName(navigationFile_).constData());
    if (!in)
        return;
    if (renderer_->readView(in))
        update();
}

void GLViewer3DModel::mousePressEvent(QMouseEvent* event)
{
    lastMousePosition_ = event->pos();
}

void GLViewer3DModel::mouseMoveEvent(QMouseEvent* event)
{
    const int dx = event->pos().x() - lastMousePosition_.x();
    const int dy = event->pos().y() - lastMousePosition_.y();
    if (event->buttons() & Qt::LeftButton) {
        const float degreesPerPixel = kDragAcrossViewDegrees / static_cast<float>(std::max(1, std::min(width(), height())));
        velocityX_ = clampVelocity(velocityX_ + degreesPerPixel * static_cast<float>(dy));
        velocityY_ = clampVelocity(velocityY_ + degreesPerPixel * static_cast<float>(dx));
    } else if (event->buttons() & Qt::RightButton) {
        QMatrix4x4 move;
        move.translate(0.0f, 0.0f, 0.1f * static_cast<float>(dy) * navigationUnit_);
        renderer_->view = move * renderer_->view;
        update();
    } else if (event->buttons() & Qt::MiddleButton) {
        QMatrix4x4 move;
        move.translate(0.01f * static_cast<float>(dx) * navigationUnit_,
                       -0.01f * static_cast<float>(dy) * navigationUnit_, 0.0f);
        renderer_->view = move * renderer_->view;
        update();
    }
    lastMousePosition_ = event->pos();
}

void GLViewer3DModel::wheelEvent(QWheelEvent* event)
{
    QMatrix4x4 move;
    move.translate(0.0f, 0.0f, 0.005f * static_cast<float>(event->angleDelta().y()) * navigationUnit_);
    renderer_->view = move * renderer_->view;
    update();
    event->accept();
}

void GLViewer3DModel::updateAnimation()
{
    stepAnimation(QDateTime::currentMSecsSinceEpoch());
}

bool GLViewer3DModel::stepAnimation(qint64 nowMs)
{
    if (velocityX_ == 0.0f && velocityY_ == 0.0f) {
        lastAnimationTime_ = nowMs;
        return false;
    }
    const qint64 dt = std::max<qint64>(0, std::min(nowMs - lastAnimationTime_, kMaxAnimationStepMs));
    const float s = static_cast<float>(dt) * 0.005f;
    const float angleX = velocityX_ * s;
    const float angleY = velocityY_ * s;

    QMatrix4x4 turn;
    turn.rotate(angleX, 1.0f, 0.0f, 0.0f);
    turn.rotate(angleY, 0.0f, 1.0f, 0.0f);
    renderer_->rotation = turn * renderer_->rotation;

    velocityX_ -= angleX;
    velocityY_ -= angleY;
    if (std::fabs(velocityX_) < kVelocityEpsilon)
        velocityX_ = 0.0f;
    if (std::fabs(velocityY_) < kVelocityEpsilon)
        velocityY_ = 0.0f;

    update();
    lastAnimationTime_ = nowMs;
    return true;
}

void GLViewer3DModel::dragEnterEvent(QDragEnterEvent* event)
{
    const QMimeData* mime = event->mimeData();
    if (!mime || !mime->hasUrls() || mime->urls().isEmpty())
        return;
    const QUrl url = mime->urls().first();
    if (!url.fileName().endsWith(QStringLiteral(".obj"), Qt::CaseSensitive))
        return;
    const QString localPath = url.toLocalFile();
    if (localPath.isEmpty())
        return;
    event->acceptProposedAction();
    const QByteArray encoded = QFile::encodeName(localPath);
    emit modelDragged(encoded.constData());
}

QImage GLViewer3DModel::snapshotImage()
{
    if (!glInitialized_ || !isValid() || size().isEmpty())
        return QImage();
    QPixmap pixmap(size());
    render(&pixmap, QPoint(0, 0), QRegion(), QWidget::DrawWindowBackground | QWidget::DrawChildren);
    return pixmap.toImage();
}

namespace {

// Saves under a temporary name in the same folder and renames it over the
// final one, so that an interrupted save never leaves a truncated image.
bool saveImageWhole(const QImage& image, const QString& fileName)
{
    const QString temporary = fileName + QStringLiteral(".partial-%1").arg(QCoreApplication::applicationPid());
    const QByteArray format = QFileInfo(fileName).suffix().toLatin1();
    const QByteArray from = QFile::encodeName(temporary), to = QFile::encodeName(fileName);
    if (image.save(temporary, format.isEmpty() ? nullptr : format.constData()) &&
        std::rename(from.constData(), to.constData()) == 0)
        return true;
    QFile::remove(temporary);
    return false;
}

} // namespace

bool GLViewer3DModel::saveSnapshot(const QString& fileName, QString* whyNot)
{
    QString reason;
    if (glFailed_ || !glInitialized_) {
        reason = glFailed_ ? QStringLiteral("OpenGL is not available")
                           : QStringLiteral("the 3D view has not been initialised");
    } else if (size().isEmpty()) {
        reason = QStringLiteral("the 3D view has no area");
    } else {
        const QImage image = snapshotImage();
        if (image.isNull())
            reason = QStringLiteral("the 3D view could not be rendered");
        else if (!saveImageWhole(image, fileName))
            reason = QStringLiteral("the image could not be written");
    }
    if (reason.isEmpty())
        return true;
    if (whyNot)
        *whyNot = reason;
    return false;
}
