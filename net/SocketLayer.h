#pragma once

#include "net/IdStack.h"

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
    // Ends every wait of the layer now and fails what follows (see TIdStack::Interrupt); the
    // waits before an exchange end too (EndQueuedWaits).
    void Interrupt();
    // Whether the layer was interrupted: the run it serves is being abandoned.
    bool Interrupted() const;
    // Raised by Interrupt, for what waits outside the layer (a DNS query) and must end with the
    // run.
    std::stop_token InterruptToken() const { return interrupt_.get_token(); }
    // Ends the waits before an exchange (a host's free slot, a retry's pause), now and from now
    // on, while the exchanges under way go on: the run it serves stops starting names.
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
    bool interrupted_ = false;
    // Thread-safe on their own; raised once, never lowered.
    std::stop_source interrupt_;
    std::stop_source queuedWaits_;
    int liveCount_ = 0;
    int startCount_ = 0;
};

// The platform's layer, shared by every context that names no other.
std::shared_ptr<SocketLayer> PlatformSocketLayer();

} // namespace net
