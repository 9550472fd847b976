#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <stop_token>
#include <string>

namespace net {

// How hard one run may press each host it asks: the page services (TIdHTTP, through the network
// context) and the RDAP servers (RdapClient) alike. At most a few exchanges at once with a host,
// and, where a rate is set, at most that many starts in any one second. A host that answered
// "too many requests" is held while its Retry-After runs and then goes at half its rate (without
// a rate: a pause between the starts of its exchanges) for the rest of the run. Shared by the
// threads of a run; a host without a rate is kept only while it has exchanges under way or is
// slowed, so a run of millions of names does not keep one per name; a paced host (an RDAP
// server, of which a run asks few) is kept for the run, with one time per token.
class HostLimiter {
public:
    using Clock = std::chrono::steady_clock;

    // What each host is held to. A rule that is more about a host than its exchanges at once (a
    // rate, say) is a field here and a test in MayStart.
    struct HostSettings {
        // Exchanges at once with one host; at least 1.
        int atOnce = 4;
        // Starts a second with one host; 0: no rate. Above 1, the whole part counts (2.5 lets 2
        // through in any one second); below 1, one start per 1/rate seconds.
        double rate = 0;
        // The least time between the starts of two exchanges with a slowed host without a rate.
        std::chrono::milliseconds slowedGap{1000};
    };

    // now is the clock the rules read (tests give their own); waits last the time it says.
    HostLimiter();
    explicit HostLimiter(HostSettings settings, std::function<Clock::time_point()> now = {});

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

    // A host held still: no exchange with it starts while a Hold of it is kept.
    class Hold {
    public:
        Hold() = default;
        Hold(Hold &&other) noexcept;
        Hold &operator=(Hold &&other) noexcept;
        ~Hold();

    private:
        friend class HostLimiter;
        Hold(HostLimiter *limiter, std::string host) : limiter_(limiter), host_(std::move(host)) {}
        void Release();

        HostLimiter *limiter_ = nullptr;
        std::string host_;
    };

    // Waits for a place with host (names compare without ASCII case). An empty slot once stop
    // is raised (then at once, so a stopped run asks nothing more) or when deadline passes; the
    // caller tells the two apart by its token.
    Slot Acquire(const std::string &host, std::stop_token stop = {},
                 Clock::time_point deadline = Clock::time_point::max());
    // From now on host goes at half its rate (without a rate: its exchanges start slowedGap
    // apart).
    void SlowDown(const std::string &host);
    // Host answered "too many requests": slowed as above and held until the Hold goes (the one
    // who met the answer keeps it while it waits out the Retry-After).
    [[nodiscard]] Hold TooManyRequests(const std::string &host);

    const HostSettings &Settings() const { return settings_; }
    bool IsSlowed(const std::string &host) const;
    // Host's rate now (halved by each slow-down); the settings' rate for a host not yet asked.
    double Rate(const std::string &host) const;
    // Exchanges under way with host now.
    int InUse(const std::string &host) const;
    // Acquires waiting for host now.
    int Waiting(const std::string &host) const;
    // The most exchanges that were ever under way at once with host, counted from two: 0 for a
    // host never asked twice at once.
    int MostAtOnce(const std::string &host) const;

private:
    // What the limiter knows of one host; the place for a rule's own state.
    struct HostState {
        int inUse = 0;
        bool slowed = false;
        // Holds kept of this host now.
        int held = 0;
        // A slowed host's next exchange without a rate starts no earlier.
        Clock::time_point nextStart{};
        // The token bucket of a paced host: each token's time, earliest first. A token is
        // spent by a start and comes back a token period later, so no such period sees more
        // starts than there are tokens; a new bucket is empty, its tokens coming one by one.
        double rate = 0;
        std::deque<Clock::time_point> tokens;
        // Acquires waiting for this host now; while there are any the entry stays, so that
        // they wait on its own condition and a freed place wakes them alone.
        int waiting = 0;
        std::condition_variable_any changed;
    };

    HostState &Known(const std::string &key, Clock::time_point now);
    bool MayStart(const HostState &state, Clock::time_point now) const;
    void Start(HostState &state, Clock::time_point now) const;
    // When a start may next be possible without a place being freed (max: only on a wake).
    Clock::time_point NextChance(const HostState &state) const;
    void Release(const std::string &host);
    void Unhold(const std::string &host);
    // Halves a paced host's rate, or starts a slowed gap (under the lock).
    void Slow(HostState &state, Clock::time_point now) const;
    // Drops what is kept of a host with nothing under way, no pause and no waiter (under the
    // lock).
    void ForgetIfIdle(const std::string &host);
    // Wakes the waiters of host, when it has any (under the lock).
    void WakeWaitersLocked(const std::string &host);

    const HostSettings settings_;
    const std::function<Clock::time_point()> now_;
    mutable std::mutex mutex_;
    std::map<std::string, HostState> hosts_;
    std::map<std::string, int> mostAtOnce_;
};

} // namespace net
