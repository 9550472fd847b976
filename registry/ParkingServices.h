#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The name servers of parking and sale services: a name delegated to one of them is parked,
// most likely waiting for a buyer. The list is a text file installed with the program
// (share/nimbrel/parking-nameservers.txt), which the user's own file of the same name in the
// per-user data folder extends. A line holds a name-server domain and, after a blank, the
// service's name for people (the domain itself when none is given); "#" starts a comment. A name
// server matches a domain it equals or lies below. Each file is read to at most 256 KiB and
// 10,000 domains; a line that is no domain name is passed over.
namespace registry {

class ParkingServices {
public:
    // Adds the domains of the file at path; a file that cannot be read is said in the returned
    // note (nothing when it was read).
    std::optional<std::string> AddFile(const std::filesystem::path &path);
    // Adds the domains of text, as a file holds them.
    void AddText(std::string_view text);

    // The service of the first of nameServers that matches; nothing when none does.
    std::optional<std::string> ServiceOf(const std::vector<std::string> &nameServers) const;
    std::size_t Count() const { return entries_.size(); }

    static constexpr std::size_t kLargestFile = 256 * 1024;
    static constexpr std::size_t kMostDomains = 10000;

private:
    std::optional<std::string> ServiceOfHost(const std::string &nameServer) const;

    // Domain to service; a domain added again keeps its first service.
    std::unordered_map<std::string, std::string> entries_;
};

inline constexpr std::string_view kParkingFileName = "parking-nameservers.txt";

// The installed list (the nearest of the program's data folders that has one), then the user's
// own, for those that exist.
std::vector<std::filesystem::path> DefaultParkingFiles();

} // namespace registry
