#include "registry/WhoisReply.h"
#include "registry/WhoisServers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace registry {
namespace {

// The "not found" phrases of the server for name in the built-in table.
std::vector<std::string> PhrasesFor(const std::string &name) {
    return WhoisServers::BuiltIn().ServerFor(name).value().notFound;
}

struct ReplyCase {
    const char *title;
    const char *name;
    std::string reply;
    WhoisVerdict verdict;
    WhoisReason reason;
};

void PrintTo(const ReplyCase &row, std::ostream *out) {
    *out << row.title;
}

class ReadsReplies : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(ReadsReplies, ToTheirVerdictAndReason) {
    const ReplyCase &row = GetParam();
    const WhoisAnswer answer = ReadWhoisReply(row.reply, false, row.name, PhrasesFor(row.name));
    EXPECT_EQ(answer.verdict, row.verdict);
    EXPECT_EQ(answer.reason, row.reason);
}

const std::string kTerms = "\nAccess to this data is for lawful purposes only. High volume, "
                           "automated queries are not allowed. All rights reserved.\n";

INSTANTIATE_TEST_SUITE_P(
    Table, ReadsReplies,
    ::testing::Values(
        // Each built-in server's own words for "no such name".
        ReplyCase{"us free", "fastcar.us", "No Data Found\n" + kTerms, WhoisVerdict::Free,
                  WhoisReason::None},
        ReplyCase{"us free, older form", "fastcar.us", "Not found: fastcar.us\n",
                  WhoisVerdict::Free, WhoisReason::None},
        ReplyCase{"de free", "fastcar.de", "Domain: fastcar.de\nStatus: free\n",
                  WhoisVerdict::Free, WhoisReason::None},
        ReplyCase{"io free", "fastcar.io", "NOT FOUND\n>>> Last update <<<\n" + kTerms,
                  WhoisVerdict::Free, WhoisReason::None},
        ReplyCase{"co free", "fastcar.co", "No Data Found\r\n", WhoisVerdict::Free,
                  WhoisReason::None},
        ReplyCase{"eu free", "fastcar.eu", "% terms\n\nDomain: fastcar.eu\nScript: LATIN\n\n"
                                           "Status: AVAILABLE\n",
                  WhoisVerdict::Free, WhoisReason::None},
        ReplyCase{"jp free", "fastcar.jp", "[ JPRS database ]\n\nNo match!!\n\nMore text\n",
                  WhoisVerdict::Free, WhoisReason::None},
        ReplyCase{"it free", "fastcar.it", "Domain: fastcar.it\nStatus:   AVAILABLE\n",
                  WhoisVerdict::Free, WhoisReason::None},
        ReplyCase{"pl free", "fastcar.pl",
                  "No information available about domain name fastcar.pl in the Registry\n",
                  WhoisVerdict::Free, WhoisReason::None},
        // Another server's words, or the words inside a longer word, are not this server's.
        ReplyCase{"de with the words of jp", "fastcar.de", "No match!!\n", WhoisVerdict::Unknown,
                  WhoisReason::NotUnderstood},
        ReplyCase{"io inside a word", "fastcar.io", "NOT FOUNDATION\n", WhoisVerdict::Unknown,
                  WhoisReason::NotUnderstood},
        ReplyCase{"eu not available", "fastcar.eu", "Domain: fastcar.eu\nStatus: NOT AVAILABLE\n",
                  WhoisVerdict::Unknown, WhoisReason::NotUnderstood},
        // Limits and prices are never taken for "not found", even next to it.
        ReplyCase{"us limit", "fastcar.us", "Query rate limit exceeded. Try later.\n",
                  WhoisVerdict::Unknown, WhoisReason::LimitExceeded},
        ReplyCase{"io not found with a limit", "fastcar.io",
                  "NOT FOUND\n% Limit exceeded for your address\n", WhoisVerdict::Unknown,
                  WhoisReason::LimitExceeded},
        ReplyCase{"de access control", "fastcar.de",
                  "% Error: 55000000002 Connection refused; access control limit reached.\n",
                  WhoisVerdict::Unknown, WhoisReason::LimitExceeded},
        ReplyCase{"eu grace", "fastcar.eu", "-1: Still in grace period, wait 7 seconds\n",
                  WhoisVerdict::Unknown, WhoisReason::LimitExceeded},
        ReplyCase{"co quota with not found", "fastcar.co", "No Data Found\nQuota exceeded\n",
                  WhoisVerdict::Unknown, WhoisReason::LimitExceeded},
        ReplyCase{"io premium", "fastcar.io", "This premium domain is available for purchase\n",
                  WhoisVerdict::Unknown, WhoisReason::Premium},
        // Reserved and blocked names are not free, and say so.
        ReplyCase{"io reserved", "fastcar.io", "Reserved by Registry\n>>> Last update <<<\n",
                  WhoisVerdict::Reserved, WhoisReason::Reserved},
        ReplyCase{"us reserved with not found", "fastcar.us",
                  "No Data Found\nThis name is not available for registration.\n",
                  WhoisVerdict::Reserved, WhoisReason::Reserved},
        ReplyCase{"co blocked", "fastcar.co", "The name is under DPML brand protection\n",
                  WhoisVerdict::Reserved, WhoisReason::Reserved},
        ReplyCase{"jp reserved status", "fastcar.jp",
                  "[Domain Name]  FASTCAR.JP\n[Status]   Reserved\n", WhoisVerdict::Reserved,
                  WhoisReason::Reserved},
        // Replies with nothing to go on.
        ReplyCase{"empty", "fastcar.de", "", WhoisVerdict::Unknown, WhoisReason::EmptyReply},
        ReplyCase{"blank", "fastcar.de", " \r\n\t\r\n", WhoisVerdict::Unknown,
                  WhoisReason::EmptyReply},
        ReplyCase{"other words", "fastcar.de", "Service temporarily down\n",
                  WhoisVerdict::Unknown, WhoisReason::NotUnderstood},
        ReplyCase{"record of another name", "fastcar.us",
                  "Domain Name: slowcar.us\nRegistrar: Example Registrar\n",
                  WhoisVerdict::Unknown, WhoisReason::NotUnderstood},
        ReplyCase{"hostile bytes", "fastcar.us", std::string("\0\xff\xfe:[]\n]\n[\n:\n", 13),
                  WhoisVerdict::Unknown, WhoisReason::NotUnderstood}));

struct RecordCase {
    const char *title;
    const char *name;
    std::string reply;
    std::string expires;
    std::string registrar;
    std::vector<std::string> status;
};

void PrintTo(const RecordCase &row, std::ostream *out) {
    *out << row.title;
}

class ReadsRecords : public ::testing::TestWithParam<RecordCase> {};

TEST_P(ReadsRecords, AsTakenWithTheirFields) {
    const RecordCase &row = GetParam();
    const WhoisAnswer answer = ReadWhoisReply(row.reply, false, row.name, PhrasesFor(row.name));
    EXPECT_EQ(answer.verdict, WhoisVerdict::Taken);
    EXPECT_EQ(answer.expires, row.expires);
    EXPECT_EQ(answer.registrar, row.registrar);
    EXPECT_EQ(answer.status, row.status);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReadsRecords,
    ::testing::Values(
        RecordCase{"us", "fastcar.us",
                   "Domain Name: FASTCAR.US\nRegistry Domain ID: D1-US\n"
                   "Registrar: Example Registrar, Inc.\n"
                   "Creation Date: 2002-04-19T23:15:57Z\n"
                   "Registry Expiry Date: 2027-04-18T23:59:59Z\n"
                   "Domain Status: clientTransferProhibited https://icann.org/epp#x\n"
                   "Domain Status: clientHold https://icann.org/epp#y\n"
                   "Domain Status: clientHold https://icann.org/epp#y\n" +
                       kTerms,
                   "2027-04-18", "Example Registrar, Inc.",
                   {"client transfer prohibited", "client hold"}},
        RecordCase{"de, no registrar shown", "fastcar.de",
                   "Domain: fastcar.de\nNserver: ns1.example.net\nStatus: connect\n"
                   "Changed: 2020-03-12T21:44:25+01:00\n",
                   "", "", {"connect"}},
        RecordCase{"eu, registrar in a section", "fastcar.eu",
                   "Domain: fastcar.eu\nScript: LATIN\n\nTechnical:\n        Name: Tech One\n\n"
                   "Registrar:\n        Name: Example Registrar B.V.\n"
                   "        Website: www.example.eu\n\n",
                   "", "Example Registrar B.V.", {}},
        RecordCase{"jp in English", "fastcar.jp",
                   "Domain Information:\n[Domain Name]                   FASTCAR.JP\n\n"
                   "[Registrant]                    Example KK\n"
                   "[Created on]                    2001/05/22\n"
                   "[Expires on]                    2027/05/31\n"
                   "[Status]                        Active\n",
                   "2027-05-31", "", {"active"}},
        RecordCase{"co with a redemption", "fastcar.co",
                   "Domain Name: fastcar.co.\nRegistrar: Example\nDomain Status: redemptionPeriod\n"
                   "Domain Status: pendingDelete\nRegistry Expiry Date: not a date\n",
                   "", "Example", {"redemption period", "pending delete"}},
        RecordCase{"io with a limit text in its terms", "fastcar.io",
                   "Domain Name: fastcar.io\nCreation Date: 2014-01-01T00:00:00Z\n"
                   "Registrar: \x01" "Example\x7f Ltd\xff\n"
                   "Registry Expiry Date: 2026-13-01\n"
                   "% Queries over the limit exceeded our terms are refused.\n",
                   "", "Example Ltd", {}}));

TEST(WhoisReply, ACutReplyIsNeverFree) {
    const std::string notFound = "NOT FOUND\n";
    EXPECT_EQ(ReadWhoisReply(notFound, true, "fastcar.io", PhrasesFor("fastcar.io")).reason,
              WhoisReason::ReplyCut);
    const std::string longer = notFound + std::string(kLargestWhoisReply, 'x');
    EXPECT_EQ(ReadWhoisReply(longer, false, "fastcar.io", PhrasesFor("fastcar.io")).reason,
              WhoisReason::ReplyCut);
    // A record at the start still shows the name is taken.
    const std::string record = "Domain Name: fastcar.io\nRegistrar: Example\n" + longer;
    EXPECT_EQ(ReadWhoisReply(record, true, "fastcar.io", PhrasesFor("fastcar.io")).verdict,
              WhoisVerdict::Taken);
}

TEST(WhoisReply, PhrasesMatchWholeAcrossLinesAndCase) {
    EXPECT_TRUE(HoldsPhrase("x\r\n  no\tDATA \r\n found.", "No Data Found"));
    EXPECT_TRUE(HoldsPhrase("Not found: fastcar.us", "Not found:"));
    EXPECT_FALSE(HoldsPhrase("no data founded", "No Data Found"));
    EXPECT_FALSE(HoldsPhrase("ano data found", "No Data Found"));
    EXPECT_FALSE(HoldsPhrase("anything", ""));
    EXPECT_EQ(WhoisReasonText(WhoisReason::LimitExceeded), "whois: limit exceeded");
    EXPECT_EQ(WhoisReasonText(WhoisReason::Reserved), "whois: reserved");
}

} // namespace
} // namespace registry
