#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// An in-process DNS server on UDP 127.0.0.1 at a free port, for tests: each name gets the
// reply set for it (NS records, NXDOMAIN, no data, SERVFAIL, or silence); a name with none set
// gets NXDOMAIN. It records every query. Its destructor stops and joins its thread.
namespace testsupport {

enum class NameServerReply { Delegation, NameError, NoData, ServerFailure, Silence };

class ScriptedNameServer {
public:
    ScriptedNameServer();
    ~ScriptedNameServer();
    ScriptedNameServer(const ScriptedNameServer &) = delete;
    ScriptedNameServer &operator=(const ScriptedNameServer &) = delete;

    int Port() const { return port_; }
    // "127.0.0.1:<port>", as the delegation check takes a resolver address.
    std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }

    // nameServers are the NS targets of a Delegation reply.
    void Answer(const std::string &name, NameServerReply reply,
                std::vector<std::string> nameServers = {"ns1.example.net", "ns2.example.net"});
    // Each query as "<name> <type number>", in order of arrival.
    std::vector<std::string> Queries() const;

private:
    struct Setting {
        NameServerReply reply;
        std::vector<std::string> nameServers;
    };
    void Serve();
    std::vector<std::uint8_t> ReplyTo(const std::vector<std::uint8_t> &query);

    int socket_ = -1;
    int wake_ = -1;
    int port_ = 0;
    std::thread thread_;
    mutable std::mutex mutex_;
    std::map<std::string, Setting> settings_;
    std::vector<std::string> queries_;
};

} // namespace testsupport
