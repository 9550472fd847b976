#pragma once

#include "tests/support/LoopbackSocket.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

// An in-process TCP server on 127.0.0.1 at a free port, for tests. Each accepted connection runs
// a script of steps on a thread of its own: read the request, send bytes (whole, cut into pieces,
// or dripped), pause, stay silent, close, reset. The server records the exact request head of
// every connection. Its destructor stops every connection and joins every thread, so a scope
// bounds its life.
//
// Typical use:
//
//     testsupport::ScriptedServer server;
//     server.Enqueue(testsupport::Respond(testsupport::HttpReply(200, "hello")));
//     ... connect to 127.0.0.1:server.Port() ...
//     EXPECT_EQ(server.Requests().at(0), "GET / HTTP/1.1\r\nHost: ...\r\n\r\n");
//
// As a stand-in for web servers, it answers by Host header and request target:
//
//     server.Answer("www.fastcar.com", "/", 200, "<html>taken</html>");
//     server.Answer("search.yahoo.com", "*", 200, "of about <b>12</b>");
//
// With a LoopbackStack (LoopbackStack.h) installed, every name resolves to 127.0.0.1 and port 80
// goes to server.Port(), so one server stands in for every host a probe asks.
namespace testsupport {

using Millis = std::chrono::milliseconds;

struct Step {
    enum class Kind { ReadRequest, ReadLine, Send, Pause, Silent, Close, Reset, SendForever, Hold };
    Kind kind;
    std::string bytes;
    // For Send: the sizes of the pieces, each sent on its own (the rest goes as a last piece).
    std::vector<std::size_t> pieces;
    // For Send: the pause between pieces; for Pause: its length.
    Millis delay{0};
};

using Script = std::vector<Step>;

// Reads up to and including the blank line that ends a request head, and records it.
Step ReadRequest();
// Reads up to and including the first LF (a line protocol's query, such as WHOIS), and records
// it as the request.
Step ReadLine();
Step Send(std::string bytes);
// Sends bytes in pieces of the given sizes, pausing gap between them.
Step SendPieces(std::string bytes, std::vector<std::size_t> pieceSizes, Millis gap = Millis(1));
// Sends bytes cut at pseudo-random points chosen by seed.
Step SendCut(std::string bytes, unsigned seed, Millis gap = Millis(1));
// Sends one byte at a time, interval apart.
Step Drip(std::string bytes, Millis interval);
Step Pause(Millis length);
// Sends nothing and keeps the connection open until the client closes it or the server stops.
Step Silent();
// An orderly close: the client sees the end of the data.
Step Close();
// An abortive close: the client sees "connection reset".
Step Reset();
// Sends unit again and again until the client goes away or the server stops.
Step SendForever(std::string unit);
// Waits until the test lets one held connection go on (ScriptedServer::Release) or the server
// stops.
Step Hold();

// Reads the request, then runs the steps of afterRequest.
Script AfterRequest(const Script &afterRequest);
// Reads the request, sends reply, closes.
Script Respond(std::string reply);
// Reads the request, sends reply, then keeps the connection open until the client closes it.
Script RespondKeepAlive(std::string reply);

// "HTTP/1.1 <status> <reason>" with Content-Length, "Connection: close" and extraHeaders (each
// line ending in CR LF), then body.
std::string HttpReply(int status, std::string_view body, std::string_view extraHeaders = {});
// The same without "Connection: close": an HTTP/1.1 reply that lets the connection stay open.
std::string HttpKeepAliveReply(int status, std::string_view body,
                               std::string_view extraHeaders = {});
// The reason phrase for the common status codes ("OK", "Found", "Not Found", ...).
std::string ReasonPhrase(int status);

class ScriptedServer {
public:
    ScriptedServer();
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer &) = delete;
    ScriptedServer &operator=(const ScriptedServer &) = delete;

    int Port() const { return listener_.Port(); }

    // Scripts for the next connections, one each, in order of arrival.
    void Enqueue(Script script);
    // For connections beyond the queue when no answer is registered (initially: read the
    // request, answer 404, close).
    void SetDefault(Script script);

    // Answers requests for host and target ("*" matches any) with status and body. A registered
    // answer makes the server route every connection beyond the queue by its request; a request
    // that matches nothing gets 404.
    void Answer(const std::string &host, const std::string &target, int status,
                const std::string &body, const std::string &extraHeaders = {});
    // As Answer, with a script run after the request has been read.
    void Route(const std::string &host, const std::string &target, Script afterRequest);

    // From now on a routed connection that its answer leaves open serves the next request on
    // it too, until the client closes it (a kept-alive web server).
    void KeepRoutedConnections();

    // The request head of every request received, in order of arrival.
    std::vector<std::string> Requests() const;
    // When each of them was read in full, in the same order.
    std::vector<std::chrono::steady_clock::time_point> RequestTimes() const;
    // Connections accepted so far, and connections whose script has ended.
    std::size_t Accepted() const;
    std::size_t Finished() const;
    // Waits (at most timeout) until count connections have finished; false on time-out.
    bool WaitForFinished(std::size_t count, Millis timeout = Millis(5000)) const;

    // The most connections that were answering at once: from reading a request until a close, a
    // reset or silence begins (so before the client can see the answer end).
    std::size_t MostAnsweringAtOnce() const;

    // Connections waiting in a Hold step now, and the most that ever waited there at once.
    std::size_t Held() const;
    std::size_t MostHeldAtOnce() const;
    // Waits (at most timeout) until count connections wait in a Hold step; false on time-out.
    bool WaitForHeld(std::size_t count, Millis timeout = Millis(5000)) const;
    // Lets count held connections (present or future) go on with their scripts.
    void Release(std::size_t count = 1);

private:
    struct Connection;

    void AcceptLoop();
    void Serve(int socket, bool route, Script script);
    void ServeRoutes(Connection &connection);
    // Reads what the client sends; false once it has closed or the server stops.
    bool ReadMore(Connection &connection, Millis timeout);
    Script NextScript(bool &route);
    Script RouteFor(const std::string &request) const;
    void RunScript(Connection &connection, const Script &script);
    // Reads until terminator (included), records the request and counts the connection as
    // answering.
    void ReadUntil(Connection &connection, std::string_view terminator);
    void EndAnswering(Connection &connection);
    void Reap(bool all);
    // False when the server stopped (or the longest wait passed) instead.
    bool HoldUntilReleased();

    LoopbackSocket listener_;
    int wake_ = -1;
    std::thread acceptThread_;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool stopping_ = false;
    std::vector<Script> queue_;
    std::size_t queueHead_ = 0;
    Script default_;
    std::map<std::pair<std::string, std::string>, Script> routes_;
    bool keepRouted_ = false;
    std::vector<std::string> requests_;
    std::vector<std::chrono::steady_clock::time_point> requestTimes_;
    std::size_t accepted_ = 0;
    std::size_t finished_ = 0;
    std::size_t answering_ = 0;
    std::size_t mostAnswering_ = 0;
    std::size_t held_ = 0;
    std::size_t mostHeld_ = 0;
    std::size_t releases_ = 0;
    struct Worker {
        std::thread thread;
        std::shared_ptr<bool> done;
    };
    std::vector<Worker> workers_;
};

} // namespace testsupport
