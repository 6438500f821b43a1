#pragma once

#include "ui/GLViewer3DModel.h"

#include <QDragEnterEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include <vector>

// Gives the tests the event handlers of the view.
class TestView : public GLViewer3DModel {
public:
    using GLViewer3DModel::GLViewer3DModel;

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
    void dragEnter(QDragEnterEvent* e) { dragEnterEvent(e); }
};

// A flat model for pixel tests: the unit square in the z = 0 plane as four
// triangles around its centre vertex 4, UVs equal to the positions times
// uvScale, and one vertex (5) far behind it that no triangle uses: it makes
// the navigation unit (and with it the markers) large without changing the
// fitted view of the square, which fills a square viewport exactly.
struct FlatTestModel {
    iuv::DoubleVector positions{0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 0.5, 0.5, 0, 0.5, 0.5, -10};
    iuv::UIntVector triangles{0, 1, 4, 1, 2, 4, 2, 3, 4, 3, 0, 4};
    iuv::DoubleVector uvs;
    iuv::UIntVector boundaryEdges{0, 1, 1, 2, 2, 3, 3, 0};
    iuv::UIntVector cones{4};

    explicit FlatTestModel(double uvScale = 1.0)
    {
        for (size_t v = 0; v < 5; ++v) {
            uvs.push_back(uvScale * positions[3 * v]);
            uvs.push_back(uvScale * positions[3 * v + 1]);
        }
    }

    // Sends the data the way a load does: camera, cone markers, mesh.
    void loadInto(GLViewer3DModel& view) const
    {
        view.updateCamera(positions);
        view.setConeSingularities(cones, positions);
        view.updateMeshData(triangles, positions, triangles, uvs, boundaryEdges, 4, std::vector<size_t>{},
                            std::vector<size_t>{4});
    }
};
