#pragma once

#include "platform/Application.h"

#include <ostream>

namespace cli {

// The Application of the terminal front end: nothing to draw, no keyboard to poll. Ctrl-C is the
// Stop command: the first SIGINT raises the stop request at the next drain of the queue, so the
// run completes the name in progress and ends.
class TerminalApplication : public platform::Application {
public:
    explicit TerminalApplication(std::ostream &messages);
    ~TerminalApplication() override;
    TerminalApplication(const TerminalApplication &) = delete;
    TerminalApplication &operator=(const TerminalApplication &) = delete;

    void ProcessMessages() override;
    bool IsEscapeDown() override { return false; }
    void ShellOpen(const std::string &, platform::ShowWindow) override {}
    void ShowMessage(const std::string &text) override;
    void ShowBusyCursor() override {}
    void RestoreCursor() override {}

    // Whether Ctrl-C was pressed since start.
    static bool Interrupted();

private:
    std::ostream &messages_;
    platform::Application *previous_;
    void (*previousHandler_)(int);
};

} // namespace cli
