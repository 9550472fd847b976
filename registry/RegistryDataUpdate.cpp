#include "registry/RegistryDataUpdate.h"

#include "net/IdHTTP.h"
#include "net/IdURI.h"
#include "platform/AtomicFile.h"

#include <system_error>
#include <utility>

namespace registry {
namespace {

RegistryDataUpdate Refused(std::string why, const RegistryDataUpdate &soFar = {}) {
    RegistryDataUpdate update = soFar;
    update.outcome = UpdateOutcome::Refused;
    update.detail = std::move(why);
    return update;
}

bool IsHttps(const std::string &url) {
    return url.size() > 8 && url.compare(0, 8, "https://") == 0;
}

// The body at url, or why there is none. Every failure of the exchange is a reason, not an error
// of the program's: the data in use stays as it is.
std::string Fetch(const UpdateSettings &settings, std::string &why) {
    try {
        net::TIdSSLConnectionIntercept tls(settings.tls);
        net::TIdHTTP http(settings.network);
        http.ConnectTimeout = settings.network.ConnectTimeout;
        http.ReadTimeout = settings.network.ReadTimeout;
        http.MaxBodySize = kLargestRegistryData;
        http.KeepConnection = false;
        http.SetIntercept(&tls);
        return http.FetchText(settings.url);
    } catch (const net::EIdTLSVerifyError &failure) {
        why = "the server's certificate was not accepted (" + failure.Message() + ")";
    } catch (const net::EIdProtocolReplyError &failure) {
        why = "the server answered HTTP " + std::to_string(failure.StatusCode());
    } catch (const std::exception &failure) {
        why = failure.what();
    }
    return {};
}

} // namespace

RegistryDataUpdate UpdateRegistryData(const UpdateSettings &settings) {
    RegistryDataUpdate update;
    update.inUse = LoadRegistryData(settings.sources).bootstrap.Publication();
    if (!settings.sources.userFile)
        return Refused("there is no user data folder (neither XDG_DATA_HOME nor HOME is set)",
                       update);
    if (!IsHttps(settings.url))
        return Refused("only an https address is fetched, not " + settings.url, update);
    std::string why;
    const std::string text = Fetch(settings, why);
    if (!why.empty())
        return Refused(why, update);
    RdapBootstrap fetched;
    try {
        fetched = RdapBootstrap::Read(text, settings.url);
    } catch (const ERdapBootstrapError &failure) {
        return Refused(failure.Message(), update);
    }
    update.fetched = fetched.Publication();
    if (!update.fetched)
        return Refused("the file does not say when it was published", update);
    if (fetched.Size() == 0)
        return Refused("the file names no RDAP server reached over https", update);
    if (update.inUse && *update.fetched < *update.inUse)
        return Refused("the file was published " + PublicationDay(*update.fetched) +
                           ", before the data in use (" + PublicationDay(*update.inUse) + ")",
                       update);
    if (update.inUse && *update.fetched == *update.inUse) {
        update.outcome = UpdateOutcome::AlreadyCurrent;
        return update;
    }
    try {
        std::error_code ignored;
        std::filesystem::create_directories(settings.sources.userFile->parent_path(), ignored);
        platform::WriteFileAtomically(*settings.sources.userFile, text);
    } catch (const base::Exception &failure) {
        return Refused(failure.Message(), update);
    }
    update.outcome = UpdateOutcome::Replaced;
    update.detail = settings.sources.userFile->string();
    return update;
}

std::string UpdateReport(const RegistryDataUpdate &update) {
    const std::string fetched = update.fetched ? PublicationDay(*update.fetched) : "";
    switch (update.outcome) {
    case UpdateOutcome::Replaced:
        return "The registry data was updated to the file published " + fetched + " (" +
               update.detail + ").";
    case UpdateOutcome::AlreadyCurrent:
        return "The registry data is already current (" + fetched + ").";
    case UpdateOutcome::Refused:
        break;
    }
    std::string why = update.detail;
    // Messages of the exceptions end in a full stop of their own.
    while (!why.empty() && why.back() == '.')
        why.pop_back();
    return "The registry data was not updated: " + why + ".";
}

} // namespace registry
