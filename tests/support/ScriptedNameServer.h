#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// An in-process DNS server on 127.0.0.1 at a free port, UDP and TCP alike, for tests: each name
// gets the reply set for it (NS records, NXDOMAIN, no data, SERVFAIL, silence, or over UDP a
// truncated reply whose whole answer comes over TCP, a decoy before the true reply, a first try
// left unanswered); a name with none set gets NXDOMAIN. A TXT query for a name given TXT
// records gets them. It records every query, and can hold its
// UDP replies to send them out of order and count how many queries were in flight at once. Its
// destructor stops and joins its thread.
namespace testsupport {

enum class NameServerReply {
    Delegation,
    NameError,
    NoData,
    ServerFailure,
    Silence,
    Truncated,
    // Over UDP a delegation with another query ID first, then the true reply: NXDOMAIN.
    WrongIdFirst,
    // Over UDP a delegation for another name under the query's ID first, then NXDOMAIN.
    OtherQuestionFirst,
    // The first query goes unanswered; every later one gets a delegation.
    SilentOnce,
};

class ScriptedNameServer {
public:
    ScriptedNameServer();
    ~ScriptedNameServer();
    ScriptedNameServer(const ScriptedNameServer &) = delete;
    ScriptedNameServer &operator=(const ScriptedNameServer &) = delete;

    int Port() const { return port_; }
    // "127.0.0.1:<port>", as the delegation check takes a resolver address.
    std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }

    // nameServers are the NS targets of a Delegation reply (and of a Truncated one over TCP).
    void Answer(const std::string &name, NameServerReply reply,
                std::vector<std::string> nameServers = {"ns1.example.net", "ns2.example.net"});
    // A TXT query for name gets these records, each record its character-strings (each at most
    // 255 bytes); queries of other types for name are answered as before.
    void AnswerText(const std::string &name, std::vector<std::vector<std::string>> records);
    // How many queries of a type (2 NS, 16 TXT) came.
    std::size_t QueriesOfType(std::uint16_t type) const;
    // Each query as "<name> <type number>", in order of arrival; " tcp" follows one over TCP.
    std::vector<std::string> Queries() const;
    // From now on TCP connections are accepted and read, but never answered.
    void SilenceOverTcp();
    // Waits (at most timeout) until count queries came over TCP; false on time-out.
    bool WaitForTcpQueries(std::size_t count, std::chrono::milliseconds timeout) const;
    // Waits (at most timeout) until count queries came at all; false on time-out.
    bool WaitForQueries(std::size_t count, std::chrono::milliseconds timeout) const;
    // From now on UDP replies are held, and sent last first once no query came for a moment:
    // the client sees its replies out of order, and the server sees all it has in flight.
    void HoldUdpReplies();
    // The most UDP replies held at once: the client's queries in flight.
    std::size_t MostHeld() const;

private:
    struct Setting {
        NameServerReply reply;
        std::vector<std::string> nameServers;
    };
    struct TcpClient {
        int socket = -1;
        std::vector<std::uint8_t> received;
    };
    void Serve();
    void ServeUdp();
    void Accept();
    // False when the client closed or broke off.
    bool ServeTcp(TcpClient &client);
    // The replies to a query, in the order they go out (a decoy first).
    std::vector<std::vector<std::uint8_t>> ReplyTo(const std::vector<std::uint8_t> &query,
                                                   bool overTcp);
    void SendHeld();

    int socket_ = -1;
    int listener_ = -1;
    std::vector<TcpClient> clients_;
    int wake_ = -1;
    int port_ = 0;
    std::thread thread_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::map<std::string, Setting> settings_;
    std::map<std::string, std::vector<std::vector<std::string>>> texts_;
    std::map<std::uint16_t, std::size_t> byType_;
    std::vector<std::string> queries_;
    std::size_t tcpQueries_ = 0;
    bool tcpSilent_ = false;
    std::map<std::string, int> asked_;
    bool holding_ = false;
    struct Held {
        std::vector<std::uint8_t> reply;
        std::vector<std::uint8_t> to; // the sockaddr_in of the client
    };
    std::vector<Held> held_;
    std::size_t mostHeld_ = 0;
};

} // namespace testsupport
