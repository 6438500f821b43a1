// Entry point of the widget tests: one QApplication for the whole run.
#include "support/test_support.h"

#include <QApplication>
#include <QSettings>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // Mesa's software renderer keeps the OpenGL view usable under a virtual
    // X server without a GPU.
    if (qEnvironmentVariableIsEmpty("LIBGL_ALWAYS_SOFTWARE"))
        qputenv("LIBGL_ALWAYS_SOFTWARE", "1");
    QApplication app(argc, argv);
    // Recent files and other user settings stay in a folder of this run.
    app.setOrganizationName(QStringLiteral("TarnwickTest"));
    app.setApplicationName(QStringLiteral("TarnwickTest"));
    const std::string settings = testsupport::makeTempDir("ui-settings");
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(settings));
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
