#include "app/pipeline.h"
#include "io/result_files.h"
#include "io/gltf_writer.h"
#include "io/obj_writer.h"
#include "refine/refinement.h"
#include "repair/overlap_removal.h"
#include "repair/welding.h"
#include "topology/layout_stats.h"
#include "app/model_loading.h"
#include "app/output_folder.h"
#include "texture/image_files.h"
#include "app/interrupts.h"
#include "base/file_input.h"
#include "packing/orientation_cache.h"

#include <iostream>

Pipeline::Pipeline() : atlas_(384, 384)
{
    // Every stage packs into this atlas: charts a stage leaves as they were
    // keep their rasters for the next packing.
    atlas_.orientationCache = std::make_shared<OrientationCache>();
}

std::string Pipeline::resultPath(const std::string& name) const
{
    return outputPath(outputDirectory_, name);
}

LoadStatus Pipeline::loadModelFromFile(const std::string& filename, bool repack)
{
    modelFileName_ = filename;
    RejectionNotifier notify = [this](const std::string& title, const std::string& text) {
        if (!batchMode_ && observer_)
            observer_->inputRejected(title, text);
    };
    lastRefusal_.clear();
    stageStats_.clear();
    lastLoadStatus_ = loadModel(filename, repack, model_, notify, loadOptions_, &lastRefusal_);
    if (lastLoadStatus_ == LoadStatus::Loaded && observer_)
        observer_->positionsChanged(model_.sharedPositions);
    // A failed load leaves an empty model; the views are refreshed as well so
    // that they never keep showing a layout that is gone.
    updateDisplay(true);
    if (observer_)
        observer_->loadFinished();
    return lastLoadStatus_;
}

LoadStatus Pipeline::loadModelFromData(Model model, bool repack)
{
    modelFileName_.clear();
    lastRefusal_.clear();
    stageStats_.clear();
    model_ = std::move(model);
    model_.sourceLayout = Chart();
    lastLoadStatus_ = prepareModel(model_, repack, nullptr, &lastRefusal_);
    updateDisplay(true);
    return lastLoadStatus_;
}

void Pipeline::updateDisplay(bool dirtyUVData)
{
    // An empty model (after a refused load) has no topology to complain about.
    if (model_.charts.empty()) {
        topology_.clear();
    } else {
        buildMeshTopology(model_.charts, model_.numVertices(), model_.coneSingularities, topology_);
        for (size_t c : topology_.unbuiltCharts) {
            if (!resultFilesEnabled_)
                continue;
            const std::lock_guard<std::mutex> lock(resultFileMutex_);
            writeFailedChartOBJ(model_.charts[c], resultPath("error.obj"));
        }
    }
    const UnwrappingStats stats = currentStats();
    if (observer_)
        observer_->displayUpdated(dirtyUVData, stats);
}

UnwrappingStats Pipeline::currentStats() const
{
    return statsCache_.get(model_.charts, model_.sharedPositions);
}

void Pipeline::removeOverlapsTrivial()
{
    if (model_.charts.empty())
        return;
    runTrivialOverlapRemoval(model_, atlas_);
    updateDisplay(true);
}

void Pipeline::removeOverlaps()
{
    runOverlapRemoval(model_, atlas_);
    updateDisplay(true);
    writeResultJSON("overlap_free.json");
}

void Pipeline::weldCharts()
{
    if (model_.coneSingularities.empty()) {
        std::cout << "Model without singularities - no welding will be performed." << std::endl;
        writeResultJSON("welded.json");
        return;
    }
    runWelding(model_, atlas_);
    updateDisplay(true);
    writeResultJSON("welded.json");
}

void Pipeline::refineAtlas()
{
    RefinementHooks hooks;
    hooks.writeResultJSON = [this](const std::string& name) { writeResultJSON(name); };
    hooks.exportResults = [this](const std::string& svg, const std::string& obj, const std::string& png) {
        exportResults(svg, obj, png);
    };
    hooks.updateDisplay = [this]() { updateDisplay(true); };
    hooks.iterationDone = [this](const Model& current) {
        if (observer_)
            observer_->iterationLayout(current);
    };
    hooks.control = &control_;
    hooks.maxBoundaryFactor = maxBoundaryFactor_;
    ::refineAtlas(model_, referenceNormBLen_, boxifyTime_, atlas_, hooks);
}

void Pipeline::recordReferenceNormBLen()
{
    referenceNormBLen_ = currentStats().normBLen;
}

bool Pipeline::beginStage(const char* stage, const char* stopPoint)
{
    const UnwrappingStats stats = currentStats();
    if (control_.report({stage, -1, stats.packingEfficiency, stats.normBLen}))
        return true;
    stopPoint_ = stopPoint;
    return false;
}

