#pragma once

#include "tests/support/LoopbackSocket.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// An in-process WHOIS server on 127.0.0.1 at a free port. Each connection reads one query line
// (up to LF), records it, and answers by the next queued reply: a text then a close, silence
// until the client goes, or a close before reading anything. The scripted HTTP server reads up
// to a blank line, which a WHOIS query never sends, hence this one. The destructor stops every
// connection and joins every thread.
namespace registrytest {

struct WhoisReplyScript {
    enum class Kind { Answer, Silent, CloseAtOnce };
    Kind kind = Kind::Answer;
    std::string text;
};

WhoisReplyScript Answer(std::string text);
WhoisReplyScript Silent();
WhoisReplyScript CloseAtOnce();

class WhoisTestServer {
public:
    WhoisTestServer();
    ~WhoisTestServer();
    WhoisTestServer(const WhoisTestServer &) = delete;
    WhoisTestServer &operator=(const WhoisTestServer &) = delete;

    int Port() const { return listener_.Port(); }
    // Replies for the next connections in order; beyond them, an empty answer.
    void Enqueue(WhoisReplyScript reply);
    // The answer to one query line (without its CR LF), whatever the queue holds: for runs that
    // ask many names in no set order.
    void AnswerQuery(const std::string &query, std::string text);
    // Every query line received, CR LF included, in order of arrival.
    std::vector<std::string> Queries() const;
    // When each query line was complete, in the same order.
    std::vector<std::chrono::steady_clock::time_point> Arrivals() const;
    // The most queries answered at once, counted from a query's arrival until its answer is
    // complete (before the client can see the answer end).
    std::size_t MostAtOnce() const;

private:
    void AcceptLoop();
    void Serve(int socket, WhoisReplyScript reply);
    // Waits for socket to be ready for events; false when the server stops or time runs out.
    bool WaitFor(int socket, short events) const;

    testsupport::LoopbackSocket listener_;
    int wake_ = -1;
    mutable std::mutex mutex_;
    std::deque<WhoisReplyScript> queue_;
    std::map<std::string, std::string> answers_;
    std::vector<std::string> queries_;
    std::vector<std::chrono::steady_clock::time_point> arrivals_;
    std::size_t answering_ = 0;
    std::size_t mostAtOnce_ = 0;
    std::vector<std::thread> workers_;
    std::thread acceptThread_;
};

} // namespace registrytest
