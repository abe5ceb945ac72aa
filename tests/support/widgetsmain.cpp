// GoogleTest's main with a widgets application, for tests of the window.

#include "form1.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    // Offscreen unless told otherwise (QT_QPA_PLATFORM=xcb under xvfb-run), so that test discovery
    // and runs need no display.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(ui::applicationName));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
