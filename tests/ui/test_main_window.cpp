// The main window driven by real events: every menu entry, button, dialog and
// drop; runs on the worker that Cancel, Escape and closing stop; and the 2D
// view's drawing, fit, zoom and pan, seam picking, gluing and reattachment.
#include "io/palette.h"
#include "meshgen/meshgen.h"
#include "support/formats.h"
#include "support/test_support.h"
#include "ui/GLViewer3DModel.h"
#include "ui/MainWindow.h"
#include "ui/ModelRenderer.h"
#include "ui/RunStatusPanel.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGraphicsItemGroup>
#include <QGraphicsPathItem>
#include <QGraphicsScene>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

const std::string kTriangle = "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\nf 1/1 2/2 3/3\n";

// A flat n x n grid (UV equal to x, y, or no UVs) as an OBJ file.
QString gridOBJ(const std::string& path, int n, bool textured = true)
{
    meshgen::MeshData grid = meshgen::flatGrid(n, n, meshgen::Outline::Rectangle);
    if (!textured)
        meshgen::dropUVs(grid);
    meshgen::writeOBJ(grid, path);
    return QString::fromStdString(path);
}

// Answers the next modal dialog once it shows, again on every tick until it is
// gone: a file dialog chooses `file` (an empty name cancels it); any other box
// is closed, its title and text appended to *shown.
void answerNextDialog(const QString& file, QStringList* shown)
{
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, timer,
                     [timer, file, shown, seen = false, dialog = QPointer<QWidget>()]() mutable {
                         if (!seen) {
                             dialog = QApplication::activeModalWidget();
                             seen = !dialog.isNull();
                             if (!seen)
                                 return;
                             if (auto* box = qobject_cast<QMessageBox*>(dialog.data()))
                                 *shown << box->windowTitle() << box->text();
                         }
                         auto* files = qobject_cast<QFileDialog*>(dialog.data());
                         if (!dialog || !dialog->isVisible()) {
                             timer->stop();
                             timer->deleteLater();
                         } else if (files && !file.isEmpty()) {
                             // Typed as a user would: selectFile leaves a focused name field alone.
                             if (auto* name = files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                                 name->setText(file);
                             if (files->selectedFiles().value(0) == file)
                                 static_cast<QDialog*>(files)->done(QDialog::Accepted);
                         } else {
                             dialog->close();
                         }
                     });
    timer->start(20);
}

// Visible sibling widgets under root that overlap (more than a shared border
// line) or stick out of their parent, and captions narrower than their text.
QStringList overlappingControls(const QWidget* root)
{
    QStringList found;
    QList<QWidget*> kids = root->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    kids.erase(std::remove_if(kids.begin(), kids.end(), [](QWidget* k) { return !k->isVisible(); }), kids.end());
    for (int i = 0; i < kids.size(); ++i) {
        if ((qobject_cast<QLabel*>(kids[i]) || qobject_cast<QAbstractButton*>(kids[i])) &&
            kids[i]->width() < kids[i]->sizeHint().width())
            found << kids[i]->objectName() + " clipped";
        if (!root->rect().contains(kids[i]->geometry()))
            found << kids[i]->objectName() + " outside " + root->objectName();
        for (int j = i + 1; j < kids.size(); ++j)
            if (const QRect both = kids[i]->geometry() & kids[j]->geometry(); both.width() > 1 && both.height() > 1)
                found << kids[i]->objectName() + " on " + kids[j]->objectName();
        found << overlappingControls(kids[i]);
    }
    return found;
}

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

} // namespace

