#include "ui/MainWindow.h"

#include "ui/GLViewer3DModel.h"
#include "ui/RunStatusPanel.h"

#include <QCheckBox>
#include <QAction>
#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <iostream>

namespace {

// A load that waits for the 3D view gives up waiting after this long, so that
// a view that never gets to initialise cannot keep the model from loading.
constexpr int LoadWaitLimitMs = 10000;

std::string orEmpty(const char* text)
{
    return text ? std::string(text) : std::string();
}

} // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent), runner_(pipeline_)
{
    form_.setupUi(this);
    setWindowTitle(QStringLiteral("Tarnwick"));
    // The size the window has when it is not maximised fits the screen.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QSize avail = screen->availableGeometry().size();
        resize(std::min(width(), avail.width() * 9 / 10), std::min(height(), avail.height() * 9 / 10));
    }
    setAcceptDrops(true);
    viewer3D()->installEventFilter(this);
    viewer3D()->setThreeQuarterStart(true);
    fitTextsToWidgets();

    criticalHook_ = [](QWidget* parentWidget, const QString& title, const QString& text) {
        QMessageBox::critical(parentWidget, title, text, QMessageBox::Ok, QMessageBox::NoButton);
    };
    pipeline_.setObserver(this);
    viewer2D()->setPipeline(&pipeline_);
    viewer2D()->setWaitFor3DView(canWaitFor3DView());
    QPointer<Viewer2DUV> view2D(viewer2D());
    viewer3D()->setOpenGLFailureHandler([view2D]() {
        if (view2D)
            view2D->setWaitFor3DView(false);
    });

    runStatus_ = new RunStatusPanel(form_.statusBar);
    runStatus_->setObjectName(QStringLiteral("runStatusPanel"));
    seamStatus_ = new QLabel(form_.statusBar);
    seamStatus_->setObjectName(QStringLiteral("seamStatusLabel"));
    layoutWarning_ = new QLabel(form_.statusBar);
    layoutWarning_->setObjectName(QStringLiteral("layoutWarningLabel"));
    layoutWarning_->setStyleSheet(QStringLiteral("color: #b00000; font-weight: bold;"));
    form_.statusBar->addPermanentWidget(layoutWarning_);
    form_.statusBar->addPermanentWidget(seamStatus_);
    form_.statusBar->addPermanentWidget(runStatus_);
    buildMenus();
    forcedExitHook_ = [this]() {
        // Whatever the worker is doing, no result file is half written once
        // this lock is held; the process ends while holding it.
        pipeline_.resultFileMutex().lock();
        std::cout << "The run did not stop in time; exiting." << std::endl;
        std::_Exit(0);
    };

    connectSignals();
    updateControlStates();
    setupTextureControls();
}

MainWindow::~MainWindow()
{
    // A run still going is stopped before the pipeline goes away.
    runner_.cancel();
    runner_.wait(60 * 60 * 1000);
    // The widgets outlive the pipeline member by a moment: cut their links.
    pipeline_.setObserver(nullptr);
    viewer2D()->setPipeline(nullptr);
}

