#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace probes {

// The field that says where a record's answers come from, "rdap; web graph (2026-12-01)".
inline constexpr std::string_view kEvidenceKey = "evidence";

// What the check of one name found, field by field. A field that no probe asked about (the
// details of a taken name) is absent.
struct DomainRecord {
    std::string name;
    std::string suffix;
    std::string available;
    std::optional<std::string> links;
    std::optional<std::string> rank;
    // Further fields by their column key.
    std::map<std::string, std::string, std::less<>> more;

    // A field by its column key: "domain", "suffix", "available", "links", "rank" or a further one.
    std::optional<std::string> Field(std::string_view key) const;
    void SetField(std::string_view key, std::string value);
    // Adds a source to the evidence, after a "; " when it already names one; a source it
    // already names is not added again.
    void AddEvidence(std::string_view source);
};

} // namespace probes
