#include "net/IdException.h"
#include "net/IdTCPClient.h"
#include "tests/support/LoopbackSocket.h"
#include "tests/support/LoopbackStack.h"
#include "tests/support/MemoryStack.h"
#include "tests/support/ScriptedServer.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using net::EIdConnClosedGracefully;
using net::EIdSocketError;
using net::TIdTCPClient;
using namespace testsupport;

std::unique_ptr<TIdTCPClient> Connect(int port, int readTimeoutMs = 2000,
                                      const net::NetworkContext &context = {}) {
    auto client = std::make_unique<TIdTCPClient>(context);
    client->Host = "127.0.0.1";
    client->Port = port;
    client->ReadTimeout = readTimeoutMs;
    client->ConnectTimeout = 2000;
    client->OpenConnection();
    return client;
}

template <typename Action> int SocketErrorOf(Action action) {
    try {
        action();
    } catch (const EIdSocketError &error) {
        return error.SocketErrorCode();
    }
    return 0;
}

struct LineCase {
    const char *received;
    std::vector<std::string> lines;
};

class ReadLineTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(ReadLineTest, SplitsAtLineFeedAndDropsOneCarriageReturn) {
    const auto &param = GetParam();
    ScriptedServer server;
    server.Enqueue({Send(param.received), Silent()});
    auto client = Connect(server.Port());
    for (const auto &expected : param.lines)
        EXPECT_EQ(client->ReadLine(), expected);
}

TEST_P(ReadLineTest, GivesTheSameLinesWhateverTheReceivePieces) {
    const auto &param = GetParam();
    auto network = std::make_shared<MemoryNetwork>();
    const net::NetworkContext stack = testsupport::MemoryNetworkContext(network);
    std::vector<std::string> bytes;
    for (const char *c = param.received; *c != '\0'; ++c)
        bytes.emplace_back(1, *c);
    network->Enqueue({bytes, PeerEnd::Silent});
    auto client = Connect(80, 2000, stack);
    for (const auto &expected : param.lines)
        EXPECT_EQ(client->ReadLine(), expected);
}

INSTANTIATE_TEST_SUITE_P(Endings, ReadLineTest,
                         ::testing::Values(LineCase{"abc\r\n", {"abc"}}, LineCase{"abc\n", {"abc"}},
                                           LineCase{"\r\n", {""}}, LineCase{"abc\r\r\n", {"abc\r"}},
                                           LineCase{"one\r\ntwo\nthree\r\n",
                                                    {"one", "two", "three"}},
                                           LineCase{"a\rb\r\n", {"a\rb"}}));

TEST(ReadLine, CloseWithPartialLineGivesEmptyTextThenRaises) {
    ScriptedServer server;
    server.Enqueue({Send("abc"), Close()});
    auto client = Connect(server.Port());
    EXPECT_EQ(client->ReadLine(), "");
    EXPECT_TRUE(client->ReadLnTimedOut());
    EXPECT_FALSE(client->Socket().HandleAllocated());
    EXPECT_THROW(client->ReadLine(), EIdConnClosedGracefully);
}

TEST(ReadLine, CloseWithEmptyBufferRaises) {
    ScriptedServer server;
    server.Enqueue({Close()});
    auto client = Connect(server.Port());
    try {
        client->ReadLine();
        FAIL() << "no exception";
    } catch (const EIdConnClosedGracefully &error) {
        EXPECT_STREQ(error.what(), "Connection Closed Gracefully.");
    }
    EXPECT_FALSE(client->IsConnected());
}

TEST(ReadLine, TakesCustomTerminatorWithoutDroppingCarriageReturn) {
    ScriptedServer server;
    server.Enqueue({Send("ab\r;;cd;;"), Silent()});
    auto client = Connect(server.Port());
    EXPECT_EQ(client->ReadLine(";;"), "ab\r");
    EXPECT_EQ(client->ReadLine(";;"), "cd");
}

