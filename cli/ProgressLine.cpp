#include "cli/ProgressLine.h"

#include "registry/IdnaName.h"

#include <cstdio>
#include <ostream>
#include <utility>

namespace cli {
namespace {

// Clears the terminal's line and returns to its start.
constexpr const char *kClearLine = "\r\033[K";

} // namespace

ProgressLine::ProgressLine(std::ostream &err, bool terminal, Clock clock)
    : err_(err), terminal_(terminal), clock_(std::move(clock)), start_(clock_()) {}

ProgressLine::~ProgressLine() {
    if (terminal_ && shown_)
        err_ << kClearLine << std::flush;
}

void ProgressLine::ShowProgress(const core::RunProgress &progress) {
    if (progress.stopping)
        return;
    if (progress.searching) {
        err_ << (terminal_ ? kClearLine : "") << core::kSearchingText << (terminal_ ? "" : "\n")
             << std::flush;
        shown_ = terminal_;
        return;
    }
    const std::string line = "Checking... " + registry::ToUnicodeName(progress.name) + " (" +
                             std::to_string(progress.position) + "/" +
                             std::to_string(progress.count) + ")";
    if (!terminal_) {
        err_ << line << '\n';
        return;
    }
    // The name at position k is under way: k - 1 names are decided.
    err_ << kClearLine << line << Estimate(progress.position - 1, progress.count) << std::flush;
    shown_ = true;
}

void ProgressLine::ShowDone(const core::RunEnd &end) {
    if (terminal_ && shown_)
        err_ << kClearLine;
    shown_ = false;
    if (end.noRegistryReached)
        err_ << core::kNoRegistryReachedText << '\n';
    err_ << std::flush;
}

std::string ProgressLine::Estimate(std::size_t done, std::size_t count) const {
    const double seconds = std::chrono::duration<double>(clock_() - start_).count();
    if (done == 0 || seconds <= 0)
        return {};
    const double rate = static_cast<double>(done) / seconds;
    const auto left =
        static_cast<long>(static_cast<double>(count > done ? count - done : 0) / rate);
    char text[64];
    std::snprintf(text, sizeof text, "  %.1f names/s, %ld:%02ld left", rate, left / 60, left % 60);
    return text;
}

} // namespace cli
