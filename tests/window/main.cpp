#include "window/QtFonts.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char* argv[])
{
    // The view tests draw offscreen; test discovery runs this program
    // without the environment the test runs get.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    QtFonts::installSubstitutions();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
