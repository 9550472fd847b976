#pragma once

#include "base/FieldKeys.h"
#include "registry/DnsDelegation.h"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace probes {

// Whether a name can be registered. Unknown is never counted as free.
enum class Availability { Free, Taken, Unknown };

// The word a row shows for an availability ("Yes", "No", "Unknown"), and back: the one place
// where the words of the list, the outputs and the results file meet the type.
std::string_view AvailabilityWord(Availability availability);
std::optional<Availability> AvailabilityFromWord(std::string_view word);

// What the check of one name found, field by field. A field that no probe asked about (the
// details of a taken name) is absent.
struct DomainRecord {
    std::string name;
    std::string suffix;
    std::optional<Availability> available;
    std::optional<std::string> links;
    std::optional<std::string> rank;
    // Further fields by their column key.
    std::map<std::string, std::string, std::less<>> more;
    // Unknown because no registry and no resolver answered at all: the network, most likely.
    bool nothingAnswered = false;
    // The name's delegation when its run found it ahead of the checks: the registry check takes
    // it instead of asking again. Not a field: no row shows it.
    std::optional<registry::DelegationResult> delegationFound;

    // A field's text by its key (base::field), as a row shows it: the availability as its word.
    std::optional<std::string> Field(std::string_view key) const;
    // Sets a field from its text; an availability word that is none of the three is Unknown.
    void SetField(std::string_view key, std::string value);
    // Adds a source to the evidence, after a "; " when it already names one; a source it
    // already names is not added again.
    void AddEvidence(std::string_view source);
};

} // namespace probes
