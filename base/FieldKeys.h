#pragma once

#include <string_view>

// The keys of a checked name's fields. A probe fills a field of a key, the column of the same
// key shows it, and the terminal outputs name it so; one list here keeps the three in step.
namespace base::field {

inline constexpr std::string_view kDomain = "domain";
inline constexpr std::string_view kSuffix = "suffix";
inline constexpr std::string_view kAvailable = "available";
inline constexpr std::string_view kLinks = "links";
inline constexpr std::string_view kRank = "rank";
// Where a record's answers come from, "rdap; web graph (2026-12-01)".
inline constexpr std::string_view kEvidence = "evidence";
inline constexpr std::string_view kExpires = "expires";
inline constexpr std::string_view kRegistrar = "registrar";
// A registration's lifecycle status in the registry's words, "client hold, redemption period".
inline constexpr std::string_view kStatus = "status";
// The domain name as people read it: Unicode where the name has "xn--" labels (the domain
// field keeps the ASCII form that registries are asked in).
inline constexpr std::string_view kDisplay = "display";
// How many hosts of the name the web graph counts (its host count, not a position).
inline constexpr std::string_view kHosts = "hosts";

} // namespace base::field
