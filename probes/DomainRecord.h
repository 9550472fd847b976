#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace probes {

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
};

} // namespace probes
