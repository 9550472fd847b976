#include "net/Probes.h"

namespace net {

std::string WebProbes::CheckAvailability(const std::string &url, int port) {
    return net::CheckAvailability(url, port);
}

std::string WebProbes::GetLinkPopularity(const std::string &name) {
    return net::GetLinkPopularity(name);
}

std::string WebProbes::GetTrafficRank(const std::string &name) {
    return net::GetTrafficRank(name);
}

} // namespace net
