#include "net/SocketLayer.h"

#include "net/IdStackPosix.h"

namespace net {

SocketLayer::SocketLayer(TIdStackFactory factory)
    : factory_(std::move(factory)), interruptStack_(interrupt_.get_token(),
                                                    [this] {
                                                        std::lock_guard lock(mutex_);
                                                        if (stack_)
                                                            stack_->Interrupt();
                                                    }),
      endQueuedWaits_(interrupt_.get_token(), [this] { queuedWaits_.request_stop(); }) {}

TIdStack &SocketLayer::Acquire() {
    std::lock_guard lock(mutex_);
    if (!stack_) {
        stack_ = factory_ ? factory_() : std::make_unique<TIdStackPosix>();
        stack_->SetResolveTimeout(resolveTimeoutMs_);
        if (Interrupted())
            stack_->Interrupt();
        ++startCount_;
    }
    ++liveCount_;
    return *stack_;
}

void SocketLayer::Release() {
    std::lock_guard lock(mutex_);
    if (--liveCount_ == 0)
        stack_.reset();
}

std::shared_ptr<SocketLayer> SocketLayer::Fresh(int resolveTimeoutMs) const {
    auto layer = std::make_shared<SocketLayer>(factory_);
    layer->resolveTimeoutMs_ = resolveTimeoutMs;
    return layer;
}

void SocketLayer::Interrupt() {
    // Outside the lock: the callbacks of the tokens run here, and may ask the layer.
    interrupt_.request_stop();
}

void SocketLayer::ResolveAhead(const std::string &host) {
    std::lock_guard lock(mutex_);
    if (stack_ && !Interrupted())
        stack_->ResolveAhead(host);
}

SocketLayer::KeepRunning::KeepRunning(std::shared_ptr<SocketLayer> layer)
    : layer_(std::move(layer)) {
    try {
        layer_->Acquire();
        running_ = true;
    } catch (const std::exception &) {
        // The first exchange of the run meets the same failure and reports it.
    }
}

SocketLayer::KeepRunning::~KeepRunning() {
    if (running_)
        layer_->Release();
}

bool SocketLayer::Started() const {
    std::lock_guard lock(mutex_);
    return stack_ != nullptr;
}

int SocketLayer::LiveCount() const {
    std::lock_guard lock(mutex_);
    return liveCount_;
}

int SocketLayer::StartCount() const {
    std::lock_guard lock(mutex_);
    return startCount_;
}

} // namespace net