void MainWindow::connectSignals()
{
    Viewer2DUV* view2D = viewer2D();
    GLViewer3DModel* view3D = viewer3D();
    connect(view3D, &GLViewer3DModel::glViewer3DInitialized, view2D, &Viewer2DUV::viewer3DReady);
    connect(view2D, &Viewer2DUV::meshDataChanged, view3D, &GLViewer3DModel::updateMeshData);
    connect(view2D, &Viewer2DUV::positions3DChanged, view3D, &GLViewer3DModel::updateCamera);
    connect(form_.flatShadingRB, &QRadioButton::toggled, this, &MainWindow::flatShadingRBToggled);
    connect(form_.smoothShadingRB, &QRadioButton::toggled, this, &MainWindow::smoothShadingRBToggled);
    connect(form_.noShadingRB, &QRadioButton::toggled, this, &MainWindow::noShadingRBToggled);
    connect(form_.coneSingularities3DCB, &QCheckBox::toggled, this, &MainWindow::coneSingularities3DCBToggled);
    connect(form_.cutEdges3DCB, &QCheckBox::toggled, this, &MainWindow::cutEdges3DCBToggled);
    connect(view2D, &Viewer2DUV::selectedSeamChanged, this, &MainWindow::seamSelectionChanged);
    connect(view2D, &Viewer2DUV::seamSelectionCleared, this, &MainWindow::seamSelectionCleared);
    connect(form_.optimizeButton, &QPushButton::pressed, this, &MainWindow::optimizeButtonPressed);
    connect(form_.reloadButton, &QPushButton::pressed, this, &MainWindow::reloadButtonPressed);
    connect(form_.saveButton, &QPushButton::pressed, this, &MainWindow::saveButtonPressed);
    connect(form_.storeViewButton, &QPushButton::pressed, this, &MainWindow::storeViewPressed);
    connect(view2D, &Viewer2DUV::statsChanged, this, &MainWindow::updateStatsDisplay);

    connect(&runner_, &PipelineRunner::started, this, &MainWindow::runStarted);
    connect(&runner_, &PipelineRunner::progress, runStatus_, &RunStatusPanel::showProgress);
    connect(&runner_, &PipelineRunner::finished, this, &MainWindow::runFinished);
    connect(runStatus_, &RunStatusPanel::cancelRequested, this, &MainWindow::cancelRun);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, this, &MainWindow::cancelRun);
}

bool MainWindow::onGuiThread() const
{
    return QThread::currentThread() == thread();
}

void MainWindow::updateControlStates()
{
    const bool running = runner_.isRunning();
    const bool hasModel = !pipeline_.model().charts.empty() || running;
    const bool hasFile = !pipeline_.modelFileName().empty();
    form_.optimizeButton->setEnabled(!running && hasModel);
    form_.saveButton->setEnabled(!running && hasModel);
    form_.reloadButton->setEnabled(!running && hasFile);
    form_.storeViewButton->setEnabled(hasModel);
    // A texture is not swapped under a run that writes it.
    if (loadTextureAction_)
        loadTextureAction_->setEnabled(!running);
    const bool seamSelected = viewer2D()->selectedSeamIndex() >= 0;
    const std::pair<const char*, bool> states[] = {
        {"openAction", !running},          {"saveAction", !running && hasModel},
        {"runAction", !running && hasModel}, {"stepAction", !running && hasModel},
        {"reloadAction", !running && hasFile}, {"glueAction", !running && seamSelected},
        {"reattachAction", !running && seamSelected}, {"clearSeamAction", seamSelected},
    };
    for (const auto& [name, enabled] : states) {
        if (QAction* a = action(name))
            a->setEnabled(enabled);
    }
    if (recentMenu_)
        recentMenu_->setEnabled(!running && !recentFiles().isEmpty());
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (runner_.isRunning()) {
        runner_.cancel();
        if (!runner_.wait(CloseWaitMs) && forcedExitHook_)
            forcedExitHook_();
    }
    QMainWindow::closeEvent(event);
}

bool MainWindow::canWaitFor3DView() const
{
    if (pipeline_.batchMode())
        return false;
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"))
        return false;
    return GLViewer3DModel::openGLAvailable() && !viewer3D()->openGLFailed();
}

void MainWindow::setBatchMode(bool batch)
{
    pipeline_.setBatchMode(batch);
    viewer2D()->setWaitFor3DView(canWaitFor3DView());
}

void MainWindow::setOutputDirectory(const std::string& dir)
{
    pipeline_.setOutputDirectory(dir);
    viewer3D()->setNavigationFile(QString::fromLocal8Bit(pipeline_.resultPath("navigation.mtx").c_str()));
}

