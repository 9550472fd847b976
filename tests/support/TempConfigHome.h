#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

// Points the per-user store at a fresh temporary folder for the lifetime of the object.
class TempConfigHome {
public:
    TempConfigHome() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "nimbrel-config-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            std::abort();
        folder_ = pattern;
        if (const char *old = std::getenv("XDG_CONFIG_HOME"))
            previous_ = old, hadPrevious_ = true;
        ::setenv("XDG_CONFIG_HOME", folder_.c_str(), 1);
    }
    ~TempConfigHome() {
        if (hadPrevious_)
            ::setenv("XDG_CONFIG_HOME", previous_.c_str(), 1);
        else
            ::unsetenv("XDG_CONFIG_HOME");
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    TempConfigHome(const TempConfigHome &) = delete;
    TempConfigHome &operator=(const TempConfigHome &) = delete;

    const std::filesystem::path &Folder() const { return folder_; }
    std::filesystem::path SetupFile() const { return folder_ / "Pellwick/Brindlemark/Setup.reg"; }

private:
    std::filesystem::path folder_;
    std::string previous_;
    bool hadPrevious_ = false;
};
