#pragma once

#include "base/Exception.h"

#include <chrono>
#include <filesystem>
#include <string>

struct sqlite3;

// One connection to an SQLite database file, closed with the object. Every failure is an
// ESqliteError that keeps SQLite's primary result code, so a caller can tell a damaged file
// (EDamaged) from one that is busy or cannot be written. The connection is opened without a
// shared cache and in SQLite's serialized mode; callers still keep one statement to one thread.
namespace platform {

class ESqliteError : public base::Exception {
public:
    ESqliteError(std::string message, int code) : Exception(std::move(message)), code_(code) {}
    // SQLite's primary result code (SQLITE_BUSY, SQLITE_CORRUPT, ...).
    int Code() const { return code_; }
    // The file is not a database or is damaged: setting it aside and starting anew is the
    // only cure. A file that cannot be opened at all (no permission) is not damage.
    bool IsDamage() const;
    // Another connection holds a lock this one needed, beyond the busy timeout or in a step
    // (such as switching the journal mode) that does not wait for it.
    bool IsBusy() const;

private:
    int code_;
};

class SqliteDatabase {
public:
    // Opens (creating when missing) the file read-write. The busy timeout bounds every wait
    // for another connection's lock; after it a statement fails with SQLITE_BUSY.
    SqliteDatabase(const std::filesystem::path &file, std::chrono::milliseconds busyTimeout);
    ~SqliteDatabase();
    SqliteDatabase(const SqliteDatabase &) = delete;
    SqliteDatabase &operator=(const SqliteDatabase &) = delete;

    // Runs statements that return no rows (schema, pragmas, BEGIN/COMMIT).
    void Execute(const std::string &sql);
    // The text of the first column of the first row of a one-row statement ("PRAGMA ...").
    std::string QueryText(const std::string &sql);
    // Rows the last INSERT, UPDATE or DELETE changed.
    int Changes() const;
    sqlite3 *Handle() const { return db_; }

    // Raises ESqliteError for code unless it is SQLITE_OK, SQLITE_ROW or SQLITE_DONE.
    void Check(int code, const char *attempt) const;

private:
    sqlite3 *db_ = nullptr;
    std::string file_;
};

// Renames a database file that cannot be used aside, "answers.sqlite.damaged-2026-12-07T2305"
// (the time in UTC, a number added when that name is taken), and its log beside it, so that a
// new file starts clean; the shared-memory index belongs to the old file and goes. Another
// program may have moved it first. Returns the new name; raises ESqliteError when it cannot.
std::filesystem::path SetDatabaseAside(const std::filesystem::path &file,
                                       std::chrono::system_clock::time_point now);

// A write transaction begun at once (BEGIN IMMEDIATE, so a reader that would upgrade never
// deadlocks with another writer) and rolled back unless Commit was called.
class SqliteTransaction {
public:
    explicit SqliteTransaction(SqliteDatabase &db);
    ~SqliteTransaction();
    SqliteTransaction(const SqliteTransaction &) = delete;
    SqliteTransaction &operator=(const SqliteTransaction &) = delete;

    void Commit();

private:
    SqliteDatabase &db_;
    bool done_ = false;
};

} // namespace platform
