#pragma once

#include "base/Exception.h"
#include "platform/SqliteDatabase.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace platform {

// A file that opens as a database but is none this program can keep its data in: no
// write-ahead log, damaged, another layout, or a folder in its place. Setting it aside is the
// cure (SetDatabaseAside).
class EUnusableDatabase : public base::Exception {
public:
    using Exception::Exception;
};

// How a program's own store (the answer cache, the watch list) is laid out.
struct KeptDatabaseLayout {
    // The layout this program reads and writes (PRAGMA user_version).
    std::string version;
    // The statements that lay out a new file.
    std::vector<std::string> schema;
    // The user's own data: every commit reaches the disk (synchronous=FULL); else NORMAL, which
    // in WAL mode may lose the last commits on a power cut but never damages the file.
    bool everyCommitToDisk = false;
};

// Readies an open store: its write-ahead log (two programs at once), a quick check, and on
// first use its layout, made once in a write transaction that reads the version again, so two
// programs starting together make it once. Raises EUnusableDatabase for a file not to be used.
void PrepareKeptDatabase(SqliteDatabase &db, const KeptDatabaseLayout &layout);

// Raises EUnusableDatabase when a folder is where the file should be.
void RefuseFolderInPlaceOf(const std::filesystem::path &file);

// Makes a Store (whose constructor opens the file and calls PrepareKeptDatabase) for the file.
// Two programs that open a new file together race to switch it to its log, and SQLite answers
// the loser "locked" without waiting: it tries again within the busy timeout, as a waiting lock
// would.
template <class Store>
std::unique_ptr<Store> OpenKeptDatabase(const std::filesystem::path &file,
                                        std::chrono::milliseconds busyTimeout) {
    RefuseFolderInPlaceOf(file);
    const auto giveUp = std::chrono::steady_clock::now() + busyTimeout;
    for (;;) {
        try {
            return std::make_unique<Store>(file);
        } catch (const ESqliteError &e) {
            if (!e.IsBusy() || std::chrono::steady_clock::now() >= giveUp)
                throw;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

} // namespace platform
