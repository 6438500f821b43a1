#pragma once

#include "ui/GLViewer3DModel.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWheelEvent>

// The view with its event handlers open to the tests; it reads no stored
// camera unless a test names a file.
class TestView : public GLViewer3DModel {
public:
    TestView() { setNavigationFile(QStringLiteral("/nonexistent/navigation.mtx")); }

    void press(int x, int y, Qt::MouseButton button)
    {
        QMouseEvent e(QEvent::MouseButtonPress, QPointF(x, y), button, button, Qt::NoModifier);
        mousePressEvent(&e);
    }
    void move(int x, int y, Qt::MouseButtons buttons)
    {
        QMouseEvent e(QEvent::MouseMove, QPointF(x, y), Qt::NoButton, buttons, Qt::NoModifier);
        mouseMoveEvent(&e);
    }
    void wheel(int delta)
    {
        QWheelEvent e(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
        wheelEvent(&e);
    }
    // Shows the view at the given size; true once OpenGL is initialised.
    bool showInitialised(int width, int height)
    {
        resize(width, height);
        show();
        for (int i = 0; i < 20 && !isGLInitialized(); ++i)
            QApplication::processEvents();
        return isGLInitialized() && size() == QSize(width, height);
    }
};

// The unit square in z = 0 as four triangles around its centre vertex 4 (a
// cone), UVs equal to the positions times uvScale, and a vertex 5 far behind
// that no triangle uses: it makes the markers large without changing the
// fitted view of the square, which fills a square viewport exactly.
struct FlatTestModel {
    iuv::DoubleVector positions{0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 0.5, 0.5, 0, 0.5, 0.5, -10};
    iuv::UIntVector triangles{0, 1, 4, 1, 2, 4, 2, 3, 4, 3, 0, 4};
    iuv::DoubleVector uvs;

    explicit FlatTestModel(double uvScale = 1.0)
    {
        for (size_t i = 0; i < 10; ++i)
            uvs.push_back(uvScale * positions[3 * (i / 2) + i % 2]);
    }
    // Sends the data the way a load does: camera, cone markers, mesh.
    void loadInto(GLViewer3DModel& view) const
    {
        view.updateCamera(positions);
        view.setConeSingularities({4}, positions);
        view.updateMeshData(triangles, positions, triangles, uvs, {0, 1, 1, 2, 2, 3, 3, 0}, 4, {}, {4});
    }
};
