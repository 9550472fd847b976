#pragma once

#include "cli/CliOptions.h"
#include "core/NameSource.h"
#include "results/ResultList.h"

#include <chrono>
#include <functional>
#include <ostream>

// nimbrel-cli's watch list commands: --watch-add, --watch-remove, --watch-list and
// --watch-check [--notify], on the user's watch list (core::WatchList::DefaultFile()).
namespace cli {

// The run's usual registry check of names into list (its machinery, settings and cache rules);
// returns the exit status of the run.
using WatchSearch = std::function<int(core::NameSource &names, results::ResultList &list)>;
using WatchClock = std::function<std::chrono::system_clock::time_point()>;

// Runs the watch commands the command line asks for, in the order add, remove, check, list;
// returns the exit status. The check's changed names go to out as "NAME: OLD -> NEW", notices
// that found no session bus to err.
int RunWatchCommands(const CliOptions &cli, std::ostream &out, std::ostream &err,
                     OutputFormat format, const WatchClock &clock, const WatchSearch &search);

} // namespace cli
