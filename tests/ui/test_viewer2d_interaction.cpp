// Mouse, wheel, seam selection, glue, reattachment and loading of the 2D view.
#include "ui_test_support.h"

#include "io/palette.h"
#include "topology/seams.h"

#include <QApplication>
#include <QGraphicsItemGroup>
#include <QGraphicsPathItem>
#include <QGraphicsScene>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <cmath>

using uitest::ViewHarness;

namespace {

struct SelectionLog {
    QStringList labels;
    std::vector<size_t> indices;
    int cleared = 0;
};

void recordSelection(Viewer2DUV* view, SelectionLog& log)
{
    QObject::connect(view, &Viewer2DUV::selectedSeamChanged, view, [&log](QString label, size_t idx) {
        log.labels << label;
        log.indices.push_back(idx);
    });
    QObject::connect(view, &Viewer2DUV::seamSelectionCleared, view, [&log] { ++log.cleared; });
}

QPointF middleOfPath(Viewer2DUV* view, int index)
{
    return view->seamPathItems()[index]->path().pointAtPercent(0.5);
}

void sendWheel(Viewer2DUV* view, int delta)
{
    const QPointF pos = view->viewport()->rect().center();
    QWheelEvent event(pos, view->viewport()->mapToGlobal(pos.toPoint()), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view->viewport(), &event);
}

} // namespace

TEST(Viewer2DSeams, ClickingSideBOfSegmentThreeSelectsIt)
{
    ViewHarness h;
    h.setModel(uitest::quadStrip(5));
    ASSERT_EQ(h.view->seamPathItems().size(), 8);
    SelectionLog log;
    recordSelection(h.view.get(), log);

    h.clickScene(middleOfPath(h.view.get(), 7));
    ASSERT_EQ(log.labels.size(), 1);
    EXPECT_EQ(log.labels[0], QString("Seam #3(b)"));
    EXPECT_EQ(log.indices[0], 3u);
    EXPECT_EQ(h.view->selectedSeamIndex(), 7);
    EXPECT_EQ(log.cleared, 0);

    h.clickScene(middleOfPath(h.view.get(), 4));
    EXPECT_EQ(log.labels.back(), QString("Seam #2(a)"));
    EXPECT_EQ(log.cleared, 1);
}

TEST(Viewer2DSeams, ClickingEmptySpaceClearsOnce)
{
    ViewHarness h;
    h.setModel(uitest::quadStrip(5));
    SelectionLog log;
    recordSelection(h.view.get(), log);
    const QPointF empty(0.5, 0.9); // below the strip, outside the atlas frame

    h.clickScene(empty);
    EXPECT_EQ(log.cleared, 0);
    h.clickScene(middleOfPath(h.view.get(), 2));
    ASSERT_EQ(h.view->selectedSeamIndex(), 2);
    h.clickScene(empty);
    EXPECT_EQ(log.cleared, 1);
    EXPECT_EQ(h.view->selectedSeamIndex(), -1);
    h.clickScene(empty);
    EXPECT_EQ(log.cleared, 1);

    // Clicking a chart is not a seam either.
    h.clickScene(middleOfPath(h.view.get(), 2));
    h.clickScene(QPointF(0.05, 0.05));
    EXPECT_EQ(log.cleared, 2);
}

TEST(Viewer2DSeams, SelectedSeamPulsesAndTakesItsPaletteColourWhenCleared)
{
    ViewHarness h;
    h.setModel(uitest::quadStrip(5));
    h.clickScene(middleOfPath(h.view.get(), 7));
    const double width = h.view->seamPathItems()[7]->pen().widthF();
    h.view->updateAnimation();
    for (int i : {6, 7}) {
        const QPen pen = h.view->seamPathItems()[i]->pen();
        EXPECT_EQ(pen.color().blue(), 64);
        EXPECT_EQ(pen.color().red(), pen.color().green());
    }
    EXPECT_DOUBLE_EQ(h.view->seamPathItems()[7]->pen().widthF(), width);

    h.view->clearSelection();
    const Rgb8 c = chartColor(3);
    for (int i : {6, 7})
        EXPECT_EQ(h.view->seamPathItems()[i]->pen().color(), QColor(c.r, c.g, c.b));
    // Other seams keep their drawing colour.
    EXPECT_EQ(h.view->seamPathItems()[5]->pen().color(), QColor(60, 60, 60));
}

