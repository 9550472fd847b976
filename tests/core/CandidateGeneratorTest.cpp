#include "core/CandidateGenerator.h"
#include "core/AffixWords.h"
#include "core/KeywordRules.h"
#include "core/SuffixList.h"

#include <algorithm>
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

namespace {

// The further choices of a search, beside the keywords' own combinations.
struct Choices {
    std::string before = "";
    std::string after = "";
    bool common = false;
    bool hacks = false;
    std::int32_t maxLength = core::kNoLengthLimit;
    std::string suffixes = "";
};

StringList BuildWith(const Setup &setup, const Choices &choices) {
    SearchOptions options;
    options.keywords = setup.keywords;
    options.SetSearchFor(setup.mode);
    options.hyphens = setup.hyphens;
    options.acronyms = setup.acronyms;
    options.COM = setup.com;
    options.NET = setup.net;
    options.ORG = setup.org;
    options.before = choices.before;
    options.after = choices.after;
    options.commonAffixes = choices.common;
    options.suffixHacks = choices.hacks;
    options.maxNameLength = choices.maxLength;
    options.suffixes = choices.suffixes;
    StringList candidates, scratch;
    CandidateGenerator(options, candidates, scratch).BuildCandidates();
    return candidates;
}

bool Has(const StringList &names, const std::string &name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

} // namespace

TEST(CandidateGenerator, JoinsWordsBeforeAndAfterSinglesAndPairsInOrder) {
    // The keywords' own names first, unchanged, then singles and pairs with the words: plain,
    // then with hyphens. Acronyms get no words.
    EXPECT_EQ(
        BuildWith({{"fast", "car"}, core::kAllVariants, true, true}, {"get", "hq"}),
        (StringList{"fast.com",         "f.com",           "car.com",          "c.com",
                    "fastcar.com",      "fc.com",          "carfast.com",      "cf.com",
                    "fast-car.com",     "f-c.com",         "car-fast.com",     "c-f.com",
                    "getfast.com",      "fasthq.com",      "getcar.com",       "carhq.com",
                    "getfastcar.com",   "fastcarhq.com",   "getcarfast.com",   "carfasthq.com",
                    "get-fast.com",     "fast-hq.com",     "get-car.com",      "car-hq.com",
                    "get-fast-car.com", "fast-car-hq.com", "get-car-fast.com", "car-fast-hq.com"}));
    EXPECT_EQ(
        BuildWith({{"fast"}, core::kExactPhrase, false, false, true, true}, {"my, try", "app"}),
        (StringList{"fast.com", "fast.net", "myfast.com", "myfast.net", "tryfast.com",
                    "tryfast.net", "fastapp.com", "fastapp.net"}));
}

TEST(CandidateGenerator, WordsCountOncePerSingleAndPairNeverPerTripleOrAcronym) {
    struct Row {
        std::size_t keywords;
        std::int32_t mode;
        bool hyphens, acronyms;
        Choices choices;
        std::size_t names;
    };
    const Row rows[] = {
        // Base names (15 for three keywords, all variants) plus one per single and pair (9).
        {3, core::kAllVariants, false, false, {"my"}, 15 + 9},
        {3, core::kAllVariants, true, false, {"my", "hq"}, 27 + 2 * 2 * 9},
        {3, core::kAllVariants, false, true, {"", "hq"}, 30 + 9},
        {3, core::kExactPhrase, true, true, {"a,b", "c"}, 6 + 2 * 3 * 3},
        {2, core::kAllVariants, false, false, {"", "", true}, 4 + 10 * 4},
        // A typed word that is also a common one comes once.
        {1, core::kExactPhrase, false, false, {"get, x", "hq", true}, 1 + 11},
        {3, core::kNoChoice, false, false, {"my"}, 3 + 3},
    };
    const StringList words = {"alpha", "beta", "gamma"};
    for (const Row &row : rows) {
        const StringList names = BuildWith({StringList(words.begin(), words.begin() + row.keywords),
                                            row.mode, row.hyphens, row.acronyms},
                                           row.choices);
        EXPECT_EQ(names.size(), row.names)
            << row.keywords << " keywords, mode " << row.mode << ", before " << row.choices.before;
        for (const char *never : {"myalphabetagamma.com", "alphabetagammahq.com", "abhq.com",
                                  "aahq.com", "ahq.com", "my-a-b.com"})
            EXPECT_FALSE(Has(names, never)) << never;
    }
}

TEST(CandidateGenerator, FurtherChoicesCheckEachNameOnce) {
    // "getfast" is a pair and "get" + "fast"; the acronyms repeat "s" and "ss".
    EXPECT_EQ(BuildWith({{"get", "fast"}, core::kAllVariants}, {"get"}),
              (StringList{"get.com", "fast.com", "getfast.com", "fastget.com", "getget.com",
                          "getgetfast.com", "getfastget.com"}));
    EXPECT_EQ(BuildWith({{"sun", "shop"}, core::kAllVariants, false, true}, {.maxLength = 63}),
              (StringList{"sun.com", "s.com", "shop.com", "sunshop.com", "ss.com", "shopsun.com"}));
    // Without them the repeats stay, as they always have.
    EXPECT_EQ(BuildWith({{"sun", "shop"}, core::kAllVariants, false, true}, {}).size(), 8u);
}

TEST(AffixWords, ReadsWordsAndNamesTheFirstThatIsNoLabelPart) {
    EXPECT_EQ(core::ReadAffixWords(" Get, try ,my,,GET, e-x, Über"),
              (StringList{"get", "try", "my", "e-x", "über"}));
    EXPECT_TRUE(core::ReadAffixWords(" , ").empty());
    for (const std::string &bad :
         StringList{"a b", "-x", "x-", "a.b", "x_y", "a/b", "ü b", std::string(64, 'a')}) {
        try {
            core::ReadAffixWords("ok, " + bad);
            ADD_FAILURE() << bad;
        } catch (const core::EAffixError &error) {
            EXPECT_EQ(error.Message(), "'" + bad + "' cannot be part of a domain name");
        }
    }
    std::string many = "w0";
    for (std::size_t i = 1; i < core::kMaxAffixWords; ++i)
        many += ",w" + std::to_string(i);
    EXPECT_EQ(core::ReadAffixWords(many).size(), core::kMaxAffixWords);
    EXPECT_THROW(core::ReadAffixWords(many + ",one-more"), core::EAffixError);
    EXPECT_NO_THROW(core::ReadAffixWords(many + ",w0"));

    SearchOptions options;
    options.keywords = {"x"};
    options.after = "a b";
    StringList candidates, scratch;
    EXPECT_THROW(CandidateGenerator(options, candidates, scratch).BuildCandidates(),
                 core::EAffixError);
}

// The hack names come after every other name, keyword by keyword, suffix by suffix.
TEST(CandidateGenerator, SplitsAKeywordAtTheSuffixItEndsWith) {
    struct Row {
        StringList keywords;
        std::string suffixes;
        StringList hacks; // the names beyond the keywords' own
    };
    const Row rows[] = {
        {{"family"}, "ly", {"fami.ly"}},
        {{"aly"}, "ly", {"a.ly"}}, // one letter before the suffix is enough
        {{"ly"}, "ly", {}},        // none: nothing would be left before it
        {{"bio", "radio"}, "io, ly", {"b.io", "rad.io"}},
        {{"fast-ly"}, "ly", {}}, // the rest would end with a hyphen
        {{"famicouk"}, "co.uk", {"fami.co.uk"}},
        {{"приветрф"}, "рф", {"xn--b1agh1afp.xn--p1ai"}},
        {{"telecom"}, "", {"tele.com"}}, // .com is chosen by its box
        {{"fami", "family"}, "ly", {}},  // fami.ly is a name of its own already
        {{"family"}, "", {}},
    };
    for (const Row &row : rows) {
        const ::Setup setup{row.keywords, core::kExactPhrase};
        const StringList plain = BuildWith(setup, {.suffixes = row.suffixes});
        const StringList hacked = BuildWith(setup, {.hacks = true, .suffixes = row.suffixes});
        ASSERT_GE(hacked.size(), plain.size()) << row.keywords[0];
        EXPECT_EQ(StringList(hacked.begin(), hacked.begin() + plain.size()), plain);
        EXPECT_EQ(StringList(hacked.begin() + plain.size(), hacked.end()), row.hacks)
            << row.keywords[0];
    }
}

TEST(CandidateGenerator, MaxLengthCountsTheLettersBeforeTheSuffix) {
    struct Row {
        StringList keywords;
        Choices choices;
        StringList names;
    };
    const Row rows[] = {
        {{"fast", "car"}, {.maxLength = 3}, {"car.com"}},
        {{"fast", "car"}, {.maxLength = 4}, {"fast.com", "car.com"}},
        {{"fast", "car"}, {.maxLength = 7}, {"fast.com", "car.com", "fastcar.com", "carfast.com"}},
        {{"über"}, {.maxLength = 4}, {"xn--ber-goa.com"}}, // letters, not the ASCII form's bytes
        {{"über"}, {.maxLength = 3}, {}},
        {{"family"}, {.hacks = true, .maxLength = 4, .suffixes = "ly"}, {"fami.ly"}},
        {{"family"}, {.hacks = true, .maxLength = 3, .suffixes = "ly"}, {}},
        {{"go"}, {"", "hq", false, false, 4}, {"go.com", "gohq.com"}},
        {{"go"}, {"", "app", false, false, 4}, {"go.com"}},
    };
    for (const Row &row : rows)
        EXPECT_EQ(BuildWith({row.keywords, core::kAllVariants}, row.choices), row.names)
            << row.keywords[0] << " at most " << row.choices.maxLength;
    // Hyphens and acronyms count as letters too: f-c has three.
    const StringList short3 =
        BuildWith({{"fast", "car"}, core::kAllVariants, true, true}, {.maxLength = 3});
    EXPECT_EQ(short3,
              (StringList{"f.com", "car.com", "c.com", "fc.com", "cf.com", "f-c.com", "c-f.com"}));
}
