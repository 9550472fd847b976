#include "net/IdStackPosix.h"

#include "base/AsciiCase.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>

namespace net {
namespace {

struct ErrnoNumber {
    int error;
    int number;
};

const std::array<ErrnoNumber, 41> kErrnoNumbers{{
    {EINTR, 10004},        {EBADF, 10009},           {EACCES, 10013},
    {EPERM, 10013},        {EFAULT, 10014},          {EINVAL, 10022},
    {EMFILE, 10024},       {ENFILE, 10024},          {EWOULDBLOCK, 10035},
    {EINPROGRESS, 10036},  {EALREADY, 10037},        {ENOTSOCK, 10038},
    {EDESTADDRREQ, 10039}, {EMSGSIZE, 10040},        {EPROTOTYPE, 10041},
    {ENOPROTOOPT, 10042},  {EPROTONOSUPPORT, 10043}, {ESOCKTNOSUPPORT, 10044},
    {EOPNOTSUPP, 10045},   {EPFNOSUPPORT, 10046},    {EAFNOSUPPORT, 10047},
    {EADDRINUSE, 10048},   {EADDRNOTAVAIL, 10049},   {ENETDOWN, 10050},
    {ENETUNREACH, 10051},  {ENETRESET, 10052},       {ECONNABORTED, 10053},
    {ECONNRESET, 10054},   {ENOBUFS, 10055},         {ENOMEM, 10055},
    {EISCONN, 10056},      {ENOTCONN, 10057},        {ESHUTDOWN, 10058},
    {EPIPE, 10058},        {ETOOMANYREFS, 10059},    {ETIMEDOUT, 10060},
    {ECONNREFUSED, 10061}, {ELOOP, 10062},           {ENAMETOOLONG, 10063},
    {EHOSTDOWN, 10064},    {EHOSTUNREACH, 10065},
}};

constexpr int kWSAENOTEMPTY = 10066;

bool MakeAddress(const std::string &ip, int port, sockaddr_in &address) {
    if (port < 0 || port > 65535)
        return false;
    std::memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (ip.empty()) {
        address.sin_addr.s_addr = htonl(INADDR_ANY);
        return true;
    }
    return inet_pton(AF_INET, ip.c_str(), &address.sin_addr) == 1;
}

void ReadAddress(const sockaddr_in &raw, TIdSocketAddress &address) {
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &raw.sin_addr, text, sizeof text);
    address.IP = text;
    address.Port = ntohs(raw.sin_port);
}

int PlatformLookup(const std::string &name, std::string &address) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *answer = nullptr;
    const int result = getaddrinfo(name.c_str(), nullptr, &hints, &answer);
    if (result != 0)
        return result;
    TIdSocketAddress found;
    ReadAddress(*reinterpret_cast<const sockaddr_in *>(answer->ai_addr), found);
    freeaddrinfo(answer);
    address = found.IP;
    return 0;
}

// Lookups started ahead that wait for their use at once.
constexpr std::size_t kMostLookupsAhead = 64;

bool SetBlocking(int socket, bool blocking) {
    const int flags = fcntl(socket, F_GETFL);
    if (flags < 0)
        return false;
    const int wanted = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
    return fcntl(socket, F_SETFL, wanted) == 0;
}

} // namespace

thread_local int TIdStackPosix::lastError_ = 0;

TIdStackPosix::TIdStackPosix(NameLookup lookup)
    : wakeFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      wake_(stop_.get_token(), [this] { WakePolls(); }),
      lookups_(lookup ? std::move(lookup) : NameLookup(PlatformLookup), stop_.get_token()) {}

TIdStackPosix::~TIdStackPosix() {
    if (wakeFd_ >= 0)
        ::close(wakeFd_);
}

void TIdStackPosix::Interrupt() {
    stop_.request_stop();
}

void TIdStackPosix::WakePolls() const {
    const std::uint64_t one = 1;
    if (wakeFd_ >= 0 && ::write(wakeFd_, &one, sizeof one) < 0) {
        // The counter is already far from zero: every poll sees it readable anyway.
    }
}

