#include "core/NameList.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

// A host below a registered name is neither delegated nor on record at its registry, so it
// would come out free; such a line is refused with its number, as is a public suffix.
TEST(NameList, RefusesLinesThatAreNoRegistrableName) {
    std::istringstream text("fastcar.com\n"
                            "www.example-taken.com\n"
                            "Example.co.uk\n"
                            "shop.example.co.uk\n"
                            "co.uk\n"
                            "bad..name\n");
    const core::NameList list = core::ReadNameList(text);
    EXPECT_EQ(list.names, (std::vector<std::string>{"fastcar.com", "Example.co.uk"}));
    struct Expected {
        std::size_t line;
        const char *text;
        core::NameFault fault;
        const char *registrable;
    };
    const Expected expected[] = {
        {2, "www.example-taken.com", core::NameFault::BelowRegistrableName, "example-taken.com"},
        {4, "shop.example.co.uk", core::NameFault::BelowRegistrableName, "example.co.uk"},
        {5, "co.uk", core::NameFault::PublicSuffix, ""},
        {6, "bad..name", core::NameFault::NotAName, ""},
    };
    ASSERT_EQ(list.bad.size(), std::size(expected));
    for (std::size_t i = 0; i < list.bad.size(); ++i) {
        EXPECT_EQ(list.bad[i].line, expected[i].line);
        EXPECT_EQ(list.bad[i].text, expected[i].text);
        EXPECT_EQ(list.bad[i].fault, expected[i].fault) << expected[i].text;
        EXPECT_EQ(list.bad[i].registrable, expected[i].registrable);
    }
}

} // namespace
