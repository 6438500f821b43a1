#pragma once

#include "model/model.h"
#include "model/stats.h"
#include "packing/atlas.h"
#include "topology/layout_stats.h"
#include "topology/mesh_topology.h"
#include "app/model_loading.h"
#include "base/run_control.h"
#include "texture/textured_layout.h"

#include <mutex>
#include <string>
#include <vector>

// The statistics of one result family ("input", "overlap_free", "bl_200",
// ...), as its statistics file holds them.
struct StageStats {
    std::string name;
    UnwrappingStats stats;
    double boxifyTime = 0.0;
};

// What the pipeline reports to the widgets that show it. The batch runner may
// run without any observer.
class PipelineObserver {
public:
    virtual ~PipelineObserver() = default;

    // A display update ran: the topology of the model has been rebuilt and the
    // statistics computed. With dirty UV data the views redraw and the 3D view
    // receives the merged mesh.
    virtual void displayUpdated(bool dirtyUVData, const UnwrappingStats& stats) = 0;
    // A refinement iteration ended with the layout current (not necessarily
    // the best one); called on the thread of the run, which waits meanwhile,
    // so an observer that shows it should copy what it needs and return.
    virtual void iterationLayout(const Model& current) { (void)current; }
    // A model was loaded (before its display update): the 3D view fits its camera.
    virtual void positionsChanged(const iuv::DoubleVector& sharedPositions) = 0;
    // The load finished (successful or not): the window hands the cone
    // singularities and positions to the 3D view.
    virtual void loadFinished() = 0;
    // An input was refused; an interactive window shows its message box here.
    virtual void inputRejected(const std::string& title, const std::string& text) = 0;
    // Renders the 3D view into pngName. Returns false and fills whyNot when no
    // snapshot can be made (no OpenGL context, for example).
    virtual bool saveSnapshot(const std::string& pngName, std::string& whyNot) = 0;
};

// The pipeline of stages on one model: loading, overlap removal, welding and
// refinement, with the stage counter, the reference boundary length, the
// refinement time and the atlas shared by every packing call of the stages.
// Qt-free; the main window and the batch runner both drive it.
class Pipeline {
public:
    Pipeline();

    Model& model() { return model_; }
    const Model& model() const { return model_; }
    Atlas& atlas() { return atlas_; }
    // The topology of the current chart list, rebuilt by every display update.
    const MeshTopology& topology() const { return topology_; }

    void setObserver(PipelineObserver* observer) { observer_ = observer; }
    // Cancellation and progress of the stages. A cancelled run stops at the
    // next safe point (between stages, between refinement iterations) with a
    // consistent layout; the result files of the stage it stopped in are not
    // written. The next runAll() or step() clears the cancellation.
    RunControl& control() { return control_; }
    // After a cancelled run: where it stopped ("during refinement", ...); empty
    // when the last run was not cancelled.
    const std::string& stopPoint() const { return stopPoint_; }

    // The folder of every result file ("" = the working folder, the default).
    // Names given to the writers below are taken relative to it.
    void setOutputDirectory(const std::string& dir) { outputDirectory_ = dir; }
    const std::string& outputDirectory() const { return outputDirectory_; }
    // Where a result file of that name is written.
    std::string resultPath(const std::string& name) const;

    // In batch mode refusals are printed only, never shown as a dialog.
    void setBatchMode(bool batch) { batchMode_ = batch; }
    bool batchMode() const { return batchMode_; }

    // Options of every later load (the cone file).
    void setLoadOptions(const LoadOptions& options) { loadOptions_ = options; }
    // Whether every OBJ result file gets a binary glTF twin (NAME.glb).
    void setWriteGLB(bool write) { writeGLB_ = write; }
    bool writeGLB() const { return writeGLB_; }
    // With result files disabled nothing is written (statistics, drawings,
    // meshes, snapshots, diagnostic dumps) and no statistics block is
    // printed; the statistics are still recorded (stageStats).
    void setResultFilesEnabled(bool enabled) { resultFilesEnabled_ = enabled; }
    // The texture of the input layout. With one, every OBJ result NAME.obj
    // comes with NAME_texture.png (the texture resampled into that layout)
    // and NAME.mtl, and the OBJ's UVs address that image.
    void setTexture(const RgbaImage& image, const std::string& fileName);
    void clearTexture();
    bool hasTexture() const { return !texture_.empty(); }
    const RgbaImage& texture() const { return texture_; }
    const std::string& textureFileName() const { return textureFileName_; }
    void setTextureSettings(const TextureSettings& settings) { textureSettings_ = settings; }
    const TextureSettings& textureSettings() const { return textureSettings_; }
    // The current layout with the texture resampled into it (what the OBJ
    // results write); false with a reason without a texture or a textured input.
    bool texturedLayout(TexturedLayout& out, std::string& why) const;
    // The refinement keeps the best layout whose boundary length stays within
    // this multiple of the welded layout's (default 2).
    void setMaxBoundaryFactor(double factor) { maxBoundaryFactor_ = factor; }

