#include "base/TextEncoding.h"

#include <gtest/gtest.h>

TEST(TextEncoding, KeepsValidUtf8AndReadsOtherBytesAsWindows1252) {
    EXPECT_EQ(base::DisplayUtf8("caf\xC3\xA9"), "caf\xC3\xA9");
    EXPECT_EQ(base::DisplayUtf8("caf\xE9"), "caf\xC3\xA9");
    EXPECT_EQ(base::DisplayUtf8("\x80"), "\xE2\x82\xAC");
    EXPECT_EQ(base::DisplayUtf8("\x81"), "\xC2\x81");
    for (const char* invalid : {"\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                                "\xC3", "\xF0\x9F\x98"})
        EXPECT_FALSE(base::IsValidUtf8(invalid)) << invalid;
    EXPECT_TRUE(base::IsValidUtf8("\xF0\x9F\x98\x80"));
}
