#include "net/IdException.h"
#include "probes/AvailabilityProbe.h"
#include "probes/LinkPopularityProbe.h"
#include "probes/PageFetch.h"
#include "probes/Suffix.h"
#include "probes/TrafficRankProbe.h"
#include "probes/WebProbes.h"
#include "tests/support/LoopbackStack.h"
#include "tests/support/ScriptedServer.h"

#include <gtest/gtest.h>

namespace {

using namespace testsupport;

using enum probes::Availability;

struct AvailabilityCase {
    const char *name;
    Script afterRequest;
    probes::Availability expected;
};

void PrintTo(const AvailabilityCase &c, std::ostream *os) {
    *os << c.name;
}

const AvailabilityCase kAvailability[] = {
    {"Ok", {Send(HttpReply(200, "<html>taken</html>")), Close()}, Taken},
    {"Found", {Send(HttpReply(302, "moved", "Location: /x\r\n")), Close()}, Taken},
    {"FoundWithoutBodyKeepAlive",
     {Send("HTTP/1.1 302 Found\r\nLocation: /x\r\nContent-Length: 0\r\n\r\n"), Silent()},
     Taken},
    {"MovedPermanently", {Send(HttpReply(301, "", "Location: /x\r\n")), Close()}, Free},
    {"RedirectEmptyBodyKeepAlive",
     {Send("HTTP/1.1 301 Moved Permanently\r\nLocation: /x\r\nContent-Length: 0\r\n\r\n"),
      Silent()},
     Free},
    {"SeeOther", {Send(HttpReply(303, "")), Close()}, Free},
    {"TemporaryRedirect", {Send(HttpReply(307, "")), Close()}, Free},
    {"Unauthorized", {Send(HttpReply(401, "")), Close()}, Free},
    {"Forbidden", {Send(HttpReply(403, "")), Close()}, Free},
    {"NotFound", {Send(HttpReply(404, "<h1>none</h1>")), Close()}, Free},
    {"ServerError", {Send(HttpReply(500, "")), Close()}, Free},
    {"AcceptAndClose", {Close()}, Free},
    {"Silent", {Silent()}, Free},
    {"OkThenCloseMidBody",
     {Send("HTTP/1.1 200 OK\r\nContent-Length: 99\r\n\r\nabc"), Close()},
     Taken},
    {"Garbage", {Send("SSH-2.0-x\r\n"), Close()}, Free},
};

class AvailabilityTest : public ::testing::TestWithParam<AvailabilityCase> {};

TEST_P(AvailabilityTest, OnlyStatus200Or302CountsAsTaken) {
    const auto &c = GetParam();
    ScriptedServer server;
    server.Enqueue(AfterRequest(c.afterRequest));
    const LoopbackNetwork network(server.Port());
    const net::NetworkContext context = network.Context(2000, 500);
    EXPECT_EQ(probes::CheckAvailability("http://www.fastcar.com", 80, context), c.expected);
    EXPECT_EQ(server.Requests().at(0), "GET / HTTP/1.1\r\nHost: www.fastcar.com\r\n"
                                       "Accept: text/html, */*\r\n"
                                       "User-Agent: Mozilla/3.0 (compatible; Nimbrel)\r\n\r\n");
}

INSTANTIATE_TEST_SUITE_P(Replies, AvailabilityTest, ::testing::ValuesIn(kAvailability),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(Availability, NameThatDoesNotResolveIsAvailable) {
    ScriptedServer server;
    const LoopbackNetwork network(server.Port(), {"www.nowhere.com"});
    const net::NetworkContext context = network.Context(2000, 500);
    EXPECT_EQ(probes::CheckAvailability("http://www.nowhere.com", 80, context),
              probes::Availability::Free);
    EXPECT_EQ(server.Accepted(), 0u);
}

TEST(Availability, SocketLayerThatCannotStartReachesTheCaller) {
    const net::NetworkContext failing = FailingNetworkContext();
    EXPECT_THROW(probes::CheckAvailability("http://www.fastcar.com", 80, failing),
                 net::EIdStackInitializationFailed);
    EXPECT_EQ(probes::GetLinkPopularity("fastcar.com", failing), "");
    EXPECT_EQ(probes::GetTrafficRank("fastcar.com", failing), "");
    probes::DomainRecord record;
    record.name = "fastcar.com";
    const probes::ProbeList web = probes::WebProbes();
    EXPECT_THROW(web.at(0)->Run(record, failing, {}), net::EIdStackInitializationFailed);
    web.at(1)->Run(record, failing, {});
    EXPECT_EQ(record.links, "");
}

TEST(Suffix, IsWhatFollowsTheFirstDotUpToTenCharacters) {
    const std::pair<const char *, const char *> cases[] = {
        {"fast.com", "com"},
        {"a.co.uk", "co.uk"},
        {"my.shop.com", "shop.com"},
        {"fastcar", ""},
        {"fast.", ""},
        {".com", "com"},
        {"x.abcdefghijklm", "abcdefghij"},
        {"", ""},
        {"..", "."},
    };
    for (const auto &[name, suffix] : cases)
        EXPECT_EQ(probes::ExtractSuffix(name), suffix) << name;
    EXPECT_EQ(probes::ReverseText("abc."), ".cba");
}

TEST(TextHelpers, ReplaceAllTextIgnoresCaseAndAlwaysEnds) {
    struct Case {
        const char *text, *pattern, *replacement, *expected;
    };
    const Case cases[] = {
        {"link:http://www.a b.com", ":", "%3A", "link%3Ahttp%3A//www.a b.com"},
        {"a b  c", " ", "-", "a-b--c"},
        {"AbcABC", "b", "x", "AxcAxC"},
        {"text", "", "x", "text"},
        {"aaa", "a", "aa", "aaaaaa"},
        {"abAB", "AB", "ab", "abab"},
        {"", "a", "b", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(probes::ReplaceAllText(c.text, c.pattern, c.replacement), c.expected) << c.text;
    EXPECT_EQ(probes::StripSeparators("1,234.5 6"), "123456");
}

struct PageCase {
    const char *name;
    std::string page;
    const char *popularity;
    const char *rank;
};

void PrintTo(const PageCase &c, std::ostream *os) {
    *os << c.name;
}

const PageCase kPages[] = {
    {"Worked", "Results 1 - 10 of about <b>1,234,000</b> for link:x", "1234000", ""},
    {"MarkerInCapitals", "OF ABOUT <B>77</B>", "77", ""},
    {"NoCloseTagInWindow", "of about <b>12" + std::string(400, ' ') + "</b>", "0", ""},
    {"OpenAfterClose", "page ending of about 12</b>", "0", ""},
    {"NoOpenInWindow", "of about 12</", "ofabout12", ""},
    {"DotSeparator", "of about <b>1.234</b>", "1234", ""},
    {"NoMarker", "<html>nothing here</html>", "0", ""},
    {"EmptyPage", "", "0", ""},
    {"RankDigitsAfterTags", "Traffic Rank for fastcar.com: <b>9</b><i>4</i>7<br>", "0", "947"},
    {"RankOnlyFirstDigit", "traffic rank for fastcar.com: <b>1,234</b><br>", "0", "1"},
    {"RankMarkerAbsent", "<p>5 <b>3</b> x<br>later <b>8</b>", "0", "53"},
    {"RankNoBreak", "traffic rank for x: <b>42</b>", "0", ""},
    {"RankBreakOnlyBeforeMarker", "<b>7</b><br>traffic rank for x: <b>42</b>", "0", ""},
};

class PageProbeTest : public ::testing::TestWithParam<PageCase> {
protected:
    // Both probes against a server that answers every request with the case's page.
    void ExpectNumbersFromPageWithStatus(int status) {
        const auto &c = GetParam();
        ScriptedServer server;
        server.Answer("*", "*", status, c.page);
        const LoopbackNetwork network(server.Port());
        const net::NetworkContext context = network.Context(2000, 500);
        EXPECT_EQ(probes::GetLinkPopularity("fastcar.com", context), c.popularity);
        EXPECT_EQ(probes::GetTrafficRank("fastcar.com", context), c.rank);
    }
};

TEST_P(PageProbeTest, ReadsItsNumberFromThePage) {
    ExpectNumbersFromPageWithStatus(200);
}

TEST_P(PageProbeTest, ReadsErrorPagesTheSameWay) {
    ExpectNumbersFromPageWithStatus(404);
}

INSTANTIATE_TEST_SUITE_P(Pages, PageProbeTest, ::testing::ValuesIn(kPages),
                         [](const auto &info) { return std::string(info.param.name); });

std::string RequestHead(const std::string &target, const std::string &host) {
    return "GET " + target + " HTTP/1.1\r\nHost: " + host +
           "\r\nAccept: text/html, */*\r\nUser-Agent: Mozilla/3.0 (compatible; Nimbrel)\r\n\r\n";
}

TEST(PageProbes, AskTheDefaultServicesWithTheExactRequests) {
    ScriptedServer server;
    server.Answer("search.yahoo.com", "/search?p=link%3Ahttp%3A%2F%2Fwww.fast-car.com", 200,
                  "of about <b>5</b>");
    server.Answer("www.alexa.com", "*", 200, "traffic rank for x: <b>6</b><br>");
    const LoopbackNetwork network(server.Port());
    const net::NetworkContext context = network.Context(2000, 500);
    EXPECT_EQ(probes::GetLinkPopularity("fast car.com", context), "5");
    EXPECT_EQ(probes::GetTrafficRank("fast car.com", context), "6");
    EXPECT_EQ(server.Requests(),
              (std::vector<std::string>{
                  RequestHead("/search?p=link%3Ahttp%3A%2F%2Fwww.fast-car.com", "search.yahoo.com"),
                  RequestHead("/data/details/?url=www.fast car.com", "www.alexa.com")}));
}

TEST(PageProbes, UseTheServiceAddressesTheyAreMadeWith) {
    ScriptedServer server;
    server.Answer("search.test", "*", 200, "of about <b>11</b>");
    server.Answer("rank.test", "*", 200, "traffic rank for x: <b>1</b>2<br>");
    const LoopbackNetwork network(server.Port());
    const net::NetworkContext context = network.Context(2000, 500);
    probes::DomainRecord record;
    record.name = "fastcar.com";
    for (const auto &probe : probes::WebProbes({"http://search.test", "http://rank.test"}))
        if (probe->OnlyForAvailable())
            probe->Run(record, context, {});
    EXPECT_EQ(record.links, "11");
    EXPECT_EQ(record.rank, "12");
    EXPECT_EQ(server.Requests().at(1),
              RequestHead("/data/details/?url=www.fastcar.com", "rank.test"));
}

TEST(PageProbes, DefaultServiceAddresses) {
    EXPECT_EQ(probes::ServiceAddresses().searchEngine, "http://search.yahoo.com");
    EXPECT_EQ(probes::ServiceAddresses().rankingService, "http://www.alexa.com");
}

TEST(PageProbes, FailedTransfersGiveTheNeutralTexts) {
    ScriptedServer server;
    const LoopbackNetwork network(server.Port(), {"search.yahoo.com", "www.alexa.com"});
    const net::NetworkContext context = network.Context(2000, 500);
    EXPECT_EQ(probes::GetLinkPopularity("fastcar.com", context), "0");
    EXPECT_EQ(probes::GetTrafficRank("fastcar.com", context), "");
}

TEST(PageProbes, FetchPageKeepsWhatArrivedBeforeAFailure) {
    ScriptedServer server;
    server.Enqueue(
        {ReadRequest(), Send("HTTP/1.1 200 OK\r\nContent-Length: 50\r\n\r\npartial"), Close()});
    const LoopbackNetwork network(server.Port());
    const net::NetworkContext context = network.Context(2000, 500);
    base::TStringStream stream;
    probes::FetchPage("http://www.fastcar.com/", stream, 80, context);
    EXPECT_EQ(stream.DataString(), "partial");
}

TEST(PageProbes, PauseWhereTheRunExpectsIt) {
    ScriptedServer server;
    server.Answer("*", "*", 200, "of about <b>3</b> traffic rank for x: <b>4</b><br>");
    const LoopbackNetwork network(server.Port());
    const net::NetworkContext context = network.Context(2000, 500);
    std::vector<std::size_t> requestsAtPause;
    const probes::Pause pause = [&] { requestsAtPause.push_back(server.Requests().size()); };
    EXPECT_EQ(probes::GetLinkPopularity("fastcar.com", context, pause), "3");
    EXPECT_EQ(requestsAtPause, (std::vector<std::size_t>{0, 1, 1}));
    EXPECT_EQ(probes::GetTrafficRank("fastcar.com", context, pause), "4");
    EXPECT_EQ(requestsAtPause, (std::vector<std::size_t>{0, 1, 1, 2}));
}

TEST(PageProbes, FailureWhilePausingGivesTheEmptyText) {
    ScriptedServer server;
    server.Answer("*", "*", 200, "of about <b>3</b>");
    const LoopbackNetwork network(server.Port());
    const net::NetworkContext context = network.Context(2000, 500);
    int pauses = 0;
    const probes::Pause pause = [&] {
        if (++pauses == 2)
            throw base::Exception("window gone");
    };
    EXPECT_EQ(probes::GetLinkPopularity("fastcar.com", context, pause), "");
}

} // namespace
