// The main window: every menu entry, button, dialog and drop as a user drives
// them, and runs on the worker that Cancel, Escape and closing stop.
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
#include <QSplitter>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

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
    auto dialog = std::make_shared<std::pair<bool, QPointer<QWidget>>>(); // seen, and which
    QObject::connect(timer, &QTimer::timeout, timer, [timer, file, shown, dialog] {
        if (!dialog->first) {
            dialog->second = QApplication::activeModalWidget();
            if (!(dialog->first = dialog->second))
                return;
            if (auto* box = qobject_cast<QMessageBox*>(dialog->second.data()))
                *shown << box->windowTitle() << box->text();
        }
        auto* files = qobject_cast<QFileDialog*>(dialog->second.data());
        if (!dialog->second || !dialog->second->isVisible()) {
            timer->stop();
            timer->deleteLater();
        } else if (files && !file.isEmpty()) {
            // Typed as a user would: selectFile leaves a focused name field alone.
            if (auto* name = files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                name->setText(file);
            if (files->selectedFiles().value(0) == file)
                static_cast<QDialog*>(files)->done(QDialog::Accepted);
        } else {
            dialog->second->close();
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
    stats.numCharts = 7;
    stats.numVertices = 123456789;
    stats.numTriangles = 42;
    stats.normBLen = 4.123456789;
    stats.packingEfficiency = 50.2771;
    stats.flipsFound = stats.overlapsFound = true;
    int batchStatus = -1;
    const int stripStart = form.controls2D->minimumHeight();
    QStringList strip; // the strip's growth after each drag, and the controls that overlap
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
             return label("numChartsLabel") == "7" && label("numVerticesLabel") == "123456789" &&
                    label("numTrianglesLabel") == "42" && label("summedBLengthLabel") == "4.123" &&
                    label("fillRateLabel") == "50.28" && overlappingControls(&window).isEmpty() &&
                    window.layoutWarningLabel()->text() ==
                        "Layout has flipped triangles (tinted red) and overlapping charts";
         }},
        {"Open, cancelled", true, {}, trigger("openAction"), [&] { return titled("Tarnwick") && usable(false); }},
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
             return testsupport::checkXml(testsupport::readTextFile(dir.file("trivial.svg"))).wellFormed &&
                    !QFileInfo::exists(file("trivial.obj")) && batchStatus == 0 && window.pipeline().stageCounter() == 3 &&
                    !testsupport::readTextFile(dir.file("bl_200.svg")).empty();
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
        {"the control strip's splitter: the strip grows, never below its start; no control covers another", false, {},
         [&] {
             QWidget* handle = form.splitter_2->handle(1);
             for (int dy : {0, -150, 400}) { // negative: up
                 const QPoint from = handle->mapTo(&window, handle->rect().center());
                 QTest::mousePress(window.windowHandle(), Qt::LeftButton, {}, from);
                 QTest::mouseMove(window.windowHandle(), from + QPoint(0, dy));
                 QTest::mouseRelease(window.windowHandle(), Qt::LeftButton, {}, from + QPoint(0, dy));
                 const int grown = form.controls2D->height() - stripStart;
                 strip << QString::number(grown) + overlappingControls(form.controls2D).join(", ");
             }
         },
         [&] { return stripStart >= 140 && strip == QStringList{"0", "150", "0"}; }},
        {"Quit", false, {}, trigger("quitAction"), [&] { return !window.isVisible(); }},
    };
    for (const auto& r : rows) {
        if (r.dialog)
            answerNextDialog(r.answer, &boxes);
        r.act();
        EXPECT_TRUE(r.effect()) << r.name << ": " << status().toStdString() << strip.join("; ").toStdString();
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
    // The recent files keep the last eight opened, the newest first.
    QStringList opened;
    for (int i = 0; i < MainWindow::MaxRecentFiles + 1; ++i) {
        opened.prepend(url((std::to_string(i) + ".obj").c_str(), kTriangle).toLocalFile());
        window.openModelFile(opened.front());
    }
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(window.recentFiles(), opened.mid(0, MainWindow::MaxRecentFiles));
    EXPECT_EQ(window.findChild<QMenu*>("recentMenu")->actions().size(), MainWindow::MaxRecentFiles);
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

        // Stopped inside refinement, keeping the best layout.
        EXPECT_EQ(window.pipeline().stopPoint(), "during refinement");
        EXPECT_EQ(window.pipeline().stageCounter(), 2);
        EXPECT_NE(out.find(c.printed), std::string::npos) << out.substr(out.size() > 2000 ? out.size() - 2000 : 0);
        EXPECT_FALSE(window.pipeline().model().charts.empty());
        EXPECT_EQ(forcedExits, 0);
        EXPECT_EQ(window.isVisible(), c.how != How::Close);
        // Files of the finished stages are complete; none of refinement's.
        for (const char* name : {"overlap_free.json", "welded.json"}) {
            std::vector<std::pair<std::string, std::string>> fields;
            std::string error;
            EXPECT_TRUE(testsupport::parseFlatJSON(testsupport::readTextFile(dir.file(name)), fields, error))
                << name << ": " << error;
        }
        EXPECT_NE(window.pipeline().modelFileName().find("cube_net.obj"), std::string::npos);
        for (const char* name : {"bl_200.json", "bl_200.svg", "export.obj", "export.svg", "during.json"})
            EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(dir.file(name)))) << name;
        EXPECT_TRUE(button("optimizeButton")->isEnabled());
        EXPECT_TRUE(window.statusBar()->currentMessage().contains("cancelled"));
        // Only one run was made: the second press did not start another.
        EXPECT_EQ(out.find("Removing overlaps"), out.rfind("Removing overlaps"));
    }
}
