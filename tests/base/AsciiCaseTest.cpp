#include "base/AsciiCase.h"

#include <gtest/gtest.h>

TEST(AsciiCase, FoldsOnlyAsciiLetters) {
    EXPECT_EQ(base::AsciiLower("My Shop\xC4"), "my shop\xC4");
    EXPECT_EQ(base::AsciiUpper("abc\xe4"), "ABC\xe4");
    EXPECT_TRUE(base::SameTextAscii("Shop", "sHOP"));
    EXPECT_FALSE(base::SameTextAscii("\xC4", "\xE4"));
}

TEST(AsciiCase, ComparesBytewiseAfterFolding) {
    EXPECT_LT(base::CompareTextAscii("ab.com", "AB.net"), 0);
    EXPECT_LT(base::CompareTextAscii("AB.net", "abc.com"), 0);
    EXPECT_LT(base::CompareTextAscii("a-b.com", "ab.com"), 0);
    EXPECT_LT(base::CompareTextAscii("ab", "abc"), 0);
    EXPECT_GT(base::CompareTextAscii("\xE4", "z"), 0);
    EXPECT_EQ(base::PosTextAscii("LINK", "a link b"), 3u);
    EXPECT_EQ(base::PosTextAscii("x", ""), 0u);
}
