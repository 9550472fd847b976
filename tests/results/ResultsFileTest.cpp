#include "results/ResultsFile.h"

#include "platform/AtomicFile.h"
#include "platform/IniFile.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace results {
namespace {

const std::string DataFolder = std::string(NIMBREL_TEST_DATA) + "/results/";

// The five columns of the original file layout, which the golden files hold.
Columns OriginalColumns() {
    std::vector<Column> columns(Columns::Standard().begin(), Columns::Standard().begin() + 5);
    return Columns(columns);
}

// A row as one line: its cells joined by "|", then its check mark as 1 or 0.
std::vector<std::string> Snapshot(const ResultList &list) {
    std::vector<std::string> rows;
    for (int i = 0; i < list.Count(); ++i) {
        const ResultRow &row = *list.Row(i);
        std::string line = row.Caption();
        // Appended piece by piece: GCC 12 warns falsely about "|" + std::string at -O3.
        for (int s = 0; s < row.SubItemCount(); ++s) {
            line += '|';
            line += *row.SubItem(s);
        }
        rows.push_back(line + (row.Checked() ? "|1" : "|0"));
    }
    return rows;
}

void AddRow(ResultList &list, const std::vector<std::string> &cells, bool checked) {
    auto row = list.Append();
    row->SetCaption(cells[0]);
    for (std::size_t i = 1; i < cells.size(); ++i)
        row->AppendSubItem(cells[i]);
    row->SetChecked(checked);
}

// The text of a results file as the INI profile writes it, made from scratch.
std::string ProfileText(const ResultList &list) {
    platform::IniFile ini;
    for (int k = 0; k < list.Count(); ++k) {
        const std::size_t section = ini.AddSection("item" + std::to_string(k));
        for (int c = 0; c < list.ColumnCount(); ++c)
            ini.WriteString(section, list.GetColumns().At(c).fileKey,
                            list.Row(k)->Cell(c).value_or(""));
        ini.WriteString(section, "check", list.Row(k)->Checked() ? "1" : "0");
    }
    return ini.Text();
}

class ResultsFileTest : public ::testing::Test {
protected:
    std::string PathOf(const std::string &name) const { return folder_.PathOf(name); }

