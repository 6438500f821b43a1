// The 2D view of a shown main window, driven by real events: what a display
// update draws and reports, fitting, zoom and pan, seam picking, gluing and
// the reattachment preview.
#include "io/palette.h"
#include "support/test_support.h"
#include "ui/MainWindow.h"

#include <QGraphicsItemGroup>
#include <QGraphicsPathItem>
#include <QGraphicsScene>
#include <QLabel>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

// A row of `count` unit quads in 3D, each its own chart of two triangles: chart
// q spans u from 0.2 q to 0.2 q + 0.15 and v from 0 to 0.15. Seam s joins chart
// s (path 2s, side a) and chart s + 1 (path 2s + 1, side b).
Model quadStrip(int count)
{
    Model model;
    for (int i = 0; i <= count; ++i) // bottom vertex 2i, top vertex 2i + 1
        model.sharedPositions.insert(model.sharedPositions.end(), {double(i), 0.0, 0.0, double(i), 1.0, 0.0});
    for (uint32_t q = 0; q < uint32_t(count); ++q) {
        const double x = q * 0.2;
        model.charts.push_back(testsupport::makeChart({2 * q, 2 * q + 2, 2 * q + 3, 2 * q, 2 * q + 3, 2 * q + 1},
                                                      {0, 1, 2, 0, 2, 3}, {x, 0, x + 0.15, 0, x + 0.15, 0.15, x, 0.15}));
    }
    return model;
}

// A shown main window whose 2D view draws `model`.
struct Shown {
    MainWindow window;
    Viewer2DUV* view = window.viewer2D();
    QStringList events; // "Seam #i(x)" for every selection, "cleared" for every clearing

    explicit Shown(Model model)
    {
        window.resize(1400, 900);
        window.show();
        (void)QTest::qWaitForWindowExposed(&window);
        QObject::connect(view, &Viewer2DUV::selectedSeamChanged, view, [this](QString label, size_t) { events << label; });
        QObject::connect(view, &Viewer2DUV::seamSelectionCleared, view, [this] { events << "cleared"; });
        setModel(std::move(model));
    }
    void setModel(Model model)
    {
        window.pipeline().model() = std::move(model);
        view->updateDisplay(true);
    }
    QString label(const char* name) const { return window.findChild<QLabel*>(name)->text(); }
    QPoint at(const QPointF& scenePoint) const { return view->mapFromScene(scenePoint); }
    QPointF seamPoint(int path, double t = 0.5) const { return view->seamPathItems()[path]->path().pointAtPercent(t); }
    void click(const QPoint& pos) { QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, pos); }
    void wheel(const QPoint& pos, int delta)
    {
        QWheelEvent e(QPointF(pos), QPointF(view->viewport()->mapToGlobal(pos)), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view->viewport(), &e);
    }
    // Every item lies within the viewport (one pixel of slack).
    bool allVisible() const
    {
        for (QGraphicsItem* item : view->scene()->items())
            if (!view->viewport()->rect().adjusted(-1, -1, 1, 1).contains(view->mapFromScene(item->sceneBoundingRect()).boundingRect()))
                return false;
        return true;
    }
};

Model turned(Model model, bool tall, double du, double dv)
{
    for (Chart& chart : model.charts)
        for (size_t i = 0; i + 1 < chart.uvCoords2D.size(); i += 2) {
            const double u = chart.uvCoords2D[i], v = chart.uvCoords2D[i + 1];
            chart.uvCoords2D[i] = (tall ? -v : u) + du;
            chart.uvCoords2D[i + 1] = (tall ? u : v) + dv;
        }
    return model;
}

} // namespace

