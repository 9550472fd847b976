#include "rankindex/NameScan.h"

#include "rankindex/ImportError.h"
#include "rankindex/RankImport.h"
#include "rankindex/RankIndex.h"
#include "tests/rankindex/DataFiles.h"
#include "tests/support/OldIndexForms.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>

namespace rankindex {
namespace {

struct Listed {
    const char *reversed;
    std::uint32_t hosts;
};

// Positions are the order here; fillers follow, enough for many blocks.
const Listed kNames[] = {
    {"com.bookshop", 50},   {"com.example", 125},        {"de.xn--bcher-kva", 12},
    {"uk.co.bookcase", 7},  {"com.shopbooks", 1},        {"org.bookshop", 3},
    {"com.co.bookfair", 2}, {"com.blogspot.bookish", 4}, {"net.fast-car", 2},
    {"COM.BookBarn", 9},
};
constexpr int kFillers = 3000;

std::string WebGraphText() {
    std::string text = "#harmonicc_pos\t#harmonicc_val\t#pr_pos\t#pr_val\t#host_rev\t#n_hosts\n";
    int position = 0;
    auto line = [&](const std::string &name, std::uint32_t hosts) {
        ++position;
        text += std::to_string(position) + "\t3.4E7\t" + std::to_string(position + 1000) +
                "\t0.0012\t" + name + "\t" + std::to_string(hosts) + "\n";
    };
    for (const Listed &listed : kNames)
        line(listed.reversed, listed.hosts);
    for (int i = 1; i <= kFillers; ++i)
        line("com.filler" + std::to_string(i), 1);
    // A worse second listing of a name changes nothing.
    line("com.bookshop", 1);
    return text;
}

class NameSearchTest : public ::testing::Test {
protected:
    NameSearchTest() {
        testdata::WriteGzip(Source(), WebGraphText());
        // Small runs, so that the names go through temporary files and a merge.
        ImportRankFile(RankKind::WebGraph, Source(), folder_.Path(), {{}, 400});
    }
    std::filesystem::path Source() const { return folder_.Path() / "ranks.txt.gz"; }
    std::filesystem::path Index() const { return IndexPath(folder_.Path(), RankKind::WebGraph); }
    static std::vector<std::string> Search(const RankIndex &index, NameQuery query,
                                           std::uint64_t blocksPerStep = 1) {
        NameScan scan(*index.Names(), std::move(query));
        while (scan.Step(blocksPerStep)) {
        }
        std::vector<std::string> names;
        for (const NameMatch &match : scan.Matches())
            names.push_back(match.name);
        return names;
    }

