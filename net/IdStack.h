#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

// The socket layer: the platform's socket calls behind one abstract class.
namespace net {

using TIdStackSocketHandle = int;
constexpr TIdStackSocketHandle Id_INVALID_SOCKET = -1;
constexpr int Id_SOCKET_ERROR = -1;

// Windows Sockets error numbers that the layer itself produces or looks for.
constexpr int Id_WSAEINTR = 10004;
constexpr int Id_WSAEADDRINUSE = 10048;
constexpr int Id_WSAEADDRNOTAVAIL = 10049;
constexpr int Id_WSAESHUTDOWN = 10058;
constexpr int Id_WSAETIMEDOUT = 10060;
constexpr int Id_WSAECONNREFUSED = 10061;
constexpr int Id_WSAHOST_NOT_FOUND = 11001;
constexpr int Id_WSATRY_AGAIN = 11002;

// An address and port as the platform reports them.
struct TIdSocketAddress {
    std::string IP;
    int Port = 0;
};

class TIdStack {
public:
    virtual ~TIdStack() = default;

    // Platform calls. Each failing call answers Id_SOCKET_ERROR (or Id_INVALID_SOCKET) and
    // leaves its error number, as a Windows Sockets number, for WSGetLastError.
    virtual TIdStackSocketHandle WSSocket() = 0; // an IPv4 stream socket
    virtual int WSBind(TIdStackSocketHandle socket, const std::string &ip, int port) = 0;
    // Waits at most timeoutMs (negative: as long as the platform does); 10060 when it gives up.
    virtual int WSConnect(TIdStackSocketHandle socket, const std::string &ip, int port,
                          int timeoutMs) = 0;
    // 1 when readable (data, a close, or an error to collect), 0 at the time-out, -1 on failure.
    // A negative timeoutMs waits without limit.
    virtual int WSSelectRead(TIdStackSocketHandle socket, int timeoutMs) = 0;
    virtual int WSRecv(TIdStackSocketHandle socket, void *buffer, int length) = 0;
    // Never raises SIGPIPE; a send that cannot go out within the send time-out fails with 10060.
    virtual int WSSend(TIdStackSocketHandle socket, const void *buffer, int length) = 0;
    virtual int WSSetSendTimeout(TIdStackSocketHandle socket, int timeoutMs) = 0;
    // Holds back partial segments while corked, so that many small writes leave as few
    // segments; uncorking sends what is held.
    virtual int WSSetCork(TIdStackSocketHandle, bool) { return 0; }
    // Switches the TCP no-delay option on.
    virtual int WSSetNoDelay(TIdStackSocketHandle) { return 0; }
    virtual int WSShutdown(TIdStackSocketHandle socket, int how) = 0;
    virtual int WSCloseSocket(TIdStackSocketHandle socket) = 0;
    virtual int WSGetSockName(TIdStackSocketHandle socket, TIdSocketAddress &address) = 0;
    virtual int WSGetPeerName(TIdStackSocketHandle socket, TIdSocketAddress &address) = 0;
    // The first IPv4 address of name as dotted text; nothing when the name does not resolve.
    virtual std::optional<std::string> WSGetHostByName(const std::string &name) = 0;
    virtual int WSGetLastError() = 0;

    // Ends every wait of this layer at once and makes every later call fail with 10004, so
    // that an abandoned run's exchanges end now. A layer without waits of its own ignores it.
    virtual void Interrupt() {}
    // The longest a name lookup may take (milliseconds); past it the lookup fails with 11002.
    virtual void SetResolveTimeout(int) {}
    // Starts looking name up without waiting, when a lookup would be needed: a later
    // HostToAddress of it takes that answer instead of asking again.
    void ResolveAhead(const std::string &name);

    std::uint16_t WSHToNs(std::uint16_t value) const;
    std::uint16_t WSNToHs(std::uint16_t value) const;

    // "localhost" and address literals without asking the platform; a name this layer has
    // resolved before from what it answered then; raises EIdSocketError with the platform's
    // error number when the name does not resolve.
    std::string HostToAddress(const std::string &name);
    // Where a connection to host:port really goes: the resolved address and the same port
    // unless the layer redirects it. Raises as HostToAddress does.
    virtual TIdSocketAddress ConnectTarget(const std::string &host, int port);
    static bool IsAddressLiteral(const std::string &text);

    // False for a result other than Id_SOCKET_ERROR; true for an error number in ignored;
    // raises EIdSocketError for any other.
    bool CheckSocketResult(int result, std::initializer_list<int> ignored = {});
    [[noreturn]] static void FailWithSocketError(int number);
    static std::string SocketErrorText(int number);

protected:
    // Starts a lookup whose answer WSGetHostByName(name) takes; a layer that cannot look ahead
    // does nothing.
    virtual void StartLookup(const std::string &) {}

private:
    std::optional<std::string> Remembered(const std::string &name);
    void Remember(const std::string &name, const std::string &address);

    // The names resolved so far: every name of a run asks for the same few service hosts, and
    // a lookup costs a round trip. Lives as long as the layer, so as long as a run at most.
    std::mutex resolvedMutex_;
    std::unordered_map<std::string, std::string> resolved_;
};

// Makes a socket layer; an empty factory stands for the platform's own.
using TIdStackFactory = std::function<std::unique_ptr<TIdStack>()>;

} // namespace net
