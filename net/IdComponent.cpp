#include "net/IdComponent.h"

#include "net/IdStack.h"

namespace net {

TIdComponent::TIdComponent() : TIdComponent(NetworkContext()) {}

TIdComponent::TIdComponent(const NetworkContext &context)
    : sockets_(context.Sockets), stack_(sockets_->Acquire()) {}

TIdComponent::~TIdComponent() {
    sockets_->Release();
}

void TIdComponent::BeginProgress(TWorkMode mode, int expectedTotal) {
    auto &progress = ProgressOf(mode);
    if (++progress.nesting != 1)
        return;
    progress.expected = expectedTotal;
    progress.total = 0;
    if (OnWorkBegin)
        OnWorkBegin(*this, mode, expectedTotal);
}

void TIdComponent::AdvanceProgress(TWorkMode mode, int count) {
    auto &progress = ProgressOf(mode);
    if (progress.nesting < 1)
        return;
    progress.total += count;
    if (OnWork)
        OnWork(*this, mode, progress.total);
}

void TIdComponent::EndProgress(TWorkMode mode) {
    auto &progress = ProgressOf(mode);
    if (progress.nesting < 1)
        return;
    if (progress.nesting == 1 && OnWorkEnd)
        OnWorkEnd(*this, mode);
    --progress.nesting;
}

void TIdComponent::NotifyStatus(TIdStatus status, const std::string &argument) {
    if (OnStatus)
        OnStatus(*this, status, StatusText(status, argument));
}

std::string TIdComponent::StatusText(TIdStatus status, const std::string &argument) {
    switch (status) {
    case TIdStatus::hsResolving:
        return "Resolving hostname " + argument + ".";
    case TIdStatus::hsConnecting:
        return "Connecting to " + argument + ".";
    case TIdStatus::hsConnected:
        return "Connected.";
    case TIdStatus::hsDisconnecting:
        return "Disconnecting from " + argument + ".";
    case TIdStatus::hsDisconnected:
        return "Not connected.";
    case TIdStatus::hsStatusText:
        return argument;
    }
    return argument;
}

} // namespace net
