#include "core/CandidateGenerator.h"
#include "core/KeywordRules.h"
#include "core/SuffixList.h"

#include <gtest/gtest.h>

using core::CandidateGenerator;
using core::SearchOptions;
using core::StringList;

namespace {

struct Setup {
    StringList keywords;
    std::int32_t mode = core::kAllVariants;
    bool hyphens = false;
    bool acronyms = false;
    bool com = true, net = false, org = false;
};

StringList Build(const Setup &setup) {
    SearchOptions options;
    options.keywords = setup.keywords;
    options.SetSearchFor(setup.mode);
    options.hyphens = setup.hyphens;
    options.acronyms = setup.acronyms;
    options.COM = setup.com;
    options.NET = setup.net;
    options.ORG = setup.org;
    StringList candidates{"left over"}, scratch{"old"};
    CandidateGenerator(options, candidates, scratch).BuildCandidates();
    return candidates;
}

} // namespace

TEST(CandidateGenerator, BuildsTheWorkedExampleInOrder) {
    const StringList expected = {"fast.com",     "fast.net",     "f.com",   "f.net",
                                 "car.com",      "car.net",      "c.com",   "c.net",
                                 "fastcar.com",  "fastcar.net",  "fc.com",  "fc.net",
                                 "carfast.com",  "carfast.net",  "cf.com",  "cf.net",
                                 "fast-car.com", "fast-car.net", "f-c.com", "f-c.net",
                                 "car-fast.com", "car-fast.net", "c-f.com", "c-f.net"};
    EXPECT_EQ(Build({{"fast", "car"}, core::kAllVariants, true, true, true, true, false}),
              expected);
}

TEST(CandidateGenerator, ProducesTheNumberOfNamesOfEachCombination) {
    struct Row {
        int keywords;
        std::int32_t mode;
        bool hyphens, acronyms;
        std::size_t withAllSuffixes;
    };
    const Row rows[] = {
        {1, core::kAllVariants, true, false, 3},   {1, core::kExactPhrase, false, true, 6},
        {2, core::kAllVariants, false, false, 12}, {2, core::kAllVariants, true, true, 36},
        {3, core::kExactPhrase, true, false, 9},   {3, core::kAllVariants, false, false, 45},
        {3, core::kAllVariants, true, false, 81},  {3, core::kAllVariants, true, true, 162},
        {3, core::kNoChoice, true, true, 18},
    };
    const StringList words = {"alpha", "beta", "gamma"};
    for (const Row &row : rows) {
        const StringList keywords(words.begin(), words.begin() + row.keywords);
        const StringList all =
            Build({keywords, row.mode, row.hyphens, row.acronyms, true, true, true});
        EXPECT_EQ(all.size(), row.withAllSuffixes)
            << row.keywords << " keywords, mode " << row.mode;
        const StringList comOnly = Build({keywords, row.mode, row.hyphens, row.acronyms});
        EXPECT_EQ(comOnly.size() * 3, row.withAllSuffixes);
    }
}

TEST(CandidateGenerator, OrdersTriplesByIndexAndSuffixesPerBaseName) {
    const StringList names =
        Build({{"a", "b", "c"}, core::kAllVariants, false, false, true, false, true});
    const StringList tail(names.end() - 12, names.end());
    EXPECT_EQ(tail, (StringList{"abc.com", "abc.org", "acb.com", "acb.org", "bac.com", "bac.org",
                                "bca.com", "bca.org", "cab.com", "cab.org", "cba.com", "cba.org"}));
}

TEST(CandidateGenerator, KeepsRepeatedNamesAndKeywordsAsTyped) {
    EXPECT_EQ(Build({{"sun", "shop"}, core::kAllVariants, false, true}),
              (StringList{"sun.com", "s.com", "shop.com", "s.com", "sunshop.com", "ss.com",
                          "shopsun.com", "ss.com"}));
    EXPECT_EQ(Build({{"a"}, core::kExactPhrase, false, true}), (StringList{"a.com", "a.com"}));
    EXPECT_EQ(Build({{"my shop", "x.y"}, core::kExactPhrase}),
              (StringList{"my shop.com", "x.y.com"}));
    const StringList joined = Build({{"a", "b", "ab"}, core::kAllVariants});
    EXPECT_EQ(std::count(joined.begin(), joined.end(), "ab.com"), 2);
}

