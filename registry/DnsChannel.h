#pragma once

#include "base/Exception.h"

#include <chrono>
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

private:
    struct Pending;
    // Polls the channel's sockets and the wake-up once, for at most until, and lets the library
    // read, write and time out what is due.
    void PollOnce(std::chrono::steady_clock::time_point until);
    void EndAll(DnsQueryStatus status);

    ares_channeldata *channel_ = nullptr;
    // Written by the stop token's callback: the poll watches it beside the sockets.
    int wakeFd_ = -1;
    std::vector<std::unique_ptr<Pending>> pending_;
    // Set while ares_cancel ends the queries, which then end with this status.
    std::optional<DnsQueryStatus> ending_;
};

} // namespace registry
