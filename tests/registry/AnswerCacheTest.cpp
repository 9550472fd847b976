#include "registry/AnswerCache.h"

#include "platform/SqliteDatabase.h"
#include "platform/SqliteStatement.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempFolder.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <sstream>
#include <string>

using namespace std::chrono;
using registry::AnswerCache;
using registry::AnswerSource;
using registry::CacheLifetimes;
using registry::KeptAnswer;
using registry::KeptVerdict;

namespace {

// 2026-12-07 23:05:00 UTC.
const system_clock::time_point kNow{seconds(1796684700)};

// A clock the test moves by hand.
struct TestClock {
    system_clock::time_point now = kNow;
    AnswerCache::Clock Function() {
        return [this] { return now; };
    }
};

KeptAnswer Answer(KeptVerdict verdict, system_clock::time_point decided,
                  std::string registrar = "Example Registrar, Inc.") {
    KeptAnswer answer;
    answer.verdict = verdict;
    answer.source = AnswerSource::Rdap;
    answer.expires = verdict == KeptVerdict::Taken ? "2027-03-15" : "";
    answer.registrar = verdict == KeptVerdict::Taken ? std::move(registrar) : "";
    answer.status = verdict == KeptVerdict::Taken ? "client transfer prohibited" : "";
    answer.decided = decided;
    return answer;
}

void ExpectSame(const KeptAnswer &got, const KeptAnswer &want) {
    EXPECT_EQ(got.verdict, want.verdict);
    EXPECT_EQ(got.source, want.source);
    EXPECT_EQ(got.expires, want.expires);
    EXPECT_EQ(got.registrar, want.registrar);
    EXPECT_EQ(got.status, want.status);
    EXPECT_EQ(got.decided, want.decided);
}

// What a child writes: the registrar and status of name i say i, so a torn answer shows.
std::string NameOf(const std::string &prefix, int i) {
    return prefix + std::to_string(i) + ".com";
}
KeptAnswer ChildAnswer(int i) {
    KeptAnswer answer = Answer(KeptVerdict::Taken, kNow, "Registrar " + std::to_string(i));
    answer.status = std::string(600, 'a' + i % 26) + std::to_string(i);
    return answer;
}

const std::string kSelf = "/proc/self/exe";

} // namespace

TEST(AnswerCache, KeepsAnAnswerByItsNameWhateverTheCase) {
    TempFolder folder;
    TestClock clock;
    AnswerCache cache(folder.Path() / "answers.sqlite", {}, clock.Function());
    EXPECT_TRUE(cache.Note().empty());
    EXPECT_FALSE(cache.Lookup("held.com"));
    const KeptAnswer held = Answer(KeptVerdict::Taken, kNow);
    ASSERT_TRUE(cache.Keep("Held.COM", held));
    const auto got = cache.Lookup("held.com");
    ASSERT_TRUE(got);
    ExpectSame(*got, held);
    EXPECT_FALSE(cache.Lookup("other.com"));

    // A later answer replaces the earlier one.
    KeptAnswer freed = Answer(KeptVerdict::Free, kNow);
    freed.source = AnswerSource::Dns;
    ASSERT_TRUE(cache.Keep("held.com", freed));
    ExpectSame(*cache.Lookup("HELD.com"), freed);
}

TEST(AnswerCache, AnswersSurviveTheProgram) {
    TempFolder folder;
    TestClock clock;
    const KeptAnswer held = Answer(KeptVerdict::Taken, kNow);
    AnswerCache(folder.Path() / "answers.sqlite", {}, clock.Function()).Keep("held.com", held);
    AnswerCache again(folder.Path() / "answers.sqlite", {}, clock.Function());
    ASSERT_TRUE(again.Lookup("held.com"));
    ExpectSame(*again.Lookup("held.com"), held);
}

struct Freshness {
    const char *name;
    KeptVerdict verdict;
    // The lifetimes when kept, and when looked up (a later run may shorten them).
    CacheLifetimes kept, lookedUp;
    // From the decision to the lookup.
    seconds age;
    bool kept_, found;
};

