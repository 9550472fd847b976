#include "cli/TerminalApplication.h"

#include "core/StopRequest.h"

#include <csignal>

namespace cli {
namespace {

volatile std::sig_atomic_t interrupted = 0;

extern "C" void OnInterrupt(int) {
    interrupted = 1;
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
    if (interrupted)
        core::RaiseStopRequest();
}

void TerminalApplication::ShowMessage(const std::string &text) {
    messages_ << text << '\n';
}

bool TerminalApplication::Interrupted() {
    return interrupted != 0;
}

} // namespace cli
