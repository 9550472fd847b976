#include "core/LinkedNames.h"

#include "core/CandidateGenerator.h"
#include "rankindex/NameScan.h"
#include "registry/IdnaName.h"

#include <algorithm>

namespace core {
namespace {

// Blocks of 16 names read between two looks at the stop: well under a millisecond.
constexpr std::uint64_t kBlocksPerSlice = 64;

// A keyword or suffix as the index stores names: ASCII, "xn--" forms for Unicode.
std::string StoredForm(const std::string &text) {
    registry::AsciiName ascii = registry::ToAsciiName(text);
    return ascii ? std::move(ascii.name) : text;
}

} // namespace

LinkedNamesQuery LinkedNamesQueryFor(const SearchOptions &options) {
    LinkedNamesQuery query;
    for (const std::string &keyword : options.keywords)
        query.keywords.push_back(StoredForm(keyword));
    for (const std::string &suffix : ChosenSuffixes(options))
        query.suffixes.push_back(StoredForm(suffix));
    query.minHosts = options.minHosts;
    query.maxNameLength = static_cast<std::size_t>(options.maxNameLength);
    return query;
}

LinkedNames::LinkedNames(std::shared_ptr<const rankindex::RankIndex> index, LinkedNamesQuery query,
                         std::stop_token stop, std::size_t pageNames)
    : index_(std::move(index)), query_(std::move(query)),
      pageNames_(std::max<std::size_t>(pageNames, 1)), stop_(stop),
      thread_([this](std::stop_token own) { Scan(std::move(own)); }),
      stopped_(std::move(stop), std::function<void()>([this] { thread_.request_stop(); })) {}

LinkedNames::~LinkedNames() {
    thread_.request_stop();
    thread_.join();
}

// The one place that knows how the names are searched: a scan of the names section now, a faster
// structure with the same best-first matches later.
std::optional<std::vector<std::pair<std::string, std::uint32_t>>>
LinkedNames::ScanPage(const std::optional<Cursor> &cursor, std::stop_token stop) {
    const rankindex::NameSection *section = index_->Names();
    std::vector<std::pair<std::string, std::uint32_t>> page;
    if (!section)
        return page;
    rankindex::NameQuery query;
    query.keywords = query_.keywords;
    query.suffixes = query_.suffixes;
    query.minHosts = query_.minHosts;
    query.maxLength = query_.maxNameLength;
    query.limit = pageNames_;
    std::optional<rankindex::NameCursor> after;
    if (cursor)
        after = rankindex::NameCursor{cursor->position, cursor->name};
    rankindex::NameScan scan(*section, std::move(query), std::move(after));
    std::uint64_t before = 0;
    for (bool more = true; more;) {
        if (stop.stop_requested())
            return std::nullopt;
        more = scan.Step(kBlocksPerSlice);
        std::lock_guard lock(mutex_);
        blocksScanned_ += scan.BlocksScanned() - before;
        before = scan.BlocksScanned();
    }
    for (rankindex::NameMatch &match : scan.Matches())
        page.emplace_back(std::move(match.name), match.facts.harmonicPosition);
    return page;
}

void LinkedNames::Scan(std::stop_token stop) {
    std::optional<Cursor> cursor;
    try {
        for (;;) {
            auto page = ScanPage(cursor, stop);
            if (!page)
                break;
            const bool last = page->size() < pageNames_;
            if (!last)
                cursor = Cursor{page->back().second, page->back().first};
            std::unique_lock lock(mutex_);
            for (auto &[name, position] : *page)
                ready_.push_back(std::move(name));
            changed_.notify_all();
            if (last)
                break;
            // At most the page being checked and the next one wait in memory.
            if (!changed_.wait(lock, stop, [&] { return ready_.size() < pageNames_; }))
                break;
        }
    } catch (...) {
        // A scan that fails (out of memory) ends the list where it stands.
    }
    std::lock_guard lock(mutex_);
    ended_ = true;
    changed_.notify_all();
}

std::optional<std::string> LinkedNames::Next() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, stop_, [&] { return !ready_.empty() || ended_; });
    if (ready_.empty())
        return std::nullopt;
    std::string name = std::move(ready_.front());
    ready_.pop_front();
    ++handedOut_;
    changed_.notify_all();
    return name;
}

std::size_t LinkedNames::Count() const {
    std::lock_guard lock(mutex_);
    return handedOut_ + ready_.size();
}

bool LinkedNames::WaitReady(std::chrono::milliseconds wait) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, stop_, wait, [&] { return !ready_.empty() || ended_; }) ||
           stop_.stop_requested();
}

std::uint64_t LinkedNames::BlocksScanned() const {
    std::lock_guard lock(mutex_);
    return blocksScanned_;
}

} // namespace core
