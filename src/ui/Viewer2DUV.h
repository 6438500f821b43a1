#pragma once

#include "model/iuv_vector.h"
#include "model/model.h"
#include "model/stats.h"
#include "topology/mesh_topology.h"

#include <QGraphicsView>
#include <QList>
#include <QByteArray>
#include <QPoint>
#include <QPointF>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class Pipeline;
class QGraphicsItem;
class QGraphicsItemGroup;
class QGraphicsPathItem;
class QGraphicsLineItem;
class QGraphicsScene;
class QKeyEvent;
class QMouseEvent;
class QResizeEvent;
class QTimer;
class QWheelEvent;

// What the view draws: a copy of the pipeline's model and topology taken at a
// display update, so that the pipeline may go on changing its own on a worker
// thread while the view shows (and picks seams in) the last consistent layout.
struct DisplayData {
    Model model;
    MeshTopology topology;
};

// Shows a modal message box (or, in tests, records it). Arguments: the parent
// widget, the title and the text.
using MessageBoxHook = std::function<void(QWidget*, const QString&, const QString&)>;

// The 2D view of the texture atlas. It draws the model of the pipeline it is
// given (charts as coloured triangles, seams, mesh boundary), pans and zooms,
// picks seams with the mouse, pulses the selected seam, animates a chart
// reattached along the selected seam and glues charts along it. After every
// display update it publishes the statistics and the merged mesh.
class Viewer2DUV : public QGraphicsView {
    Q_OBJECT

public:
    // The parent is not passed on: the view is placed by its container.
    explicit Viewer2DUV(QWidget* parent = nullptr);
    ~Viewer2DUV() override;

    // The pipeline whose model the view shows and changes (not owned).
    void setPipeline(Pipeline* pipeline) { pipeline_ = pipeline; }
    Pipeline* pipeline() const { return pipeline_; }

    // Whether loadModel waits for viewer3DReady(). Off in batch mode and where
    // no OpenGL view can report readiness; turning it off loads a waiting file.
    void setWaitFor3DView(bool wait);
    bool waitsFor3DView() const { return waitFor3DView_; }
    bool is3DReady() const { return ready3D_; }
    const QByteArray& pendingModelFile() const { return pendingModelFile_; }

    // Called by the owner of the pipeline when a display update ran: emits
    // statsChanged and, with dirty UV data, meshDataChanged and redraws. The
    // two-argument form copies the pipeline's model (on the GUI thread, while
    // no run is going on); data is a copy taken where the update ran.
    void showDisplayUpdate(bool dirtyUVData, const UnwrappingStats& stats);
    void showDisplayUpdate(bool dirtyUVData, const UnwrappingStats& stats,
                           std::shared_ptr<const DisplayData> data);
    // The layout of a refinement iteration during a run: like a display update
    // with dirty UV data, but the view fits it only while it shows the last
    // fit (a zoom or pan made during the run stays).
    void showIterationUpdate(const UnwrappingStats& stats, std::shared_ptr<const DisplayData> data);
    // Copies the pipeline's current model and topology.
    static std::shared_ptr<const DisplayData> captureDisplayData(const Pipeline& pipeline);
    // The layout drawn now (null before the first display update).
    const DisplayData* shownData() const { return shown_.get(); }

    // While locked (a run owns the pipeline) the view changes nothing in the
    // model: gluing and display updates through its slots are ignored.
    void setModelLocked(bool locked) { modelLocked_ = locked; }
    bool modelLocked() const { return modelLocked_; }
    // Called when a model was loaded: emits positions3DChanged.
    void showNewPositions(const iuv::DoubleVector& sharedPositions);

    // Glues the two charts along the selected seam; the glued chart goes last.
    void glueCurrentSeam();

    // The refused-glue warning; the default shows a QMessageBox::warning.
    void setWarningHook(MessageBoxHook hook) { warningHook_ = std::move(hook); }

    // Read access for the owner and tests.
    double viewZoom() const { return viewZoom_; }
    int selectedSeamIndex() const { return selectedSeam_; }
    const QList<QGraphicsPathItem*>& seamPathItems() const { return seamPathItems_; }
    const QList<QGraphicsPathItem*>& chartSeamPaths() const { return chartSeamPaths_; }
    const QList<QGraphicsLineItem*>& boundaryLineItems() const { return boundaryLineItems_; }
    QGraphicsItemGroup* movedChartGroup() const { return movedChartGroup_; }
    bool animationRunning() const { return animationStart_ != 0; }
    double animationAngle() const { return animationAngle_; }
    QPointF animationCentre() const { return QPointF(animCx_, animCy_); }
    QPointF animationShift() const { return QPointF(animDx_, animDy_); }
    // Number of full redraws so far.
    int fullRedrawCount() const { return fullRedrawCount_; }

