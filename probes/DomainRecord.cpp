#include "probes/DomainRecord.h"

namespace probes {

std::optional<std::string> DomainRecord::Field(std::string_view key) const {
    if (key == "domain")
        return name;
    if (key == "suffix")
        return suffix;
    if (key == "available")
        return available;
    if (key == "links")
        return links;
    if (key == "rank")
        return rank;
    if (const auto found = more.find(key); found != more.end())
        return found->second;
    return std::nullopt;
}

void DomainRecord::SetField(std::string_view key, std::string value) {
    if (key == "domain")
        name = std::move(value);
    else if (key == "suffix")
        suffix = std::move(value);
    else if (key == "available")
        available = std::move(value);
    else if (key == "links")
        links = std::move(value);
    else if (key == "rank")
        rank = std::move(value);
    else
        more.insert_or_assign(std::string(key), std::move(value));
}

void DomainRecord::AddEvidence(std::string_view source) {
    std::string &evidence = more[std::string(kEvidenceKey)];
    for (std::string_view rest = evidence; !rest.empty();) {
        const auto end = rest.find("; ");
        if (rest.substr(0, end) == source)
            return;
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 2);
    }
    if (!evidence.empty())
        evidence += "; ";
    evidence += source;
}

} // namespace probes
