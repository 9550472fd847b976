#pragma once

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <stop_token>
#include <string>

namespace net {

// How hard one run may press each host it asks: the page services (TIdHTTP, through the network
// context) and the RDAP servers (RdapClient) alike. At most a few exchanges at once with a host,
// and a host that answered "too many requests" gets a pause between the starts of its exchanges
// for the rest of the run. Shared by the threads of a run; a host is kept only while it has
// exchanges under way or is slowed, so a run of millions of names does not keep one per name.
class HostLimiter {
public:
    using Clock = std::chrono::steady_clock;

    // What each host is held to. A rule that is more about a host than its exchanges at once (a
    // rate, say) is a field here and a test in MayStart.
    struct HostSettings {
        // Exchanges at once with one host; at least 1.
        int atOnce = 4;
        // The least time between the starts of two exchanges with a slowed host.
        std::chrono::milliseconds slowedGap{1000};
    };

    HostLimiter();
    explicit HostLimiter(HostSettings settings);

    // A place taken for one exchange, given back when it goes; empty when the wait for it ended
    // without one.
    class Slot {
    public:
        Slot() = default;
        Slot(Slot &&other) noexcept;
        Slot &operator=(Slot &&other) noexcept;
        ~Slot();
        explicit operator bool() const { return limiter_ != nullptr; }

    private:
        friend class HostLimiter;
        Slot(HostLimiter *limiter, std::string host) : limiter_(limiter), host_(std::move(host)) {}
        void Release();

        HostLimiter *limiter_ = nullptr;
        std::string host_;
    };

    // Waits for a place with host (names compare without ASCII case). An empty slot once stop
    // is raised (then at once, so a stopped run asks nothing more) or when deadline passes; the
    // caller tells the two apart by its token.
    Slot Acquire(const std::string &host, std::stop_token stop = {},
                 Clock::time_point deadline = Clock::time_point::max());
    // From now on host's exchanges start slowedGap apart.
    void SlowDown(const std::string &host);

    const HostSettings &Settings() const { return settings_; }
    bool IsSlowed(const std::string &host) const;
    // Exchanges under way with host now.
    int InUse(const std::string &host) const;
    // The most exchanges that were ever under way at once with host, counted from two: 0 for a
    // host never asked twice at once.
    int MostAtOnce(const std::string &host) const;

private:
    // What the limiter knows of one host; the place for a rule's own state.
    struct HostState {
        int inUse = 0;
        bool slowed = false;
        // A slowed host's next exchange starts no earlier.
        Clock::time_point nextStart{};
    };

    bool MayStart(const HostState &state, Clock::time_point now) const;
    void Start(HostState &state, Clock::time_point now) const;
    void Release(const std::string &host);
    // Drops what is kept of a host with nothing under way and no pause (under the lock).
    void ForgetIfIdle(const std::string &host);

    const HostSettings settings_;
    mutable std::mutex mutex_;
    std::condition_variable_any changed_;
    std::map<std::string, HostState> hosts_;
    std::map<std::string, int> mostAtOnce_;
};

} // namespace net