    // Stores the file name (used by reload) and loads the model.
    LoadStatus loadModelFromFile(const std::string& filename, bool repack = true);
    // Loads a model given as data (one chart; see prepareModel). Reload is
    // not available for it.
    LoadStatus loadModelFromData(Model model, bool repack = true);
    // Opens another model: the stage counter starts again at 0, as after a reload.
    LoadStatus openModel(const std::string& filename);
    LoadStatus lastLoadStatus() const { return lastLoadStatus_; }
    // The console line of the last failed or refused load.
    const std::string& lastRefusal() const { return lastRefusal_; }

    // Rebuilds the topology (dumping a chart whose halfedges cannot be built to
    // "error.obj"), computes the statistics and notifies the observer.
    void updateDisplay(bool dirtyUVData = true);
    UnwrappingStats currentStats() const;

    // The stages.
    void removeOverlapsTrivial();
    void removeOverlaps();
    void weldCharts();
    void refineAtlas();

    // The window's pipeline slots. Both return false when the run was cancelled.
    bool step();     // stepButtonPressed: the next stage by the stage counter
    bool runAll();   // optimizeButtonPressed: every stage with its result files
    void reload();   // reloadButtonPressed
    void save();     // saveButtonPressed: the export files

    // Result files of the current model. An empty name skips that file.
    void writeResultJSON(const std::string& filename);
    void exportResults(const std::string& svgName, const std::string& objName,
                       const std::string& pngName);

    int stageCounter() const { return stageCounter_; }
    double referenceNormBLen() const { return referenceNormBLen_; }
    double boxifyTime() const { return boxifyTime_; }
    const std::string& modelFileName() const { return modelFileName_; }

    // True once any result file could not be written since construction.
    bool writeFailed() const { return writeFailed_; }
    // The statistics of every statistics file since the last load, in the
    // order written (a name written twice is recorded twice).
    const std::vector<StageStats>& stageStats() const { return stageStats_; }

    // Held while a result file is being written. A process that has to end
    // while a run is still going takes it first, so that no file is left half
    // written.
    std::mutex& resultFileMutex() { return resultFileMutex_; }

private:
    void recordReferenceNormBLen();
    // The OBJ result with its texture and material files; false when one of
    // them could not be written.
    bool writeTexturedOBJ(const std::string& objName);
    // Reports the start of a stage; false (with the stop point recorded) when
    // the run is to stop before it.
    bool beginStage(const char* stage, const char* stopPoint);

    Model model_;
    RunControl control_;
    std::string stopPoint_;
    MeshTopology topology_;
    Atlas atlas_;
    PipelineObserver* observer_ = nullptr;
    std::string outputDirectory_;
    bool batchMode_ = false;
    std::string modelFileName_;
    int stageCounter_ = 0;
    double referenceNormBLen_ = 1.0;
    double boxifyTime_ = 0.0;
    bool writeFailed_ = false;
    RgbaImage texture_;
    std::string textureFileName_;
    TextureSettings textureSettings_;
    std::mutex resultFileMutex_;
    LoadStatus lastLoadStatus_ = LoadStatus::ParseFailed;
    std::string lastRefusal_;
    LoadOptions loadOptions_;
    bool writeGLB_ = false;
    bool resultFilesEnabled_ = true;
    double maxBoundaryFactor_ = 2.0;
    std::vector<StageStats> stageStats_;
    mutable StatsCache statsCache_;
};

// The batch sequence: input files, plain overlap removal and its files, reload,
// then every stage with its files. Returns the process exit status: 0 on
// success, 2 when the input could not be loaded or, given a texture, has no
// texture coordinates (nothing is written then),
// 3 when a result file could not be written, 130 when the run was cancelled
// (after printing where it stopped). SIGINT and SIGTERM are caught while it
// runs: the run stops at the next safe point, prints where, and returns 130
// or 143.
int runBatchPipeline(Pipeline& pipeline);
