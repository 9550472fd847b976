#include "core/NameList.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

using Lines = std::vector<std::pair<std::size_t, std::string>>;
using Names = std::vector<std::string>;

struct Read {
    Names names;
    Lines bad;
    std::size_t count = 0;
};

Read ReadAll(const std::string &text) {
    core::NameList list(text);
    Read read;
    list.Check([&](const core::BadName &bad) { read.bad.emplace_back(bad.line, bad.text); });
    read.count = list.Count();
    while (auto name = list.Next())
        read.names.push_back(*name);
    return read;
}

} // namespace

TEST(NameList, TakesTheNamesOfItsLinesAndTellsTheBadOnesByNumber) {
    const std::string longLine = std::string(1030, 'a') + ".com";
    const std::string longBad = std::string(100, '_');
    const struct {
        std::string text;
        Names names;
        Lines bad;
    } cases[] = {
        {"", {}, {}},
        {"a.com", {"a.com"}, {}},
        {"a.com\nb.net\n", {"a.com", "b.net"}, {}},
        {"  a.com \t\r\n\n# b.com\n\r\nc.org", {"a.com", "c.org"}, {}},
        {"a.com\nnot a name\nx_y.org\nb..c\n-a.com\nd.com\n",
         {"a.com", "d.com"},
         {{2, "not a name"}, {3, "x_y.org"}, {4, "b..c"}, {5, "-a.com"}}},
        {"com\n" + std::string(64, 'a') + ".com\n",
         {},
         {{1, "com"}, {2, std::string(64, 'a') + ".com"}}},
        // Too long to be a name: shown cut, and the line after it is read as usual.
        {longLine + "\nok.com\n", {"ok.com"}, {{1, std::string(80, 'a')}}},
        {longBad + "\n", {}, {{1, std::string(80, '_')}}},
    };
    for (const auto &c : cases) {
        const Read read = ReadAll(c.text);
        EXPECT_EQ(read.names, c.names) << c.text;
        EXPECT_EQ(read.bad, c.bad) << c.text;
        EXPECT_EQ(read.count, c.names.size()) << c.text;
    }
}

TEST(NameList, GivesEachNameWhenAskedAndEndsOnce) {
    core::NameList list("a.com\nbad\nb.com\n");
    list.Check([](const core::BadName &) {});
    EXPECT_EQ(list.Next(), "a.com");
    EXPECT_EQ(list.Next(), "b.com");
    EXPECT_EQ(list.Next(), std::nullopt);
    EXPECT_EQ(list.Next(), std::nullopt);
}

// A host below a registered name is neither delegated nor on record at its registry, so it
// would come out free; such a line is refused with its number, as is a public suffix.
TEST(NameList, RefusesLinesThatAreNoRegistrableName) {
    core::NameList list("fastcar.com\n"
                        "www.example-taken.com\n"
                        "Example.co.uk\n"
                        "shop.example.co.uk\n"
                        "co.uk\n"
                        "bad..name\n");
    struct Seen {
        std::size_t line;
        std::string text;
        core::NameFault fault;
        std::string registrable;
    };
    std::vector<Seen> seen;
    list.Check([&](const core::BadName &bad) {
        seen.push_back({bad.line, std::string(bad.text), bad.fault, bad.registrable});
    });
    Names names;
    while (auto name = list.Next())
        names.push_back(*name);
    EXPECT_EQ(names, (Names{"fastcar.com", "Example.co.uk"}));
    EXPECT_EQ(list.Count(), 2u);
    struct Expected {
        std::size_t line;
        const char *text;
        core::NameFault fault;
        const char *registrable;
    };
    const Expected expected[] = {
        {2, "www.example-taken.com", core::NameFault::BelowRegistrableName, "example-taken.com"},
        {4, "shop.example.co.uk", core::NameFault::BelowRegistrableName, "example.co.uk"},
        {5, "co.uk", core::NameFault::PublicSuffix, ""},
        {6, "bad..name", core::NameFault::NotAName, ""},
    };
    ASSERT_EQ(seen.size(), std::size(expected));
    for (std::size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i].line, expected[i].line);
        EXPECT_EQ(seen[i].text, expected[i].text);
        EXPECT_EQ(seen[i].fault, expected[i].fault) << expected[i].text;
        EXPECT_EQ(seen[i].registrable, expected[i].registrable);
    }
}

// Unicode lines are taken in their ASCII form; one that has none is told by its number and text.
TEST(NameList, TakesUnicodeLinesInTheirAsciiForm) {
    const Read read = ReadAll("Bäcker.com\nbäcker.рф\nbä cker.com\nwww.bäcker.de\n");
    EXPECT_EQ(read.names, (Names{"xn--bcker-gra.com", "xn--bcker-gra.xn--p1ai"}));
    EXPECT_EQ(read.count, 2u);
    EXPECT_EQ(read.bad, (Lines{{3, "bä cker.com"}, {4, "www.bäcker.de"}}));
}
