#pragma once

#include "base/MemoryStream.h"
#include "net/ConnectionPool.h"
#include "net/HostLimiter.h"
#include "net/IdDateTime.h"
#include "net/IdHeaderInfo.h"
#include "net/IdHeaderList.h"
#include "net/IdTCPClient.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace net {

enum class TIdHTTPProtocolVersion { pv1_0, pv1_1 };

// Whether a reply's Connection header asks to close: the header is a list of options split
// by commas, and one of them is "close" in any case ("keep-alive, close" does, "x-close" does
// not). Every place that decides whether a connection outlives its reply asks this.
bool ConnectionAsksToClose(std::string_view value);

class TIdHTTP;
// Consulted before a redirect is followed or refused; may change the destination and Handled.
using TIdHTTPOnRedirectEvent =
    std::function<void(TIdHTTP &sender, std::string &dest, int numRedirect, bool &handled)>;

// A blocking HTTP/1.1 client for GETs: plain http, and https when a TIdSSLConnectionIntercept is
// assigned with SetIntercept (without one an https address raises EIdInterceptPropInvalid). Every
// status other than 2xx, and every redirect it does not follow, ends in EIdProtocolReplyError after
// the body has been read. StatusCode is set from the status line before anything else of the reply
// is read and keeps that value through every later failure of the same request.
class TIdHTTP : public TIdTCPClient {
public:
    TIdHTTP();
    explicit TIdHTTP(const NetworkContext &context);
    ~TIdHTTP() override;

    // The whole body as one 8-bit text; on failure the exception passes and the text is lost.
    std::string FetchText(const std::string &url);
    // Writes the body at the stream's position; on failure the stream keeps what arrived (the
    // whole page of an error or redirect reply).
    void FetchToStream(const std::string &url, base::TStream &stream);

    // Whether a redirect to location is handled; starts from HandleRedirects, asks OnRedirect.
    virtual bool NotifyRedirect(std::string &location, int redirectCount);
    // Only "GET" is supported; source is the request body (none for a GET).
    virtual void PerformRequest(const std::string &method, const std::string &url,
                                base::TStream *source, base::TStream *response);

    int StatusCode() const { return statusCode_; }
    const std::string &StatusText() const { return statusText_; }
    TIdHeaderInfo &Request() { return request_; }
    TIdHeaderInfo &Reply() { return reply_; }
    // The header lines of the request being sent, or of the reply last received.
    const TIdHeaderList &HeaderLines() const { return headerLines_; }
    int RedirectCount() const { return redirectCount_; }
    // Whether the last reply's status line was HTTP/1.0.
    bool ResponseIsVersion10() const { return responseIs10_; }

    TIdHTTPProtocolVersion ProtocolVersion = TIdHTTPProtocolVersion::pv1_1;
    int RedirectMaximum = 15;
    bool HandleRedirects = false;
    TIdHTTPOnRedirectEvent OnRedirect;
    // Limits against hostile servers; past them the request fails with EIdException.
    std::int64_t MaxBodySize = 16 * 1024 * 1024;
    std::size_t MaxHeaderLines = 1000;
    // False for a client that makes one request and goes: a reply that would keep the
    // connection open closes it instead of waiting for the server's close.
    bool KeepConnection = true;
    // True for a client that takes its connection from the context's pool of idle ones (when
    // it has one) and gives it back after a reply that leaves it fit for the next request.
    // An encrypted connection goes with its TLS session; a client of another trust store
    // never carries it on.
    bool ShareConnections = false;
    // True for a client whose caller decides by the status: only "HTTP/1.0" or "HTTP/1.1", a
    // blank and three digits (then a blank and a reason, or nothing) make a status line; any
    // other first line fails with EIdException and leaves StatusCode as it was.
    bool StrictStatusLine = false;

private:
    // What one exchange holds from its first request to its last redirect: its deadline and
    // its place with the host.
    class ExchangeScope;

    void SelectEndpoint(const std::string &url, std::string &target);
    bool Connect();
    bool SharesConnections() const;
    bool TakeSharedConnection();
    bool GiveSharedConnection();
    void SendAndReadStatusLine(const std::string &method, const std::string &target, bool reused);
    void SendRequest(const std::string &method, const std::string &target);
    void ReadStatusLine();
    void ReadHeaderBlock();
    void ReadReplyFields();
    bool ReplyHasBody() const;
    void ReadBody(base::TStream &stream);
    void ReadChunkedBody(base::TStream &stream);
    bool IsRedirectLike() const;
    bool ReplyLeavesConnectionOpen() const;
    bool ConnectionReusable();
    void DisposeConnection();

    TIdHeaderList headerLines_;
    int redirectCount_ = 0;
    int exchangeDepth_ = 0;
    std::shared_ptr<HostLimiter> hosts_;
    // The run's abandon, which ends a wait for a place with a host.
    std::stop_token abandon_;
    std::shared_ptr<ConnectionPool> connections_;
    TUtcOffsetSource utcOffset_;
    std::string endpointKey_;
    TIdHeaderInfo request_;
    TIdHeaderInfo reply_;
    int statusCode_ = 0;
    std::string statusText_;
    std::string tunnelHost_;
    int tunnelPort_ = 0;
    std::string tunnelVersion_;
    std::string hostHeader_;
    std::string protocolHeader_;
    bool responseIs10_ = false;
    bool replyHasLength_ = false;
    // The body of the last reply was read to the end its framing gives.
    bool bodyComplete_ = false;
};

} // namespace net
