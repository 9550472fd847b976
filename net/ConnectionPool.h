#pragma once

#include "net/IdInterceptState.h"
#include "net/IdSocketHandle.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

namespace net {

class SocketLayer;

// The idle kept-alive connections of one run, so that the next exchange with the same endpoint
// skips the connect. Shared by the threads of a run and bounded: a few idle connections per
// endpoint, a few more in all, none idle for longer than the idle limit. It keeps the socket
// layer started while it holds a connection; everything it holds is closed when it goes or when
// the layer is interrupted (the run's abandon, which it watches). An encrypted connection waits
// here with its intercept's state (its TLS session), which says itself whether the connection
// is still fit: an idle TLS socket may be readable only because the server sent a session
// ticket.
class ConnectionPool {
public:
    using Clock = std::chrono::steady_clock;

    struct Limits {
        int PerEndpoint = 4;
        int Total = 16;
        std::chrono::milliseconds IdleLimit{4000};
    };

    ConnectionPool(std::shared_ptr<SocketLayer> sockets, Limits limits);
    ~ConnectionPool();
    ConnectionPool(const ConnectionPool &) = delete;
    ConnectionPool &operator=(const ConnectionPool &) = delete;

    // The key of an endpoint; host names compare without ASCII case.
    static std::string KeyFor(const std::string &scheme, const std::string &host, int port);

    // Whether connections of this socket layer may be kept here.
    bool Serves(const SocketLayer &sockets) const;
    // Moves the newest idle connection to key into socket (which holds none), and its
    // intercept's state into state; false when none is fit. A connection the peer has closed or
    // written to meanwhile is closed on the way. A plain connection comes with an empty state.
    bool Take(const std::string &key, TIdSocketHandle &socket,
              std::unique_ptr<TIdInterceptState> &state);
    // A plain connection only: one kept with an intercept's state is not taken here.
    bool Take(const std::string &key, TIdSocketHandle &socket);
    // Keeps the connection of socket (with its intercept's state, if any) for a later exchange
    // with key and leaves socket empty; the oldest idle connection of the endpoint (or of all)
    // makes room. Closes it instead once the layer is interrupted.
    void Give(const std::string &key, TIdSocketHandle &socket,
              std::unique_ptr<TIdInterceptState> state = nullptr);

    std::size_t IdleCount() const;
    std::size_t IdleCount(const std::string &key) const;

private:
    struct Idle {
        std::string key;
        std::unique_ptr<TIdSocketHandle> socket;
        // Destroyed before the socket: it may refer to it.
        std::unique_ptr<TIdInterceptState> state;
        Clock::time_point since;
    };

    bool InterruptedLocked();
    void DropStaleLocked(Clock::time_point now);
    void DropOldestLocked(const std::string *key);
    void DropAllLocked();
    void KeepLayerLocked();
    void LetLayerGoWhenEmptyLocked();
    std::size_t CountLocked(const std::string &key) const;

    const std::shared_ptr<SocketLayer> sockets_;
    const Limits limits_;
    mutable std::mutex mutex_;
    // Oldest first.
    std::vector<Idle> idle_;
    // The layer's stack, acquired while a connection is idle here.
    TIdStack *stack_ = nullptr;
    // Closes every idle connection once the run is abandoned. Last: it goes first.
    std::optional<std::stop_callback<std::function<void()>>> onAbandon_;
};

} // namespace net