bool Pipeline::step()
{
    control_.clearCancel();
    stopPoint_.clear();
    switch (stageCounter_) {
    case 0:
        if (!beginStage("Removing overlaps", "before overlap removal"))
            return false;
        removeOverlaps();
        stageCounter_ = 1;
        break;
    case 1:
        if (!beginStage("Welding", "before welding"))
            return false;
        weldCharts();
        recordReferenceNormBLen();
        stageCounter_ = 2;
        break;
    default:
        if (!beginStage("Refining", "before refinement"))
            return false;
        refineAtlas();
        if (control_.cancelRequested()) {
            stopPoint_ = "during refinement";
            return false;
        }
        if (stageCounter_ == 2)
            stageCounter_ = 3;
        break;
    }
    return true;
}

bool Pipeline::runAll()
{
    control_.clearCancel();
    stopPoint_.clear();
    if (model_.charts.empty())
        return true;
    if (!beginStage("Removing overlaps", "before overlap removal"))
        return false;
    removeOverlaps();
    exportResults("overlap_free.svg", "overlap_free.obj", "overlap_free3D.png");
    ++stageCounter_;
    if (!beginStage("Welding", "after overlap removal"))
        return false;
    weldCharts();
    recordReferenceNormBLen();
    exportResults("welded.svg", "welded.obj", "welded.png");
    ++stageCounter_;
    if (!beginStage("Refining", "after welding"))
        return false;
    refineAtlas();
    if (control_.cancelRequested()) {
        stopPoint_ = "during refinement";
        return false;
    }
    exportResults("bl_200.svg", "bl_200.obj", "bl_200_3D.png");
    exportResults("export.svg", "export.obj", "export3D.png");
    ++stageCounter_;

    const UVBox box = chartListUVBounds(model_.charts);
    if (!box.isInverted()) {
        for (Chart& chart : model_.charts)
            translateUVs(chart.uvCoords2D, -box.minU, -box.minV);
    }
    updateDisplay(true);
    return true;
}

void Pipeline::reload()
{
    const std::string name = modelFileName_;
    stageCounter_ = 0;
    loadModelFromFile(name, true);
}

LoadStatus Pipeline::openModel(const std::string& filename)
{
    stageCounter_ = 0;
    return loadModelFromFile(filename, true);
}

void Pipeline::save()
{
    exportResults("export.svg", "export.obj", "export3D.png");
}

void Pipeline::writeResultJSON(const std::string& filename)
{
    const std::lock_guard<std::mutex> lock(resultFileMutex_);
    const UnwrappingStats stats = currentStats();
    const std::string json = ".json";
    const bool isJSON = filename.size() > json.size() &&
                        filename.compare(filename.size() - json.size(), json.size(), json) == 0;
    stageStats_.push_back({isJSON ? filename.substr(0, filename.size() - json.size()) : filename, stats, boxifyTime_});
    if (resultFilesEnabled_ && !::writeResultJSON(stats, boxifyTime_, resultPath(filename)))
        writeFailed_ = true;
}

void Pipeline::exportResults(const std::string& svgName, const std::string& objName,
                             const std::string& pngName)
{
    if (!resultFilesEnabled_)
        return;
    Chart merged;
    mergeCharts(model_.charts, merged);

    std::unique_lock<std::mutex> lock(resultFileMutex_);
    if (!svgName.empty()) {
        if (!writeAtlasSVG(model_.charts, chartListUVBounds(model_.charts), resultPath(svgName)))
            writeFailed_ = true;
    }
    if (!objName.empty() && hasTexture()) {
        if (!writeTexturedOBJ(objName)) {
            writeFailed_ = true;
            return;
        }
    } else if (!objName.empty()) {
        normalizeToUnitSquare(merged);
        if (!writeLayoutOBJ(merged, model_.sharedPositions, model_.vertexColors,
                            model_.coneSingularities, resultPath(objName))) {
            writeFailed_ = true;
            return;
        }
        if (writeGLB_ &&
            !writeLayoutGLB(merged, model_.sharedPositions, model_.vertexColors, resultPath(glbNameFor(objName))))
            writeFailed_ = true;
    }
    // The snapshot is rendered by the window, which may have to wait for it.
    lock.unlock();
    if (!pngName.empty()) {
        const std::string pngPath = resultPath(pngName);
        std::string whyNot = "no 3D view is available";
        if (!observer_ || !observer_->saveSnapshot(pngPath, whyNot))
            std::cout << "Skipping snapshot " << pngPath << ": " << whyNot << "." << std::endl;
    }
}

void Pipeline::setTexture(const RgbaImage& image, const std::string& fileName)
{
    texture_ = image;
    textureFileName_ = fileName;
}

void Pipeline::clearTexture()
{
    texture_ = RgbaImage();
    textureFileName_.clear();
}

bool Pipeline::texturedLayout(TexturedLayout& out, std::string& why) const
{
    if (!hasTexture()) {
        why = "no texture is loaded";
        return false;
    }
    return makeTexturedLayout(model_, texture_, textureSettings_, out, why);
}

