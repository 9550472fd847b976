#include "probes/RankIndexProbe.h"

namespace probes {

std::string IndexEvidence(const rankindex::RankIndexInfo &info) {
    const std::string day =
        rankindex::ImportTimeText(info.importTime, "%Y-%m-%d").value_or("invalid date");
    return std::string(rankindex::RankKindName(info.kind)) + " (" + day + ")";
}

RankIndexProbe::RankIndexProbe(std::shared_ptr<const rankindex::RankIndex> index, For names)
    : index_(std::move(index)),
      field_(index_->Info().kind == rankindex::RankKind::WebGraph ? base::field::kLinks
                                                                  : base::field::kRank),
      evidence_(IndexEvidence(index_->Info())), for_(names) {}

// Host counts are the web graph's; a rank list keeps names but counts no hosts.
const rankindex::NameSection *RankIndexProbe::HostCounts() const {
    return index_->Info().kind == rankindex::RankKind::WebGraph ? index_->Names() : nullptr;
}

std::vector<std::string> RankIndexProbe::Fills() const {
    std::vector<std::string> fields{std::string(field_), std::string(base::field::kEvidence)};
    if (HostCounts())
        fields.emplace_back(base::field::kHosts);
    return fields;
}

void RankIndexProbe::Run(DomainRecord &record, const net::NetworkContext &, const Pause &) const {
    const auto position = index_->Find(record.name);
    record.SetField(field_, position ? std::to_string(*position) : std::string());
    if (const rankindex::NameSection *names = HostCounts()) {
        const auto facts = names->Find(record.name);
        record.SetField(base::field::kHosts, facts ? std::to_string(facts->hosts) : std::string());
    }
    record.AddEvidence(evidence_);
}

} // namespace probes
