#pragma once

#include "net/IdStack.h"

#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>

namespace net {

// One socket layer shared by the components of a network context. It lives while at least one
// component uses it: the first user starts it (and sees the failure when it cannot start), the
// last one stops it. Safe to share between threads.
class SocketLayer {
public:
    // An empty factory makes the platform's own layer.
    explicit SocketLayer(TIdStackFactory factory = {});
    SocketLayer(const SocketLayer &) = delete;
    SocketLayer &operator=(const SocketLayer &) = delete;

    TIdStack &Acquire();
    void Release();

    // A new layer made the same way, for one run that may be interrupted on its own.
    std::shared_ptr<SocketLayer> Fresh(int resolveTimeoutMs) const;
    // The run's one cancellation, in two levels. Abandoning the run is this one call: every
    // wait of the run watches InterruptToken (socket polls, name lookups, host limits, the
    // connection pool, DNS queries, the window's relay) and is woken by it; the waits before an
    // exchange end too (EndQueuedWaits).
    void Interrupt();
    // Whether the layer was interrupted: the run it serves is being abandoned.
    bool Interrupted() const { return interrupt_.stop_requested(); }
    std::stop_token InterruptToken() const { return interrupt_.get_token(); }
    // Ends the waits before an exchange (a host's free slot, an RDAP host's turn, a retry's
    // pause, a WHOIS server's turn), now and from now on, while the exchanges under way go on:
    // the run it serves stops starting names.
    void EndQueuedWaits() { queuedWaits_.request_stop(); }
    // Raised by EndQueuedWaits and by Interrupt.
    std::stop_token QueuedWaitsToken() const { return queuedWaits_.get_token(); }
    // Starts looking host up without waiting when the layer is running and not interrupted
    // (see TIdStack::ResolveAhead); otherwise does nothing.
    void ResolveAhead(const std::string &host);

    // Keeps a layer running for as long as it lives, so that what the layer remembers (the
    // names it resolved, the lookups started ahead) serves a whole run. A layer that cannot
    // start is left to fail its first real user.
    class KeepRunning {
    public:
        explicit KeepRunning(std::shared_ptr<SocketLayer> layer);
        ~KeepRunning();
        KeepRunning(const KeepRunning &) = delete;
        KeepRunning &operator=(const KeepRunning &) = delete;

    private:
        std::shared_ptr<SocketLayer> layer_;
        bool running_ = false;
    };

    bool Started() const;
    // Users now, and starts since this layer was made.
    int LiveCount() const;
    int StartCount() const;

private:
    mutable std::mutex mutex_;
    TIdStackFactory factory_;
    std::unique_ptr<TIdStack> stack_;
    int resolveTimeoutMs_ = 60000;
    // Thread-safe on their own; raised once, never lowered.
    std::stop_source interrupt_;
    std::stop_source queuedWaits_;
    // Carry the interruption to the stack (which wakes its polls) and to the queued waits.
    const std::stop_callback<std::function<void()>> interruptStack_;
    const std::stop_callback<std::function<void()>> endQueuedWaits_;
    int liveCount_ = 0;
    int startCount_ = 0;
};

} // namespace net
