#include "registry/IdnaName.h"

#include <gtest/gtest.h>

namespace {

// Expected ASCII forms checked with libidn2's own idn2 tool (UTS #46, non-transitional).
TEST(IdnaName, MapsUnicodeNamesToTheirAsciiForm) {
    struct Row {
        std::string typed;
        std::string ascii;
    };
    const Row rows[] = {
        {"bäcker", "xn--bcker-gra"},
        {"Bäcker.COM", "xn--bcker-gra.com"},
        {"BÄCKER", "xn--bcker-gra"},
        {"café-shop", "xn--caf-shop-d1a"},
        {"straße", "xn--strae-oqa"}, // non-transitional: ß is kept, not made "ss"
        {"рф", "xn--p1ai"},
        {"bäcker.xn--p1ai", "xn--bcker-gra.xn--p1ai"},
        // ASCII passes as typed: its rules are the callers' own.
        {"Fast_Car.com", "Fast_Car.com"},
        {"", ""},
    };
    for (const Row &row : rows) {
        const registry::AsciiName mapped = registry::ToAsciiName(row.typed);
        EXPECT_TRUE(mapped) << row.typed << ": " << mapped.fault;
        EXPECT_EQ(mapped.name, row.ascii) << row.typed;
    }
}

TEST(IdnaName, RefusesUnicodeThatIsNoDomainName) {
    const std::string refused[] = {
        "ü b",                             // a blank
        "ü_b",                             // no letter, digit or hyphen
        "-bäcker",                         // leading hyphen
        "bäcker-",                         // trailing hyphen
        "a\xd7\x91",                       // Latin then Hebrew
        std::string("\xc3\xbc\x01", 3),    // a control character
        std::string("b\xc3\xa4\0cker", 7), // a zero byte
        "\xff\xfe",                        // no UTF-8
        "\xcc\x88"
        "a",                               // a leading combining mark
        std::string(70, 'a') + "\xc3\xa4", // a label over 63
    };
    for (const std::string &text : refused) {
        const registry::AsciiName mapped = registry::ToAsciiName(text);
        EXPECT_FALSE(mapped) << text;
        EXPECT_TRUE(mapped.name.empty());
        EXPECT_FALSE(mapped.fault.empty());
    }
}

TEST(IdnaName, ShowsOnlyNamesThatMapBackInUnicode) {
    struct Row {
        std::string ascii;
        std::string shown;
    };
    const Row rows[] = {
        {"xn--bcker-gra.com", "bäcker.com"},  {"XN--BCKER-GRA.com", "bäcker.com"},
        {"shop.xn--p1ai", "shop.рф"},         {"example.com", "example.com"},
        {"xn--zz.com", "xn--zz.com"},         // no punycode
        {"xn--ss-3fa.com", "xn--ss-3fa.com"}, // decodes to "Äss", whose own form is another
        {"xn--/x-wka.com", "xn--/x-wka.com"}, // decodes to "ü/x", which looks like a path
    };
    for (const Row &row : rows)
        EXPECT_EQ(registry::ToUnicodeName(row.ascii), row.shown) << row.ascii;
}

TEST(IdnaName, FoldsUnicodeKeywordsAndLeavesAsciiAsTyped) {
    EXPECT_EQ(registry::FoldUnicodeText("BÄCKER").name, "bäcker");
    EXPECT_EQ(registry::FoldUnicodeText("Straße").name, "straße");
    EXPECT_EQ(registry::FoldUnicodeText("ÉCOLE").name, "école");
    EXPECT_EQ(registry::FoldUnicodeText("Fast").name, "Fast");
    EXPECT_FALSE(registry::FoldUnicodeText("ü b"));
}

} // namespace