TEST(Viewer2DSeams, GlueWithinOneChartWarnsAndChangesNothing)
{
    ViewHarness h;
    h.setModel(uitest::chartWithInternalCut());
    ASSERT_EQ(h.view->seamPathItems().size(), 2);
    QStringList warnings;
    QWidget* parent = nullptr;
    h.view->setWarningHook([&](QWidget* p, const QString& title, const QString& text) {
        parent = p;
        warnings << title << text;
    });
    int stats = 0;
    QObject::connect(h.view.get(), &Viewer2DUV::statsChanged, h.view.get(), [&] { ++stats; });
    const ChartList before = h.pipeline.model().charts;

    h.view->glueCurrentSeam(); // nothing selected: nothing happens
    EXPECT_TRUE(warnings.isEmpty());

    h.clickScene(middleOfPath(h.view.get(), 1));
    ASSERT_EQ(h.view->selectedSeamIndex(), 1);
    h.view->glueCurrentSeam();
    ASSERT_EQ(warnings.size(), 2);
    EXPECT_EQ(warnings[0], QString("Gluing Not Permitted"));
    EXPECT_EQ(warnings[1], QString("Cannot glue this seam segment:\nCurrently only supported for different charts."));
    EXPECT_EQ(parent, h.view.get());
    EXPECT_EQ(stats, 0);
    const ChartList& after = h.pipeline.model().charts;
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(after[0].triIndicesUV, before[0].triIndicesUV);
    EXPECT_EQ(after[0].uvCoords2D, before[0].uvCoords2D);
}

TEST(Viewer2DSeams, GlueOfTwoChartsPutsTheGluedChartLast)
{
    ViewHarness h;
    h.setModel(uitest::quadStrip(5));
    const ChartList before = h.pipeline.model().charts;
    SeamEnds ends;
    ASSERT_TRUE(findSeamEnds(h.pipeline.topology(), 1, ends));
    h.view->setWarningHook([](QWidget*, const QString&, const QString&) { FAIL() << "unexpected warning"; });
    SelectionLog log;
    recordSelection(h.view.get(), log);

    h.clickScene(middleOfPath(h.view.get(), 2));
    ASSERT_EQ(h.view->selectedSeamIndex(), 2);
    h.view->glueCurrentSeam();

    const ChartList& after = h.pipeline.model().charts;
    ASSERT_EQ(after.size(), 4u);
    size_t k = 0;
    for (size_t c = 0; c < before.size(); ++c) {
        if (c == ends.c1 || c == ends.c2)
            continue;
        EXPECT_EQ(after[k].triIndicesPos, before[c].triIndicesPos);
        EXPECT_EQ(after[k].uvCoords2D, before[c].uvCoords2D);
        ++k;
    }
    const Chart& glued = after.back();
    EXPECT_EQ(glued.numTriangles(), 4u);
    EXPECT_EQ(glued.numUVVertices(), 6u); // 4 + 4 minus the two seam vertices
    EXPECT_EQ(h.view->selectedSeamIndex(), -1);
    EXPECT_GE(log.cleared, 1);
    EXPECT_EQ(h.view->seamPathItems().size(), 6); // the display was rebuilt
}