void PrintTo(const Freshness &c, std::ostream *os) {
    *os << c.name;
}

const CacheLifetimes kDefault{};
const Freshness kFreshness[] = {
    {"taken within a day", KeptVerdict::Taken, kDefault, kDefault, hours(24) - seconds(1), true,
     true},
    {"taken after a day", KeptVerdict::Taken, kDefault, kDefault, hours(24), true, false},
    {"free within ten minutes", KeptVerdict::Free, kDefault, kDefault, minutes(10) - seconds(1),
     true, true},
    {"free after ten minutes", KeptVerdict::Free, kDefault, kDefault, minutes(10), true, false},
    {"free kept no time",
     KeptVerdict::Free,
     {hours(24), seconds(0)},
     kDefault,
     seconds(0),
     false,
     false},
    {"taken kept no time",
     KeptVerdict::Taken,
     {seconds(0), minutes(10)},
     kDefault,
     seconds(0),
     false,
     false},
    {"a shorter lifetime counts at once",
     KeptVerdict::Taken,
     kDefault,
     {seconds(60), minutes(10)},
     seconds(60),
     true,
     false},
    {"a longer lifetime later does not revive",
     KeptVerdict::Free,
     kDefault,
     {hours(24), hours(24)},
     minutes(10),
     true,
     false},
    {"decided in the future by a wrong clock", KeptVerdict::Taken, kDefault, kDefault, -hours(1),
     true, false},
    {"custom lifetime",
     KeptVerdict::Free,
     {hours(1), seconds(30)},
     {hours(1), seconds(30)},
     seconds(29),
     true,
     true},
};

class AnswerFreshness : public ::testing::TestWithParam<Freshness> {};

TEST_P(AnswerFreshness, ExpiresByItsKind) {
    const Freshness &c = GetParam();
    TempFolder folder;
    TestClock clock;
    const KeptAnswer answer = Answer(c.verdict, kNow);
    {
        AnswerCache cache(folder.Path() / "answers.sqlite", c.kept, clock.Function());
        EXPECT_EQ(cache.Keep("name.com", answer), c.kept_);
    }
    clock.now = kNow + c.age;
    AnswerCache cache(folder.Path() / "answers.sqlite", c.lookedUp, clock.Function());
    EXPECT_EQ(cache.Lookup("name.com").has_value(), c.found);
}

INSTANTIATE_TEST_SUITE_P(Kinds, AnswerFreshness, ::testing::ValuesIn(kFreshness));

TEST(AnswerCache, RefusesWhatItCouldNotReadBack) {
    TempFolder folder;
    TestClock clock;
    AnswerCache cache(folder.Path() / "answers.sqlite", {}, clock.Function());
    EXPECT_FALSE(cache.Keep("", Answer(KeptVerdict::Taken, kNow)));
    EXPECT_FALSE(cache.Keep(std::string(254, 'a'), Answer(KeptVerdict::Taken, kNow)));
    EXPECT_FALSE(cache.Keep("long.com", Answer(KeptVerdict::Taken, kNow, std::string(5000, 'r'))));
    EXPECT_FALSE(cache.Lookup("long.com"));
}

