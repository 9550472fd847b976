#pragma once

#include "net/IdStack.h"

#include <memory>
#include <mutex>

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
    // Ends every wait of the layer now and fails what follows (see TIdStack::Interrupt).
    void Interrupt();
    // Whether the layer was interrupted: the run it serves is being abandoned.
    bool Interrupted() const;

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
    int liveCount_ = 0;
    int startCount_ = 0;
};

// The platform's layer, shared by every context that names no other.
std::shared_ptr<SocketLayer> PlatformSocketLayer();

} // namespace net