int TIdStackPosix::PollFor(int socket, short events, int timeoutMs) {
    pollfd entries[2] = {{socket, events, 0}, {wakeFd_, POLLIN, 0}};
    for (;;) {
        if (Interrupted()) {
            errno = EINTR;
            return -1;
        }
        const int ready = poll(entries, wakeFd_ >= 0 ? 2 : 1, timeoutMs < 0 ? -1 : timeoutMs);
        if (ready > 0 && entries[1].revents != 0) {
            errno = EINTR;
            return -1;
        }
        if (ready >= 0 || errno != EINTR)
            return ready;
    }
}

int TIdStackPosix::MapErrno(int error) {
    if (error == ENOTEMPTY)
        return kWSAENOTEMPTY;
    for (const auto &entry : kErrnoNumbers)
        if (entry.error == error)
            return entry.number;
    return error;
}

int TIdStackPosix::Fail(int windowsSocketsNumber) {
    lastError_ = windowsSocketsNumber;
    return Id_SOCKET_ERROR;
}

int TIdStackPosix::FailWithErrno() {
    return Fail(MapErrno(errno));
}

TIdStackSocketHandle TIdStackPosix::WSSocket() {
    if (Interrupted())
        return Fail(Id_WSAEINTR);
    const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket < 0)
        return FailWithErrno();
    // The port is picked at connect time, so many short connections do not use up the
    // ephemeral ports while earlier ones linger in TIME_WAIT.
    const int on = 1;
    setsockopt(socket, IPPROTO_IP, IP_BIND_ADDRESS_NO_PORT, &on, sizeof on);
    return socket;
}