    // The seam path within PickTolerancePx pixels of a viewport point (the
    // nearest one), or -1.
    int seamPathAt(const QPoint& viewportPos) const;
    static constexpr double PickTolerancePx = 5.0;
    // The drawing's scene rectangle: every item with a margin around it.
    QRectF layoutRect() const;

    // The chart colour of the view: the palette colour after the gamma step.
    static QColor chartDisplayColor(size_t chartIndex);
    // The label of seam path i: "Seam #<i/2>" followed by "(a)" or "(b)".
    static QString seamLabel(int pathIndex);
    // The angle of the moving chart at animation fraction f for the final
    // angle theta (the rotation takes the shorter direction).
    static double animationAngleAt(double theta, double f);

signals:
    void selectedSeamChanged(QString label, size_t seamIdx);
    void seamSelectionCleared();
    void meshDataChanged(const iuv::UIntVector& triIndicesPos, const iuv::DoubleVector& sharedPositions,
                         const iuv::UIntVector& triIndicesUV, const iuv::DoubleVector& uvCoords2D,
                         const iuv::UIntVector& lineIndicesBEdges, size_t numBoundaryEdges3D,
                         const std::vector<size_t>& seamEdgeSegmentOffsets,
                         const std::vector<size_t>& numTrianglesPerChart);
    void positions3DChanged(const iuv::DoubleVector& positions3D);
    void statsChanged(const UnwrappingStats& stats);

public slots:
    void loadModel(const char* filenameOBJ, bool repack = true);
    void clearSelection();
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void updateAnimation();
    void reattachAlongCurrentSeam();
    void viewer3DReady();
    void toggleBackgroundGrid(bool enabled);
    void updateDisplay(bool dirtyUVData = true);
    // Fits the whole layout into the view, v pointing up (also F and Home).
    void fitToView();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Full redraw for chart -1, otherwise the raised drawing of one chart.
    void drawScene(int chart);
    void applyZoomToPens(double factor);
    void setBackgroundGrid(bool enabled);
    void selectSeam(int index);
    // Sets viewZoom, rescaling the pens (and the background grid) with it.
    void setViewZoom(double zoom);
    // Shifts the view so that scenePoint lies under viewportPos again.
    void keepUnder(const QPointF& scenePoint, const QPointF& viewportPos);
    void setSeamPairColor(int index, const QColor& colour);
    // Forgets every pointer into the scene (before the scene is cleared).
    void dropSceneReferences();
    // Publishes the statistics and, given data, the merged mesh, and redraws.
    void presentLayout(bool dirtyUVData, const UnwrappingStats& stats, std::shared_ptr<const DisplayData> data);

    QGraphicsScene* scene_ = nullptr;
    Pipeline* pipeline_ = nullptr;
    std::shared_ptr<const DisplayData> shown_;
    bool modelLocked_ = false;

    QList<QGraphicsPathItem*> seamPathItems_;
    QList<QGraphicsPathItem*> chartSeamPaths_;
    QList<QGraphicsLineItem*> boundaryLineItems_;
    QGraphicsItemGroup* movedChartGroup_ = nullptr;
    int selectedSeam_ = -1;
    double viewZoom_ = 1.0;

    qint64 animationStart_ = 0;
    double animationAngle_ = 0.0;
    float animCx_ = 0.0f;
    float animCy_ = 0.0f;
    float animDx_ = 0.0f;
    float animDy_ = 0.0f;
    QTimer* animationTimer_ = nullptr;

    bool panning_ = false;
    bool fitToAtlas_ = true;
    // The view shows the last fit unchanged (no zoom or pan since): a resize
    // fits again.
    bool showsFit_ = false;
    QPoint lastMousePos_;
    bool ready3D_ = false;
    bool waitFor3DView_ = true;
    QByteArray pendingModelFile_;
    int fullRedrawCount_ = 0;
    qint64 creationTime_ = 0;

    MessageBoxHook warningHook_;
};