// One window through a whole session: every menu entry and button as a user
// drives them, a dialog that the row opens answered with its file (or
// cancelled); each row has its effect.
TEST(MainWindow, MenuEntriesButtonsAndDialogsHaveTheirEffect)
{
    testsupport::TempDir dir("ui-menus");
    const QString grid = gridOBJ(dir.file("grid.obj"), 2), bare = gridOBJ(dir.file("bare.obj"), 2, false);
    const QString bad = QString::fromStdString(testsupport::writeTextFile(dir.file("bad.obj"), "v 0 0 0\nf 1 2 3\n"));
    const QString texture = QString::fromStdString(dir.file("t.png"));
    const QString notImage = QString::fromStdString(testsupport::writeTextFile(dir.file("t.jpg"), "not an image"));
    const auto file = [&](const char* name) { return QString::fromStdString(dir.file(name)); };
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(Qt::green);
    ASSERT_TRUE(image.save(texture, "PNG"));
    MainWindow window;
    window.setOutputDirectory(dir.path());
    window.resize(1400, 900);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const MainWindowForm& form = window.form();
    const GLViewer3DModel* view = window.viewer3D();
    const QString navigation = view->navigationFile();
    QStringList boxes; // an unexpected refusal must not wait for a click
    QWidget* boxParent = nullptr;
    window.setCriticalHook([&](QWidget* p, const QString& title, const QString& text) {
        boxParent = p;
        boxes << title << text;
    });
    const auto trigger = [&](const char* name) {
        return [&window, name] {
            window.action(name)->trigger();
            ASSERT_TRUE(QTest::qWaitFor([&] { return !window.runInProgress(); }, 60000));
        };
    };
    const auto click = [&](const char* button) {
        return [&window, button] { QTest::mouseClick(window.findChild<QPushButton*>(button), Qt::LeftButton); };
    };
    const auto status = [&] { return window.statusBar()->currentMessage(); };
    const auto titled = [&](const char* title) { return window.windowTitle() == QString(title); };
    const auto label = [&](const char* name) { return window.findChild<QLabel*>(name)->text(); };
    // The controls follow whether a model is loaded.
    const auto usable = [&](bool yes) {
        for (const char* name : {"optimizeButton", "saveButton", "storeViewButton"})
            if (window.findChild<QPushButton*>(name)->isEnabled() != yes)
                return false;
        return window.action("runAction")->isEnabled() == yes && window.action("saveAction")->isEnabled() == yes;
    };
    // The 2D view shows the single chart in its gamma-corrected colour over a good part of its area.
    const auto chartShown = [&] {
        const QImage view2D = window.viewer2D()->grab().toImage();
        const QColor chart = Viewer2DUV::chartDisplayColor(0);
        int chartPixels = 0;
        for (int y = 0; y < view2D.height(); ++y)
            for (int x = 0; x < view2D.width(); ++x) {
                const QColor c = view2D.pixelColor(x, y);
                chartPixels += std::abs(c.red() - chart.red()) <= 3 && std::abs(c.green() - chart.green()) <= 3 &&
                               std::abs(c.blue() - chart.blue()) <= 3;
            }
        return chartPixels > view2D.width() * view2D.height() / 10;
    };
    UnwrappingStats stats;
    stats.numVertices = 123456789;
    stats.packingEfficiency = 50.2771;
    stats.flipsFound = stats.overlapsFound = true;
    int batchStatus = -1;
    const struct {
        const char* name;
        bool dialog;
        QString answer;
        std::function<void()> act;
        std::function<bool()> effect;
    } rows[] = {
        {"statistics", false, {},
         [&] {
             window.updateStatsDisplay(stats);
             QTest::qWait(20);
         },
         [&] {
             return label("numVerticesLabel") == "123456789" && label("fillRateLabel") == "50.28" &&
                    overlappingControls(&window).isEmpty() &&
                    window.layoutWarningLabel()->text() ==
                        "Layout has flipped triangles (tinted red) and overlapping charts";
         }},
        {"a file that is no model: nothing is saved or run", false, {},
         [&] {
             window.openModelFile(bad);
             window.saveButtonPressed();
             window.optimizeButtonPressed();
         },
         [&] {
             return titled("Tarnwick") && usable(false) && window.pipeline().stageCounter() == 0 &&
                    !QFileInfo::exists(file("export.obj")) && boxParent == window.viewer2D() &&
                    boxes.value(0) == "Input Mesh Not Accepted" &&
                    boxes.value(1).contains("refer to vertices that do not exist");
         }},
        {"Open", true, grid, trigger("openAction"),
         [&] {
             // A screenshot of the whole window is kept as an artefact of the test run.
             return titled("grid.obj - Tarnwick") && usable(true) && label("numTrianglesLabel") == "8" &&
                    window.recentFiles().value(0) == QFileInfo(grid).absoluteFilePath() &&
                    window.grab().save("ui_window_screenshot.png") && chartShown();
         }},
        {"Load texture", true, texture, [&] { window.loadTextureAction()->trigger(); },
         [&] { return window.textureCheckBox()->isEnabled(); }},
        {"a texture that is no image", true, {}, [&] { window.loadTexture(notImage); },
         [&] {
             return boxes.mid(boxes.size() - 2) ==
                    QStringList{"Texture Not Loaded", "Cannot read the texture " + notImage + ": the file is not a PNG or JPEG image."};
         }},
        {"the texture shown", false, {}, [&] { window.textureCheckBox()->setChecked(true); },
         [&] { return view->showSurfaceTexture(); }},
        {"flat shading", false, {}, [&] { form.flatShadingRB->setChecked(true); },
         [&] { return view->shadingMode() == GLViewer3DModel::FlatShading; }},
        {"no shading", false, {}, [&] { form.noShadingRB->setChecked(true); },
         [&] { return view->shadingMode() == GLViewer3DModel::NoShading; }},
        {"smooth shading", false, {}, [&] { form.smoothShadingRB->setChecked(true); },
         [&] { return view->shadingMode() == GLViewer3DModel::SmoothShading; }},
        {"cones and no cut edges", false, {},
         [&] {
             form.coneSingularities3DCB->setChecked(true);
             form.cutEdges3DCB->setChecked(false);
         },
         [&] { return view->showConeSingularities() && !view->showCutEdges(); }},
        {"the batch stages on this thread: the plain overlap removal exports only what it is asked for", false, {},
         [&] {
             window.setBatchMode(true);
             window.removeOverlapsTrivial();
             window.exportResults("trivial.svg", nullptr, nullptr);
             batchStatus = window.runBatchPipeline();
             window.setBatchMode(false);
         },
         [&] {
             return QFileInfo::exists(file("trivial.svg")) && !QFileInfo::exists(file("trivial.obj")) && batchStatus == 0 &&
                    window.pipeline().stageCounter() == 3;
         }},
        {"Reload", false, {}, click("reloadButton"), [&] { return window.pipeline().stageCounter() == 0; }},
        {"Run Next Stage", false, {}, trigger("stepAction"),
         [&] { return window.pipeline().stageCounter() == 1 && status().startsWith("Run finished in"); }},
        {"Reload", false, {}, trigger("reloadAction"), [&] { return window.pipeline().stageCounter() == 0; }},
        {"Run", false, {}, trigger("runAction"), [&] { return window.pipeline().stageCounter() == 3; }},
        {"Save", false, {}, trigger("saveAction"),
         [&] {
             QImage saved;
             const QString in = QDir::toNativeSeparators(QString::fromStdString(dir.path()));
             return status().startsWith("Saved export.svg, export.obj, export3D.png in " + in) &&
                    saved.load(file("export_texture.png"), "PNG") && // the grid's chart in the texture's colour
                    saved.pixel(saved.width() / 2, saved.height() / 2) == qRgb(0, 255, 0) &&
                    testsupport::readTextFile(dir.file("export.obj")).find("mtllib export.mtl") != std::string::npos;
         }},
        {"Save with a folder in the way of the snapshot", false, {},
         [&] {
             QFile::remove(file("export3D.png"));
             QDir().mkdir(file("export3D.png"));
             click("saveButton")();
             window.writeResultJSON("stats.json");
         },
         [&] {
             return status().startsWith("Saved export.svg, export.obj in ") &&
                    status().endsWith("; not written: export3D.png (see the console)") &&
                    !testsupport::readTextFile(dir.file("stats.json")).empty();
         }},
        {"Store View", false, {}, click("storeViewButton"),
         [&] { return status() == "Stored the 3D view in " + navigation; }},
        {"Store View onto a folder", false, {},
         [&] {
             QDir().mkdir(navigation + ".d");
             window.viewer3D()->setNavigationFile(navigation + ".d");
             click("storeViewButton")();
         },
         [&] { return status() == "Could not write " + navigation + ".d"; }},
        {"a model without UVs under the texture", false, {}, [&] { window.openModelFile(bare); },
         [&] { return titled("bare.obj - Tarnwick") && !window.viewer3D()->renderer().surfaceTextureShown(); }},
        {"Open Recent", false, {}, [&] { window.findChild<QMenu*>("recentMenu")->actions().value(1)->trigger(); },
         [&] { return titled("grid.obj - Tarnwick"); }},
        {"Quit", false, {}, trigger("quitAction"), [&] { return !window.isVisible(); }},
    };
    for (const auto& r : rows) {
        if (r.dialog)
            answerNextDialog(r.answer, &boxes);
        r.act();
        EXPECT_TRUE(r.effect()) << r.name << ": " << status().toStdString();
    }
}

