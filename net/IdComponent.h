#pragma once

#include "net/NetworkContext.h"

#include <array>
#include <functional>
#include <string>

namespace net {

class TIdBaseComponent {
public:
    virtual ~TIdBaseComponent() = default;
};

enum class TIdStatus {
    hsResolving,
    hsConnecting,
    hsConnected,
    hsDisconnecting,
    hsDisconnected,
    hsStatusText
};
enum class TWorkMode { wmRead, wmWrite };

class TIdComponent;
using TIdStatusEvent =
    std::function<void(TIdComponent &sender, TIdStatus status, const std::string &text)>;
using TWorkEvent = std::function<void(TIdComponent &sender, TWorkMode mode, int count)>;
using TWorkBeginEvent = std::function<void(TIdComponent &sender, TWorkMode mode, int countMax)>;
using TWorkEndEvent = std::function<void(TIdComponent &sender, TWorkMode mode)>;

// A component of the web layer, working through its network context's socket layer. The layer
// lives while at least one component uses it: the first constructor starts it (and raises when
// it cannot), the last destructor stops it.
class TIdComponent : public TIdBaseComponent {
public:
    // Over a context of its own, with the platform's socket layer.
    TIdComponent();
    explicit TIdComponent(const NetworkContext &context);
    ~TIdComponent() override;
    TIdComponent(const TIdComponent &) = delete;
    TIdComponent &operator=(const TIdComponent &) = delete;

    virtual void BeginProgress(TWorkMode mode, int expectedTotal);
    virtual void AdvanceProgress(TWorkMode mode, int count);
    virtual void EndProgress(TWorkMode mode);

    // Formats the status's text with argument and hands it to OnStatus, if assigned.
    void NotifyStatus(TIdStatus status, const std::string &argument = {});
    static std::string StatusText(TIdStatus status, const std::string &argument);

    TIdStack &Stack() const { return stack_; }

    TIdStatusEvent OnStatus;
    TWorkEvent OnWork;
    TWorkBeginEvent OnWorkBegin;
    TWorkEndEvent OnWorkEnd;

private:
    struct Progress {
        int total = 0;
        int expected = 0;
        int nesting = 0;
    };
    Progress &ProgressOf(TWorkMode mode) { return progress_[static_cast<int>(mode)]; }

    std::shared_ptr<SocketLayer> sockets_;
    TIdStack &stack_;
    std::array<Progress, 2> progress_{};
};

} // namespace net
