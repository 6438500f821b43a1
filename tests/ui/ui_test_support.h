#pragma once

#include "app/pipeline.h"
#include "model/model.h"
#include "ui/Viewer2DUV.h"

#include <QPointF>

#include <functional>
#include <memory>
#include <string>

namespace uitest {

// A row of `count` unit quads in 3D, each quad its own chart (two triangles,
// four UV vertices), the charts laid out side by side in UV with gaps. The
// count - 1 inner edges are seams between neighbouring charts.
Model quadStrip(int count);

// One chart of two quads whose UV layout is cut along the shared edge: a seam
// with the same chart on both sides.
Model chartWithInternalCut();

// Writes a flat n x n grid (UV equal to x,y) as an OBJ file.
std::string writeGridOBJ(const std::string& path, int n);

// Sends the pipeline's reports to a view, as the main window does.
class ForwardingObserver : public PipelineObserver {
public:
    Viewer2DUV* view = nullptr;
    int rejections = 0;

    void displayUpdated(bool dirtyUVData, const UnwrappingStats& stats) override;
    void positionsChanged(const iuv::DoubleVector& sharedPositions) override;
    void loadFinished() override {}
    void inputRejected(const std::string&, const std::string&) override { ++rejections; }
    bool saveSnapshot(const std::string&, std::string& whyNot) override
    {
        whyNot = "no 3D view in this test";
        return false;
    }
};

// A shown 2D view of 600 x 600 pixels driving its own pipeline.
struct ViewHarness {
    Pipeline pipeline;
    ForwardingObserver observer;
    std::unique_ptr<Viewer2DUV> view;

    ViewHarness();
    ~ViewHarness();
    // Installs the model and runs a display update with dirty UV data.
    void setModel(Model model);
    // Left click at a scene point.
    void clickScene(const QPointF& scenePoint);
};

// Runs the event loop until pred holds or timeoutMs passed; returns pred().
bool waitUntil(const std::function<bool()>& pred, int timeoutMs);

} // namespace uitest
