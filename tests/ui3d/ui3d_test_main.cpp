// Entry point of the 3D view tests. Without a display (forced by
// TARNWICK_TEST_NO_DISPLAY) the offscreen platform offers no OpenGL context.
#include <QApplication>
#include <QByteArray>

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    if (std::getenv("TARNWICK_TEST_NO_DISPLAY"))
        unsetenv("DISPLAY");
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
