#include "platform/SqliteDatabase.h"

#include <sqlite3.h>

#include <ctime>
#include <system_error>

namespace platform {
namespace {

// SQLite's own words for a failure, with what was being done and the file.
std::string Describe(const char *attempt, const std::string &file, int code, sqlite3 *db) {
    const char *reason = db ? sqlite3_errmsg(db) : sqlite3_errstr(code);
    return std::string(attempt) + " " + file + ": " + reason;
}

// "2026-12-07T2305" in UTC, for the name of a file set aside.
std::string Stamp(std::chrono::system_clock::time_point time) {
    const std::time_t t = std::chrono::system_clock::to_time_t(time);
    std::tm parts{};
    gmtime_r(&t, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H%M", &parts);
    return text;
}

} // namespace

std::filesystem::path SetDatabaseAside(const std::filesystem::path &file,
                                       std::chrono::system_clock::time_point now) {
    const std::string base = file.string() + ".damaged-" + Stamp(now);
    std::filesystem::path aside = base;
    std::error_code error;
    for (int n = 2; std::filesystem::exists(std::filesystem::symlink_status(aside, error)); ++n)
        aside = base + "-" + std::to_string(n);
    std::filesystem::rename(file, aside, error);
    if (error && error != std::errc::no_such_file_or_directory)
        throw ESqliteError("cannot set aside " + file.string() + ": " + error.message(),
                           SQLITE_CANTOPEN);
    std::filesystem::rename(file.string() + "-wal", aside.string() + "-wal", error);
    std::filesystem::remove(file.string() + "-shm", error);
    return aside;
}

bool ESqliteError::IsDamage() const {
    return code_ == SQLITE_CORRUPT || code_ == SQLITE_NOTADB || code_ == SQLITE_FORMAT;
}

bool ESqliteError::IsBusy() const {
    return code_ == SQLITE_BUSY || code_ == SQLITE_LOCKED;
}

SqliteDatabase::SqliteDatabase(const std::filesystem::path &file,
                               std::chrono::milliseconds busyTimeout)
    : file_(file.string()) {
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX |
                      SQLITE_OPEN_PRIVATECACHE;
    const int code = sqlite3_open_v2(file_.c_str(), &db_, flags, nullptr);
    if (code != SQLITE_OK) {
        const std::string message = Describe("cannot open", file_, code, db_);
        // A failed open still hands back a handle that must be closed.
        sqlite3_close(db_);
        db_ = nullptr;
        throw ESqliteError(message, code);
    }
    sqlite3_extended_result_codes(db_, 0);
    sqlite3_busy_timeout(db_, static_cast<int>(busyTimeout.count()));
}

SqliteDatabase::~SqliteDatabase() {
    // Every statement is finalized by its own object first, so the close cannot be refused.
    sqlite3_close(db_);
}

void SqliteDatabase::Execute(const std::string &sql) {
    Check(sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr), "cannot change");
}

std::string SqliteDatabase::QueryText(const std::string &sql) {
    sqlite3_stmt *statement = nullptr;
    Check(sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr), "cannot read");
    const int code = sqlite3_step(statement);
    std::string text;
    if (code == SQLITE_ROW) {
        const unsigned char *cell = sqlite3_column_text(statement, 0);
        text = cell ? reinterpret_cast<const char *>(cell) : "";
    }
    sqlite3_finalize(statement);
    Check(code, "cannot read");
    return text;
}

int SqliteDatabase::Changes() const {
    return sqlite3_changes(db_);
}

void SqliteDatabase::Check(int code, const char *attempt) const {
    if (code == SQLITE_OK || code == SQLITE_ROW || code == SQLITE_DONE)
        return;
    throw ESqliteError(Describe(attempt, file_, code, db_), code & 0xff);
}

SqliteTransaction::SqliteTransaction(SqliteDatabase &db) : db_(db) {
    db_.Execute("BEGIN IMMEDIATE");
}

SqliteTransaction::~SqliteTransaction() {
    if (done_)
        return;
    // A rollback after a failed statement may find no transaction left; nothing to undo then.
    sqlite3_exec(db_.Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void SqliteTransaction::Commit() {
    db_.Execute("COMMIT");
    done_ = true;
}

} // namespace platform
