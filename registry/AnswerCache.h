#pragma once

#include "base/Exception.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

// Registry answers kept between runs, so that checking the same names again soon asks no
// registry: an SQLite file shared by every program of the user (WAL, so readers never wait for
// a writer and two programs may keep answers at once). Only decided answers are kept, a taken
// one longer than a free one, since a free name can be taken at any moment while a taken name
// rarely frees. A lookup that fails for any reason is a miss and a keep that fails is dropped:
// the cache can make a run faster, never wrong, and never stops it.
namespace registry {

// The cache file cannot be opened or made, even after setting a damaged one aside.
class ECacheError : public base::Exception {
public:
    using Exception::Exception;
};

// What a kept answer says; Unknown is never kept, so it has no value here.
enum class KeptVerdict { Free, Taken };

// Where the kept answer came from first.
enum class AnswerSource { Dns, Rdap, Whois };
// "dns", "rdap", "whois" (the words of the Evidence cell), and back.
std::string_view AnswerSourceWord(AnswerSource source);
std::optional<AnswerSource> AnswerSourceFromWord(std::string_view word);

struct KeptAnswer {
    KeptVerdict verdict = KeptVerdict::Taken;
    AnswerSource source = AnswerSource::Rdap;
    // The registration's expiry (YYYY-MM-DD), its registrar and status, as the registry said
    // them; empty when it did not.
    std::string expires;
    std::string registrar;
    std::string status;
    // When the registry was asked.
    std::chrono::system_clock::time_point decided;
};

// How long an answer of each kind is kept; zero keeps none of that kind.
struct CacheLifetimes {
    std::chrono::seconds taken{24 * 60 * 60};
    std::chrono::seconds free{10 * 60};
};

class AnswerCache {
public:
    using Clock = std::function<std::chrono::system_clock::time_point()>;

    // Opens the file, making it and its folder when missing. A file that is not a cache (garbage,
    // damaged, a folder in its place, a layout of another version) is renamed aside with the
    // time, "answers.sqlite.damaged-2026-12-07T2305", and a new one made; Note() says so. Raises
    // ECacheError when no cache can be had. clock: the system clock unless a test gives one.
    AnswerCache(const std::filesystem::path &file, CacheLifetimes lifetimes, Clock clock = {});
    ~AnswerCache();
    AnswerCache(const AnswerCache &) = delete;
    AnswerCache &operator=(const AnswerCache &) = delete;

    // ${XDG_CACHE_HOME:-~/.cache}/Nimbrel/answers.sqlite; ECacheError without either variable.
    static std::filesystem::path DefaultFile();

    // What opening had to do for a person to know ("... set aside as ..."); empty when nothing.
    const std::string &Note() const { return note_; }

    // The answer kept for the ASCII name while it is fresh by the lifetimes; nothing otherwise.
    std::optional<KeptAnswer> Lookup(std::string_view name);
    // The cache's clock, for the time an answer is decided.
    std::chrono::system_clock::time_point Now() const { return clock_(); }
    // Keeps the answer for name (replacing an older one); false when it was not kept.
    bool Keep(std::string_view name, const KeptAnswer &answer);

private:
    struct Open;
    static std::unique_ptr<Open> OpenFile(const std::filesystem::path &file);

    std::chrono::seconds Lifetime(KeptVerdict verdict) const;
    void DropStale();

    CacheLifetimes lifetimes_;
    Clock clock_;
    std::string note_;
    std::mutex mutex_;
    std::unique_ptr<Open> open_;
};

} // namespace registry