namespace {

// NAME of NAME.obj (the whole file name when it has another ending).
std::string objStem(const std::string& objName)
{
    const std::string suffix = ".obj";
    if (objName.size() > suffix.size() && objName.compare(objName.size() - suffix.size(), suffix.size(), suffix) == 0)
        return objName.substr(0, objName.size() - suffix.size());
    return objName;
}

// The file name without its folder, as the OBJ and MTL files refer to it.
std::string baseName(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// After a SIGINT or SIGTERM: the line saying where the run stopped, and the
// exit status of the signal. 0 when no signal came.
int interruptedStatus(const std::string& where)
{
    const int signal = InterruptGuard::receivedSignal();
    if (signal == 0)
        return 0;
    std::cout << "Interrupted by " << signalName(signal) << " " << where
              << "; the result files written before are complete." << std::endl;
    return interruptedExitStatus(signal);
}

} // namespace

bool Pipeline::writeTexturedOBJ(const std::string& objName)
{
    TexturedLayout textured;
    std::string why;
    if (!texturedLayout(textured, why)) {
        std::cout << "Cannot resample the texture for " << resultPath(objName) << ": " << why << "." << std::endl;
        return false;
    }
    const std::string stem = objStem(objName);
    const std::string pngName = stem + "_texture.png";
    const std::string mtlName = stem + ".mtl";
    const ObjMaterialRef material{baseName(mtlName), "atlas"};
    bool written = writeLayoutOBJ(textured.layout, model_.sharedPositions, model_.vertexColors,
                                  model_.coneSingularities, resultPath(objName), &material);
    if (!written)
        return false;
    written = writeMaterialFile(resultPath(mtlName), material.name, baseName(pngName));
    const bool pngWritten = writeImageFile(textured.image, resultPath(pngName), why);
    if (!pngWritten) {
        std::cout << "Unable to write file " << resultPath(pngName) << ": " << why << "." << std::endl;
        written = false;
    }
    if (writeGLB_) {
        // The glb carries the same texture as its base colour: the PNG just written.
        std::string png;
        std::string unread;
        if (pngWritten && !readRegularFile(resultPath(pngName), png, unread))
            png.clear();
        if (!writeLayoutGLB(textured.layout, model_.sharedPositions, model_.vertexColors,
                            resultPath(glbNameFor(objName)), png))
            written = false;
    }
    if (textured.reduced)
        std::cout << "The texture density was reduced to fit " << MaxTextureSide << " texels a side." << std::endl;
    std::cout << "Texture " << resultPath(pngName) << ": input " << texture_.width << " x " << texture_.height
              << " (" << texture_.pixelCount() << " pixels), output " << textured.image.width << " x "
              << textured.image.height << " (" << textured.image.pixelCount() << " pixels)." << std::endl;
    return written;
}

int runBatchPipeline(Pipeline& pipeline)
{
    InterruptGuard interrupts(pipeline.control());
    if (pipeline.lastLoadStatus() != LoadStatus::Loaded) {
        std::cout << "Batch run stopped: the input was not loaded." << std::endl;
        return 2;
    }
    if (pipeline.hasTexture() && pipeline.model().sourceLayout.triIndicesUV.empty()) {
        std::cout << "Batch run stopped: the input has no texture coordinates to carry the texture "
                  << pipeline.textureFileName() << "." << std::endl;
        return 2;
    }
    if (const int status = interruptedStatus("after loading"))
        return status;
    pipeline.writeResultJSON("input.json");
    // A failure here is reported by the writer; exportResults writes the same
    // file once more below and records it.
    (void)writeAtlasSVG(pipeline.model().charts, chartListUVBounds(pipeline.model().charts),
                        pipeline.resultPath("input.svg"));
    pipeline.exportResults("input.svg", "input.obj", "input3D.png");
    if (const int status = interruptedStatus("after the input files"))
        return status;
    pipeline.removeOverlapsTrivial();
    pipeline.writeResultJSON("overlap_free_levy.json");
    pipeline.exportResults("overlap_free_levy.svg", "overlap_free_levy.obj", "overlap_free_levy3D.png");
    if (const int status = interruptedStatus("after the plain overlap removal"))
        return status;
    pipeline.reload();
    if (pipeline.lastLoadStatus() != LoadStatus::Loaded) {
        std::cout << "Batch run stopped: the input could not be reloaded." << std::endl;
        return 2;
    }
    if (!pipeline.runAll()) {
        if (const int status = interruptedStatus(pipeline.stopPoint()))
            return status;
        std::cout << "Run cancelled " << pipeline.stopPoint()
                  << "; the result files written before are complete." << std::endl;
        return 130;
    }
    if (const int status = interruptedStatus("after the last stage"))
        return status;
    return pipeline.writeFailed() ? 3 : 0;
}
