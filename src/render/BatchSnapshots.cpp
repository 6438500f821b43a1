#include "render/BatchSnapshots.h"

#include <fstream>
#include <iostream>

iuv::UIntVector boundaryEdgeLines(const MeshTopology& topo)
{
    iuv::UIntVector lines;
    const size_t boundary = static_cast<size_t>(topo.numBoundaryHalfedges);
    size_t seamTotal = 0;
    for (uint64_t length : topo.seamSegmentLengths)
        seamTotal += static_cast<size_t>(length);
    if (boundary > topo.boundaryAndSeamHalfedges.size() ||
        seamTotal != topo.boundaryAndSeamHalfedges.size() - boundary)
        return lines;
    lines.reserve(2 * topo.boundaryAndSeamHalfedges.size());
    for (uint32_t h : topo.boundaryAndSeamHalfedges) {
        if (h >= topo.joinedMesh.halfedges.size())
            return iuv::UIntVector();
        lines.push_back(topo.joinedMesh.halfedges[twin(h)].to);
        lines.push_back(topo.joinedMesh.halfedges[h].to);
    }
    return lines;
}

BatchSnapshots::BatchSnapshots(const Pipeline& pipeline, int width, int height)
    : pipeline_(pipeline), width_(width), height_(height), scene_(std::make_shared<SnapshotScene>())
{
    scene_->camera.setProjection(width_, height_);
}

BatchSnapshots::~BatchSnapshots() { finishSnapshots(); }

void BatchSnapshots::displayUpdated(bool dirtyUVData, const UnwrappingStats&)
{
    if (!dirtyUVData)
        return;
    const Model& model = pipeline_.model();
    pendingMerged_ = Chart();
    mergeCharts(model.charts, pendingMerged_);
    pendingTrianglesPerChart_.clear();
    pendingTrianglesPerChart_.reserve(model.charts.size());
    for (const Chart& chart : model.charts)
        pendingTrianglesPerChart_.push_back(chart.triIndicesUV.size() / 3);
    pendingPositions_ = model.sharedPositions;
    pendingLines_ = boundaryEdgeLines(pipeline_.topology());
    scenePending_ = true;
}

void BatchSnapshots::buildPendingScene()
{
    if (!scenePending_)
        return;
    scenePending_ = false;
    // A new scene: a queued snapshot may still be drawing the last one.
    auto next = std::make_shared<SnapshotScene>();
    next->camera = scene_->camera;
    next->mesh = buildCornerBuffers(pendingMerged_.triIndicesPos, pendingPositions_, pendingMerged_.triIndicesUV,
                                    pendingMerged_.uvCoords2D, pendingTrianglesPerChart_);
    next->hasMesh = true;
    next->tubes = buildEdgeTubes(pendingLines_, pendingPositions_, edgeTubeRadius(pendingPositions_));
    scene_ = std::move(next);
}

SnapshotScene& BatchSnapshots::ownScene()
{
    // Only this object hands the scene out, so a count of one stays one.
    if (scene_.use_count() > 1)
        scene_ = std::make_shared<SnapshotScene>(*scene_);
    return *scene_;
}

const SnapshotScene& BatchSnapshots::scene()
{
    buildPendingScene();
    return *scene_;
}

void BatchSnapshots::positionsChanged(const iuv::DoubleVector& sharedPositions)
{
    SnapshotCamera& camera = ownScene().camera;
    camera.fit(sharedPositions, width_, height_);
    std::ifstream stored(pipeline_.resultPath("navigation.mtx"));
    if (stored)
        camera.readView(stored);
}

void BatchSnapshots::finishSnapshots()
{
    for (const auto& failure : queue_.drain())
        std::cout << "Skipping snapshot " << failure.first << ": " << failure.second << "." << std::endl;
}

bool BatchSnapshots::saveSnapshot(const std::string& pngName, std::string& whyNot)
{
    finishSnapshots();
    if (!queue_.ready(whyNot)) {
        if (!failureReported_) {
            failureReported_ = true;
            std::cout << "OpenGL is not available (" << whyNot
                      << "): the 3D view stays empty and no 3D snapshots are written." << std::endl;
        }
        whyNot = "OpenGL is not available";
        return false;
    }
    SnapshotFile file;
    if (!openSnapshotFile(pngName, file, whyNot))
        return false;
    buildPendingScene();
    queue_.submit(scene_, width_, height_, std::move(file));
    return true;
}
