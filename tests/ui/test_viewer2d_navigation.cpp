// Navigation of the 2D view with real events: the fit shows every item with v
// up, every item of a wide atlas can be scrolled into view, the wheel zooms
// about the cursor, F fits again, and a click picks the seam path near it.
#include "ui_test_support.h"

#include <QApplication>
#include <QGraphicsItem>
#include <QGraphicsPathItem>
#include <QGraphicsPolygonItem>
#include <QGraphicsScene>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <cmath>

using uitest::ViewHarness;

namespace {

// The strip turned by 90 degrees: a tall layout.
Model tallStrip(int count)
{
    Model model = uitest::quadStrip(count);
    for (Chart& chart : model.charts) {
        for (size_t i = 0; i + 1 < chart.uvCoords2D.size(); i += 2) {
            const double u = chart.uvCoords2D[i];
            chart.uvCoords2D[i] = -chart.uvCoords2D[i + 1];
            chart.uvCoords2D[i + 1] = u;
        }
    }
    return model;
}

Model shifted(Model model, double du, double dv)
{
    for (Chart& chart : model.charts)
        translateUVs(chart.uvCoords2D, du, dv);
    return model;
}

void sendWheelAt(Viewer2DUV* view, const QPoint& pos, int delta)
{
    QWheelEvent event(QPointF(pos), QPointF(view->viewport()->mapToGlobal(pos)), QPoint(), QPoint(0, delta),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view->viewport(), &event);
}

// Viewport rectangle of an item's scene bounds.
QRect onScreen(Viewer2DUV* view, const QGraphicsItem* item)
{
    return view->mapFromScene(item->sceneBoundingRect()).boundingRect();
}

bool inside(const QRect& outer, const QRect& inner)
{
    return outer.adjusted(-1, -1, 1, 1).contains(inner);
}

QList<QGraphicsPolygonItem*> triangles(Viewer2DUV* view)
{
    QList<QGraphicsPolygonItem*> out;
    for (QGraphicsItem* item : view->scene()->items()) {
        if (auto* polygon = qgraphicsitem_cast<QGraphicsPolygonItem*>(item); polygon && polygon->polygon().size() == 3)
            out << polygon;
    }
    return out;
}

} // namespace

TEST(Viewer2DNavigation, FitShowsEveryItemWithVUp)
{
    const struct {
        const char* name;
        Model model;
    } cases[] = {
        {"wide", uitest::quadStrip(12)},
        {"tall", tallStrip(9)},
        {"away from the origin", shifted(uitest::quadStrip(2), 3.0, -7.0)},
    };
    for (const auto& c : cases) {
        ViewHarness h;
        h.setModel(c.model);
        const QRect viewport = h.view->viewport()->rect();
        QRect all;
        for (QGraphicsItem* item : h.view->scene()->items()) {
            const QRect r = onScreen(h.view.get(), item);
            EXPECT_TRUE(inside(viewport, r)) << c.name;
            all |= r;
        }
        // A real fit: the layout spans most of the view along one axis.
        EXPECT_GT(std::max(double(all.width()) / viewport.width(), double(all.height()) / viewport.height()), 0.8)
            << c.name;
        // The scene rectangle holds every item.
        EXPECT_TRUE(h.view->sceneRect().contains(h.view->scene()->itemsBoundingRect())) << c.name;
        // v points up: the top edge of chart 0 is drawn above its bottom edge.
        const Chart& chart = c.model.charts[0];
        const QPointF low(chart.uvCoords2D[0], chart.uvCoords2D[1]);
        const QPointF high(chart.uvCoords2D[6], chart.uvCoords2D[7]);
        const bool vGrows = high.y() > low.y();
        const double yLow = h.view->mapFromScene(low).y(), yHigh = h.view->mapFromScene(high).y();
        EXPECT_EQ(vGrows, yHigh < yLow) << c.name;
    }
}

