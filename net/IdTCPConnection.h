#pragma once

#include "base/MemoryStream.h"
#include "net/IdBuffer.h"
#include "net/IdComponent.h"
#include "net/IdSocketHandle.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace net {

// Waits given in milliseconds; this value means "as long as the connection's own limit".
constexpr int IdTimeoutInfinite = -2;

// A hook for an encrypting layer; the program has none.
class TIdConnectionIntercept {
public:
    virtual ~TIdConnectionIntercept() = default;
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
    // A line longer than this raises EIdException "Reply line too long.".
    std::size_t MaxLineLength = 65536;
    std::function<void(TIdTCPConnection &)> OnDisconnected;

    TIdConnectionIntercept *Intercept() const { return intercept_; }
    void SetIntercept(TIdConnectionIntercept *intercept) { intercept_ = intercept; }
    bool InterceptEnabled() const { return interceptEnabled_; }
    void SetInterceptEnabled(bool enabled);

protected:
    TIdSocketHandle socket_;
    TIdBuffer inputBuffer_;
    bool closedGracefully_ = false;
    bool readLnTimedOut_ = false;

private:
    std::vector<char> recvBuffer_;
    TIdConnectionIntercept *intercept_ = nullptr;
    bool interceptEnabled_ = false;
};

} // namespace net
