#include "rankindex/GramSearch.h"

#include "rankindex/ImportError.h"
#include "rankindex/NameScan.h"
#include "rankindex/RankImport.h"
#include "rankindex/RankIndex.h"
#include "tests/rankindex/DataFiles.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <random>

namespace rankindex {
namespace {

constexpr int kNames = 6000;

// Names of a few syllables under several suffixes, some punycode, some under a registered name;
// every ninth shares the position of the one before, so that ties are settled by the name.
std::string WebGraphText() {
    static const char *const syllables[] = {"ka",  "lo", "car", "sun", "tri", "vo", "xn--", "pa",
                                            "dor", "fi", "e",   "hub", "net", "ra", "-",    "bo"};
    static const char *const suffixes[] = {"com", "net", "de", "uk.co", "org", "com.co"};
    std::mt19937 random(5);
    std::string text = "#harmonicc_pos\t#harmonicc_val\t#pr_pos\t#pr_val\t#host_rev\t#n_hosts\n";
    std::uint32_t position = 0;
    for (int i = 1; i <= kNames; ++i) {
        std::string label;
        for (int count = 1 + static_cast<int>(random() % 4); count > 0; --count)
            label += syllables[random() % 16];
        if (random() % 3 == 0)
            label += std::to_string(random() % 100);
        std::string name = std::string(suffixes[random() % 6]) + "." + label;
        if (random() % 10 == 0)
            name += ".blog";
        if (i % 9 != 0)
            ++position;
        text += std::to_string(position) + "\t1.5E7\t" + std::to_string(i) + "\t0.001\t" + name +
                "\t" + std::to_string(random() % 20) + "\n";
    }
    return text;
}

// The same lines in another order, the header first: positions no longer ascend, and a name that
// comes twice may come at its better position after its worse one.
std::string Shuffled(const std::string &text) {
    std::vector<std::string> lines;
    std::size_t at = text.find('\n') + 1;
    while (at < text.size()) {
        const std::size_t end = text.find('\n', at) + 1;
        lines.push_back(text.substr(at, end - at));
        at = end;
    }
    std::shuffle(lines.begin(), lines.end(), std::mt19937(11));
    std::string shuffled = text.substr(0, text.find('\n') + 1);
    for (const std::string &line : lines)
        shuffled += line;
    return shuffled;
}

std::vector<std::string> RunToEnd(NameSearch &search, std::uint64_t work) {
    while (search.Step(work)) {
    }
    std::vector<std::string> names;
    for (const NameMatch &match : search.Matches())
        names.push_back(match.name + " " + std::to_string(match.facts.harmonicPosition));
    return names;
}

std::vector<std::string> Scanned(const RankIndex &index, const NameQuery &query) {
    NameScan scan(*index.Names(), query);
    return RunToEnd(scan, 64);
}

class GramSearchTest : public ::testing::Test {
protected:
    GramSearchTest() {
        testdata::WritePlain(Source(), WebGraphText());
        // Small runs, so that the names and the lists go through temporary files.
        ImportRankFile(RankKind::WebGraph, Source(), folder_.Path(), {{}, 400});
        std::filesystem::create_directory(ShuffledFolder());
        testdata::WritePlain(ShuffledFolder() / "shuffled-ranks.txt", Shuffled(WebGraphText()));
        ImportRankFile(RankKind::WebGraph, ShuffledFolder() / "shuffled-ranks.txt",
                       ShuffledFolder(), {{}, 400});
    }
    std::filesystem::path Source() const { return folder_.Path() / "ranks.txt"; }
    std::filesystem::path Index() const { return IndexPath(folder_.Path(), RankKind::WebGraph); }
    std::filesystem::path ShuffledFolder() const { return folder_.Path() / "shuffled"; }
    // Where the n-gram section of an index file starts.
    static std::uint64_t GramsOffset(const std::string &bytes, const RankIndex &index) {
        RankIndexHeader header;
        std::memcpy(&header, bytes.data(), sizeof header);
        return (NamesOffset(header) + index.Names()->Bytes() + 7) & ~std::uint64_t{7};
    }

