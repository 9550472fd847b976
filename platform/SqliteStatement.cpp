#include "platform/SqliteStatement.h"

#include <sqlite3.h>

namespace platform {

SqliteStatement::SqliteStatement(SqliteDatabase &db, const std::string &sql) : db_(db) {
    const int code = sqlite3_prepare_v3(db_.Handle(), sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT,
                                        &statement_, nullptr);
    if (code != SQLITE_OK) {
        sqlite3_finalize(statement_);
        statement_ = nullptr;
        db_.Check(code, "cannot prepare a statement for");
    }
}

SqliteStatement::~SqliteStatement() {
    sqlite3_finalize(statement_);
}

void SqliteStatement::Bind(int index, std::string_view text) {
    db_.Check(sqlite3_bind_text64(statement_, index, text.data(), text.size(), SQLITE_TRANSIENT,
                                  SQLITE_UTF8),
              "cannot bind a value for");
}

void SqliteStatement::Bind(int index, std::int64_t number) {
    db_.Check(sqlite3_bind_int64(statement_, index, number), "cannot bind a value for");
}

bool SqliteStatement::Step() {
    const int code = sqlite3_step(statement_);
    db_.Check(code, "cannot use");
    return code == SQLITE_ROW;
}

void SqliteStatement::Reset() {
    // The result of reset repeats the last step's failure, which Step has raised already.
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
}

std::int64_t SqliteStatement::Integer(int column) const {
    return sqlite3_column_int64(statement_, column);
}

bool SqliteStatement::IsNull(int column) const {
    return sqlite3_column_type(statement_, column) == SQLITE_NULL;
}

std::optional<std::string> SqliteStatement::Text(int column, std::size_t limit) const {
    if (sqlite3_column_type(statement_, column) == SQLITE_NULL)
        return std::nullopt;
    // The length first: a cell too long is never copied or converted.
    const auto size = static_cast<std::size_t>(sqlite3_column_bytes(statement_, column));
    if (size > limit)
        return std::nullopt;
    const unsigned char *cell = sqlite3_column_text(statement_, column);
    if (!cell)
        return std::nullopt;
    return std::string(reinterpret_cast<const char *>(cell), size);
}

} // namespace platform
