#pragma once

#include "platform/Application.h"

#include <functional>
#include <ostream>

namespace cli {

// The Application of the terminal front end: nothing to draw, no keyboard to poll. Ctrl-C is the
// Stop command: from the first SIGINT on, every drain of the queue stops the run (see OnStop; the
// first one says so on the messages), so it starts no more names, ends their waits for a turn and
// finishes the exchanges under way.
// The second one abandons the run at the next drain (see OnAbandon). The signal handler only
// counts; the drains, every few milliseconds while a run waits, act on the count.
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

    // What every drain does once Ctrl-C was pressed: the run's stop, which must not drain.
    void OnStop(std::function<void()> stop) { stop_ = std::move(stop); }
    // What the second Ctrl-C does, once, at the drain that sees it.
    void OnAbandon(std::function<void()> abandon) { abandon_ = std::move(abandon); }

    // Whether Ctrl-C was pressed since start.
    static bool Interrupted();

private:
    std::ostream &messages_;
    platform::Application *previous_;
    void (*previousHandler_)(int);
    std::function<void()> stop_;
    std::function<void()> abandon_;
    bool stopping_ = false;
    bool abandoned_ = false;
};

} // namespace cli
