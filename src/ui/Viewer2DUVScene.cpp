// Scene building of the 2D view: atlas frame, seam edge strips, chart
// triangles, mesh boundary and the two paths of every seam, in that stacking
// order; or the raised drawing of one chart for the reattachment animation.
#include "ui/Viewer2DUV.h"

#include "app/pipeline.h"
#include "ui/SeamGeometry.h"

#include <QBrush>
#include <QGraphicsItemGroup>
#include <QGraphicsLineItem>
#include <QGraphicsPathItem>
#include <QGraphicsPolygonItem>
#include <QGraphicsRectItem>
#include <QGraphicsScene>
#include <QPainterPath>
#include <QPen>
#include <QPolygonF>

#include <algorithm>

namespace {

const QColor LineColor(60, 60, 60);
const QColor FrameColor(80, 80, 80);
// Triangles whose UV orientation differs from the rest of their chart.
const QColor FlipTint(230, 30, 30);

constexpr double FrameWidth = 0.000625;
constexpr double SeamEdgeWidth = 0.0005;
constexpr double LineWidth = 0.0025;
constexpr double RaisedSeamWidth = 0.00125;

QPen scenePen(const QColor& colour, double width)
{
    QPen pen(colour);
    pen.setWidthF(width);
    return pen;
}

struct SeamPaths {
    QPainterPath sideA;
    QPainterPath sideB;
    size_t chartA = 0;
    size_t chartB = 0;
    bool valid = false;
};

// Side (a) runs along the seam's halfedges in their charts, side (b) along the
// twins in theirs; both list the seam's vertices in the seam's direction.
SeamPaths buildSeamPaths(const SeamGeometry& geometry, size_t seam)
{
    SeamPaths paths;
    const std::vector<uint32_t> halfedges = geometry.seamHalfedges(seam);
    if (halfedges.empty())
        return paths;
    SeamGeometry::EdgeUV first;
    SeamGeometry::EdgeUV firstTwin;
    if (!geometry.edgeUV(halfedges.front(), first) || !geometry.edgeUV(twin(halfedges.front()), firstTwin))
        return paths;
    paths.chartA = first.chart;
    paths.chartB = firstTwin.chart;
    paths.sideA.moveTo(first.from);
    paths.sideA.lineTo(first.to);
    // The twin of an edge a->b runs b->a: its target is the copy of a.
    paths.sideB.moveTo(firstTwin.to);
    paths.sideB.lineTo(firstTwin.from);
    for (size_t i = 1; i < halfedges.size(); ++i) {
        SeamGeometry::EdgeUV edge;
        if (geometry.edgeUV(halfedges[i], edge))
            paths.sideA.lineTo(edge.to);
        if (geometry.edgeUV(twin(halfedges[i]), edge))
            paths.sideB.lineTo(edge.from);
    }
    paths.valid = true;
    return paths;
}

// Twice the signed UV area of the triangle whose corners start at entry t of
// triIndicesUV; 0 for corners out of range.
double uvCross(const Chart& ch, size_t t, size_t uvCount)
{
    double p[3][2];
    for (size_t k = 0; k < 3; ++k) {
        const uint32_t v = ch.triIndicesUV[t + k];
        if (v >= uvCount)
            return 0.0;
        p[k][0] = ch.uvCoords2D[2 * size_t(v)];
        p[k][1] = ch.uvCoords2D[2 * size_t(v) + 1];
    }
    return (p[1][0] - p[0][0]) * (p[2][1] - p[0][1]) - (p[1][1] - p[0][1]) * (p[2][0] - p[0][0]);
}

} // namespace

