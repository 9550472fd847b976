#include "rankindex/NameScan.h"

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

NameScan::NameScan(const NameSection &section, NameQuery query)
    : NameScan(section, std::move(query), std::nullopt) {}

NameScan::NameScan(const NameSection &section, NameQuery query, std::optional<NameCursor> after)
    : section_(section), query_(std::move(query)), after_(std::move(after)) {
    for (std::string &keyword : query_.keywords)
        keyword = LowerAscii(std::move(keyword));
    for (const std::string &suffix : query_.suffixes) {
        if (auto stored = StoredName(suffix); stored && !stored->empty())
            suffixPrefixes_.push_back(*stored + '.');
    }
    std::vector<std::string> prefixes = suffixPrefixes_;
    std::sort(prefixes.begin(), prefixes.end());
    // A suffix under another one (co.com under com) lies in its range already.
    for (const std::string &prefix : prefixes) {
        if (!ranges_.empty() && prefix.starts_with(ranges_.back().prefix))
            continue;
        ranges_.push_back({prefix, section_.BlockFor(prefix)});
    }
    if (query_.suffixes.empty())
        ranges_.push_back({"", 0});
    std::sort(suffixPrefixes_.begin(), suffixPrefixes_.end(),
              [](const std::string &a, const std::string &b) { return a.size() > b.size(); });
    if (section_.BlockCount() == 0)
        range_ = ranges_.size();
    if (!Done())
        block_ = ranges_[range_].firstBlock;
}

bool NameScan::Step(std::uint64_t maxBlocks) {
    for (std::uint64_t done = 0; done < maxBlocks && !Done(); ++done) {
        const std::string &prefix = ranges_[range_].prefix;
        NameBlockReader reader = section_.Block(block_);
        std::string_view name;
        NameFacts facts;
        bool past = false;
        while (!past && reader.Next(name, facts)) {
            if (name.starts_with(prefix))
                Consider(name, facts);
            else
                past = name > prefix;
        }
        ++scanned_;
        if (past || block_ + 1 >= section_.BlockCount()) {
            ++range_;
            if (!Done())
                block_ = std::max(block_, ranges_[range_].firstBlock);
        } else {
            ++block_;
        }
    }
    return !Done();
}

void NameScan::Consider(std::string_view name, const NameFacts &facts) {
    if (facts.hosts < query_.minHosts)
        return;
    std::string_view namePart;
    if (suffixPrefixes_.empty()) {
        const std::size_t dot = name.find('.');
        if (dot == std::string_view::npos)
            return;
        namePart = name.substr(dot + 1);
    } else {
        const auto suffix =
            std::find_if(suffixPrefixes_.begin(), suffixPrefixes_.end(),
                         [&](const std::string &prefix) { return name.starts_with(prefix); });
        if (suffix == suffixPrefixes_.end())
            return;
        namePart = name.substr(suffix->size());
        if (namePart.find('.') != std::string_view::npos)
            return; // a name under a registered one
    }
    if (namePart.empty() || !Wanted(namePart))
        return;
    if (query_.limit == 0)
        return;
    if (after_ && facts.harmonicPosition < after_->harmonicPosition)
        return;
    NameMatch match{TurnLabels(name), facts};
    if (after_ && facts.harmonicPosition == after_->harmonicPosition && match.name <= after_->name)
        return;
    if (kept_.size() < query_.limit) {
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

bool NameScan::Wanted(std::string_view namePart) const {
    if (query_.maxLength != 0 && namePart.size() > query_.maxLength)
        return false;
    return std::all_of(query_.keywords.begin(), query_.keywords.end(),
                       [&](const std::string &keyword) {
                           return namePart.find(keyword) != std::string_view::npos;
                       });
}

std::vector<NameMatch> NameScan::Matches() const {
    std::vector<NameMatch> matches = kept_;
    std::sort(matches.begin(), matches.end(), BetterMatch);
    return matches;
}

} // namespace rankindex
