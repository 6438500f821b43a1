// Navigation of the 2D view: fitting the layout (v up), keeping the scene
// point under the cursor while zooming, and picking seam paths by distance.
#include "ui/Viewer2DUV.h"

#include <QGraphicsPathItem>
#include <QGraphicsScene>
#include <QKeyEvent>
#include <QPainterPath>
#include <QPen>
#include <QResizeEvent>
#include <QScrollBar>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Share of the layout's larger side left free around it.
constexpr double MarginShare = 0.05;

double distanceToSegment(const QPointF& p, const QPointF& a, const QPointF& b)
{
    const QPointF ab = b - a;
    const double len2 = QPointF::dotProduct(ab, ab);
    double t = len2 > 0.0 ? QPointF::dotProduct(p - a, ab) / len2 : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    const QPointF d = p - (a + t * ab);
    return std::sqrt(QPointF::dotProduct(d, d));
}

double distanceToPolyline(const QPointF& p, const QPainterPath& path)
{
    double best = std::numeric_limits<double>::infinity();
    for (int i = 1; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        if (!e.isLineTo())
            continue;
        const QPainterPath::Element prev = path.elementAt(i - 1);
        best = std::min(best, distanceToSegment(p, QPointF(prev.x, prev.y), QPointF(e.x, e.y)));
    }
    return best;
}

} // namespace

QRectF Viewer2DUV::layoutRect() const
{
    QRectF items = scene_->itemsBoundingRect();
    if (items.isNull())
        return QRectF();
    const double m = MarginShare * std::max(items.width(), items.height());
    const double margin = m > 0.0 ? m : 0.05;
    return items.adjusted(-margin, -margin, margin, margin);
}

void Viewer2DUV::fitToView()
{
    const QRectF rect = layoutRect();
    if (rect.isNull() || !(rect.width() > 0.0) || !(rect.height() > 0.0))
        return;
    scene_->setSceneRect(rect);
    const QSize area = viewport()->size();
    if (area.isEmpty())
        return;
    const double s = std::min(area.width() / rect.width(), area.height() / rect.height());
    if (!(s > 0.0) || !std::isfinite(s))
        return;
    // v grows upwards, as in the 3D view's checker and the atlas drawing.
    setTransform(QTransform(s, 0.0, 0.0, -s, 0.0, 0.0));
    centerOn(rect.center());
    // Lines keep the on-screen width they have with the unit square fitted.
    setViewZoom(std::min(area.width(), area.height()) / s);
    showsFit_ = true;
}

void Viewer2DUV::setViewZoom(double zoom)
{
    if (!(zoom > 0.0) || !std::isfinite(zoom))
        return;
    applyZoomToPens(1.0 / viewZoom_);
    viewZoom_ = zoom;
    applyZoomToPens(viewZoom_);
    if (scene_->backgroundBrush().style() != Qt::NoBrush)
        setBackgroundGrid(true);
}

void Viewer2DUV::keepUnder(const QPointF& scenePoint, const QPointF& viewportPos)
{
    const QPointF d = mapToScene(viewportPos.toPoint()) - scenePoint;
    const QPointF centre = mapToScene(viewport()->rect().center()) - d;
    // The scene rectangle grows to what will be visible, so that the view can
    // go anywhere near the layout, also when it is smaller than the view.
    const QRectF visible = mapToScene(viewport()->rect()).boundingRect().translated(-d);
    scene_->setSceneRect(layoutRect().united(visible));
    centerOn(centre);
}

int Viewer2DUV::seamPathAt(const QPoint& viewportPos) const
{
    const QPointF p = mapToScene(viewportPos);
    const double pixelsPerUnit = std::abs(transform().m11());
    if (!(pixelsPerUnit > 0.0))
        return -1;
    const double tolerance = PickTolerancePx / pixelsPerUnit;
    int best = -1;
    double bestDistance = tolerance;
    for (int i = 0; i < seamPathItems_.size(); ++i) {
        const double d = distanceToPolyline(p, seamPathItems_[i]->path());
        if (d <= bestDistance) {
            if (best >= 0 && d == bestDistance)
                continue;
            best = i;
            bestDistance = d;
        }
    }
    return best;
}

void Viewer2DUV::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F || event->key() == Qt::Key_Home) {
        fitToView();
        event->accept();
        return;
    }
    QGraphicsView::keyPressEvent(event);
}

void Viewer2DUV::resizeEvent(QResizeEvent* event)
{
    QGraphicsView::resizeEvent(event);
    if (showsFit_)
        fitToView();
}
