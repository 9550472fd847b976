#pragma once

#include "base/Exception.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

struct ares_channeldata;

// DNS queries that the program's own loop drives: a c-ares channel whose sockets are polled
// here, so that every wait ends by a deadline and at once when the caller's stop token is
// raised. The library picks a random ID and source port for each query, matches the reply by ID
// and question and retries over TCP when the reply is truncated; it never blocks on its own.
// Queries started on one channel are in flight together and answered as their replies come.
// One channel belongs to one thread at a time.
namespace registry {

// The channel cannot be made (no memory, an unusable resolver configuration).
class EDnsChannelError : public base::Exception {
public:
    using base::Exception::Exception;
};

struct DnsChannelSettings {
    // The name servers as IPv4 address and port; none: those of /etc/resolv.conf.
    struct Server {
        std::uint32_t address = 0; // network byte order
        int port = 53;
    };
    std::optional<Server> server;
    // The wait for a first try (later tries wait longer) and the tries per server.
    std::chrono::milliseconds tryTimeout{3000};
    int tries = 2;
};

enum class DnsQueryStatus {
    Answered,     // a reply came; message holds it, whatever its response code
    ServerFailed, // every server said SERVFAIL, REFUSED, NOTIMP or FORMERR without a usable reply
    TimedOut,     // the tries ran out without a reply
    NoDeadline,   // the caller's deadline passed first
    Cancelled,    // the caller's stop token was raised
    Failed        // the name cannot be asked for, a server refused the connection, ...
};

struct DnsQueryResult {
    DnsQueryStatus status = DnsQueryStatus::Failed;
    // The reply as it came, for Answered (and for a reply the library turned into a failure
    // when it kept it).
    std::vector<std::uint8_t> message;
    // The library's words for a failure, for a person.
    std::string reason;
    // The response code a server failure named ("SERVFAIL", ...), when it said.
    std::string serverSaid;
};

class DnsChannel {
public:
    // Raises EDnsChannelError when the channel cannot be made.
    explicit DnsChannel(const DnsChannelSettings &settings);
    ~DnsChannel();
    DnsChannel(const DnsChannel &) = delete;
    DnsChannel &operator=(const DnsChannel &) = delete;

    using Done = std::function<void(DnsQueryResult)>;
    // Starts a query of class IN; done runs inside Run (or the destructor) once it ends.
    void Query(const std::string &name, std::uint16_t type, Done done);
    // Serves the queries in flight until every one has ended, the deadline passes or stop is
    // raised; the ones still open then end with NoDeadline or Cancelled.
    void Run(std::chrono::steady_clock::time_point deadline, std::stop_token stop);
    // Serves the queries in flight once: waits for a reply at most until until (less when a try
    // times out sooner) and lets the replies and time-outs that are due end their queries. Returns
    // early, without ending anything, when stop is raised. For a caller that starts queries as
    // others end.
    void Serve(std::chrono::steady_clock::time_point until, std::stop_token stop);
    // Ends every query still open with status (Cancelled or NoDeadline).
    void EndAll(DnsQueryStatus status);
    // The queries started and not ended yet.
    std::size_t Open() const { return open_; }

private:
    struct Pending;
    // Polls the channel's sockets and the wake-up once, for at most until, and lets the library
    // read, write and time out what is due.
    void PollOnce(std::chrono::steady_clock::time_point until);
    // Raises the first failure of a done callback and forgets the queries that have ended.
    void Sweep();

    ares_channeldata *channel_ = nullptr;
    // Written by the stop token's callback: the poll watches it beside the sockets.
    int wakeFd_ = -1;
    std::vector<std::unique_ptr<Pending>> pending_;
    std::size_t open_ = 0;
    // Set while ares_cancel ends the queries, which then end with this status.
    std::optional<DnsQueryStatus> ending_;
};

} // namespace registry
