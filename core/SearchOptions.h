#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace core {

// The registrar's home page that "Register this domain..." opens until the user picks another.
inline constexpr const char *kDefaultRegistrationAddress = "http://www.gandi.net";

// Search modes of `searchfor` and show-up modes of `show`; -1 means no choice is marked.
inline constexpr std::int32_t kNoChoice = -1;
inline constexpr std::int32_t kExactPhrase = 0;
inline constexpr std::int32_t kAllVariants = 1;
inline constexpr std::int32_t kShowAvailableOnly = 0;
inline constexpr std::int32_t kShowAll = 1;

// How availability is decided (`check`): the registries' records, or the web site's answer.
inline constexpr std::int32_t kCheckRegistry = 0;
inline constexpr std::int32_t kCheckWeb = 1;

// What a search looks for (`searchmode`): names built from the keywords, or the names of the
// imported web graph that contain them.
inline constexpr std::int32_t kBuildNames = 0;
inline constexpr std::int32_t kLinkedNames = 1;

// Names checked at once: 1 is the one-after-the-other run.
inline constexpr std::int32_t kMinJobs = 1;
inline constexpr std::int32_t kDefaultJobs = 16;
inline constexpr std::int32_t kMaxJobs = 64;

// Where link popularity (`linksfrom`) and traffic rank (`rankfrom`) come from: the imported
// index when there is one, else the web; always the web; or only the index (the command line's
// explicit choice, a missing index fails the run). The store keeps the first two.
inline constexpr std::int32_t kIndexWhenPresent = 0;
inline constexpr std::int32_t kFromWeb = 1;
inline constexpr std::int32_t kFromIndex = 2;

// No limit on the letters of a name before its suffix; the most a limit can be (one label).
inline constexpr std::int32_t kNoLengthLimit = 0;
inline constexpr std::int32_t kLongestNameLength = 63;

// The one record of search settings, alive from start-up to exit. The dialogs edit it in place;
// the generator, the check run and the registration command read it when they need it.
class SearchOptions {
public:
    // Up to three keywords in the order entered; never stored.
    std::vector<std::string> keywords;
    bool COM = true;
    bool NET = false;
    bool ORG = false;
    bool BIZ = false;
    bool US = false;
    bool INFO = false;
    bool COUK = false;
    // More suffixes, comma-separated as typed ("io, dev, shop"); see ReadSuffixList.
    std::string suffixes;
    bool hyphens = false;
    bool acronyms = false;
    std::string reg = kDefaultRegistrationAddress;
    // Registry answers are kept between runs and asked before the registries (`cache`).
    bool cache = true;
    // Words joined before and after each keyword and each pair, comma-separated as typed
    // (`before`, `after`); `commonaffixes` adds the built-in words too (core/AffixWords).
    std::string before;
    std::string after;
    bool commonAffixes = false;
    // A keyword that ends with the letters of a chosen suffix also gives the name split there:
    // "family" with .ly chosen gives fami.ly (`suffixhacks`).
    bool suffixHacks = false;
    // Names with more letters than this before the suffix are not checked; kNoLengthLimit for
    // none (`maxlength`, 0 to kLongestNameLength).
    std::int32_t maxNameLength = kNoLengthLimit;
    // For a search of linked names: the fewest hosts a name must have in the web graph. Never
    // stored.
    std::uint32_t minHosts = 1;

    std::int32_t searchfor() const { return searchfor_; }
    std::int32_t searchmode() const { return searchmode_; }
    // Anything but kLinkedNames is kBuildNames.
    void SetSearchMode(std::int32_t value) {
        searchmode_ = value == kLinkedNames ? kLinkedNames : kBuildNames;
    }
    std::int32_t jobs() const { return jobs_; }
    // Clamps to kMinJobs..kMaxJobs.
    void SetJobs(std::int32_t value) {
        jobs_ = value < kMinJobs ? kMinJobs : (value > kMaxJobs ? kMaxJobs : value);
    }
    std::int32_t check() const { return check_; }
    // Anything but the web check is the registry check.
    void SetCheck(std::int32_t value) { check_ = value == kCheckWeb ? kCheckWeb : kCheckRegistry; }
    std::int32_t show() const { return show_; }
    std::int32_t linksFrom() const { return linksFrom_; }
    std::int32_t rankFrom() const { return rankFrom_; }
    // Both take kIndexWhenPresent, kFromWeb or kFromIndex; anything else is kIndexWhenPresent.
    void SetLinksFrom(std::int32_t value) { linksFrom_ = Source(value); }
    void SetRankFrom(std::int32_t value) { rankFrom_ = Source(value); }
    // Both clamp to -1..1 as they set.
    void SetSearchFor(std::int32_t value) { searchfor_ = Clamp(value); }
    void SetShow(std::int32_t value) { show_ = Clamp(value); }

private:
    static std::int32_t Clamp(std::int32_t value) {
        return value < -1 ? -1 : (value > 1 ? 1 : value);
    }
    static std::int32_t Source(std::int32_t value) {
        return value == kFromWeb || value == kFromIndex ? value : kIndexWhenPresent;
    }

    std::int32_t searchfor_ = kAllVariants;
    std::int32_t searchmode_ = kBuildNames;
    std::int32_t show_ = kShowAll;
    std::int32_t jobs_ = kDefaultJobs;
    std::int32_t linksFrom_ = kIndexWhenPresent;
    std::int32_t rankFrom_ = kIndexWhenPresent;
    std::int32_t check_ = kCheckRegistry;
};

} // namespace core
