#pragma once

#include "base/Exception.h"
#include "probes/DomainRecord.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The names a user watches while they are taken, with what each check found: an SQLite file in
// the user's data folder (WAL, so a reader never waits for a writer). Every change is one
// transaction, so a program killed at any moment leaves the list whole, and two programs may
// check at once: each name's record is read and written under one write lock. A check adds a
// row to a name's history only when the registration changed (availability, status, expiry or
// registrar), so the history stays as short as the name's story.
//
// Used by nimbrel-cli's --watch-* commands; a window may use it the same way from one thread
// (the object is not shared between threads).
namespace core {

// The watch list cannot be opened or made, or a change to it failed.
class EWatchListError : public base::Exception {
public:
    using Exception::Exception;
};

// What one decided check said about a name. Unknown answers are never recorded: they say
// nothing about the registration.
struct WatchState {
    probes::Availability available = probes::Availability::Taken;
    // The registry's status words as a row shows them ("client hold, redemption period").
    std::string status;
    // YYYY-MM-DD; empty when the registry gave none.
    std::string expires;
    std::string registrar;
    // Where the answer came from ("rdap", "whois", "dns"); kept with it, not compared.
    std::string evidence;

    // Whether other says the same of the registration as this one, the evidence aside.
    bool SameRegistration(const WatchState &other) const;
    // The status words one by one.
    std::vector<std::string> StatusWords() const;
};

struct WatchedName {
    // The ASCII form the registries are asked in.
    std::string name;
    std::chrono::system_clock::time_point added;
    // The last decided check; nothing before the first.
    std::optional<WatchState> state;
    std::optional<std::chrono::system_clock::time_point> checkedAt;
    // When the name was first seen in its present lifecycle phase (core::PhaseOf).
    std::optional<std::chrono::system_clock::time_point> phaseSince;
};

struct WatchHistoryRow {
    std::chrono::system_clock::time_point checkedAt;
    WatchState state;
};

// A check that found the registration changed.
struct WatchChange {
    std::string name;
    // Nothing at a name's first check.
    std::optional<WatchState> before;
    WatchState after;
    std::optional<std::chrono::system_clock::time_point> phaseSince;
};

class WatchList {
public:
    using Clock = std::function<std::chrono::system_clock::time_point()>;

    // Opens the file, making it and its folder when missing. A damaged file, or one of another
    // layout, is renamed aside with the time ("watch.sqlite.damaged-2026-12-07T2305") and a new
    // one made; Note() says so. Raises EWatchListError when no list can be had. clock: the
    // system clock unless a test gives one.
    explicit WatchList(const std::filesystem::path &file, Clock clock = {});
    ~WatchList();
    WatchList(const WatchList &) = delete;
    WatchList &operator=(const WatchList &) = delete;

    // ${XDG_DATA_HOME:-~/.local/share}/Nimbrel/watch.sqlite; EWatchListError without either.
    static std::filesystem::path DefaultFile();
    const std::string &Note() const { return note_; }
    std::chrono::system_clock::time_point Now() const { return clock_(); }

    // Watches the names not watched yet; returns how many were new. One transaction.
    int Add(const std::vector<std::string> &names);
    // Stops watching the names, their history with them; returns how many were watched.
    int Remove(const std::vector<std::string> &names);
    // Every watched name, in name order.
    std::vector<WatchedName> Names();
    // The name's history, oldest first.
    std::vector<WatchHistoryRow> History(std::string_view name);
    // Records a decided check of name made now. Returns the change when the registration
    // differs from the last one recorded (a first check is a change); nothing when it does not
    // or the name is no longer watched. One transaction.
    std::optional<WatchChange> Record(std::string_view name, const WatchState &state);

private:
    struct Open;
    static std::unique_ptr<Open> OpenFile(const std::filesystem::path &file);

    Clock clock_;
    std::string note_;
    std::unique_ptr<Open> open_;
};

} // namespace core