TEST(CandidateGenerator, EmptiesBothListsAndEndsEmptyWithoutSuffixes) {
    EXPECT_TRUE(Build({{"fast"}, core::kAllVariants, true, true, false, false, false}).empty());
    EXPECT_EQ(Build({{"fast", "car"}, core::kExactPhrase, true, false}),
              (StringList{"fast.com", "car.com"}));
}

TEST(CandidateGenerator, FirstLetterOfAnEmptyTextIsEmpty) {
    EXPECT_EQ(core::FirstLetter(""), "");
    EXPECT_EQ(core::FirstLetter("x"), "x");
}

TEST(CandidateGenerator, AppendsTheMoreSuffixesAfterTheBoxesInOrderWithoutRepeats) {
    SearchOptions options;
    options.keywords = {"car"};
    options.SetSearchFor(core::kExactPhrase);
    options.ORG = options.BIZ = options.US = options.INFO = options.COUK = true;
    options.suffixes = "io, COM, .Dev,, co.uk";
    StringList candidates, scratch;
    CandidateGenerator(options, candidates, scratch).BuildCandidates();
    EXPECT_EQ(candidates, (StringList{"car.com", "car.org", "car.biz", "car.us", "car.info",
                                      "car.co.uk", "car.io", "car.dev"}));

    options.suffixes = "io, shop!";
    EXPECT_THROW(CandidateGenerator(options, candidates, scratch).BuildCandidates(),
                 core::ESuffixError);
}

TEST(SuffixList, ReadsLabelsAndNamesTheFirstBadOne) {
    EXPECT_EQ(core::ReadSuffixList(" io , dev,SHOP, .co.uk ,"),
              (StringList{"io", "dev", "shop", "co.uk"}));
    EXPECT_TRUE(core::ReadSuffixList(" , ").empty());
    for (const std::string &bad : StringList{"-io", "io-", "a..b", "..io", "io.", "sh op", "-ü",
                                             "a_b", std::string(64, 'a'), "io/x"}) {
        try {
            core::ReadSuffixList("dev, " + bad);
            ADD_FAILURE() << bad;
        } catch (const core::ESuffixError &error) {
            EXPECT_NE(error.Message().find("'" + bad + "'"), std::string::npos) << error.Message();
        }
    }
    EXPECT_NO_THROW(core::ReadSuffixList(std::string(63, 'a') + ", x-1"));
}

// Names built on a registered name lie below it, where no registry answer speaks for them.
TEST(SuffixList, RefusesANameThatARegistryHandsOut) {
    EXPECT_EQ(core::ReadSuffixList("com, CO.UK, .org.uk, zz"),
              (StringList{"com", "co.uk", "org.uk", "zz"}));
    const std::pair<const char *, const char *> cases[] = {
        {"example-taken.com", "'example-taken.com' is a registrable name, not a domain suffix"},
        {"Example.CO.UK", "'Example.CO.UK' is a registrable name, not a domain suffix"},
        {"github.io", "'github.io' is a registrable name, not a domain suffix"},
        {"www.example-taken.com",
         "'www.example-taken.com' is below the registrable name example-taken.com, not a "
         "domain suffix"},
    };
    for (const auto &[suffix, message] : cases) {
        try {
            core::ReadSuffixList(std::string("io, ") + suffix);
            ADD_FAILURE() << suffix;
        } catch (const core::ESuffixError &error) {
            EXPECT_TRUE(error.Message().starts_with(message)) << error.Message();
        }
    }
}

