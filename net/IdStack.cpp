#include "net/IdStack.h"

#include "base/AsciiCase.h"
#include "base/IntegerText.h"
#include "net/IdException.h"

#include <algorithm>
#include <array>

namespace net {
namespace {

struct ErrorText {
    int number;
    const char *text;
};

constexpr std::array<ErrorText, 38> kErrorTexts{{
    {10004, "Interrupted system call."},
    {10009, "Bad file number."},
    {10013, "Access denied."},
    {10014, "Bad address."},
    {10022, "Invalid argument."},
    {10024, "Too many open files."},
    {10035, "Operation would block. "},
    {10036, "Operation now in progress."},
    {10037, "Operation already in progress."},
    {10038, "Socket operation on non-socket."},
    {10039, "Destination address required."},
    {10040, "Message too long."},
    {10041, "Protocol wrong type for socket."},
    {10042, "Bad protocol option."},
    {10043, "Protocol not supported."},
    {10044, "Socket type not supported."},
    {10045, "Operation not supported on socket."},
    {10046, "Protocol family not supported."},
    {10047, "Address family not supported by protocol family."},
    {10048, "Address already in use."},
    {10049, "Cannot assign requested address."},
    {10050, "Network is down."},
    {10051, "Network is unreachable."},
    {10052, "Net dropped connection or reset."},
    {10053, "Software caused connection abort."},
    {10054, "Connection reset by peer."},
    {10055, "No buffer space available."},
    {10056, "Socket is already connected."},
    {10057, "Socket is not connected."},
    {10058, "Cannot send or receive after socket is closed."},
    {10059, "Too many references, cannot splice."},
    {10060, "Connection timed out."},
    {10061, "Connection refused."},
    {10062, "Too many levels of symbolic links."},
    {10063, "File name too long."},
    {10064, "Host is down."},
    {10065, "No route to host."},
    {10066, "Directory not empty"},
}};

// Far more names than a run asks for again; past it every answer is forgotten at once.
constexpr std::size_t kMostRememberedNames = 1024;

} // namespace

std::uint16_t TIdStack::WSHToNs(std::uint16_t value) const {
    return static_cast<std::uint16_t>((value >> 8) | (value << 8));
}

std::uint16_t TIdStack::WSNToHs(std::uint16_t value) const {
    return WSHToNs(value);
}

std::string TIdStack::HostToAddress(const std::string &name) {
    if (base::SameTextAscii(name, "LOCALHOST"))
        return "127.0.0.1";
    if (IsAddressLiteral(name))
        return name;
    if (auto address = Remembered(name))
        return *address;
    if (auto address = WSGetHostByName(name)) {
        Remember(name, *address);
        return *address;
    }
    FailWithSocketError(WSGetLastError());
}

void TIdStack::ResolveAhead(const std::string &name) {
    if (base::SameTextAscii(name, "LOCALHOST") || IsAddressLiteral(name) || Remembered(name))
        return;
    StartLookup(name);
}

std::optional<std::string> TIdStack::Remembered(const std::string &name) {
    std::lock_guard lock(resolvedMutex_);
    const auto found = resolved_.find(base::AsciiLower(name));
    if (found == resolved_.end())
        return std::nullopt;
    return found->second;
}

void TIdStack::Remember(const std::string &name, const std::string &address) {
    std::lock_guard lock(resolvedMutex_);
    if (resolved_.size() >= kMostRememberedNames)
        resolved_.clear();
    resolved_[base::AsciiLower(name)] = address;
}

TIdSocketAddress TIdStack::ConnectTarget(const std::string &host, int port) {
    return {HostToAddress(host), port};
}

bool TIdStack::IsAddressLiteral(const std::string &text) {
    std::string_view rest = text;
    for (int part = 0; part < 4; ++part) {
        std::string_view piece = rest;
        if (part < 3) {
            const auto dot = rest.find('.');
            if (dot == std::string_view::npos)
                return false;
            piece = rest.substr(0, dot);
            rest.remove_prefix(dot + 1);
        }
        const auto value = base::TryReadInteger(piece, base::IntegerForm::Decimal);
        if (!value || *value < 0 || *value > 255)
            return false;
    }
    return true;
}

bool TIdStack::CheckSocketResult(int result, std::initializer_list<int> ignored) {
    if (result != Id_SOCKET_ERROR)
        return false;
    const int number = WSGetLastError();
    if (std::find(ignored.begin(), ignored.end(), number) != ignored.end())
        return true;
    FailWithSocketError(number);
}

void TIdStack::FailWithSocketError(int number) {
    throw EIdSocketError(number, "Socket Error # " + std::to_string(number) + "\r\n" +
                                     SocketErrorText(number));
}

std::string TIdStack::SocketErrorText(int number) {
    for (const auto &entry : kErrorTexts)
        if (entry.number == number)
            return entry.text;
    return {};
}

} // namespace net