TEST(Viewer2D, DisplayUpdatesDrawTheLayoutAndReportItsStatistics)
{
    Shown s(quadStrip(5));
    int stats = 0, payloads = 0;
    size_t boundary = 0;
    std::vector<size_t> seams, perChart;
    iuv::UIntVector lines;
    QObject::connect(s.view, &Viewer2DUV::statsChanged, s.view, [&] { ++stats; });
    QObject::connect(s.view, &Viewer2DUV::meshDataChanged, s.view,
                     [&](const auto&, const auto&, const auto&, const auto&, const iuv::UIntVector& l, size_t nb,
                         const std::vector<size_t>& sl, const std::vector<size_t>& pc) {
                         ++payloads, lines = l, boundary = nb, seams = sl, perChart = pc;
                     });
    const int redraws = s.view->fullRedrawCount();
    s.view->updateDisplay(false);
    EXPECT_EQ(std::make_tuple(stats, payloads, s.view->fullRedrawCount()), std::make_tuple(1, 0, redraws));
    s.view->updateDisplay(true);
    EXPECT_EQ(std::make_tuple(stats, payloads, s.view->fullRedrawCount()), std::make_tuple(2, 1, redraws + 1));
    // Five squares of side 0.15: boundary length 3, area 0.1125.
    EXPECT_EQ(s.label("numChartsLabel"), "5");
    EXPECT_EQ(s.label("numTrianglesLabel"), "10");
    EXPECT_EQ(s.label("numVerticesLabel"), "12");
    EXPECT_EQ(s.label("summedBLengthLabel"), QString::number(3.0 / std::sqrt(0.1125), 'f', 3));
    // The merged mesh: the strip's outline of 12 edges, then four seams of one edge between the columns.
    EXPECT_EQ(perChart, std::vector<size_t>(5, 2));
    EXPECT_EQ(boundary, 12u);
    EXPECT_EQ(seams, std::vector<size_t>(4, 1));
    ASSERT_EQ(lines.size(), 2 * (12u + 4u));
    for (size_t i = 2 * boundary; i < lines.size(); i += 2)
        EXPECT_EQ(lines[i] / 2, lines[i + 1] / 2); // bottom and top vertex of one column

    // Frame, 4 seam strips, 10 triangles, 12 boundary lines and the 8 seam paths on top.
    const QList<QGraphicsItem*> items = s.view->scene()->items(Qt::AscendingOrder);
    ASSERT_EQ(items.size(), 35);
    EXPECT_EQ(items.mid(27), QList<QGraphicsItem*>(s.view->seamPathItems().begin(), s.view->seamPathItems().end()));
    for (int path = 0; path < 8; ++path) {
        const QPainterPath p = s.view->seamPathItems()[path]->path();
        const double u = 0.2 * (path / 2) + (path % 2 ? 0.2 : 0.15); // side a: right edge, side b: left edge
        ASSERT_EQ(p.elementCount(), 2);
        EXPECT_NEAR(p.elementAt(0).x, u, 1e-12) << path;
        EXPECT_NEAR(p.elementAt(1).x, u, 1e-12) << path;
        EXPECT_NEAR(std::abs(p.elementAt(1).y - p.elementAt(0).y), 0.15, 1e-12) << path;
    }
    // A chart list changed behind the topology's back (the redraw checks every index), non-finite UVs,
    // and no model at all draw without fault.
    s.window.pipeline().model().charts.resize(2);
    s.window.pipeline().model().charts[1].uvCoords2D.resize(4);
    s.view->showDisplayUpdate(true, UnwrappingStats());
    s.view->showDisplayUpdate(true, UnwrappingStats());
    Model bad = quadStrip(2);
    bad.charts[0].uvCoords2D[0] = std::numeric_limits<double>::quiet_NaN();
    bad.charts[1].uvCoords2D[3] = std::numeric_limits<double>::infinity();
    s.setModel(std::move(bad));
    s.view->viewport()->repaint();
    s.setModel(Model());
    EXPECT_TRUE(s.view->scene()->items().isEmpty());
}

