#include "ui_test_support.h"

#include "meshgen/meshgen.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <memory>

namespace uitest {

Model quadStrip(int count)
{
    Model model;
    for (int i = 0; i <= count; ++i) {
        model.sharedPositions.insert(model.sharedPositions.end(), {double(i), 0.0, 0.0}); // bottom i = 2i
        model.sharedPositions.insert(model.sharedPositions.end(), {double(i), 1.0, 0.0}); // top i = 2i + 1
    }
    const double size = 0.15;
    const double step = 0.2;
    for (int q = 0; q < count; ++q) {
        const uint32_t b0 = 2 * q, t0 = 2 * q + 1, b1 = 2 * q + 2, t1 = 2 * q + 3;
        Chart chart;
        chart.triIndicesPos = {b0, b1, t1, b0, t1, t0};
        chart.triIndicesUV = {0, 1, 2, 0, 2, 3};
        const double x = q * step;
        chart.uvCoords2D = {x, 0.0, x + size, 0.0, x + size, size, x, size};
        model.charts.push_back(chart);
    }
    return model;
}

std::string writeGridOBJ(const std::string& path, int n, bool textured)
{
    meshgen::MeshData grid = meshgen::flatGrid(n, n, meshgen::Outline::Rectangle);
    if (!textured)
        meshgen::dropUVs(grid);
    meshgen::writeOBJ(grid, path);
    return path;
}

bool waitUntil(const std::function<bool()>& pred, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!pred() && timer.elapsed() < timeoutMs)
        QTest::qWait(10);
    return pred();
}

void answerNextDialog(const QString& file, QStringList* shown)
{
    // The dialog is answered again on every tick until it is gone.
    struct State {
        bool seen = false;
        QPointer<QWidget> dialog;
    };
    auto* timer = new QTimer(qApp);
    auto state = std::make_shared<State>();
    QObject::connect(timer, &QTimer::timeout, timer, [timer, file, shown, state] {
        if (!state->seen) {
            state->dialog = QApplication::activeModalWidget();
            if (!state->dialog)
                return;
            state->seen = true;
            if (auto* box = qobject_cast<QMessageBox*>(state->dialog.data()); box && shown)
                *shown << box->windowTitle() << box->text();
        }
        if (!state->dialog || !state->dialog->isVisible()) {
            timer->stop();
            timer->deleteLater();
            return;
        }
        auto* dialog = qobject_cast<QFileDialog*>(state->dialog.data());
        if (dialog && !file.isEmpty()) {
            // Typed as a user would: selectFile leaves a focused name field alone.
            if (auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                name->setText(file);
            if (dialog->selectedFiles().value(0) == file)
                static_cast<QDialog*>(dialog)->done(QDialog::Accepted);
        } else {
            state->dialog->close();
        }
    });
    timer->start(20);
}

} // namespace uitest
