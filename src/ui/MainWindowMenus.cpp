// The window's menus and tool bar (File, Pipeline, Seam, View), the recent
// files, opening dropped models, and the texts of title and status bar.
#include "ui/MainWindow.h"

#include "ui/GLViewer3DModel.h"

#include <QAction>
#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QStatusBar>
#include <QToolBar>
#include <QUrl>

namespace {

const char* const RecentFilesKey = "recentFiles";

QAction* makeAction(QWidget* owner, QMenu* menu, const char* name, const QString& text, const QKeySequence& keys)
{
    auto* action = new QAction(text, owner);
    action->setObjectName(QString::fromLatin1(name));
    if (!keys.isEmpty())
        action->setShortcut(keys);
    menu->addAction(action);
    return action;
}

bool readableModelName(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("obj") || suffix == QLatin1String("gltf") || suffix == QLatin1String("glb");
}

} // namespace

bool MainWindow::writtenSince(const QString& path, const QDateTime& since)
{
    const QFileInfo info(path);
    return info.isFile() && info.lastModified() >= since.addSecs(-1);
}

void MainWindow::buildMenus()
{
    QMenu* file = form_.menuBar->addMenu(tr("&File"));
    QAction* open = makeAction(this, file, "openAction", tr("&Open..."), QKeySequence(Qt::CTRL + Qt::Key_O));
    connect(open, &QAction::triggered, this, &MainWindow::showOpenDialog);
    recentMenu_ = file->addMenu(tr("Open &Recent"));
    recentMenu_->setObjectName(QStringLiteral("recentMenu"));
    QAction* save = makeAction(this, file, "saveAction", tr("&Save"), QKeySequence(Qt::CTRL + Qt::Key_S));
    connect(save, &QAction::triggered, this, &MainWindow::saveButtonPressed);
    file->addSeparator();
    QAction* quit = makeAction(this, file, "quitAction", tr("&Quit"), QKeySequence(Qt::CTRL + Qt::Key_Q));
    connect(quit, &QAction::triggered, this, &QWidget::close);

    QMenu* pipelineMenu = form_.menuBar->addMenu(tr("&Pipeline"));
    QAction* run = makeAction(this, pipelineMenu, "runAction", tr("&Run"), QKeySequence(Qt::CTRL + Qt::Key_R));
    connect(run, &QAction::triggered, this, &MainWindow::optimizeButtonPressed);
    QAction* step = makeAction(this, pipelineMenu, "stepAction", tr("Run Next &Stage"), QKeySequence());
    connect(step, &QAction::triggered, this, &MainWindow::stepButtonPressed);
    QAction* reload = makeAction(this, pipelineMenu, "reloadAction", tr("Re&load"), QKeySequence());
    connect(reload, &QAction::triggered, this, &MainWindow::reloadButtonPressed);

    QMenu* seam = form_.menuBar->addMenu(tr("S&eam"));
    QAction* glue = makeAction(this, seam, "glueAction", tr("&Glue Selected Seam"), QKeySequence(Qt::Key_G));
    connect(glue, &QAction::triggered, this, &MainWindow::glueButtonPressed);
    QAction* reattach =
        makeAction(this, seam, "reattachAction", tr("Show &Reattachment Along Selected Seam"), QKeySequence());
    connect(reattach, &QAction::triggered, this, &MainWindow::reattachmentButtonPressed);
    QAction* clear = makeAction(this, seam, "clearSeamAction", tr("&Clear Selection"), QKeySequence());
    connect(clear, &QAction::triggered, this, &MainWindow::clearReattachmentButtonPressed);

    QMenu* view = form_.menuBar->addMenu(tr("&View"));
    QAction* fit = makeAction(this, view, "fitAction", tr("&Fit Layout"), QKeySequence());
    fit->setToolTip(tr("Fit the whole layout into the 2D view (F, Home)"));
    connect(fit, &QAction::triggered, viewer2D(), &Viewer2DUV::fitToView);
    form_.mainToolBar->addAction(fit);
    form_.mainToolBar->addAction(open);
    form_.mainToolBar->addAction(run);

    rebuildRecentMenu();
}

