#include "cli/TerminalApplication.h"

#include <atomic>
#include <csignal>

namespace cli {
namespace {

// Only what a signal handler may touch: a lock-free counter.
std::atomic<int> interrupts = 0;
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void OnInterrupt(int) {
    interrupts.fetch_add(1, std::memory_order_relaxed);
}

} // namespace

TerminalApplication::TerminalApplication(std::ostream &messages)
    : messages_(messages), previous_(platform::SetApplication(this)),
      previousHandler_(std::signal(SIGINT, OnInterrupt)) {}

TerminalApplication::~TerminalApplication() {
    std::signal(SIGINT, previousHandler_);
    platform::SetApplication(previous_);
}

void TerminalApplication::ProcessMessages() {
    const int count = interrupts.load(std::memory_order_relaxed);
    // A run started after the first Ctrl-C is stopped too, at its first drain.
    if (count >= 1 && stop_)
        stop_();
    if (count >= 1 && !stopping_) {
        stopping_ = true;
        messages_ << "nimbrel-cli: stopping once the names under way are answered; "
                     "Ctrl-C again ends the run now\n"
                  << std::flush;
    }
    if (count >= 2 && !abandoned_ && abandon_) {
        abandoned_ = true;
        abandon_();
    }
}

void TerminalApplication::ShowMessage(const std::string &text) {
    messages_ << text << '\n';
}

bool TerminalApplication::Interrupted() {
    return interrupts.load(std::memory_order_relaxed) != 0;
}

} // namespace cli