// Files dropped onto the window or its 3D view (which takes OBJ drags itself):
// the first model file opens; other files, other URLs and plain text are refused.
TEST(MainWindow, DroppedModelFilesOpenOthersAreRefused)
{
    testsupport::TempDir dir("ui-drop");
    const auto url = [&](const char* name, const std::string& text) {
        return QUrl::fromLocalFile(QString::fromStdString(testsupport::writeTextFile(dir.file(name), text)));
    };
    const QUrl grid = url("grid.obj", kTriangle), text = url("a.txt", "x"), other = url("other.OBJ", kTriangle);
    const struct {
        QList<QUrl> urls;
        bool onView, accepted;
        const char* title;
    } rows[] = {
        {{text, grid}, false, true, "grid.obj - Tarnwick"},
        {{grid, text}, true, true, "grid.obj - Tarnwick"},
        {{text, other}, true, true, "other.OBJ - Tarnwick"},
        {{text}, false, false, "other.OBJ - Tarnwick"},
        {{QUrl("http://example.org/m.obj")}, true, false, "other.OBJ - Tarnwick"},
        {{}, true, false, "other.OBJ - Tarnwick"},
        {{QUrl::fromLocalFile(QString::fromStdString(dir.file("missing.glb")))}, false, true, "Tarnwick"},
    };
    MainWindow window;
    window.setBatchMode(true);
    testing::internal::CaptureStdout();
    for (const auto& r : rows) {
        QMimeData mime;
        if (r.urls.isEmpty())
            mime.setText(grid.toLocalFile());
        else
            mime.setUrls(r.urls);
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QDropEvent drop(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        enter.ignore();
        drop.ignore();
        QWidget* target = r.onView ? static_cast<QWidget*>(window.viewer3D()) : &window;
        QApplication::sendEvent(target, &enter);
        QApplication::sendEvent(target, &drop);
        EXPECT_EQ(enter.isAccepted(), r.accepted) << r.title;
        EXPECT_EQ(drop.isAccepted(), r.accepted) << r.title;
        EXPECT_EQ(window.windowTitle(), QString(r.title));
    }
    testing::internal::GetCapturedStdout();
}

// Escape, the Cancel button and closing the window stop the run at the next
// safe point; until then the event loop runs, and the status bar and the 2D
// view follow every iteration (each cuts, so they differ).
TEST(RunWindow, TheViewFollowsTheRunUntilEscapeCancelOrCloseStopsIt)
{
    enum class How { Escape, CancelButton, Close };
    // The report to stop at: -1 is the one before refinement, else an iteration.
    const struct { How how; int stopAt; const char* printed; } cases[] = {
        {How::Escape, -1, "Refinement cancelled after 0 iterations."},
        // The worker may finish one more iteration before the click reaches it.
        {How::CancelButton, 1, "Refinement cancelled after "},
        {How::Close, -1, "Refinement cancelled after 0 iterations."}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.printed + std::string(c.how == How::Close ? " (close)" : ""));
        testsupport::TempDir dir("ui-run");
        MainWindow window;
        int forcedExits = 0;
        window.setOutputDirectory(dir.path());
        window.viewer2D()->setWaitFor3DView(false);
        window.setForcedExitHook([&] { ++forcedExits; });
        window.resize(1400, 900);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        window.activateWindow();
        (void)QTest::qWaitForWindowActive(&window, 2000);
        window.loadModelFromFile(testsupport::exampleFile("cube_net.obj").c_str(), true);
        const auto button = [&](const char* name) { return window.findChild<QPushButton*>(name); };
        QGraphicsScene* scene = window.viewer2D()->scene();
        std::vector<std::pair<int, QRectF>> drawn;
        QString status;
        bool stopping = false;
        QObject::connect(&window.runner(), &PipelineRunner::progress, &window, [&](const RunProgress& p) {
            if (stopping || p.stage != "Refining")
                return;
            if (p.iteration >= 0)
                drawn.emplace_back(scene->items().size(), scene->itemsBoundingRect());
            if (p.iteration < c.stopAt)
                return;
            stopping = true;
            status = window.runStatusPanel()->text();
            // While the run goes on, files, reloads and other models wait.
            window.writeResultJSON("during.json");
            window.reloadButtonPressed();
            window.openModelFile(QString::fromStdString(testsupport::exampleFile("grid_lshape.obj")));
            window.saveButtonPressed();
            if (c.how == How::Escape)
                QTest::keyClick(&window, Qt::Key_Escape);
            else if (c.how == How::CancelButton)
                QTest::mouseClick(window.runStatusPanel()->cancelButton(), Qt::LeftButton);
            else
                window.close();
        });
        testing::internal::CaptureStdout();
        QTest::mouseClick(button("optimizeButton"), Qt::LeftButton);
        for (const char* name : {"optimizeButton", "reloadButton", "saveButton"})
            EXPECT_FALSE(button(name)->isEnabled()) << name;
        // A second press while running is ignored, not queued.
        QTest::mouseClick(button("optimizeButton"), Qt::LeftButton);
        const bool stopped = QTest::qWaitFor([&] { return !window.runInProgress(); }, 120000);
        const std::string out = testing::internal::GetCapturedStdout();
        ASSERT_TRUE(stopped);
        EXPECT_TRUE(status.startsWith("Refining") && status.contains("efficiency")) << status.toStdString();
        EXPECT_EQ(drawn.size(), size_t(c.stopAt + 1));
        EXPECT_TRUE(drawn.size() < 2 || drawn[0] != drawn[1]);

        // Stopped inside refinement (the files each stage leaves are the pipeline tests' matter); the
        // write, reload, open and save asked for during the run did nothing.
        EXPECT_EQ(window.pipeline().stopPoint(), "during refinement");
        EXPECT_EQ(window.pipeline().stageCounter(), 2);
        EXPECT_NE(out.find(c.printed), std::string::npos) << out.substr(out.size() > 2000 ? out.size() - 2000 : 0);
        EXPECT_EQ(forcedExits, 0);
        EXPECT_EQ(window.isVisible(), c.how != How::Close);
        EXPECT_NE(window.pipeline().modelFileName().find("cube_net.obj"), std::string::npos);
        for (const char* name : {"export.obj", "during.json"})
            EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(dir.file(name)))) << name;
        EXPECT_TRUE(button("optimizeButton")->isEnabled());
        EXPECT_TRUE(window.statusBar()->currentMessage().contains("cancelled"));
        // Only one run was made: the second press did not start another.
        EXPECT_EQ(out.find("Removing overlaps"), out.rfind("Removing overlaps"));
    }
}