TEST(Viewer2D, TheFitShowsEveryItemWithVUp)
{
    const struct {
        const char* name;
        Model model;
    } rows[] = {
        {"wide", quadStrip(12)},
        {"tall", turned(quadStrip(9), true, 0, 0)},
        {"away from the origin", turned(quadStrip(2), false, 3.0, -7.0)},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        Shown s(r.model);
        EXPECT_TRUE(s.allVisible());
        const QRect all = s.view->mapFromScene(s.view->scene()->itemsBoundingRect()).boundingRect();
        const QRect viewport = s.view->viewport()->rect();
        EXPECT_GT(std::max(double(all.width()) / viewport.width(), double(all.height()) / viewport.height()), 0.8);
        EXPECT_TRUE(s.view->sceneRect().contains(s.view->scene()->itemsBoundingRect()));
        // v points up: the top edge of chart 0 (corner 3) is drawn above its bottom edge (corner 0).
        const std::vector<double>& uv = r.model.charts[0].uvCoords2D;
        const bool vGrows = uv[7] > uv[1];
        EXPECT_EQ(vGrows, s.at({uv[6], uv[7]}).y() < s.at({uv[0], uv[1]}).y());
    }
}

TEST(Viewer2D, WheelZoomsAboutTheCursorAndMiddleDragPans)
{
    Shown s(quadStrip(12)); // about 16 : 1
    const double seamWidth = s.view->seamPathItems()[0]->pen().widthF() * s.view->transform().m11();
    const struct {
        QPoint cursor;
        int delta;
    } rows[] = {{{100, 150}, 120}, {{450, 420}, 360}, {{300, 80}, 600}, {{520, 300}, -120}, {{200, 200}, 600}};
    for (const auto& r : rows) {
        const QPointF anchor = s.view->mapToScene(r.cursor);
        const QTransform before = s.view->transform();
        s.wheel(r.cursor, r.delta);
        EXPECT_NEAR(s.view->transform().m11() / before.m11(), 1.0 + 0.001 * r.delta, 1e-9); // 1.12 per notch
        EXPECT_NEAR(s.view->transform().m22() / before.m22(), 1.0 + 0.001 * r.delta, 1e-9);
        // Scroll positions are whole pixels: the point stays within two of them.
        EXPECT_LE((s.at(anchor) - r.cursor).manhattanLength(), 4) << r.delta;
        // Lines keep their width on screen.
        EXPECT_NEAR(s.view->seamPathItems()[0]->pen().widthF() * s.view->transform().m11(), seamWidth, 1e-9);
    }
    // Zoomed in, the scroll bars reach what is out of view.
    QApplication::processEvents();
    ASSERT_TRUE(s.view->horizontalScrollBar()->isVisible());
    EXPECT_FALSE(s.allVisible());
    // The middle button drags the view: dragging to the left shows what lies to the right.
    const QPoint centre = s.view->viewport()->rect().center();
    const QPointF before = s.view->mapToScene(centre);
    QTest::mousePress(s.view->viewport(), Qt::MiddleButton, Qt::NoModifier, centre);
    EXPECT_EQ(s.view->viewport()->cursor().shape(), Qt::ClosedHandCursor);
    QMouseEvent move(QEvent::MouseMove, centre - QPoint(40, 0), Qt::NoButton, Qt::MiddleButton, Qt::NoModifier);
    QApplication::sendEvent(s.view->viewport(), &move);
    QTest::mouseRelease(s.view->viewport(), Qt::MiddleButton, Qt::NoModifier, centre - QPoint(40, 0));
    EXPECT_EQ(s.view->viewport()->cursor().shape(), Qt::ArrowCursor);
    EXPECT_NEAR(s.view->mapToScene(centre).x() - before.x(), 40.0 / s.view->transform().m11(), 2.0 / s.view->transform().m11());
    // The background grid's scale follows the zoom; F fits the whole layout again.
    s.view->toggleBackgroundGrid(true);
    ASSERT_EQ(s.view->scene()->backgroundBrush().textureImage().size(), QSize(64, 64));
    const double grid = s.view->scene()->backgroundBrush().transform().m11() * s.view->viewZoom();
    s.wheel(centre, 120);
    EXPECT_NEAR(s.view->scene()->backgroundBrush().transform().m11() * s.view->viewZoom(), grid, 1e-9 * grid);
    s.view->toggleBackgroundGrid(false);
    EXPECT_EQ(s.view->scene()->backgroundBrush().style(), Qt::NoBrush);
    QTest::keyClick(s.view, Qt::Key_F);
    EXPECT_TRUE(s.allVisible());
    // A huge turn backwards never flips or collapses the view.
    s.wheel(centre, -5000);
    EXPECT_TRUE(s.view->transform().m11() > 0.0 && std::isfinite(s.view->viewZoom()) && s.view->viewZoom() > 0.0);
}

