#pragma once

#include "tests/support/TempFolder.h"

#include <cstdlib>
#include <filesystem>
#include <string>

// Points the per-user store at a fresh temporary folder for the lifetime of the object.
class TempConfigHome {
public:
    TempConfigHome() {
        if (const char *old = std::getenv("XDG_CONFIG_HOME"))
            previous_ = old, hadPrevious_ = true;
        ::setenv("XDG_CONFIG_HOME", folder_.Path().c_str(), 1);
    }
    ~TempConfigHome() {
        if (hadPrevious_)
            ::setenv("XDG_CONFIG_HOME", previous_.c_str(), 1);
        else
            ::unsetenv("XDG_CONFIG_HOME");
    }
    TempConfigHome(const TempConfigHome &) = delete;
    TempConfigHome &operator=(const TempConfigHome &) = delete;

    const std::filesystem::path &Folder() const { return folder_.Path(); }
    std::filesystem::path SetupFile() const {
        return folder_.Path() / "Pellwick/Brindlemark/Setup.reg";
    }

private:
    TempFolder folder_{"nimbrel-config"};
    std::string previous_;
    bool hadPrevious_ = false;
};
