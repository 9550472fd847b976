#pragma once

#include "base/Exception.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// The per-user store: keys under the current user's root, one text file per key in the layout of
// a registry export. A key path such as "\Software\Maker\Product\Setup" lives in
// <config folder>/Maker/Product/Setup.reg.
namespace platform {

enum class RegType : std::uint32_t { None = 0, Sz = 1, ExpandSz = 2, Binary = 3, Dword = 4 };

// A value as the store holds it: its type and its raw bytes (a DWORD is four bytes, least
// significant first; a text ends with its NUL byte).
struct RegValue {
    RegType type = RegType::None;
    std::string data;

    static RegValue Dword(std::uint32_t value);
    static RegValue Text(const std::string &text, RegType type = RegType::Sz);
};

// Named values in file order.
using RegValues = std::vector<std::pair<std::string, RegValue>>;

// Any failure of the store: a missing key, an unreadable file, a failed write.
class ERegistryError : public base::Exception {
public:
    using Exception::Exception;
};

// An open key. Values read from the file as it was at opening; every set value rewrites the file.
class RegistryKey {
public:
    // Opens an existing key; ERegistryError when it does not exist or cannot be read.
    static std::unique_ptr<RegistryKey> Open(const std::string &keyPath);
    // Opens the key, creating the missing part of its path; ERegistryError when that fails.
    static std::unique_ptr<RegistryKey> Create(const std::string &keyPath);

    // The value, or nothing when it is missing. Value names compare without ASCII case.
    std::optional<RegValue> QueryValue(const std::string &name) const;
    // Writes the value; ERegistryError when the file cannot be replaced (nothing changes then).
    void SetValue(const std::string &name, const RegValue &value);

private:
    RegistryKey(std::string keyPath, std::filesystem::path file, RegValues values);

    std::string keyPath_;
    std::filesystem::path file_;
    RegValues values_;
};

// The folder that holds the per-user keys: $XDG_CONFIG_HOME, else $HOME/.config; read at every
// open so that tests can point it at a folder of their own.
std::filesystem::path RegistryRoot();
std::filesystem::path KeyFile(const std::string &keyPath);

// The file's text for the values of a key, and back; a line that cannot be read is skipped.
std::string FormatKeyFile(const std::string &keyPath, const RegValues &values);
RegValues ParseKeyFile(const std::string &text);

} // namespace platform
