#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>

// A fresh folder under the system's temporary folder, removed with all it holds when the object
// goes.
class TempFolder {
public:
    explicit TempFolder(const std::string &prefix = "nimbrel-test") {
        std::string pattern =
            (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
        if (!::mkdtemp(pattern.data()))
            std::abort();
        path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder &) = delete;
    TempFolder &operator=(const TempFolder &) = delete;

    const std::filesystem::path &Path() const { return path_; }
    std::string PathOf(const std::string &name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// Every byte of the file at path; empty when it cannot be read.
inline std::string FileContents(const std::filesystem::path &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}
