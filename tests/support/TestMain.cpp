#include "Application.h"

#include <QApplication>
#include <gtest/gtest.h>

// Every test program gets the application object on the offscreen platform,
// so widget tests need no display.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    Application app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
