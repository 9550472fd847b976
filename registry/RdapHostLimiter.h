#pragma once

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <stop_token>
#include <string>

// How hard one run may press each RDAP server: at most a few requests at once to one host, and
// a host that answered "too many requests" gets a pause between requests for the rest of the
// run. One object per run, shared by its workers.
namespace registry {

class RdapHostLimiter {
public:
    struct Settings {
        int concurrentPerHost = 4;
        // The least time between the starts of two requests to a slowed host.
        std::chrono::milliseconds slowedGap{1000};
    };

    // A granted request slot; given back when it goes. Empty when the run stopped.
    class Permit {
    public:
        Permit() = default;
        Permit(Permit &&other) noexcept;
        Permit &operator=(Permit &&other) noexcept;
        ~Permit();
        explicit operator bool() const { return owner_ != nullptr; }

    private:
        friend class RdapHostLimiter;
        Permit(RdapHostLimiter *owner, std::string host);
        RdapHostLimiter *owner_ = nullptr;
        std::string host_;
    };

    RdapHostLimiter();
    explicit RdapHostLimiter(Settings settings);

    // Waits until host has a free slot (and, when slowed, its gap has passed). An empty permit
    // once stop (the run's) is raised, then at once and without a slot: a run that stops asks
    // nothing more.
    Permit Acquire(const std::string &host, std::stop_token stop = {});
    void SlowDown(const std::string &host);
    bool IsSlowed(const std::string &host) const;
    int InFlight(const std::string &host) const;

private:
    struct HostState {
        int inFlight = 0;
        bool slowed = false;
        std::chrono::steady_clock::time_point nextStart{};
    };
    void Release(const std::string &host);

    Settings settings_;
    mutable std::mutex mutex_;
    std::condition_variable_any changed_;
    std::map<std::string, HostState> hosts_;
};

} // namespace registry
