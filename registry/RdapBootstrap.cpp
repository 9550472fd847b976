#include "registry/RdapBootstrap.h"

#include "base/AsciiCase.h"
#include "platform/InputFile.h"
#include "registry/JsonDepth.h"

#include <nlohmann/json.hpp>

#include <cstdio>

namespace registry {
namespace {

using Json = nlohmann::json;

// A bootstrap file is some hundred kilobytes; anything far larger is not one.
constexpr std::size_t kLargestFile = 8 * 1024 * 1024;
// The format nests four deep ({"services": [[["com"], ["https://..."]]]}).
constexpr int kDeepestNesting = 16;

// Digits at text[at, at + count) as a number; nothing when any of them is not a digit.
std::optional<int> Digits(std::string_view text, std::size_t at, std::size_t count) {
    if (text.size() < at + count)
        return std::nullopt;
    int value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return std::nullopt;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

bool IsFraction(std::string_view text) {
    if (text.size() < 2 || text.front() != '.')
        return false;
    return text.substr(1).find_first_not_of("0123456789") == std::string_view::npos;
}

// The time of day of "THH:MM:SS[.fff]Z", as seconds.
std::optional<std::chrono::seconds> TimeOfDay(std::string_view text) {
    if (text.size() < 10 || (text[0] != 'T' && text[0] != 't') || text[3] != ':' ||
        text[6] != ':' || (text.back() != 'Z' && text.back() != 'z'))
        return std::nullopt;
    const auto hours = Digits(text, 1, 2), minutes = Digits(text, 4, 2),
               seconds = Digits(text, 7, 2);
    const std::string_view rest = text.substr(9, text.size() - 10);
    if (!hours || !minutes || !seconds || *hours > 23 || *minutes > 59 || *seconds > 60 ||
        (!rest.empty() && !IsFraction(rest)))
        return std::nullopt;
    return std::chrono::hours(*hours) + std::chrono::minutes(*minutes) +
           std::chrono::seconds(*seconds);
}

std::string Suffix(std::string text) {
    text = base::AsciiLower(text);
    while (!text.empty() && text.front() == '.')
        text.erase(0, 1);
    while (!text.empty() && text.back() == '.')
        text.pop_back();
    return text;
}

// The first https address of a service; plain http addresses are never used.
std::optional<std::string> SecureServer(const Json &urls) {
    for (const auto &url : urls) {
        if (!url.is_string())
            continue;
        std::string text = url.get<std::string>();
        if (base::AsciiLower(text.substr(0, 8)) != "https://")
            continue;
        // The scheme in one spelling, whatever case the file wrote it in.
        text.replace(0, 8, "https://");
        if (text.back() != '/')
            text += '/';
        return text;
    }
    return std::nullopt;
}

std::string FileText(const std::string &path) {
    try {
        // Read at the start of every registry run: a pipe there would hold each run until
        // something writes to it.
        return platform::ReadWholeFile(path, kLargestFile, platform::FileKinds::RegularOnly);
    } catch (const platform::EFileTooLarge &) {
        throw ERdapBootstrapError("The RDAP bootstrap file " + path + " is too large.");
    } catch (const platform::EFileReadError &failure) {
        throw ERdapBootstrapError("RDAP bootstrap file: " + failure.Message() + ".");
    }
}

} // namespace

std::optional<std::chrono::sys_seconds> ReadPublicationTime(std::string_view text) {
    if (text.size() < 10 || text[4] != '-' || text[7] != '-')
        return std::nullopt;
    const auto year = Digits(text, 0, 4), month = Digits(text, 5, 2), day = Digits(text, 8, 2);
    if (!year || !month || !day)
        return std::nullopt;
    const std::chrono::year_month_day date{std::chrono::year(*year),
                                           std::chrono::month(static_cast<unsigned>(*month)),
                                           std::chrono::day(static_cast<unsigned>(*day))};
    if (!date.ok())
        return std::nullopt;
    const std::chrono::sys_seconds midnight{std::chrono::sys_days(date)};
    if (text.size() == 10)
        return midnight;
    const auto time = TimeOfDay(text.substr(10));
    if (!time)
        return std::nullopt;
    return midnight + *time;
}

std::string PublicationDay(std::chrono::sys_seconds time) {
    const std::chrono::year_month_day date{std::chrono::floor<std::chrono::days>(time)};
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
    return text;
}

RdapBootstrap RdapBootstrap::Read(std::string_view json, const std::string &origin) {
    RdapBootstrap bootstrap;
    bootstrap.Merge(json, origin);
    // Merge has proved it is an object in the bootstrap format.
    const Json file = Json::parse(json, nullptr, false);
    const auto publication = file.find("publication");
    if (publication != file.end() && publication->is_string())
        bootstrap.publication_ = ReadPublicationTime(publication->get<std::string>());
    return bootstrap;
}

RdapBootstrap RdapBootstrap::ReadFile(const std::string &path) {
    return Read(FileText(path), path);
}

void RdapBootstrap::Merge(std::string_view json, const std::string &origin) {
    if (JsonNestingDepth(json) > kDeepestNesting)
        throw ERdapBootstrapError("The RDAP bootstrap file " + origin +
                                  " nests deeper than the bootstrap format.");
    const Json file = Json::parse(json, nullptr, false);
    if (file.is_discarded())
        throw ERdapBootstrapError("The RDAP bootstrap file " + origin + " is not JSON.");
    const auto services = file.is_object() ? file.find("services") : file.end();
    if (services == file.end() || !services->is_array())
        throw ERdapBootstrapError("The RDAP bootstrap file " + origin + " has no services list.");
    std::map<std::string, std::string> found;
    for (const auto &service : *services) {
        if (!service.is_array() || service.size() < 2 || !service[0].is_array() ||
            !service[1].is_array())
            throw ERdapBootstrapError("The RDAP bootstrap file " + origin +
                                      " holds a service that is not [[suffixes], [servers]].");
        const auto server = SecureServer(service[1]);
        if (!server)
            continue;
        for (const auto &entry : service[0])
            if (entry.is_string() && !Suffix(entry.get<std::string>()).empty())
                found[Suffix(entry.get<std::string>())] = *server;
    }
    for (auto &[suffix, server] : found)
        servers_[suffix] = std::move(server);
}

void RdapBootstrap::MergeFile(const std::string &path) {
    Merge(FileText(path), path);
}

std::optional<std::string> RdapBootstrap::ServerFor(const std::string &name) const {
    const std::string wanted = Suffix(name);
    // Every suffix below the name itself, longest first.
    for (auto dot = wanted.find('.'); dot != std::string::npos; dot = wanted.find('.', dot + 1)) {
        const auto found = servers_.find(wanted.substr(dot + 1));
        if (found != servers_.end())
            return found->second;
    }
    return std::nullopt;
}

} // namespace registry
