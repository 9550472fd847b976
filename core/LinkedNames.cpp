#include "core/LinkedNames.h"

#include "core/CandidateGenerator.h"
#include "rankindex/NameSearch.h"
#include "registry/IdnaName.h"

#include <algorithm>

namespace core {
namespace {

// Work between two looks at the stop (blocks of 16 names for a scan, candidate names for the
// n-gram lookup): well under a millisecond either way.
constexpr std::uint64_t kWorkPerSlice = 64;

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

// The one place that knows how the names are searched: the fastest search the index allows (its
// n-gram lookup, else a scan of its names), in slices between looks at the stop.
std::optional<std::vector<std::pair<std::string, std::uint32_t>>>
LinkedNames::ScanPage(const std::optional<Cursor> &cursor, std::stop_token stop) {
    std::vector<std::pair<std::string, std::uint32_t>> page;
    if (!index_->Names())
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
    const auto search = rankindex::SearchNames(*index_, std::move(query), std::move(after));
    for (bool more = true; more;) {
        if (stop.stop_requested())
            return std::nullopt;
        more = search->Step(kWorkPerSlice);
    }
    for (rankindex::NameMatch &match : search->Matches())
        page.emplace_back(std::move(match.name), match.facts.harmonicPosition);
    return page;
}

void LinkedNames::Scan(std::stop_token stop) {
    std::optional<Cursor> cursor;
    try {
        for (;;) {
            auto page = ScanPage(cursor, stop);
            // A lookup can finish a page within one slice, before the run's stop has reached this
            // thread's own: a page found after a stop is not handed out.
            if (!page || stop_.stop_requested())
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
    if (ready_.empty() || stop_.stop_requested())
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

} // namespace core
