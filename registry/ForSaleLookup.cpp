#include "registry/ForSaleLookup.h"

#include "registry/DnsAnswer.h"
#include "registry/DnsChannel.h"

namespace registry {
namespace {

std::optional<ForSaleSign> SignFrom(const DnsQueryResult &query) {
    if (query.status != DnsQueryStatus::Answered)
        return std::nullopt;
    try {
        const DnsAnswer answer = ReadDnsAnswer(query.message.data(), query.message.size());
        if (answer.responseCode != kDnsNoError)
            return std::nullopt;
        return ChooseForSaleSign(answer.texts);
    } catch (const EDnsFormatError &) {
        return std::nullopt;
    }
}

} // namespace

std::string ForSaleOwner(const std::string &name) {
    return "_for-sale." + name;
}

std::optional<ForSaleSign> LookUpForSale(const std::string &name, const DnsSettings &settings,
                                         const DnsBounds &bounds) {
    const std::optional<DnsChannelSettings> channelSettings = ChannelSettingsFor(settings);
    if (!channelSettings)
        return std::nullopt;
    std::optional<ForSaleSign> sign;
    try {
        DnsChannel channel(*channelSettings);
        channel.Query(ForSaleOwner(name), kDnsTypeTxt,
                      [&](const DnsQueryResult &query) { sign = SignFrom(query); });
        channel.Run(bounds.deadline, bounds.stop);
    } catch (const EDnsChannelError &) {
        return std::nullopt;
    }
    return sign;
}

} // namespace registry
