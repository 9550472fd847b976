#pragma once

#include "rankindex/RankImport.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <optional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

// Imports a web-graph file in a child process, so that the peak memory measured is the import's
// own and not the benchmark's. The peak in kilobytes; none when the import failed.
inline std::optional<long> ImportInChild(const std::filesystem::path &graph,
                                         const std::filesystem::path &folder) {
    const pid_t child = ::fork();
    if (child == 0) {
        try {
            rankindex::ImportRankFile(rankindex::RankKind::WebGraph, graph, folder);
            std::_Exit(0);
        } catch (const std::exception &error) {
            std::fprintf(stderr, "%s\n", error.what());
            std::_Exit(1);
        }
    }
    int status = 0;
    rusage usage{};
    if (child < 0 || ::wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0)
        return std::nullopt;
    return usage.ru_maxrss;
}
