#include "app/command_line.h"
#include "app/last_chance.h"
#include "app/pipeline.h"
#include "packing/settings.h"

#ifdef TARNWICK_WITH_GUI
#include "ui/MainWindow.h"

#include <QApplication>
#endif

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#ifdef TARNWICK_WITH_GUI
namespace {

bool envSet(const char* name)
{
    const char* value = std::getenv(name);
    return value && *value;
}

// Whether Qt can reach a window system: on X11/Wayland systems the platform
// plugin aborts the process when there is none.
bool displayAvailable()
{
#if defined(__unix__) && !defined(__APPLE__)
    return envSet("QT_QPA_PLATFORM") || envSet("DISPLAY") || envSet("WAYLAND_DISPLAY");
#else
    return true;
#endif
}

int runWithWindow(int argc, char** argv, const CommandLine& cl)
{
    if (!displayAvailable()) {
        if (!cl.batchMode) {
            std::cout << "No display available; run with --batchmode." << std::endl;
            return 1;
        }
        // Batch runs work without a window system: no 3D view, no snapshots.
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    MainWindow* window = new MainWindow;
    window->setBatchMode(cl.batchMode);
    if (cl.batchMode)
        window->showMinimized();
    else
        window->showMaximized();
    window->loadModelFromFile(cl.modelFile.c_str(), true);
    if (!cl.batchMode) {
        const int result = app.exec();
        delete window;
        return result;
    }
    const int status = window->runBatchPipeline();
    std::cout.flush();
    // The batch run ends here without tearing the window down.
    std::exit(status);
}

} // namespace
#endif

int main(int argc, char** argv)
{
    installLastChanceHandlers();

    const CommandLine cl = parseCommandLine(std::vector<std::string>(argv, argv + argc));
    const std::string program = argc > 0 ? argv[0] : "tarnwick";
    if (cl.showUsage) {
        std::cout << usageText(program) << std::flush;
        return 0;
    }
    if (cl.showHelp) {
        std::cout << helpText(program) << std::flush;
        return 0;
    }
    for (const std::string& warning : cl.warnings)
        std::cerr << warning << std::endl;
    if (!cl.error.empty()) {
        std::cout << cl.error << std::endl;
        return 2;
    }
    if (cl.square)
        atlasAspectRatio = 1.0;

#ifdef TARNWICK_WITH_GUI
    return runWithWindow(argc, argv, cl);
#else
    if (!cl.batchMode) {
        std::cout << "Interactive mode is not available in this build; use --batchmode." << std::endl;
        return 1;
    }
    Pipeline pipeline;
    pipeline.setBatchMode(true);
    pipeline.loadModelFromFile(cl.modelFile, true);
    const int status = runBatchPipeline(pipeline);
    std::cout.flush();
    std::exit(status);
#endif
}
