#include "core/OptionsStore.h"

#include "tests/support/TempConfigHome.h"

#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/resource.h>

using core::SearchOptions;

namespace {

class OptionsStore : public ::testing::Test {
protected:
    void WriteStore(const std::string &values) {
        std::filesystem::create_directories(home_.SetupFile().parent_path());
        std::ofstream(home_.SetupFile(), std::ios::binary)
            << "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Pellwick\\Brindlemark\\Setup]\n"
            << values;
    }
    std::string ReadStore() const { return FileContents(home_.SetupFile()); }
    SearchOptions Loaded() const {
        SearchOptions options;
        core::LoadSearchMode(options);
        core::LoadSettings(options);
        return options;
    }

    TempConfigHome home_;
};

// Lowers the file size limit for one scope, so that a write past it fails with EFBIG.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &previous_);
        rlimit lowered = previous_;
        lowered.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previousHandler_);
    }

private:
    rlimit previous_{};
    void (*previousHandler_)(int);
};

} // namespace

TEST_F(OptionsStore, FirstStartGivesTheDefaultsAndWritesNothing) {
    const SearchOptions options = Loaded();
    EXPECT_EQ(options.searchfor(), core::kAllVariants);
    EXPECT_TRUE(options.COM);
    EXPECT_FALSE(options.NET || options.ORG || options.hyphens || options.acronyms);
    EXPECT_EQ(options.show(), core::kShowAll);
    EXPECT_EQ(options.reg, core::kDefaultRegistrationAddress);
    EXPECT_EQ(options.check(), core::kCheckRegistry);
    EXPECT_FALSE(options.BIZ || options.US || options.INFO || options.COUK);
    EXPECT_EQ(options.suffixes, "");
    EXPECT_TRUE(options.cache);
    EXPECT_FALSE(std::filesystem::exists(home_.Folder() / "Pellwick"));
}

TEST_F(OptionsStore, StoresAndLoadsEveryValue) {
    SearchOptions options;
    options.SetSearchFor(core::kExactPhrase);
    options.COM = false;
    options.NET = options.ORG = options.hyphens = options.acronyms = true;
    options.SetShow(core::kNoChoice);
    options.reg = "http://www.example.com/a \"b\" \\c";
    options.SetCheck(core::kCheckWeb);
    options.BIZ = options.US = options.INFO = options.COUK = true;
    options.suffixes = "io, dev";
    options.cache = false;
    core::StoreSearchMode(options);
    core::StoreSettings(options);

    const SearchOptions loaded = Loaded();
    EXPECT_EQ(loaded.searchfor(), core::kExactPhrase);
    EXPECT_FALSE(loaded.COM);
    EXPECT_TRUE(loaded.NET && loaded.ORG && loaded.hyphens && loaded.acronyms);
    EXPECT_EQ(loaded.show(), core::kNoChoice);
    EXPECT_EQ(loaded.reg, options.reg);
    EXPECT_EQ(loaded.check(), core::kCheckWeb);
    EXPECT_TRUE(loaded.BIZ && loaded.US && loaded.INFO && loaded.COUK);
    EXPECT_EQ(loaded.suffixes, "io, dev");
    EXPECT_FALSE(loaded.cache);
    EXPECT_NE(ReadStore().find("\"cache\"=dword:00000000\n"), std::string::npos);
    EXPECT_NE(ReadStore().find("\"check\"=dword:00000001\n"), std::string::npos);
    EXPECT_NE(ReadStore().find("\"COUK\"=dword:00000001\n"), std::string::npos);
    EXPECT_NE(ReadStore().find("\"suffixes\"=\"io, dev\"\n"), std::string::npos);
    EXPECT_NE(ReadStore().find("\"show\"=dword:ffffffff\n"), std::string::npos);
    EXPECT_NE(ReadStore().find("\"searchfor\"=dword:00000000\n"), std::string::npos);
}