TEST(ReadLine, LineLongerThanTheLimitRaises) {
    ScriptedServer server;
    server.Enqueue({Send(std::string(300, 'x')), Silent()});
    auto client = Connect(server.Port());
    client->MaxLineLength = 100;
    EXPECT_THROW(client->ReadLine(), net::EIdException);
}

TEST(ReadToStream, CountedReadTakesBufferedBytesFirst) {
    auto network = std::make_shared<MemoryNetwork>();
    const net::NetworkContext stack = testsupport::MemoryNetworkContext(network);
    network->Enqueue({{"line\r\nabcd", "efghij", "rest"}, PeerEnd::Silent});
    auto client = Connect(80, 2000, stack);
    ASSERT_EQ(client->ReadLine(), "line");
    ASSERT_EQ(client->InputBuffer().View(), "abcd");
    base::TMemoryStream stream;
    client->ReadToStream(stream, 10, false);
    EXPECT_EQ(stream.Bytes(), "abcdefghij");
    EXPECT_EQ(stream.Position(), 10);
    EXPECT_EQ(client->ReadLine("t"), "res");
}

TEST(ReadToStream, CountedReadOverTcpWaitsForTheRest) {
    ScriptedServer server;
    server.Enqueue({Send("line\r\nabcd"), Pause(Millis(20)), Send("efghij"), Silent()});
    auto client = Connect(server.Port());
    ASSERT_EQ(client->ReadLine(), "line");
    base::TMemoryStream stream;
    stream.WriteText("xy");
    client->ReadToStream(stream, 10, false);
    EXPECT_EQ(stream.Bytes(), "xyabcdefghij");
}

TEST(ReadToStream, UntilCloseEndsQuietlyWhenThePeerCloses) {
    ScriptedServer server;
    const std::string body(100000, 'b');
    server.Enqueue({SendCut(body, 7, Millis(0)), Close()});
    auto client = Connect(server.Port());
    base::TMemoryStream stream;
    client->ReadToStream(stream, -1, true);
    EXPECT_EQ(stream.Bytes(), body);
    EXPECT_FALSE(client->IsConnected());
}

TEST(ReadToStream, CountedReadThatMeetsTheCloseRaisesAndKeepsWhatArrived) {
    ScriptedServer server;
    server.Enqueue({Send("12345"), Close()});
    auto client = Connect(server.Port());
    base::TMemoryStream stream;
    EXPECT_THROW(client->ReadToStream(stream, 10, false), EIdConnClosedGracefully);
    EXPECT_EQ(stream.Bytes(), "12345");
    EXPECT_EQ(stream.Size(), 5);
}

TEST(ReadToStream, BodyPastTheLimitRaisesWithTheLimitWritten) {
    ScriptedServer server;
    server.Enqueue({Send(std::string(5000, 'z')), Close()});
    auto client = Connect(server.Port());
    base::TMemoryStream stream;
    EXPECT_THROW(client->ReadToStream(stream, -1, true, 1000), net::EIdException);
    EXPECT_EQ(stream.Size(), 1000);
}

TEST(OpenConnection, RefusedConnectRaises10061AndClosesTheSocket) {
    LoopbackSocket closed; // bound, not listening: connections are refused
    TIdTCPClient client;
    client.Host = "127.0.0.1";
    client.Port = closed.Port();
    std::vector<std::string> statuses;
    client.OnStatus = [&](net::TIdComponent &, net::TIdStatus, const std::string &text) {
        statuses.push_back(text);
    };
    try {
        client.OpenConnection();
        FAIL() << "connected";
    } catch (const EIdSocketError &error) {
        EXPECT_EQ(error.SocketErrorCode(), 10061);
        EXPECT_STREQ(error.what(), "Socket Error # 10061\r\nConnection refused.");
    }
    EXPECT_FALSE(client.Socket().HandleAllocated());
    EXPECT_FALSE(client.IsConnected());
    EXPECT_EQ(statuses,
              (std::vector<std::string>{"Connecting to 127.0.0.1.", "Disconnecting from 127.0.0.1.",
                                        "Not connected."}));
}

