#include "measure/QtFonts.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

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
    const int failed = RUN_ALL_TESTS();
    // Every test has finished and said so. Qt Multimedia's PulseAudio
    // backend of Qt 6.4 now and then hangs or aborts while it is torn down
    // at exit, after a test played a sound; that is no result of a test.
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(failed);
}
