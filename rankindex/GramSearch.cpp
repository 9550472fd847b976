#include "rankindex/GramSearch.h"

#include <algorithm>

namespace rankindex {

GramSearch::GramSearch(const NameSection &names, const GramSection &grams, NameQuery query,
                       std::optional<NameCursor> after)
    : names_(names), grams_(grams), filter_(query), kept_(query.limit, std::move(after)) {
    done_ = query.limit == 0 || grams_.NameCount() != names_.NameCount();
    if (!done_)
        ChooseLists();
}

// Every trigram of every keyword must be in a matching name part; a trigram no name part holds
// ends the search before it starts.
void GramSearch::ChooseLists() {
    std::vector<std::uint32_t> keys;
    for (const std::string &keyword : filter_.Keywords()) {
        for (std::size_t at = 0; at + kGramLength <= keyword.size(); ++at)
            keys.push_back(GramKey(keyword, at));
    }
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    for (const std::uint32_t key : keys) {
        const auto list = grams_.Find(key);
        if (!list) {
            done_ = true;
            return;
        }
        walks_.push_back({{list->cursor}, {}, list->ranks});
    }
    if (!filter_.AnySuffix())
        AddSuffixWalk();
    std::sort(walks_.begin(), walks_.end(),
              [](const Walk &a, const Walk &b) { return a.ranks < b.ranks; });
    if (walks_.size() > kMostLists)
        walks_.resize(kMostLists);
}

// The names under any of the suffixes asked for: the union of their suffixes' lists. A suffix of
// several labels (co.uk) is on the list of its last one (uk).
void GramSearch::AddSuffixWalk() {
    std::vector<std::uint32_t> keys;
    for (const std::string &prefix : filter_.SuffixPrefixes())
        keys.push_back(SuffixKey(std::string_view(prefix).substr(0, prefix.find('.'))));
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    Walk walk;
    for (const std::uint32_t key : keys) {
        if (const auto list = grams_.Find(key)) {
            walk.parts.push_back(list->cursor);
            walk.ranks += list->ranks;
        }
    }
    if (walk.parts.empty()) {
        done_ = true;
        return;
    }
    walks_.push_back(std::move(walk));
}

// Moves a walk on to its next rank: the smallest next rank of its parts.
bool GramSearch::Advance(Walk &walk) {
    if (walk.fresh) {
        walk.fresh = false;
        walk.heads.resize(walk.parts.size());
        for (std::size_t i = walk.parts.size(); i-- > 0;) {
            if (!walk.parts[i].Next(walk.heads[i])) {
                walk.parts.erase(walk.parts.begin() + static_cast<std::ptrdiff_t>(i));
                walk.heads.erase(walk.heads.begin() + static_cast<std::ptrdiff_t>(i));
            }
        }
    }
    if (walk.heads.empty())
        return false;
    walk.at = *std::min_element(walk.heads.begin(), walk.heads.end());
    for (std::size_t i = walk.parts.size(); i-- > 0;) {
        if (walk.heads[i] == walk.at && !walk.parts[i].Next(walk.heads[i])) {
            walk.parts.erase(walk.parts.begin() + static_cast<std::ptrdiff_t>(i));
            walk.heads.erase(walk.heads.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
    return true;
}

bool GramSearch::Step(std::uint64_t candidates) {
    std::uint64_t rank = 0;
    for (std::uint64_t done = 0; done < candidates && !done_; ++done) {
        if (!NextCandidate(rank)) {
            done_ = true;
            break;
        }
        Check(rank);
    }
    return !done_;
}

// The next rank on every list: each list is moved on to the rank sought, and when one holds
// only larger ranks, its next rank becomes the one sought and every list is asked again.
bool GramSearch::NextCandidate(std::uint64_t &rank) {
    std::uint64_t target = nextRank_;
    if (walks_.empty()) {
        if (target >= grams_.RankCount())
            return false;
    }
    for (std::size_t i = 0; i < walks_.size();) {
        Walk &walk = walks_[i];
        while (walk.fresh || walk.at < target) {
            if (!Advance(walk))
                return false;
        }
        if (walk.at > target) {
            target = walk.at;
            i = 0;
            continue;
        }
        ++i;
    }
    rank = target;
    nextRank_ = target + 1;
    return true;
}

// Names come in rank order, which in a file in position order is position order: once `limit` are
// kept, the first name placed after the worst of them ends the search, as no name after it can be
// kept. Names of its place still count, as the name breaks ties. Otherwise every candidate is
// offered, so that the matches are those of a scan either way.
void GramSearch::Check(std::uint64_t rank) {
    const auto place = grams_.NameOfRank(rank);
    if (!place)
        return;
    ++read_;
    const std::uint64_t perBlock = names_.NamesPerBlock();
    NameBlockReader reader = names_.Block(*place / perBlock);
    std::string_view name;
    NameFacts facts;
    for (std::uint64_t skip = *place % perBlock + 1; skip > 0; --skip) {
        if (!reader.Next(name, facts))
            return;
    }
    if (grams_.InPositionOrder() && kept_.Full() &&
        facts.harmonicPosition > kept_.WorstPosition()) {
        done_ = true;
        return;
    }
    if (filter_.Accepts(name, facts))
        kept_.Offer(name, facts);
}

} // namespace rankindex
