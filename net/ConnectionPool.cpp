#include "net/ConnectionPool.h"

#include "base/AsciiCase.h"
#include "net/SocketLayer.h"

#include <algorithm>

namespace net {
namespace {

// An idle connection that can be read from has been closed by the peer or holds bytes nobody
// asked for; either way it cannot carry the next exchange.
bool StillIdle(TIdSocketHandle &socket, TIdInterceptState *state) {
    if (state != nullptr)
        return state->StillIdle(socket);
    return socket.Stack().WSSelectRead(socket.Handle(), 0) == 0;
}

} // namespace

ConnectionPool::ConnectionPool(std::shared_ptr<SocketLayer> sockets, Limits limits)
    : sockets_(std::move(sockets)), limits_(limits) {
    onAbandon_.emplace(sockets_->InterruptToken(), [this] {
        std::lock_guard lock(mutex_);
        DropAllLocked();
    });
}

ConnectionPool::~ConnectionPool() {
    // An abandon under way on another thread finishes its callback first.
    onAbandon_.reset();
    std::lock_guard lock(mutex_);
    DropAllLocked();
}

std::string ConnectionPool::KeyFor(const std::string &scheme, const std::string &host, int port) {
    return base::AsciiLower(scheme) + "://" + base::AsciiLower(host) + ":" + std::to_string(port);
}

bool ConnectionPool::Serves(const SocketLayer &sockets) const {
    return sockets_.get() == &sockets;
}

bool ConnectionPool::Take(const std::string &key, TIdSocketHandle &socket) {
    std::unique_ptr<TIdInterceptState> state;
    if (!Take(key, socket, state))
        return false;
    if (!state)
        return true;
    // Bytes of a session this caller cannot read: the connection is of no use to it.
    state.reset();
    socket.ReleaseHandle();
    return false;
}

bool ConnectionPool::Take(const std::string &key, TIdSocketHandle &socket,
                          std::unique_ptr<TIdInterceptState> &state) {
    std::lock_guard lock(mutex_);
    if (InterruptedLocked())
        return false;
    DropStaleLocked(Clock::now());
    for (auto newest = idle_.rbegin(); newest != idle_.rend();) {
        if (newest->key != key) {
            ++newest;
            continue;
        }
        std::unique_ptr<TIdSocketHandle> held = std::move(newest->socket);
        std::unique_ptr<TIdInterceptState> heldState = std::move(newest->state);
        newest = std::make_reverse_iterator(idle_.erase(std::next(newest).base()));
        if (&held->Stack() == &socket.Stack() && StillIdle(*held, heldState.get())) {
            socket.TakeOver(*held);
            state = std::move(heldState);
            LetLayerGoWhenEmptyLocked();
            return true;
        }
    }
    LetLayerGoWhenEmptyLocked();
    return false;
}

void ConnectionPool::Give(const std::string &key, TIdSocketHandle &socket,
                          std::unique_ptr<TIdInterceptState> state) {
    std::lock_guard lock(mutex_);
    if (InterruptedLocked() || limits_.PerEndpoint < 1 || limits_.Total < 1) {
        socket.ReleaseHandle();
        return;
    }
    KeepLayerLocked();
    if (&socket.Stack() != stack_) {
        socket.ReleaseHandle();
        LetLayerGoWhenEmptyLocked();
        return;
    }
    const auto now = Clock::now();
    DropStaleLocked(now);
    if (CountLocked(key) >= static_cast<std::size_t>(limits_.PerEndpoint))
        DropOldestLocked(&key);
    if (idle_.size() >= static_cast<std::size_t>(limits_.Total))
        DropOldestLocked(nullptr);
    auto held = std::make_unique<TIdSocketHandle>(*stack_);
    held->TakeOver(socket);
    idle_.push_back({key, std::move(held), std::move(state), now});
}

std::size_t ConnectionPool::IdleCount() const {
    std::lock_guard lock(mutex_);
    return idle_.size();
}

std::size_t ConnectionPool::IdleCount(const std::string &key) const {
    std::lock_guard lock(mutex_);
    return CountLocked(key);
}

bool ConnectionPool::InterruptedLocked() {
    // The abandon's callback has closed what was idle, or is about to.
    if (!sockets_->Interrupted())
        return false;
    DropAllLocked();
    return true;
}

void ConnectionPool::DropStaleLocked(Clock::time_point now) {
    // Oldest first: the stale ones lead.
    const auto fresh = std::find_if(idle_.begin(), idle_.end(), [&](const Idle &idle) {
        return now - idle.since < limits_.IdleLimit;
    });
    idle_.erase(idle_.begin(), fresh);
}

void ConnectionPool::DropOldestLocked(const std::string *key) {
    const auto oldest = std::find_if(idle_.begin(), idle_.end(), [&](const Idle &idle) {
        return key == nullptr || idle.key == *key;
    });
    if (oldest != idle_.end())
        idle_.erase(oldest);
}

void ConnectionPool::DropAllLocked() {
    idle_.clear();
    LetLayerGoWhenEmptyLocked();
}

void ConnectionPool::KeepLayerLocked() {
    if (stack_ == nullptr)
        stack_ = &sockets_->Acquire();
}

void ConnectionPool::LetLayerGoWhenEmptyLocked() {
    // The sockets are closed by now: the layer may stop with its last user.
    if (idle_.empty() && stack_ != nullptr) {
        stack_ = nullptr;
        sockets_->Release();
    }
}

std::size_t ConnectionPool::CountLocked(const std::string &key) const {
    return static_cast<std::size_t>(std::count_if(
        idle_.begin(), idle_.end(), [&](const Idle &idle) { return idle.key == key; }));
}

} // namespace net
