#include "ui/QtApplication.h"

#include "tests/ui_main/MainWindowSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>

std::vector<std::string> &ShownMessages() {
    static std::vector<std::string> messages;
    return messages;
}

int main(int argc, char **argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ui::QtApplication app(argc, argv);
    app.SetMessageDisplay([](const std::string &text) { ShownMessages().push_back(text); });
    // Windows close in the tests; the application must outlive them.
    app.setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