// Picking, the reattachment preview and gluing on one strip of three charts.
TEST(Viewer2D, AClickPicksTheSeamThatIsThenReattachedOrGlued)
{
    Shown s(quadStrip(3));
    const QPoint a = s.at(s.seamPoint(0, 0.4)), b = s.at(s.seamPoint(1, 0.4));
    ASSERT_GT(b.x() - a.x(), 20); // the gap between the charts
    const struct {
        QPoint at;
        int selected;
        QStringList events;
    } rows[] = {
        {a, 0, {"Seam #0(a)"}},
        {a + QPoint(3, 0), 0, {"Seam #0(a)"}},
        {a + QPoint(-4, 1), 0, {"Seam #0(a)"}},
        {b + QPoint(-2, 0), 1, {"cleared", "Seam #0(b)"}},
        {b + QPoint(3, -2), 1, {"Seam #0(b)"}},
        {a - QPoint(20, 0), -1, {"cleared"}}, // inside chart 0
        {(a + b) / 2, -1, {}},                // the middle of the gap
        {s.at(s.seamPoint(3)), 3, {"Seam #1(b)"}},
        {s.at({0.3, 0.5}), -1, {"cleared"}}, // outside the atlas
    };
    for (const auto& r : rows) {
        s.events.clear();
        s.click(r.at);
        EXPECT_EQ(s.view->selectedSeamIndex(), r.selected) << r.at.x() << "," << r.at.y();
        EXPECT_EQ(s.events, r.events) << r.at.x() << "," << r.at.y();
    }
    // The selected seam pulses in its pair's colour; cleared, it takes the palette colour of its seam.
    const QColor other = s.view->seamPathItems()[0]->pen().color();
    s.click(s.at(s.seamPoint(3)));
    s.view->updateAnimation();
    EXPECT_EQ(s.view->seamPathItems()[2]->pen().color(), s.view->seamPathItems()[3]->pen().color());
    EXPECT_NE(s.view->seamPathItems()[3]->pen().color(), other);
    s.window.clearReattachmentButtonPressed();
    const Rgb8 c = chartColor(1);
    for (int path : {2, 3})
        EXPECT_EQ(s.view->seamPathItems()[path]->pen().color(), QColor(c.r, c.g, c.b));
    EXPECT_EQ(s.view->seamPathItems()[0]->pen().color(), other);
    // A full redraw drops the selection; with none, reattaching and gluing do nothing.
    s.click(s.at(s.seamPoint(1)));
    s.view->updateDisplay(true);
    EXPECT_EQ(s.view->selectedSeamIndex(), -1);
    s.view->updateAnimation(); // must not touch the deleted paths
    s.window.reattachmentButtonPressed();
    s.window.glueButtonPressed();
    EXPECT_EQ(s.view->movedChartGroup(), nullptr);
    const ChartList before = s.window.pipeline().model().charts;
    ASSERT_EQ(before.size(), 3u);

    s.click(s.at(s.seamPoint(1))); // side b of seam 0 stays: chart 0 moves onto chart 1
    s.window.reattachmentButtonPressed();
    s.window.reattachmentButtonPressed(); // a second one replaces the raised drawing
    int groups = 0;
    for (QGraphicsItem* item : s.view->scene()->items())
        groups += item->type() == QGraphicsItemGroup::Type;
    EXPECT_EQ(groups, 1);
    QGraphicsItemGroup* group = s.view->movedChartGroup();
    ASSERT_NE(group, nullptr);
    EXPECT_TRUE(s.view->animationRunning());
    EXPECT_EQ(group->childItems().size(), 2 + s.view->chartSeamPaths().size()); // triangles and seam paths
    ASSERT_TRUE(QTest::qWaitFor([&] { return !s.view->animationRunning(); }, 4000));
    // The last frame moves chart 0's right edge (u 0.15) onto chart 1's left edge (u 0.2),
    // up to the single precision of the stored shift; the chart data stay as they were.
    for (double v : {0.0, 0.15}) {
        EXPECT_NEAR(group->transform().map(QPointF(0.15, v)).x(), 0.2, 1e-6);
        EXPECT_NEAR(group->transform().map(QPointF(0.15, v)).y(), v, 1e-6);
    }
    EXPECT_EQ(s.window.pipeline().model().charts[0].uvCoords2D, before[0].uvCoords2D);

    QStringList warnings;
    s.view->setWarningHook([&](QWidget* parent, const QString& title, const QString& text) {
        EXPECT_EQ(parent, s.view);
        warnings << title << text;
    });
    s.click(s.at(s.seamPoint(2))); // seam 1, between charts 1 and 2
    s.window.glueButtonPressed();
    const ChartList& after = s.window.pipeline().model().charts;
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[0].uvCoords2D, before[0].uvCoords2D); // the other chart keeps its place
    EXPECT_EQ(after.back().numTriangles(), 4u);
    EXPECT_EQ(after.back().numUVVertices(), 6u); // 4 + 4 minus the two seam vertices
    EXPECT_EQ(s.view->selectedSeamIndex(), -1);
    EXPECT_EQ(s.view->seamPathItems().size(), 2);
    EXPECT_EQ(s.label("numChartsLabel"), "2");
    EXPECT_TRUE(warnings.isEmpty());
    // One chart cut open along an inner edge: a seam with the same chart on both sides.
    Model cut;
    cut.sharedPositions = {0, 0, 0, 1, 0, 0, 2, 0, 0, 0, 1, 0, 1, 1, 0, 2, 1, 0};
    cut.charts.push_back(testsupport::makeChart({0, 1, 4, 0, 4, 3, 1, 2, 5, 1, 5, 4}, {0, 1, 2, 0, 2, 3, 4, 5, 6, 4, 6, 7},
                                                {0, 0, 0.3, 0, 0.3, 0.3, 0, 0.3, 0.5, 0, 0.8, 0, 0.8, 0.3, 0.5, 0.3}));
    s.setModel(cut);
    ASSERT_EQ(s.view->seamPathItems().size(), 2);
    s.click(s.at(s.seamPoint(1)));
    s.window.glueButtonPressed();
    EXPECT_EQ(warnings, (QStringList{"Gluing Not Permitted", "Cannot glue this seam segment:\nCurrently only supported for different charts."}));
    EXPECT_EQ(s.window.pipeline().model().charts[0].uvCoords2D, cut.charts[0].uvCoords2D);
}

