#include "app/command_line.h"
#include "app/last_chance.h"
#include "app/output_folder.h"
#include "app/pipeline.h"
#include "io/gltf_reader.h"
#include "packing/settings.h"
#include "refine/parallel_jobs.h"
#include "render/BatchSnapshots.h"
#include "texture/image_files.h"
#include "ui/ImageFiles.h"

#ifdef TARNWICK_WITH_GUI
#include "ui/MainWindow.h"

#include <QApplication>
#endif

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

namespace {

// Creates the output folder and, for a batch run, locks it against other runs
// until the process ends. Returns false after printing why the run cannot go on.
bool claimOutputFolder(const CommandLine& cl, FolderLock& lock)
{
    std::string why;
    if (!cl.outputDir.empty() && !prepareOutputFolder(cl.outputDir, why)) {
        std::cout << "Cannot create the output folder " << cl.outputDir << ": " << why << "." << std::endl;
        return false;
    }
    if (!cl.batchMode)
        return true;
    bool busy = false;
    if (lock.acquire(cl.outputDir, busy, why))
        return true;
    std::string name = cl.outputDir;
    if (name.empty()) {
        std::error_code ec;
        name = std::filesystem::current_path(ec).string();
    }
    if (busy)
        std::cout << "The output folder " << name << " is in use by another run." << std::endl;
    else
        std::cout << "Cannot lock the output folder " << name << ": " << why << "." << std::endl;
    return false;
}

// Reads the texture named by --texture, if any. Returns false after printing
// why it cannot be used.
bool readTexture(const CommandLine& cl, RgbaImage& texture)
{
    if (cl.textureFile.empty())
        return true;
    std::string why;
    if (readImageFile(cl.textureFile, texture, why))
        return true;
    std::cout << "Cannot read the texture " << cl.textureFile << ": " << why << "." << std::endl;
    return false;
}

// The load and output settings of the command line, with the texture read
// from --texture (empty without one).
void configurePipeline(const CommandLine& cl, const RgbaImage& texture, Pipeline& pipeline)
{
    LoadOptions options;
    options.coneFile = cl.coneFile;
    pipeline.setLoadOptions(options);
    pipeline.setWriteGLB(cl.meshFormat.empty() ? isGLTFFileName(cl.modelFile) : cl.meshFormat == "glb");
    TextureSettings settings;
    settings.texelScale = cl.texelScale;
    settings.powerOfTwo = cl.powerOfTwo;
    // The gutter fills the gap that --padding leaves between the charts.
    settings.gutterFraction = cl.resolution > 0.0 ? cl.padding / cl.resolution : 0.0;
    pipeline.setTextureSettings(settings);
    if (!texture.empty())
        pipeline.setTexture(texture, cl.textureFile);
}

// The batch sequence with its snapshots drawn offscreen. It never touches a
// window system, so it runs the same with a display, with none, or with a
// DISPLAY naming a server that is gone.
int runBatch(const CommandLine& cl, const RgbaImage& texture)
{
    Pipeline pipeline;
    pipeline.setBatchMode(true);
    pipeline.setOutputDirectory(cl.outputDir);
    configurePipeline(cl, texture, pipeline);
    int status = 0;
    {
        BatchSnapshots snapshots(pipeline);
        pipeline.setObserver(&snapshots);
        pipeline.loadModelFromFile(cl.modelFile, true);
        status = runBatchPipeline(pipeline);
        pipeline.setObserver(nullptr);
        // The offscreen context goes before the exit, so that the renderer's
        // worker threads are joined rather than left running into it.
    }
    std::cout.flush();
    // The batch run ends here without tearing the pipeline down.
    std::exit(status);
}

} // namespace

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

int runWithWindow(int argc, char** argv, const CommandLine& cl, const RgbaImage& texture)
{
    if (!displayAvailable()) {
        std::cout << "No display available; run with --batchmode." << std::endl;
        return 1;
    }
    QApplication app(argc, argv);
    app.setOrganizationName(QStringLiteral("Tarnwick"));
    app.setApplicationName(QStringLiteral("Tarnwick"));
    MainWindow* window = new MainWindow;
    window->setOutputDirectory(cl.outputDir);
    configurePipeline(cl, texture, window->pipeline());
    window->showMaximized();
    window->loadModelFromFile(cl.modelFile.c_str(), true);
    const int result = app.exec();
    delete window;
    return result;
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
    installQtImageFiles();
    // A texture that cannot be used stops the run before anything is written.
    RgbaImage texture;
    if (!readTexture(cl, texture))
        return 2;
    atlasPadding = cl.padding / cl.resolution;
    setRefinementThreads(cl.threads);
    // Held until the process exits (batch runs end through std::exit).
    static FolderLock outputLock;
    if (!claimOutputFolder(cl, outputLock))
        return 2;

    if (cl.batchMode)
        return runBatch(cl, texture);
#ifdef TARNWICK_WITH_GUI
    return runWithWindow(argc, argv, cl, texture);
#else
    std::cout << "Interactive mode is not available in this build; use --batchmode." << std::endl;
    return 1;
#endif
}
