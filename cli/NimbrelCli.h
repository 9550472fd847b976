#pragma once

#include "registry/RegistryData.h"

#include <chrono>
#include <functional>
#include <ostream>

namespace cli {

// Exit statuses of nimbrel-cli.
inline constexpr int kExitDone = 0;
inline constexpr int kExitFileError = 1;
inline constexpr int kExitUsage = 2;
// --update-registry-data fetched a file and refused it, or could not fetch one.
inline constexpr int kExitUpdateRefused = 3;
inline constexpr int kExitInterrupted = 130;

struct Terminal {
    bool outIsTerminal = false;
    bool errIsTerminal = false;
};

// Runs one search (or prints a results file) as the command line asks and returns the exit
// status. Rows go to out, progress and messages to err. today decides whether the registry data
// is old; clock (the system's when empty) dates what the watch list records.
int RunNimbrelCli(int argc, const char *const *argv, std::ostream &out, std::ostream &err,
                  Terminal terminal, std::chrono::sys_days today = registry::Today(),
                  std::function<std::chrono::system_clock::time_point()> clock = {});

} // namespace cli
