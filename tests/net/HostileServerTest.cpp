#include "net/IdHTTP.h"
#include "tests/net/HttpTestSupport.h"
#include "tests/support/LoopbackStack.h"
#include "tests/support/ScriptedServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>

using namespace std::string_literals;

namespace {

using namespace testsupport;
using nettest::OutcomeOf;

const std::string kOk = "HTTP/1.1 200 OK\r\n";

struct HostileCase {
    const char *name;
    Script afterRequest;
    std::string outcome;
    std::string message;
    int statusCode;
    std::optional<std::string> body = std::nullopt;
};

void PrintTo(const HostileCase &c, std::ostream *os) {
    *os << c.name;
}

std::string Repeat(const std::string &unit, int times) {
    std::string text;
    for (int i = 0; i < times; ++i)
        text += unit;
    return text;
}

const std::string kTooLong = "Reply line too long.";
const std::string kTooLarge = "Reply body too large.";
const std::string kClosed = "Connection Closed Gracefully.";
const std::string kTimedOut = "Socket Error # 10060\r\nConnection timed out.";
const std::string kReset = "Socket Error # 10054\r\nConnection reset by peer.";

const HostileCase kCases[] = {
    {"HugeHeaderLine",
     {Send(kOk + "X-Big: " + std::string(100000, 'a')), Silent()},
     "EIdException",
     kTooLong,
     200},
    {"HugeStatusLine",
     {Send("HTTP/1.1 200 " + std::string(70000, 'r')), Silent()},
     "EIdException",
     kTooLong,
     0},
    {"EndlessHeaders",
     {Send(kOk), SendForever("X-Y: z\r\n")},
     "EIdException",
     "Too many header lines.",
     200},
    {"ThousandHeadersAreFine",
     {Send(kOk + Repeat("X-Y: z\r\n", 999) + "Content-Length: 2\r\n\r\nok"), Silent()},
     "none",
     "",
     200,
     "ok"},
    {"EndlessBody",
     {Send(kOk + "\r\n"), SendForever(std::string(4096, 'b'))},
     "EIdException",
     kTooLarge,
     200},
    {"EndlessChunks",
     {Send(kOk + "Transfer-Encoding: chunked\r\n\r\n"),
      SendForever("1000\r\n" + std::string(4096, 'c') + "\r\n")},
     "EIdException",
     kTooLarge,
     200},
    {"ChunkSizeAllOnes",
     {Send(kOk + "Transfer-Encoding: chunked\r\n\r\nFFFFFFFFFFFFFFFF\r\nabc"), Silent()},
     "EIdException",
     kTooLarge,
     200,
     ""},
    {"ChunkSizeHuge",
     {Send(kOk + "Transfer-Encoding: chunked\r\n\r\n7FFFFFFF\r\nabc"), Silent()},
     "EIdException",
     kTooLarge,
     200,
     ""},
    {"NegativeContentLength",
     {Send(kOk + "Content-Length: -5\r\n\r\nabc"), Close()},
     "none",
     "",
     200,
     "abc"},
    {"HugeContentLength",
     {Send(kOk + "Content-Length: 2147483647\r\n\r\nabc"), Silent()},
     "EIdException",
     kTooLarge,
     200,
     ""},
    {"ContentLengthPastInteger",
     {Send(kOk + "Content-Length: 99999999999\r\n\r\nabc"), Close()},
     "none",
     "",
     200,
     "abc"},
    {"TwoDifferentContentLengths",
     {Send(kOk + "Content-Length: 3\r\nContent-Length: 30\r\n\r\nabc"), Silent()},
     "EIdException",
     "Conflicting Content-Length values.",
     200,
     ""},
    {"TwoEqualContentLengths",
     {Send(kOk + "Content-Length: 3\r\nContent-Length: 3\r\n\r\nabc"), Silent()},
     "none",
     "",
     200,
     "abc"},
    {"NulBytesInBody",
     {Send(kOk + "Content-Length: 5\r\n\r\na\0b\0c"s), Silent()},
     "none",
     "",
     200,
     "a\0b\0c"s},
    {"NulInHeader",
     {Send(kOk + "X-N: a\0b\r\nContent-Length: 1\r\n\r\nz"s), Silent()},
     "none",
     "",
     200,
     "z"},
    {"BareCarriageReturn",
     {Send("HTTP/1.1 200 OK\rjunk\r\nContent-Length: 1\r\n\r\nz"), Silent()},
     "none",
     "",
     200,
     "z"},
    {"HeaderWithoutColon",
     {Send(kOk + "just words\r\nContent-Length: 1\r\n\r\nz"), Silent()},
     "none",
     "",
     200,
     "z"},
    {"SlowDrip",
     {Drip(kOk + "Content-Length: 4\r\n\r\ndrip", Millis(1)), Silent()},
     "none",
     "",
     200,
     "drip"},
    {"DripSlowerThanTheReadTimeout",
     {Send(kOk), Pause(Millis(1000)), Send("\r\n"), Silent()},
     "EIdSocketError 10060",
     kTimedOut,
     200},
    {"SilentServer", {Silent()}, "EIdSocketError 10060", kTimedOut, 0},
    {"SilentAfterHeaders",
     {Send(kOk + "Content-Length: 10\r\n\r\n"), Silent()},
     "EIdSocketError 10060",
     kTimedOut,
     200,
     ""},
    {"ResetMidBody",
     {Send(kOk + "Content-Length: 10\r\n\r\nhalf"), Pause(Millis(20)), Reset()},
     "EIdSocketError 10054",
     kReset,
     200,
     "half"},
    {"CloseMidChunk",
     {Send(kOk + "Transfer-Encoding: chunked\r\n\r\nA\r\nhalf"), Close()},
     "EIdConnClosedGracefully",
     kClosed,
     200,
     "half"},
    {"CloseBeforeStatusLine", {Close()}, "EIdConnClosedGracefully", kClosed, 0},
    {"ResetBeforeStatusLine", {Reset()}, "EIdSocketError 10054", kReset, 0},
    {"ContinueBeforeTheReply",
     {Send("HTTP/1.1 100 Continue\r\n\r\n" + kOk + "Content-Length: 1\r\n\r\nz"), Silent()},
     "EIdProtocolReplyError",
     "100 Continue",
     100,
     ""},
    {"NotHttp",
     {Send("SSH-2.0-OpenSSH_9.2\r\n"), Silent()},
     "EConvertError",
     "'' is not a valid integer value",
     0},
    {"BinaryGarbage",
     {Send("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03"s), Close()},
     "EConvertError",
     "'' is not a valid integer value",
     0},
    {"StatusCodeTooBig",
     {Send("HTTP/1.1 99999999999 Big\r\n\r\n"), Silent()},
     "EConvertError",
     "'99999999999' is not a valid integer value",
     0},
    {"NegativeStatusCode",
     {Send("HTTP/1.1 -200 Neg\r\nContent-Length: 0\r\n\r\n"), Silent()},
     "EIdProtocolReplyError",
     "-200 Neg",
     -200,
     ""},
    {"GarbageChunkSize",
     {Send(kOk + "Transfer-Encoding: chunked\r\n\r\nzz\r\n\r\n"), Silent()},
     "none",
     "",
     200,
     ""},
    {"ManyTinyChunks",
     {Send(kOk + "Transfer-Encoding: chunked\r\n\r\n" + Repeat("1\r\nx\r\n", 1000) + "0\r\n\r\n"),
      Silent()},
     "none",
     "",
     200,
     std::string(1000, 'x')},
    {"BytesAfterTheBody",
     {Send(kOk + "Content-Length: 2\r\n\r\nokEXTRA GARBAGE"), Silent()},
     "none",
     "",
     200,
     "ok"},
    {"ContinuationBeforeAnyField",
     {Send(kOk + " folded\r\nContent-Length: 1\r\n\r\nz"), Silent()},
     "none",
     "",
     200,
     "z"},
};

class HostileServerTest : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileServerTest, EndsInTimeWithTheExpectedOutcome) {
    const auto &c = GetParam();
    ScriptedServer server;
    server.Enqueue(AfterRequest(c.afterRequest));
    const testsupport::LoopbackNetwork stack(server.Port());
    const auto started = std::chrono::steady_clock::now();
    net::TIdHTTP client(stack.Context());
    client.ReadTimeout = 300;
    base::TMemoryStream stream;
    const auto outcome =
        OutcomeOf([&] { client.FetchToStream("http://www.hostile.com/", stream); });
    const auto elapsed = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(outcome.kind, c.outcome);
    EXPECT_EQ(outcome.message, c.message);
    EXPECT_EQ(client.StatusCode(), c.statusCode);
    if (c.body) {
        EXPECT_EQ(stream.Bytes(), *c.body);
    }
    EXPECT_LE(stream.Size(), client.MaxBodySize);
    EXPECT_EQ(stream.Size(), stream.Position());
    EXPECT_LT(elapsed, std::chrono::seconds(3));
}

INSTANTIATE_TEST_SUITE_P(Replies, HostileServerTest, ::testing::ValuesIn(kCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(HostileServer, EndlessRedirectsStopAtTheMaximum) {
    ScriptedServer server;
    server.SetDefault(Respond(HttpReply(302, "", "Location: http://www.loop.com/again\r\n")));
    const testsupport::LoopbackNetwork stack(server.Port());
    net::TIdHTTP client(stack.Context());
    client.HandleRedirects = true;
    client.ReadTimeout = 300;
    EXPECT_EQ(client.FetchText("http://www.loop.com/"), "");
    EXPECT_EQ(server.Requests().size(), 15u);
}

} // namespace
