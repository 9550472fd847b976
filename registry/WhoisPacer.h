#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>

// How gently a run asks each WHOIS server: one query at a time, and a pause between the end of
// one query and the start of the next, since WHOIS servers block clients that ask fast. One
// object per run, shared by its threads; servers are paced apart, so a slow one holds up no
// other. Waits end at the caller's deadline, and when the caller's stop token (the run's) is
// raised: the pacer keeps no cancellation of its own.
namespace registry {

class WhoisPacer {
public:
    using Clock = std::chrono::steady_clock;

    // Where the pacer reads the time and waits. The default is the steady clock; tests give one
    // whose time moves only when told to, so pacing is checked without long sleeps.
    class TimeSource {
    public:
        virtual ~TimeSource() = default;
        virtual Clock::time_point Now() const = 0;
        // Waits on changed (whose mutex lock holds) until woken() holds, stop is asked, or until
        // comes by this source's time.
        virtual void WaitUntil(std::condition_variable_any &changed,
                               std::unique_lock<std::mutex> &lock, std::stop_token stop,
                               Clock::time_point until, const std::function<bool()> &woken) = 0;
    };

    enum class Outcome { Granted, TimedOut, Interrupted };

    // The right to ask one server now; the server's pause starts when it goes.
    class Turn {
    public:
        Turn() = default;
        Turn(Turn &&other) noexcept;
        Turn &operator=(Turn &&other) noexcept;
        ~Turn();
        explicit operator bool() const { return owner_ != nullptr; }
        Outcome Result() const { return outcome_; }

    private:
        friend class WhoisPacer;
        Turn(WhoisPacer *owner, std::string host);
        explicit Turn(Outcome outcome) : outcome_(outcome) {}
        void Give();

        WhoisPacer *owner_ = nullptr;
        std::string host_;
        Outcome outcome_ = Outcome::Interrupted;
    };

    explicit WhoisPacer(std::chrono::milliseconds pause = std::chrono::seconds(1),
                        std::shared_ptr<TimeSource> time = {});

    // Waits, at most within, until host (compared without ASCII case) is neither being asked
    // nor in its pause; an empty turn says whether the wait timed out or was interrupted.
    Turn Acquire(const std::string &host, std::chrono::milliseconds within,
                 std::stop_token stop = {});

    std::chrono::milliseconds Pause() const { return pause_; }

private:
    struct HostState {
        bool asking = false;
        Clock::time_point nextStart{};
    };
    void Release(const std::string &host);

    const std::chrono::milliseconds pause_;
    const std::shared_ptr<TimeSource> time_;
    std::mutex mutex_;
    std::condition_variable_any changed_;
    std::map<std::string, HostState> hosts_;
    // Counts releases, so that a waiter can tell it was woken.
    unsigned long long changes_ = 0;
};

} // namespace registry
