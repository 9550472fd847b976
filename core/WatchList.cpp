#include "core/WatchList.h"

#include "base/DomainNameLimits.h"
#include "core/ExpectedRelease.h"
#include "platform/KeptDatabase.h"
#include "platform/SqliteDatabase.h"
#include "platform/SqliteStatement.h"
#include "platform/UserDataFolder.h"

#include <system_error>
#include <thread>

namespace core {
namespace {

using namespace std::chrono;

constexpr const char *kLayoutVersion = "1";
// A change is a handful of rows; another program's check holds the lock no longer than one
// name's record, so a wait this long means something is wrong, not busy.
constexpr milliseconds kBusyTimeout{5000};
// Texts longer than this were not written by this program and are not read.
constexpr std::size_t kTextLimit = 4096;

constexpr const char *kNamesTable = "CREATE TABLE IF NOT EXISTS names ("
                                    " name TEXT PRIMARY KEY NOT NULL,"
                                    " added INTEGER NOT NULL,"
                                    " checked_at INTEGER,"
                                    " available INTEGER,"
                                    " status TEXT NOT NULL DEFAULT '',"
                                    " expires TEXT NOT NULL DEFAULT '',"
                                    " registrar TEXT NOT NULL DEFAULT '',"
                                    " evidence TEXT NOT NULL DEFAULT '',"
                                    " phase_since INTEGER) WITHOUT ROWID";
constexpr const char *kHistoryTable = "CREATE TABLE IF NOT EXISTS history ("
                                      " id INTEGER PRIMARY KEY,"
                                      " name TEXT NOT NULL,"
                                      " checked_at INTEGER NOT NULL,"
                                      " available INTEGER NOT NULL,"
                                      " status TEXT NOT NULL,"
                                      " expires TEXT NOT NULL,"
                                      " registrar TEXT NOT NULL,"
                                      " evidence TEXT NOT NULL)";
constexpr const char *kHistoryIndex =
    "CREATE INDEX IF NOT EXISTS history_name ON history (name, id)";

constexpr const char *kStateColumns = "available, status, expires, registrar, evidence";

std::int64_t Seconds(system_clock::time_point time) {
    return duration_cast<seconds>(time.time_since_epoch()).count();
}

system_clock::time_point TimeOf(std::int64_t seconds) {
    return system_clock::time_point(std::chrono::seconds(seconds));
}

// Availability as stored: 1 taken, 0 free; Unknown is never stored.
std::int64_t AvailableNumber(probes::Availability available) {
    return available == probes::Availability::Free ? 0 : 1;
}

// The state in the columns from first on, believed only when every cell is one this program
// writes.
std::optional<WatchState> ReadState(const platform::SqliteStatement &row, int first) {
    const std::int64_t available = row.Integer(first);
    auto status = row.Text(first + 1, kTextLimit);
    auto expires = row.Text(first + 2, 10);
    auto registrar = row.Text(first + 3, kTextLimit);
    auto evidence = row.Text(first + 4, kTextLimit);
    if ((available != 0 && available != 1) || !status || !expires || !registrar || !evidence)
        return std::nullopt;
    WatchState state;
    state.available = available == 0 ? probes::Availability::Free : probes::Availability::Taken;
    state.status = std::move(*status);
    state.expires = std::move(*expires);
    state.registrar = std::move(*registrar);
    state.evidence = std::move(*evidence);
    return state;
}

void BindState(platform::SqliteStatement &statement, int first, const WatchState &state) {
    statement.Bind(first, AvailableNumber(state.available));
    statement.Bind(first + 1, state.status);
    statement.Bind(first + 2, state.expires);
    statement.Bind(first + 3, state.registrar);
    statement.Bind(first + 4, state.evidence);
}

bool Fits(std::string_view name) {
    return !name.empty() && name.size() <= base::kLongestDomainName;
}

} // namespace

bool WatchState::SameRegistration(const WatchState &other) const {
    return available == other.available && status == other.status && expires == other.expires &&
           registrar == other.registrar;
}

std::vector<std::string> WatchState::StatusWords() const {
    std::vector<std::string> words;
    std::size_t start = 0;
    while (start < status.size()) {
        std::size_t end = status.find(',', start);
        if (end == std::string::npos)
            end = status.size();
        std::string word = status.substr(start, end - start);
        const auto first = word.find_first_not_of(' ');
        if (first != std::string::npos)
            words.push_back(word.substr(first, word.find_last_not_of(' ') - first + 1));
        start = end + 1;
    }
    return words;
}

struct WatchList::Open {
    explicit Open(const std::filesystem::path &file) : db(file, kBusyTimeout) {
        // A watch list is the user's own data: every commit reaches the disk.
        platform::PrepareKeptDatabase(
            db, {kLayoutVersion, {kNamesTable, kHistoryTable, kHistoryIndex}, true});
    }