// The ASCII forms were checked with libidn2's idn2 tool.
TEST(CandidateGenerator, JoinsUnicodeKeywordsAndAsksInTheirAsciiForm) {
    // Singles, pairs, then pairs with hyphens; each name followed by its acronym.
    const StringList cafeShop = {
        "xn--caf-dma.com",
        "c.com",
        "shop.com",
        "s.com",
        "xn--cafshop-dya.com",
        "cs.com",
        "xn--shopcaf-hya.com",
        "sc.com",
        "xn--caf-shop-d1a.com",
        "c-s.com",
        "xn--shop-caf-i1a.com",
        "s-c.com",
    };
    EXPECT_EQ(Build({{"café", "shop"}, core::kAllVariants, true, true}), cafeShop);
    // Acronyms take the first letter, all of its bytes.
    const StringList uberApfel = {
        "xn--ber-goa.com",        "xn--tda.com",     "xn--pfel-koa.com",       "xn--4ca.com",
        "xn--berpfel-7wa6s.com",  "xn--4ca1c.com",   "xn--pfelber-4wa4t.com",  "xn--4ca2c.com",
        "xn--ber-pfel-3za9u.com", "xn----0fa4e.com", "xn--pfel-ber-zza9v.com", "xn----zfa7e.com"};
    EXPECT_EQ(Build({{"über", "äpfel"}, core::kAllVariants, true, true}), uberApfel);
}

TEST(CandidateGenerator, FirstLetterIsAWholeCodePoint) {
    const std::pair<const char *, const char *> rows[] = {
        {"über", "ü"}, {"日本", "日"}, {"𝔞b", "𝔞"}, {"car", "c"}, {"ä", "ä"}};
    for (const auto &[word, letter] : rows)
        EXPECT_EQ(core::FirstLetter(word), letter) << word;
}

// A joined name that IDNA refuses (here Latin then Hebrew) is left out; the rest stay.
TEST(CandidateGenerator, LeavesOutJoinedUnicodeNamesThatAreNoDomainName) {
    EXPECT_EQ(Build({{"ab", "\u05e9\u05dc\u05d5\u05dd"}, core::kAllVariants, false, false}),
              (StringList{"ab.com", "xn--9dbne9b.com"}));
}

TEST(SuffixList, MapsUnicodeSuffixesAndNamesARefusedOne) {
    EXPECT_EQ(core::ReadSuffixList("рф, .ONLINE, .みんな"),
              (StringList{"xn--p1ai", "online", "xn--q9jyb4c"}));
    SearchOptions options;
    options.keywords = {"bäcker"};
    options.SetSearchFor(core::kExactPhrase);
    options.COM = false;
    options.suffixes = "рф";
    StringList candidates, scratch;
    CandidateGenerator(options, candidates, scratch).BuildCandidates();
    EXPECT_EQ(candidates, StringList{"xn--bcker-gra.xn--p1ai"});
    try {
        core::ReadSuffixList("io, р ф");
        ADD_FAILURE();
    } catch (const core::ESuffixError &error) {
        EXPECT_NE(error.Message().find("'р ф'"), std::string::npos) << error.Message();
    }
}

TEST(KeywordRules, FoldsUnicodeKeywordsAndRefusesThoseThatAreNoLabel) {
    struct Row {
        std::string typed;
        core::KeywordAdded added;
        std::string searched; // the keywords after LowerKeywords
    };
    const Row rows[] = {
        {"Bäcker", core::KeywordAdded::Added, "bäcker"},
        {"BÄCKER", core::KeywordAdded::Ignored, ""}, // the same keyword in another case
        {"ü b", core::KeywordAdded::Refused, ""},
        {"Straße", core::KeywordAdded::Added, "straße"},
        {"CAR", core::KeywordAdded::Added, "car"},
    };
    StringList keywords;
    StringList expected;
    for (const Row &row : rows) {
        EXPECT_EQ(core::AddKeyword(keywords, row.typed), row.added) << row.typed;
        if (!row.searched.empty())
            expected.push_back(row.searched);
    }
    core::LowerKeywords(keywords);
    EXPECT_EQ(keywords, expected);
}

TEST(KeywordRules, RefusalNamesTheKeywordWithControlsEscaped) {
    EXPECT_EQ(core::RefusedKeywordMessage("-bäcker"),
              "The keyword '-bäcker' cannot be part of a domain name: it starts or ends with a "
              "hyphen.");
    const std::string message = core::RefusedKeywordMessage("b\xc3\xa4\ncker");
    EXPECT_NE(message.find("'b\xc3\xa4\\x0Acker'"), std::string::npos) << message;
}
