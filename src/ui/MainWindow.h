#pragma once

#include "app/pipeline.h"
#include "ui/MainWindowForm.h"
#include "ui/PipelineRunner.h"
#include "ui/Viewer2DUV.h"

#include <QMainWindow>
#include <QString>

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>

class GLViewer3DModel;
class QAction;
class QDragEnterEvent;
class QDateTime;
class QDropEvent;
class QMimeData;
class QLabel;
class QMenu;
class RunStatusPanel;
class QCheckBox;

// The main window: statistics bar, the 2D and 3D views and the control strip.
// It owns the pipeline and shows what the pipeline reports; its slots only
// forward to the pipeline and the views.
class MainWindow : public QMainWindow, public PipelineObserver {
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    Pipeline& pipeline() { return pipeline_; }
    const MainWindowForm& form() const { return form_; }
    Viewer2DUV* viewer2D() const { return form_.graphicsView2D; }
    GLViewer3DModel* viewer3D() const { return form_.modelViewerGL; }

    // Batch mode: no dialogs, and loads never wait for the 3D view.
    void setBatchMode(bool batch);
    bool batchMode() const { return pipeline_.batchMode(); }

    // The folder of the result files and of the stored camera ("" = working folder).
    void setOutputDirectory(const std::string& dir);

    // Loads through the 2D view (which may wait for the 3D view); the cone
    // singularities reach the 3D view when the load has finished.
    void loadModelFromFile(const char* filename, bool repack);
    void exportResults(const char* svgName, const char* objName, const char* pngName);
    // The batch sequence; returns the process exit status.
    int runBatchPipeline();

    // Reads the texture of the input layout for Save and the 3D view's
    // texture display. False when it cannot be read: a warning box "Texture
    // Not Loaded" says why (no box in batch mode) and the old texture stays.
    bool loadTexture(const QString& fileName);
    QCheckBox* textureCheckBox() const { return texture3DCB_; }
    QAction* loadTextureAction() const { return loadTextureAction_; }
    // File > Load texture: asks for an image file and loads it. (Plain
    // member functions, connected directly: the slot list stays as it is.)
    void loadTextureActionTriggered();
    // Shows the texture on the mesh instead of the checkerboard.
    void texture3DCBToggled(bool checked);

    // The rejected-input box; the default shows a QMessageBox::critical.
    void setCriticalHook(MessageBoxHook hook) { criticalHook_ = std::move(hook); }

    // Interactive runs go on a worker thread; these report on them.
    bool runInProgress() const { return runner_.isRunning(); }
    PipelineRunner& runner() { return runner_; }
    RunStatusPanel* runStatusPanel() const { return runStatus_; }
    // Asks a running run to stop at its next safe point (Cancel, Escape).
    void cancelRun();
    // Called when the window is closed while a run does not stop in time:
    // ends the process. The default holds the result-file lock (so that no
    // file is left half written) and exits with status 0.
    void setForcedExitHook(std::function<void()> hook) { forcedExitHook_ = std::move(hook); }
    // How long closing the window waits for a cancelled run.
    static constexpr int CloseWaitMs = 1500;
    // Whether the views show the layout of every refinement iteration (on by
    // default) or only the result of each stage.
    void setRedrawEachIteration(bool redraw) { redrawEachIteration_ = redraw; }

    // File > Open without the dialog: loads another model (stage counter 0)
    // and puts it first in the recent files. Ignored while a run goes on.
    void openModelFile(const QString& path);
    // The recent model files, most recent first (kept in the user settings).
    QStringList recentFiles() const;
    static constexpr int MaxRecentFiles = 8;
    // The window's actions by object name ("openAction", "runAction", ...).
    QAction* action(const char* name) const;
    // The status bar's permanent labels: the selected seam and the layout
    // warnings (flipped triangles, overlaps).
    QLabel* seamStatusLabel() const { return seamStatus_; }
    QLabel* layoutWarningLabel() const { return layoutWarning_; }

    // PipelineObserver.
    void displayUpdated(bool dirtyUVData, const UnwrappingStats& stats) override;
    void iterationLayout(const Model& current) override;
    void positionsChanged(const iuv::DoubleVector& sharedPositions) override;
    void loadFinished() override;
    void inputRejected(const std::string& title, const std::string& text) override;
    bool saveSnapshot(const std::string& pngName, std::string& whyNot) override;

public slots:
    void writeResultJSON(const char* filename);
    void flatShadingRBToggled(bool checked);
    void smoothShadingRBToggled(bool checked);
    void noShadingRBToggled(bool checked);
    void coneSingularities3DCBToggled(bool checked);
    void cutEdges3DCBToggled(bool checked);
    void updateStatsDisplay(const UnwrappingStats& stats);
    void seamSelectionChanged(QString label, size_t seamIdx);
    void seamSelectionCleared();
    void reattachmentButtonPressed();
    void clearReattachmentButtonPressed();
    void glueButtonPressed();
    void optimizeButtonPressed();
    void reloadButtonPressed();
    void saveButtonPressed();
    void stepButtonPressed();
    void removeOverlapsTrivial();

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void connectSignals();
    // Starts job on the worker thread (interactive) or runs it at once (batch).
    void runJob(PipelineRunner::Job job);
    void runStarted();
    void runFinished(bool completed);
    // Draws the latest iteration layout handed over by the worker, if any.
    void showPendingIteration();
    // Enables the controls that fit the current state (model loaded, run going).
    void updateControlStates();
    bool onGuiThread() const;
    // Menus, tool bar and shortcuts (MainWindowMenus.cpp).
    void buildMenus();
    void rebuildRecentMenu();
    void rememberRecentFile(const QString& path);
    void showOpenDialog();
    void storeViewPressed();
    void updateWindowTitle();
    // Sizes the captions and check boxes to their texts.
    void fitTextsToWidgets();
    // The first dropped file that the loader can read, or empty.
    static QString droppedModelFile(const QMimeData* mime);
    // A file (not a folder of that name) was written at or after since (a
    // second's grace for coarse clocks).
    static bool writtenSince(const QString& path, const QDateTime& since);
    // The texture check box and the File > Load texture action.
    void setupTextureControls();
    // Resamples the texture into the current layout for the 3D view.
    void refreshSurfaceTexture();
    // Whether a load should wait until the 3D view reports that it is ready.
    bool canWaitFor3DView() const;

    MainWindowForm form_;
    Pipeline pipeline_;
    // Declared after the pipeline: it is destroyed (and its worker joined) first.
    PipelineRunner runner_;
    bool redrawEachIteration_ = true;
    std::mutex iterationMutex_;
    std::shared_ptr<DisplayData> pendingIteration_;
    RunStatusPanel* runStatus_ = nullptr;
    QLabel* seamStatus_ = nullptr;
    QLabel* layoutWarning_ = nullptr;
    QMenu* recentMenu_ = nullptr;
    MessageBoxHook criticalHook_;
    std::function<void()> forcedExitHook_;
    QCheckBox* texture3DCB_ = nullptr;
    QAction* loadTextureAction_ = nullptr;
};