void MainWindow::loadModelFromFile(const char* filename, bool repack)
{
    Viewer2DUV* view2D = viewer2D();
    view2D->loadModel(filename, repack);
    if (!view2D->pendingModelFile().isEmpty()) {
        QPointer<Viewer2DUV> guarded(view2D);
        QTimer::singleShot(LoadWaitLimitMs, this, [guarded]() {
            if (guarded && !guarded->pendingModelFile().isEmpty())
                guarded->setWaitFor3DView(false);
        });
    }
}

void MainWindow::exportResults(const char* svgName, const char* objName, const char* pngName)
{
    pipeline_.exportResults(orEmpty(svgName), orEmpty(objName), orEmpty(pngName));
}

int MainWindow::runBatchPipeline()
{
    return ::runBatchPipeline(pipeline_);
}

// ---- PipelineObserver -------------------------------------------------------

void MainWindow::displayUpdated(bool dirtyUVData, const UnwrappingStats& stats)
{
    if (!onGuiThread()) {
        // A run on the worker: the view gets a copy of the layout as it is now.
        std::shared_ptr<const DisplayData> data;
        if (dirtyUVData)
            data = Viewer2DUV::captureDisplayData(pipeline_);
        QPointer<Viewer2DUV> view(viewer2D());
        runner_.postToOwnerThread([view, dirtyUVData, stats, data]() {
            if (view)
                view->showDisplayUpdate(dirtyUVData, stats, data);
        });
        return;
    }
    viewer2D()->showDisplayUpdate(dirtyUVData, stats);
    if (dirtyUVData)
        refreshSurfaceTexture();
    // Long stages run inside one slot; show each stage's result as it ends.
    // Only the plain widgets are painted here: the OpenGL view may be in the
    // middle of its own initialisation (a waiting load runs from there) and
    // repaints when the event loop resumes.
    if (!pipeline_.batchMode() && isVisible() && !isMinimized()) {
        form_.widget_2->repaint();
        viewer2D()->viewport()->repaint();
    }
}

void MainWindow::positionsChanged(const iuv::DoubleVector& sharedPositions)
{
    if (!onGuiThread()) {
        QPointer<Viewer2DUV> view(viewer2D());
        runner_.postToOwnerThread([view, sharedPositions]() {
            if (view)
                view->showNewPositions(sharedPositions);
        });
        return;
    }
    viewer2D()->showNewPositions(sharedPositions);
}

void MainWindow::loadFinished()
{
    const Model& model = pipeline_.model();
    if (!onGuiThread()) {
        QPointer<GLViewer3DModel> view(viewer3D());
        runner_.postToOwnerThread([view, cones = model.coneSingularities, positions = model.sharedPositions]() {
            if (view)
                view->setConeSingularities(cones, positions);
        });
        return;
    }
    viewer3D()->setConeSingularities(model.coneSingularities, model.sharedPositions);
    updateWindowTitle();
    updateControlStates();
}

void MainWindow::inputRejected(const std::string& title, const std::string& text)
{
    if (pipeline_.batchMode() || !criticalHook_)
        return;
    if (!onGuiThread()) {
        runner_.postToOwnerThread([this, title, text]() { inputRejected(title, text); });
        return;
    }
    criticalHook_(viewer2D(), QString::fromStdString(title), QString::fromStdString(text));
}

bool MainWindow::saveSnapshot(const std::string& pngName, std::string& whyNot)
{
    // The 3D view renders on the GUI thread; a run on the worker waits for it
    // unless it is cancelled meanwhile.
    QString reason;
    bool saved = false;
    const bool ran = runner_.callOnOwnerThread([&]() {
        saved = viewer3D()->saveSnapshot(QString::fromLocal8Bit(pngName.c_str()), &reason);
    });
    if (!ran) {
        whyNot = "the run was cancelled";
        return false;
    }
    if (saved)
        return true;
    whyNot = reason.toStdString();
    return false;
}

// ---- Slots --------------------------------------------------------------------

void MainWindow::writeResultJSON(const char* filename)
{
    if (runner_.isRunning())
        return;
    pipeline_.writeResultJSON(orEmpty(filename));
}

