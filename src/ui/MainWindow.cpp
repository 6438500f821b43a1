#include "ui/MainWindow.h"

#include "ui/GLViewer3DModel.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

namespace {

// A load that waits for the 3D view gives up waiting after this long, so that
// a view that never gets to initialise cannot keep the model from loading.
constexpr int LoadWaitLimitMs = 10000;

std::string orEmpty(const char* text)
{
    return text ? std::string(text) : std::string();
}

} // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent)
{
    form_.setupUi(this);
    setWindowTitle(QStringLiteral("Tarnwick UI"));

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

    connectSignals();
}

MainWindow::~MainWindow()
{
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
    connect(form_.storeViewButton, &QPushButton::pressed, view3D, &GLViewer3DModel::storeView);
    connect(view2D, &Viewer2DUV::statsChanged, this, &MainWindow::updateStatsDisplay);
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
    viewer2D()->showDisplayUpdate(dirtyUVData, stats);
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
    viewer2D()->showNewPositions(sharedPositions);
}

void MainWindow::loadFinished()
{
    const Model& model = pipeline_.model();
    viewer3D()->setConeSingularities(model.coneSingularities, model.sharedPositions);
}

void MainWindow::inputRejected(const std::string& title, const std::string& text)
{
    if (pipeline_.batchMode() || !criticalHook_)
        return;
    criticalHook_(viewer2D(), QString::fromStdString(title), QString::fromStdString(text));
}

bool MainWindow::saveSnapshot(const std::string& pngName, std::string& whyNot)
{
    QString reason;
    if (viewer3D()->saveSnapshot(QString::fromLocal8Bit(pngName.c_str()), &reason))
        return true;
    whyNot = reason.toStdString();
    return false;
}

// ---- Slots --------------------------------------------------------------------

void MainWindow::writeResultJSON(const char* filename)
{
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
    form_.numChartsLabel->setText(QString("%1").arg(stats.numCharts));
    form_.summedBLengthLabel->setText(QString("%1").arg(stats.normBLen));
    form_.numVerticesLabel->setText(QString("%1").arg(stats.numVertices));
    form_.numTrianglesLabel->setText(QString("%1").arg(stats.numTriangles));
    form_.fillRateLabel->setText(QString("%1").arg(stats.packingEfficiency));
}

void MainWindow::seamSelectionChanged(QString /*label*/, size_t /*seamIdx*/) {}

void MainWindow::seamSelectionCleared() {}

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
    pipeline_.runAll();
}

void MainWindow::reloadButtonPressed()
{
    pipeline_.reload();
}

void MainWindow::saveButtonPressed()
{
    pipeline_.save();
}

void MainWindow::stepButtonPressed()
{
    pipeline_.step();
}

void MainWindow::removeOverlapsTrivial()
{
    pipeline_.removeOverlapsTrivial();
}
