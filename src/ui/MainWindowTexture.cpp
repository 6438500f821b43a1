// The window's texture controls: File > Load texture and the 3D view's
// texture display.
#include "ui/MainWindow.h"

#include "texture/image_files.h"
#include "ui/GLViewer3DModel.h"
#include "ui/ImageFiles.h"

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QFileDialog>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>

#include <cstring>
#include <iostream>

namespace {

QImage toQImage(const RgbaImage& image)
{
    QImage out(image.width, image.height, QImage::Format_RGBA8888);
    if (out.isNull())
        return out;
    for (int y = 0; y < image.height; ++y)
        std::memcpy(out.scanLine(y), image.pixel(0, y), size_t(image.width) * 4);
    return out;
}

} // namespace

void MainWindow::setupTextureControls()
{
    installQtImageFiles();
    texture3DCB_ = new QCheckBox(tr("Texture"), form_.controls3D);
    texture3DCB_->setObjectName(QStringLiteral("texture3DCB"));
    // A third row under "Cone Singularities" and "Cut Edges": the two move up
    // and the rows close in, so that all three stay clear of Store View.
    form_.coneSingularities3DCB->move(form_.coneSingularities3DCB->x(), 20);
    form_.cutEdges3DCB->move(form_.cutEdges3DCB->x(), 40);
    texture3DCB_->setGeometry(QRect(form_.cutEdges3DCB->x(), 60, texture3DCB_->sizeHint().width(), 20));
    texture3DCB_->setChecked(false);
    texture3DCB_->setEnabled(pipeline_.hasTexture());
    connect(texture3DCB_, &QCheckBox::toggled, this, &MainWindow::texture3DCBToggled);

    // Into the File menu, after Save (a menu of its own when there is none).
    QAction* save = findChild<QAction*>(QStringLiteral("saveAction"));
    QMenu* fileMenu = nullptr;
    for (QAction* entry : form_.menuBar->actions()) {
        if (entry->menu() && save && entry->menu()->actions().contains(save))
            fileMenu = entry->menu();
    }
    if (!fileMenu)
        fileMenu = form_.menuBar->addMenu(tr("&File"));
    loadTextureAction_ = new QAction(tr("Load texture..."), this);
    loadTextureAction_->setObjectName(QStringLiteral("loadTextureAction"));
    const QList<QAction*> entries = fileMenu->actions();
    const int at = save ? entries.indexOf(save) + 1 : entries.size();
    fileMenu->insertAction(at < entries.size() ? entries[at] : nullptr, loadTextureAction_);
    connect(loadTextureAction_, &QAction::triggered, this, &MainWindow::loadTextureActionTriggered);
}

bool MainWindow::loadTexture(const QString& fileName)
{
    RgbaImage image;
    std::string why;
    if (!readImageFile(fileName.toStdString(), image, why)) {
        const QString text = tr("Cannot read the texture %1: %2.").arg(fileName, QString::fromStdString(why));
        std::cout << text.toStdString() << std::endl;
        if (!pipeline_.batchMode())
            QMessageBox::warning(this, tr("Texture Not Loaded"), text);
        return false;
    }
    pipeline_.setTexture(image, fileName.toStdString());
    texture3DCB_->setEnabled(true);
    refreshSurfaceTexture();
    return true;
}

void MainWindow::loadTextureActionTriggered()
{
    const QString name = QFileDialog::getOpenFileName(this, tr("Load texture"), QString(),
                                                      tr("Images (*.png *.jpg *.jpeg);;All files (*)"));
    if (!name.isEmpty())
        loadTexture(name);
}

void MainWindow::texture3DCBToggled(bool checked)
{
    refreshSurfaceTexture();
    viewer3D()->setShowSurfaceTexture(checked);
}

void MainWindow::refreshSurfaceTexture()
{
    // While a run goes on the worker owns the model; the texture follows when it ends.
    if (!texture3DCB_ || !texture3DCB_->isChecked() || !pipeline_.hasTexture() || runInProgress())
        return;
    TexturedLayout textured;
    std::string why;
    if (!pipeline_.texturedLayout(textured, why)) {
        viewer3D()->setSurfaceTexture(QImage(), QVector4D());
        return;
    }
    // The view receives the layout's own UVs; map them into the image.
    const float sx = float(textured.texelsPerUV / textured.image.width);
    const float sy = float(textured.texelsPerUV / textured.image.height);
    viewer3D()->setSurfaceTexture(toQImage(textured.image),
                                  QVector4D(sx, sy, -float(textured.originU) * sx, -float(textured.originV) * sy));
}
