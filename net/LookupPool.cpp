#include "net/LookupPool.h"

#include <algorithm>
#include <cerrno>
#include <netdb.h>

namespace net {

LookupPool::LookupPool(NameLookup lookup, std::stop_token stop, std::size_t threads,
                       std::size_t mostQueued)
    : lookup_(std::move(lookup)), stop_(std::move(stop)),
      mostThreads_(std::max<std::size_t>(threads, 1)), mostQueued_(mostQueued) {}

LookupPool::~LookupPool() {
    std::deque<Job> dropped;
    {
        std::lock_guard lock(mutex_);
        dropped.swap(jobs_);
    }
    for (const Job &job : dropped)
        Answer(*job.answer, EAI_AGAIN, 0, {});
    for (std::jthread &thread : threads_)
        thread.request_stop();
    threads_.clear(); // joins
}

std::shared_ptr<PendingLookup> LookupPool::Start(const std::string &name) {
    auto answer = std::make_shared<PendingLookup>();
    {
        std::lock_guard lock(mutex_);
        if (jobs_.size() >= mostQueued_)
            return nullptr;
        jobs_.push_back({name, answer});
        // A thread more only when none is free for it: a run of one name at a time keeps one.
        if (jobs_.size() > idle_ && threads_.size() < mostThreads_) {
            ++idle_; // until it takes its first lookup
            threads_.emplace_back([this](std::stop_token own) { Work(std::move(own)); });
        }
    }
    queued_.notify_one();
    return answer;
}

std::size_t LookupPool::ThreadCount() const {
    std::lock_guard lock(mutex_);
    return threads_.size();
}

void LookupPool::Work(std::stop_token own) {
    std::unique_lock lock(mutex_);
    for (;;) {
        queued_.wait(lock, own, [this] { return !jobs_.empty(); });
        if (jobs_.empty())
            return;
        --idle_;
        const Job job = std::move(jobs_.front());
        jobs_.pop_front();
        lock.unlock();
        std::string address;
        int error = 0;
        const int result = Run(job.name, address, error);
        lock.lock();
        // Free again before the waiter hears the answer: its next lookup finds this thread.
        ++idle_;
        lock.unlock();
        Answer(*job.answer, result, error, std::move(address));
        lock.lock();
    }
}

int LookupPool::Run(const std::string &name, std::string &address, int &error) const {
    // The run that queued it was abandoned: nobody waits for the answer any more.
    if (stop_.stop_requested())
        return EAI_AGAIN;
    const int result = lookup_(name, address);
    error = errno;
    return result;
}

void LookupPool::Answer(PendingLookup &answer, int result, int error, std::string address) {
    {
        std::lock_guard lock(answer.mutex);
        answer.result = result;
        answer.error = error;
        if (result == 0)
            answer.address = std::move(address);
        answer.finished = true;
    }
    answer.done.notify_all();
}

} // namespace net
