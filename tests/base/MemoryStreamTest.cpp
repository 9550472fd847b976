#include "base/MemoryStream.h"

#include <gtest/gtest.h>

TEST(MemoryStream, WritesAtThePositionAndGrows) {
    base::TStringStream stream("hello");
    EXPECT_EQ(stream.Position(), 0);
    stream.SetPosition(3);
    stream.WriteText("p!!");
    EXPECT_EQ(stream.DataString(), "help!!");
    EXPECT_EQ(stream.Position(), 6);

    stream.SetPosition(8);
    stream.WriteText("x");
    EXPECT_EQ(stream.DataString(), std::string("help!!\0\0x", 9));
}

TEST(MemoryStream, ReadsUpToTheEnd) {
    base::TStringStream stream("abc");
    char buffer[8] = {};
    stream.SetPosition(1);
    EXPECT_EQ(stream.Read(buffer, sizeof buffer), 2u);
    EXPECT_EQ(std::string(buffer, 2), "bc");
    EXPECT_EQ(stream.Read(buffer, sizeof buffer), 0u);
    stream.SetSize(1);
    EXPECT_EQ(stream.Position(), 1);
    EXPECT_EQ(stream.DataString(), "a");
}
