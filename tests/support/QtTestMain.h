#pragma once

#include "ui/QtApplication.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

// For the test folders whose widgets need the program's own application object rather than a
// plain QApplication (see QtTestEnvironment.h for those): their main() is RunQtTests().

// Every message box text the application showed; RunQtTests sends them here instead of the
// screen.
inline std::vector<std::string> &ShownMessages() {
    static std::vector<std::string> messages;
    return messages;
}

// Runs every test inside one QtApplication on the offscreen platform.
inline int RunQtTests(int argc, char **argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ui::QtApplication app(argc, argv);
    app.SetMessageDisplay([](const std::string &text) { ShownMessages().push_back(text); });
    // Windows and dialogs close in the tests; the application must outlive them.
    app.setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
