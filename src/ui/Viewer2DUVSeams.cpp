// Seam operations of the 2D view: gluing two charts along the selected seam,
// previewing the reattachment as an animation, and the animation step that
// also pulses the selected seam.
#include "ui/Viewer2DUV.h"

#include "app/pipeline.h"
#include "topology/seams.h"
#include "ui/SeamGeometry.h"

#include <QDateTime>
#include <QGraphicsItemGroup>
#include <QGraphicsPathItem>
#include <QPen>
#include <QTransform>

#include <cmath>


namespace {

constexpr double AnimationDurationMs = 2000.0;
constexpr double HalfTurn = 3.141592653;
constexpr double PulsePi = 3.1415;

} // namespace

double Viewer2DUV::animationAngleAt(double theta, double f)
{
    if (theta <= HalfTurn)
        return theta * f;
    return 2.0 * (1.0 - f) * HalfTurn + theta * f;
}

void Viewer2DUV::updateAnimation()
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (selectedSeam_ >= 0 && selectedSeam_ < seamPathItems_.size()) {
        const double p = static_cast<double>(now % 2000) / 1000.0 - 1.0;
        const int intensity = static_cast<int>(255.0 * std::sin(PulsePi * std::fabs(p)));
        setSeamPairColor(selectedSeam_, QColor(intensity, intensity, 64, 255));
        viewport()->update();
    }
    if (movedChartGroup_ && animationStart_ != 0) {
        double f = static_cast<double>(now - animationStart_) / AnimationDurationMs;
        if (f > 1.0) {
            f = 1.0;
            animationStart_ = 0;
        }
        if (f < 0.0)
            f = 0.0; // a clock set back
        const double angle = animationAngleAt(animationAngle_, f);
        QTransform transform;
        transform.translate(animCx_, animCy_);
        transform.rotateRadians(angle);
        transform.translate(-animCx_, -animCy_);
        transform.translate(f * animDx_, f * animDy_);
        movedChartGroup_->setTransform(transform);
    }
}

void Viewer2DUV::reattachAlongCurrentSeam()
{
    if (!shown_ || selectedSeam_ < 0)
        return;
    const Model& model = shown_->model;
    SeamEnds ends;
    if (!findSeamEnds(shown_->topology, static_cast<size_t>(selectedSeam_ / 2), ends) ||
        ends.c1 >= model.charts.size() || ends.c2 >= model.charts.size())
        return;
    // The chart of the selected side stays; the other one moves onto it.
    const bool firstMoves = selectedSeam_ % 2 == 1;
    const size_t moving = static_cast<size_t>(firstMoves ? ends.c1 : ends.c2);
    const size_t fixed = static_cast<size_t>(firstMoves ? ends.c2 : ends.c1);
    const SeamAlignment alignment =
        firstMoves ? computeSeamAlignment(model.charts[moving].uvCoords2D, model.charts[fixed].uvCoords2D,
                                          ends.A1, ends.B1, ends.A2, ends.B2)
                   : computeSeamAlignment(model.charts[moving].uvCoords2D, model.charts[fixed].uvCoords2D,
                                          ends.A2, ends.B2, ends.A1, ends.B1);
    animationAngle_ = alignment.angle;
    animCx_ = static_cast<float>(alignment.anchorU);
    animCy_ = static_cast<float>(alignment.anchorV);
    animDx_ = static_cast<float>(alignment.translationU);
    animDy_ = static_cast<float>(alignment.translationV);
    drawScene(static_cast<int>(moving));
    animationStart_ = QDateTime::currentMSecsSinceEpoch();
}

void Viewer2DUV::glueCurrentSeam()
{
    if (!pipeline_ || modelLocked_ || selectedSeam_ < 0)
        return;
    Model& model = pipeline_->model();
    const SeamGeometry geometry(model, pipeline_->topology());
    const size_t seam = static_cast<size_t>(selectedSeam_ / 2);
    const bool side = selectedSeam_ % 2 == 1;
    const std::vector<uint32_t> halfedges = geometry.seamHalfedges(seam);
    size_t c1 = 0;
    size_t c2 = 0;
    if (halfedges.empty() || !geometry.edgeChart(halfedges.front(), c1) ||
        !geometry.edgeChart(twin(halfedges.front()), c2))
        return;
    if (c1 == c2) {
        if (warningHook_)
            warningHook_(this, QStringLiteral("Gluing Not Permitted"),
                         QStringLiteral("Cannot glue this seam segment:\nCurrently only supported for different charts."));
        return;
    }
    const uint32_t g = halfedges.front();
    const HalfedgeMesh& joined = pipeline_->topology().joinedMesh;
    const uint32_t a = joined.source(g);
    const uint32_t b = joined.halfedges[g].to;
    clearSelection();
    std::optional<Chart> glued = glueAlongSeam(model.charts, a, b, pipeline_->topology(), side);
    if (!glued)
        return;
    ChartList charts;
    charts.reserve(model.charts.size() - 1);
    for (size_t c = 0; c < model.charts.size(); ++c) {
        if (c != c1 && c != c2)
            charts.push_back(std::move(model.charts[c]));
    }
    charts.push_back(std::move(*glued));
    model.charts = std::move(charts);
    updateDisplay(true);
}