TEST(Viewer2DSeams, ReattachmentAnimatesOnlyTheMovingChart)
{
    ViewHarness h;
    h.setModel(uitest::quadStrip(3));
    const ChartList before = h.pipeline.model().charts;
    h.view->reattachAlongCurrentSeam(); // nothing selected
    EXPECT_EQ(h.view->movedChartGroup(), nullptr);

    SeamEnds ends;
    ASSERT_TRUE(findSeamEnds(h.pipeline.topology(), 0, ends));
    h.clickScene(middleOfPath(h.view.get(), 1)); // side (b): chart c1 moves onto c2
    h.view->reattachAlongCurrentSeam();
    QGraphicsItemGroup* group = h.view->movedChartGroup();
    ASSERT_NE(group, nullptr);
    EXPECT_DOUBLE_EQ(group->zValue(), 1.0);
    EXPECT_TRUE(h.view->animationRunning());
    // Two triangles and the seam paths of the moving chart.
    EXPECT_EQ(group->childItems().size(), 2 + h.view->chartSeamPaths().size());
    EXPECT_FALSE(h.view->chartSeamPaths().isEmpty());

    // A second reattachment replaces the raised drawing.
    h.view->reattachAlongCurrentSeam();
    int groups = 0;
    for (QGraphicsItem* item : h.view->scene()->items())
        groups += item->type() == QGraphicsItemGroup::Type;
    EXPECT_EQ(groups, 1);
    group = h.view->movedChartGroup();

    ASSERT_TRUE(uitest::waitUntil([&] { return !h.view->animationRunning(); }, 4000));
    // The last frame lays the moving side onto the fixed one (up to the
    // single precision of the stored centre and shift).
    const Chart& moving = before[ends.c1];
    const Chart& fixed = before[ends.c2];
    const auto uv = [](const Chart& c, uint32_t v) { return QPointF(c.uvCoords2D[2 * v], c.uvCoords2D[2 * v + 1]); };
    const QPointF a = group->transform().map(uv(moving, ends.A1));
    const QPointF b = group->transform().map(uv(moving, ends.B1));
    EXPECT_NEAR(a.x(), uv(fixed, ends.A2).x(), 1e-4);
    EXPECT_NEAR(a.y(), uv(fixed, ends.A2).y(), 1e-4);
    EXPECT_NEAR(b.x(), uv(fixed, ends.B2).x(), 1e-4);
    EXPECT_NEAR(b.y(), uv(fixed, ends.B2).y(), 1e-4);
    // The chart data stay as they were.
    EXPECT_EQ(h.pipeline.model().charts[ends.c1].uvCoords2D, moving.uvCoords2D);
}

TEST(Viewer2DZoom, WheelNotchScalesByOnePointTwelveAndKeepsLineWidthOnScreen)
{
    ViewHarness h;
    h.setModel(uitest::quadStrip(5));
    const double scale0 = h.view->transform().m11();
    const double scaleV0 = h.view->transform().m22();
    const double zoom0 = h.view->viewZoom();
    const double seam0 = h.view->seamPathItems()[0]->pen().widthF();
    const double line0 = h.view->boundaryLineItems()[0]->pen().widthF();

    sendWheel(h.view.get(), 120);
    EXPECT_NEAR(h.view->transform().m11() / scale0, 1.12, 1e-12);
    EXPECT_NEAR(h.view->transform().m22() / scaleV0, 1.12, 1e-12);
    EXPECT_NEAR(h.view->viewZoom(), zoom0 / 1.12, 1e-12);
    EXPECT_NEAR(h.view->seamPathItems()[0]->pen().widthF() * h.view->transform().m11(), seam0 * scale0, 1e-9);
    EXPECT_NEAR(h.view->boundaryLineItems()[0]->pen().widthF() * h.view->transform().m11(), line0 * scale0, 1e-9);

    sendWheel(h.view.get(), -120);
    EXPECT_NEAR(h.view->viewZoom(), zoom0 / (1.12 * 0.88), 1e-12);
    EXPECT_NEAR(h.view->seamPathItems()[0]->pen().widthF() * h.view->transform().m11(), seam0 * scale0, 1e-9);

    // A huge turn backwards never flips or collapses the view.
    sendWheel(h.view.get(), -5000);
    EXPECT_GT(h.view->transform().m11(), 0.0);
    EXPECT_TRUE(std::isfinite(h.view->viewZoom()));
    EXPECT_GT(h.view->viewZoom(), 0.0);
}

