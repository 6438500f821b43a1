// Display updates of the 2D view: signals, payload, scene contents, fitting.
#include "ui_test_support.h"

#include "ui/CheckerTile.h"
#include "topology/seams.h"

#include <QGraphicsLineItem>
#include <QGraphicsPathItem>
#include <QGraphicsPolygonItem>
#include <QGraphicsRectItem>
#include <QGraphicsScene>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using uitest::ViewHarness;

namespace {

struct Payload {
    int count = 0;
    iuv::UIntVector triIndicesPos;
    iuv::DoubleVector sharedPositions;
    iuv::UIntVector triIndicesUV;
    iuv::DoubleVector uvCoords2D;
    iuv::UIntVector lines;
    size_t numBoundary = 0;
    std::vector<size_t> seamLengths;
    std::vector<size_t> trianglesPerChart;
};

void recordPayload(Viewer2DUV* view, Payload& payload)
{
    QObject::connect(view, &Viewer2DUV::meshDataChanged, view,
                     [&payload](const iuv::UIntVector& tp, const iuv::DoubleVector& sp, const iuv::UIntVector& tu,
                                const iuv::DoubleVector& uv, const iuv::UIntVector& lines, size_t nb,
                                const std::vector<size_t>& seams, const std::vector<size_t>& perChart) {
                         ++payload.count;
                         payload.triIndicesPos = tp;
                         payload.sharedPositions = sp;
                         payload.triIndicesUV = tu;
                         payload.uvCoords2D = uv;
                         payload.lines = lines;
                         payload.numBoundary = nb;
                         payload.seamLengths = seams;
                         payload.trianglesPerChart = perChart;
                     });
}

} // namespace

TEST(Viewer2DDisplay, UpdateWithoutDirtyDataEmitsStatisticsOnly)
{
    ViewHarness h;
    h.setModel(uitest::quadStrip(5));
    int stats = 0;
    UnwrappingStats last;
    QObject::connect(h.view.get(), &Viewer2DUV::statsChanged, h.view.get(), [&](const UnwrappingStats& s) {
        ++stats;
        last = s;
    });
    Payload payload;
    recordPayload(h.view.get(), payload);
    const int redraws = h.view->fullRedrawCount();

    h.view->updateDisplay(false);
    EXPECT_EQ(stats, 1);
    EXPECT_EQ(payload.count, 0);
    EXPECT_EQ(h.view->fullRedrawCount(), redraws);
    EXPECT_EQ(last.numCharts, 5u);
    EXPECT_EQ(last.numTriangles, 10u);
    EXPECT_EQ(last.numVertices, 12u);

    h.view->updateDisplay(true);
    EXPECT_EQ(stats, 2);
    EXPECT_EQ(payload.count, 1);
    EXPECT_EQ(h.view->fullRedrawCount(), redraws + 1);
}

TEST(Viewer2DDisplay, PayloadSizesAgree)
{
    ViewHarness h;
    Payload payload;
    recordPayload(h.view.get(), payload);
    h.setModel(uitest::quadStrip(5));
    ASSERT_EQ(payload.count, 1);

    EXPECT_EQ(payload.triIndicesPos.size(), 30u);
    EXPECT_EQ(payload.triIndicesUV.size(), 30u);
    EXPECT_EQ(payload.uvCoords2D.size(), 40u);
    EXPECT_EQ(payload.sharedPositions.size(), 36u);
    for (uint32_t v : payload.triIndicesUV)
        EXPECT_LT(v, 20u);
    EXPECT_EQ(payload.trianglesPerChart, std::vector<size_t>(5, 2));
    // Outline of the strip: 2 * 5 + 2 edges; four inner edges of one halfedge each.
    EXPECT_EQ(payload.numBoundary, 12u);
    EXPECT_EQ(payload.seamLengths, std::vector<size_t>(4, 1));
    EXPECT_EQ(payload.lines.size(), 2 * (12u + 4u));
    for (uint32_t v : payload.lines)
        EXPECT_LT(v, 12u);
    // Every seam line joins a bottom and a top vertex of the same column.
    for (size_t i = 2 * payload.numBoundary; i < payload.lines.size(); i += 2)
        EXPECT_EQ(payload.lines[i] / 2, payload.lines[i + 1] / 2);
}

