#include "rankindex/RankLineParser.h"

#include <gtest/gtest.h>

namespace rankindex {
namespace {

using Type = RankLine::Type;

struct LineCase {
    const char *line;
    Type type;
    const char *name = "";
    std::uint32_t position = 0;
};

void ExpectLines(RankKind kind, const std::vector<LineCase> &cases) {
    RankLineParser parser(kind);
    for (const LineCase &expected : cases) {
        const RankLine got = parser.Parse(expected.line, 2);
        EXPECT_EQ(got.type, expected.type) << expected.line;
        if (expected.type == Type::Entry) {
            EXPECT_EQ(got.name, expected.name) << expected.line;
            EXPECT_EQ(got.position, expected.position) << expected.line;
        }
    }
}

TEST(RankLineParserTest, WebGraphLines) {
    ExpectLines(
        RankKind::WebGraph,
        {
            {"1\t3.4E7\t2\t0.0012\tcom.example\t125", Type::Entry, "com.example", 1},
            {"17\t1.0\t9\t1.0E-9\tCOM.Example.WWW\t1", Type::Entry, "com.example.www", 17},
            {"4294967295\t1\t1\t1\tde.xn--bcher-kva\t0", Type::Entry, "de.xn--bcher-kva",
             4294967295u},
            {"5\t1\t1\t1\tcom.my_host.\t3", Type::Entry, "com.my_host", 5},
            {"#harmonicc_pos\t#harmonicc_val\t#pr_pos\t#pr_val\t#host_rev\t#n_hosts", Type::Header},
            {"   ", Type::Blank},
            {"4294967296\t1\t1\t1\tcom.example\t1", Type::Malformed},
            {"0\t1\t1\t1\tcom.example\t1", Type::Malformed},
            {"-3\t1\t1\t1\tcom.example\t1", Type::Malformed},
            {"1\t1\t1\t1\tcom.example", Type::Malformed},
            {"1\t1\t1\t1\tcom.example\t1\textra", Type::Malformed},
            {"1\t1\t18446744073709551616\t1\tcom.example\t1", Type::Malformed},
            {"123456789\t3.4000000E7\t2\t0.00120000\tcom.a-rather-long-name.www\t125", Type::Entry,
             "com.a-rather-long-name.www", 123456789},
            {"1\t1\t1\t1\tcom.example-of-a-long-line\t1\t\t", Type::Malformed},
            {"1\t1\t1\t1\tcom.example\t+1", Type::Malformed},
            {"1\t1\t1\t1\tcom.example\t", Type::Malformed},
            {"1\t1\t1\t1\tcom.example.\t1", Type::Entry, "com.example", 1},
            {"1\t1\t1\t1\tcom.example..\t1", Type::Malformed},
            {"1\t1\t1\t1\t.\t1", Type::Malformed},
            {"1\t1\t1\t1\tcom\t1", Type::Entry, "com", 1},
            {"\t1\t1\t1\tcom.example\t1", Type::Malformed},
            {"1\tx\t1\t1\tcom.example\t1", Type::Malformed},
            {"1\t1\t1\t1\tcom..example\t1", Type::Malformed},
            {"1\t1\t1\t1\t.com.example\t1", Type::Malformed},
            {"1\t1\t1\t1\tcom.exa mple\t1", Type::Malformed},
            {"1\t1\t1\t1\tde.b\xC3\xBC"
             "cher\t1",
             Type::Malformed},
            {"1\t1\t1\t1\t\t1", Type::Malformed},
            {"1 1 1 1 com.example 1", Type::Malformed},
            {"1,example.com", Type::Malformed},
            // Each field ends at its tab and nowhere else, whatever byte stops it.
            {"1\t\t1\t1\tcom.example\t1", Type::Malformed},
            {"1\t1\t1\t\tcom.example\t1", Type::Malformed},
            {"1\t1\t\t1\tcom.example\t1", Type::Malformed},
            {"1\t1.0x\t1\t1\tcom.example\t1", Type::Malformed},
            {"1x\t1\t1\t1\tcom.example\t1", Type::Malformed},
            {"1\t1\t1\t1\tcom.example\t\t1", Type::Malformed},
            {"1\t1\t1\t1\tcom.example\t1x", Type::Malformed},
            {"1\t1\t1\t1\tcom.example\t1\r", Type::Malformed},
            {"1\t1\t1\t1\tcom.exa+mple\t1", Type::Malformed},
            {"18446744073709551616\t1\t1\t1\tcom.example\t1", Type::Malformed},
            {"1\t1\t1\t1\tcom.example\t18446744073709551616", Type::Malformed},
            {"007\t1\t1\t1\tcom.example\t1", Type::Entry, "com.example", 7},
            // Capitals are lowered in a copy; a name without any is the line's own text.
            {"2\t1\t1\t1\tCOM.EXAMPLE.\t1", Type::Entry, "com.example", 2},
            {"3\t1\t1\t1\tcom.example.Z_9-\t1", Type::Entry, "com.example.z_9-", 3},
            {"4\t1\t1\t1\tcom.example..\t1", Type::Malformed},
        });
}

// The longest name a line may give, with or without the root's dot, and one character more.
TEST(RankLineParserTest, WebGraphNameLengths) {
    const std::string longest = "com." + std::string(63, 'a') + "." + std::string(63, 'b') + "." +
                                std::string(63, 'c') + "." + std::string(57, 'D');
    ASSERT_EQ(longest.size(), 253u);
    std::string lowered = longest;
    for (char &c : lowered)
        c = c == 'D' ? 'd' : c;
    const struct {
        std::string name;
        bool entry;
    } cases[] = {
        {longest, true},
        {longest + ".", true},
        {longest + "d", false},
        {longest + "d.", false},
    };
    RankLineParser parser(RankKind::WebGraph);
    for (const auto &c : cases) {
        const RankLine got = parser.Parse("1\t1\t1\t1\t" + c.name + "\t1", 2);
        EXPECT_EQ(got.type, c.entry ? Type::Entry : Type::Malformed) << c.name;
        if (c.entry) {
            EXPECT_EQ(got.name, lowered) << c.name;
        }
    }
}

// The PageRank position and the host count come with the name, held to 32 bits.
TEST(RankLineParserTest, WebGraphLinesKeepPageRankAndHosts) {
    const struct {
        const char *line;
        std::uint32_t pageRank;
        std::uint32_t hosts;
    } cases[] = {
        {"1\t3.4E7\t2\t0.0012\tcom.example\t125", 2, 125},
        {"1\t1\t0\t1\tcom.example\t0", 0, 0},
        {"1\t1\t4294967296\t1\tcom.example\t99999999999", 4294967295u, 4294967295u},
        {"1\t1\t18446744073709551615\t1\tcom.example\t007", 4294967295u, 7},
    };
    RankLineParser parser(RankKind::WebGraph);
    for (const auto &c : cases) {
        const RankLine got = parser.Parse(c.line, 2);
        ASSERT_EQ(got.type, Type::Entry) << c.line;
        EXPECT_EQ(got.pageRankPosition, c.pageRank) << c.line;
        EXPECT_EQ(got.hosts, c.hosts) << c.line;
    }
}

TEST(RankLineParserTest, RankListLines) {
    ExpectLines(RankKind::RankList,
                {
                    {"1,google.com", Type::Entry, "com.google", 1},
                    {"250, Example.ORG ", Type::Entry, "org.example", 250},
                    {"9,xn--80ak6aa92e.com.", Type::Entry, "com.xn--80ak6aa92e", 9},
                    {"3,www.Example.co.uk", Type::Entry, "uk.co.example.www", 3},
                    {"# a comment", Type::Header},
                    {"", Type::Blank},
                    {"rank,domain", Type::Malformed}, // only a first line may name the columns
                    {"1", Type::Malformed},
                    {"1,", Type::Malformed},
                    {",example.com", Type::Malformed},
                    {"x1,example.com", Type::Malformed},
                    {"1,a.com,b.com", Type::Malformed},
                    {"1,a..com", Type::Malformed},
                    {"1\texample.com", Type::Malformed},
                    {"1,com.example\t1", Type::Malformed},
                });
    RankLineParser parser(RankKind::RankList);
    EXPECT_EQ(parser.Parse("rank,domain", 1).type, Type::Header);
    EXPECT_EQ(parser.Parse("1,", 1).type, Type::Malformed);
    const std::string tooLong = "1," + std::string(250, 'a') + ".com";
    EXPECT_EQ(parser.Parse(tooLong, 3).type, Type::Malformed);
}

} // namespace
} // namespace rankindex