int TIdStackPosix::WSBind(TIdStackSocketHandle socket, const std::string &ip, int port) {
    sockaddr_in address;
    if (!MakeAddress(ip, port, address))
        return Fail(Id_WSAEADDRNOTAVAIL);
    if (::bind(socket, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0)
        return FailWithErrno();
    return 0;
}

int TIdStackPosix::WSConnect(TIdStackSocketHandle socket, const std::string &ip, int port,
                             int timeoutMs) {
    sockaddr_in address;
    if (!MakeAddress(ip, port, address))
        return Fail(Id_WSAEADDRNOTAVAIL);
    if (!SetBlocking(socket, false))
        return FailWithErrno();
    if (::connect(socket, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        if (errno != EINPROGRESS)
            return FailWithErrno();
        const int ready = PollFor(socket, POLLOUT, timeoutMs);
        if (ready < 0)
            return FailWithErrno();
        if (ready == 0)
            return Fail(Id_WSAETIMEDOUT);
        int error = 0;
        socklen_t length = sizeof error;
        if (getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
            return FailWithErrno();
        if (error != 0)
            return Fail(MapErrno(error));
    }
    if (!SetBlocking(socket, true))
        return FailWithErrno();
    return 0;
}

int TIdStackPosix::WSSelectRead(TIdStackSocketHandle socket, int timeoutMs) {
    const int ready = PollFor(socket, POLLIN, timeoutMs);
    if (ready < 0)
        return FailWithErrno();
    return ready > 0 ? 1 : 0;
}

int TIdStackPosix::WSRecv(TIdStackSocketHandle socket, void *buffer, int length) {
    for (;;) {
        const auto received = ::recv(socket, buffer, static_cast<std::size_t>(length), 0);
        if (received >= 0)
            return static_cast<int>(received);
        if (errno != EINTR)
            return FailWithErrno();
    }
}

int TIdStackPosix::WSSend(TIdStackSocketHandle socket, const void *buffer, int length) {
    for (;;) {
        const auto sent = ::send(socket, buffer, static_cast<std::size_t>(length), MSG_NOSIGNAL);
        if (sent >= 0)
            return static_cast<int>(sent);
        if (errno == EINTR)
            continue;
        // With a send time-out set, a full send buffer that does not drain in time ends here.
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return Fail(Id_WSAETIMEDOUT);
        return FailWithErrno();
    }
}

int TIdStackPosix::WSSetSendTimeout(TIdStackSocketHandle socket, int timeoutMs) {
    timeval limit{};
    if (timeoutMs > 0) {
        limit.tv_sec = timeoutMs / 1000;
        limit.tv_usec = (timeoutMs % 1000) * 1000;
    }
    if (setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit) != 0)
        return FailWithErrno();
    return 0;
}

int TIdStackPosix::WSSetNoDelay(TIdStackSocketHandle socket) {
    const int on = 1;
    if (setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) != 0)
        return FailWithErrno();
    return 0;
}

int TIdStackPosix::WSSetCork(TIdStackSocketHandle socket, bool corked) {
    const int value = corked ? 1 : 0;
    if (setsockopt(socket, IPPROTO_TCP, TCP_CORK, &value, sizeof value) != 0)
        return FailWithErrno();
    return 0;
}

int TIdStackPosix::WSShutdown(TIdStackSocketHandle socket, int how) {
    if (::shutdown(socket, how) != 0)
        return FailWithErrno();
    return 0;
}

int TIdStackPosix::WSCloseSocket(TIdStackSocketHandle socket) {
    if (::close(socket) != 0)
        return FailWithErrno();
    return 0;
}

int TIdStackPosix::WSGetSockName(TIdStackSocketHandle socket, TIdSocketAddress &address) {
    sockaddr_in raw{};
    socklen_t length = sizeof raw;
    if (::getsockname(socket, reinterpret_cast<sockaddr *>(&raw), &length) != 0)
        return FailWithErrno();
    ReadAddress(raw, address);
    return 0;
}

int TIdStackPosix::WSGetPeerName(TIdStackSocketHandle socket, TIdSocketAddress &address) {
    sockaddr_in raw{};
    socklen_t length = sizeof raw;
    if (::getpeername(socket, reinterpret_cast<sockaddr *>(&raw), &length) != 0)
        return FailWithErrno();
    ReadAddress(raw, address);
    return 0;
}

std::optional<std::string> TIdStackPosix::WSGetHostByName(const std::string &name) {
    // The platform's lookup has no time-out of its own: it runs aside, and the wait for it is
    // bounded by the resolve time-out and woken by an interruption.
    if (Interrupted()) {
        Fail(Id_WSAEINTR);
        return std::nullopt;
    }
    const auto lookup = TakeOrStartLookup(name);
    if (!lookup) {
        Fail(Id_WSATRY_AGAIN);
        return std::nullopt;
    }
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(resolveTimeoutMs_.load());
    std::unique_lock lock(lookup->mutex);
    if (!lookup->done.wait_until(lock, stop_.get_token(), deadline,
                                 [&] { return lookup->finished; })) {
        Fail(Interrupted() ? Id_WSAEINTR : Id_WSATRY_AGAIN);
        return std::nullopt;
    }
    if (lookup->result != 0) {
        if (lookup->result == EAI_SYSTEM)
            Fail(MapErrno(lookup->error));
        else
            Fail(lookup->result == EAI_AGAIN ? Id_WSATRY_AGAIN : Id_WSAHOST_NOT_FOUND);
        return std::nullopt;
    }
    return lookup->address;
}

void TIdStackPosix::StartLookup(const std::string &name) {
    if (Interrupted())
        return;
    const std::string key = base::AsciiLower(name);
    std::lock_guard lock(aheadMutex_);
    if (ahead_.size() >= kMostLookupsAhead || ahead_.count(key))
        return;
    if (auto lookup = lookups_.Start(name))
        ahead_.emplace(key, std::move(lookup));
}

std::size_t TIdStackPosix::LookupsWaitingAhead() {
    std::lock_guard lock(aheadMutex_);
    return ahead_.size();
}

std::shared_ptr<PendingLookup> TIdStackPosix::TakeOrStartLookup(const std::string &name) {
    {
        std::lock_guard lock(aheadMutex_);
        if (const auto found = ahead_.find(base::AsciiLower(name)); found != ahead_.end()) {
            auto lookup = std::move(found->second);
            ahead_.erase(found);
            return lookup;
        }
    }
    return lookups_.Start(name);
}

} // namespace net
