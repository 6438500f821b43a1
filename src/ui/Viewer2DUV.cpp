#include "ui/Viewer2DUV.h"

#include "io/palette.h"
#include "app/pipeline.h"
#include "ui/CheckerTile.h"

#include <QBrush>
#include <QDateTime>
#include <QGraphicsItemGroup>
#include <QGraphicsLineItem>
#include <QGraphicsPathItem>
#include <QGraphicsScene>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPen>
#include <QTimer>
#include <QWheelEvent>


namespace {

constexpr int AnimationIntervalMs = 16;
constexpr double ZoomPerDeltaUnit = 0.001;
// A single wheel event never shrinks the view by more than this factor; a
// huge negative delta would otherwise give a zero or negative scale.
constexpr double SmallestZoomStep = 0.1;
constexpr double GridScale = 3.10585 / 1024.0;

} // namespace

Viewer2DUV::Viewer2DUV(QWidget* /*parent*/) : QGraphicsView(static_cast<QWidget*>(nullptr))
{
    scene_ = new QGraphicsScene(this);
    setScene(scene_);
    // Qt 5.15 ignores the separate high-quality antialiasing hint (it is
    // deprecated there); plain antialiasing gives the same rendering.
    setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    // Scroll bars appear when the layout is larger than the view; drops go
    // to the window, which opens dropped models.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setAcceptDrops(false);
    setFocusPolicy(Qt::StrongFocus);
    scene_->setBackgroundBrush(Qt::NoBrush);
    creationTime_ = QDateTime::currentMSecsSinceEpoch();
    animationTimer_ = new QTimer(this);
    connect(animationTimer_, &QTimer::timeout, this, &Viewer2DUV::updateAnimation);
    animationTimer_->start(AnimationIntervalMs);
    warningHook_ = [](QWidget* parent, const QString& title, const QString& text) {
        QMessageBox::warning(parent, title, text, QMessageBox::Ok);
    };
}

Viewer2DUV::~Viewer2DUV() = default;

QColor Viewer2DUV::chartDisplayColor(size_t chartIndex)
{
    // The same gamma step as the atlas drawing, so both show the same colour.
    const Rgb8 c = gammaCorrected(chartColor(chartIndex));
    return QColor(c.r, c.g, c.b);
}

QString Viewer2DUV::seamLabel(int pathIndex)
{
    return QString("Seam #%1").arg(pathIndex / 2) + QString(pathIndex % 2 ? "(b)" : "(a)");
}

void Viewer2DUV::setWaitFor3DView(bool wait)
{
    waitFor3DView_ = wait;
    if (!wait && !pendingModelFile_.isEmpty()) {
        const QByteArray name = pendingModelFile_;
        pendingModelFile_.clear();
        loadModel(name.constData(), true);
    }
}

void Viewer2DUV::loadModel(const char* filenameOBJ, bool repack)
{
    if (!filenameOBJ)
        return;
    if (waitFor3DView_ && !ready3D_) {
        pendingModelFile_ = QByteArray(filenameOBJ);
        return;
    }
    if (!pipeline_ || modelLocked_)
        return;
    fitToAtlas_ = true;
    pipeline_->loadModelFromFile(filenameOBJ, repack);
}

void Viewer2DUV::viewer3DReady()
{
    ready3D_ = true;
    if (!pendingModelFile_.isEmpty()) {
        const QByteArray name = pendingModelFile_;
        pendingModelFile_.clear();
        loadModel(name.constData(), true);
    }
}

void Viewer2DUV::updateDisplay(bool dirtyUVData)
{
    if (pipeline_ && !modelLocked_)
        pipeline_->updateDisplay(dirtyUVData);
}

void Viewer2DUV::showNewPositions(const iuv::DoubleVector& sharedPositions)
{
    fitToAtlas_ = true;
    emit positions3DChanged(sharedPositions);
}

std::shared_ptr<const DisplayData> Viewer2DUV::captureDisplayData(const Pipeline& pipeline)
{
    auto data = std::make_shared<DisplayData>();
    data->model = pipeline.model();
    data->topology = pipeline.topology();
    return data;
}

void Viewer2DUV::showDisplayUpdate(bool dirtyUVData, const UnwrappingStats& stats)
{
    if (!dirtyUVData || !pipeline_) {
        showDisplayUpdate(dirtyUVData, stats, nullptr);
        return;
    }
    showDisplayUpdate(dirtyUVData, stats, captureDisplayData(*pipeline_));
}

void Viewer2DUV::showDisplayUpdate(bool dirtyUVData, const UnwrappingStats& stats,
                                   std::shared_ptr<const DisplayData> data)
{
    fitToAtlas_ = true;
    presentLayout(dirtyUVData, stats, std::move(data));
}

void Viewer2DUV::showIterationUpdate(const UnwrappingStats& stats, std::shared_ptr<const DisplayData> data)
{
    fitToAtlas_ = fitToAtlas_ || showsFit_;
    presentLayout(true, stats, std::move(data));
}

