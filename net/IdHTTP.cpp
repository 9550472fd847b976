#include "net/IdHTTP.h"

#include "base/AsciiCase.h"
#include "base/IntegerText.h"
#include "base/Trim.h"
#include "net/IdDateTime.h"
#include "net/IdException.h"
#include "net/IdSSLConnectionIntercept.h"
#include "net/IdStack.h"
#include "net/IdURI.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <optional>
#include <utility>

namespace net {
namespace {

constexpr int kDefaultPort = 80;
constexpr int kDefaultSecurePort = 443;

std::string Base64(const std::string &text) {
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string encoded;
    for (std::size_t i = 0; i < text.size(); i += 3) {
        const std::size_t count = std::min<std::size_t>(3, text.size() - i);
        std::uint32_t group = 0;
        for (std::size_t k = 0; k < 3; ++k)
            group = (group << 8) | (k < count ? static_cast<unsigned char>(text[i + k]) : 0u);
        for (std::size_t k = 0; k < 4; ++k)
            encoded += k <= count ? kDigits[(group >> (18 - 6 * k)) & 0x3F] : '=';
    }
    return encoded;
}

bool HoldsLineBreakOrNul(const std::string &url) {
    return url.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

// A chunk size: hexadecimal digits up to the first blank, tab or ";". A line that is not one
// reads as 0; a size too large to hold reads as the largest value.
std::uint64_t ChunkSize(const std::string &line) {
    const std::string digits = line.substr(0, line.find_first_of(" \t;"));
    if (digits.empty())
        return 0;
    std::uint64_t size = 0;
    for (char c : digits) {
        const int digit = base::HexDigitValue(c);
        if (digit < 0)
            return 0;
        if (size > (std::numeric_limits<std::uint64_t>::max() >> 4))
            return std::numeric_limits<std::uint64_t>::max();
        size = (size << 4) | static_cast<std::uint64_t>(digit);
    }
    return size;
}

// Whether a failure says the peer had closed (or reset) the connection.
bool PeerClosed(const EIdException &failure) {
    if (dynamic_cast<const EIdConnClosedGracefully *>(&failure) != nullptr)
        return true;
    const auto *socketError = dynamic_cast<const EIdSocketError *>(&failure);
    if (socketError == nullptr)
        return false;
    switch (socketError->SocketErrorCode()) {
    case 10052: // network reset
    case 10053: // connection aborted
    case 10054: // connection reset
    case 10057: // not connected
    case Id_WSAESHUTDOWN:
        return true;
    default:
        return false;
    }
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// "HTTP/1.x NNN", then nothing or a blank and the reason.
bool IsHttp1StatusLine(const std::string &line) {
    constexpr std::size_t kCodeEnd = 12;
    return (line.starts_with("HTTP/1.0 ") || line.starts_with("HTTP/1.1 ")) &&
           line.size() >= kCodeEnd && IsDigit(line[9]) && IsDigit(line[10]) && IsDigit(line[11]) &&
           (line.size() == kCodeEnd || line[kCodeEnd] == ' ');
}

[[noreturn]] void FailBodyTooLarge() {
    throw EIdException("Reply body too large.");
}

} // namespace

bool ConnectionAsksToClose(std::string_view value) {
    while (!value.empty()) {
        const std::size_t comma = value.find(',');
        if (base::SameTextAscii(base::TrimControls(value.substr(0, comma)), "close"))
            return true;
        value = comma == std::string_view::npos ? std::string_view() : value.substr(comma + 1);
    }
    return false;
}

TIdHTTP::TIdHTTP() : TIdHTTP(NetworkContext()) {}

class TIdHTTP::ExchangeScope {
public:
    explicit ExchangeScope(TIdHTTP &client)
        : client_(client), outermost_(client.exchangeDepth_++ == 0) {
        if (outermost_)
            client_.BeginExchange();
    }
    ~ExchangeScope() {
        if (--client_.exchangeDepth_ == 0)
            client_.EndExchange();
    }
    ExchangeScope(const ExchangeScope &) = delete;
    ExchangeScope &operator=(const ExchangeScope &) = delete;

    // Takes the exchange's place with host, once: a redirect keeps the first one.
    void TakePlaceWith(const std::string &host) {
        if (!outermost_ || !client_.hosts_)
            return;
        slot_ = client_.hosts_->Acquire(
            host, client_.abandon_,
            std::chrono::steady_clock::now() +
                std::chrono::milliseconds(std::max(client_.RequestTimeout, 0)));
        if (!slot_)
            TIdStack::FailWithSocketError(client_.abandon_.stop_requested() ? Id_WSAEINTR
                                                                            : Id_WSAETIMEDOUT);
    }

private:
    TIdHTTP &client_;
    const bool outermost_;
    HostLimiter::Slot slot_;
};

TIdHTTP::TIdHTTP(const NetworkContext &context)
    : TIdTCPClient(context), hosts_(context.Hosts), abandon_(context.Sockets->InterruptToken()),
      utcOffset_(context.UtcOffset), request_(this), reply_(this) {
    Port = kDefaultPort;
    // A pool of another layer holds sockets this client's stack does not know.
    if (context.Connections && context.Connections->Serves(*context.Sockets))
        connections_ = context.Connections;
}

TIdHTTP::~TIdHTTP() = default;

std::string TIdHTTP::FetchText(const std::string &url) {
    base::TStringStream stream;
    FetchToStream(url, stream);
    return stream.DataString();
}

void TIdHTTP::FetchToStream(const std::string &url, base::TStream &stream) {
    PerformRequest("GET", url, nullptr, &stream);
}

bool TIdHTTP::NotifyRedirect(std::string &location, int redirectCount) {
    bool handled = HandleRedirects;
    if (OnRedirect)
        OnRedirect(*this, location, redirectCount, handled);
    return handled;
}

void TIdHTTP::PerformRequest(const std::string &method, const std::string &url,
                             base::TStream * /*source*/, base::TStream *response) {
    ++redirectCount_;
    if (method != "GET")
        throw EIdException("Method not supported.");
    ExchangeScope exchange(*this);
    std::string target;
    SelectEndpoint(url, target);
    exchange.TakePlaceWith(Host);
    const bool reused = Connect();
    SendAndReadStatusLine(method, target, reused);
    ReadHeaderBlock();
    ReadReplyFields();

    const bool redirectLike = IsRedirectLike();
    if (response != nullptr)
        ReadBody(*response);
    if (!redirectLike) {
        if (statusCode_ / 100 != 2) {
            // An error page read in full leaves a kept-alive connection as fit as a 200 does
            // (an RDAP server's "not found" is the answer most asked for).
            if (!GiveSharedConnection() && InterceptEnabled())
                CloseConnection();
            throw EIdProtocolReplyError(statusCode_, statusText_);
        }
    } else if (HandleRedirects && redirectCount_ < RedirectMaximum) {
        if (response != nullptr)
            response->SetPosition(0);
        std::string location = reply_.Location;
        if (NotifyRedirect(location, redirectCount_)) {
            if (!ReplyLeavesConnectionOpen())
                CloseConnection();
            PerformRequest(method, location, nullptr, response);
        }
    } else {
        std::string location = reply_.Location;
        if (!NotifyRedirect(location, redirectCount_))
            throw EIdProtocolReplyError(statusCode_, statusText_);
        reply_.Location = location;
    }
    DisposeConnection();
    redirectCount_ = 0;
}

void TIdHTTP::SelectEndpoint(const std::string &url, std::string &target) {
    // A line break or NUL would let a name write headers of its own into the request.
    if (HoldsLineBreakOrNul(url))
        throw EIdException("Invalid character in URL.");
    const TIdURIParts parts = TIdURI::SplitUrl(url);
    target = parts.Path + parts.Document;
    const bool secure = base::SameTextAscii(parts.Protocol, "HTTPS");
    auto *tls = dynamic_cast<TIdSSLConnectionIntercept *>(Intercept());
    if (secure && tls == nullptr)
        throw EIdInterceptPropInvalid();
    const int urlPort = base::StrToIntDef(parts.Port, -1);
    const int port = urlPort != -1 ? urlPort : (secure ? kDefaultSecurePort : kDefaultPort);
    // A connection never changes between plain and encrypted while it is open.
    if (tls != nullptr && secure != InterceptEnabled() && IsConnected())
        CloseConnection();
    if (tls != nullptr)
        SetInterceptEnabled(secure);
    if (!parts.Host.empty()) {
        if ((!base::SameTextAscii(parts.Host, Host) || port != Port) && IsConnected())
            CloseConnection();
        Host = parts.Host;
        hostHeader_ = parts.Host;
        if (!parts.Protocol.empty())
            protocolHeader_ = parts.Protocol;
    } else {
        hostHeader_ = Host;
    }
    Port = port;
    endpointKey_ = ConnectionPool::KeyFor(secure ? "https" : "http", Host, Port);
}

// The connection of the client's last exchange when it is still open, else an idle one of the
// pool, else a new one; true when it came from the pool.
bool TIdHTTP::Connect() {
    CheckClosed(false, false);
    if (IsConnected())
        return false;
    if (TakeSharedConnection())
        return true;
    OpenConnection();
    return false;
}

bool TIdHTTP::SharesConnections() const {
    return ShareConnections && connections_;
}

// An encrypted connection comes with its TLS session, which this client's intercept takes on;
// one it cannot take on (another trust store) is closed.
bool TIdHTTP::TakeSharedConnection() {
    if (!SharesConnections())
        return false;
    ResetState();
    std::unique_ptr<TIdInterceptState> state;
    if (!connections_->Take(endpointKey_, socket_, state))
        return false;
    const bool carriesOn =
        InterceptEnabled() ? state && Intercept()->Adopt(*this, std::move(state)) : !state;
    if (!carriesOn) {
        socket_.ReleaseHandle();
        return false;
    }
    socket_.SetSendTimeout(WithinExchange(ReadTimeout));
    return true;
}

// Gives the connection back to the pool when the reply left it fit for another request; false
// when it stays with this client.
bool TIdHTTP::GiveSharedConnection() {
    if (!SharesConnections() || !ConnectionReusable())
        return false;
    std::unique_ptr<TIdInterceptState> state;
    if (InterceptEnabled()) {
        state = Intercept()->Detach(*this);
        if (!state)
            return false;
    }
    connections_->Give(endpointKey_, socket_, std::move(state));
    return true;
}

void TIdHTTP::SendAndReadStatusLine(const std::string &method, const std::string &target,
                                    bool reused) {
    try {
        SendRequest(method, target);
        ReadStatusLine();
    } catch (const EIdException &failure) {
        // The server may close an idle connection just as the request goes out. Nothing of a
        // reply came, and a GET may be asked again: it goes once more on a new connection.
        if (!reused || !InputBuffer().Empty() || !PeerClosed(failure))
            throw;
        CloseConnection();
        OpenConnection();
        SendRequest(method, target);
        ReadStatusLine();
    }
}

void TIdHTTP::SendRequest(const std::string &method, const std::string &target) {
    headerLines_.Clear();
    request_.ContentLength = 0;
    auto addIfSet = [this](const char *name, const std::string &value) {
        if (!value.empty())
            headerLines_.Add(std::string(name) + ": " + value);
    };
    addIfSet("Accept", request_.Accept);
    addIfSet("Accept-Charset", request_.AcceptCharSet);
    addIfSet("Accept-Encoding", request_.AcceptEncoding);
    addIfSet("Accept-Language", request_.AcceptLanguage);
    addIfSet("From", request_.From);
    addIfSet("Referer", request_.Referer);
    addIfSet("User-Agent", request_.UserAgent);
    addIfSet("Connection", request_.Connection);
    addIfSet("Content-Version", request_.ContentVersion);
    addIfSet("Content-Encoding", request_.ContentEncoding);
    addIfSet("Content-Language", request_.ContentLanguage);
    addIfSet("Content-Type", request_.ContentType);
    if (request_.ContentLength != 0)
        addIfSet("Content-Length", std::to_string(request_.ContentLength));
    if (request_.ContentRangeStart != 0 || request_.ContentRangeEnd != 0) {
        std::string range = "bytes=" + std::to_string(request_.ContentRangeStart) + "-";
        if (request_.ContentRangeEnd != 0)
            range += std::to_string(request_.ContentRangeEnd);
        addIfSet("Range", range);
    }
    if (!request_.Username.empty())
        addIfSet("Authorization", "Basic " + Base64(request_.Username + ":" + request_.Password));
    if (!request_.ProxyServer.empty() && !request_.ProxyUsername.empty())
        addIfSet("Proxy-Authorization",
                 "Basic " + Base64(request_.ProxyUsername + ":" + request_.ProxyPassword));
    for (const auto &line : request_.ExtraHeaders.Lines())
        headerLines_.Add(line);

    const char *version = ProtocolVersion == TIdHTTPProtocolVersion::pv1_0 ? "1.0" : "1.1";
    // Each line is a write of its own; corking lets them leave as one segment instead of
    // waiting, line by line, for the peer's acknowledgement.
    Stack().WSSetCork(socket_.Handle(), true);
    WriteLine(method + " " + target + " HTTP/" + version);
    WriteLine("Host: " + hostHeader_);
    for (const auto &line : headerLines_.Lines())
        WriteLine(line);
    WriteLine("");
    Stack().WSSetCork(socket_.Handle(), false);
}

void TIdHTTP::ReadStatusLine() {
    std::string line = ReadLine();
    if (StrictStatusLine && !IsHttp1StatusLine(line))
        throw EIdException("The reply does not start with an HTTP/1.x status line.");
    statusText_ = std::move(line);
    responseIs10_ = statusText_.size() >= 8 && base::SameTextAscii(statusText_.substr(5, 3), "1.0");
    const auto blank = statusText_.find(' ');
    statusText_ = blank == std::string::npos ? std::string() : statusText_.substr(blank + 1);
    const std::string code = statusText_.substr(0, statusText_.find(' '));
    statusCode_ = base::StrToInt(code, base::IntegerForm::Decimal);
}

void TIdHTTP::ReadHeaderBlock() {
    headerLines_.Clear();
    for (;;) {
        std::string line = ReadLine();
        if (line.empty())
            return;
        if (headerLines_.Count() >= MaxHeaderLines)
            throw EIdException("Too many header lines.");
        headerLines_.Add(std::move(line));
    }
}

void TIdHTTP::ReadReplyFields() {
    reply_.ExtraHeaders.Clear();
    auto take = [this](const char *name) {
        std::string value = headerLines_.Values(name);
        headerLines_.Remove(name);
        return value;
    };
    reply_.Location = take("Location");
    reply_.Server = take("Server");
    reply_.Connection = take("Connection");
    reply_.ContentVersion = take("Content-Version");
    reply_.WWWAuthenticate = take("WWW-Authenticate");
    reply_.ContentEncoding = take("Content-Encoding");
    reply_.ContentLanguage = take("Content-Language");
    reply_.ContentType = take("Content-Type");

    bodyComplete_ = false;
    const std::string length = take("Content-Length");
    const auto lengthValue = base::TryReadInteger(length, base::IntegerForm::Decimal);
    reply_.ContentLength = lengthValue.value_or(0);
    // A length that is missing, unreadable or negative leaves the body to other framing.
    replyHasLength_ = lengthValue.has_value() && *lengthValue >= 0;
    const std::string second = headerLines_.Values("Content-Length");
    if (replyHasLength_ && !second.empty() &&
        base::TryReadInteger(second, base::IntegerForm::Decimal) != lengthValue)
        throw EIdException("Conflicting Content-Length values.");

    std::string range = take("Content-Range");
    reply_.ContentRangeStart = 0;
    reply_.ContentRangeEnd = 0;
    if (!range.empty()) {
        Fetch(range, " ");
        reply_.ContentRangeStart = static_cast<std::uint32_t>(base::StrToInt(Fetch(range, "-")));
        reply_.ContentRangeEnd = static_cast<std::uint32_t>(base::StrToInt(Fetch(range, "/")));
    }
    // Asked even when no date came: a machine that cannot tell its offset fails every reply.
    const int offset = UtcOffsetMinutes(utcOffset_);
    const std::string date = take("Date");
    reply_.Date = DecodeInternetDate(date, offset);
    const std::string lastModified = take("Last-Modified");
    reply_.LastModified = DecodeInternetDate(lastModified, offset);
    const std::string expires = take("Expires");
    reply_.Expires = DecodeInternetDate(expires, offset);
    reply_.ProxyAuthenticate = take("Proxy-Authenticate");
    reply_.ExtraHeaders.Assign(headerLines_);
}

bool TIdHTTP::ReplyHasBody() const {
    return statusCode_ / 100 != 1 && statusCode_ != 204 && statusCode_ != 304;
}

void TIdHTTP::ReadBody(base::TStream &stream) {
    // After a followed redirect rewound the stream, an empty body must not leave the redirect
    // page's bytes behind as the text of the new page.
    if (stream.Size() > stream.Position())
        stream.SetSize(stream.Position());
    if (!ReplyHasBody()) {
        bodyComplete_ = true;
        return;
    }
    const std::string coding = base::AsciiLower(reply_.ExtraHeaders.Values("Transfer-Encoding"));
    if (replyHasLength_) {
        if (reply_.ContentLength > MaxBodySize)
            FailBodyTooLarge();
        if (reply_.ContentLength > 0)
            ReadToStream(stream, reply_.ContentLength, false);
        // Two framings at once leave the end of the reply in doubt.
        bodyComplete_ = coding.empty();
        return;
    }
    if (coding.find("chunked") != std::string::npos) {
        ReadChunkedBody(stream);
        bodyComplete_ = true;
        return;
    }
    ReadToStream(stream, -1, true, MaxBodySize);
}

void TIdHTTP::ReadChunkedBody(base::TStream &stream) {
    NotifyStatus(TIdStatus::hsStatusText, "Chunk Started");
    std::int64_t left = MaxBodySize;
    std::uint64_t size = ChunkSize(ReadLine());
    while (size > 0) {
        if (size > static_cast<std::uint64_t>(left))
            FailBodyTooLarge();
        ReadToStream(stream, static_cast<std::int64_t>(size), false);
        left -= static_cast<std::int64_t>(size);
        ReadLine();
        size = ChunkSize(ReadLine());
    }
    ReadLine();
}

bool TIdHTTP::IsRedirectLike() const {
    return (statusCode_ / 100 == 3 && statusCode_ != 304) || !reply_.Location.empty();
}

void TIdHTTP::DisposeConnection() {
    if (ProtocolVersion == TIdHTTPProtocolVersion::pv1_0 || responseIs10_) {
        CloseConnection();
        return;
    }
    if (ConnectionAsksToClose(reply_.Connection) && IsConnected()) {
        CloseConnection();
        return;
    }
    if (GiveSharedConnection())
        return;
    if (!KeepConnection) {
        CloseConnection();
        return;
    }
    PollForClose(false);
}

// Whether the last reply leaves the connection fit for the next request: HTTP/1.1 on both
// sides, no close asked for, and its body read to the end its framing gives.
bool TIdHTTP::ReplyLeavesConnectionOpen() const {
    return ProtocolVersion == TIdHTTPProtocolVersion::pv1_1 && !responseIs10_ && bodyComplete_ &&
           !ConnectionAsksToClose(reply_.Connection);
}

// Bytes beyond the reply are not an answer to any request of ours.
bool TIdHTTP::ConnectionReusable() {
    return ReplyLeavesConnectionOpen() && inputBuffer_.Empty() && IsConnected();
}

} // namespace net
