#include "probes/KeptRegistryAnswer.h"

#include "registry/AnswerCache.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

namespace {

using probes::Availability;
using probes::RegistryAnswer;

struct Kept {
    const char *name;
    RegistryAnswer answer;
    // The evidence read back; empty when the answer must not be kept.
    const char *evidence;
};

void PrintTo(const Kept &c, std::ostream *os) {
    *os << c.name;
}

RegistryAnswer Answer(Availability available, const char *evidence, bool stopped = false) {
    RegistryAnswer answer;
    answer.available = available;
    answer.evidence = evidence;
    answer.stopped = stopped;
    if (available == Availability::Taken) {
        answer.expires = "2027-03-15";
        answer.registrar = "Example Registrar, Inc.";
        answer.status = {"client hold", "redemption period"};
    }
    return answer;
}

const Kept kKept[] = {
    {"taken by its record", Answer(Availability::Taken, "rdap"), "cache (rdap)"},
    {"taken by its delegation", Answer(Availability::Taken, "dns"), "cache (dns)"},
    {"free by WHOIS", Answer(Availability::Free, "whois"), "cache (whois)"},
    {"free by RDAP", Answer(Availability::Free, "rdap"), "cache (rdap)"},
    {"Unknown", Answer(Availability::Unknown, ""), ""},
    {"Unknown that names a source", Answer(Availability::Unknown, "rdap"), ""},
    {"a stopped check", Answer(Availability::Free, "rdap", true), ""},
    {"an answer read from the cache", Answer(Availability::Taken, "cache (rdap)"), ""},
    {"a source it does not know", Answer(Availability::Free, "web"), ""},
};

class KeptRegistryAnswer : public ::testing::TestWithParam<Kept> {};

TEST_P(KeptRegistryAnswer, KeepsOnlyDecidedAnswersAndSaysWhereTheyCameFrom) {
    const Kept &c = GetParam();
    TempFolder folder;
    registry::AnswerCache cache(folder.Path() / "answers.sqlite", {});
    probes::KeepInCache(&cache, "name.com", c.answer);
    const auto got = probes::AnswerFromCache(&cache, "name.com");
    if (*c.evidence == '\0') {
        EXPECT_FALSE(got);
        return;
    }
    ASSERT_TRUE(got);
    EXPECT_EQ(got->available, c.answer.available);
    EXPECT_EQ(got->evidence, c.evidence);
    EXPECT_EQ(got->expires, c.answer.expires);
    EXPECT_EQ(got->registrar, c.answer.registrar);
    EXPECT_EQ(got->status, c.answer.status);
    EXPECT_FALSE(got->stopped);
}

INSTANTIATE_TEST_SUITE_P(Answers, KeptRegistryAnswer, ::testing::ValuesIn(kKept));

TEST(KeptRegistryAnswerWithoutCache, AsksTheRegistries) {
    probes::KeepInCache(nullptr, "name.com", Answer(Availability::Taken, "rdap"));
    EXPECT_FALSE(probes::AnswerFromCache(nullptr, "name.com"));
}

} // namespace