    TempFolder folder_{"nimbrel-results"};
};

TEST_F(ResultsFileTest, ReadsFilesOfTheOriginalLayout) {
    const struct {
        const char *file;
        std::vector<std::string> expected;
    } cases[] = {
        {"original.nbr",
         {"fastcar.com|com|Yes|1234000|947|1", "car.com|com|No|-|-|0", "fast-car.net|net|Yes|0||1",
          "caf\xe9 bar.org|org|Yes|12|7|1"}},
        {"sections-reordered.nbr", {"first.com||||1|1", "second.com|||||0"}},
        {"foreign-section.nbr", {"a.com|||||1", "b.com|||||0", "|||||1"}},
        {"gap.nbr", {"a.com|com||||0", "|||||1"}},
        {"check-values.nbr",
         {"row0.com|||||0", "row1.com|||||1", "row2.com|||||1", "row3.com|||||1", "row4.com|||||1",
          "row5.com|||||1", "row6.com|||||1", "row7.com|||||0", "row8.com|||||1", "row9.com|||||0",
          "row10.com|||||0", "row11.com|||||0"}},
        {"empty.nbr", {}},
        {"no-such-file.nbr", {}},
    };
    for (const auto &c : cases) {
        ResultList list(OriginalColumns());
        AddRow(list, {"previous.com", "com", "Yes", "1", "2"}, true);
        list.SortByColumn(ResultList::AlexaRanking);
        ReadResultsFile(DataFolder + c.file, list);
        EXPECT_EQ(Snapshot(list), c.expected) << c.file;
        EXPECT_EQ(list.SortColumn(), ResultList::AlexaRanking) << c.file;
    }
}

TEST_F(ResultsFileTest, LoadRaisesWhyAFileCannotBeLoaded) {
    std::ofstream(PathOf("text.txt")) << "a.com\nb.com\n";
    std::ofstream(PathOf("nul.nbr"), std::ios::binary) << std::string("[item0]\0\n", 9);
    std::filesystem::create_directory(PathOf("folder.nbr"));
    const auto expectFailure = [this](const std::string &path, auto failure) {
        ResultList list(OriginalColumns());
        AddRow(list, {"previous.com"}, true);
        try {
            LoadResultsFile(path, list);
            ADD_FAILURE() << path << " loaded";
        } catch (const EResultsFileError &error) {
            EXPECT_NE(dynamic_cast<const decltype(failure) *>(&error), nullptr)
                << path << ": " << error.Message();
            EXPECT_NE(error.Message().find(path), std::string::npos) << error.Message();
        }
        EXPECT_EQ(list.Count(), 0) << path;
    };
    expectFailure(PathOf("missing.nbr"), EResultsFileMissing("", "", ""));
    expectFailure(PathOf("folder.nbr"), EResultsFileNotReadable("", "", ""));
    expectFailure("/dev/zero", EResultsFileNotReadable("", "", ""));
    expectFailure(PathOf("text.txt"), ENotAResultsFile("", "", ""));
    expectFailure(PathOf("nul.nbr"), ENotAResultsFile("", "", ""));
    if (::geteuid() != 0) {
        std::ofstream(PathOf("private.nbr")) << "[item0]\n";
        ::chmod(PathOf("private.nbr").c_str(), 0);
        expectFailure(PathOf("private.nbr"), EResultsFileNotReadable("", "", ""));
    }
}

TEST_F(ResultsFileTest, FileOverTheSizeLimitIsRefusedBeforeReading) {
    const std::string path = PathOf("huge.nbr");
    { std::ofstream(path) << "[item0]\ndomain=a.com\n"; }
    std::filesystem::resize_file(path, MaxResultsFileBytes + 1);
    ResultList list(OriginalColumns());
    EXPECT_THROW(LoadResultsFile(path, list), EResultsFileTooLarge);
}

TEST_F(ResultsFileTest, WritesTheGoldenLayoutAndReadsItBack) {
    ResultList list(OriginalColumns());
    AddRow(list, {"fastcar.com", "com", "Yes", "1234000", "947"}, true);
    AddRow(list, {"car.com", "com", "No", "-", "-"}, false);
    AddRow(list, {" odd\"name ", "c=m;x", "'Yes'", "", "line\nbreak\\"}, true);
    const std::string path = PathOf("written.nbr");
    WriteResultsFile(path, list);
    EXPECT_EQ(FileContents(path), FileContents(DataFolder + "written.nbr"));

    ResultList back(OriginalColumns());
    ReadResultsFile(path, back);
    EXPECT_EQ(Snapshot(back), Snapshot(list));
}

TEST_F(ResultsFileTest, SavingReplacesTheWholeFileInDisplayOrder) {
    const std::string path = PathOf("list.nbr");
    ResultList list(OriginalColumns());
    for (int i = 0; i < 10; ++i)
        AddRow(list, {"row" + std::to_string(i) + ".com", "com", "Yes", "", ""}, true);
    WriteResultsFile(path, list);

    list.Clear();
    AddRow(list, {"taken.com", "com", "No", "-", "-"}, false);
    AddRow(list, {"free.com", "com", "Yes", "5", "9"}, true);
    AddRow(list, {"also.com", "com", "No", "-", "-"}, false);
    list.SortByColumn(ResultList::Available);
    WriteResultsFile(path, list);

    ResultList back(OriginalColumns());
    ReadResultsFile(path, back);
    EXPECT_EQ(Snapshot(back),
              (std::vector<std::string>{"free.com|com|Yes|5|9|1", "taken.com|com|No|-|-|0",
                                        "also.com|com|No|-|-|0"}));
}

TEST_F(ResultsFileTest, AFailedSaveRaisesAndKeepsThePreviousFile) {
    const std::string path = PathOf("kept.nbr");
    ResultList list(OriginalColumns());
    AddRow(list, {"a.com", "com", "Yes", "1", "2"}, true);
    WriteResultsFile(path, list);
    const std::string before = FileContents(path);

    EXPECT_THROW(WriteResultsFile(PathOf("missing/x.nbr"), list), platform::EFileWriteError);
    EXPECT_THROW(WriteNamesList(folder_.Path().string(), list), platform::EFileWriteError);
    EXPECT_EQ(FileContents(path), before);
}

TEST_F(ResultsFileTest, NamesListHoldsEveryNameInDisplayOrder) {
    ResultList list(OriginalColumns());
    AddRow(list, {"b.com", "com", "No", "-", "-"}, false);
    AddRow(list, {"a.net", "net", "Yes", "1", "2"}, true);
    list.SortByColumn(ResultList::DomainName);
    const std::string path = PathOf("names.txt");
    WriteNamesList(path, list);
    EXPECT_EQ(FileContents(path), "a.net\nb.com\n");
    list.Clear();
    WriteNamesList(path, list);
    EXPECT_EQ(FileContents(path), "");
}

TEST_F(ResultsFileTest, NamesListKeepsEachRowOnOneLine) {
    ResultList list(OriginalColumns());
    AddRow(list, {"evil.com\ninjected.example"}, true);
    AddRow(list, {"a\tb\rc\\d\x1b[2J\x7f.com"}, true);
    const std::string path = PathOf("names.txt");
    WriteNamesList(path, list);
    EXPECT_EQ(FileContents(path), "evil.com\\ninjected.example\n"
                                  "a\\tb\\rc\\\\d\\x1b[2J\\x7f.com\n");
}

TEST(ResultsFileReader, SectionsInAnyOrderAndPiecesOfAnySizeGiveTheSameRows) {
    const std::string text = "[item2]\ndomain=c.com\n[Other]\ndomain=x\n[ITEM0]\ndomain=a.com\n"
                             "check=0\n[item2]\ndomain=ignored\nsuffix=com\n[item01]\n"
                             "domain=not row 1\n[item1]\ndomain=b.com\nDomain=ignored\n";
    const std::vector<std::string> expected = {"a.com|||||0", "b.com|||||1", "c.com|com||||1",
                                               "|||||1", "|||||1"};
    for (std::size_t piece = 1; piece <= text.size(); ++piece) {
        ResultList list(OriginalColumns());
        ResultsFileReader reader(list);
        for (std::size_t at = 0; at < text.size(); at += piece)
            reader.Feed(std::string_view(text).substr(at, piece));
        reader.Finish("pieces.nbr");
        ASSERT_EQ(Snapshot(list), expected) << piece;
    }
}

TEST_F(ResultsFileTest, ByteOrderMarkBeforeTheFirstSectionIsSkipped) {
    const std::string path = PathOf("bom.nbr");
    std::ofstream(path)
        << "\xEF\xBB\xBF[item0]\ndomain=first.com\ncheck=0\n[item1]\ndomain=b.com\n";
    ResultList list(OriginalColumns());
    LoadResultsFile(path, list);
    EXPECT_EQ(Snapshot(list), (std::vector<std::string>{"first.com|||||0", "b.com|||||1"}));
}

// Values of arbitrary bytes (no NUL), biased towards what an INI line treats specially.
std::string RandomValue(std::mt19937 &random) {
    static const std::string special = " \t\"'=;[]\\\r\nx\x7f\xff";
    const std::size_t length = random() % 100 == 0 ? 2047 - random() % 3 : random() % 24;
    std::string value;
    for (std::size_t i = 0; i < length; ++i) {
        if (random() % 2)
            value += special[random() % special.size()];
        else
            value += static_cast<char>(1 + random() % 255);
    }
    return value;
}

TEST_F(ResultsFileTest, TenThousandRandomRowsComeBackIdentical) {
    std::mt19937 random(31337);
    ResultList list;
    for (int i = 0; i < 10000; ++i) {
        std::vector<std::string> cells;
        for (int c = 0; c < ResultList().ColumnCount(); ++c)
            cells.push_back(RandomValue(random));
        AddRow(list, cells, random() % 2 == 0);
    }
    const std::string path = PathOf("random.nbr");
    WriteResultsFile(path, list);
    ResultList back;
    ReadResultsFile(path, back);
    ASSERT_EQ(back.Count(), list.Count());
    EXPECT_TRUE(Snapshot(back) == Snapshot(list));
}

TEST(ResultsFileColumns, TheStandardColumnsAddTheirKeysAndOlderFilesLoadWithThoseCellsEmpty) {
    ResultList list;
    AddRow(list,
           {"xn--hld-bma.com", "com", "No", "-", "-", "rdap", "2027-03-15", "Example, Inc.",
            "client hold, redemption period", "h\xC3\xA9ld.com", "12"},
           false);
    TempFolder folder;
    const std::string path = folder.PathOf("new.nbr");
    WriteResultsFile(path, list);
    EXPECT_NE(FileContents(path).find("rank=-\nevidence=rdap\nexpires=2027-03-15\nregistrar="
                                      "Example, Inc.\nstatus=client hold, redemption period\n"),
              std::string::npos)
        << FileContents(path);
    EXPECT_NE(FileContents(path).find("domain=xn--hld-bma.com\n"), std::string::npos);
    EXPECT_NE(FileContents(path).find("\ndisplay=h\xC3\xA9ld.com\nhosts=12\n"), std::string::npos)
        << FileContents(path);
    ResultList back;
    LoadResultsFile(path, back);
    EXPECT_EQ(Snapshot(back), Snapshot(list));

    ResultList older;
    LoadResultsFile(DataFolder + "written.nbr", older);
    EXPECT_EQ(Snapshot(older).at(1), "car.com|com|No|-|-|||||||0");
}

} // namespace
} // namespace results

namespace results {

// A million rows must not stand in memory a second time as one text: the text goes out in
// pieces of a bounded size, which together are the profile's form of the rows.
TEST(ResultsFileText, IsWrittenInBoundedPiecesThatMakeTheProfileText) {
    ResultList list;
    for (int k = 0; k < 3000; ++k)
        AddRow(list,
               {"name" + std::to_string(k) + ".com", "com", k % 2 ? "Yes" : "No", " 12 ", "-",
                "rdap", "2027-01-0" + std::to_string(k % 9), "Reg\n\"istrar\""},
               k % 3 == 0);
    std::vector<std::size_t> pieces;
    std::string text;
    WriteResultsText(list, [&](std::string_view piece) {
        pieces.push_back(piece.size());
        text += piece;
    });
    EXPECT_EQ(text, ProfileText(list));
    EXPECT_GT(pieces.size(), 2u);
    for (const std::size_t size : pieces)
        EXPECT_LT(size, kResultsTextPiece + 1024);
}

} // namespace results
