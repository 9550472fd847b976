#pragma once

#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <stop_token>
#include <utility>

namespace rankindex {

// One batch at a time from the thread that fills batches to the thread that works them, with the
// memory of a worked batch coming back as a spare to fill next. The filler waits while a batch is
// still waiting, so at most two are in memory beside the one filling. A failure of the worker
// comes out of the filler's next Hand, or of Rethrow once the worker is joined.
template <typename Batch> class BatchHandoff {
public:
    // Hands `filling` over once the last batch is taken, and puts the spare (as the worker left
    // it) in its place.
    void Hand(Batch &filling) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return !handed_ || failure_; });
        if (failure_)
            std::rethrow_exception(failure_);
        handed_ = std::move(filling);
        filling = std::move(spare_);
        spare_ = Batch{};
        changed_.notify_all();
    }
    // No batch comes after those handed.
    void Close() {
        {
            std::lock_guard lock(mutex_);
            closing_ = true;
        }
        changed_.notify_all();
    }
    // The worker: the next batch; none once the handoff is closed and the last batch taken, or
    // when the worker is asked to stop.
    std::optional<Batch> Take(const std::stop_token &stop) {
        std::optional<Batch> batch;
        {
            std::unique_lock lock(mutex_);
            if (!changed_.wait(lock, stop, [&] { return handed_.has_value() || closing_; }))
                return std::nullopt;
            batch.swap(handed_);
        }
        changed_.notify_all();
        return batch;
    }
    // The worker is done with a batch: its memory is the next spare.
    void GiveBack(Batch &&batch) {
        std::lock_guard lock(mutex_);
        spare_ = std::move(batch);
    }
    // The worker failed: the filler learns it at its next Hand.
    void Fail(std::exception_ptr failure) {
        {
            std::lock_guard lock(mutex_);
            failure_ = std::move(failure);
        }
        changed_.notify_all();
    }
    // Once the worker is joined: its failure, if any.
    void Rethrow() {
        std::lock_guard lock(mutex_);
        if (failure_)
            std::rethrow_exception(failure_);
    }

private:
    std::mutex mutex_;
    std::condition_variable_any changed_;
    std::optional<Batch> handed_; // waiting for the worker
    Batch spare_;                 // a batch the worker is done with, its memory kept
    bool closing_ = false;
    std::exception_ptr failure_;
};

} // namespace rankindex
