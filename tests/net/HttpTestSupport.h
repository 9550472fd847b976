#pragma once

#include "base/Exception.h"
#include "net/IdException.h"

#include <string>

// Names the class of the exception an action raises, most specific first, with its message.
namespace nettest {

struct Outcome {
    std::string kind = "none";
    std::string message;
};

template <typename Action> Outcome OutcomeOf(Action action) {
    try {
        action();
    } catch (const net::EIdProtocolReplyError &e) {
        return {"EIdProtocolReplyError", e.what()};
    } catch (const net::EIdConnClosedGracefully &e) {
        return {"EIdConnClosedGracefully", e.what()};
    } catch (const net::EIdSocketError &e) {
        return {"EIdSocketError " + std::to_string(e.SocketErrorCode()), e.what()};
    } catch (const net::EIdInterceptPropInvalid &e) {
        return {"EIdInterceptPropInvalid", e.what()};
    } catch (const net::EIdFailedToRetreiveTimeZoneInfo &e) {
        return {"EIdFailedToRetreiveTimeZoneInfo", e.what()};
    } catch (const net::EIdException &e) {
        return {"EIdException", e.what()};
    } catch (const base::EConvertError &e) {
        return {"EConvertError", e.what()};
    } catch (const base::Exception &e) {
        return {"Exception", e.what()};
    }
    return {};
}

inline const char *kDefaultRequest = "GET / HTTP/1.1\r\n"
                                     "Host: www.fastcar.com\r\n"
                                     "Accept: text/html, */*\r\n"
                                     "User-Agent: Mozilla/3.0 (compatible; Nimbrel)\r\n"
                                     "\r\n";

} // namespace nettest
