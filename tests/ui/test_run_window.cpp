// Runs from the window: the stages go on a worker thread while the event loop
// stays live; Cancel, Escape and closing the window stop them at a safe point
// with the last consistent layout and no file of the unfinished stages.
#include "ui_test_support.h"

#include "support/formats.h"
#include "support/test_support.h"
#include "ui/GLViewer3DModel.h"
#include "ui/MainWindow.h"
#include "ui/RunStatusPanel.h"

#include <QElapsedTimer>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <regex>
#include <sys/stat.h>

namespace {

bool fileExists(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

// A shown window whose results go to a temporary folder, with the cube net
// example loaded (its refinement runs several iterations).
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
    // Calls action once, on the GUI thread, when the run reports its first
    // refinement safe point.
    void onRefining(std::function<void()> action)
    {
        QObject::connect(&window.runner(), &PipelineRunner::progress, &window,
                         [this, action, done = false](const RunProgress& p) mutable {
                             if (!done && p.stage == "Refining") {
                                 done = true;
                                 action();
                             }
                         });
    }
};

int cancelledIterations(const std::string& out)
{
    std::smatch m;
    static const std::regex pattern("Refinement cancelled after ([0-9]+) iterations");
    return std::regex_search(out, m, pattern) ? std::stoi(m[1]) : -1;
}

} // namespace

TEST(RunWindow, EventLoopStaysLiveAndEscapeStopsAtTheNextSafePoint)
{
    RunWindow w;
    ASSERT_FALSE(w.window.pipeline().model().charts.empty());
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (w.window.runInProgress())
            ++ticks;
    });
    ticker.start(10);
    int redrawsAtStart = w.window.viewer2D()->fullRedrawCount();
    QString statusWhileRefining;
    w.onRefining([&] {
        statusWhileRefining = w.window.runStatusPanel()->text();
        QTest::keyClick(&w.window, Qt::Key_Escape);
    });

    testing::internal::CaptureStdout();
    QTest::mouseClick(w.button("optimizeButton"), Qt::LeftButton);
    EXPECT_TRUE(w.window.runInProgress());
    for (const char* name : {"optimizeButton", "reloadButton", "saveButton"})
        EXPECT_FALSE(w.button(name)->isEnabled()) << name;
    // A second press while running is ignored, not queued.
    QTest::mouseClick(w.button("optimizeButton"), Qt::LeftButton);
    const bool stopped = uitest::waitUntil([&] { return !w.window.runInProgress(); }, 60000);
    const std::string out = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(stopped);

    // The loop ran during the run, and the status bar followed it.
    EXPECT_GT(ticks, 5);
    EXPECT_TRUE(statusWhileRefining.startsWith("Refining")) << statusWhileRefining.toStdString();
    EXPECT_TRUE(statusWhileRefining.contains("efficiency")) << statusWhileRefining.toStdString();
    EXPECT_GT(w.window.viewer2D()->fullRedrawCount(), redrawsAtStart);

    // Stopped inside refinement at its first safe point, keeping the best layout.
    EXPECT_EQ(w.window.pipeline().stopPoint(), "during refinement");
    EXPECT_EQ(w.window.pipeline().stageCounter(), 2);
    const int iterations = cancelledIterations(out);
    EXPECT_GE(iterations, 0) << out.substr(out.size() > 2000 ? out.size() - 2000 : 0);
    EXPECT_LE(iterations, 1);
    EXPECT_EQ(out.find("ITERATION 2 "), std::string::npos);
    EXPECT_FALSE(w.window.pipeline().model().charts.empty());

    // Files of the finished stages are complete; none of refinement's.
    for (const char* name : {"overlap_free.json", "welded.json"}) {
        std::vector<std::pair<std::string, std::string>> fields;
        std::string error;
        EXPECT_TRUE(testsupport::parseFlatJSON(testsupport::readTextFile(w.dir.file(name)), fields, error))
            << name << ": " << error;
    }
    for (const char* name : {"bl_200.json", "bl_200.svg", "export.obj", "export.svg"})
        EXPECT_FALSE(fileExists(w.dir.file(name))) << name;

    for (const char* name : {"optimizeButton", "reloadButton", "saveButton"})
        EXPECT_TRUE(w.button(name)->isEnabled()) << name;
    EXPECT_TRUE(w.window.statusBar()->currentMessage().contains("cancelled"));
    // Only one run was made: the second press did not start another.
    EXPECT_EQ(out.find("Removing overlaps"), out.rfind("Removing overlaps"));
}

TEST(RunWindow, CancelButtonAndClosingStopTheRun)
{
    const struct {
        const char* how;
        bool close;
    } cases[] = {{"cancel button", false}, {"close", true}};
    for (const auto& c : cases) {
        RunWindow w;
        QElapsedTimer sinceStop;
        w.onRefining([&] {
            sinceStop.start();
            if (c.close)
                w.window.close();
            else
                QTest::mouseClick(w.window.runStatusPanel()->cancelButton(), Qt::LeftButton);
        });
        testing::internal::CaptureStdout();
        QTest::mouseClick(w.button("optimizeButton"), Qt::LeftButton);
        const bool stopped = uitest::waitUntil([&] { return !w.window.runInProgress(); }, 60000);
        const std::string out = testing::internal::GetCapturedStdout();
        ASSERT_TRUE(stopped) << c.how;
        EXPECT_EQ(w.window.pipeline().stopPoint(), "during refinement") << c.how;
        EXPECT_FALSE(fileExists(w.dir.file("bl_200.json"))) << c.how;
        EXPECT_EQ(w.forcedExits, 0) << c.how;
        if (c.close) {
            EXPECT_FALSE(w.window.isVisible());
        }
        RecordProperty(std::string("stop_ms_") + (c.close ? "close" : "cancel"),
                       static_cast<int>(sinceStop.elapsed()));
    }
}