void Viewer2DUV::presentLayout(bool dirtyUVData, const UnwrappingStats& stats,
                               std::shared_ptr<const DisplayData> data)
{
    emit statsChanged(stats);
    if (!dirtyUVData || !data)
        return;
    shown_ = std::move(data);

    const Model& model = shown_->model;
    const MeshTopology& topo = shown_->topology;

    // Start and end vertex of every boundary and seam halfedge. A topology
    // whose lists do not fit its joined mesh sends no lines at all.
    iuv::UIntVector lineIndicesBEdges;
    size_t numBoundaryEdges3D = static_cast<size_t>(topo.numBoundaryHalfedges);
    std::vector<size_t> seamEdgeSegmentOffsets(topo.seamSegmentLengths.begin(), topo.seamSegmentLengths.end());
    bool linesValid = numBoundaryEdges3D <= topo.boundaryAndSeamHalfedges.size();
    size_t seamTotal = 0;
    for (size_t length : seamEdgeSegmentOffsets)
        seamTotal += length;
    linesValid = linesValid && seamTotal == topo.boundaryAndSeamHalfedges.size() - numBoundaryEdges3D;
    lineIndicesBEdges.reserve(2 * topo.boundaryAndSeamHalfedges.size());
    for (size_t i = 0; linesValid && i < topo.boundaryAndSeamHalfedges.size(); ++i) {
        const uint32_t h = topo.boundaryAndSeamHalfedges[i];
        if (h >= topo.joinedMesh.halfedges.size()) {
            linesValid = false;
            break;
        }
        lineIndicesBEdges.push_back(topo.joinedMesh.halfedges[twin(h)].to);
        lineIndicesBEdges.push_back(topo.joinedMesh.halfedges[h].to);
    }
    if (!linesValid) {
        lineIndicesBEdges.clear();
        numBoundaryEdges3D = 0;
        seamEdgeSegmentOffsets.clear();
    }

    Chart merged;
    mergeCharts(model.charts, merged);
    std::vector<size_t> numTrianglesPerChart;
    numTrianglesPerChart.reserve(model.charts.size());
    for (const Chart& chart : model.charts)
        numTrianglesPerChart.push_back(chart.triIndicesUV.size() / 3);

    emit meshDataChanged(merged.triIndicesPos, model.sharedPositions, merged.triIndicesUV, merged.uvCoords2D,
                         lineIndicesBEdges, numBoundaryEdges3D, seamEdgeSegmentOffsets, numTrianglesPerChart);
    drawScene(-1);
}

void Viewer2DUV::dropSceneReferences()
{
    seamPathItems_.clear();
    boundaryLineItems_.clear();
    chartSeamPaths_.clear();
    movedChartGroup_ = nullptr;
    animationStart_ = 0;
    // Seam numbers belong to the topology that is being replaced.
    if (selectedSeam_ >= 0) {
        selectedSeam_ = -1;
        emit seamSelectionCleared();
    }
}

void Viewer2DUV::applyZoomToPens(double factor)
{
    const auto scaleWidth = [factor](auto* item) {
        QPen pen = item->pen();
        pen.setWidthF(pen.widthF() * factor);
        item->setPen(pen);
    };
    for (QGraphicsPathItem* item : seamPathItems_)
        scaleWidth(item);
    for (QGraphicsLineItem* item : boundaryLineItems_)
        scaleWidth(item);
    for (QGraphicsPathItem* item : chartSeamPaths_)
        scaleWidth(item);
}

void Viewer2DUV::setBackgroundGrid(bool enabled)
{
    if (!enabled) {
        scene_->setBackgroundBrush(Qt::NoBrush);
        return;
    }
    QBrush brush(checker_tile::decode());
    const double s = GridScale / viewZoom_;
    brush.setTransform(QTransform::fromScale(s, s));
    scene_->setBackgroundBrush(brush);
}

void Viewer2DUV::toggleBackgroundGrid(bool enabled)
{
    setBackgroundGrid(enabled);
}

void Viewer2DUV::selectSeam(int index)
{
    if (index < 0 || index >= seamPathItems_.size())
        return;
    emit selectedSeamChanged(seamLabel(index), static_cast<size_t>(index / 2));
    selectedSeam_ = index;
}

void Viewer2DUV::setSeamPairColor(int index, const QColor& colour)
{
    for (int i : {index, index ^ 1}) {
        if (i < 0 || i >= seamPathItems_.size())
            continue;
        QPen pen = seamPathItems_[i]->pen();
        pen.setColor(colour);
        seamPathItems_[i]->setPen(pen);
    }
}

void Viewer2DUV::clearSelection()
{
    if (selectedSeam_ >= 0) {
        const Rgb8 c = chartColor(static_cast<size_t>(selectedSeam_ / 2));
        setSeamPairColor(selectedSeam_, QColor(c.r, c.g, c.b));
        emit seamSelectionCleared();
    }
    selectedSeam_ = -1;
}

void Viewer2DUV::mousePressEvent(QMouseEvent* event)
{
    lastMousePos_ = event->pos();
    if (event->button() == Qt::LeftButton) {
        const int index = seamPathAt(event->pos());
        if (index < 0 || index != selectedSeam_)
            clearSelection();
        if (index >= 0)
            selectSeam(index);
    } else if (event->button() == Qt::MiddleButton) {
        panning_ = true;
        viewport()->setCursor(Qt::ClosedHandCursor);
    }
    event->accept();
}

void Viewer2DUV::mouseMoveEvent(QMouseEvent* event)
{
    if (panning_) {
        // The scene point under the last position follows the cursor.
        keepUnder(mapToScene(lastMousePos_), event->pos());
        showsFit_ = false;
    }
    lastMousePos_ = event->pos();
    event->accept();
}

void Viewer2DUV::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::MiddleButton) {
        panning_ = false;
        viewport()->setCursor(Qt::ArrowCursor);
    }
    event->accept();
}

void Viewer2DUV::wheelEvent(QWheelEvent* event)
{
    double s = 1.0 + ZoomPerDeltaUnit * event->angleDelta().y();
    if (!(s >= SmallestZoomStep))
        s = SmallestZoomStep;
    // Zoom about the cursor: the scene point under it stays put.
    const QPointF cursor = event->position();
    const QPointF anchor = mapToScene(cursor.toPoint());
    setViewZoom(viewZoom_ / s);
    scale(s, s);
    keepUnder(anchor, cursor);
    showsFit_ = false;
    event->accept();
}
