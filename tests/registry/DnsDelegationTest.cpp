#include "registry/DnsDelegation.h"
#include "registry/DnsAnswer.h"
#include "tests/support/ScriptedNameServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <stop_token>
#include <thread>

namespace {

using namespace testsupport;
using registry::Delegation;

struct DelegationCase {
    const char *name;
    NameServerReply reply;
    Delegation state;
    const char *detail;
    std::vector<std::string> nameServers;
};

void PrintTo(const DelegationCase &c, std::ostream *os) {
    *os << c.name;
}

const DelegationCase kCases[] = {
    {"NsAnswer",
     NameServerReply::Delegation,
     Delegation::Delegated,
     "2 NS records",
     {"ns1.example.net", "ns2.example.net"}},
    {"NameError", NameServerReply::NameError, Delegation::NotDelegated, "NXDOMAIN", {}},
    {"NoData", NameServerReply::NoData, Delegation::NotDelegated, "no NS records", {}},
    {"ServerFailure", NameServerReply::ServerFailure, Delegation::Failed, "SERVFAIL", {}},
    {"Silence", NameServerReply::Silence, Delegation::Failed, "no answer within 1 s", {}},
};

class DelegationTest : public ::testing::TestWithParam<DelegationCase> {};

TEST_P(DelegationTest, ReplyDecidesTheState) {
    const auto &c = GetParam();
    ScriptedNameServer server;
    server.Answer("fastcar.com", c.reply, {"NS1.Example.NET", "ns2.example.net"});
    const auto start = std::chrono::steady_clock::now();
    const auto result = registry::CheckDelegation("fastcar.com", {server.Address(), 1, 1});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
    EXPECT_EQ(result.state, c.state);
    EXPECT_EQ(result.detail, c.detail);
    EXPECT_EQ(result.nameServers, c.nameServers);
    ASSERT_FALSE(server.Queries().empty());
    EXPECT_EQ(server.Queries().at(0), "fastcar.com 2");
}

INSTANTIATE_TEST_SUITE_P(Replies, DelegationTest, ::testing::ValuesIn(kCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(Delegation, UnreadableResolverAddressFailsWithoutAQuery) {
    for (const char *address : {"127.0.0.1:x", "nowhere", "127.0.0.1:70000", "1.2.3.4:"}) {
        const auto result = registry::CheckDelegation("fastcar.com", {address, 1, 1});
        EXPECT_EQ(result.state, Delegation::Failed) << address;
        EXPECT_EQ(result.detail, std::string("bad resolver address ") + address);
    }
}

TEST(Delegation, TruncatedReplyIsAskedAgainOverTcp) {
    ScriptedNameServer server;
    server.Answer("fastcar.com", NameServerReply::Truncated);
    const auto result = registry::CheckDelegation("fastcar.com", {server.Address(), 1, 1});
    EXPECT_EQ(result.state, Delegation::Delegated);
    EXPECT_EQ(result.nameServers, (std::vector<std::string>{"ns1.example.net", "ns2.example.net"}));
    EXPECT_EQ(server.Queries(), (std::vector<std::string>{"fastcar.com 2", "fastcar.com 2 tcp"}));
}

// A truncated reply whose TCP retry is accepted and never answered: the check ends by the tries'
// time-outs, by the caller's deadline, or when the caller stops it, whichever comes first.
struct SilentTcpCase {
    const char *name;
    registry::DnsSettings settings; // the server is filled in
    std::chrono::milliseconds deadline;
    bool stop;
    const char *detail;
};

void PrintTo(const SilentTcpCase &c, std::ostream *os) {
    *os << c.name;
}

using std::chrono::milliseconds;
constexpr auto kNoDeadline = milliseconds::max();

const SilentTcpCase kSilentTcp[] = {
    {"TriesRunOut", {{}, 1, 1}, kNoDeadline, false, "no answer within 1 s"},
    {"DeadlinePasses",
     {{}, 5, 2},
     milliseconds(300),
     false,
     "no answer before the request time-out"},
    {"Stopped", {{}, 5, 2}, kNoDeadline, true, "cancelled"},
};

class SilentTcpTest : public ::testing::TestWithParam<SilentTcpCase> {};

TEST_P(SilentTcpTest, CheckEndsInTime) {
    const auto &c = GetParam();
    ScriptedNameServer server;
    server.Answer("fastcar.com", NameServerReply::Truncated);
    server.SilenceOverTcp();
    registry::DnsSettings settings = c.settings;
    settings.server = server.Address();
    std::stop_source stop;
    registry::DnsBounds bounds{std::chrono::steady_clock::time_point::max(), stop.get_token()};
    if (c.deadline != kNoDeadline)
        bounds.deadline = std::chrono::steady_clock::now() + c.deadline;
    std::chrono::steady_clock::time_point stopped{};
    std::jthread stopper([&] {
        if (c.stop && server.WaitForTcpQueries(1, std::chrono::seconds(5))) {
            stopped = std::chrono::steady_clock::now();
            stop.request_stop();
        }
    });
    const auto start = std::chrono::steady_clock::now();
    const auto result = registry::CheckDelegation("fastcar.com", settings, bounds);
    const auto end = std::chrono::steady_clock::now();
    stopper.join();
    EXPECT_EQ(result.state, Delegation::Failed);
    EXPECT_EQ(result.detail, c.detail);
    EXPECT_LT(end - start, std::chrono::seconds(4));
    if (c.stop) {
        EXPECT_LT(end - stopped, std::chrono::seconds(1));
    }
    EXPECT_TRUE(server.WaitForTcpQueries(1, milliseconds(0)));
}

INSTANTIATE_TEST_SUITE_P(TruncatedReply, SilentTcpTest, ::testing::ValuesIn(kSilentTcp),
                         [](const auto &info) { return std::string(info.param.name); });

std::vector<std::uint8_t> Header(std::uint16_t flags, std::uint16_t questions,
                                 std::uint16_t answers) {
    return {0x12,
            0x34,
            static_cast<std::uint8_t>(flags >> 8),
            static_cast<std::uint8_t>(flags),
            0,
            static_cast<std::uint8_t>(questions),
            0,
            static_cast<std::uint8_t>(answers),
            0,
            0,
            0,
            0};
}

std::vector<std::uint8_t> Join(std::vector<std::uint8_t> a, const std::vector<std::uint8_t> &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The question "ab.c" NS IN, at offset 12.
const std::vector<std::uint8_t> kQuestion{2, 'a', 'b', 1, 'c', 0, 0, 2, 0, 1};
// An NS record for the question's name (pointer to 12) whose data is "ns" + pointer to 15 ("c").
const std::vector<std::uint8_t> kNsRecord{0xC0, 12, 0, 2, 0,   1,   0,    0, 0,
                                          60,   0,  5, 2, 'n', 's', 0xC0, 15};

TEST(DnsAnswer, ReadsCompressedNameServerNames) {
    const auto reply = Join(Join(Header(0x8180, 1, 1), kQuestion), kNsRecord);
    const auto answer = registry::ReadDnsAnswer(reply.data(), reply.size());
    EXPECT_TRUE(answer.isResponse);
    EXPECT_EQ(answer.id, 0x1234);
    EXPECT_EQ(answer.responseCode, 0);
    EXPECT_EQ(answer.nameServers, std::vector<std::string>{"ns.c"});
}

TEST(DnsAnswer, RejectsMalformedReplies) {
    const auto good = Join(Join(Header(0x8180, 1, 1), kQuestion), kNsRecord);
    auto forwardPointer = good;
    forwardPointer[good.size() - 1] =
        static_cast<std::uint8_t>(good.size() - 2); // points at itself
    auto longData = good;
    longData[good.size() - 6] = 40; // data length past the end
    auto shortData = good;
    shortData[good.size() - 6] = 2; // the name runs past its record's data
    auto badLabel = good;
    badLabel[12] = 0x80;
    const std::vector<std::pair<const char *, std::vector<std::uint8_t>>> cases{
        {"short header", {0x12, 0x34, 0x81}},
        {"missing question", Header(0x8180, 1, 0)},
        {"missing answer", Join(Header(0x8180, 1, 1), kQuestion)},
        {"pointer that does not go back", forwardPointer},
        {"data past the end", longData},
        {"name longer than its data", shortData},
        {"unknown label type", badLabel},
    };
    for (const auto &[name, bytes] : cases)
        EXPECT_THROW(registry::ReadDnsAnswer(bytes.data(), bytes.size()), registry::EDnsFormatError)
            << name;
}

} // namespace
