// Window benchmark: a Run in the main window on a generated cube net, with
// the 2D view redrawn after every refinement iteration and without, and the
// time from Cancel, and from closing the window, until the run has stopped.
//
//   bench_window [cube-net-size] [iterations]     (defaults 16, 3)
//
// A cube net of size n has 12 n^2 triangles. Each run measures the mean wall
// time of its first refinement iterations, then stops the run part-way
// through the next one. Needs a display: run it under xvfb-run.
#include "meshgen/meshgen.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Lets the event loop run until done() holds or timeoutMs passed.
bool runEventsUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

enum class Stop { Cancel, Close };

struct RunFigures {
    double iterationMs = 0.0; // mean wall time of the measured iterations
    int iterations = 0;
    int redraws = 0;          // full redraws of the 2D view during them
    qint64 stopMs = -1;       // from Cancel or close until the run stopped
    qint64 exitMs = -1;       // from close until the window was gone
    std::string stoppedIn;    // stage of the last report before the stop
    bool forced = false;      // the window had to force the exit
};

// One Run: measures `iterations` refinement iterations, waits `delayFraction`
// of a mean iteration into the next one, then stops the run as `stop` says.
RunFigures measureRun(const Model& model, const std::string& outDir, bool redrawEachIteration,
                      int iterations, double delayFraction, Stop stop)
{
    RunFigures f;
    auto* window = new MainWindow;
    window->setOutputDirectory(outDir);
    window->viewer2D()->setWaitFor3DView(false);
    window->setRedrawEachIteration(redrawEachIteration);
    window->setForcedExitHook([&f] { f.forced = true; });
    window->resize(1400, 900);
    window->show();
    runEventsUntil([] { return false; }, 300);
    std::ostringstream sink;
    std::streambuf* old = std::cout.rdbuf(sink.rdbuf());
    window->pipeline().loadModelFromData(model);

    std::vector<qint64> reports;
    QElapsedTimer clock;
    clock.start();
    std::string lastStage;
    QObject::connect(&window->runner(), &PipelineRunner::progress, window, [&](const RunProgress& p) {
        lastStage = p.stage;
        if (p.stage == "Refining")
            reports.push_back(clock.elapsed());
    });
    int redrawsAtFirst = 0;
    window->optimizeButtonPressed();
    runEventsUntil([&] { return !reports.empty() || !window->runInProgress(); }, 30 * 60 * 1000);
    redrawsAtFirst = window->viewer2D()->fullRedrawCount();
    runEventsUntil([&] { return int(reports.size()) > iterations || !window->runInProgress(); },
                   30 * 60 * 1000);
    if (reports.size() > 1) {
        f.iterations = int(reports.size()) - 1;
        f.iterationMs = double(reports.back() - reports.front()) / f.iterations;
        f.redraws = window->viewer2D()->fullRedrawCount() - redrawsAtFirst;
    }
    if (window->runInProgress()) {
        const qint64 delay = qint64(delayFraction * f.iterationMs);
        runEventsUntil([&] { return !window->runInProgress(); }, int(delay));
    }
    if (window->runInProgress()) {
        QElapsedTimer sinceStop;
        sinceStop.start();
        f.stoppedIn = lastStage;
        if (stop == Stop::Cancel) {
            window->cancelRun();
            runEventsUntil([&] { return !window->runInProgress(); }, 30 * 60 * 1000);
            f.stopMs = sinceStop.elapsed();
        } else {
            window->close();
            // Closing waits for the run itself; what is left is the queued end
            // of the job and the window's destruction.
            runEventsUntil([&] { return !window->runInProgress(); }, 30 * 60 * 1000);
            f.stopMs = sinceStop.elapsed();
        }
        delete window;
        window = nullptr;
        f.exitMs = sinceStop.elapsed();
    }
    delete window;
    std::cout.rdbuf(old);
    return f;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("LIBGL_ALWAYS_SOFTWARE"))
        qputenv("LIBGL_ALWAYS_SOFTWARE", "1");
    QApplication app(argc, argv);
    app.setOrganizationName(QStringLiteral("TarnwickBench"));
    const int n = argc > 1 ? std::max(1, std::atoi(argv[1])) : 16;
    const int iterations = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const Model model = meshgen::toModel(meshgen::cubeNet(n));
    const std::string outDir = QDir::tempPath().toStdString() + "/tarnwick-bench-window-" +
                               std::to_string(QCoreApplication::applicationPid());
    QDir().mkpath(QString::fromStdString(outDir));
    std::cout << "cube net " << n << ": " << 12 * n * n << " triangles, " << iterations
              << " iterations measured per run" << std::endl;

    const struct {
        bool redraw;
        double delay;
        Stop stop;
    } runs[] = {
        {false, 0.2, Stop::Cancel}, {true, 0.2, Stop::Cancel}, {false, 0.6, Stop::Cancel},
        {true, 0.6, Stop::Cancel},  {true, 0.4, Stop::Close},  {false, 0.8, Stop::Close},
    };
    for (const auto& r : runs) {
        const RunFigures f = measureRun(model, outDir, r.redraw, iterations, r.delay, r.stop);
        std::cout << (r.redraw ? "redraw every iteration" : "redraw after stages ") << ": "
                  << f.iterationMs << " ms per iteration over " << f.iterations << " ("
                  << f.redraws << " redraws); ";
        if (f.stopMs < 0) {
            std::cout << "the run ended before the stop" << std::endl;
            continue;
        }
        std::cout << (r.stop == Stop::Cancel ? "cancel" : "close") << " at " << r.delay
                  << " of an iteration (" << f.stoppedIn << "): stopped after " << f.stopMs
                  << " ms, window gone after " << f.exitMs << " ms"
                  << (f.forced ? ", forced exit" : "") << std::endl;
    }
    QDir(QString::fromStdString(outDir)).removeRecursively();
    return 0;
}
