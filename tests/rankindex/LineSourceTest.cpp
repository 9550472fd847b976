#include "rankindex/LineSource.h"

#include "rankindex/ImportError.h"
#include "tests/rankindex/DataFiles.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

namespace rankindex {
namespace {

using testdata::Format;

std::vector<std::string> AllLines(LineSource &source, std::vector<bool> *overlong = nullptr) {
    std::vector<std::string> lines;
    std::string_view line;
    while (source.Next(line)) {
        lines.emplace_back(line);
        if (overlong)
            overlong->push_back(source.Overlong());
        EXPECT_EQ(source.LineNumber(), lines.size());
    }
    return lines;
}

class LineSourceTest : public ::testing::TestWithParam<Format> {
protected:
    std::filesystem::path Write(const std::string &text) {
        const auto path = folder_.Path() / "data";
        testdata::WriteAs(GetParam(), path, text);
        return path;
    }
    TempFolder folder_{"nimbrel-lines"};
};

TEST_P(LineSourceTest, SplitsLinesAcrossBlocksWithEitherLineEnd) {
    const std::string longLine(LineSource::kMaxLineBytes + 10, 'x');
    const std::string text = "\xEF\xBB\xBF"
                             "first\r\nsecond\n\nfourth\r\n" +
                             longLine + "\nlast without end";
    for (const std::size_t block : {std::size_t{3}, std::size_t{7}, std::size_t{1} << 20}) {
        LineSource source(Write(text), block);
        EXPECT_EQ(source.GetFormat(), GetParam());
        std::vector<bool> overlong;
        const auto lines = AllLines(source, &overlong);
        ASSERT_EQ(lines.size(), 6u) << "block " << block;
        EXPECT_EQ(lines[0], "first");
        EXPECT_EQ(lines[1], "second");
        EXPECT_EQ(lines[2], "");
        EXPECT_EQ(lines[3], "fourth");
        EXPECT_EQ(lines[4], longLine.substr(0, LineSource::kMaxLineBytes));
        EXPECT_EQ(lines[5], "last without end");
        EXPECT_EQ(overlong, (std::vector<bool>{false, false, false, false, true, false}));
        EXPECT_EQ(source.Position(), source.FileSize());
    }
}

TEST_P(LineSourceTest, EmptyFileHasNoLines) {
    LineSource source(Write(""));
    EXPECT_TRUE(AllLines(source).empty());
}

INSTANTIATE_TEST_SUITE_P(Formats, LineSourceTest,
                         ::testing::Values(Format::Plain, Format::Gzip, Format::Zip),
                         testdata::FormatLabel);

class DamagedArchiveTest : public ::testing::Test {
protected:
    // Reads every line of the file; the message of the EImportError it raises, or "".
    std::string ReadError(const std::filesystem::path &path) {
        try {
            LineSource source(path, 4096);
            AllLines(source);
        } catch (const EImportError &error) {
            return error.Message();
        }
        return "";
    }
    std::string ManyLines() const {
        std::string text;
        for (int i = 0; i < 20000; ++i)
            text += std::to_string(i * 7919) + ",name" + std::to_string(i) + ".com\n";
        return text;
    }
    TempFolder folder_{"nimbrel-damaged"};
};

TEST_F(DamagedArchiveTest, TruncatedOrCorruptArchivesFailWithTheirCause) {
    const auto gz = folder_.Path() / "list.csv.gz";
    testdata::WriteGzip(gz, ManyLines());
    const std::string whole = testdata::FileBytes(gz);

    testdata::Truncate(gz, whole.size() / 2);
    EXPECT_NE(ReadError(gz).find("truncated"), std::string::npos) << ReadError(gz);
    // Cut inside the trailer: all data there, but no end mark and checksum.
    testdata::WritePlain(gz, whole.substr(0, whole.size() - 4));
    EXPECT_NE(ReadError(gz).find("truncated"), std::string::npos) << ReadError(gz);

    std::string flipped = whole;
    for (std::size_t i = 100; i < 200; ++i)
        flipped[i] = static_cast<char>(~flipped[i]);
    testdata::WritePlain(gz, flipped);
    EXPECT_NE(ReadError(gz).find("is corrupt"), std::string::npos) << ReadError(gz);

    testdata::WritePlain(gz, whole + "trailing junk");
    EXPECT_NE(ReadError(gz).find("after the end of the gzip data"), std::string::npos);

    const auto zip = folder_.Path() / "list.zip";
    testdata::WriteZip(zip, ManyLines());
    testdata::Truncate(zip, testdata::FileBytes(zip).size() - 30);
    EXPECT_NE(ReadError(zip).find("not a readable zip archive"), std::string::npos)
        << ReadError(zip);

    testdata::WriteZip(zip, "1,a.com\n", {"top-1m.csv", "readme.txt"});
    EXPECT_NE(ReadError(zip).find("holds 2 files"), std::string::npos) << ReadError(zip);

    const auto bz = folder_.Path() / "list.bz2";
    testdata::WritePlain(bz, "BZh91AY&SY");
    EXPECT_NE(ReadError(bz).find("bzip2"), std::string::npos) << ReadError(bz);

    EXPECT_NE(ReadError(folder_.Path() / "missing.gz").find("cannot open"), std::string::npos);
    EXPECT_NE(ReadError(folder_.Path()).find("not a file"), std::string::npos);
}

TEST_F(DamagedArchiveTest, GzipMembersFollowingEachOtherAreOneText) {
    const auto first = folder_.Path() / "a.gz";
    const auto second = folder_.Path() / "b.gz";
    testdata::WriteGzip(first, "1,one.com\n2,tw");
    testdata::WriteGzip(second, "o.com\n");
    const auto joined = folder_.Path() / "joined.gz";
    testdata::WritePlain(joined, testdata::FileBytes(first) + testdata::FileBytes(second) +
                                     std::string(16, '\0'));
    LineSource source(joined);
    EXPECT_EQ(AllLines(source), (std::vector<std::string>{"1,one.com", "2,two.com"}));
}

// One gzip member built by hand, so that its header may carry every optional field and its
// trailer may lie.
struct MemberShape {
    int level = 6;
    bool headerFields = false; // FEXTRA, FNAME, FCOMMENT and FHCRC
    std::uint32_t crcChange = 0;
    std::uint32_t lengthChange = 0;
};

std::string GzipMember(const std::string &text, const MemberShape &shape = {}) {
    z_stream stream{};
    EXPECT_EQ(deflateInit2(&stream, shape.level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY),
              Z_OK);
    std::string deflated(deflateBound(&stream, static_cast<uLong>(text.size())) + 16, '\0');
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(text.data()));
    stream.avail_in = static_cast<uInt>(text.size());
    stream.next_out = reinterpret_cast<Bytef *>(deflated.data());
    stream.avail_out = static_cast<uInt>(deflated.size());
    EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
    deflated.resize(stream.total_out);
    deflateEnd(&stream);

