#pragma once

#include "base/MemoryStream.h"
#include "net/IdBuffer.h"
#include "net/IdComponent.h"
#include "net/IdInterceptState.h"
#include "net/IdSocketHandle.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace net {

// Waits given in milliseconds; this value means "as long as the connection's own limit".
constexpr int IdTimeoutInfinite = -2;

class TIdTCPConnection;

// A layer between a connection and its socket, such as encryption. While the connection's
// InterceptEnabled is true, every byte it reads or writes goes through the intercept. This base
// class passes the bytes through unchanged.
class TIdConnectionIntercept {
public:
    virtual ~TIdConnectionIntercept() = default;

    // Runs once the socket is connected, before anything is sent; may raise, and the connection
    // is then closed.
    virtual void Connect(TIdTCPConnection &connection);
    // Runs after the connection's socket has been released.
    virtual void Disconnect(TIdTCPConnection &connection);
    // Receives at most length bytes within timeoutMs (negative: without limit): the count, 0 when
    // the peer has closed, kInterceptTimedOut when nothing came in time. Failures raise.
    virtual int Receive(TIdTCPConnection &connection, void *buffer, int length, int timeoutMs);
    // Sends up to length bytes and returns how many went out (at least one); failures raise.
    virtual int Send(TIdTCPConnection &connection, const void *buffer, int length);
    // Hands over what the intercept holds of connection's open socket, for the connection to
    // wait idle in a pool; null when it cannot be kept (this one holds nothing to carry on).
    virtual std::unique_ptr<TIdInterceptState> Detach(TIdTCPConnection &connection);
    // Takes back a kept connection's state, its socket now connection's; false when the state
    // is not one this intercept can go on with (the connection must then be closed).
    virtual bool Adopt(TIdTCPConnection &connection, std::unique_ptr<TIdInterceptState> state);

    static constexpr int kInterceptTimedOut = -1;
};

// A blocking TCP connection with a read buffer: line reading and writing, counted or
// until-close reads into a stream, and noticing a close by the peer. Every wait is bounded:
// a read without data for ReadTimeout, a connect for ConnectTimeout, raising EIdSocketError
// 10060 "Connection timed out.".
class TIdTCPConnection : public TIdComponent {
public:
    TIdTCPConnection();
    explicit TIdTCPConnection(const NetworkContext &context);
    ~TIdTCPConnection() override;

    virtual void NotifyDisconnected();
    // Forgets the socket without closing it and empties the read buffer.
    virtual void ResetState();
    // Notices a close by the peer (releasing the socket); raises EIdConnClosedGracefully when
    // asked to and nothing buffered is left to read (or ignoreBuffer).
    virtual void CheckClosed(bool raiseIfClosed, bool ignoreBuffer);
    // Waits 1 ms for a close by the peer, keeping any bytes that arrive.
    virtual void PollForClose(bool raiseIfClosed);
    virtual bool IsConnected();
    virtual void CloseConnection();
    virtual void DropSocket();
    virtual std::string TakeFromBuffer(std::size_t count);
    // Receives once into the read buffer (useBuffer) or into destination; returns the byte
    // count, 0 when nothing came within timeoutMs or the peer closed.
    virtual int ReadFromSocket(bool raiseIfClosed, int timeoutMs, bool useBuffer,
                               std::vector<char> *destination = nullptr);
    // One line without its terminator (and, for the default LF, without one CR before it).
    // An empty text when nothing more came (see ReadLnTimedOut).
    virtual std::string ReadLine(const std::string &terminator = "\n",
                                 int timeoutMs = IdTimeoutInfinite);
    virtual void DiscardFromBuffer(std::size_t count);
    virtual void WriteText(const std::string &text);
    virtual void WriteLine(const std::string &text);

    // Copies count bytes, or everything until the peer closes, to stream at its position.
    // More than maxBytes raises EIdException "Reply body too large." with the first maxBytes
    // bytes written.
    void ReadToStream(base::TStream &stream, std::int64_t count, bool untilClose,
                      std::int64_t maxBytes = INT64_MAX);
    void WriteBytes(const void *bytes, std::int64_t count);

    bool Connected() { return IsConnected(); }
    bool ReadLnTimedOut() const { return readLnTimedOut_; }
    bool ClosedGracefully() const { return closedGracefully_; }
    const TIdBuffer &InputBuffer() const { return inputBuffer_; }
    TIdSocketHandle &Socket() { return socket_; }

    bool ASCIIFilter = false;
    int RecvBufferSize = 32768;
    int SendBufferSize = 32768;
    int ConnectTimeout;
    int ReadTimeout;
    // Milliseconds a whole exchange may take once begun (see BeginExchange).
    int RequestTimeout;
    // A line longer than this raises EIdException "Reply line too long.".
    std::size_t MaxLineLength = 65536;
    std::function<void(TIdTCPConnection &)> OnDisconnected;

    TIdConnectionIntercept *Intercept() const { return intercept_; }
    void SetIntercept(TIdConnectionIntercept *intercept) { intercept_ = intercept; }
    bool InterceptEnabled() const { return interceptEnabled_; }
    void SetInterceptEnabled(bool enabled);

    // Every wait from now on ends by RequestTimeout from now, failing with EIdSocketError
    // 10060 "Connection timed out." when it would go on past it; EndExchange lifts the bound.
    void BeginExchange();
    void EndExchange();
    // timeoutMs cut to what is left of the exchange (a negative one meaning ReadTimeout);
    // raises 10060 when nothing is left. An intercept's own waits (a TLS handshake) use it too.
    int WithinExchange(int timeoutMs) const;

protected:
    TIdSocketHandle socket_;
    TIdBuffer inputBuffer_;
    bool closedGracefully_ = false;
    bool readLnTimedOut_ = false;

private:
    std::vector<char> recvBuffer_;
    std::optional<std::chrono::steady_clock::time_point> exchangeDeadline_;
    TIdConnectionIntercept *intercept_ = nullptr;
    bool interceptEnabled_ = false;
};

} // namespace net
