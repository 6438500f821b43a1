#pragma once

#include "app/pipeline.h"
#include "render/OffscreenRenderer.h"
#include "render/SnapshotQueue.h"

#include <memory>
#include <string>
#include <vector>

// Size of the 3D view in the batch program's window, and so of its snapshots.
constexpr int kSnapshotWidth = 800;
constexpr int kSnapshotHeight = 786;

// The boundary and seam edges of the topology as pairs of 3D vertex numbers
// (start, end of every listed halfedge of the joined mesh), the edges the 3D
// view draws as tubes. Empty when the topology's lists do not fit its joined
// mesh.
iuv::UIntVector boundaryEdgeLines(const MeshTopology& topology);

// The batch program's stand-in for the 3D view: it follows the pipeline's
// display updates and camera fits like the window's view does and renders the
// snapshots offscreen, with no display needed. When no offscreen context can
// be made it says so once and every snapshot is skipped with that reason.
//
// A snapshot is drawn and written in the background while the run goes on: a
// target that cannot be opened is refused at once, and one whose image could
// not be made is reported ("Skipping snapshot P: why.") when the next
// snapshot is asked for or when the snapshots end.
class BatchSnapshots : public PipelineObserver {
public:
    explicit BatchSnapshots(const Pipeline& pipeline, int width = kSnapshotWidth,
                            int height = kSnapshotHeight);
    // Waits for the snapshots still being written and reports their failures.
    ~BatchSnapshots() override;

    void displayUpdated(bool dirtyUVData, const UnwrappingStats& stats) override;
    void positionsChanged(const iuv::DoubleVector& sharedPositions) override;
    void loadFinished() override {}
    void inputRejected(const std::string&, const std::string&) override {}
    bool saveSnapshot(const std::string& pngName, std::string& whyNot) override;

    // The scene of the last display update (built on first use).
    const SnapshotScene& scene();

    // Waits until every snapshot asked for is written, printing a line for
    // each that could not be.
    void finishSnapshots();

private:
    // Builds the mesh and tubes of the layout kept by the last display update.
    void buildPendingScene();
    // The scene to change, copied first while a queued snapshot still draws it.
    SnapshotScene& ownScene();

    const Pipeline& pipeline_;
    int width_;
    int height_;
    std::shared_ptr<SnapshotScene> scene_;
    // What the last display update showed, turned into the scene only when
    // a snapshot is rendered: most updates are followed by another before
    // any snapshot.
    bool scenePending_ = false;
    Chart pendingMerged_;
    std::vector<size_t> pendingTrianglesPerChart_;
    iuv::DoubleVector pendingPositions_;
    iuv::UIntVector pendingLines_;
    bool failureReported_ = false;
    SnapshotQueue queue_;
};
