#pragma once

#include "core/RunProgress.h"

#include <chrono>
#include <functional>
#include <iosfwd>
#include <string>

namespace cli {

// "Checking... NAME (k/N)" on standard error. On a terminal it is one line rewritten in place,
// with the rate so far (names decided a second) and the time left at that rate; elsewhere one
// plain line a name, so that a log stays readable and free of terminal codes.
class ProgressLine : public core::ProgressView {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // clock stands in for the steady clock in tests; the run starts at its first reading.
    ProgressLine(std::ostream &err, bool terminal, Clock clock = std::chrono::steady_clock::now);
    ~ProgressLine() override;
    ProgressLine(const ProgressLine &) = delete;
    ProgressLine &operator=(const ProgressLine &) = delete;

    void ShowProgress(const core::RunProgress &progress) override;
    void ShowDone(const core::RunEnd &end) override;

private:
    // "  R names/s, M:SS left" for done of count names decided; empty before the first.
    std::string Estimate(std::size_t done, std::size_t count) const;

    std::ostream &err_;
    bool terminal_;
    Clock clock_;
    std::chrono::steady_clock::time_point start_;
    bool shown_ = false;
};

} // namespace cli