// Rows another program wrote into the file: only one whose every cell is one this program writes
// is an answer.
TEST(AnswerCache, BelievesOnlyRowsItCouldHaveWritten) {
    TempFolder folder;
    TestClock clock;
    const std::filesystem::path file = folder.Path() / "answers.sqlite";
    AnswerCache cache(file, {}, clock.Function());
    struct Row {
        const char *name;
        std::int64_t verdict;
        const char *source;
        std::string expires, registrar;
        bool believed;
    };
    const Row rows[] = {
        {"good.com", 1, "rdap", "2027-03-15", "Registrar", true},
        {"verdict.com", 7, "rdap", "", "", false},
        {"source.com", 1, "web", "", "", false},
        {"expires.com", 1, "rdap", "2027-03-15T00", "", false},
        {"registrar.com", 1, "rdap", "", std::string(5000, 'r'), false},
    };
    platform::SqliteDatabase other(file, milliseconds(1000));
    platform::SqliteStatement insert(other,
                                     "INSERT INTO answers VALUES (?1, ?2, ?3, ?4, ?5, '', ?6, ?7)");
    for (const Row &row : rows) {
        insert.Bind(1, row.name);
        insert.Bind(2, row.verdict);
        insert.Bind(3, row.source);
        insert.Bind(4, row.expires);
        insert.Bind(5, row.registrar);
        insert.Bind(6, std::int64_t(duration_cast<seconds>(kNow.time_since_epoch()).count()));
        insert.Bind(7, std::int64_t(duration_cast<seconds>(kNow.time_since_epoch()).count() + 60));
        insert.Step();
        insert.Reset();
    }
    for (const Row &row : rows)
        EXPECT_EQ(cache.Lookup(row.name).has_value(), row.believed) << row.name;
}

// What is found where the cache should be.
struct Damage {
    const char *name;
    enum class Kind { Garbage, Truncated, Folder, OtherVersion } kind;
};

void PrintTo(const Damage &c, std::ostream *os) {
    *os << c.name;
}

const Damage kDamage[] = {
    {"garbage bytes", Damage::Kind::Garbage},
    {"a truncated file", Damage::Kind::Truncated},
    {"a folder in its place", Damage::Kind::Folder},
    {"another version's layout", Damage::Kind::OtherVersion},
};

class DamagedCache : public ::testing::TestWithParam<Damage> {};

