#include "core/DelegationStage.h"

#include "registry/DelegationBatch.h"

#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

namespace core {
namespace {

using Clock = std::chrono::steady_clock;

// How long one serve of the channel may wait while nothing ends: the stage looks at its window
// again after it (the stop wakes it at once anyway).
constexpr std::chrono::milliseconds kServeSlice(200);

} // namespace

DelegationStage::DelegationStage(NameSource &names, DelegationAhead ahead,
                                 std::chrono::milliseconds queryTimeout, std::stop_token abandon)
    : names_(names), ahead_(std::move(ahead)),
      queryTimeout_(std::max(queryTimeout, std::chrono::milliseconds(1))),
      windowLimit_(
          std::clamp<std::size_t>(static_cast<std::size_t>(std::max(ahead_.dns.inflight, 1)), 1,
                                  registry::DelegationBatch::kMostInFlight) +
          kReadAhead),
      thread_([this](std::stop_token stop) { Resolve(std::move(stop)); }),
      abandoned_(std::move(abandon), std::function<void()>([this] { thread_.request_stop(); })) {}

DelegationStage::~DelegationStage() {
    thread_.request_stop();
    thread_.join();
}

void DelegationStage::ReadAhead() {
    while (!listEnded_ && window_.size() < windowLimit_) {
        if (auto name = names_.Next())
            window_.push_back({std::move(*name), std::nullopt, false, false});
        else
            listEnded_ = true;
    }
}

std::optional<std::string> DelegationStage::Next() {
    std::lock_guard lock(mutex_);
    // The pool reads a little ahead of its workers; the window grows past its limit only by that.
    if (handedOut_ == WindowEnd()) {
        if (listEnded_)
            return std::nullopt;
        auto name = names_.Next();
        if (!name) {
            listEnded_ = true;
            return std::nullopt;
        }
        window_.push_back({std::move(*name), std::nullopt, false, false});
        changed_.notify_all();
    }
    return window_[handedOut_++ - first_].name;
}

std::optional<registry::DelegationResult> DelegationStage::Await(std::size_t index,
                                                                 std::stop_token stop) {
    std::unique_lock lock(mutex_);
    if (index < first_ || index >= WindowEnd())
        return std::nullopt;
    changed_.wait(lock, stop, [&] { return ended_ || window_[index - first_].ready; });
    Entry &entry = window_[index - first_];
    std::optional<registry::DelegationResult> verdict = std::move(entry.verdict);
    entry.awaited = true;
    bool freed = false;
    while (!window_.empty() && window_.front().awaited) {
        window_.pop_front();
        ++first_;
        freed = true;
    }
    if (freed)
        changed_.notify_all();
    return verdict;
}

void DelegationStage::Resolve(std::stop_token stop) {
    // Without a channel (no resolver to ask) there is no verdict ahead: each check asks itself,
    // and so it does for the names left when the stage fails.
    try {
        registry::DelegationBatch batch(ahead_.dns,
                                        static_cast<std::size_t>(std::max(ahead_.dns.inflight, 1)));
        Serve(batch, stop);
        if (stop.stop_requested())
            batch.CancelAll();
    } catch (...) {
    }
    std::lock_guard lock(mutex_);
    ended_ = true;
    changed_.notify_all();
}

std::vector<std::pair<std::size_t, std::string>>
DelegationStage::NextToAsk(const registry::DelegationBatch &batch) {
    ReadAhead();
    std::vector<std::pair<std::size_t, std::string>> next;
    std::size_t index = std::max(nextQuery_, first_);
    for (; index < WindowEnd() && batch.InFlight() + next.size() < batch.Limit(); ++index)
        next.emplace_back(index, window_[index - first_].name);
    nextQuery_ = index;
    return next;
}

void DelegationStage::Serve(registry::DelegationBatch &batch, std::stop_token stop) {
    std::unique_lock lock(mutex_);
    while (!stop.stop_requested()) {
        const auto asking = NextToAsk(batch);
        if (asking.empty() && batch.InFlight() == 0) {
            if (listEnded_ && nextQuery_ >= WindowEnd())
                return;
            // The window is full of names the pool has not come to: wait for room.
            changed_.wait(lock, stop, [&] {
                return (!listEnded_ && window_.size() < windowLimit_) || nextQuery_ < WindowEnd();
            });
            continue;
        }
        // The cache and the channel are asked without the lock: the pool takes names meanwhile.
        lock.unlock();
        std::vector<std::size_t> known;
        const auto deadline = Clock::now() + queryTimeout_;
        for (const auto &[index, name] : asking) {
            // A kept answer decides the name: its check reads it without a query.
            if (ahead_.known && ahead_.known(name))
                known.push_back(index);
            else
                batch.Start(index, name, deadline);
        }
        auto verdicts = batch.Serve(Clock::now() + kServeSlice, stop);
        lock.lock();
        // An entry stays in the window until its check took what the stage found for it.
        for (const std::size_t index : known)
            window_[index - first_].ready = true;
        for (auto &[index, verdict] : verdicts) {
            Entry &entry = window_[index - first_];
            entry.verdict = std::move(verdict);
            entry.ready = true;
        }
        if (!known.empty() || !verdicts.empty())
            changed_.notify_all();
    }
}

} // namespace core
