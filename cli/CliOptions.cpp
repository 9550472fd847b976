#include "cli/CliOptions.h"

#include "base/IntegerText.h"
#include "core/SearchOptions.h"
#include "results/Columns.h"

#include <CLI/CLI.hpp>
#include <algorithm>

namespace cli {
namespace {

// Adds --name and --no-name; the result is set only when one of them was given.
void AddSwitch(CLI::App &app, const std::string &name, const std::string &help,
               std::optional<bool> &target) {
    app.add_flag_callback(
        "--" + name, [&target] { target = true; }, help);
    app.add_flag_callback(
        "--no-" + name, [&target] { target = false; }, "no " + help);
}

int ReadPort(const std::string &text, const std::string &whole) {
    const auto port = base::TryReadInteger(text, base::IntegerForm::Decimal);
    if (!port || *port < 1 || *port > 65535 || text.find(' ') != std::string::npos)
        throw EUsageError("--connect-to: bad port '" + text + "' in '" + whole + "'");
    return *port;
}

OutputFormat ReadFormat(const std::string &text) {
    if (text == "table")
        return OutputFormat::Table;
    if (text == "tsv")
        return OutputFormat::Tsv;
    if (text == "csv")
        return OutputFormat::Csv;
    return OutputFormat::Json;
}

// ADDR or ADDR:PORT, ADDR an IPv4 address.
void CheckDnsServer(const std::string &text) {
    if (text.empty())
        return;
    const auto colon = text.rfind(':');
    const std::string address = text.substr(0, colon);
    const bool goodPort = colon == std::string::npos || [&] {
        const auto port = base::TryReadInteger(text.substr(colon + 1), base::IntegerForm::Decimal);
        return port && *port >= 1 && *port <= 65535;
    }();
    if (!goodPort || !CLI::ValidIPV4(address).empty())
        throw EUsageError("--dns-server takes an IPv4 address with an optional :PORT, not '" +
                          text + "'");
}

void CheckTimeout(const std::optional<double> &seconds, const char *name) {
    if (seconds && !(*seconds > 0 && *seconds <= 3600))
        throw EUsageError(std::string(name) + " takes a number of seconds from 0 to 3600");
}

// A kept answer counts at most this long.
constexpr std::int32_t kLongestCacheTtl = 365 * 24 * 60 * 60;

} // namespace

registry::CacheLifetimes ParseCacheTtl(const std::string &text) {
    registry::CacheLifetimes lifetimes;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find(',', start), text.size());
        const std::string part = text.substr(start, end - start);
        const std::size_t equals = part.find('=');
        const std::string kind = part.substr(0, equals);
        const auto seconds =
            equals == std::string::npos
                ? std::nullopt
                : base::TryReadInteger(part.substr(equals + 1), base::IntegerForm::Decimal);
        if (!seconds || *seconds < 0 || *seconds > kLongestCacheTtl ||
            (kind != "taken" && kind != "free"))
            throw EUsageError("--cache-ttl: '" + part +
                              "' is not taken=SECONDS or free=SECONDS (0 to " +
                              std::to_string(kLongestCacheTtl) + ")");
        (kind == "taken" ? lifetimes.taken : lifetimes.free) = std::chrono::seconds(*seconds);
        start = end + 1;
    }
    return lifetimes;
}

net::ConnectRoute ParseConnectTo(const std::string &text) {
    // HOST1:PORT1:HOST2:PORT2, split at the last three colons so the first host stays whole.
    std::vector<std::string> parts;
    std::size_t end = text.size();
    for (int i = 0; i < 3; ++i) {
        const std::size_t colon = end == 0 ? std::string::npos : text.rfind(':', end - 1);
        if (colon == std::string::npos)
            throw EUsageError("--connect-to takes HOST1:PORT1:HOST2:PORT2, not '" + text + "'");
        parts.insert(parts.begin(), text.substr(colon + 1, end - colon - 1));
        end = colon;
    }
    parts.insert(parts.begin(), text.substr(0, end));
    net::ConnectRoute rule;
    rule.fromHost = parts[0];
    if (!parts[1].empty())
        rule.fromPort = ReadPort(parts[1], text);
    rule.toHost = parts[2];
    if (rule.toHost.empty())
        throw EUsageError("--connect-to: no target host in '" + text + "'");
    rule.toPort = ReadPort(parts[3], text);
    return rule;
}

