#include "registry/RdapBootstrap.h"

#include "base/AsciiCase.h"
#include "platform/InputFile.h"
#include "registry/JsonDepth.h"

#include <nlohmann/json.hpp>

namespace registry {
namespace {

using Json = nlohmann::json;

// A bootstrap file is some hundred kilobytes; anything far larger is not one.
constexpr std::size_t kLargestFile = 8 * 1024 * 1024;
// The format nests four deep ({"services": [[["com"], ["https://..."]]]}).
constexpr int kDeepestNesting = 16;

// The built-in servers. com, net and org are the ones the program has always offered. biz,
// info, shop and xyz are taken from IANA's RDAP bootstrap file for DNS
// (https://data.iana.org/rdap/dns.json), the copy published 2021-05-11T21:00:02Z, the most
// recent one at hand. That copy has no entry for us, uk (co.uk), io or dev: those suffixes get
// the delegation check only, unless a bootstrap file of the user's names a server for them.
constexpr std::string_view kBuiltIn = R"({
  "description": "Nimbrel's built-in RDAP servers, in the IANA bootstrap format",
  "publication": "2021-05-11T21:00:02Z",
  "version": "1.0",
  "services": [
    [["com"], ["https://rdap.verisign.com/com/v1/"]],
    [["net"], ["https://rdap.verisign.com/net/v1/"]],
    [["org"], ["https://rdap.publicinterestregistry.org/rdap/"]],
    [["biz"], ["https://rdap.nic.biz/"]],
    [["info"], ["https://rdap.afilias.net/rdap/info/"]],
    [["shop"], ["https://rdap.gmoregistry.net/rdap/"]],
    [["xyz"], ["https://rdap.centralnic.com/xyz/"]]
  ]
})";

std::string Suffix(std::string text) {
    text = base::AsciiLower(text);
    while (!text.empty() && text.front() == '.')
        text.erase(0, 1);
    while (!text.empty() && text.back() == '.')
        text.pop_back();
    return text;
}

// The first https address of a service; plain http addresses are never used.
std::optional<std::string> SecureServer(const Json &urls) {
    for (const auto &url : urls) {
        if (!url.is_string())
            continue;
        std::string text = url.get<std::string>();
        if (base::AsciiLower(text.substr(0, 8)) != "https://")
            continue;
        // The scheme in one spelling, whatever case the file wrote it in.
        text.replace(0, 8, "https://");
        if (text.back() != '/')
            text += '/';
        return text;
    }
    return std::nullopt;
}

} // namespace

RdapBootstrap RdapBootstrap::BuiltIn() {
    RdapBootstrap bootstrap;
    bootstrap.Merge(kBuiltIn, "the built-in table");
    return bootstrap;
}

std::string_view RdapBootstrap::BuiltInText() {
    return kBuiltIn;
}

void RdapBootstrap::Merge(std::string_view json, const std::string &origin) {
    if (JsonNestingDepth(json) > kDeepestNesting)
        throw ERdapBootstrapError("The RDAP bootstrap file " + origin +
                                  " nests deeper than the bootstrap format.");
    const Json file = Json::parse(json, nullptr, false);
    if (file.is_discarded())
        throw ERdapBootstrapError("The RDAP bootstrap file " + origin + " is not JSON.");
    const auto services = file.is_object() ? file.find("services") : file.end();
    if (services == file.end() || !services->is_array())
        throw ERdapBootstrapError("The RDAP bootstrap file " + origin + " has no services list.");
    std::map<std::string, std::string> found;
    for (const auto &service : *services) {
        if (!service.is_array() || service.size() < 2 || !service[0].is_array() ||
            !service[1].is_array())
            throw ERdapBootstrapError("The RDAP bootstrap file " + origin +
                                      " holds a service that is not [[suffixes], [servers]].");
        const auto server = SecureServer(service[1]);
        if (!server)
            continue;
        for (const auto &entry : service[0])
            if (entry.is_string() && !Suffix(entry.get<std::string>()).empty())
                found[Suffix(entry.get<std::string>())] = *server;
    }
    for (auto &[suffix, server] : found)
        servers_[suffix] = std::move(server);
}

void RdapBootstrap::MergeFile(const std::string &path) {
    std::string text;
    try {
        // Read at the start of every registry run: a pipe there would hold each run until
        // something writes to it.
        text = platform::ReadWholeFile(path, kLargestFile, platform::FileKinds::RegularOnly);
    } catch (const platform::EFileTooLarge &) {
        throw ERdapBootstrapError("The RDAP bootstrap file " + path + " is too large.");
    } catch (const platform::EFileReadError &failure) {
        throw ERdapBootstrapError("RDAP bootstrap file: " + failure.Message() + ".");
    }
    Merge(text, path);
}

std::optional<std::string> RdapBootstrap::ServerFor(const std::string &name) const {
    const std::string wanted = Suffix(name);
    // Every suffix below the name itself, longest first.
    for (auto dot = wanted.find('.'); dot != std::string::npos; dot = wanted.find('.', dot + 1)) {
        const auto found = servers_.find(wanted.substr(dot + 1));
        if (found != servers_.end())
            return found->second;
    }
    return std::nullopt;
}

} // namespace registry
