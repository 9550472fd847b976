#include "platform/Registry.h"

#include "tests/support/TempConfigHome.h"

#include <fstream>
#include <gtest/gtest.h>

using platform::RegType;
using platform::RegValue;

TEST(RegistryFile, ReadsEachValueFormAndSkipsWhatItCannotRead) {
    const std::string text = "Windows Registry Editor Version 5.00\r\n"
                             "; a comment\r\n"
                             "[HKEY_CURRENT_USER\\Software\\X]\r\n"
                             "\"d\"=dword:0000002a\r\n"
                             "\"s\"=\"a \\\"q\\\" \\\\ b\"\r\n"
                             "\"e\"=hex(2):41,42,\\\r\n"
                             "  43,00\r\n"
                             "\"b\"=hex:00,ff\r\n"
                             "\"too long\"=dword:123456789\r\n"
                             "\"bad escape\"=\"\\n\"\r\n"
                             "\"trailing\"=\"x\" y\r\n"
                             "no quotes=dword:1\r\n"
                             "\"w\"=\"ends in backslash\\\\\"\r\n";
    const platform::RegValues values = platform::ParseKeyFile(text);
    ASSERT_EQ(values.size(), 5u);
    EXPECT_EQ(values[0].first, "d");
    EXPECT_EQ(values[0].second.data, RegValue::Dword(42).data);
    EXPECT_EQ(values[1].second.data, std::string("a \"q\" \\ b\0", 10));
    EXPECT_EQ(values[2].second.type, RegType::ExpandSz);
    EXPECT_EQ(values[2].second.data, std::string("ABC\0", 4));
    EXPECT_EQ(values[3].second.type, RegType::Binary);
    EXPECT_EQ(values[3].second.data, std::string("\0\xff", 2));
    EXPECT_EQ(values[4].second.data, std::string("ends in backslash\\\0", 19));
}

TEST(RegistryFile, SkipsAByteOrderMark) {
    const platform::RegValues values =
        platform::ParseKeyFile("\xEF\xBB\xBF\"d\"=dword:00000001\n\"e\"=dword:00000002\n");
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(values[0].first, "d");
}

// Each continuation line is appended to the joined line; searching the whole joined line again
// for every one of them took minutes for a file of a megabyte.
TEST(RegistryFile, ReadsAHexListOverManyContinuationLines) {
    constexpr int Lines = 150000;
    std::string text = "\"long\"=hex:00,\\\n";
    for (int i = 0; i < Lines; ++i)
        text += "  01,\\\n";
    text += "  02\n\"after\"=dword:00000003\n";
    const platform::RegValues values = platform::ParseKeyFile(text);
    ASSERT_EQ(values.size(), 2u);
    EXPECT_TRUE(values[0].second.data == std::string(1, '\0') + std::string(Lines, '\1') + "\2");
    EXPECT_EQ(values[1].first, "after");
}

TEST(RegistryFile, WritesWhatItReadsBackUnchanged) {
    const platform::RegValues values = {
        {"plain", RegValue::Text("http://www.example.com")},
        {"quotes", RegValue::Text("\"q\" \\ \\\\")},
        {"line break", RegValue::Text("a\nb")},
        {"inner nul", {RegType::Sz, std::string("a\0b\0", 4)}},
        {"no nul", {RegType::Sz, "abc"}},
        {"minus one", RegValue::Dword(0xFFFFFFFF)},
        {"short dword", {RegType::Dword, "ab"}},
        {"expand", RegValue::Text("%X%", RegType::ExpandSz)},
        {"empty", {RegType::Binary, ""}},
    };
    const std::string text = platform::FormatKeyFile("\\Software\\A\\B", values);
    EXPECT_TRUE(text.starts_with("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\A\\B]\n"));
    EXPECT_NE(text.find("\"minus one\"=dword:ffffffff\n"), std::string::npos);
    EXPECT_NE(text.find("\"plain\"=\"http://www.example.com\"\n"), std::string::npos);
    const platform::RegValues back = platform::ParseKeyFile(text);
    ASSERT_EQ(back.size(), values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(back[i].first, values[i].first);
        EXPECT_EQ(back[i].second.type, values[i].second.type) << values[i].first;
        EXPECT_EQ(back[i].second.data, values[i].second.data) << values[i].first;
    }
}

TEST(RegistryKey, OpensOnlyExistingKeysAndCreatesThePath) {
    TempConfigHome home;
    EXPECT_THROW(platform::RegistryKey::Open("\\Software\\Maker\\Tool\\Setup"),
                 platform::ERegistryError);
    auto key = platform::RegistryKey::Create("\\Software\\Maker\\Tool\\Setup");
    EXPECT_TRUE(std::filesystem::is_regular_file(home.Folder() / "Maker/Tool/Setup.reg"));
    key->SetValue("Mode", RegValue::Dword(1));
    key->SetValue("mode", RegValue::Dword(2));
    auto reopened = platform::RegistryKey::Open("\\Software\\Maker\\Tool\\Setup");
    ASSERT_TRUE(reopened->QueryValue("MODE"));
    EXPECT_EQ(reopened->QueryValue("MODE")->data, RegValue::Dword(2).data);
    EXPECT_FALSE(reopened->QueryValue("other"));
    EXPECT_THROW(platform::RegistryKey::Create("\\Software\\..\\Setup"), platform::ERegistryError);
}