void MainWindow::flatShadingRBToggled(bool checked)
{
    if (checked)
        viewer3D()->setShadingMode(GLViewer3DModel::FlatShading);
}

void MainWindow::smoothShadingRBToggled(bool checked)
{
    if (checked)
        viewer3D()->setShadingMode(GLViewer3DModel::SmoothShading);
}

void MainWindow::noShadingRBToggled(bool checked)
{
    if (checked)
        viewer3D()->setShadingMode(GLViewer3DModel::NoShading);
}

void MainWindow::coneSingularities3DCBToggled(bool checked)
{
    viewer3D()->setShowConeSingularities(checked);
}

void MainWindow::cutEdges3DCBToggled(bool checked)
{
    viewer3D()->setShowCutEdges(checked);
}

void MainWindow::updateStatsDisplay(const UnwrappingStats& stats)
{
    // Fixed decimals keep the numbers readable and the bar steady.
    form_.numChartsLabel->setText(QString("%1").arg(stats.numCharts));
    form_.summedBLengthLabel->setText(QString("%1").arg(stats.normBLen, 0, 'f', 3));
    form_.numVerticesLabel->setText(QString("%1").arg(stats.numVertices));
    form_.numTrianglesLabel->setText(QString("%1").arg(stats.numTriangles));
    form_.fillRateLabel->setText(QString("%1").arg(stats.packingEfficiency, 0, 'f', 2));
    QStringList warnings;
    if (stats.flipsFound)
        warnings << tr("flipped triangles (tinted red)");
    if (stats.overlapsFound)
        warnings << tr("overlapping charts");
    layoutWarning_->setText(warnings.isEmpty() ? QString() : tr("Layout has ") + warnings.join(tr(" and ")));
}

void MainWindow::seamSelectionChanged(QString label, size_t /*seamIdx*/)
{
    seamStatus_->setText(label);
    updateControlStates();
}

void MainWindow::seamSelectionCleared()
{
    seamStatus_->clear();
    updateControlStates();
}

void MainWindow::reattachmentButtonPressed()
{
    viewer2D()->reattachAlongCurrentSeam();
}

void MainWindow::clearReattachmentButtonPressed()
{
    viewer2D()->clearSelection();
}

void MainWindow::glueButtonPressed()
{
    viewer2D()->glueCurrentSeam();
}

void MainWindow::optimizeButtonPressed()
{
    if (pipeline_.model().charts.empty())
        return;
    runJob([](Pipeline& p) { return p.runAll(); });
}

void MainWindow::reloadButtonPressed()
{
    if (runner_.isRunning())
        return;
    pipeline_.reload();
}

void MainWindow::saveButtonPressed()
{
    if (runner_.isRunning() || pipeline_.model().charts.empty())
        return;
    const QDateTime before = QDateTime::currentDateTime();
    pipeline_.save();
    // Say what was written, and where.
    QStringList written, missing;
    for (const char* name : {"export.svg", "export.obj", "export3D.png"}) {
        const QString path = QString::fromLocal8Bit(pipeline_.resultPath(name).c_str());
        (writtenSince(path, before) ? written : missing) << QString::fromLatin1(name);
    }
    const QString dir = QDir::toNativeSeparators(
        QFileInfo(QString::fromLocal8Bit(pipeline_.resultPath("export.svg").c_str())).absolutePath());
    QString message = written.isEmpty() ? tr("Nothing was saved") : tr("Saved %1 in %2").arg(written.join(", "), dir);
    if (!missing.isEmpty())
        message += tr("; not written: %1 (see the console)").arg(missing.join(", "));
    statusBar()->showMessage(message);
}

void MainWindow::stepButtonPressed()
{
    runJob([](Pipeline& p) { return p.step(); });
}

void MainWindow::removeOverlapsTrivial()
{
    runJob([](Pipeline& p) {
        p.removeOverlapsTrivial();
        return true;
    });
}
