#include "registry/AnswerCache.h"

#include "base/AsciiCase.h"
#include "base/DomainNameLimits.h"
#include "platform/KeptDatabase.h"
#include "platform/SqliteDatabase.h"
#include "platform/SqliteStatement.h"
#include "platform/UserCacheFolder.h"

#include <system_error>
#include <thread>

namespace registry {
namespace {

using namespace std::chrono;

// The layout this program reads and writes; a file of another one is set aside.
constexpr const char *kLayoutVersion = "1";
// No wait for another program's lock is longer than this; after it a lookup is a miss.
constexpr milliseconds kBusyTimeout{1000};
// Registrar and status texts longer than this are not believed to be ours.
constexpr std::size_t kTextLimit = 4096;
// A decision this far in the future came from a clock set wrong; it is not trusted.
constexpr seconds kClockSlack{300};

constexpr const char *kSchema = "CREATE TABLE IF NOT EXISTS answers ("
                                " name TEXT PRIMARY KEY NOT NULL,"
                                " verdict INTEGER NOT NULL,"
                                " source TEXT NOT NULL,"
                                " expires TEXT NOT NULL,"
                                " registrar TEXT NOT NULL,"
                                " status TEXT NOT NULL,"
                                " decided INTEGER NOT NULL,"
                                " keep_until INTEGER NOT NULL) WITHOUT ROWID";

std::int64_t Seconds(system_clock::time_point time) {
    return duration_cast<seconds>(time.time_since_epoch()).count();
}

} // namespace

struct AnswerCache::Open {
    explicit Open(const std::filesystem::path &file) : db(file, kBusyTimeout) {
        platform::PrepareKeptDatabase(db, {kLayoutVersion, {kSchema}, false});
        select = std::make_unique<platform::SqliteStatement>(
            db, "SELECT verdict, source, expires, registrar, status, decided, keep_until"
                " FROM answers WHERE name = ?1");
        insert = std::make_unique<platform::SqliteStatement>(
            db, "INSERT OR REPLACE INTO answers VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)");
    }

