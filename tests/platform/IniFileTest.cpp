#include "platform/IniFile.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace platform {
namespace {

struct ReadCase {
    const char *name;
    std::string text;
    const char *section;
    const char *key;
    std::optional<std::string> expected;
};

TEST(IniFile, ReadsValuesByTheLayoutRules) {
    const ReadCase cases[] = {
        {"plain", "[s]\nk=v\n", "s", "k", "v"},
        {"byte order mark before the first section", "\xEF\xBB\xBF[s]\nk=v\n", "s", "k", "v"},
        {"names ignore ASCII case", "[Item0]\nDomain=x\n", "ITEM0", "domain", "x"},
        {"blanks around names and values", "  [ s ]  \n\t k \t=  a b \t\n", "s", "k", "a b"},
        {"CRLF lines", "[s]\r\nk=v\r\nj=w\r\n", "s", "j", "w"},
        {"last line without line end", "[s]\nk=v", "s", "k", "v"},
        {"equals sign inside a value", "[s]\nk=a=b;c\n", "s", "k", "a=b;c"},
        {"empty value", "[s]\nk=\n", "s", "k", ""},
        {"comment line", "[s]\n;k=v\n", "s", ";k", std::nullopt},
        {"line without equals sign", "[s]\nk\n", "s", "k", std::nullopt},
        {"key before any section", "k=v\n[s]\n", "s", "k", std::nullopt},
        {"first of two keys wins", "[s]\nk=1\nK=2\n", "s", "k", "1"},
        {"repeated section adds keys", "[s]\na=1\n[t]\n[S]\nb=2\n", "s", "b", "2"},
        {"other section's key", "[s]\n[t]\nk=v\n", "s", "k", std::nullopt},
        {"double quotes decoded", "[s]\nk=\" a\\\\b\\\"c\\n\\r\\t\\x01\\x7f \"\n", "s", "k",
         std::string(" a\\b\"c\n\r\t\x01\x7f ")},
        {"unknown escape kept", "[s]\nk=\"a\\qb\\x4\"\n", "s", "k", "a\\qb\\x4"},
        {"single quotes removed", "[s]\nk=' x '\n", "s", "k", " x "},
        {"unbalanced quote kept", "[s]\nk=\"abc\n", "s", "k", "\"abc"},
        {"value cut at 2047 bytes", "[s]\nk=" + std::string(3000, 'x') + "\n", "s", "k",
         std::string(2047, 'x')},
    };
    for (const ReadCase &c : cases) {
        const IniFile ini = IniFile::Parse(c.text);
        const auto section = ini.FindSection(c.section);
        ASSERT_TRUE(section.has_value()) << c.name;
        const auto value = ini.Value(*section, c.key);
        EXPECT_EQ(value ? std::optional<std::string>(*value) : std::nullopt, c.expected) << c.name;
    }
}

TEST(IniFile, CountsEachSectionOnceInFileOrder) {
    const IniFile ini = IniFile::Parse("[b]\n[a]\n[B]\n[c\nx=1\n[]\n");
    EXPECT_EQ(ini.SectionNames(), (std::vector<std::string>{"b", "a", "c", ""}));
    EXPECT_EQ(ini.ReadString("C", "x"), "1");
    EXPECT_EQ(ini.ReadString("missing", "x", "fallback"), "fallback");
}

TEST(IniFile, WritesPlainValuesAsTheyStandAndQuotesTheRest) {
    const struct {
        std::string value;
        std::string written;
    } cases[] = {
        {"", ""},
        {"fast car.com", "fast car.com"},
        {"a\\n\"b", "a\\n\"b"},
        {"\"", "\""},
        {"'x\"", "'x\""},
        {" lead", "\" lead\""},
        {"trail\t", "\"trail\\t\""},
        {"\"quoted\"", "\"\\\"quoted\\\"\""},
        {"'single'", "\"'single'\""},
        {"line\r\nbreak\x1f", "\"line\\r\\nbreak\\x1F\""},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(IniFile::EncodeValue(c.value), c.written) << c.value;
        EXPECT_EQ(IniFile::DecodeValue(c.written), c.value) << c.value;
    }
}

TEST(IniFile, TextReadsBackUnchanged) {
    IniFile ini;
    ini.WriteString("item0", "domain", " a=b;[c] ");
    ini.WriteString("item0", "DOMAIN", "replaced \"x\"");
    ini.WriteString("item1", "rank", "\\\"\n");
    EXPECT_EQ(ini.Text(), "[item0]\ndomain=replaced \"x\"\n\n[item1]\nrank=\"\\\\\\\"\\n\"\n");
    const IniFile back = IniFile::Parse(ini.Text());
    EXPECT_EQ(back.ReadString("item0", "domain"), "replaced \"x\"");
    EXPECT_EQ(back.ReadString("item1", "rank"), "\\\"\n");
}

TEST(IniFile, RefusesNamesThatCannotStandInAFile) {
    IniFile ini;
    for (const char *section : {"", " s", "a]b", "a\nb", "[s", ";s"})
        EXPECT_THROW(ini.WriteString(section, "k", "v"), EIniFileException) << section;
    for (const char *key : {"", "k ", "a=b", "a\rb", "[k", ";k"})
        EXPECT_THROW(ini.WriteString("s", key, "v"), EIniFileException) << key;
    EXPECT_EQ(ini.SectionCount(), 1u); // the valid "s" made by the key cases
}

TEST(IniFile, MissingFileReadsAsEmpty) {
    EXPECT_EQ(IniFile::Load("/nonexistent/folder/file.nbr").SectionCount(), 0u);
    EXPECT_EQ(IniFile::Load(NIMBREL_TEST_DATA).SectionCount(), 0u); // a folder
}

// Each line's key is looked up among the keys its section already holds; a section of many keys
// must not make that a walk over all of them (200,000 keys took minutes).
TEST(IniFile, ReadsAHugeSectionWithTheFirstValueOfEachKey) {
    constexpr int Keys = 200000;
    std::string text = "[big]\n";
    for (int i = 0; i < Keys; ++i)
        text += "key" + std::to_string(i) + "=" + std::to_string(i) + "\n";
    text += "KEY7=repeated\n";
    const IniFile ini = IniFile::Parse(text);
    ASSERT_EQ(ini.SectionCount(), 1u);
    EXPECT_EQ(ini.ReadString("big", "key0"), "0");
    EXPECT_EQ(ini.ReadString("big", "key7"), "7");
    EXPECT_EQ(ini.ReadString("big", "Key199999"), "199999");
    EXPECT_EQ(ini.Text().size(), text.size() - 14);
}

} // namespace
} // namespace platform