    TempFolder folder_{"nimbrel-names"};
};

TEST_F(NameSearchTest, EveryNameIsFoundWithItsNumbers) {
    const RankIndex index(Index());
    ASSERT_NE(index.Names(), nullptr);
    EXPECT_TRUE(index.Info().searchable);
    EXPECT_EQ(index.Info().names, std::size(kNames) + kFillers);
    const NameSection &names = *index.Names();
    EXPECT_EQ(names.Find("bookshop.com"), (NameFacts{1, 1001, 50}));
    EXPECT_EQ(names.Find("BookBarn.Com."), (NameFacts{10, 1010, 9}));
    EXPECT_EQ(names.Find("xn--bcher-kva.de"), (NameFacts{3, 1003, 12}));
    EXPECT_EQ(names.Find("bookcase.co.uk"), (NameFacts{4, 1004, 7}));
    for (int i = 1; i <= kFillers; ++i) {
        const auto position = static_cast<std::uint32_t>(std::size(kNames) + i);
        EXPECT_EQ(names.Find("filler" + std::to_string(i) + ".com"),
                  (NameFacts{position, position + 1000, 1}))
            << i;
    }
    for (const char *missing : {"", "com", "bookshop", "bookshop.co", "aaa.com", "zzz.zz",
                                "filler30000.com", "bookshop.com.com"})
        EXPECT_EQ(names.Find(missing), std::nullopt) << missing;
    EXPECT_EQ(names.Find(std::string(300, 'a')), std::nullopt);
}

TEST_F(NameSearchTest, KeywordScanKeepsTheBestMatchesInRankOrder) {
    const struct {
        std::vector<std::string> keywords;
        std::vector<std::string> suffixes;
        std::uint32_t minHosts;
        std::size_t maxLength;
        std::size_t limit;
        std::vector<std::string> expected;
    } cases[] = {
        {{"book"}, {"com"}, 0, 0, 100, {"bookshop.com", "shopbooks.com", "bookbarn.com"}},
        {{"book"},
         {"com", "co.com"},
         0,
         0,
         100,
         {"bookshop.com", "shopbooks.com", "bookfair.co.com", "bookbarn.com"}},
        {{"book"},
         {},
         0,
         0,
         100,
         {"bookshop.com", "bookcase.co.uk", "shopbooks.com", "bookshop.org", "bookfair.co.com",
          "bookish.blogspot.com", "bookbarn.com"}},
        {{"BOOK", "shop"},
         {"org", "com"},
         0,
         0,
         100,
         {"bookshop.com", "shopbooks.com", "bookshop.org"}},
        {{"book"}, {"com"}, 9, 0, 100, {"bookshop.com", "bookbarn.com"}},
        {{"book"}, {"com"}, 0, 8, 100, {"bookshop.com", "bookbarn.com"}},
        {{"xn--bcher"}, {"de"}, 0, 0, 100, {"xn--bcher-kva.de"}},
        {{"bücher"}, {"de"}, 0, 0, 100, {}},
        {{"book"}, {"co.uk"}, 0, 0, 100, {"bookcase.co.uk"}},
        {{"book"}, {"uk"}, 0, 0, 100, {}},
        {{"filler", "29"}, {"com"}, 0, 0, 3, {"filler29.com", "filler129.com", "filler229.com"}},
        {{"filler"}, {"org", "net"}, 0, 0, 100, {}},
        {{"fast-car"}, {"net"}, 0, 0, 100, {"fast-car.net"}},
        {{}, {"org", "de"}, 0, 0, 100, {"xn--bcher-kva.de", "bookshop.org"}},
        {{"book"}, {"com"}, 0, 0, 0, {}},
    };
    const RankIndex index(Index());
    for (const auto &c : cases) {
        const NameQuery query{c.keywords, c.suffixes, c.minHosts, c.maxLength, c.limit};
        EXPECT_EQ(Search(index, query), c.expected) << c.keywords.front();
        // The slices a scan is cut into do not change what it finds.
        EXPECT_EQ(Search(index, query, 1000), c.expected) << c.keywords.front();
    }
}

TEST_F(NameSearchTest, ScanStopsBetweenSlices) {
    const RankIndex index(Index());
    NameScan scan(*index.Names(), {{"filler"}, {"com"}, 0, 0, 5});
    EXPECT_TRUE(scan.Step(2));
    EXPECT_EQ(scan.BlocksScanned(), 2u);
    EXPECT_FALSE(scan.Done());
    EXPECT_LE(scan.Matches().size(), 5u);
}

// Indexes of the forms older imports wrote, still on users' disks, answer as the current form
// does: version 1 lookups only, version 2 lookups through its hash records and its names with
// their numbers at fixed width.
TEST_F(NameSearchTest, OlderIndexFormsAnswerAsTheCurrentOne) {
    const RankIndex current(Index());
    EXPECT_EQ(current.Info().version, kRankIndexVersion);
    const struct Form {
        const char *label;
        void (*make)(const std::filesystem::path &);
        std::uint32_t version;
        bool searchable;
    } forms[] = {
        {"hash-only", testsupport::MakeHashOnly, kHashOnlyRankIndexVersion, false},
        {"version 2", testsupport::MakeVersion2, kNamedRecordsRankIndexVersion, true},
    };
    std::vector<std::string> names = {"BookBarn.Com.", "bookshop.co", "nothere.com", ""};
    for (const Listed &listed : kNames)
        names.push_back(TurnLabels(listed.reversed));
    for (int i = 1; i <= kFillers + 1; i += 7)
        names.push_back("filler" + std::to_string(i) + ".com");
    const NameQuery query{{"book"}, {}, 0, 0, 100};
    for (const Form &form : forms) {
        const auto path = folder_.Path() / (std::string(form.label) + ".idx");
        std::filesystem::copy_file(Index(), path);
        form.make(path);
        const RankIndex old(path);
        EXPECT_EQ(old.Info().version, form.version) << form.label;
        EXPECT_EQ(old.Info().searchable, form.searchable) << form.label;
        EXPECT_EQ(old.Info().entries, current.Info().entries) << form.label;
        EXPECT_EQ(old.Grams(), nullptr) << form.label;
        for (const std::string &name : names) {
            EXPECT_EQ(old.Find(name), current.Find(name)) << form.label << " " << name;
            if (form.searchable) {
                EXPECT_EQ(old.Names()->Find(name), current.Names()->Find(name))
                    << form.label << " " << name;
            }
        }
        EXPECT_EQ(old.Names() != nullptr, form.searchable) << form.label;
        if (form.searchable) {
            EXPECT_EQ(Search(old, query), Search(current, query)) << form.label;
        }
    }
}

// Numbers are packed at the widths of their block's largest: every width from none to 32 bits,
// and host counts of one to five bytes, come back whole, by lookup and by a walk of the blocks.
TEST_F(NameSearchTest, NumbersOfEveryWidthComeBackWhole) {
    struct Row {
        std::string reversed;
        std::uint32_t harmonic;
        std::string pageRank; // as the file gives it
        std::string hosts;
        NameFacts facts;
    };
    std::vector<Row> rows = {
        {"com.a", 1, "0", "0", {1, 0, 0}},
        {"com.b", 4294967295, "1", "1", {4294967295, 1, 1}},
        {"com.c", 2147483648, "4294967295", "127", {2147483648, 4294967295, 127}},
        {"com.d", 3, "99999999999", "128", {3, 4294967295, 128}},
        {"com.e", 65536, "2", "16384", {65536, 2, 16384}},
        {"com.f", 7, "3", "4294967295", {7, 3, 4294967295}},
    };
    // Enough more for a second block, whose widths differ from the first one's.
    for (std::uint32_t i = 1; i <= 20; ++i)
        rows.push_back({"net.n" + std::to_string(100 + i),
                        i + 10,
                        std::to_string(i),
                        std::to_string(i * 1000),
                        {i + 10, i, i * 1000}});
    std::string text;
    for (const Row &row : rows)
        text += std::to_string(row.harmonic) + "\t1.0\t" + row.pageRank + "\t0.1\t" + row.reversed +
                "\t" + row.hosts + "\n";
    testdata::WritePlain(folder_.Path() / "wide.txt", text);
    const auto wideFolder = folder_.Path() / "wide";
    ImportRankFile(RankKind::WebGraph, folder_.Path() / "wide.txt", wideFolder);
    const RankIndex index(IndexPath(wideFolder, RankKind::WebGraph));
    const NameSection &names = *index.Names();
    std::map<std::string, NameFacts> walked;
    for (std::uint64_t block = 0; block < names.BlockCount(); ++block) {
        NameBlockReader reader = names.Block(block);
        std::string_view name;
        NameFacts facts;
        while (reader.Next(name, facts))
            walked[std::string(name)] = facts;
    }
    EXPECT_EQ(walked.size(), rows.size());
    for (const Row &row : rows) {
        EXPECT_EQ(names.FindStored(row.reversed), row.facts) << row.reversed;
        EXPECT_EQ(walked[row.reversed], row.facts) << row.reversed;
        EXPECT_EQ(index.Find(TurnLabels(row.reversed)), row.harmonic) << row.reversed;
    }
}

TEST_F(NameSearchTest, RankListKeepsItsNamesByRank) {
    testdata::WritePlain(folder_.Path() / "list.csv", "rank,domain\n1,Example.com\n2,car.de\n"
                                                      "3,bookcar.com\n4,example.com\n5,cars.net\n");
    // Small runs, so that the names go through temporary files and a merge here too.
    ImportRankFile(RankKind::RankList, folder_.Path() / "list.csv", folder_.Path(), {{}, 2});
    const RankIndex index(IndexPath(folder_.Path(), RankKind::RankList));
    ASSERT_TRUE(index.Info().searchable);
    EXPECT_EQ(index.Info().names, 4u);
    const NameSection &names = *index.Names();
    struct Case {
        const char *name;
        std::optional<NameFacts> facts;
    };
    const Case cases[] = {
        {"example.com", NameFacts{1, 0, 0}}, // the better of its two ranks
        {"car.de", NameFacts{2, 0, 0}},
        {"CARS.NET.", NameFacts{5, 0, 0}},
        {"car.com", std::nullopt},
    };
    for (const Case &c : cases)
        EXPECT_EQ(names.Find(c.name), c.facts) << c.name;
    EXPECT_EQ(Search(index, {{"car"}, {}, 0, 0, 10}),
              (std::vector<std::string>{"car.de", "bookcar.com", "cars.net"}));
}

TEST_F(NameSearchTest, TruncatedImportKeepsTheSearchableIndex) {
    const std::string gzip = testdata::FileBytes(Source());
    const auto cut = folder_.Path() / "cut.txt.gz";
    testdata::WritePlain(cut, gzip.substr(0, gzip.size() / 2));
    EXPECT_THROW(ImportRankFile(RankKind::WebGraph, cut, folder_.Path()), EImportError);
    const RankIndex index(Index());
    EXPECT_EQ(Search(index, {{"bookshop"}, {"com"}, 0, 0, 10}),
              std::vector<std::string>{"bookshop.com"});
}

TEST_F(NameSearchTest, DamagedNamesSectionIsRefusedOrKeptInBounds) {
    const std::string good = testdata::FileBytes(Index());
    RankIndexHeader header;
    std::memcpy(&header, good.data(), sizeof header);
    const std::size_t section = NamesOffset(header);
    NameSectionHeader names;
    std::memcpy(&names, good.data() + section, sizeof names);
    const auto damaged = folder_.Path() / "damaged.idx";
    auto withNames = [&](auto change) {
        NameSectionHeader copy = names;
        change(copy);
        std::string bytes = good;
        std::memcpy(bytes.data() + section, &copy, sizeof copy);
        return bytes;
    };
    const std::string refused[] = {
        withNames([](NameSectionHeader &h) { h.magic[0] = 'X'; }),
        withNames([](NameSectionHeader &h) { h.blockCount += 1; }),
        withNames([](NameSectionHeader &h) { h.namesPerBlock = 0; }),
        withNames([](NameSectionHeader &h) { h.blocksBytes = ~std::uint64_t{0}; }),
        withNames([](NameSectionHeader &h) { h.indexOffset = ~std::uint64_t{0} - 7; }),
        withNames([](NameSectionHeader &h) { h.nameCount = ~std::uint64_t{0}; }),
        withNames([](NameSectionHeader &h) { h.coding = 3; }),
        // The index header's count of names disagrees with the section's.
        [&] {
            RankIndexHeader copy = header;
            copy.entryCount += 1;
            std::string bytes = good;
            std::memcpy(bytes.data(), &copy, sizeof copy);
            return bytes;
        }(),
    };
    for (const std::string &bytes : refused) {
        testdata::WritePlain(damaged, bytes);
        EXPECT_THROW(RankIndex{damaged}, EIndexError);
    }
    // Block offsets and names bytes that point anywhere: lookups and scans stay inside the file
    // (the sanitizer build would say otherwise) and never find a name that is not there.
    std::string scrambled = good;
    for (std::size_t i = section + sizeof names; i < scrambled.size(); i += 7)
        scrambled[i] = static_cast<char>(scrambled[i] * 31 + 17);
    testdata::WritePlain(damaged, scrambled);
    const RankIndex index(damaged);
    EXPECT_EQ(index.Names()->Find("nothere.com"), std::nullopt);
    Search(index, {{"a"}, {}, 0, 0, 10});
}

// Names that share their first 16 bytes across many blocks tie in the block index; they are told
// apart by the names themselves. With most of them tied, the ties run across the top level's
// groups of blocks too.
TEST_F(NameSearchTest, LookupsFindEveryNameAmongTiesOfTheBlockIndex) {
    struct Case {
        int names;
        bool tiedMostly;
    };
    for (const Case c : {Case{2000, false}, Case{5000, true}}) {
        std::string text;
        std::vector<std::string> names;
        for (int i = 0; i < c.names; ++i) {
            const bool tied = (i % 3 == 0) != c.tiedMostly;
            const std::string middle = tied ? "sharedsharedprefix" : "n";
            names.push_back("com." + middle + std::to_string(i * 7919 % c.names));
            text += std::to_string(i + 1) + "\t1.0\t1\t0.1\t" + names.back() + "\t3\n";
        }
        const auto tiesFolder = folder_.Path() / ("ties" + std::to_string(c.names));
        testdata::WritePlain(tiesFolder.string() + ".txt", text);
        ImportRankFile(RankKind::WebGraph, tiesFolder.string() + ".txt", tiesFolder);
        const RankIndex index(IndexPath(tiesFolder, RankKind::WebGraph));
        ASSERT_GT(index.Names()->BlockCount(), kBlocksPerTopKey) << c.names;
        for (std::size_t i = 0; i < names.size(); ++i) {
            const auto facts = index.Names()->FindStored(names[i]);
            ASSERT_TRUE(facts) << names[i];
            EXPECT_EQ(facts->harmonicPosition, i + 1) << names[i];
        }
        for (const char *absent : {"com.sharedsharedprefix", "com.sharedsharedprefix99999", "a",
                                   "com.n", "zz.zz", "com.sharedsharedprefiw1"})
            EXPECT_EQ(index.Names()->FindStored(absent), std::nullopt) << absent;
    }
}

} // namespace
} // namespace rankindex
