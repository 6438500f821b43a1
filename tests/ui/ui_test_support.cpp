#include "ui_test_support.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>

#include <fstream>

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

std::string writeGridOBJ(const std::string& path, int n)
{
    std::ofstream out(path);
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i)
            out << "v " << double(i) / n << ' ' << double(j) / n << ' ' << 0.05 * ((i * j) % 3) << '\n';
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i)
            out << "vt " << double(i) / n << ' ' << double(j) / n << '\n';
    const auto idx = [n](int i, int j) { return j * (n + 1) + i + 1; };
    for (int j = 0; j < n; ++j) {
        for (int i = 0; i < n; ++i) {
            const int a = idx(i, j), b = idx(i + 1, j), c = idx(i + 1, j + 1), d = idx(i, j + 1);
            out << "f " << a << '/' << a << ' ' << b << '/' << b << ' ' << c << '/' << c << '\n';
            out << "f " << a << '/' << a << ' ' << c << '/' << c << ' ' << d << '/' << d << '\n';
        }
    }
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

} // namespace uitest