TEST(OpenConnection, SendsStatusNotificationsAroundAConnection) {
    ScriptedServer server;
    server.Enqueue({Silent()});
    const testsupport::LoopbackNetwork stack(server.Port());
    TIdTCPClient client(stack.Context());
    client.Host = "www.example.com";
    client.Port = 80;
    std::vector<std::string> statuses;
    client.OnStatus = [&](net::TIdComponent &, net::TIdStatus, const std::string &text) {
        statuses.push_back(text);
    };
    int connected = 0, disconnected = 0;
    client.OnConnected = [&](TIdTCPClient &) { ++connected; };
    client.OnDisconnected = [&](net::TIdTCPConnection &) { ++disconnected; };
    client.OpenConnection();
    EXPECT_EQ(client.Socket().PeerPort(), server.Port());
    client.CloseConnection();
    client.CloseConnection();
    EXPECT_EQ(statuses, (std::vector<std::string>{
                            "Resolving hostname www.example.com.", "Connecting to 127.0.0.1.",
                            "Connected.", "Disconnecting from 127.0.0.1.", "Not connected."}));
    EXPECT_EQ(connected, 1);
    EXPECT_EQ(disconnected, 1);
}

TEST(OpenConnection, WhileConnectedRaisesAlreadyConnected) {
    ScriptedServer server;
    server.Enqueue({Silent()});
    auto client = Connect(server.Port());
    try {
        client->OpenConnection();
        FAIL() << "opened twice";
    } catch (const net::EIdAlreadyConnected &error) {
        EXPECT_STREQ(error.what(), "Already connected.");
    }
    EXPECT_TRUE(client->IsConnected());
}

TEST(OpenConnection, CanOpenAgainAfterTheServerClosed) {
    ScriptedServer server;
    server.Enqueue({Send("first\n"), Close()});
    server.Enqueue({Send("second\n"), Close()});
    auto client = Connect(server.Port());
    EXPECT_EQ(client->ReadLine(), "first");
    EXPECT_THROW(client->ReadLine(), EIdConnClosedGracefully);
    client->OpenConnection();
    EXPECT_EQ(client->ReadLine(), "second");
}

TEST(OpenConnection, UnknownHostRaises11001WithEmptySecondLine) {
    const testsupport::LoopbackNetwork stack(1);
    TIdTCPClient client(stack.Context());
    client.Host = "nowhere.invalid";
    client.Port = 80;
    try {
        client.OpenConnection();
        FAIL() << "resolved";
    } catch (const EIdSocketError &error) {
        EXPECT_EQ(error.SocketErrorCode(), 11001);
        EXPECT_STREQ(error.what(), "Socket Error # 11001\r\n");
    }
    EXPECT_FALSE(client.Socket().HandleAllocated());
}

TEST(OpenConnection, ConnectThatIsNeverAnsweredTimesOut) {
    // A listener with a full backlog drops further connection requests unanswered.
    LoopbackSocket listener;
    listener.Listen(0);
    const int port = listener.Port();
    std::vector<std::unique_ptr<TIdTCPClient>> fillers;
    int code = 0;
    for (int attempt = 0; attempt < 4 && code == 0; ++attempt) {
        auto client = std::make_unique<TIdTCPClient>();
        client->Host = "127.0.0.1";
        client->Port = port;
        client->ConnectTimeout = 100;
        code = SocketErrorOf([&] { client->OpenConnection(); });
        fillers.push_back(std::move(client));
    }
    EXPECT_EQ(code, 10060);
}

TEST(ReadFromSocket, SilentServerTimesOutWith10060) {
    ScriptedServer server;
    server.Enqueue({Silent()});
    auto client = Connect(server.Port(), 50);
    try {
        client->ReadLine();
        FAIL() << "no time-out";
    } catch (const EIdSocketError &error) {
        EXPECT_EQ(error.SocketErrorCode(), 10060);
        EXPECT_STREQ(error.what(), "Socket Error # 10060\r\nConnection timed out.");
    }
}

