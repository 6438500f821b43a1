// Test entry point of the 3D view tests: the widgets need a QApplication.
// Without a display the offscreen platform is used, where no OpenGL context
// can be created; TARNWICK_TEST_NO_DISPLAY forces that case on a machine
// that has a display.
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