    TempFolder folder_{"nimbrel-grams"};
};

const NameQuery kQueries[] = {
    {{"car"}, {}, 0, 0, 100},
    {{"car"}, {"com"}, 0, 0, 20},
    {{"CAR"}, {"com", "com.co", "co.uk"}, 0, 0, 50},
    {{"ka"}, {"de"}, 0, 0, 30}, // shorter than a trigram
    {{"e"}, {}, 3, 6, 40},      // one letter, host and length limits
    {{"sun", "ka"}, {"net", "org"}, 0, 0, 100},
    {{"lo", "tri", "bo"}, {}, 0, 0, 100}, // one keyword long enough, two not
    {{"xn--"}, {"de"}, 0, 0, 100},
    {{"a-b"}, {}, 0, 0, 100},
    {{"car"}, {}, 10, 0, 100},
    {{"car"}, {}, 0, 7, 100},
    {{"arlo"}, {"com"}, 5, 9, 100},
    {{"co.c"}, {}, 0, 0, 100}, // across a dot: the name part is stored reversed
    {{"blog"}, {}, 0, 0, 100},
    {{"blog"}, {"com"}, 0, 0, 100}, // under a registered name: never one label
    {{"qqq"}, {}, 0, 0, 100},
    {{"car"}, {"example"}, 0, 0, 100},
    {{"car"}, {"bad..suffix"}, 0, 0, 100},
    {{}, {"co.uk"}, 0, 0, 25},
    {{}, {}, 0, 0, 1},
    {{}, {}, 0, 0, 8}, // the limit falls on a tie: the name settles it
    {{}, {}, 0, 0, 17},
    {{}, {}, 0, 0, 26},
    {{}, {}, 0, 0, 35},
    {{"car"}, {}, 0, 0, 0},
    {{"ka"}, {}, 0, 0, 100000}, // everything that matches
};

// Over the file as the graph gives it, in position order, and over the same lines shuffled, whose
// lists are no longer in position order and whose repeated names leave ranks without a name.
TEST_F(GramSearchTest, FindsWhatTheScanFinds) {
    for (const bool inOrder : {true, false}) {
        const RankIndex index(
            IndexPath(inOrder ? folder_.Path() : ShuffledFolder(), RankKind::WebGraph));
        ASSERT_NE(index.Grams(), nullptr);
        EXPECT_EQ(index.Grams()->InPositionOrder(), inOrder);
        EXPECT_EQ(index.Grams()->RankCount(), std::uint64_t{kNames});
        std::uint64_t withoutName = 0;
        for (std::uint64_t rank = 0; rank < kNames; ++rank)
            withoutName += !index.Grams()->NameOfRank(rank).has_value();
        EXPECT_EQ(withoutName, kNames - index.Names()->NameCount());
        EXPECT_GT(withoutName, 0u);
        for (const NameQuery &query : kQueries) {
            const std::vector<std::string> expected = Scanned(index, query);
            GramSearch oneByOne(*index.Names(), *index.Grams(), query);
            EXPECT_EQ(RunToEnd(oneByOne, 1), expected) << ::testing::PrintToString(query.keywords);
            const auto search = SearchNames(index, query);
            EXPECT_NE(dynamic_cast<GramSearch *>(search.get()), nullptr);
            EXPECT_EQ(RunToEnd(*search, 1000), expected)
                << ::testing::PrintToString(query.keywords);
        }
        // The table is worth its rows only if most of them find something.
        EXPECT_GT(Scanned(index, kQueries[0]).size(), 50u);
        EXPECT_GT(Scanned(index, kQueries[3]).size(), 10u);
    }
}

// The lists decide how many names are read: a common keyword is done after a few, best first;
// several trigrams and a suffix narrow the names read to about those that match.
TEST_F(GramSearchTest, ListsNarrowTheNamesRead) {
    const struct {
        NameQuery query;
        std::uint64_t mostRead;
    } cases[] = {
        {{{"ka"}, {}, 0, 0, 10}, 200},
        {{{"car"}, {}, 0, 0, 10}, 50},
        {{{}, {"de"}, 0, 0, 100000}, kNames / 5},
        {{{"car"}, {"de"}, 0, 0, 100000}, kNames / 20},
        {{{"carka"}, {}, 0, 0, 100000}, 80},
    };
    const RankIndex index(Index());
    for (const auto &c : cases) {
        GramSearch search(*index.Names(), *index.Grams(), c.query);
        RunToEnd(search, 16);
        EXPECT_FALSE(search.Matches().empty());
        EXPECT_LE(search.NamesRead(), c.mostRead) << ::testing::PrintToString(c.query.keywords);
    }
}

// The best ranked names long and the rest short, so that the first runs of (trigram, rank) pairs
// hold far fewer names than the later ones.
std::string LongNamesFirstText() {
    std::string text = "#harmonicc_pos\t#harmonicc_val\t#pr_pos\t#pr_val\t#host_rev\t#n_hosts\n";
    for (int i = 1; i <= 3000; ++i) {
        std::string label = "car" + std::to_string(i);
        for (int k = 0; i <= 300 && k < 12; ++k)
            label += std::string(1, static_cast<char>('a' + (i * 7 + k * 3) % 26)) + "xq";
        text +=
            std::to_string(i) + "\t1.5E7\t" + std::to_string(i) + "\t0.001\tcom." + label + "\t3\n";
    }
    return text;
}

// Lists far apart in shape: one trigram on nearly every name, whose piece of a single run is
// tens of kilobytes; one on the first names and then once near the end, a gap many times its
// list's Rice parameter; one every 997th name, gaps of two LEB128 bytes in a run.
std::string ListShapesText() {
    std::string text = "#harmonicc_pos\t#harmonicc_val\t#pr_pos\t#pr_val\t#host_rev\t#n_hosts\n";
    for (int i = 1; i <= 24000; ++i) {
        std::string label = (i <= 20000 ? "car" : "bo") + std::to_string(i);
        if (i <= 50 || i == 23999)
            label += "zqv";
        if (i % 997 == 0)
            label += "wyx";
        text += std::to_string(i) + "\t1.5E7\t" + std::to_string(i) + "\t0.001\t" +
                (i % 5 == 0 ? "de." : "com.") + label + "\t3\n";
    }
    return text;
}

// The temporary runs only bound memory: an index built in runs of any size, whose lists are
// pieced together from many runs, holds the same bytes as one built in a single run, its import
// time aside.
TEST_F(GramSearchTest, RunSizeLeavesTheIndexAsItIs) {
    const auto withoutTime = [](std::string bytes) {
        std::memset(bytes.data() + offsetof(RankIndexHeader, importTime), 0,
                    sizeof(RankIndexHeader::importTime));
        return bytes;
    };
    const auto longFirst = folder_.Path() / "long-first.txt";
    testdata::WritePlain(longFirst, LongNamesFirstText());
    const auto shapes = folder_.Path() / "shapes.txt";
    testdata::WritePlain(shapes, ListShapesText());
    for (const auto &source :
         {Source(), longFirst, ShuffledFolder() / "shuffled-ranks.txt", shapes}) {
        const auto oneRun = folder_.Path() / ("one-run-" + source.stem().string());
        std::filesystem::create_directory(oneRun);
        ImportRankFile(RankKind::WebGraph, source, oneRun, {{}, std::size_t{1} << 20});
        const std::string expected =
            withoutTime(testdata::FileBytes(IndexPath(oneRun, RankKind::WebGraph)));
        for (const std::size_t runEntries : {std::size_t{400}, std::size_t{5000}}) {
            const auto folder =
                folder_.Path() / ("runs-" + std::to_string(runEntries) + source.stem().string());
            std::filesystem::create_directory(folder);
            ImportRankFile(RankKind::WebGraph, source, folder, {{}, runEntries});
            EXPECT_EQ(withoutTime(testdata::FileBytes(IndexPath(folder, RankKind::WebGraph))),
                      expected)
                << source << " " << runEntries;
        }
    }
}

TEST_F(GramSearchTest, ListsOfEveryShapeFindWhatTheScanFinds) {
    const NameQuery queries[] = {
        {{"car"}, {}, 0, 0, 100000},     {{"zqv"}, {}, 0, 0, 100},     {{"wyx"}, {}, 0, 0, 100},
        {{"car", "wyx"}, {}, 0, 0, 100}, {{"bo2"}, {"de"}, 0, 0, 100}, {{"qv"}, {}, 0, 0, 100},
        {{}, {"com"}, 0, 0, 100000},
    };
    const auto source = folder_.Path() / "list-shapes.txt";
    testdata::WritePlain(source, ListShapesText());
    // One run, whose pieces are whole lists, and many.
    for (const std::size_t runEntries : {std::size_t{1} << 20, std::size_t{3000}}) {
        const auto folder = folder_.Path() / ("shapes-" + std::to_string(runEntries));
        std::filesystem::create_directory(folder);
        ImportRankFile(RankKind::WebGraph, source, folder, {{}, runEntries});
        const RankIndex index(IndexPath(folder, RankKind::WebGraph));
        ASSERT_NE(index.Grams(), nullptr);
        for (const NameQuery &query : queries) {
            const std::vector<std::string> expected = Scanned(index, query);
            EXPECT_FALSE(expected.empty()) << ::testing::PrintToString(query.keywords);
            GramSearch search(*index.Names(), *index.Grams(), query);
            EXPECT_EQ(RunToEnd(search, 1000), expected)
                << ::testing::PrintToString(query.keywords) << " " << runEntries;
        }
    }
}

// A cancel asked for once the records and names are written still stops the n-gram build, and the
// index imported before stays as it was.
TEST_F(GramSearchTest, CancelDuringTheBuildKeepsThePreviousIndex) {
    const std::string before = testdata::FileBytes(Index());
    bool asked = false;
    const ImportProgressHandler cancelAtTheEnd = [&](const ImportProgress &progress) {
        if (progress.stage != ImportProgress::Stage::Writing || progress.done != progress.total)
            return true;
        asked = true;
        return false;
    };
    EXPECT_THROW(
        ImportRankFile(RankKind::WebGraph, Source(), folder_.Path(), {cancelAtTheEnd, 400}),
        EImportCancelled);
    EXPECT_TRUE(asked);
    EXPECT_EQ(testdata::FileBytes(Index()), before);
}

// The file cut after its names section, as an index imported before the n-gram section was
// written; and one whose n-gram section is damaged. Both are searched by a scan.
TEST_F(GramSearchTest, IndexWithoutUsableGramsIsScanned) {
    const std::string good = testdata::FileBytes(Index());
    RankIndexHeader header;
    std::memcpy(&header, good.data(), sizeof header);
    const std::uint64_t names = NamesOffset(header);
    const std::uint64_t namesEnd = names + RankIndex(Index()).Names()->Bytes();
    const std::uint64_t grams = (namesEnd + 7) & ~std::uint64_t{7};

    std::string cut = good.substr(0, namesEnd);
    header.fileSize = cut.size();
    std::memcpy(cut.data(), &header, sizeof header);
    std::string damaged = good;
    damaged[grams + 8] ^= 1; // the name count no longer agrees with the names section
    const NameQuery query{{"car"}, {"com"}, 0, 0, 20};
    const std::vector<std::string> expected = Scanned(RankIndex(Index()), query);
    for (const std::string *bytes : {&cut, &damaged}) {
        const auto path = folder_.Path() / "other.idx";
        testdata::WritePlain(path, *bytes);
        const RankIndex index(path);
        EXPECT_EQ(index.Grams(), nullptr);
        EXPECT_TRUE(index.Info().searchable);
        const auto search = SearchNames(index, query);
        ASSERT_NE(dynamic_cast<NameScan *>(search.get()), nullptr);
        EXPECT_EQ(RunToEnd(*search, 8), expected);
    }
}

// An index whose n-gram section has the first form (a 48-byte header, ranks that are the names'
// own order, places mapped as they are) is still searched through it. Made here from a section
// of the present form over distinct names in position order, where both forms rank alike.
TEST_F(GramSearchTest, FirstFormOfTheSectionIsStillSearched) {
    const auto folder = folder_.Path() / "first";
    std::filesystem::create_directory(folder);
    testdata::WritePlain(folder / "ranks.txt", LongNamesFirstText());
    ImportRankFile(RankKind::WebGraph, folder / "ranks.txt", folder, {{}, 400});
    const auto path = IndexPath(folder, RankKind::WebGraph);
    const std::string bytes = testdata::FileBytes(path);
    const std::uint64_t grams = GramsOffset(bytes, RankIndex(path));
    GramSectionHeader header;
    std::memcpy(&header, bytes.data() + grams, sizeof header);
    ASSERT_EQ(header.rankCount, header.nameCount);

    // The first form's map is the places in u32, its lists LEB128-coded: both are read back
    // through the present section and written again.
    const RankIndex present(path);
    const GramSection &section = *present.Grams();
    std::string map;
    for (std::uint64_t rank = 0; rank < header.rankCount; ++rank) {
        const std::uint32_t place = section.NameOfRank(rank).value();
        map.append(reinterpret_cast<const char *>(&place), 4);
    }
    std::string lists;
    std::string directory;
    for (std::uint64_t entry = 0; entry < header.gramCount; ++entry) {
        std::uint32_t key = 0;
        std::memcpy(&key, bytes.data() + grams + header.directoryOffset + entry * 16, 4);
        const auto list = section.Find(key).value();
        const std::uint64_t offset = lists.size();
        RankCursor cursor = list.cursor;
        std::uint32_t count = 0;
        for (std::uint64_t rank = 0, next = 0; cursor.Next(rank); next = rank + 1, ++count) {
            std::uint64_t gap = rank - next;
            for (; gap >= 0x80; gap >>= 7)
                lists += static_cast<char>(gap | 0x80);
            lists += static_cast<char>(gap);
        }
        EXPECT_EQ(count, list.ranks);
        directory.append(reinterpret_cast<const char *>(&key), 4);
        directory.append(reinterpret_cast<const char *>(&count), 4);
        directory.append(reinterpret_cast<const char *>(&offset), 8);
    }
    GramSectionHeader first = header;
    std::memcpy(first.magic, kFirstGramSectionMagic, sizeof first.magic);
    first.listsOffset = kFirstGramHeaderBytes + map.size();
    first.listsBytes = lists.size();
    first.directoryOffset = (first.listsOffset + first.listsBytes + 7) & ~std::uint64_t{7};
    std::string old = bytes.substr(0, grams);
    old.append(reinterpret_cast<const char *>(&first), kFirstGramHeaderBytes);
    old += map;
    old += lists;
    old.resize(grams + first.directoryOffset, '\0');
    old += directory;
    old += bytes.substr(grams + section.Bytes());
    RankIndexHeader indexHeader;
    std::memcpy(&indexHeader, old.data(), sizeof indexHeader);
    indexHeader.fileSize = old.size();
    std::memcpy(old.data(), &indexHeader, sizeof indexHeader);
    testdata::WritePlain(folder / "first.idx", old);

    const RankIndex index(folder / "first.idx");
    ASSERT_NE(index.Grams(), nullptr);
    EXPECT_TRUE(index.Grams()->InPositionOrder());
    EXPECT_EQ(index.Grams()->RankCount(), index.Names()->NameCount());
    for (const NameQuery &query :
         {NameQuery{{"car"}, {}, 0, 0, 10}, NameQuery{{"xq", "car1"}, {"com"}, 0, 0, 100},
          NameQuery{{"q"}, {}, 0, 0, 20}, NameQuery{{}, {"com"}, 0, 0, 5000}}) {
        GramSearch search(*index.Names(), *index.Grams(), query);
        const std::vector<std::string> found = RunToEnd(search, 16);
        EXPECT_EQ(found, Scanned(index, query)) << ::testing::PrintToString(query.keywords);
        EXPECT_FALSE(found.empty());
    }
}

// Lists and the rank map that point anywhere: searches stay inside the file (the sanitizer build
// would say otherwise) and find only names that are there.
TEST_F(GramSearchTest, ScrambledListsStayInBounds) {
    const std::string good = testdata::FileBytes(Index());
    RankIndexHeader header;
    std::memcpy(&header, good.data(), sizeof header);
    const std::uint64_t grams =
        (NamesOffset(header) + RankIndex(Index()).Names()->Bytes() + 7) & ~std::uint64_t{7};
    std::string scrambled = good;
    for (std::size_t i = grams + sizeof(GramSectionHeader); i < scrambled.size(); i += 5)
        scrambled[i] = static_cast<char>(scrambled[i] * 29 + 3);
    const auto path = folder_.Path() / "scrambled.idx";
    testdata::WritePlain(path, scrambled);
    const RankIndex index(path);
    ASSERT_NE(index.Grams(), nullptr);
    for (const NameQuery &query : kQueries) {
        GramSearch search(*index.Names(), *index.Grams(), query);
        for (const std::string &found : RunToEnd(search, 64)) {
            const std::string name = found.substr(0, found.find(' '));
            EXPECT_TRUE(index.Names()->Find(name).has_value()) << name;
        }
    }
}

} // namespace
} // namespace rankindex