TEST(Viewer2DZoom, BackgroundGridFollowsTheZoom)
{
    ViewHarness h;
    h.setModel(uitest::quadStrip(2));
    EXPECT_EQ(h.view->scene()->backgroundBrush().style(), Qt::NoBrush);
    h.view->toggleBackgroundGrid(true);
    QBrush brush = h.view->scene()->backgroundBrush();
    EXPECT_EQ(brush.style(), Qt::TexturePattern);
    EXPECT_NEAR(brush.transform().m11(), 3.10585 / (h.view->viewZoom() * 1024.0), 1e-15);
    sendWheel(h.view.get(), 120);
    brush = h.view->scene()->backgroundBrush();
    EXPECT_NEAR(brush.transform().m11(), 3.10585 / (h.view->viewZoom() * 1024.0), 1e-12);
    h.view->toggleBackgroundGrid(false);
    EXPECT_EQ(h.view->scene()->backgroundBrush().style(), Qt::NoBrush);
    sendWheel(h.view.get(), 120);
    EXPECT_EQ(h.view->scene()->backgroundBrush().style(), Qt::NoBrush);
}

TEST(Viewer2DZoom, MiddleButtonPans)
{
    ViewHarness h;
    h.setModel(uitest::quadStrip(5));
    sendWheel(h.view.get(), 600); // zoom in so that there is room to pan
    const QPointF centre0 = h.view->mapToScene(h.view->viewport()->rect().center());
    const QPoint start = h.view->viewport()->rect().center();
    QTest::mousePress(h.view->viewport(), Qt::MiddleButton, Qt::NoModifier, start);
    EXPECT_EQ(h.view->viewport()->cursor().shape(), Qt::ClosedHandCursor);
    QMouseEvent move(QEvent::MouseMove, start + QPoint(-40, 0), Qt::NoButton, Qt::MiddleButton, Qt::NoModifier);
    QApplication::sendEvent(h.view->viewport(), &move);
    QTest::mouseRelease(h.view->viewport(), Qt::MiddleButton, Qt::NoModifier, start + QPoint(-40, 0));
    EXPECT_EQ(h.view->viewport()->cursor().shape(), Qt::ArrowCursor);
    const QPointF centre1 = h.view->mapToScene(h.view->viewport()->rect().center());
    // Dragging to the left moves the view's centre to the right.
    EXPECT_GT(centre1.x(), centre0.x());
}

TEST(Viewer2DLoading, LoadWaitsForTheThreeDView)
{
    ViewHarness h;
    ASSERT_TRUE(h.view->waitsFor3DView());
    testing::internal::CaptureStdout();
    h.view->loadModel("/nonexistent/dir/model.obj");
    EXPECT_EQ(h.view->pendingModelFile(), QByteArray("/nonexistent/dir/model.obj"));
    EXPECT_TRUE(h.pipeline.modelFileName().empty());
    h.view->viewer3DReady();
    EXPECT_TRUE(h.view->pendingModelFile().isEmpty());
    EXPECT_EQ(h.pipeline.modelFileName(), "/nonexistent/dir/model.obj");
    // Once ready, loads run at once.
    h.view->loadModel("/nonexistent/dir/other.obj");
    EXPECT_EQ(h.pipeline.modelFileName(), "/nonexistent/dir/other.obj");
    h.view->loadModel(nullptr); // ignored
    EXPECT_EQ(h.pipeline.modelFileName(), "/nonexistent/dir/other.obj");

    // Turning the wait off loads a waiting file at once.
    ViewHarness other;
    other.view->loadModel("/nonexistent/a.obj");
    other.view->setWaitFor3DView(false);
    EXPECT_TRUE(other.view->pendingModelFile().isEmpty());
    EXPECT_EQ(other.pipeline.modelFileName(), "/nonexistent/a.obj");
    testing::internal::GetCapturedStdout();
}