CliOptions ParseCommandLine(int argc, const char *const *argv) {
    CliOptions options;
    CLI::App app{"Checks which domain names built from up to three keywords are free, with their "
                 "link popularity and traffic rank.",
                 "nimbrel-cli"};
    app.get_formatter()->column_width(34);
    std::string mode, show, format, check, linksFrom, rankFrom;
    std::vector<std::string> connectTo;
    app.add_option("keywords", options.keywords, "up to three keywords");
    app.add_option("--mode", mode, "exact: the keywords alone; all: also pairs and triples")
        ->check(CLI::IsMember({"exact", "all"}));
    AddSwitch(app, "com", ".com names", options.com);
    AddSwitch(app, "net", ".net names", options.net);
    AddSwitch(app, "org", ".org names", options.org);
    AddSwitch(app, "biz", ".biz names", options.biz);
    AddSwitch(app, "us", ".us names", options.us);
    AddSwitch(app, "info", ".info names", options.info);
    AddSwitch(app, "co-uk", ".co.uk names", options.couk);
    app.add_option("--suffix", options.suffixes,
                   "more suffixes after the chosen ones, comma-separated (\"io, dev\")");
    AddSwitch(app, "hyphens", "pairs and triples joined with hyphens", options.hyphens);
    AddSwitch(app, "acronyms", "first-letter forms", options.acronyms);
    app.add_option("--before", options.before,
                   "words joined before each keyword and pair, comma-separated (\"get, try\")");
    app.add_option("--after", options.after,
                   "words joined after each keyword and pair, comma-separated (\"hq, app\")");
    AddSwitch(app, "common-affixes",
              "common words before and after (get, try, my, go, the; "
              "hq, app, hub, now, labs)",
              options.commonAffixes);
    AddSwitch(app, "suffix-hacks", "names split at a suffix the keyword ends with (fami.ly)",
              options.suffixHacks);
    app.add_option("--max-length", options.maxNameLength,
                   "letters before the suffix at most, 1 to 63; 0: no limit (built or linked names)")
        ->check(CLI::Range(core::kNoLengthLimit, core::kLongestNameLength));
    app.add_option("--check", check,
                   "registry: the registries' records (DNS, RDAP); web: the web site's answer")
        ->check(CLI::IsMember({"registry", "web"}));
    app.add_option("--show", show, "which checked names become rows")
        ->check(CLI::IsMember({"available", "all", "none"}));
    app.add_option("--links-from", linksFrom,
                   "link popularity from the search engine (web) or the imported web graph "
                   "(graph); default: the web graph when imported")
        ->check(CLI::IsMember({"web", "graph"}));
    app.add_option("--rank-from", rankFrom,
                   "traffic rank from the ranking service (web) or the imported rank list "
                   "(list); default: the rank list when imported")
        ->check(CLI::IsMember({"web", "list"}));
    app.add_flag("--candidates", options.candidatesOnly,
                 "print the candidate names, one a line, and make no request");
    app.add_flag("--dry-run", options.dryRun,
                 "print how many names a run would check, per suffix, and make no request");
    app.add_option("--format", format, "output format (default: table on a terminal, else tsv)")
        ->check(CLI::IsMember({"table", "tsv", "csv", "json"}));
    app.add_option("--save", options.saveFile, "write the rows to a results file");
    app.add_option("--names", options.namesFile, "write the domain names to a text file");
    app.add_option("--load", options.loadFile, "print a results file instead of searching");
    const int lastColumn = results::Columns::Standard().Count() - 1;
    app.add_option("--sort", options.sortColumn,
                   "order the rows by column 0 to " + std::to_string(lastColumn) + " first")
        ->check(CLI::Range(0, lastColumn));
    app.add_option("--search-engine", options.searchEngine, "search engine address (http://host)");
    app.add_option("--ranking-service", options.rankingService,
                   "ranking service address (http://host)");
    app.add_option("--connect-timeout", options.connectTimeout, "seconds to wait for a connection");
    app.add_option("--read-timeout", options.readTimeout, "seconds to wait for data");
    app.add_option("--request-timeout", options.requestTimeout,
                   "seconds a whole request may take (default 60)");
    app.add_option("--connect-to", connectTo,
                   "HOST1:PORT1:HOST2:PORT2: connect there instead (repeatable)")
        ->allow_extra_args(false);
    app.add_option("--jobs", options.jobs, "names checked at once, 1 to 64 (default 16)")
        ->check(CLI::Range(1, 64));
    app.add_option("--from", options.fromFile,
                   "check the names in FILE, one a line (- for standard input), not keywords");
    app.add_option("--limit", options.limit, "stop after this many free names")
        ->check(CLI::Range(1, 1000000));
    app.add_flag("--discover", options.discover,
                 "list the imported web graph's names that contain every keyword, best link "
                 "position first, and check them (default --limit 100, --show available)");
    app.add_option("--min-hosts", options.minHosts,
                   "with --discover: names the web graph counts at least N hosts of (default 1)")
        ->check(CLI::Range(0, 2147483647));
    app.add_option("--rdap-bootstrap", options.rdapBootstrap,
                   "RDAP bootstrap file (IANA dns.json format) adding or replacing servers");
    app.add_option("--dns-server", options.dnsServer,
                   "ADDR[:PORT]: the resolver to ask instead of the system's");
    app.add_option("--dns-inflight", options.dnsInflight,
                   "NS queries in flight at once, 1 to 4096 (default 256)")
        ->check(CLI::Range(1, 4096));
    app.add_option("--rdap-rate", options.rdapRate,
                   "requests a second to one RDAP server at most, above 0 up to 1000 (default 10)");
    app.add_option("--ca-file", options.caFile,
                   "trust the certificates in this PEM file instead of the system's");
    AddSwitch(app, "cache", "registry answers kept between runs (default: as stored, on)",
              options.cache);
    std::string cacheTtl;
    app.add_option("--cache-ttl", cacheTtl,
                   "taken=SECONDS,free=SECONDS: how long kept answers count (default "
                   "taken=86400,free=600)");
    app.add_flag("--update-registry-data", options.updateRegistryData,
                 "fetch IANA's current RDAP bootstrap file into the user's registry data");
    app.add_option("--registry-data-url", options.registryDataUrl,
                   "the https address --update-registry-data fetches from");
    app.add_option(
        "--whois-servers", options.whoisServers,
        "WHOIS servers file (JSON) adding or replacing servers of suffixes without RDAP");
    app.add_option("--whois-pace", options.whoisPace,
                   "seconds between two queries to one WHOIS server (default 1)");
    AddIndexOptions(app, options.index);
    app.add_option("--watch-add", options.watchAddNames,
                   "watch these names (or those of --from) until they are free")
        ->expected(0, CLI::detail::expected_max_vector_size);
    app.add_option("--watch-remove", options.watchRemove, "stop watching these names");
    app.add_flag("--watch-list", options.watchList,
                 "print the watched names with their status and expected release");
    app.add_flag("--watch-check", options.watchCheck,
                 "check every watched name again and print each one that changed");
    app.add_flag("--notify", options.notify,
                 "with --watch-check: a desktop notice for each name that became free or "
                 "pending delete");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp &) {
        options.helpShown = true;
        options.helpText = app.help();
        return options;
    } catch (const CLI::ParseError &error) {
        throw EUsageError(error.what());
    }

    options.watchAdd = app.count("--watch-add") > 0;
    // --watch-add given without names holds one empty value ("{}" in some versions).
    std::erase_if(options.watchAddNames,
                  [](const std::string &name) { return name.empty() || name == "{}"; });
    if (!cacheTtl.empty())
        options.cacheTtl = ParseCacheTtl(cacheTtl);
    if (!mode.empty())
        options.searchfor = mode == "all" ? 1 : 0;
    if (!show.empty())
        options.show = show == "all" ? 1 : (show == "available" ? 0 : -1);
    if (!check.empty())
        options.check = check == "web" ? core::kCheckWeb : core::kCheckRegistry;
    if (!format.empty())
        options.format = ReadFormat(format);
    if (!linksFrom.empty())
        options.linksFrom = linksFrom == "web" ? core::kFromWeb : core::kFromIndex;
    if (!rankFrom.empty())
        options.rankFrom = rankFrom == "web" ? core::kFromWeb : core::kFromIndex;
    for (const std::string &rule : connectTo)
        options.connectTo.push_back(ParseConnectTo(rule));
    CheckDnsServer(options.dnsServer);
    CheckTimeout(options.connectTimeout, "--connect-timeout");
    CheckTimeout(options.readTimeout, "--read-timeout");
    CheckTimeout(options.requestTimeout, "--request-timeout");
    if (options.whoisPace && !(*options.whoisPace >= 0 && *options.whoisPace <= 3600))
        throw EUsageError("--whois-pace takes a number of seconds from 0 to 3600");
    if (options.rdapRate && !(*options.rdapRate > 0 && *options.rdapRate <= 1000))
        throw EUsageError("--rdap-rate takes a number of requests a second above 0 up to 1000");
    return options;
}

} // namespace cli
