#pragma once

#include "platform/SqliteDatabase.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct sqlite3_stmt;

// A prepared statement of one SqliteDatabase, finalized with the object. Parameters are bound by
// position from 1; after Step returns true the columns of the row are read from 0. Reset makes
// it ready to run again with new parameters.
namespace platform {

class SqliteStatement {
public:
    SqliteStatement(SqliteDatabase &db, const std::string &sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement &) = delete;
    SqliteStatement &operator=(const SqliteStatement &) = delete;

    void Bind(int index, std::string_view text);
    void Bind(int index, std::int64_t number);
    // True when a row is there to read, false when the statement is done.
    bool Step();
    void Reset();

    std::int64_t Integer(int column) const;
    bool IsNull(int column) const;
    // Nothing for NULL, and for a text longer than limit bytes (read from a file another
    // program may have written, so never trusted to be small).
    std::optional<std::string> Text(int column, std::size_t limit) const;

private:
    SqliteDatabase &db_;
    sqlite3_stmt *statement_ = nullptr;
};

} // namespace platform
