#include "rankindex/NameFilter.h"

#include <algorithm>

namespace rankindex {
namespace {

std::string LowerAscii(std::string text) {
    for (char &c : text) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

// The worse match sorts first, so that a max-heap keeps the worst on top.
bool BetterMatch(const NameMatch &a, const NameMatch &b) {
    return a.facts.harmonicPosition < b.facts.harmonicPosition ||
           (a.facts.harmonicPosition == b.facts.harmonicPosition && a.name < b.name);
}

} // namespace

NameFilter::NameFilter(const NameQuery &query)
    : anySuffix_(query.suffixes.empty()), minHosts_(query.minHosts), maxLength_(query.maxLength) {
    for (const std::string &keyword : query.keywords)
        keywords_.push_back(LowerAscii(keyword));
    for (const std::string &suffix : query.suffixes) {
        if (auto stored = StoredName(suffix); stored && !stored->empty())
            suffixPrefixes_.push_back(*stored + '.');
    }
    std::sort(suffixPrefixes_.begin(), suffixPrefixes_.end(),
              [](const std::string &a, const std::string &b) { return a.size() > b.size(); });
}

bool NameFilter::Accepts(std::string_view name, const NameFacts &facts) const {
    if (facts.hosts < minHosts_)
        return false;
    std::string_view namePart;
    if (anySuffix_) {
        const std::size_t dot = name.find('.');
        if (dot == std::string_view::npos)
            return false;
        namePart = name.substr(dot + 1);
    } else {
        const auto suffix =
            std::find_if(suffixPrefixes_.begin(), suffixPrefixes_.end(),
                         [&](const std::string &prefix) { return name.starts_with(prefix); });
        if (suffix == suffixPrefixes_.end())
            return false;
        namePart = name.substr(suffix->size());
        if (namePart.find('.') != std::string_view::npos)
            return false; // a name under a registered one
    }
    return !namePart.empty() && Wanted(namePart);
}

bool NameFilter::Wanted(std::string_view namePart) const {
    if (maxLength_ != 0 && namePart.size() > maxLength_)
        return false;
    return std::all_of(keywords_.begin(), keywords_.end(), [&](const std::string &keyword) {
        return namePart.find(keyword) != std::string_view::npos;
    });
}

void BestMatches::Offer(std::string_view reversedName, const NameFacts &facts) {
    if (limit_ == 0)
        return;
    if (after_ && facts.harmonicPosition < after_->harmonicPosition)
        return;
    NameMatch match{TurnLabels(reversedName), facts};
    if (AtOrBeforeTheCursor(match))
        return;
    if (kept_.size() < limit_) {
        kept_.push_back(std::move(match));
        std::push_heap(kept_.begin(), kept_.end(), BetterMatch);
        return;
    }
    if (!BetterMatch(match, kept_.front()))
        return;
    std::pop_heap(kept_.begin(), kept_.end(), BetterMatch);
    kept_.back() = std::move(match);
    std::push_heap(kept_.begin(), kept_.end(), BetterMatch);
}

bool BestMatches::AtOrBeforeTheCursor(const NameMatch &match) const {
    return after_ && (match.facts.harmonicPosition < after_->harmonicPosition ||
                      (match.facts.harmonicPosition == after_->harmonicPosition &&
                       match.name <= after_->name));
}

std::uint32_t BestMatches::WorstPosition() const {
    return kept_.empty() ? 0 : kept_.front().facts.harmonicPosition;
}

std::vector<NameMatch> BestMatches::Sorted() const {
    std::vector<NameMatch> matches = kept_;
    std::sort(matches.begin(), matches.end(), BetterMatch);
    return matches;
}

} // namespace rankindex
