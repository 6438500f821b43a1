// Runs from the window (the stages on a worker, the window live; Cancel, Escape
// and closing stop them at a safe point, writing no file of unfinished stages)
// and the control strip's splitter.
#include "support/formats.h"
#include "support/test_support.h"
#include "ui/MainWindow.h"
#include "ui/RunStatusPanel.h"

#include <QFileInfo>
#include <QGraphicsScene>
#include <QGroupBox>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// A shown window with its results in a temporary folder and cube_net loaded.
struct RunWindow {
    testsupport::TempDir dir{"ui-run"};
    MainWindow window;
    int forcedExits = 0;

    RunWindow()
    {
        window.setOutputDirectory(dir.path());
        window.viewer2D()->setWaitFor3DView(false);
        window.setForcedExitHook([this] { ++forcedExits; });
        window.resize(1400, 900);
        window.show();
        (void)QTest::qWaitForWindowExposed(&window);
        window.activateWindow();
        (void)QTest::qWaitForWindowActive(&window, 2000);
        window.loadModelFromFile(testsupport::exampleFile("cube_net.obj").c_str(), true);
    }
    QPushButton* button(const char* name) { return window.findChild<QPushButton*>(name); }
    // Calls action(iteration) at every refinement report until it returns true.
    void onRefining(std::function<bool(int)> action)
    {
        QObject::connect(&window.runner(), &PipelineRunner::progress, &window,
                         [action, done = false](const RunProgress& p) mutable {
                             if (!done && p.stage == "Refining")
                                 done = action(p.iteration);
                         });
    }
};

// Visible sibling widgets under root that overlap (more than a shared border
// line), or stick out of their parent.
QStringList overlappingControls(const QWidget* root)
{
    QStringList found;
    QList<QWidget*> kids = root->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    kids.erase(std::remove_if(kids.begin(), kids.end(), [](QWidget* k) { return !k->isVisible(); }), kids.end());
    for (int i = 0; i < kids.size(); ++i) {
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
        RunWindow w;
        QGraphicsScene* scene = w.window.viewer2D()->scene();
        std::vector<std::pair<int, QRectF>> drawn;
        QString status;
        w.onRefining([&](int iteration) {
            if (iteration >= 0)
                drawn.emplace_back(scene->items().size(), scene->itemsBoundingRect());
            if (iteration < c.stopAt)
                return false;
            status = w.window.runStatusPanel()->text();
            // While the run goes on, files, reloads and other models wait.
            w.window.writeResultJSON("during.json");
            w.window.reloadButtonPressed();
            w.window.openModelFile(QString::fromStdString(testsupport::exampleFile("grid_lshape.obj")));
            w.window.saveButtonPressed();
            if (c.how == How::Escape)
                QTest::keyClick(&w.window, Qt::Key_Escape);
            else if (c.how == How::CancelButton)
                QTest::mouseClick(w.window.runStatusPanel()->cancelButton(), Qt::LeftButton);
            else
                w.window.close();
            return true;
        });
        testing::internal::CaptureStdout();
        QTest::mouseClick(w.button("optimizeButton"), Qt::LeftButton);
        for (const char* name : {"optimizeButton", "reloadButton", "saveButton"})
            EXPECT_FALSE(w.button(name)->isEnabled()) << name;
        // A second press while running is ignored, not queued.
        QTest::mouseClick(w.button("optimizeButton"), Qt::LeftButton);
        const bool stopped = QTest::qWaitFor([&] { return !w.window.runInProgress(); }, 120000);
        const std::string out = testing::internal::GetCapturedStdout();
        ASSERT_TRUE(stopped);
        EXPECT_TRUE(status.startsWith("Refining") && status.contains("efficiency")) << status.toStdString();
        EXPECT_EQ(drawn.size(), size_t(c.stopAt + 1));
        EXPECT_TRUE(drawn.size() < 2 || drawn[0] != drawn[1]);

        // Stopped inside refinement, keeping the best layout.
        EXPECT_EQ(w.window.pipeline().stopPoint(), "during refinement");
        EXPECT_EQ(w.window.pipeline().stageCounter(), 2);
        EXPECT_NE(out.find(c.printed), std::string::npos) << out.substr(out.size() > 2000 ? out.size() - 2000 : 0);
        EXPECT_FALSE(w.window.pipeline().model().charts.empty());
        EXPECT_EQ(w.forcedExits, 0);
        EXPECT_EQ(w.window.isVisible(), c.how != How::Close);
        // Files of the finished stages are complete; none of refinement's.
        for (const char* name : {"overlap_free.json", "welded.json"}) {
            std::vector<std::pair<std::string, std::string>> fields;
            std::string error;
            EXPECT_TRUE(testsupport::parseFlatJSON(testsupport::readTextFile(w.dir.file(name)), fields, error))
                << name << ": " << error;
        }
        EXPECT_NE(w.window.pipeline().modelFileName().find("cube_net.obj"), std::string::npos);
        for (const char* name : {"bl_200.json", "bl_200.svg", "export.obj", "export.svg", "during.json"})
            EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(w.dir.file(name)))) << name;
        EXPECT_TRUE(w.button("optimizeButton")->isEnabled());
        EXPECT_TRUE(w.window.statusBar()->currentMessage().contains("cancelled"));
        // Only one run was made: the second press did not start another.
        EXPECT_EQ(out.find("Removing overlaps"), out.rfind("Removing overlaps"));
    }
}

// The strip under the views can be made taller, not smaller than its start;
// at every size no control covers another.
TEST(RunWindow, ControlStripSplitterMovesAndNoControlOverlapsAnother)
{
    RunWindow w;
    QWidget* strip = w.window.form().controls2D;
    QWidget* handle = w.window.form().splitter_2->handle(1);
    QWindow* win = w.window.windowHandle();
    // Drags of the handle (negative: up) and the strip height each leaves.
    const int start = strip->minimumHeight();
    EXPECT_GE(start, 140);
    const std::pair<int, int> drags[] = {{0, start}, {-150, start + 150}, {400, start}};
    for (const auto& [dy, height] : drags) {
        const QPoint from = handle->mapTo(&w.window, handle->rect().center());
        QTest::mousePress(win, Qt::LeftButton, {}, from);
        QTest::mouseMove(win, from + QPoint(0, dy));
        QTest::mouseRelease(win, Qt::LeftButton, {}, from + QPoint(0, dy));
        EXPECT_EQ(strip->height(), height) << dy;
        EXPECT_EQ(overlappingControls(strip).join(", ").toStdString(), "") << dy;
    }
    w.window.resize(w.window.minimumSizeHint());
    QTest::qWait(20);
    EXPECT_EQ(overlappingControls(strip).join(", ").toStdString(), "");
}
