// Runs from the window: starting a job on the worker, following it in the
// status bar and the views, and cancelling it.
#include "ui/MainWindow.h"

#include "ui/RunStatusPanel.h"
#include "topology/layout_stats.h"
#include "topology/mesh_topology.h"

#include <QPointer>
#include <QPushButton>
#include <QStatusBar>

#include <utility>

void MainWindow::runJob(PipelineRunner::Job job)
{
    if (runner_.isRunning())
        return;
    if (pipeline_.batchMode()) {
        job(pipeline_);
        return;
    }
    runner_.start(std::move(job));
}

void MainWindow::runStarted()
{
    viewer2D()->setModelLocked(true);
    runStatus_->runStarted();
    statusBar()->clearMessage();
    updateControlStates();
}

void MainWindow::runFinished(bool completed)
{
    const qint64 elapsed = runStatus_->elapsedMs();
    runStatus_->runFinished();
    viewer2D()->setModelLocked(false);
    updateControlStates();
    refreshSurfaceTexture();
    const QString time = RunStatusPanel::elapsedText(elapsed);
    if (completed) {
        statusBar()->showMessage(tr("Run finished in %1.").arg(time));
    } else if (!pipeline_.stopPoint().empty()) {
        statusBar()->showMessage(tr("Run cancelled %1 after %2; the last consistent layout is shown.")
                                     .arg(QString::fromStdString(pipeline_.stopPoint()), time));
    } else {
        statusBar()->showMessage(tr("Run stopped after %1.").arg(time));
    }
}

void MainWindow::cancelRun()
{
    if (!runner_.isRunning())
        return;
    runner_.cancel();
    runStatus_->cancelButton()->setEnabled(false);
    statusBar()->showMessage(tr("Cancelling at the next safe point..."));
}

void MainWindow::iterationLayout(const Model& current)
{
    if (onGuiThread() || !redrawEachIteration_)
        return;
    // Only what the drawing needs is copied, and the run goes on at once. A
    // copy the view has not drawn yet is replaced, so a slow view costs the
    // run nothing but this copy.
    auto data = std::make_shared<DisplayData>();
    data->model.charts = current.charts;
    data->model.sharedPositions = current.sharedPositions;
    data->model.vertexColors = current.vertexColors;
    data->model.coneSingularities = current.coneSingularities;
    bool drawQueued = false;
    {
        std::lock_guard<std::mutex> lock(iterationMutex_);
        drawQueued = pendingIteration_ != nullptr;
        pendingIteration_ = std::move(data);
    }
    if (drawQueued)
        return;
    QPointer<MainWindow> window(this);
    runner_.postToOwnerThread([window]() {
        if (window)
            window->showPendingIteration();
    });
}

void MainWindow::showPendingIteration()
{
    std::shared_ptr<DisplayData> data;
    {
        std::lock_guard<std::mutex> lock(iterationMutex_);
        data.swap(pendingIteration_);
    }
    if (!data)
        return;
    Model& model = data->model;
    buildMeshTopology(model.charts, model.numVertices(), model.coneSingularities, data->topology);
    const UnwrappingStats stats = computeStats(model.charts, model.sharedPositions);
    viewer2D()->showIterationUpdate(stats, std::move(data));
}
