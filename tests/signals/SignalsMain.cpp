// The signal tests' entry: a Qt application for the event loops of the in-process cases; the
// program itself runs in child processes.
#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // The list of tests is read at build time, when no display settings are given.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