TEST(Viewer2D, LoadsWaitForTheThreeDViewUntilItIsReady)
{
    MainWindow window, other; // not shown: their 3D views never get ready
    for (MainWindow* w : {&window, &other})
        w->setCriticalHook([](QWidget*, const QString&, const QString&) {}); // the files do not exist
    Viewer2DUV* view = window.viewer2D();
    ASSERT_TRUE(view->waitsFor3DView());
    testing::internal::CaptureStdout();
    window.loadModelFromFile("/nonexistent/dir/model.obj", true);
    EXPECT_EQ(view->pendingModelFile(), QByteArray("/nonexistent/dir/model.obj"));
    EXPECT_TRUE(window.pipeline().modelFileName().empty());
    view->viewer3DReady();
    EXPECT_TRUE(view->pendingModelFile().isEmpty());
    EXPECT_EQ(window.pipeline().modelFileName(), "/nonexistent/dir/model.obj");
    view->loadModel("/nonexistent/dir/other.obj"); // once ready, at once
    view->loadModel(nullptr);                      // ignored
    EXPECT_EQ(window.pipeline().modelFileName(), "/nonexistent/dir/other.obj");
    // Turning the wait off loads a waiting file at once.
    other.viewer2D()->loadModel("/nonexistent/a.obj");
    other.viewer2D()->setWaitFor3DView(false);
    EXPECT_TRUE(other.viewer2D()->pendingModelFile().isEmpty());
    EXPECT_EQ(other.pipeline().modelFileName(), "/nonexistent/a.obj");
    testing::internal::GetCapturedStdout();
}