TEST_F(OptionsStore, AFlagOfTheWrongTypeEndsTheSettingsLoad) {
    WriteStore("\"searchfor\"=dword:00000000\n\"COM\"=dword:00000000\n\"NET\"=\"yes\"\n"
               "\"ORG\"=dword:00000001\n\"show\"=dword:00000000\n\"reg\"=\"http://x\"\n");
    const SearchOptions options = Loaded();
    EXPECT_EQ(options.searchfor(), core::kExactPhrase);
    EXPECT_FALSE(options.COM);
    EXPECT_FALSE(options.ORG);
    EXPECT_EQ(options.show(), core::kShowAll);
    EXPECT_EQ(options.reg, core::kDefaultRegistrationAddress);
}

TEST_F(OptionsStore, ShowOfTheWrongTypeKeepsItsDefaultAndTheLoadGoesOn) {
    WriteStore("\"show\"=\"0\"\n\"reg\"=\"http://www.example.org\"\n\"acronyms\"=dword:1\n");
    const SearchOptions options = Loaded();
    EXPECT_EQ(options.show(), core::kShowAll);
    EXPECT_EQ(options.reg, "http://www.example.org");
    EXPECT_TRUE(options.acronyms);
}

TEST_F(OptionsStore, ClampsStoredChoicesAndReadsAnyNonZeroFlagAsSet) {
    WriteStore("\"show\"=dword:00000007\n\"searchfor\"=dword:ffffffff\n\"COM\"=dword:00000002\n");
    SearchOptions options = Loaded();
    EXPECT_EQ(options.show(), core::kShowAll);
    EXPECT_EQ(options.searchfor(), core::kNoChoice);
    EXPECT_TRUE(options.COM);
    core::StoreSettings(options);
    EXPECT_NE(ReadStore().find("\"COM\"=dword:00000001\n"), std::string::npos);

    WriteStore("\"show\"=dword:fffffffb\n");
    EXPECT_EQ(Loaded().show(), core::kNoChoice);

    // Any check but the web check is the registry check.
    WriteStore("\"check\"=dword:00000005\n");
    EXPECT_EQ(Loaded().check(), core::kCheckRegistry);
}

TEST_F(OptionsStore, KeepsWhereLinksAndRankComeFrom) {
    const struct {
        std::int32_t set, loaded; // kFromIndex is the command line's alone and not kept
        const char *stored;
    } cases[] = {
        {core::kIndexWhenPresent, core::kIndexWhenPresent, "dword:00000000"},
        {core::kFromWeb, core::kFromWeb, "dword:00000001"},
        {core::kFromIndex, core::kIndexWhenPresent, "dword:00000000"},
    };
    for (const auto &c : cases) {
        SearchOptions options;
        options.SetLinksFrom(c.set);
        options.SetRankFrom(c.set);
        core::StoreSettings(options);
        EXPECT_NE(ReadStore().find(std::string("\"linksfrom\"=") + c.stored), std::string::npos)
            << ReadStore();
        EXPECT_NE(ReadStore().find(std::string("\"rankfrom\"=") + c.stored), std::string::npos);
        EXPECT_EQ(Loaded().linksFrom(), c.loaded) << c.set;
        EXPECT_EQ(Loaded().rankFrom(), c.loaded) << c.set;
    }
    WriteStore("\"linksfrom\"=dword:00000007\n\"rankfrom\"=\"web\"\n");
    EXPECT_EQ(Loaded().linksFrom(), core::kIndexWhenPresent);
    EXPECT_EQ(Loaded().rankFrom(), core::kIndexWhenPresent);
}

TEST_F(OptionsStore, ReadsEmptyAndExpandableTexts) {
    WriteStore("\"reg\"=\"\"\n");
    EXPECT_EQ(Loaded().reg, "");
    WriteStore("\"reg\"=hex:\n");
    EXPECT_EQ(Loaded().reg, "");
    WriteStore("\"reg\"=hex(2):25,48,4f,4d,45,25,00\n");
    EXPECT_EQ(Loaded().reg, "%HOME%");
    WriteStore("\"reg\"=dword:00000001\n");
    EXPECT_EQ(Loaded().reg, core::kDefaultRegistrationAddress);
}