// Fills the cache's place with the damage. The answer kept before must never come back.
void Spoil(const std::filesystem::path &file, Damage::Kind kind) {
    if (kind == Damage::Kind::Folder) {
        std::filesystem::create_directories(file / "inside");
        return;
    }
    if (kind == Damage::Kind::Garbage) {
        std::mt19937 random(7);
        std::string bytes(9000, '\0');
        for (char &byte : bytes)
            byte = static_cast<char>(random());
        std::ofstream(file, std::ios::binary) << bytes;
        return;
    }
    {
        TestClock clock;
        AnswerCache cache(file, {}, clock.Function());
        for (int i = 0; i < 400; ++i)
            cache.Keep(NameOf("n", i), ChildAnswer(i));
    }
    if (kind == Damage::Kind::Truncated) {
        std::filesystem::resize_file(file, std::filesystem::file_size(file) / 3);
        return;
    }
    // The layout's version sits at byte 60 of the header, big-endian.
    std::fstream out(file, std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(60);
    out.write("\0\0\0\x09", 4);
}

TEST_P(DamagedCache, IsSetAsideAndANewOneMade) {
    TempFolder folder;
    TestClock clock;
    const std::filesystem::path file = folder.Path() / "answers.sqlite";
    Spoil(file, GetParam().kind);

    {
        AnswerCache cache(file, {}, clock.Function());
        EXPECT_NE(cache.Note().find("answers.sqlite.damaged-2026-12-07T2305"), std::string::npos)
            << cache.Note();
        EXPECT_TRUE(
            std::filesystem::exists(folder.Path() / "answers.sqlite.damaged-2026-12-07T2305"));
        EXPECT_TRUE(std::filesystem::is_regular_file(file));
        EXPECT_FALSE(cache.Lookup(NameOf("n", 1)));
        ASSERT_TRUE(cache.Keep("new.com", Answer(KeptVerdict::Taken, kNow)));
        EXPECT_TRUE(cache.Lookup("new.com"));
    }

    // The same damage again in the same minute keeps both files set aside.
    std::filesystem::remove(file);
    Spoil(file, GetParam().kind);
    AnswerCache second(file, {}, clock.Function());
    EXPECT_TRUE(
        std::filesystem::exists(folder.Path() / "answers.sqlite.damaged-2026-12-07T2305-2"));
}

INSTANTIATE_TEST_SUITE_P(Kinds, DamagedCache, ::testing::ValuesIn(kDamage));

TEST(AnswerCache, ThatCannotBeMadeRaises) {
    TempFolder folder;
    std::ofstream(folder.PathOf("file")) << "a file where the folder should be";
    EXPECT_THROW(AnswerCache(folder.Path() / "file" / "answers.sqlite", {}), registry::ECacheError);
}

// Run by the tests below in a child process (this same program): keeps COUNT answers named
// PREFIXi.com in FILE, one at a time, telling how far it got, and reads each back.
TEST(AnswerCacheChild, KeepsAnswers) {
    const char *job = std::getenv("NIMBREL_CACHE_CHILD");
    if (!job)
        GTEST_SKIP() << "run by the two-program tests";
    std::istringstream words(job);
    std::string file, prefix;
    int count = 0;
    words >> file >> prefix >> count;
    TestClock clock;
    AnswerCache cache(file, {}, clock.Function());
    int failed = 0;
    for (int i = 0; i < count; ++i) {
        if (!cache.Keep(NameOf(prefix, i), ChildAnswer(i)))
            ++failed;
        // Reading a name the other program may be writing at the same time.
        cache.Lookup(NameOf(prefix == "a" ? "b" : "a", i));
        if ((i + 1) % 50 == 0)
            std::cerr << "kept " << i + 1 << "\n" << std::flush;
    }
    EXPECT_EQ(failed, 0);
}

TEST(AnswerCache, TwoProgramsKeepAndReadAtOnce) {
    TempFolder folder;
    const std::filesystem::path file = folder.Path() / "answers.sqlite";
    const std::string self = std::filesystem::read_symlink(kSelf).string();
    const int count = 500;
    const auto job = [&](const std::string &prefix) {
        return "NIMBREL_CACHE_CHILD=" + file.string() + " " + prefix + " " + std::to_string(count);
    };
    // Both start before either has made the file.
    testsupport::ChildProcess a(self, {"--gtest_filter=AnswerCacheChild.*"}, {job("a")});
    testsupport::ChildProcess b(self, {"--gtest_filter=AnswerCacheChild.*"}, {job("b")});
    const testsupport::ChildResult resultA = a.Wait();
    const testsupport::ChildResult resultB = b.Wait();
    ASSERT_EQ(resultA.exitCode, 0) << resultA.out << resultA.err;
    ASSERT_EQ(resultB.exitCode, 0) << resultB.out << resultB.err;

    TestClock clock;
    AnswerCache cache(file, {}, clock.Function());
    EXPECT_TRUE(cache.Note().empty()) << cache.Note();
    for (const char *prefix : {"a", "b"})
        for (int i = 0; i < count; ++i) {
            const auto got = cache.Lookup(NameOf(prefix, i));
            ASSERT_TRUE(got) << NameOf(prefix, i);
            ExpectSame(*got, ChildAnswer(i));
        }
}

TEST(AnswerCache, AnswersKeptBeforeAKillAreWhole) {
    TempFolder folder;
    const std::filesystem::path file = folder.Path() / "answers.sqlite";
    const int count = 100000;
    std::random_device seed;
    const int killAfter = 50 * std::uniform_int_distribution<int>(1, 20)(seed);
    testsupport::ChildProcess child(
        std::filesystem::read_symlink(kSelf).string(), {"--gtest_filter=AnswerCacheChild.*"},
        {"NIMBREL_CACHE_CHILD=" + file.string() + " k " + std::to_string(count)});
    ASSERT_TRUE(child.WaitForError("kept " + std::to_string(killAfter) + "\n"));
    child.Signal(SIGKILL);
    child.Wait();

    TestClock clock;
    AnswerCache cache(file, {}, clock.Function());
    EXPECT_TRUE(cache.Note().empty()) << cache.Note();
    int found = 0;
    for (int i = 0; i < killAfter + 2000; ++i) {
        const auto got = cache.Lookup(NameOf("k", i));
        if (!got)
            continue;
        ++found;
        ExpectSame(*got, ChildAnswer(i));
    }
    EXPECT_GE(found, killAfter) << "killed after " << killAfter;
}
