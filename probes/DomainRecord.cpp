#include "probes/DomainRecord.h"

namespace probes {

namespace field = base::field;

std::string_view AvailabilityWord(Availability availability) {
    switch (availability) {
    case Availability::Free:
        return "Yes";
    case Availability::Taken:
        return "No";
    case Availability::Unknown:
        break;
    }
    return "Unknown";
}

std::optional<Availability> AvailabilityFromWord(std::string_view word) {
    for (const Availability availability :
         {Availability::Free, Availability::Taken, Availability::Unknown})
        if (word == AvailabilityWord(availability))
            return availability;
    return std::nullopt;
}

std::optional<std::string> DomainRecord::Field(std::string_view key) const {
    if (key == field::kDomain)
        return name;
    if (key == field::kSuffix)
        return suffix;
    if (key == field::kAvailable)
        return available ? std::optional<std::string>(AvailabilityWord(*available)) : std::nullopt;
    if (key == field::kLinks)
        return links;
    if (key == field::kRank)
        return rank;
    if (const auto found = more.find(key); found != more.end())
        return found->second;
    return std::nullopt;
}

void DomainRecord::SetField(std::string_view key, std::string value) {
    if (key == field::kDomain)
        name = std::move(value);
    else if (key == field::kSuffix)
        suffix = std::move(value);
    else if (key == field::kAvailable)
        available = AvailabilityFromWord(value).value_or(Availability::Unknown);
    else if (key == field::kLinks)
        links = std::move(value);
    else if (key == field::kRank)
        rank = std::move(value);
    else
        more.insert_or_assign(std::string(key), std::move(value));
}

void DomainRecord::AddEvidence(std::string_view source) {
    std::string &evidence = more[std::string(field::kEvidence)];
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