TEST(Viewer2DNavigation, EveryItemOfAWideAtlasCanBeScrolledIntoView)
{
    ViewHarness h;
    h.setModel(uitest::quadStrip(12)); // about 16 : 1
    for (int i = 0; i < 12; ++i)
        sendWheelAt(h.view.get(), h.view->viewport()->rect().center(), 240);
    QApplication::processEvents();
    EXPECT_TRUE(h.view->horizontalScrollBar()->isVisible());
    const QRect viewport = h.view->viewport()->rect();
    for (QGraphicsPolygonItem* item : triangles(h.view.get())) {
        h.view->ensureVisible(item, 2, 2);
        EXPECT_TRUE(inside(viewport, onScreen(h.view.get(), item)));
    }
    // Both ends through the scroll bar as well.
    QScrollBar* bar = h.view->horizontalScrollBar();
    bar->setValue(bar->maximum());
    const double rightmost = h.view->scene()->itemsBoundingRect().right();
    EXPECT_LE(h.view->mapFromScene(QPointF(rightmost, 0.075)).x(), viewport.right());
    bar->setValue(bar->minimum());
    const double leftmost = h.view->scene()->itemsBoundingRect().left();
    EXPECT_GE(h.view->mapFromScene(QPointF(leftmost, 0.075)).x(), viewport.left());

    // F fits the whole layout again.
    QTest::keyClick(h.view.get(), Qt::Key_F);
    for (QGraphicsPolygonItem* item : triangles(h.view.get()))
        EXPECT_TRUE(inside(viewport, onScreen(h.view.get(), item)));
}

TEST(Viewer2DNavigation, WheelZoomKeepsTheScenePointUnderTheCursor)
{
    const struct {
        QPoint cursor;
        int delta;
    } cases[] = {{{100, 150}, 120}, {{450, 420}, 360}, {{300, 80}, 600}, {{520, 300}, -120}};
    ViewHarness h;
    h.setModel(uitest::quadStrip(4));
    sendWheelAt(h.view.get(), h.view->viewport()->rect().center(), 600); // room to move
    for (const auto& c : cases) {
        const QPointF anchor = h.view->mapToScene(c.cursor);
        const double scale = h.view->transform().m11();
        sendWheelAt(h.view.get(), c.cursor, c.delta);
        EXPECT_NEAR(h.view->transform().m11() / scale, 1.0 + 0.001 * c.delta, 1e-9);
        // Scroll positions are whole pixels: the point stays within two of them.
        const QPointF after = h.view->mapFromScene(anchor);
        EXPECT_NEAR(after.x(), c.cursor.x(), 2.5) << c.delta;
        EXPECT_NEAR(after.y(), c.cursor.y(), 2.5) << c.delta;
    }
}

TEST(Viewer2DNavigation, ClickPicksTheSeamPathWithinAFewPixels)
{
    ViewHarness h;
    h.setModel(uitest::quadStrip(3));
    // Seam 0 runs between chart 0 (side a, its right edge) and chart 1 (side b).
    QStringList labels;
    QObject::connect(h.view.get(), &Viewer2DUV::selectedSeamChanged, h.view.get(),
                     [&](QString label, size_t) { labels << label; });
    const QPoint sideA = h.view->mapFromScene(h.view->seamPathItems()[0]->path().pointAtPercent(0.4));
    const QPoint sideB = h.view->mapFromScene(h.view->seamPathItems()[1]->path().pointAtPercent(0.4));
    ASSERT_GT(sideB.x() - sideA.x(), 20); // the gap between the charts
    const struct {
        QPoint at;
        int selected;
    } cases[] = {
        {sideA, 0},
        {sideA + QPoint(3, 0), 0},
        {sideA + QPoint(-4, 1), 0},
        {sideB + QPoint(-2, 0), 1},
        {sideB + QPoint(3, -2), 1},
        {sideA + QPoint(-20, 0), -1}, // inside chart 0
        {(sideA + sideB) / 2, -1},    // the middle of the gap
    };
    for (const auto& c : cases) {
        QTest::mouseClick(h.view->viewport(), Qt::LeftButton, Qt::NoModifier, c.at);
        EXPECT_EQ(h.view->selectedSeamIndex(), c.selected) << c.at.x() << "," << c.at.y();
    }
    EXPECT_EQ(labels.first(), QString("Seam #0(a)"));
    EXPECT_TRUE(labels.contains(QString("Seam #0(b)")));
}