TEST_F(OptionsStore, StoringTheModeAloneKeepsTheSettings) {
    WriteStore("\"NET\"=dword:00000001\n");
    SearchOptions options;
    options.SetSearchFor(core::kExactPhrase);
    core::StoreSearchMode(options);
    const SearchOptions loaded = Loaded();
    EXPECT_EQ(loaded.searchfor(), core::kExactPhrase);
    EXPECT_TRUE(loaded.NET);
}

TEST_F(OptionsStore, ACorruptFileReadsAsDefaultsOrMissingValues) {
    static const char corrupt[] = "\x01\xff garbage\n\"COM\"=dword:0000000000000\n\"ORG\"=dword:1\n"
                                  "\"hyphens\"=\"unterminated\n\0\0\n";
    WriteStore(std::string(corrupt, sizeof corrupt - 1));
    const SearchOptions options = Loaded();
    EXPECT_TRUE(options.COM);
    EXPECT_TRUE(options.ORG);
    EXPECT_FALSE(options.hyphens);

    std::filesystem::remove(home_.SetupFile());
    std::filesystem::create_directory(home_.SetupFile());
    EXPECT_EQ(Loaded().reg, core::kDefaultRegistrationAddress);
}

TEST_F(OptionsStore, AFailedWriteLeavesThePreviousFileWholeAndEndsTheStore) {
    SearchOptions options;
    options.NET = true;
    core::StoreSettings(options);
    const std::string before = ReadStore();

    options.COM = false;
    options.reg = std::string(4000, 'x');
    {
        FileSizeLimit limit(before.size() - 40);
        core::StoreSettings(options);
    }
    EXPECT_EQ(ReadStore(), before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(home_.SetupFile().parent_path()),
                            std::filesystem::directory_iterator()),
              1)
        << "a temporary file was left behind";

    // Room for the five flags but not for "show": the later values are not written.
    WriteStore("");
    const std::size_t fiveFlags = std::string("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Pellwick\\"
                                              "Brindlemark\\Setup]\n")
                                      .size() +
                                  5 * std::string("\"hyphens\"=dword:00000001\n").size() - 8;
    {
        FileSizeLimit limit(fiveFlags);
        core::StoreSettings(options);
    }
    const std::string partial = ReadStore();
    EXPECT_NE(partial.find("\"acronyms\""), std::string::npos) << partial;
    EXPECT_EQ(partial.find("\"show\""), std::string::npos) << partial;
}

TEST_F(OptionsStore, AFolderThatCannotBeCreatedMakesTheStoreSilent) {
    std::ofstream(home_.Folder() / "Pellwick") << "a file where the folder should be";
    SearchOptions options;
    options.ORG = true;
    core::StoreSettings(options);
    core::StoreSearchMode(options);
    EXPECT_FALSE(Loaded().ORG);
}

TEST_F(OptionsStore, KeepsTheNameChoicesAndClampsTheLengthLimit) {
    SearchOptions options;
    options.before = "get, try";
    options.after = "hq";
    options.commonAffixes = options.suffixHacks = true;
    options.maxNameLength = 12;
    core::StoreSettings(options);
    const SearchOptions loaded = Loaded();
    EXPECT_EQ(loaded.before, "get, try");
    EXPECT_EQ(loaded.after, "hq");
    EXPECT_TRUE(loaded.commonAffixes && loaded.suffixHacks);
    EXPECT_EQ(loaded.maxNameLength, 12);
    for (const char *line :
         {"\"before\"=\"get, try\"\n", "\"after\"=\"hq\"\n", "\"commonaffixes\"=dword:00000001\n",
          "\"suffixhacks\"=dword:00000001\n", "\"maxlength\"=dword:0000000c\n"})
        EXPECT_NE(ReadStore().find(line), std::string::npos) << line;

    const std::pair<const char *, std::int32_t> lengths[] = {
        {"dword:00000040", 63},
        {"dword:ffffffff", 0},
        {"dword:00000000", 0},
        {"\"7\"", 0}, // the wrong type keeps the default and the load goes on
    };
    for (const auto &[stored, limit] : lengths) {
        WriteStore(std::string("\"maxlength\"=") + stored + "\n\"suffixhacks\"=dword:1\n");
        EXPECT_EQ(Loaded().maxNameLength, limit) << stored;
    }
    EXPECT_TRUE(Loaded().suffixHacks);
}
