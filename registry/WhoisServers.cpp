#include "registry/WhoisServers.h"

#include "platform/UserDataFolder.h"
#include "registry/JsonDepth.h"

#include "base/AsciiCase.h"
#include "base/DomainNameLimits.h"
#include "platform/InputFile.h"

#include <nlohmann/json.hpp>

#include <array>
#include <cstdlib>
#include <filesystem>

namespace registry {
namespace {

using Json = nlohmann::json;

constexpr std::size_t kLargestFile = 1024 * 1024;
constexpr int kDeepestNesting = 8;
constexpr std::size_t kMostEntries = 4096;
constexpr std::size_t kMostPhrases = 16;
constexpr std::size_t kLongestPhrase = 200;
constexpr std::size_t kLongestTemplate = 200;
constexpr std::string_view kNamePlace = "{name}";

struct BuiltInRow {
    std::string_view suffix;
    std::string_view host;
    std::string_view query;
    std::array<std::string_view, 2> notFound;
};

// The servers are the "WHOIS Server" of each suffix in the IANA root zone database
// (https://www.iana.org/domains/root/db/<suffix>.html), read 2026-09; none of these suffixes has
// an entry in IANA's RDAP bootstrap file for DNS of 2026-09-16.
//
// The query forms: DENIC answers a plain query with a short summary and takes "-T dn,ace" for
// the domain record by its ACE name (DENIC's own whois documentation); JPRS answers in Japanese
// unless the name ends in "/e", as its own reply's header says.
//
// The "no such name" phrases are facts collected by two maintained WHOIS parsers:
//   - weppos/whois-parser (MIT licence), lib/whois/parsers/whois.denic.de.rb ("Status: free"),
//     whois.eu.rb ("Status: AVAILABLE"), whois.nic.co.rb ("No Data Found", the .co and .us
//     registry's platform), base_shared2 ("Not found:", its older .us form), and the reply
//     recorded in its test replies for a free .io name ("NOT FOUND");
//   - flipbit/whois (MIT licence), Whois.Tests/Samples/whois.jprs.jp/jp/not_found.txt
//     ("No match!!");
//   - likexian/whois-parser (Apache-2.0 licence), error.go ("Status: AVAILABLE" for it, "No
//     information available about domain name" for pl).
// Read 2026-09; facts only, no text of theirs.
constexpr BuiltInRow kBuiltIn[] = {
    {"us", "whois.nic.us", "{name}", {"No Data Found", "Not found:"}},
    {"de", "whois.denic.de", "-T dn,ace {name}", {"Status: free", {}}},
    {"io", "whois.nic.io", "{name}", {"NOT FOUND", {}}},
    {"co", "whois.registry.co", "{name}", {"No Data Found", {}}},
    {"eu", "whois.eu", "{name}", {"Status: AVAILABLE", {}}},
    {"jp", "whois.jprs.jp", "{name}/e", {"No match!!", {}}},
    {"it", "whois.nic.it", "{name}", {"Status: AVAILABLE", {}}},
    {"pl", "whois.dns.pl", "{name}", {"No information available about domain name", {}}},
};

std::string Suffix(std::string_view text) {
    std::string suffix = base::AsciiLower(text);
    while (!suffix.empty() && suffix.front() == '.')
        suffix.erase(0, 1);
    while (!suffix.empty() && suffix.back() == '.')
        suffix.pop_back();
    return suffix;
}

bool IsNameCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.';
}

// Letters, digits, hyphens and dots only, with no empty label: a host name or a suffix.
bool IsPlainName(std::string_view name) {
    if (name.empty() || name.size() > base::kLongestDomainName || name.front() == '.' ||
        name.back() == '.')
        return false;
    for (std::size_t i = 0; i < name.size(); ++i)
        if (!IsNameCharacter(name[i]) || (name[i] == '.' && name[i + 1] == '.'))
            return false;
    return true;
}

bool IsPrintable(std::string_view text) {
    for (const char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return false;
    return true;
}

// The built-in phrases of the same host, so that an entry that only moves a suffix or
// changes the query keeps them.
std::vector<std::string> KnownPhrases(const std::string &host) {
    std::vector<std::string> list;
    for (const BuiltInRow &row : kBuiltIn)
        for (const std::string_view phrase : row.notFound)
            if (row.host == host && !phrase.empty() && list.size() < kMostPhrases)
                list.emplace_back(phrase);
    return list;
}

class EntryReader {
public:
    explicit EntryReader(const std::string &origin) : origin_(origin) {}

    // The suffixes of entry and the server they get.
    std::pair<std::vector<std::string>, WhoisServer> Read(const Json &entry) const {
        if (!entry.is_object())
            Fail("holds an entry that is not an object");
        WhoisServer server;
        server.host = Host(entry);
        server.form = Form(entry);
        server.notFound = Phrases(entry, server.host);
        return {Suffixes(entry), std::move(server)};
    }

private:
    [[noreturn]] void Fail(const std::string &why) const {
        throw EWhoisServersError("The WHOIS servers file " + origin_ + " " + why + ".");
    }

    const Json *Field(const Json &entry, const char *key) const {
        const auto found = entry.find(key);
        return found == entry.end() ? nullptr : &*found;
    }

    std::vector<std::string> Suffixes(const Json &entry) const {
        const Json *suffixes = Field(entry, "suffixes");
        if (suffixes == nullptr || !suffixes->is_array() || suffixes->empty())
            Fail("holds an entry without a list of suffixes");
        std::vector<std::string> list;
        for (const Json &suffix : *suffixes) {
            if (!suffix.is_string() || !IsPlainName(Suffix(suffix.get<std::string>())))
                Fail("holds a suffix that is not a domain name");
            list.push_back(Suffix(suffix.get<std::string>()));
        }
        return list;
    }

    std::string Host(const Json &entry) const {
        const Json *host = Field(entry, "host");
        if (host == nullptr || !host->is_string() || !IsPlainName(host->get<std::string>()))
            Fail("holds an entry whose host is not a host name");
        return base::AsciiLower(host->get<std::string>());
    }

    WhoisQueryForm Form(const Json &entry) const {
        const Json *query = Field(entry, "query");
        if (query == nullptr)
            return {};
        const auto form = query->is_string()
                              ? WhoisQueryForm::FromTemplate(query->get<std::string>())
                              : std::nullopt;
        if (!form)
            Fail("holds a query that is not a line with {name} once");
        return *form;
    }

    std::vector<std::string> Phrases(const Json &entry, const std::string &host) const {
        const Json *phrases = Field(entry, "notFound");
        if (phrases == nullptr)
            return KnownPhrases(host);
        if (!phrases->is_array() || phrases->size() > kMostPhrases)
            Fail("holds a notFound that is not a short list of phrases");
        std::vector<std::string> list;
        for (const Json &phrase : *phrases) {
            if (!phrase.is_string() || phrase.get<std::string>().empty() ||
                phrase.get<std::string>().size() > kLongestPhrase ||
                !IsPrintable(phrase.get<std::string>()))
                Fail("holds a notFound phrase that is empty, too long or not text");
            list.push_back(phrase.get<std::string>());
        }
        return list;
    }

    const std::string &origin_;
};

} // namespace

std::string WhoisQueryForm::Query(std::string_view name) const {
    std::string line = before;
    line += name;
    line += after;
    line += "\r\n";
    return line;
}

std::optional<WhoisQueryForm> WhoisQueryForm::FromTemplate(std::string_view text) {
    const auto place = text.find(kNamePlace);
    if (place == std::string_view::npos || text.size() > kLongestTemplate || !IsPrintable(text) ||
        text.find(kNamePlace, place + 1) != std::string_view::npos)
        return std::nullopt;
    return WhoisQueryForm{std::string(text.substr(0, place)),
                          std::string(text.substr(place + kNamePlace.size()))};
}

WhoisServers WhoisServers::BuiltIn() {
    WhoisServers servers;
    for (const BuiltInRow &row : kBuiltIn) {
        const std::string host(row.host);
        WhoisServer server{host, *WhoisQueryForm::FromTemplate(row.query), KnownPhrases(host)};
        servers.servers_[std::string(row.suffix)] = std::move(server);
    }
    return servers;
}

void WhoisServers::Merge(std::string_view json, const std::string &origin) {
    if (json.size() > kLargestFile)
        throw EWhoisServersError("The WHOIS servers file " + origin + " is too large.");
    if (JsonNestingDepth(json) > kDeepestNesting)
        throw EWhoisServersError("The WHOIS servers file " + origin + " nests too deep.");
    const Json file = Json::parse(json, nullptr, false);
    if (file.is_discarded())
        throw EWhoisServersError("The WHOIS servers file " + origin + " is not JSON.");
    const auto list = file.is_object() ? file.find("servers") : file.end();
    if (list == file.end() || !list->is_array() || list->size() > kMostEntries)
        throw EWhoisServersError("The WHOIS servers file " + origin +
                                 " has no servers list of at most " + std::to_string(kMostEntries) +
                                 " entries.");
    const EntryReader reader(origin);
    std::map<std::string, WhoisServer, std::less<>> found;
    for (const Json &entry : *list) {
        auto [suffixes, server] = reader.Read(entry);
        for (const std::string &suffix : suffixes)
            found[suffix] = server;
    }
    for (auto &[suffix, server] : found)
        servers_[suffix] = std::move(server);
}

void WhoisServers::MergeFile(const std::string &path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        throw EWhoisServersError("The WHOIS servers file " + path + " is not a regular file.");
    std::string text;
    try {
        text = platform::ReadWholeFile(path, kLargestFile);
    } catch (const platform::EFileReadError &failure) {
        throw EWhoisServersError("The WHOIS servers file " + path +
                                 " cannot be read: " + failure.Message());
    }
    Merge(platform::WithoutByteOrderMark(text), path);
}

std::optional<WhoisServer> WhoisServers::ServerFor(std::string_view name) const {
    const std::string wanted = Suffix(name);
    // Every suffix below the name itself, longest first.
    for (auto dot = wanted.find('.'); dot != std::string::npos; dot = wanted.find('.', dot + 1)) {
        const auto found = servers_.find(std::string_view(wanted).substr(dot + 1));
        if (found != servers_.end())
            return found->second;
    }
    return std::nullopt;
}

std::optional<std::string> UserWhoisServersFile() {
    const auto folder = platform::UserDataFolder();
    if (!folder)
        return std::nullopt;
    const std::filesystem::path file = *folder / "whois-servers.json";
    std::error_code error;
    if (!std::filesystem::exists(file, error))
        return std::nullopt;
    return file.string();
}

} // namespace registry
