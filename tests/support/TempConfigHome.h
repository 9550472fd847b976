#pragma once

#include "tests/support/TempFolder.h"

#include <cstdlib>
#include <filesystem>
#include <string>

// Points the per-user store, and the cache folder with it (so that no test sees answers another
// test kept), at a fresh temporary folder for the lifetime of the object. Child processes
// inherit both.
class TempConfigHome {
public:
    TempConfigHome() {
        if (const char *old = std::getenv("XDG_CONFIG_HOME"))
            previous_ = old, hadPrevious_ = true;
        if (const char *old = std::getenv("XDG_CACHE_HOME"))
            previousCache_ = old, hadPreviousCache_ = true;
        ::setenv("XDG_CONFIG_HOME", folder_.Path().c_str(), 1);
        ::setenv("XDG_CACHE_HOME", (folder_.Path() / "cache").c_str(), 1);
    }
    ~TempConfigHome() {
        Restore("XDG_CONFIG_HOME", hadPrevious_, previous_);
        Restore("XDG_CACHE_HOME", hadPreviousCache_, previousCache_);
    }
    TempConfigHome(const TempConfigHome &) = delete;
    TempConfigHome &operator=(const TempConfigHome &) = delete;

    const std::filesystem::path &Folder() const { return folder_.Path(); }
    std::filesystem::path SetupFile() const {
        return folder_.Path() / "Pellwick/Brindlemark/Setup.reg";
    }

private:
    static void Restore(const char *name, bool had, const std::string &value) {
        if (had)
            ::setenv(name, value.c_str(), 1);
        else
            ::unsetenv(name);
    }

    TempFolder folder_{"nimbrel-config"};
    std::string previous_;
    bool hadPrevious_ = false;
    std::string previousCache_;
    bool hadPreviousCache_ = false;
};