void Viewer2DUV::drawScene(int chart)
{
    if (!shown_)
        return;
    const Model& model = shown_->model;
    const MeshTopology& topo = shown_->topology;
    const SeamGeometry geometry(model, topo);
    const bool full = chart < 0;
    if (!full && static_cast<size_t>(chart) >= model.charts.size())
        return;
    const size_t boundaryCount =
        std::min<size_t>(static_cast<size_t>(topo.numBoundaryHalfedges), topo.boundaryAndSeamHalfedges.size());

    QList<QGraphicsItem*> raised;
    if (full) {
        dropSceneReferences();
        scene_->clear();
        ++fullRedrawCount_;
    } else if (movedChartGroup_) {
        // The previous raised drawing goes with all its items.
        chartSeamPaths_.clear();
        delete movedChartGroup_;
        movedChartGroup_ = nullptr;
        animationStart_ = 0;
    }
    chartSeamPaths_.clear();

    if (full) {
        // Atlas frame.
        const UVBox box = chartListUVBounds(model.charts);
        if (!box.isInverted()) {
            scene_->addRect(QRectF(box.minU, box.minV, box.width(), box.height()),
                            scenePen(FrameColor, FrameWidth), Qt::NoBrush);
        }
        // Seam edges as zero-width strips, chart by chart.
        std::vector<std::vector<SeamGeometry::EdgeUV>> byChart(model.charts.size());
        for (size_t i = boundaryCount; i < topo.boundaryAndSeamHalfedges.size(); ++i) {
            SeamGeometry::EdgeUV edge;
            if (geometry.edgeUV(topo.boundaryAndSeamHalfedges[i], edge))
                byChart[edge.chart].push_back(edge);
        }
        const QPen seamEdgePen = scenePen(LineColor, SeamEdgeWidth);
        for (const auto& edges : byChart) {
            for (const SeamGeometry::EdgeUV& edge : edges) {
                QPolygonF strip;
                strip << edge.to << edge.from << edge.from << edge.to;
                scene_->addPolygon(strip, seamEdgePen, QBrush(Qt::white));
            }
        }
    }

    // Charts.
    const size_t firstChart = full ? 0 : static_cast<size_t>(chart);
    const size_t endChart = full ? model.charts.size() : firstChart + 1;
    for (size_t c = firstChart; c < endChart; ++c) {
        const Chart& ch = model.charts[c];
        const QColor colour = chartDisplayColor(c);
        QPen pen(colour);
        pen.setWidth(0);
        const QBrush brush(colour);
        const size_t uvCount = ch.numUVVertices();
        if (ch.triIndicesUV.size() != ch.triIndicesPos.size())
            continue;
        // The orientation most of the chart's area has; the others are flipped.
        double signedArea = 0.0;
        for (size_t t = 0; t + 2 < ch.triIndicesUV.size(); t += 3)
            signedArea += uvCross(ch, t, uvCount);
        QPen flipPen(FlipTint);
        flipPen.setWidth(0);
        const QBrush flipBrush(FlipTint);
        for (size_t t = 0; t + 2 < ch.triIndicesUV.size(); t += 3) {
            QPolygonF triangle;
            bool inRange = true;
            for (size_t k = 0; k < 3; ++k) {
                const uint32_t v = ch.triIndicesUV[t + k];
                if (v >= uvCount) {
                    inRange = false;
                    break;
                }
                triangle << QPointF(ch.uvCoords2D[2 * size_t(v)], ch.uvCoords2D[2 * size_t(v) + 1]);
            }
            if (!inRange)
                continue;
            const bool flipped = uvCross(ch, t, uvCount) * signedArea < 0.0;
            QGraphicsPolygonItem* item =
                flipped ? scene_->addPolygon(triangle, flipPen, flipBrush) : scene_->addPolygon(triangle, pen, brush);
            if (!full)
                raised.append(item);
        }
    }

    if (full) {
        // Mesh boundary: the interior twin of every boundary halfedge.
        const QPen boundaryPen = scenePen(LineColor, LineWidth);
        for (size_t i = 0; i < boundaryCount; ++i) {
            SeamGeometry::EdgeUV edge;
            if (!geometry.edgeUV(twin(topo.boundaryAndSeamHalfedges[i]), edge))
                continue;
            boundaryLineItems_.append(scene_->addLine(QLineF(edge.from, edge.to), boundaryPen));
        }
    }

    // Seams.
    const QPen seamPen = scenePen(LineColor, full ? LineWidth : RaisedSeamWidth);
    for (size_t s = 0; s < geometry.numSeams(); ++s) {
        const SeamPaths paths = buildSeamPaths(geometry, s);
        if (full) {
            // Both entries are always made so that path 2k+side stays seam k.
            seamPathItems_.append(scene_->addPath(paths.sideA, seamPen));
            seamPathItems_.append(scene_->addPath(paths.sideB, seamPen));
            continue;
        }
        if (!paths.valid)
            continue;
        if (paths.chartA == static_cast<size_t>(chart)) {
            chartSeamPaths_.append(scene_->addPath(paths.sideA, seamPen));
            raised.append(chartSeamPaths_.back());
        }
        if (paths.chartB == static_cast<size_t>(chart)) {
            chartSeamPaths_.append(scene_->addPath(paths.sideB, seamPen));
            raised.append(chartSeamPaths_.back());
        }
    }

    if (full) {
        applyZoomToPens(viewZoom_);
        if (fitToAtlas_) {
            fitToView();
            fitToAtlas_ = false;
        } else {
            scene_->setSceneRect(layoutRect());
        }
        return;
    }

    // The raised seam paths follow the current zoom like the full drawing's.
    for (QGraphicsPathItem* item : chartSeamPaths_) {
        QPen pen = item->pen();
        pen.setWidthF(pen.widthF() * viewZoom_);
        item->setPen(pen);
    }
    movedChartGroup_ = scene_->createItemGroup(raised);
    movedChartGroup_->setZValue(1.0);
}