    std::string member = {'\x1F', '\x8B', 8, shape.headerFields ? '\x1E' : '\0', 0, 0, 0, 0, 0, 3};
    if (shape.headerFields) {
        member += std::string("\x04\x00", 2) + "ab\x01\x02";
        member += std::string("list.csv") + '\0' + "a comment" + '\0';
        const auto crc = static_cast<std::uint16_t>(crc32(
            0, reinterpret_cast<const Bytef *>(member.data()), static_cast<uInt>(member.size())));
        member += static_cast<char>(crc & 0xFF);
        member += static_cast<char>(crc >> 8);
    }
    member += deflated;
    const auto crc =
        static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef *>(text.data()),
                                         static_cast<uInt>(text.size()))) +
        shape.crcChange;
    const auto length = static_cast<std::uint32_t>(text.size()) + shape.lengthChange;
    for (const std::uint32_t value : {crc, length}) {
        for (int shift = 0; shift < 32; shift += 8)
            member += static_cast<char>((value >> shift) & 0xFF);
    }
    return member;
}

// Besides the shapes of gzip members, the first bytes of every file are read apart from the rest
// when its kind is told, so a member's header comes in two pieces.
TEST_F(DamagedArchiveTest, GzipMembersOfEveryShapeReadAsTheirTextOrFail) {
    const std::string lines = ManyLines();
    std::string tinyMembers;
    std::string joined;
    for (int i = 0; i < 300; ++i) {
        const std::string piece = lines.substr(static_cast<std::size_t>(i) * 37, 37);
        tinyMembers += GzipMember(piece, {.level = i % 10, .headerFields = i % 3 == 0});
        joined += piece;
    }
    tinyMembers += GzipMember("\n");
    joined += '\n';
    const std::string whole = GzipMember(lines);
    struct Case {
        const char *label;
        std::string bytes;
        std::string text;  // when it reads
        const char *error; // when it fails
    };
    const Case cases[] = {
        {"every optional header field", GzipMember(lines, {.headerFields = true}), lines, ""},
        {"stored blocks", GzipMember(lines, {.level = 0}), lines, ""},
        {"300 members of 37 bytes", tinyMembers, joined, ""},
        {"an empty member between two", whole + GzipMember("") + whole, lines + lines, ""},
        {"a wrong checksum", GzipMember(lines, {.crcChange = 1}), "", "is corrupt"},
        {"a wrong length", GzipMember(lines, {.lengthChange = 1}), "", "is corrupt"},
        {"a wrong header checksum",
         [&] {
             std::string bytes = GzipMember(lines, {.headerFields = true});
             bytes[35] = static_cast<char>(bytes[35] ^ 1);
             return bytes;
         }(),
         "", "is corrupt"},
        {"the second member cut", whole + whole.substr(0, whole.size() / 2), "", "truncated"},
        {"the second member's header cut", whole + whole.substr(0, 5), "", "truncated"},
        {"another method than deflate", "\x1F\x8B\x07" + whole.substr(3), "", "is corrupt"},
        {"a reserved header flag", "\x1F\x8B\x08\x40" + whole.substr(4), "", "is corrupt"},
    };
    const auto gz = folder_.Path() / "shapes.gz";
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        testdata::WritePlain(gz, c.bytes);
        if (*c.error) {
            EXPECT_NE(ReadError(gz).find(c.error), std::string::npos) << ReadError(gz);
            continue;
        }
        EXPECT_EQ(ReadError(gz), "");
        LineSource source(gz, 4096);
        std::string text;
        for (const std::string &line : AllLines(source))
            text += line + '\n';
        EXPECT_TRUE(text == c.text) << text.size() << " bytes read of " << c.text.size();
    }
}

TEST_F(DamagedArchiveTest, ZipResourceEntriesDoNotCountAsFiles) {
    const auto zip = folder_.Path() / "list.zip";
    testdata::WriteZip(zip, "1,one.com\n", {"top-1m.csv", "__MACOSX/._top-1m.csv", "data/"});
    LineSource source(zip);
    EXPECT_EQ(AllLines(source), std::vector<std::string>{"1,one.com"});
}

} // namespace
} // namespace rankindex