TEST(Viewer2D, DisplayUpdatesDrawTheLayoutAndReportItsStatistics)
{
    Shown s(quadStrip(5));
    int stats = 0, payloads = 0;
    size_t boundary = 0;
    std::vector<size_t> seams;
    QObject::connect(s.view, &Viewer2DUV::statsChanged, s.view, [&] { ++stats; });
    QObject::connect(s.view, &Viewer2DUV::meshDataChanged, s.view,
                     [&](const auto&, const auto&, const auto&, const auto&, const auto&, size_t nb,
                         const std::vector<size_t>& sl, const auto&) { ++payloads, boundary = nb, seams = sl; });
    const int redraws = s.view->fullRedrawCount();
    s.view->updateDisplay(false);
    EXPECT_EQ(std::make_tuple(stats, payloads, s.view->fullRedrawCount()), std::make_tuple(1, 0, redraws));
    s.view->updateDisplay(true);
    EXPECT_EQ(std::make_tuple(stats, payloads, s.view->fullRedrawCount()), std::make_tuple(2, 1, redraws + 1));
    // The merged mesh sent to the 3D view: the strip's outline of 12 edges, then four seams of one edge.
    EXPECT_EQ(std::make_pair(boundary, seams), std::make_pair(size_t(12), std::vector<size_t>(4, 1)));
    // The fit shows every item, v pointing up.
    EXPECT_TRUE(s.allVisible());
    EXPECT_LT(s.at({0, 0.15}).y(), s.at({0, 0}).y());

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
