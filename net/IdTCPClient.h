#pragma once

#include "net/IdTCPConnection.h"

#include <functional>
#include <string>

namespace net {

enum class TSocksVersion { svNoSocks, svSocks4, svSocks4A, svSocks5 };

struct TSocksInfo {
    TSocksVersion Version = TSocksVersion::svNoSocks;
};

// The client end of a connection: resolves Host and connects to it at Port.
class TIdTCPClient : public TIdTCPConnection {
public:
    using TIdTCPConnection::TIdTCPConnection;

    virtual void NotifyConnected();
    // Raises on every failure and then leaves no socket open; EIdAlreadyConnected while a
    // socket is allocated.
    virtual void OpenConnection();

    std::string BoundIP;
    std::string Host;
    int Port = 0;
    TSocksInfo SocksInfo;
    bool UseNagle = true;
    std::function<void(TIdTCPClient &)> OnConnected;
};

} // namespace net