QAction* MainWindow::action(const char* name) const
{
    return findChild<QAction*>(QString::fromLatin1(name));
}

QStringList MainWindow::recentFiles() const
{
    return QSettings().value(QString::fromLatin1(RecentFilesKey)).toStringList();
}

void MainWindow::rememberRecentFile(const QString& path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QStringList files = recentFiles();
    files.removeAll(absolute);
    files.prepend(absolute);
    while (files.size() > MaxRecentFiles)
        files.removeLast();
    QSettings().setValue(QString::fromLatin1(RecentFilesKey), files);
    rebuildRecentMenu();
}

void MainWindow::rebuildRecentMenu()
{
    if (!recentMenu_)
        return;
    recentMenu_->clear();
    const QStringList files = recentFiles();
    for (const QString& path : files) {
        QAction* entry = recentMenu_->addAction(QDir::toNativeSeparators(path));
        connect(entry, &QAction::triggered, this, [this, path]() { openModelFile(path); });
    }
    recentMenu_->setEnabled(!files.isEmpty() && !runner_.isRunning());
}

void MainWindow::showOpenDialog()
{
    if (runner_.isRunning())
        return;
    const QString dir = pipeline_.modelFileName().empty()
                            ? QDir::currentPath()
                            : QFileInfo(QString::fromLocal8Bit(pipeline_.modelFileName().c_str())).absolutePath();
    const QString path = QFileDialog::getOpenFileName(this, tr("Open Model"), dir,
                                                      tr("Meshes (*.obj *.gltf *.glb);;All files (*)"));
    if (!path.isEmpty())
        openModelFile(path);
}

void MainWindow::openModelFile(const QString& path)
{
    if (runner_.isRunning() || path.isEmpty())
        return;
    statusBar()->clearMessage();
    const LoadStatus status = pipeline_.openModel(QFile::encodeName(path).toStdString());
    if (status == LoadStatus::Loaded) {
        rememberRecentFile(path);
        statusBar()->showMessage(tr("Opened %1").arg(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath())));
    }
}

void MainWindow::updateWindowTitle()
{
    const std::string& name = pipeline_.modelFileName();
    if (name.empty() || pipeline_.model().charts.empty()) {
        setWindowTitle(QStringLiteral("Tarnwick"));
        return;
    }
    setWindowTitle(QFileInfo(QString::fromLocal8Bit(name.c_str())).fileName() + QStringLiteral(" - Tarnwick"));
}

void MainWindow::storeViewPressed()
{
    const QString path = viewer3D()->navigationFile();
    const QDateTime before = QDateTime::currentDateTime();
    viewer3D()->storeView();
    const QString shown = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    if (writtenSince(path, before))
        statusBar()->showMessage(tr("Stored the 3D view in %1").arg(shown));
    else
        statusBar()->showMessage(tr("Could not write %1").arg(shown));
}

QString MainWindow::droppedModelFile(const QMimeData* mime)
{
    if (!mime || !mime->hasUrls())
        return QString();
    for (const QUrl& url : mime->urls()) {
        const QString path = url.toLocalFile();
        if (!path.isEmpty() && readableModelName(path))
            return path;
    }
    return QString();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (!runner_.isRunning() && !droppedModelFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event)
{
    const QString path = droppedModelFile(event->mimeData());
    if (path.isEmpty() || runner_.isRunning())
        return;
    event->acceptProposedAction();
    openModelFile(path);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    // The 3D view takes OBJ drags itself; their drops open the model here.
    if (watched == viewer3D() && event->type() == QEvent::Drop) {
        dropEvent(static_cast<QDropEvent*>(event));
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::fitTextsToWidgets()
{
    const auto widen = [](QWidget* w) {
        if (w->width() < w->sizeHint().width())
            w->resize(w->sizeHint().width(), w->height());
    };
    for (QWidget* w : std::initializer_list<QWidget*>{form_.coneSingularities3DCB, form_.cutEdges3DCB,
                                                      form_.flatShadingRB, form_.smoothShadingRB,
                                                      form_.noShadingRB})
        widen(w);
}
