#pragma once

namespace net {

class TIdSocketHandle;

// What an intercept holds of an open connection that waits idle in a pool between exchanges (for
// TLS: the session's keys and record state), so that a later exchange goes on where the last one
// stopped. It travels with the connection's socket and is dropped with it.
class TIdInterceptState {
public:
    virtual ~TIdInterceptState() = default;
    // Whether the idle connection on socket can carry the next request: the peer has not closed
    // it and it holds no bytes nobody asked for. Never waits.
    virtual bool StillIdle(TIdSocketHandle &socket) = 0;
};

} // namespace net
