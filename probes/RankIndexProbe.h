#pragma once

#include "probes/Probe.h"
#include "rankindex/RankIndex.h"

#include <memory>

namespace probes {

// Answers a detail from an imported rank index instead of the network: link popularity from the
// web graph (the name's harmonic-centrality position), traffic rank from the rank list. A name
// the index does not list gets an empty field. Either way the record's evidence names the index
// and the day it was imported, "web graph (2026-12-01)".
//
// The index is mapped once for a run and shared read-only by the probe list's users on every
// thread; a lookup reads a few bytes of the mapping and never waits on the network.
class RankIndexProbe : public Probe {
public:
    // Which names the probe answers for: the free ones, as the web's details, or every one (a
    // search of the web graph's own names shows why each was listed).
    enum class For { Available, Every };

    // Fills links (and hosts) from a web-graph index, rank from a rank-list index.
    explicit RankIndexProbe(std::shared_ptr<const rankindex::RankIndex> index,
                            For names = For::Available);

    std::vector<std::string> Fills() const override;
    bool OnlyForAvailable() const override { return for_ == For::Available; }
    void Run(DomainRecord &record, const net::NetworkContext &context,
             const Pause &pause) const override;

    const rankindex::RankIndex &Index() const { return *index_; }

private:
    const rankindex::NameSection *HostCounts() const;

    std::shared_ptr<const rankindex::RankIndex> index_;
    std::string field_;
    std::string evidence_;
    For for_;
};

// "web graph (2026-12-01)": the kind of index and its import day (UTC).
std::string IndexEvidence(const rankindex::RankIndexInfo &info);

} // namespace probes
