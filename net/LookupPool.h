#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

// The platform's name lookup (getaddrinfo) has no time-out and cannot be interrupted, so a socket
// layer runs its lookups on a few threads of its own: a caller waits for the answer only as long
// as its time-out and its run allow, while the thread finishes the call. The cost is that the
// layer's end waits for the lookups under way; the threads and the queue are bounded.
namespace net {

// Looks a name up as getaddrinfo does: 0 with the first IPv4 address as dotted text, or an
// EAI_ code (errno tells the rest of EAI_SYSTEM). It runs on a thread of the layer's pool.
using NameLookup = std::function<int(const std::string &name, std::string &address)>;

// One lookup's answer, left by the pool thread; whoever is last to let go frees it.
struct PendingLookup {
    std::mutex mutex;
    std::condition_variable_any done;
    bool finished = false;
    int result = 0;
    int error = 0;
    std::optional<std::string> address;
};

class LookupPool {
public:
    // Lookups not started once stop is raised are answered EAI_AGAIN without being asked.
    LookupPool(NameLookup lookup, std::stop_token stop, std::size_t threads = 4,
               std::size_t mostQueued = 256);
    // Answers the queued lookups EAI_AGAIN and joins the threads, after the calls under way.
    ~LookupPool();
    LookupPool(const LookupPool &) = delete;
    LookupPool &operator=(const LookupPool &) = delete;

    // Queues a lookup of name; none when the queue is full (the caller fails as a busy resolver).
    std::shared_ptr<PendingLookup> Start(const std::string &name);

    // Threads made so far; never more than the bound given.
    std::size_t ThreadCount() const;

private:
    struct Job {
        std::string name;
        std::shared_ptr<PendingLookup> answer;
    };

    void Work(std::stop_token own);
    // The lookup's result, with errno for EAI_SYSTEM.
    int Run(const std::string &name, std::string &address, int &error) const;
    static void Answer(PendingLookup &answer, int result, int error, std::string address);

    const NameLookup lookup_;
    const std::stop_token stop_;
    const std::size_t mostThreads_;
    const std::size_t mostQueued_;
    mutable std::mutex mutex_;
    std::condition_variable_any queued_;
    std::deque<Job> jobs_;
    std::size_t idle_ = 0;
    // Last: the threads end before what they use goes.
    std::vector<std::jthread> threads_;
};

} // namespace net
