// One application object for the whole test program, as in the real program.

#include "app/Application.h"

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    vcl::TApplication app(argc, argv);
    app.Initialize();
    return RUN_ALL_TESTS();
}
