#pragma once

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <stop_token>
#include <string>

namespace net {

// At most a fixed number of exchanges at once with any one host, so that many checks at once
// never crowd one service. Shared by the threads of a run.
class HostLimiter {
public:
    using Clock = std::chrono::steady_clock;

    explicit HostLimiter(int perHost);

    // A place taken for one exchange; given back when it goes.
    class Slot {
    public:
        Slot() = default;
        Slot(Slot &&other) noexcept;
        Slot &operator=(Slot &&other) noexcept;
        ~Slot();

    private:
        friend class HostLimiter;
        Slot(HostLimiter *limiter, std::string host) : limiter_(limiter), host_(std::move(host)) {}
        void Release();

        HostLimiter *limiter_ = nullptr;
        std::string host_;
    };

    // Waits for a place with host (names compare without ASCII case) until deadline: raises
    // EIdSocketError 10060 when the deadline passes, 10004 once stop (the run's abandon) is
    // raised, then at once.
    Slot Acquire(const std::string &host, Clock::time_point deadline, std::stop_token stop = {});

    int PerHost() const { return perHost_; }
    // The most exchanges that were ever under way at once with host, counted from two: 0 for a
    // host never asked twice at once.
    int MostAtOnce(const std::string &host) const;

private:
    void Release(const std::string &host);

    const int perHost_;
    mutable std::mutex mutex_;
    std::condition_variable_any freed_;
    std::map<std::string, int> inUse_;
    std::map<std::string, int> mostAtOnce_;
};

} // namespace net
