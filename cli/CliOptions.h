#pragma once

#include "base/Exception.h"
#include "cli/IndexCommands.h"
#include "net/ConnectRouteStack.h"
#include "registry/AnswerCache.h"

#include <optional>
#include <string>
#include <vector>

namespace cli {

// A command line that cannot be used; the message names the problem in one line.
class EUsageError : public base::Exception {
public:
    using Exception::Exception;
};

enum class OutputFormat { Table, Tsv, Json, Csv };

// What the command line asks for. Unset choices keep what the per-user store holds.
struct CliOptions {
    std::vector<std::string> keywords;
    std::optional<int> searchfor;
    std::optional<bool> com, net, org, hyphens, acronyms, biz, us, info, couk;
    // The more suffixes, as --suffix gave them.
    std::optional<std::string> suffixes;
    // --before / --after: words joined before and after the keywords, comma-separated.
    std::optional<std::string> before, after;
    std::optional<bool> commonAffixes, suffixHacks;
    // --max-length: letters before the suffix at most; 0 for no limit.
    std::optional<int> maxNameLength;
    // kCheckRegistry or kCheckWeb.
    std::optional<int> check;
    std::optional<int> show;
    // core::kFromWeb or core::kFromIndex; unset: the index when present.
    std::optional<int> linksFrom, rankFrom;

    bool candidatesOnly = false;
    // Print how many names the run would check, per suffix, and make no request.
    bool dryRun = false;
    std::optional<OutputFormat> format;
    std::string saveFile;
    std::string namesFile;
    std::string loadFile;
    std::optional<int> sortColumn;

    std::string searchEngine;
    std::string rankingService;
    std::optional<double> connectTimeout;
    std::optional<double> readTimeout;
    std::optional<double> requestTimeout;
    std::vector<net::ConnectRoute> connectTo;
    std::optional<int> jobs;
    // A file of names to check instead of the generated ones ("-": standard input).
    std::string fromFile;
    // Stop after this many free names.
    std::optional<int> limit;
    // --discover: the keywords search the web graph's names instead of building names; the
    // fewest hosts such a name must have (the most letters before its suffix: maxNameLength).
    bool discover = false;
    std::optional<int> minHosts;

    // The registry check: a bootstrap file merged over the built-in table, the resolver to ask
    // instead of /etc/resolv.conf ("address" or "address:port"), and a file of certificates to
    // trust instead of the system's.
    std::string rdapBootstrap;
    std::string dnsServer;
    // --dns-inflight: NS queries in flight at once in a run of many names.
    std::optional<int> dnsInflight;
    // --rdap-rate: requests a second to one RDAP server at most.
    std::optional<double> rdapRate;
    std::string caFile;
    // --cache / --no-cache: keep registry answers between runs and ask them first.
    std::optional<bool> cache;
    // --cache-ttl taken=SECONDS,free=SECONDS; a kind not named keeps its default.
    std::optional<registry::CacheLifetimes> cacheTtl;
    // Fetch IANA's current RDAP bootstrap file (or the file at registryDataUrl) into the user's
    // registry data instead of searching.
    bool updateRegistryData = false;
    std::string registryDataUrl;
    // A WHOIS servers file merged over the built-in table and the user's, and the pause between
    // two queries to one WHOIS server.
    std::string whoisServers;
    std::optional<double> whoisPace;

    IndexRequest index;

    // The watch list: names to add (or the names of --from) and to remove, the list printed, the
    // watched names checked again, and desktop notices of the check's news.
    bool watchAdd = false;
    std::vector<std::string> watchAddNames;
    std::vector<std::string> watchRemove;
    bool watchList = false;
    bool watchCheck = false;
    bool notify = false;
    bool AnyWatch() const { return watchAdd || !watchRemove.empty() || watchList || watchCheck; }

    bool helpShown = false;
    std::string helpText;
};

// Reads argv; EUsageError for anything it cannot use.
CliOptions ParseCommandLine(int argc, const char *const *argv);

// "taken=SECONDS,free=SECONDS", either or both, 0 to a year each; EUsageError otherwise.
registry::CacheLifetimes ParseCacheTtl(const std::string &text);

// HOST1:PORT1:HOST2:PORT2; an empty HOST1 or PORT1 matches any host or port.
net::ConnectRoute ParseConnectTo(const std::string &text);

} // namespace cli