TEST(ReadFromSocket, PollForCloseKeepsEarlyBytesAndNoticesTheClose) {
    ScriptedServer server;
    server.Enqueue({Send("early"), Close()});
    auto client = Connect(server.Port());
    while (client->IsConnected())
        client->PollForClose(false);
    EXPECT_EQ(client->InputBuffer().View(), "early");
}

TEST(ReadFromSocket, ResetInTheMiddleOfAReadRaises10054) {
    ScriptedServer server;
    server.Enqueue({Send("partial body"), Pause(Millis(20)), Reset()});
    auto client = Connect(server.Port());
    base::TMemoryStream stream;
    EXPECT_EQ(SocketErrorOf([&] { client->ReadToStream(stream, 100, false); }), 10054);
    EXPECT_EQ(stream.Bytes(), "partial body");
    EXPECT_TRUE(client->Socket().HandleAllocated());
}

TEST(WriteBytes, WriteToAClosedPeerRaisesInsteadOfKillingTheProcess) {
    ScriptedServer server;
    server.Enqueue({Reset()});
    std::unique_ptr<TIdTCPClient> client;
    // A reset that arrives while the connection is being opened fails the open the same way.
    const int openCode = SocketErrorOf([&] { client = Connect(server.Port()); });
    if (openCode != 0) {
        EXPECT_EQ(openCode, 10054);
        return;
    }
    ASSERT_TRUE(server.WaitForFinished(1));
    const std::string block(65536, 'w');
    int code = 0;
    for (int i = 0; i < 100 && code == 0; ++i)
        code = SocketErrorOf([&] { client->WriteText(block); });
    EXPECT_TRUE(code == 10054 || code == 10058) << code;
}

TEST(WriteLine, SendsTheTextWithCarriageReturnLineFeed) {
    ScriptedServer server;
    server.Enqueue({ReadRequest(), Close()});
    auto client = Connect(server.Port());
    client->WriteLine("GET / HTTP/1.1");
    client->WriteText("");
    client->WriteLine("");
    ASSERT_TRUE(server.WaitForFinished(1));
    EXPECT_EQ(server.Requests().at(0), "GET / HTTP/1.1\r\n\r\n");
}

TEST(Buffer, TakeFromBufferBeyondItsSizeRaises) {
    auto network = std::make_shared<MemoryNetwork>();
    const net::NetworkContext stack = testsupport::MemoryNetworkContext(network);
    network->Enqueue({{"abc\n"}, PeerEnd::Silent});
    auto client = Connect(80, 2000, stack);
    client->ReadFromSocket(true, 0, true);
    try {
        client->TakeFromBuffer(5);
        FAIL() << "took more than was there";
    } catch (const net::EIdNotEnoughDataInBuffer &error) {
        EXPECT_STREQ(error.what(), "Not enough data in buffer.");
    }
    EXPECT_EQ(client->TakeFromBuffer(4), "abc\n");
    EXPECT_TRUE(client->InputBuffer().Empty());
}

TEST(Connection, AsciiFilterClearsTheHighBit) {
    ScriptedServer server;
    server.Enqueue({Send("\xC1\xE2\n"), Silent()});
    auto client = Connect(server.Port());
    client->ASCIIFilter = true;
    EXPECT_EQ(client->ReadLine(), "Ab");
}

TEST(Connection, InterceptEnabledWithoutInterceptRaises) {
    TIdTCPClient client;
    try {
        client.SetInterceptEnabled(true);
        FAIL();
    } catch (const net::EIdInterceptPropIsNil &error) {
        EXPECT_STREQ(error.what(), "InterceptEnabled cannot be set to true when Intercept is nil.");
    }
}

} // namespace
