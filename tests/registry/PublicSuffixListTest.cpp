#include "registry/PublicSuffixList.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

TEST(PublicSuffixList, TheRegistrableNameIsOneLabelBelowTheLongestPublicSuffix) {
    const registry::PublicSuffixList suffixes;
    struct Case {
        const char *name;
        std::optional<std::string> registrable;
        bool isRegistrable;
    };
    const Case cases[] = {
        {"example-taken.com", "example-taken.com", true},
        {"www.example-taken.com", "example-taken.com", false},
        {"Shop.EXAMPLE.co.uk.", "example.co.uk", false},
        {"Example.CO.uk", "example.co.uk", true},
        // A company's own suffix is a registered name to a registry.
        {"project.github.io", "github.io", false},
        // A top-level label the list does not know is a suffix of its own.
        {"a.car.zz", "car.zz", false},
        {"co.uk", std::nullopt, false},
        {"com", std::nullopt, false},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(suffixes.RegistrableName(c.name), c.registrable) << c.name;
        EXPECT_EQ(suffixes.IsRegistrable(c.name), c.isRegistrable) << c.name;
    }
    for (const char *suffix : {"com", "CO.UK", "io", "zz"})
        EXPECT_TRUE(suffixes.IsPublicSuffix(suffix)) << suffix;
    for (const char *notSuffix : {"example-taken.com", "github.io", "www.co.uk", ""})
        EXPECT_FALSE(suffixes.IsPublicSuffix(notSuffix)) << notSuffix;
}

} // namespace
