#include "platform/KeptDatabase.h"

namespace platform {

void PrepareKeptDatabase(SqliteDatabase &db, const KeptDatabaseLayout &layout) {
    // Reading the mode reads the header: a file that is not a database fails here.
    if (db.QueryText("PRAGMA journal_mode=WAL") != "wal")
        throw EUnusableDatabase("it cannot keep a write-ahead log");
    if (db.QueryText("PRAGMA quick_check") != "ok")
        throw EUnusableDatabase("it is damaged");
    db.Execute(layout.everyCommitToDisk ? "PRAGMA synchronous=FULL" : "PRAGMA synchronous=NORMAL");
    if (db.QueryText("PRAGMA user_version") == layout.version)
        return;
    SqliteTransaction transaction(db);
    const std::string version = db.QueryText("PRAGMA user_version");
    if (version == "0") {
        for (const std::string &statement : layout.schema)
            db.Execute(statement);
        std::string setVersion = "PRAGMA user_version=";
        setVersion += layout.version;
        db.Execute(setVersion);
    } else if (version != layout.version) {
        throw EUnusableDatabase("it has the layout of another version (" + version + ")");
    }
    transaction.Commit();
}

void RefuseFolderInPlaceOf(const std::filesystem::path &file) {
    std::error_code error;
    if (std::filesystem::is_directory(std::filesystem::symlink_status(file, error)))
        throw EUnusableDatabase("a folder is in its place");
}

} // namespace platform