TEST(Viewer2DDisplay, SceneHoldsItemsInStackingOrder)
{
    ViewHarness h;
    h.setModel(uitest::quadStrip(5));
    const QList<QGraphicsItem*> items = h.view->scene()->items(Qt::AscendingOrder);
    // Frame, 4 seam strips, 10 triangles, 12 boundary lines, 8 seam paths.
    ASSERT_EQ(items.size(), 1 + 4 + 10 + 12 + 8);
    EXPECT_NE(qgraphicsitem_cast<QGraphicsRectItem*>(items[0]), nullptr);
    for (int i = 1; i < 15; ++i)
        EXPECT_NE(qgraphicsitem_cast<QGraphicsPolygonItem*>(items[i]), nullptr) << i;
    for (int i = 15; i < 27; ++i)
        EXPECT_NE(qgraphicsitem_cast<QGraphicsLineItem*>(items[i]), nullptr) << i;
    for (int i = 27; i < 35; ++i)
        EXPECT_EQ(items[i], h.view->seamPathItems()[i - 27]);
    EXPECT_EQ(h.view->boundaryLineItems().size(), 12);

    // Triangles carry the gamma-corrected chart colour, pen and brush alike.
    auto* triangle = qgraphicsitem_cast<QGraphicsPolygonItem*>(items[5]);
    EXPECT_EQ(triangle->brush().color(), Viewer2DUV::chartDisplayColor(0));
    EXPECT_EQ(triangle->pen().color(), Viewer2DUV::chartDisplayColor(0));
}

TEST(Viewer2DDisplay, SeamPathsFollowBothSidesOfTheSeam)
{
    ViewHarness h;
    h.setModel(uitest::quadStrip(5));
    ASSERT_EQ(h.pipeline.topology().numSeams(), 4u);
    for (size_t s = 0; s < 4; ++s) {
        SeamEnds ends;
        ASSERT_TRUE(findSeamEnds(h.pipeline.topology(), s, ends));
        EXPECT_NE(ends.c1, ends.c2);
        const Chart& c1 = h.pipeline.model().charts[ends.c1];
        const Chart& c2 = h.pipeline.model().charts[ends.c2];
        const QPainterPath a = h.view->seamPathItems()[int(2 * s)]->path();
        const QPainterPath b = h.view->seamPathItems()[int(2 * s + 1)]->path();
        ASSERT_EQ(a.elementCount(), 2);
        ASSERT_EQ(b.elementCount(), 2);
        EXPECT_EQ(QPointF(a.elementAt(0)), QPointF(c1.uvCoords2D[2 * ends.A1], c1.uvCoords2D[2 * ends.A1 + 1]));
        EXPECT_EQ(QPointF(a.elementAt(1)), QPointF(c1.uvCoords2D[2 * ends.B1], c1.uvCoords2D[2 * ends.B1 + 1]));
        EXPECT_EQ(QPointF(b.elementAt(0)), QPointF(c2.uvCoords2D[2 * ends.A2], c2.uvCoords2D[2 * ends.A2 + 1]));
        EXPECT_EQ(QPointF(b.elementAt(1)), QPointF(c2.uvCoords2D[2 * ends.B2], c2.uvCoords2D[2 * ends.B2 + 1]));
    }
}

TEST(Viewer2DDisplay, FullRedrawDropsSelection)
{
    ViewHarness h;
    h.setModel(uitest::quadStrip(3));
    int cleared = 0;
    QObject::connect(h.view.get(), &Viewer2DUV::seamSelectionCleared, h.view.get(), [&] { ++cleared; });
    h.clickScene(h.view->seamPathItems()[1]->path().pointAtPercent(0.5));
    ASSERT_EQ(h.view->selectedSeamIndex(), 1);
    h.view->updateDisplay(true);
    EXPECT_EQ(h.view->selectedSeamIndex(), -1);
    EXPECT_EQ(cleared, 1);
    h.view->updateAnimation(); // must not touch the deleted paths
}

TEST(Viewer2DDisplay, EmptyAndBrokenModelsDrawWithoutFault)
{
    ViewHarness h;
    h.setModel(Model());
    EXPECT_TRUE(h.view->seamPathItems().isEmpty());
    EXPECT_TRUE(h.view->scene()->items().isEmpty());

    // A chart list changed behind the topology's back: the redraw checks
    // every index instead of trusting the stale topology.
    h.setModel(uitest::quadStrip(4));
    Model& model = h.pipeline.model();
    model.charts.resize(2);
    model.charts[1].uvCoords2D.resize(4);
    h.view->showDisplayUpdate(true, UnwrappingStats());
    h.view->showDisplayUpdate(true, UnwrappingStats());

    // Non-finite coordinates.
    Model bad = uitest::quadStrip(2);
    bad.charts[0].uvCoords2D[0] = std::numeric_limits<double>::quiet_NaN();
    bad.charts[1].uvCoords2D[3] = std::numeric_limits<double>::infinity();
    h.setModel(std::move(bad));
    h.view->viewport()->repaint();
}

TEST(CheckerTile, DecodesToAnEightPixelCheckerboard)
{
    const QImage tile = checker_tile::decode();
    ASSERT_FALSE(tile.isNull());
    ASSERT_EQ(tile.width(), 64);
    ASSERT_EQ(tile.height(), 64);
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x) {
            const int expected = ((x / 8 + y / 8) % 2 == 0) ? 252 : 192;
            ASSERT_EQ(tile.pixelColor(x, y), QColor(expected, expected, expected)) << x << "," << y;
        }
    }
}
