#include "registry/ParkingServices.h"

#include "base/AsciiCase.h"
#include "base/DomainNameLimits.h"
#include "base/Trim.h"
#include "platform/InputFile.h"
#include "platform/ProgramDataFolder.h"
#include "platform/UserDataFolder.h"

#include <algorithm>
#include <system_error>

namespace registry {
namespace {

bool IsDomainByte(char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

// A lower-case domain of at least two labels, none empty.
bool IsDomain(std::string_view text) {
    return !text.empty() && text.size() <= base::kLongestDomainName &&
           std::all_of(text.begin(), text.end(), IsDomainByte) && text.front() != '.' &&
           text.back() != '.' && text.find('.') != std::string_view::npos &&
           text.find("..") == std::string_view::npos;
}

bool IsFile(const std::filesystem::path &path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

} // namespace

std::optional<std::string> ParkingServices::AddFile(const std::filesystem::path &path) {
    try {
        const std::string text =
            platform::ReadWholeFile(path.string(), kLargestFile, platform::FileKinds::RegularOnly);
        AddText(platform::WithoutByteOrderMark(text));
        return std::nullopt;
    } catch (const base::Exception &failure) {
        return "The parking services file " + path.string() +
               " is passed over: " + failure.Message();
    }
}

void ParkingServices::AddText(std::string_view text) {
    while (!text.empty() && entries_.size() < kMostDomains) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        line = base::TrimControls(line.substr(0, line.find('#')));
        const std::size_t blank = line.find_first_of(" \t");
        const std::string domain = base::AsciiLower(line.substr(0, blank));
        if (!IsDomain(domain))
            continue;
        const std::string_view service = blank == std::string_view::npos
                                             ? std::string_view{}
                                             : base::TrimControls(line.substr(blank));
        entries_.emplace(domain, service.empty() ? domain : std::string(service));
    }
}

std::optional<std::string>
ParkingServices::ServiceOf(const std::vector<std::string> &nameServers) const {
    for (const std::string &nameServer : nameServers)
        if (auto service = ServiceOfHost(base::AsciiLower(nameServer)))
            return service;
    return std::nullopt;
}

std::optional<std::string> ParkingServices::ServiceOfHost(const std::string &nameServer) const {
    // The name server itself, then each domain above it.
    for (std::size_t at = 0; at != std::string::npos;) {
        const auto found = entries_.find(nameServer.substr(at));
        if (found != entries_.end())
            return found->second;
        at = nameServer.find('.', at);
        at = at == std::string::npos ? at : at + 1;
    }
    return std::nullopt;
}

std::vector<std::filesystem::path> DefaultParkingFiles() {
    std::vector<std::filesystem::path> files;
    for (const std::filesystem::path &folder : platform::ProgramDataFolders()) {
        if (IsFile(folder / kParkingFileName)) {
            files.push_back(folder / kParkingFileName);
            break;
        }
    }
    if (const auto folder = platform::UserDataFolder();
        folder && IsFile(*folder / kParkingFileName))
        files.push_back(*folder / kParkingFileName);
    return files;
}

} // namespace registry