    platform::SqliteDatabase db;
};

std::unique_ptr<WatchList::Open> WatchList::OpenFile(const std::filesystem::path &file) {
    return platform::OpenKeptDatabase<Open>(file, kBusyTimeout);
}

WatchList::WatchList(const std::filesystem::path &file, Clock clock)
    : clock_(clock ? std::move(clock) : Clock(&system_clock::now)) {
    std::error_code error;
    std::filesystem::create_directories(file.parent_path(), error);
    std::string damage;
    try {
        open_ = OpenFile(file);
        return;
    } catch (const platform::EUnusableDatabase &e) {
        damage = e.Message();
    } catch (const platform::ESqliteError &e) {
        if (!e.IsDamage())
            throw EWatchListError("cannot use the watch list: " + e.Message());
        damage = e.Message();
    }
    try {
        const std::filesystem::path aside = platform::SetDatabaseAside(file, clock_());
        note_ = "The watch list " + file.string() + " could not be used (" + damage +
                "); it was set aside as " + aside.filename().string() + " and a new one made.";
        open_ = OpenFile(file);
    } catch (const base::Exception &e) {
        throw EWatchListError("cannot make a new watch list: " + e.Message());
    }
}

WatchList::~WatchList() = default;

std::filesystem::path WatchList::DefaultFile() {
    const auto folder = platform::UserDataFolder();
    if (!folder)
        throw EWatchListError("no data folder: neither XDG_DATA_HOME nor HOME is set");
    return *folder / "watch.sqlite";
}

int WatchList::Add(const std::vector<std::string> &names) {
    try {
        platform::SqliteTransaction transaction(open_->db);
        platform::SqliteStatement insert(
            open_->db, "INSERT OR IGNORE INTO names (name, added) VALUES (?1, ?2)");
        int added = 0;
        for (const std::string &name : names) {
            if (!Fits(name))
                continue;
            insert.Bind(1, name);
            insert.Bind(2, Seconds(clock_()));
            insert.Step();
            insert.Reset();
            added += open_->db.Changes();
        }
        transaction.Commit();
        return added;
    } catch (const platform::ESqliteError &e) {
        throw EWatchListError("cannot add to the watch list: " + e.Message());
    }
}

int WatchList::Remove(const std::vector<std::string> &names) {
    try {
        platform::SqliteTransaction transaction(open_->db);
        platform::SqliteStatement name(open_->db, "DELETE FROM names WHERE name = ?1");
        platform::SqliteStatement history(open_->db, "DELETE FROM history WHERE name = ?1");
        int removed = 0;
        for (const std::string &watched : names) {
            name.Bind(1, watched);
            name.Step();
            name.Reset();
            removed += open_->db.Changes();
            history.Bind(1, watched);
            history.Step();
            history.Reset();
        }
        transaction.Commit();
        return removed;
    } catch (const platform::ESqliteError &e) {
        throw EWatchListError("cannot remove from the watch list: " + e.Message());
    }
}

std::vector<WatchedName> WatchList::Names() {
    try {
        platform::SqliteStatement select(
            open_->db, std::string("SELECT name, added, checked_at, phase_since, ") +
                           kStateColumns + " FROM names ORDER BY name");
        std::vector<WatchedName> names;
        while (select.Step()) {
            auto name = select.Text(0, base::kLongestDomainName);
            if (!name)
                continue;
            WatchedName watched;
            watched.name = std::move(*name);
            watched.added = TimeOf(select.Integer(1));
            if (!select.IsNull(2)) {
                watched.checkedAt = TimeOf(select.Integer(2));
                watched.state = ReadState(select, 4);
            }
            if (!select.IsNull(3))
                watched.phaseSince = TimeOf(select.Integer(3));
            names.push_back(std::move(watched));
        }
        return names;
    } catch (const platform::ESqliteError &e) {
        throw EWatchListError("cannot read the watch list: " + e.Message());
    }
}

std::vector<WatchHistoryRow> WatchList::History(std::string_view name) {
    try {
        platform::SqliteStatement select(open_->db,
                                         std::string("SELECT checked_at, ") + kStateColumns +
                                             " FROM history WHERE name = ?1 ORDER BY id");
        select.Bind(1, name);
        std::vector<WatchHistoryRow> rows;
        while (select.Step()) {
            if (auto state = ReadState(select, 1))
                rows.push_back({TimeOf(select.Integer(0)), std::move(*state)});
        }
        return rows;
    } catch (const platform::ESqliteError &e) {
        throw EWatchListError("cannot read the watch list: " + e.Message());
    }
}

namespace {

// The name's last recorded state and phase start; nothing when it is not watched.
struct Recorded {
    std::optional<WatchState> state;
    std::optional<std::int64_t> phaseSince;
};

std::optional<Recorded> ReadRecorded(platform::SqliteDatabase &db, std::string_view name) {
    platform::SqliteStatement select(db, std::string("SELECT checked_at, phase_since, ") +
                                             kStateColumns + " FROM names WHERE name = ?1");
    select.Bind(1, name);
    if (!select.Step())
        return std::nullopt;
    Recorded recorded;
    if (!select.IsNull(0))
        recorded.state = ReadState(select, 2);
    if (!select.IsNull(1))
        recorded.phaseSince = select.Integer(1);
    return recorded;
}

// When the name entered the phase of state: kept while the phase stays, now when it changes.
// A free name has no phase.
std::optional<std::int64_t> PhaseSince(const Recorded &recorded, const WatchState &state,
                                       std::int64_t now) {
    if (state.available != probes::Availability::Taken)
        return std::nullopt;
    const LifecyclePhase phase = PhaseOf(state.StatusWords());
    const bool samePhase = recorded.state &&
                           recorded.state->available == probes::Availability::Taken &&
                           PhaseOf(recorded.state->StatusWords()) == phase;
    if (samePhase && recorded.phaseSince)
        return recorded.phaseSince;
    return now;
}

} // namespace

std::optional<WatchChange> WatchList::Record(std::string_view name, const WatchState &state) {
    if (state.available == probes::Availability::Unknown)
        return std::nullopt;
    const std::int64_t now = Seconds(clock_());
    try {
        platform::SqliteTransaction transaction(open_->db);
        const auto recorded = ReadRecorded(open_->db, name);
        if (!recorded)
            return std::nullopt;
        const bool changed = !recorded->state || !recorded->state->SameRegistration(state);
        const auto phaseSince = PhaseSince(*recorded, state, now);
        platform::SqliteStatement update(
            open_->db, "UPDATE names SET checked_at = ?2, phase_since = ?8, available = ?3,"
                       " status = ?4, expires = ?5, registrar = ?6, evidence = ?7"
                       " WHERE name = ?1");
        update.Bind(1, name);
        update.Bind(2, now);
        BindState(update, 3, state);
        if (phaseSince)
            update.Bind(8, *phaseSince);
        update.Step();
        if (changed) {
            platform::SqliteStatement insert(
                open_->db, std::string("INSERT INTO history (name, checked_at, ") + kStateColumns +
                               ") VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)");
            insert.Bind(1, name);
            insert.Bind(2, now);
            BindState(insert, 3, state);
            insert.Step();
        }
        transaction.Commit();
        if (!changed)
            return std::nullopt;
        WatchChange change{std::string(name), recorded->state, state, std::nullopt};
        if (phaseSince)
            change.phaseSince = TimeOf(*phaseSince);
        return change;
    } catch (const platform::ESqliteError &e) {
        throw EWatchListError("cannot record the check of " + std::string(name) + ": " +
                              e.Message());
    }
}

} // namespace core