    platform::SqliteDatabase db;
    std::unique_ptr<platform::SqliteStatement> select;
    std::unique_ptr<platform::SqliteStatement> insert;
};

std::string_view AnswerSourceWord(AnswerSource source) {
    switch (source) {
    case AnswerSource::Dns:
        return "dns";
    case AnswerSource::Rdap:
        return "rdap";
    case AnswerSource::Whois:
        return "whois";
    }
    return "rdap";
}

std::optional<AnswerSource> AnswerSourceFromWord(std::string_view word) {
    for (AnswerSource source : {AnswerSource::Dns, AnswerSource::Rdap, AnswerSource::Whois})
        if (AnswerSourceWord(source) == word)
            return source;
    return std::nullopt;
}

namespace {

// The damaged file moved aside; the cache's own error when it cannot be.
std::filesystem::path SetAside(const std::filesystem::path &file, system_clock::time_point now) {
    try {
        return platform::SetDatabaseAside(file, now);
    } catch (const platform::ESqliteError &e) {
        throw ECacheError("the damaged cache: " + e.Message());
    }
}

} // namespace

std::unique_ptr<AnswerCache::Open> AnswerCache::OpenFile(const std::filesystem::path &file) {
    return platform::OpenKeptDatabase<Open>(file, kBusyTimeout);
}

AnswerCache::AnswerCache(const std::filesystem::path &file, CacheLifetimes lifetimes, Clock clock)
    : lifetimes_(lifetimes), clock_(clock ? std::move(clock) : Clock(&system_clock::now)) {
    std::error_code error;
    std::filesystem::create_directories(file.parent_path(), error);
    std::string damage;
    try {
        open_ = OpenFile(file);
        DropStale();
        return;
    } catch (const platform::EUnusableDatabase &e) {
        damage = e.Message();
    } catch (const platform::ESqliteError &e) {
        if (!e.IsDamage())
            throw ECacheError("cannot use the answer cache: " + e.Message());
        damage = e.Message();
    }
    const std::filesystem::path aside = SetAside(file, clock_());
    note_ = "The answer cache " + file.string() + " could not be used (" + damage +
            "); it was set aside as " + aside.filename().string() + " and a new one made.";
    try {
        open_ = OpenFile(file);
    } catch (const base::Exception &e) {
        throw ECacheError("cannot make a new answer cache: " + e.Message());
    }
}

void AnswerCache::DropStale() {
    // Keeps the file about as large as the answers still fresh; another program busy with it
    // only delays the clean-up to a later run.
    try {
        open_->db.Execute("DELETE FROM answers WHERE keep_until <= " +
                          std::to_string(Seconds(clock_())));
    } catch (const platform::ESqliteError &) {
    }
}

AnswerCache::~AnswerCache() = default;

std::filesystem::path AnswerCache::DefaultFile() {
    const auto folder = platform::UserCacheFolder();
    if (!folder)
        throw ECacheError("no cache folder: neither XDG_CACHE_HOME nor HOME is set");
    return *folder / "answers.sqlite";
}

std::chrono::seconds AnswerCache::Lifetime(KeptVerdict verdict) const {
    return verdict == KeptVerdict::Taken ? lifetimes_.taken : lifetimes_.free;
}

namespace {

// A row is believed only when every cell is one this program writes.
std::optional<KeptAnswer> ReadRow(const platform::SqliteStatement &row) {
    const std::int64_t verdict = row.Integer(0);
    if (verdict != 0 && verdict != 1)
        return std::nullopt;
    const auto source = row.Text(1, 8);
    const auto expires = row.Text(2, 10);
    const auto registrar = row.Text(3, kTextLimit);
    const auto status = row.Text(4, kTextLimit);
    if (!source || !expires || !registrar || !status)
        return std::nullopt;
    const auto from = AnswerSourceFromWord(*source);
    if (!from)
        return std::nullopt;
    KeptAnswer answer;
    answer.verdict = verdict == 1 ? KeptVerdict::Taken : KeptVerdict::Free;
    answer.source = *from;
    answer.expires = *expires;
    answer.registrar = *registrar;
    answer.status = *status;
    answer.decided = system_clock::time_point(seconds(row.Integer(5)));
    return answer;
}

} // namespace

std::optional<KeptAnswer> AnswerCache::Lookup(std::string_view name) {
    if (name.empty() || name.size() > base::kLongestDomainName)
        return std::nullopt;
    const system_clock::time_point now = clock_();
    std::lock_guard lock(mutex_);
    platform::SqliteStatement &select = *open_->select;
    try {
        select.Bind(1, base::AsciiLower(name));
        std::optional<KeptAnswer> answer;
        std::int64_t keepUntil = 0;
        if (select.Step()) {
            answer = ReadRow(select);
            keepUntil = select.Integer(6);
        }
        select.Reset();
        // Fresh by the lifetimes of this run too, so a shorter --cache-ttl counts at once.
        if (!answer || keepUntil <= Seconds(now) || answer->decided > now + kClockSlack ||
            now - answer->decided >= Lifetime(answer->verdict))
            return std::nullopt;
        return answer;
    } catch (const platform::ESqliteError &) {
        select.Reset();
        return std::nullopt;
    }
}

bool AnswerCache::Keep(std::string_view name, const KeptAnswer &answer) {
    const seconds lifetime = Lifetime(answer.verdict);
    if (name.empty() || name.size() > base::kLongestDomainName || lifetime <= seconds(0) ||
        answer.registrar.size() > kTextLimit || answer.status.size() > kTextLimit ||
        answer.expires.size() > 10)
        return false;
    std::lock_guard lock(mutex_);
    platform::SqliteStatement &insert = *open_->insert;
    try {
        insert.Bind(1, base::AsciiLower(name));
        insert.Bind(2, std::int64_t(answer.verdict == KeptVerdict::Taken ? 1 : 0));
        insert.Bind(3, AnswerSourceWord(answer.source));
        insert.Bind(4, answer.expires);
        insert.Bind(5, answer.registrar);
        insert.Bind(6, answer.status);
        insert.Bind(7, Seconds(answer.decided));
        insert.Bind(8, Seconds(answer.decided + lifetime));
        insert.Step();
        insert.Reset();
        return true;
    } catch (const platform::ESqliteError &) {
        insert.Reset();
        return false;
    }
}

} // namespace registry
